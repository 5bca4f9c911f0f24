# Helpers shared by every layer's CMakeLists.txt.
include_guard(GLOBAL)

# larderly_library(NAME SOURCES ... [DEPS ...]): one static library per layer, headers
# included as "layer/File.h" from src/.
function(larderly_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# larderly_test(NAME SOURCES ... [DEPS ...] [GUI]): a GoogleTest executable registered with
# CTest. GUI tests run on the offscreen platform. LARDERLY_SOURCE_DIR and
# LARDERLY_BINARY_DIR are set for fixtures and the built programs.
function(larderly_test name)
  cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;DEPS" ${ARGN})
  if(NOT LARDERLY_TESTS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    LARDERLY_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    LARDERLY_BINARY_DIR="${CMAKE_BINARY_DIR}"
    LARDERLY_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  add_test(NAME ${name} COMMAND ${name})
  set(env "TZ=UTC" "LC_ALL=C.UTF-8")
  if(ARG_GUI)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}")
  if(ARG_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  else()
    set_tests_properties(${name} PROPERTIES TIMEOUT 900)
  endif()
endfunction()

# larderly_fuzzer(NAME SOURCES ... [DEPS ...]): a libFuzzer target, built only in the fuzz
# build. Seeds, if any, live in fuzz/corpus/NAME/; the import readers' fuzz runs also start
# from the import test files in tests/data/import/.
function(larderly_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  if(NOT LARDERLY_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY LARDERLY_FUZZERS ${name})
endfunction()

# larderly_bench(NAME SOURCES ... [DEPS ...]): a Google Benchmark program.
function(larderly_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  if(NOT LARDERLY_BENCH)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  # tests/ for the test doubles the benchmarks share with the tests (ScriptedPrompts.h).
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/bench
    ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    LARDERLY_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    LARDERLY_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
endfunction()
