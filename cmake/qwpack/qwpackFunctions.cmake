# The functions of qwpack's CMake package (included by qwpackConfig.cmake).
#
# qwpack_add_launcher(<target> OUTPUT <file>
#                     PAYLOAD_DIR <dir> | PAYLOAD_TARGETS <target>...
#                     [SETUP <file-or-target>] [STUB win32|win64|<file>]
#                     [METHOD lz|lzma] [BRAND <file>] [CODEPAGE <n>] [STRICT]
#                     [THREADS <n>] [VOLUME_SIZE <size>])
#
#   Adds <target>, built by default, that packs the payload into the launcher
#   OUTPUT (relative paths: to the current binary directory) with qwpack
#   pack. The launcher is made again when a payload file changes, appears or
#   goes, or when the setup program, the stub, the brand file or qwpack
#   changes, and at no other time: qwpack names every file and folder it
#   read in a depfile, which the build tool reads back.
#
#   PAYLOAD_DIR      the folder to pack (relative paths: to the current
#                    source directory). Its top holds QWSetup.exe unless
#                    SETUP gives it. OUTPUT may not lie inside it.
#   PAYLOAD_TARGETS  programs and shared or module libraries of the project
#                    (or imported ones), staged at build time into
#                    <binary dir>/qwpack/<target>/payload as
#                    install(TARGETS ... RUNTIME DESTINATION .) would put
#                    them, with the DLLs they load ($<TARGET_RUNTIME_DLLS>).
#                    The staged folder holds those files and nothing else.
#   SETUP            the setup program, packed as QWSetup.exe at the
#                    payload's top: a program target or a file.
#   STUB             the launcher the package is appended to: win32 (the
#                    default) or win64, the launchers installed with qwpack,
#                    or the path of one.
#   METHOD           how blocks are coded (qwpack pack --method): lz, each
#                    block on its own (the default), or lzma, one LZMA stream
#                    across the files: a smaller launcher, slower to make,
#                    which needs 64 MiB more memory to unpack.
#   BRAND            a brand file given to qwpack pack --brand.
#   CODEPAGE         the ANSI code page of the names in the package (qwpack's
#                    default: 936).
#   STRICT           refuse paths too long for a typical workspace rather
#                    than warn of them.
#   THREADS          coding threads (qwpack's default: every core). The
#                    launcher's bytes do not depend on it.
#   VOLUME_SIZE      a volume set (qwpack pack --volume-size): OUTPUT holds
#                    the record, the entries go into <OUTPUT less .exe>-1.qwv,
#                    -2.qwv, ... beside it, each at most <size> (64K to 2G).
#                    The build tracks OUTPUT, whose record changes with any
#                    volume; qwpack removes volumes of an earlier, longer set.
#
# qwpack_install_launcher(<target> DESTINATION <dir> [COMPONENT <component>])
#
#   Installs the launcher of qwpack_add_launcher's <target> into <dir>, with
#   every volume of its set beside it when it is one.
#
# qwpack_cpack_launcher([STUB ...] [METHOD lz|lzma] [BRAND <file>]
#                       [CODEPAGE <n>] [STRICT] [THREADS <n>]
#                       [VOLUME_SIZE <size>])
#
#   Before include(CPack): makes `cpack -G External` pack the project's
#   install tree into <CPACK_PACKAGE_NAME>-<CPACK_PACKAGE_VERSION>-Setup.exe
#   beside the other packages, with the volumes of a set (VOLUME_SIZE, or a
#   package past 2 GiB) beside it. The install rules put QWSetup.exe at the top
#   of the tree. It sets CPACK_EXTERNAL_ENABLE_STAGING,
#   CPACK_EXTERNAL_PACKAGE_SCRIPT and CPACK_QWPACK_COMMAND; the other
#   generators ignore them.
#
# Wrong use stops the configuration with a message naming the argument.

include_guard(GLOBAL)

# Stops the configuration; the message is the caller and the pieces after
# it, joined as given (a list in a value keeps its semicolons).
function(_qwpack_fail caller)
  set(text "${caller} ")
  math(EXPR last "${ARGC} - 1")
  foreach(index RANGE 1 ${last})
    string(APPEND text "${ARGV${index}}")
  endforeach()
  message(FATAL_ERROR "${text}")
endfunction()

