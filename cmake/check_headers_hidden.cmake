# Run by ctest (cmake -P). For each front-end target: a file including one of its allowed headers
# must compile with the target's include directories, and a file including any engine header must
# fail for want of that header. The control compile makes sure a failure comes from the boundary
# and not from a broken command line.
#   -DCXX=compiler -DWORK=dir -DTARGETS=name,... -DINCLUDES_<name>=file -DALLOWED_<name>=header,...
#   -DENGINE_HEADERS=header,...
file(MAKE_DIRECTORY ${WORK})
string(REPLACE "," ";" TARGETS "${TARGETS}")
string(REPLACE "," ";" ENGINE_HEADERS "${ENGINE_HEADERS}")
set(failures "")

function(compile_probe header includes_file result_var output_var)
  string(MAKE_C_IDENTIFIER "${header}" id)
  set(source "${WORK}/probe_${id}.cpp")
  file(WRITE "${source}" "#include \"${header}\"\n")
  file(STRINGS "${includes_file}" dirs)
  set(flags "")
  foreach(dir IN LISTS dirs)
    if(NOT dir STREQUAL "")
      list(APPEND flags "-I${dir}")
    endif()
  endforeach()
  execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only ${flags} "${source}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(${result_var} ${result} PARENT_SCOPE)
  set(${output_var} "${out}" PARENT_SCOPE)
endfunction()

foreach(target IN LISTS TARGETS)
  set(includes_file "${INCLUDES_${target}}")
  string(REPLACE "," ";" allowed "${ALLOWED_${target}}")
  foreach(header IN LISTS allowed)
    compile_probe("${header}" "${includes_file}" result out)
    if(NOT result EQUAL 0)
      string(APPEND failures "${target}: its own header ${header} does not compile:\n${out}\n")
    endif()
  endforeach()
  foreach(header IN LISTS ENGINE_HEADERS)
    compile_probe("${header}" "${includes_file}" result out)
    string(FIND "${out}" "${header}: No such file or directory" missing)
    if(result EQUAL 0 OR missing EQUAL -1)
      string(APPEND failures "${target} can include the engine header ${header}\n")
    endif()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "engine headers hidden from: ${TARGETS}")
