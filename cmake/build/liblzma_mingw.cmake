# liblzma for qwpack.exe's method-2 encoder: a static x86_64 MinGW library
# built at configure time from Debian's xz-utils source package, the version
# of the liblzma-dev the Linux qwpack links, which scripts/fetch-xz-source.sh
# unpacks into build/third-party/xz-utils-<version>/. The same source as the
# Linux library, so qwpack.exe writes the bytes the Linux qwpack writes.
#
# Where it is built: the imported target qw_liblzma_mingw, and
# QW_LIBLZMA_NOTICES, the notices the Windows zip carries for it. Where the
# source is missing or does not build: one line saying why qwpack.exe is
# made without method 2, and the build goes on without them.
include_guard(GLOBAL)

function(_qw_liblzma_mingw_without)
  string(CONCAT reason ${ARGV})
  message(NOTICE "qwpack.exe is built without method 2 (it will refuse --method lzma): ${reason}")
endfunction()

function(_qw_liblzma_mingw)
  execute_process(COMMAND dpkg-query -W -f=\${Version} liblzma-dev
                  OUTPUT_VARIABLE version RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0 OR version STREQUAL "")
    _qw_liblzma_mingw_without("liblzma-dev is not installed, so no version to build")
    return()
  endif()
  set(source "${PROJECT_SOURCE_DIR}/build/third-party/xz-utils-${version}")
  if(NOT EXISTS "${source}/CMakeLists.txt" OR NOT EXISTS "${source}/debian/copyright")
    if(EXISTS "${source}.failed")
      _qw_liblzma_mingw_without("Debian's xz-utils ${version} source could not be fetched "
                                "(log: ${source}.failed, which make tries again once removed)")
    else()
      _qw_liblzma_mingw_without("Debian's xz-utils ${version} source is not fetched "
                                "(scripts/fetch-xz-source.sh fetches it)")
    endif()
    return()
  endif()

  # A folder per version: a newer liblzma-dev builds afresh.
  set(binary "${CMAKE_BINARY_DIR}/third-party/liblzma-${version}")
  set(library "${binary}/liblzma.a")
  # A build that failed is not tried again at every configuration.
  if(EXISTS "${binary}/failed")
    _qw_liblzma_mingw_without("liblzma did not build from xz-utils ${version} (logs in "
                              "${binary}, which make tries again once removed)")
    return()
  endif()
  if(NOT EXISTS "${library}")
    message(NOTICE "building liblzma for qwpack.exe from Debian's xz-utils ${version} (once)")
    file(MAKE_DIRECTORY "${binary}")
    cmake_host_system_information(RESULT jobs QUERY NUMBER_OF_LOGICAL_CORES)
    execute_process(
      COMMAND "${CMAKE_COMMAND}" -S "${source}" -B "${binary}" -G "${CMAKE_GENERATOR}"
              "-DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}" -DCMAKE_BUILD_TYPE=Release
              -DBUILD_SHARED_LIBS=OFF
      OUTPUT_FILE "${binary}/configure.log" ERROR_FILE "${binary}/configure.log"
      RESULT_VARIABLE status)
    if(status EQUAL 0)
      execute_process(COMMAND "${CMAKE_COMMAND}" --build "${binary}" --target liblzma -j ${jobs}
                      OUTPUT_FILE "${binary}/build.log" ERROR_FILE "${binary}/build.log"
                      RESULT_VARIABLE status)
    endif()
    if(NOT status EQUAL 0 OR NOT EXISTS "${library}")
      file(TOUCH "${binary}/failed")
      _qw_liblzma_mingw_without("liblzma did not build from xz-utils ${version} (logs in "
                                "${binary}, which make tries again once removed)")
      return()
    endif()
  endif()

  add_library(qw_liblzma_mingw STATIC IMPORTED GLOBAL)
  set_target_properties(qw_liblzma_mingw PROPERTIES
    IMPORTED_LOCATION "${library}"
    INTERFACE_INCLUDE_DIRECTORIES "${source}/src/liblzma/api"
    # lzma.h declares its functions as a DLL's unless told otherwise.
    INTERFACE_COMPILE_DEFINITIONS LZMA_API_STATIC)

  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(notices "${CMAKE_BINARY_DIR}/third-party/NOTICES.txt")
  execute_process(
    COMMAND "${Python3_EXECUTABLE}" "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/liblzma_notices.py"
            "${source}/debian/copyright" "${version}" "${notices}"
    COMMAND_ERROR_IS_FATAL ANY)
  set(QW_LIBLZMA_NOTICES "${notices}" PARENT_SCOPE)
endfunction()

if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  _qw_liblzma_mingw()
endif()