function(_qwpack_refuse_stray_arguments caller prefix)
  if(DEFINED ${prefix}_UNPARSED_ARGUMENTS)
    _qwpack_fail("${caller}" "given unknown arguments: ${${prefix}_UNPARSED_ARGUMENTS}")
  endif()
  if(DEFINED ${prefix}_KEYWORDS_MISSING_VALUES)
    _qwpack_fail("${caller}" "given ${${prefix}_KEYWORDS_MISSING_VALUES} with no value")
  endif()
endfunction()

function(_qwpack_require_qwpack caller)
  if(NOT TARGET qwpack::qwpack)
    _qwpack_fail("${caller}" "cannot see qwpack::qwpack: call find_package(qwpack) in this "
                 "directory or one above it")
  endif()
endfunction()

# A file argument as an absolute path, relative ones taken from the current
# source directory; empty when no file lies there.
function(_qwpack_existing_file result path)
  cmake_path(ABSOLUTE_PATH path BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE)
  if(EXISTS "${path}" AND NOT IS_DIRECTORY "${path}")
    set(${result} "${path}" PARENT_SCOPE)
  else()
    set(${result} "" PARENT_SCOPE)
  endif()
endfunction()

# The options both functions share, checked and turned into qwpack pack's
# arguments and the files the launcher depends on.
function(_qwpack_pack_options caller prefix arguments_var depends_var)
  set(arguments "")
  set(depends "")
  set(stub "win32")
  if(DEFINED ${prefix}_STUB)
    set(stub "${${prefix}_STUB}")
  endif()
  if(stub STREQUAL "win32" OR stub STREQUAL "win64")
    string(TOUPPER "QWPACK_STUB_${stub}" property)
    get_target_property(stub_path qwpack::qwpack ${property})
    if(NOT stub_path)
      _qwpack_fail("${caller}" "given STUB ${stub}, but qwpack::qwpack names no such launcher "
                   "(it was not made by qwpack's own package)")
    endif()
  else()
    _qwpack_existing_file(stub_path "${stub}")
    if(NOT stub_path)
      _qwpack_fail("${caller}" "given STUB \"${stub}\", which is neither win32, win64 nor a file")
    endif()
  endif()
  list(APPEND arguments --stub "${stub_path}")
  list(APPEND depends "${stub_path}")

  if(DEFINED ${prefix}_METHOD)
    if(NOT ${prefix}_METHOD MATCHES "^(lz|lzma)$")
      _qwpack_fail("${caller}" "given METHOD \"${${prefix}_METHOD}\", which is neither lz nor "
                   "lzma")
    endif()
    list(APPEND arguments --method "${${prefix}_METHOD}")
  endif()

  if(DEFINED ${prefix}_BRAND)
    _qwpack_existing_file(brand "${${prefix}_BRAND}")
    if(NOT brand)
      _qwpack_fail("${caller}" "given BRAND \"${${prefix}_BRAND}\", which is not a file")
    endif()
    list(APPEND arguments --brand "${brand}")
    list(APPEND depends "${brand}")
  endif()
  foreach(option IN ITEMS CODEPAGE THREADS)
    if(DEFINED ${prefix}_${option} AND NOT ${prefix}_${option} MATCHES "^[1-9][0-9]*$")
      _qwpack_fail("${caller}" "given ${option} \"${${prefix}_${option}}\", which is not a "
                   "positive whole number")
    endif()
  endforeach()
  if(DEFINED ${prefix}_CODEPAGE)
    list(APPEND arguments --codepage "${${prefix}_CODEPAGE}")
  endif()
  if(DEFINED ${prefix}_THREADS)
    list(APPEND arguments --threads "${${prefix}_THREADS}")
  endif()
  if(${prefix}_STRICT)
    list(APPEND arguments --strict)
  endif()
  if(DEFINED ${prefix}_VOLUME_SIZE)
    if(NOT ${prefix}_VOLUME_SIZE MATCHES "^[1-9][0-9]*[KMGkmg]?$")
      _qwpack_fail("${caller}" "given VOLUME_SIZE \"${${prefix}_VOLUME_SIZE}\", which is not a "
                   "size such as 700M or 2G")
    endif()
    list(APPEND arguments --volume-size "${${prefix}_VOLUME_SIZE}")
  endif()
  set(${arguments_var} "${arguments}" PARENT_SCOPE)
  set(${depends_var} "${depends}" PARENT_SCOPE)
