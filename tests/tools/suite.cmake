# Programs the capture tests put on the PATH: a cjpeg that takes the
# Windows builds' two-file form and hands it to Debian's cjpeg.
add_executable(cjpeg_two_file ${CMAKE_CURRENT_LIST_DIR}/cjpeg_two_file.cpp)
set_target_properties(cjpeg_two_file PROPERTIES OUTPUT_NAME cjpeg
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools/bin)
target_compile_options(cjpeg_two_file PRIVATE -Wall -Wextra -Werror)

add_dependencies(scenario_tests cjpeg_two_file)
target_compile_definitions(scenario_tests PRIVATE VORLUNE_TOOLS_DIR="${CMAKE_BINARY_DIR}/tools/bin")
