# The layer boundary, checked by ctest: the front ends and what they share see the client and the
# shared records, never an engine header. The platform folder counts too: owlctl links the port
# listing from there but reaches it only through the port identity header.
set(OWL_ENGINE_HEADERS owl.hpp owl_seams.hpp ui_settings.hpp manager/engine.hpp frame.hpp
    settings/model.hpp dispatch.hpp wire.hpp exports.h platform/system_calls.hpp system_calls.hpp)
set(OWL_BOUNDARY_TARGETS "")
set(OWL_BOUNDARY_ARGS "")
function(owl_front_end_boundary target)
  if(NOT TARGET ${target})
    return()
  endif()
  set(file ${CMAKE_BINARY_DIR}/structure/${target}.includes)
  file(GENERATE OUTPUT ${file}
       CONTENT "$<JOIN:$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>,\n>\n")
  list(APPEND OWL_BOUNDARY_TARGETS ${target})
  string(REPLACE ";" "," allowed "${ARGN}")
  list(APPEND OWL_BOUNDARY_ARGS -DINCLUDES_${target}=${file} "-DALLOWED_${target}=${allowed}")
  set(OWL_BOUNDARY_TARGETS ${OWL_BOUNDARY_TARGETS} PARENT_SCOPE)
  set(OWL_BOUNDARY_ARGS ${OWL_BOUNDARY_ARGS} PARENT_SCOPE)
endfunction()

if(OWL_BUILD_TESTS)
  owl_front_end_boundary(owl_coordination analysis.hpp)
  owl_front_end_boundary(owl_frontend show_file.hpp settings_file.hpp ui_fields.hpp)
  owl_front_end_boundary(owlctl_lib owl_client.hpp records.hpp session.hpp)
  owl_front_end_boundary(owl_desktop_ui owl_client.hpp records.hpp)
  string(REPLACE ";" "," targets "${OWL_BOUNDARY_TARGETS}")
  string(REPLACE ";" "," headers "${OWL_ENGINE_HEADERS}")
  add_test(NAME structure.EngineHeadersHiddenFromFrontEnds
           COMMAND ${CMAKE_COMMAND} -DCXX=${CMAKE_CXX_COMPILER} -DWORK=${CMAKE_BINARY_DIR}/structure
                   "-DTARGETS=${targets}" "-DENGINE_HEADERS=${headers}" ${OWL_BOUNDARY_ARGS}
                   -P ${PROJECT_SOURCE_DIR}/cmake/check_headers_hidden.cmake)
endif()