endfunction()

# PAYLOAD_TARGETS: the command that stages them and what it reads.
function(_qwpack_stage_targets caller payload command_var depends_var)
  set(files "")
  foreach(payload_target IN LISTS ARGN)
    if(NOT TARGET "${payload_target}")
      _qwpack_fail("${caller}" "given PAYLOAD_TARGETS \"${payload_target}\", which is not a target")
    endif()
    get_target_property(type "${payload_target}" TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY)$")
      _qwpack_fail("${caller}" "given PAYLOAD_TARGETS \"${payload_target}\", of type ${type}: "
                   "only programs and shared or module libraries go into a payload")
    endif()
    list(APPEND files "$<TARGET_FILE:${payload_target}>"
         "$<TARGET_RUNTIME_DLLS:${payload_target}>")
  endforeach()
  set(script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/qwpackStagePayload.cmake")
  set(${command_var}
      COMMAND "${CMAKE_COMMAND}" "-DQWPACK_PAYLOAD=${payload}" -P "${script}" -- ${files}
      PARENT_SCOPE)
  set(${depends_var} ${files} "${script}" PARENT_SCOPE)
endfunction()

# SETUP: qwpack pack's --setup argument and what it reads.
function(_qwpack_setup_program caller setup arguments_var depends_var)
  if(TARGET "${setup}")
    get_target_property(type "${setup}" TYPE)
    if(NOT type STREQUAL "EXECUTABLE")
      _qwpack_fail("${caller}" "given SETUP \"${setup}\", of type ${type}: the setup "
                   "program is a program")
    endif()
    set(path "$<TARGET_FILE:${setup}>")
  else()
    _qwpack_existing_file(path "${setup}")
    if(NOT path)
      _qwpack_fail("${caller}" "given SETUP \"${setup}\", which is neither a target nor a file")
    endif()
  endif()
  set(${arguments_var} --setup "${path}" PARENT_SCOPE)
  set(${depends_var} "${path}" PARENT_SCOPE)
endfunction()

function(qwpack_add_launcher target)
  set(caller "qwpack_add_launcher(${target})")
  cmake_parse_arguments(PARSE_ARGV 1 arg "STRICT"
                        "OUTPUT;PAYLOAD_DIR;SETUP;STUB;METHOD;BRAND;CODEPAGE;THREADS;VOLUME_SIZE"
                        "PAYLOAD_TARGETS")
  _qwpack_refuse_stray_arguments("${caller}" arg)
  _qwpack_require_qwpack("${caller}")
  if(TARGET "${target}")
    _qwpack_fail("${caller}" "cannot add ${target}: a target of that name exists")
  endif()
  if(NOT DEFINED arg_OUTPUT)
    _qwpack_fail("${caller}" "given no OUTPUT")
  endif()
  _qwpack_pack_options("${caller}" arg arguments depends)
  cmake_path(ABSOLUTE_PATH arg_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}" NORMALIZE
             OUTPUT_VARIABLE output)
  set(work "${CMAKE_CURRENT_BINARY_DIR}/qwpack/${target}")

  set(stage_command "")
  if(DEFINED arg_PAYLOAD_DIR AND DEFINED arg_PAYLOAD_TARGETS)
    _qwpack_fail("${caller}" "given both PAYLOAD_DIR and PAYLOAD_TARGETS; give one")
  elseif(DEFINED arg_PAYLOAD_DIR)
    cmake_path(ABSOLUTE_PATH arg_PAYLOAD_DIR BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE
               OUTPUT_VARIABLE payload)
    if(NOT IS_DIRECTORY "${payload}")
      _qwpack_fail("${caller}" "given PAYLOAD_DIR \"${arg_PAYLOAD_DIR}\", which is not a folder")
    endif()
    cmake_path(IS_PREFIX payload "${output}" NORMALIZE output_inside)
    if(output_inside)
      _qwpack_fail("${caller}" "given OUTPUT \"${arg_OUTPUT}\" inside PAYLOAD_DIR: the launcher "
                   "would change the folder it is made from")
    endif()
  elseif(DEFINED arg_PAYLOAD_TARGETS)
    set(payload "${work}/payload")
    _qwpack_stage_targets("${caller}" "${payload}" stage_command stage_depends ${arg_PAYLOAD_TARGETS})
    list(APPEND depends ${stage_depends})
  else()
    _qwpack_fail("${caller}" "given neither PAYLOAD_DIR nor PAYLOAD_TARGETS")
  endif()
  if(DEFINED arg_SETUP)
    _qwpack_setup_program("${caller}" "${arg_SETUP}" setup_arguments setup_depends)
    list(APPEND arguments ${setup_arguments})
    list(APPEND depends ${setup_depends})
  endif()

  cmake_path(GET output PARENT_PATH output_folder)
  file(MAKE_DIRECTORY "${work}" "${output_folder}")
  set(depfile "${work}/launcher.d")
  set(forget_command "")
  if(CMAKE_GENERATOR MATCHES "Makefiles")
    # CMake's Makefile generators (3.25 among them) add a custom command's
    # new depfile to the dependencies they recorded before: a file gone from
    # the payload would stay a dependency and, missing, make the launcher
    # out of date at every build. Without that record they read the new
    # depfile alone.
    set(forget_command COMMAND "${CMAKE_COMMAND}" -E rm -f
        "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${target}.dir/compiler_depend.internal")
  endif()
  add_custom_command(OUTPUT "${output}"
    ${stage_command}
    COMMAND "$<TARGET_FILE:qwpack::qwpack>" pack ${arguments} --depfile "${depfile}"
            -o "${output}" "${payload}"
    ${forget_command}
    DEPENDS ${depends} "$<TARGET_FILE:qwpack::qwpack>"
    DEPFILE "${depfile}"
    COMMENT "Packing the launcher ${arg_OUTPUT}"
    VERBATIM COMMAND_EXPAND_LISTS)
  add_custom_target(${target} ALL DEPENDS "${output}")
  set_target_properties(${target} PROPERTIES QWPACK_OUTPUT "${output}")
