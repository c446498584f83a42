# Helpers that every module's tests, benchmarks and fuzz targets use.

# Calls add_subdirectory for each folder of MODULES under the current source
# directory that has a CMakeLists.txt of its own.
function(corvane_add_module_dirs)
  foreach(module IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${module}/CMakeLists.txt)
      add_subdirectory(${module})
    endif()
  endforeach()
endfunction()

# corvane_add_test(<name> LABEL <module> SOURCES <files...> [LIBS <targets...>] [TIMEOUT <s>]
#                  [RETRY_FAILED])
# One GoogleTest executable, one CTest entry. Windows test programs run under Wine and carry the
# label "wine" besides their module's, so a machine that cannot run Wine can leave them out.
# RETRY_FAILED runs once more the cases that failed because a process of theirs did not start
# (retry_failed_cases.sh): for tests of real processes, which 64-bit Wine now and then fails to start.
function(corvane_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "RETRY_FAILED" "LABEL;TIMEOUT" "SOURCES;LIBS")
  if(NOT arg_LABEL)
    message(FATAL_ERROR "corvane_add_test(${name}): LABEL is required")
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 300)
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} gmock gtest_main)
  if(arg_RETRY_FAILED)
    add_test(NAME ${name} COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/retry_failed_cases.sh
                                  ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set(labels ${arg_LABEL})
  if(WIN32)
    list(APPEND labels wine)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT ${arg_TIMEOUT})
endfunction()

# corvane_add_benchmark(<name> SOURCES <files...> [LIBS <targets...>])
# A Google Benchmark executable; run on demand (scripts/bench), not by CTest.
function(corvane_add_benchmark name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBS")
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} benchmark::benchmark_main)
endfunction()

# corvane_add_fuzzer(<name> LABEL <module> SOURCES <files...> [LIBS <targets...>] [CORPUS <dir>]
#                    [RUNS <n>] [OPTIONS <libFuzzer flags...>])
# A libFuzzer target with the fuzz watchdog (fuzz/watchdog), which ends an input that runs past
# -timeout where libFuzzer's own timer does not (under qemu). With a CORPUS of committed inputs,
# CTest runs it briefly from them (corvane_add_fuzz_test): RUNS inputs in all, the committed ones
# included, from a fixed seed, so that the same inputs run however loaded the machine is. Without
# a corpus the caller adds its tests.
function(corvane_add_fuzzer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "LABEL;CORPUS;RUNS" "SOURCES;LIBS;OPTIONS")
  if(arg_CORPUS AND NOT arg_RUNS)
    message(FATAL_ERROR "corvane_add_fuzzer(${name}): a CORPUS needs RUNS")
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer -Wl,--wrap=LLVMFuzzerTestOneInput)
  target_link_libraries(${name} PRIVATE ${arg_LIBS} corvane_fuzz_watchdog)
  if(arg_CORPUS)
    corvane_add_fuzz_test(${name} ${name} LABEL ${arg_LABEL} CORPUS ${arg_CORPUS}
      OPTIONS -seed=1 -runs=${arg_RUNS} -timeout=10 ${arg_OPTIONS})
  endif()
endfunction()

# corvane_add_fuzz_test(<test> <fuzzer> LABEL <module> CORPUS <dir> [EXPECT_HANG]
#                       [OPTIONS <libFuzzer flags...>])
# Runs the fuzzer from the committed inputs in CORPUS, each named to libFuzzer, and fails unless
# it read them all (cmake/run_fuzz_test.sh). New inputs go to a scratch folder in the build tree
# so the repository's corpus stays as committed. EXPECT_HANG: passes only on the watchdog's report.
function(corvane_add_fuzz_test test fuzzer)
  cmake_parse_arguments(PARSE_ARGV 2 arg "EXPECT_HANG" "LABEL;CORPUS" "OPTIONS")
  set(mode)
  if(arg_EXPECT_HANG)
    set(mode --expect-hang)
  endif()
  add_test(NAME ${test}
           COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/run_fuzz_test.sh ${mode} ${arg_CORPUS}
                   ${CMAKE_CURRENT_BINARY_DIR}/${test}.scratch
                   ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${fuzzer}> ${arg_OPTIONS})
  set(labels ${arg_LABEL} fuzz)
  list(REMOVE_DUPLICATES labels)
  set_tests_properties(${test} PROPERTIES LABELS "${labels}" TIMEOUT 120)
endfunction()
