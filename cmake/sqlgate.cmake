# Build rules shared by every folder.

set(SQLGATE_WARNINGS -Wall -Wextra)
# Test programs are built for a quick build, not for speed (their macro-heavy code compiles several
# times slower at -O2); the code they test keeps the build type's optimisation.
set(SQLGATE_TEST_OPTIMIZE -Og)

# ThreadSanitizer cannot share a process with AddressSanitizer: one sanitizer build or the other.
if(SQLGATE_TSAN AND (SQLGATE_SANITIZE OR SQLGATE_FUZZ))
  message(FATAL_ERROR "SQLGATE_TSAN excludes SQLGATE_SANITIZE and SQLGATE_FUZZ: configure a build folder of its own")
endif()

if(SQLGATE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(SQLGATE_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
  # Timed mutex locks the sanitizer can see, in every program and library made from here on.
  add_library(sqlgate_tsan_clocklock OBJECT ${CMAKE_CURRENT_LIST_DIR}/tsan_clocklock.c)
  link_libraries(sqlgate_tsan_clocklock)
endif()
if(SQLGATE_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  add_custom_target(fuzzers)
endif()

# Adds every immediate sub-folder of DIR that holds a CMakeLists.txt.
function(sqlgate_add_subdirs dir)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/${dir}
       ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*/CMakeLists.txt)
  list(SORT children)
  foreach(c IN LISTS children)
    get_filename_component(sub ${c} DIRECTORY)
    add_subdirectory(${dir}/${sub})
  endforeach()
endfunction()

# sqlgate_library(name SOURCES ... [DEPS ...] [PUBLIC_INCLUDE dir])
# A static library of one folder, with our warnings and the project's include roots.
function(sqlgate_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${SQLGATE_WARNINGS})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/src)
  if(A_DEPS)
    target_link_libraries(${name} PUBLIC ${A_DEPS})
  endif()
endfunction()

# sqlgate_schedule(labels out): the test properties that schedule a test with these labels. The
# PostgreSQL tests share one server and database: one at a time, and started before the others,
# since their chain is long; a slow test starts first of all.
function(sqlgate_schedule labels out)
  set(props)
  if("postgres" IN_LIST labels)
    list(APPEND props RESOURCE_LOCK sqlgate_postgres COST 10)
  endif()
  if("slow" IN_LIST labels)
    list(APPEND props COST 100)
  endif()
  set(${out} ${props} PARENT_SCOPE)
endfunction()

# sqlgate_test(name SOURCES ... [DEPS ...] [LABELS ...] [TIMEOUT s] [ENV VAR=val ...])
# A GoogleTest program; each test case becomes a CTest test with the labels given.
function(sqlgate_test name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;DEPS;LABELS;ENV" ${ARGN})
  if(NOT SQLGATE_TESTS)
    return()
  endif()
  if(NOT A_LABELS)
    set(A_LABELS unit)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${SQLGATE_WARNINGS} ${SQLGATE_TEST_OPTIMIZE})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/src
                             ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  set(props TIMEOUT ${A_TIMEOUT})
  sqlgate_schedule("${A_LABELS}" schedule)
  list(APPEND props ${schedule})
  # The discovery step splits every list it is given into single words, so only single values go
  # through it: a second label would be read as a property name and eat what follows. The label
  # and environment lists are set once the tests are known.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_LIST ${name}_TESTS PROPERTIES ${props})
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_lists.cmake)
  set(body "foreach(t IN LISTS ${name}_TESTS)\n  set_tests_properties(\"\${t}\" PROPERTIES LABELS [==[${A_LABELS}]==]")
  if(A_ENV)
    string(APPEND body " ENVIRONMENT [==[${A_ENV}]==]")
  endif()
  file(WRITE ${script} "${body})\nendforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# sqlgate_fuzzer(name SOURCES ... [DEPS ...]): a libFuzzer target, built only with SQLGATE_FUZZ.
function(sqlgate_fuzzer name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  if(NOT SQLGATE_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/src
                             ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzzers)
  add_dependencies(fuzzers ${name})
endfunction()

# sqlgate_bench(name SOURCES ... [DEPS ...] [LABELS ...]): a Google Benchmark program (not a test),
# smoke-run by the tests (sqlgate_bench_smoke) with the labels given.
function(sqlgate_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${SQLGATE_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/src
                             ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/bench)
  target_link_libraries(${name} PRIVATE ${A_DEPS} benchmark::benchmark)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bench)
  sqlgate_bench_smoke(${name} LABELS ${A_LABELS})
endfunction()

# sqlgate_bench_smoke(name [LABELS ...]): the test bench_smoke.<name> runs the benchmark program once,
# small and briefly (bench/bench_smoke.h; one iteration of what Google Benchmark times), in a folder
# of its own. It fails when the program fails or a case reports an error; timings are not judged.
function(sqlgate_bench_smoke name)
  cmake_parse_arguments(A "" "" "LABELS" ${ARGN})
  if(NOT SQLGATE_TESTS)
    return()
  endif()
  set(labels bench ${A_LABELS})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${name}.smoke)
  file(MAKE_DIRECTORY ${dir})
  add_test(NAME bench_smoke.${name} COMMAND ${name})
  set_tests_properties(bench_smoke.${name} PROPERTIES LABELS "${labels}" TIMEOUT 300
    FAIL_REGULAR_EXPRESSION "ERROR OCCURRED"
    ENVIRONMENT "SQLGATE_BENCH_SMOKE=1;BENCHMARK_MIN_TIME=0.000001;SQLGATE_BENCH_DIR=${dir};TMPDIR=${dir}")
  sqlgate_schedule("${labels}" schedule)
  if(schedule)
    set_tests_properties(bench_smoke.${name} PROPERTIES ${schedule})
  endif()
endfunction()