endfunction()

function(qwpack_install_launcher target)
  set(caller "qwpack_install_launcher(${target})")
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DESTINATION;COMPONENT" "")
  _qwpack_refuse_stray_arguments("${caller}" arg)
  if(NOT TARGET "${target}")
    _qwpack_fail("${caller}" "cannot see ${target}: make it with qwpack_add_launcher first")
  endif()
  get_target_property(output "${target}" QWPACK_OUTPUT)
  if(NOT output)
    _qwpack_fail("${caller}" "${target} was not made by qwpack_add_launcher")
  endif()
  if(NOT DEFINED arg_DESTINATION)
    _qwpack_fail("${caller}" "given no DESTINATION")
  endif()
  set(component "")
  if(DEFINED arg_COMPONENT)
    set(component COMPONENT "${arg_COMPONENT}")
  endif()
  install(FILES "${output}" DESTINATION "${arg_DESTINATION}" ${component})
  # The volumes are known once qwpack has run: listed at install time.
  set(script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/qwpackVolumes.cmake")
  install(CODE "include(\"${script}\")
_qwpack_volumes_beside(volumes \"${output}\")
if(volumes)
  file(INSTALL \${volumes} DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${arg_DESTINATION}\")
endif()" ${component})
endfunction()

function(qwpack_cpack_launcher)
  set(caller "qwpack_cpack_launcher()")
  cmake_parse_arguments(PARSE_ARGV 0 arg "STRICT" "STUB;METHOD;BRAND;CODEPAGE;THREADS;VOLUME_SIZE" "")
  _qwpack_refuse_stray_arguments("${caller}" arg)
  _qwpack_require_qwpack("${caller}")
  if(DEFINED CPACK_OUTPUT_CONFIG_FILE)
    _qwpack_fail("${caller}" "comes after include(CPack), which has written its configuration; "
                 "call it before")
  endif()
  _qwpack_pack_options("${caller}" arg arguments depends)
  get_target_property(qwpack qwpack::qwpack IMPORTED_LOCATION)
  set(CPACK_QWPACK_COMMAND "${qwpack}" pack ${arguments} PARENT_SCOPE)
  set(CPACK_EXTERNAL_ENABLE_STAGING ON PARENT_SCOPE)
  set(CPACK_EXTERNAL_PACKAGE_SCRIPT "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/qwpackCPackExternal.cmake"
      PARENT_SCOPE)
endfunction()
