# cpack -G External with this script (set up by qwpack_cpack_launcher):
# packs the staged install tree (every component) into
# <name>-<version>-Setup.exe and hands it to CPack, which puts it beside the
# other packages; a volume set's volumes go with it.

if(NOT CPACK_QWPACK_COMMAND)
  message(FATAL_ERROR "qwpack: CPACK_QWPACK_COMMAND is not set; call qwpack_cpack_launcher() "
                      "before include(CPack)")
endif()
if(NOT CPACK_EXTERNAL_ENABLE_STAGING)
  message(FATAL_ERROR "qwpack: CPACK_EXTERNAL_ENABLE_STAGING is off, so there is no install "
                      "tree to pack")
endif()

# The install tree: below the packaging prefix, and with components, one
# such tree per component, which one launcher carries together.
set(_qwpack_trees "${CPACK_TEMPORARY_DIRECTORY}")
list(LENGTH CPACK_COMPONENTS_ALL _qwpack_components)
if(_qwpack_components GREATER 1 AND NOT CPACK_MONOLITHIC_INSTALL)
  list(TRANSFORM CPACK_COMPONENTS_ALL PREPEND "${CPACK_TEMPORARY_DIRECTORY}/"
       OUTPUT_VARIABLE _qwpack_trees)
endif()
if(CPACK_PACKAGING_INSTALL_PREFIX AND NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/")
  list(TRANSFORM _qwpack_trees APPEND "/${CPACK_PACKAGING_INSTALL_PREFIX}")
endif()
list(FILTER _qwpack_trees INCLUDE REGEX ".")
set(_qwpack_tree "${_qwpack_trees}")
list(LENGTH _qwpack_trees _qwpack_count)
if(_qwpack_count GREATER 1)
  set(_qwpack_tree "${CPACK_TOPLEVEL_DIRECTORY}/qwpack-install-tree")
  file(REMOVE_RECURSE "${_qwpack_tree}")
  foreach(_qwpack_component_tree IN LISTS _qwpack_trees)
    if(IS_DIRECTORY "${_qwpack_component_tree}")
      file(COPY "${_qwpack_component_tree}/" DESTINATION "${_qwpack_tree}")
    endif()
  endforeach()
endif()
set(_qwpack_launcher
    "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-Setup.exe")
execute_process(
  COMMAND ${CPACK_QWPACK_COMMAND} -o "${_qwpack_launcher}" "${_qwpack_tree}"
  RESULT_VARIABLE _qwpack_status)
if(NOT _qwpack_status EQUAL 0)
  message(FATAL_ERROR "qwpack: packing ${_qwpack_tree} failed (${_qwpack_status})")
endif()
include("${CMAKE_CURRENT_LIST_DIR}/qwpackVolumes.cmake")
_qwpack_volumes_beside(_qwpack_volumes "${_qwpack_launcher}")
set(CPACK_EXTERNAL_BUILT_PACKAGES "${_qwpack_launcher}" ${_qwpack_volumes})
