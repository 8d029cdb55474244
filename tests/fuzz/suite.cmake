# libFuzzer targets: the settings.ini reader, the control connection's reply
# reader with the PASV parser, and temp.bmp's size arithmetic. Built only in
# the clang build that asks for them (the "fuzz" preset); there each gets a
# test that runs it once over its seed corpus, and scripts/fuzz runs them for
# a while.
if(NOT VORLUNE_FUZZ)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "The fuzz targets need clang (libFuzzer); configure with the fuzz preset")
endif()

set(VORLUNE_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

# The code under test is compiled into each target, so it carries the
# coverage instrumentation; the libraries only supply what it calls.
function(vorlune_fuzz_target name)
  cmake_parse_arguments(FUZZ "" "" "SOURCES;LIBRARIES" ${ARGN})
  set(target ${name}_fuzz)
  add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp ${FUZZ_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${target} PRIVATE ${VORLUNE_FUZZ_FLAGS})
  target_link_options(${target} PRIVATE ${VORLUNE_FUZZ_FLAGS})
  target_link_libraries(${target} PRIVATE ${FUZZ_LIBRARIES})
  vorlune_warnings(${target})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)

  file(GLOB seeds CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/corpus/${name}/*)
  list(SORT seeds)
  # Given files rather than a directory, libFuzzer runs each once and
  # writes nothing back into the committed corpus.
  add_test(NAME fuzz_corpus_${name} COMMAND ${target} ${seeds})
  set_tests_properties(fuzz_corpus_${name} PROPERTIES LABELS fuzz TIMEOUT 300)
endfunction()

vorlune_fuzz_target(settings SOURCES ${PROJECT_SOURCE_DIR}/settings/settings.cpp LIBRARIES vorlune_platform)
vorlune_fuzz_target(bitmap SOURCES ${PROJECT_SOURCE_DIR}/capture/screen_capture.cpp ${PROJECT_SOURCE_DIR}/app/app_state.cpp
  LIBRARIES vorlune_platform)
vorlune_fuzz_target(reply SOURCES ${PROJECT_SOURCE_DIR}/ftp/control_io.cpp ${PROJECT_SOURCE_DIR}/ftp/passive_address.cpp)
