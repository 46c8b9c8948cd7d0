# What `cmake --install` puts where, and the packages made from it.
#
# Linux (host preset), the layout of the Debian package:
#   bin/qwpack
#   share/qwpack/launcher-win32.exe, launcher-win64.exe   the stubs, found as ../share/qwpack/
#   share/man/man1/qwpack.1.gz                            from qwpack's own --help
#   share/doc/qwpack/README.md, publishers.md, security.md, copyright   copyright made from LICENSE
#   share/qwpack/cmake/                                   the CMake package (cmake_package.cmake)
# Windows (win64 preset), the zip: qwpack.exe beside both stubs, README.md, LICENSE and
# NOTICES.txt (the licence of the liblzma in qwpack.exe, where it links one),
# docs/publishers.md and docs/security.md, the CMake package in cmake/.
#
# The other architecture's launcher comes from its own preset's build.
set(QW_STUB_WIN32 ${PROJECT_SOURCE_DIR}/build/win32/launcher.exe
    CACHE FILEPATH "The 32-bit launcher installed as launcher-win32.exe")
set(QW_STUB_WIN64 ${PROJECT_SOURCE_DIR}/build/win64/launcher.exe
    CACHE FILEPATH "The 64-bit launcher installed as launcher-win64.exe (Linux builds)")
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(CPACK_PACKAGE_NAME qwpack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${QW_PUBLISHER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "makes self-extracting setup launchers for Windows")
# Lines of a Debian description stay under 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "qwpack packs a folder of installation files into one Windows program, a"
  "launcher that shows a small progress window, unpacks and verifies the files"
  "and starts the folder's QWSetup.exe. It also lists launchers (with their"
  "version resource), verifies them and extracts them exactly as the launcher"
  "would. The launchers for 32-bit and 64-bit Windows come with it.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# The documents a publisher needs beside the README, in both packages.
set(QW_PUBLISHER_DOCS ${PROJECT_SOURCE_DIR}/docs/publishers.md ${PROJECT_SOURCE_DIR}/docs/security.md)

if(WIN32)
  install(TARGETS qwpack RUNTIME DESTINATION .)
  install(FILES ${QW_STUB_WIN32} DESTINATION . RENAME launcher-win32.exe)
  install(FILES $<TARGET_FILE:launcher> DESTINATION . RENAME launcher-win64.exe)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
  install(FILES ${QW_PUBLISHER_DOCS} DESTINATION docs)
  if(QW_LIBLZMA_NOTICES)  # qwpack.exe links liblzma (cmake/build/liblzma_mingw.cmake)
    install(FILES ${QW_LIBLZMA_NOTICES} DESTINATION .)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qwpack-${PROJECT_VERSION}-windows-x64)
else()
  include(GNUInstallDirs)
  set(manpage ${CMAKE_CURRENT_BINARY_DIR}/qwpack.1.gz)
  add_custom_command(OUTPUT ${manpage}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/qwpack/make_manpage.py
            $<TARGET_FILE:qwpack> ${manpage}
    DEPENDS qwpack ${PROJECT_SOURCE_DIR}/tools/qwpack/make_manpage.py
    COMMENT "Writing qwpack's manual page from its --help"
    VERBATIM)
  set(copyright ${CMAKE_CURRENT_BINARY_DIR}/copyright)
  add_custom_command(OUTPUT ${copyright}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/packaging/debian_copyright.py
            ${PROJECT_SOURCE_DIR}/LICENSE ${copyright}
    DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/cmake/packaging/debian_copyright.py
    VERBATIM)
  add_custom_target(qwpack_documents ALL DEPENDS ${manpage} ${copyright})

  set(docdir ${CMAKE_INSTALL_DATADIR}/doc/qwpack)
  install(TARGETS qwpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${QW_STUB_WIN32} DESTINATION ${CMAKE_INSTALL_DATADIR}/qwpack
          RENAME launcher-win32.exe)
  install(FILES ${QW_STUB_WIN64} DESTINATION ${CMAKE_INSTALL_DATADIR}/qwpack
          RENAME launcher-win64.exe)
  install(FILES ${manpage} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${QW_PUBLISHER_DOCS} ${copyright}
          DESTINATION ${docdir})

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # qwpack_<version>_<architecture>.deb
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends from dpkg-shlibdeps
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "qwlauncher maintainers <maintainers@qwlauncher.invalid>"
      CACHE STRING "The Debian package's maintainer")
endif()
include(cmake/packaging/cmake_package.cmake)
include(CPack)
