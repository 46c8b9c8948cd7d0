# qwpack's CMake package (cmake/qwpack/), installed beside qwpack: the config
# file finds the program and the stubs relative to its own place, so the
# Debian package and the Windows zip work wherever they are unpacked.
#   Linux:   share/qwpack/cmake/   (bin/qwpack, share/qwpack/launcher-*.exe)
#   Windows: cmake/                (qwpack.exe and launcher-*.exe one above)
include(CMakePackageConfigHelpers)

if(WIN32)
  set(qw_cmake_package_dir cmake)
  set(QWPACK_CONFIG_TO_PREFIX ..)
  set(QWPACK_EXECUTABLE_IN_PREFIX qwpack.exe)
  set(QWPACK_STUBS_IN_PREFIX "")
else()
  include(GNUInstallDirs)
  set(qw_cmake_package_dir ${CMAKE_INSTALL_DATADIR}/qwpack/cmake)
  file(RELATIVE_PATH QWPACK_CONFIG_TO_PREFIX /prefix/${qw_cmake_package_dir} /prefix)
  set(QWPACK_EXECUTABLE_IN_PREFIX ${CMAKE_INSTALL_BINDIR}/qwpack)
  set(QWPACK_STUBS_IN_PREFIX ${CMAKE_INSTALL_DATADIR}/qwpack/)
endif()
set(QWPACK_COMPATIBLE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})

set(qw_cmake_package_build ${PROJECT_BINARY_DIR}/cmake-package)
configure_file(${PROJECT_SOURCE_DIR}/cmake/qwpack/qwpackConfig.cmake.in
               ${qw_cmake_package_build}/qwpackConfig.cmake @ONLY)
# Semantic versioning: while the major version is 0 a minor release may
# change what it offers. qwpack serves projects of any pointer size.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(qw_compatibility SameMinorVersion)
else()
  set(qw_compatibility SameMajorVersion)
endif()
write_basic_package_version_file(${qw_cmake_package_build}/qwpackConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY ${qw_compatibility} ARCH_INDEPENDENT)

install(FILES
  ${qw_cmake_package_build}/qwpackConfig.cmake
  ${qw_cmake_package_build}/qwpackConfigVersion.cmake
  ${PROJECT_SOURCE_DIR}/cmake/qwpack/qwpackFunctions.cmake
  ${PROJECT_SOURCE_DIR}/cmake/qwpack/qwpackStagePayload.cmake
  ${PROJECT_SOURCE_DIR}/cmake/qwpack/qwpackCPackExternal.cmake
  ${PROJECT_SOURCE_DIR}/cmake/qwpack/qwpackVolumes.cmake
  DESTINATION ${qw_cmake_package_dir})
