# Shared build settings and the helpers every folder uses to declare its tests.

option(SITEMON_FUZZ "Build the libFuzzer targets (clang only; script/fuzz)" OFF)
option(SITEMON_SOAK_TESTS "Register the long reliability runs (label soak)" OFF)

# Every library and program compiles its files eight at a time as one unit: the headers they
# share (the C++ library, nlohmann/json, windows.h) are parsed and their templates instantiated
# once a batch, not once a file. Names private to a file must therefore differ within a library.
set(CMAKE_UNITY_BUILD ON)
set(CMAKE_UNITY_BUILD_BATCH_SIZE 8)

set(SITEMON_WARNINGS -Wall -Wextra)
add_compile_options(${SITEMON_WARNINGS})

if(WIN32)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  # Build-time settings: the maker's notice service and web page. The defaults lie under a
  # reserved domain; tests point them at loopback.
  set(SITEMON_NOTICE_HOST "notice.dorvane.example" CACHE STRING "Host name of the notice service")
  set(SITEMON_NOTICE_PORT "80" CACHE STRING "Port of the notice service")
  set(SITEMON_WEB_PAGE "http://www.dorvane.example/index.php?product=sitemonitor" CACHE STRING "The maker's web page")
  # Reproducible programs: one source gives the same bytes in any folder at any time. No link
  # time stamp in the PE headers, and no source or build folder in the objects (__FILE__, debug
  # information): the source folder reads ".", the build folder "build" (named last, so that it
  # wins for the files under it).
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
  add_link_options(LINKER:--no-insert-timestamp)
elseif(SITEMON_FUZZ)
  # Fuzz build (clang): the libraries carry the fuzzer's coverage instrumentation and the address
  # and undefined-behaviour sanitizers; the standard library's own checks are on (bounds of
  # operator[] and front()/back(), and vectors whose unused capacity ASan treats as out of bounds).
  set(SITEMON_FUZZ_SANITIZERS -fsanitize=fuzzer-no-link,address,undefined
      -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_compile_options(${SITEMON_FUZZ_SANITIZERS})
  add_link_options(-fsanitize=address,undefined)
  add_compile_definitions(_GLIBCXX_ASSERTIONS _GLIBCXX_SANITIZE_VECTOR=1)
else()
  # Native build: the core and its tests run under AddressSanitizer and UBSan unless told not to.
  set(SITEMON_SANITIZE "address,undefined" CACHE STRING "Sanitizers for the native build (empty: none)")
  if(SITEMON_SANITIZE)
    add_compile_options(-fsanitize=${SITEMON_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${SITEMON_SANITIZE})
  endif()
endif()

# GoogleTest: Debian's prebuilt library natively, its source for the Windows build.
if(WIN32)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Built once per build and only run by the tests: optimised a little, not fully.
  foreach(t gtest gmock gtest_main)
    target_compile_options(${t} PRIVATE -O1)
  endforeach()
  add_library(sitemon_gtest INTERFACE)
  target_link_libraries(sitemon_gtest INTERFACE gtest gmock gtest_main)
else()
  find_package(GTest REQUIRED)
  find_package(Threads REQUIRED)
  add_library(sitemon_gtest INTERFACE)
  target_link_libraries(sitemon_gtest INTERFACE GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
endif()

# Test code (the test programs, their helpers) is built for a short build: no optimisation and
# line tables only (enough for the sanitizers' stack traces), while the product code they test
# keeps its build's flags. Every GoogleTest program shares one precompiled header (GoogleTest,
# GoogleMock and the standard headers most tests use), made once per build.
set(SITEMON_TEST_CODE_OPTIONS -O0 -g1)
if(WIN32)
  set(SITEMON_TEST_CODE_OPTIONS -O0)
endif()
# Each test program's files are compiled a batch at a time as one unit (as every target is): the
# precompiled header and GoogleTest's templates once a batch, not once a file. In such a unit a
# fixture in an anonymous namespace of one file makes GCC warn about its tests' classes, which is
# harmless there.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND SITEMON_TEST_CODE_OPTIONS -Wno-subobject-linkage)
endif()
set(sitemon_pch_source ${CMAKE_BINARY_DIR}/sitemon_test_pch.cpp)
file(WRITE ${sitemon_pch_source} "// The precompiled header's own object (cmake/SiteMonitor.cmake).\n")
add_library(sitemon_test_pch OBJECT EXCLUDE_FROM_ALL ${sitemon_pch_source})
target_link_libraries(sitemon_test_pch PRIVATE sitemon_gtest)
target_compile_options(sitemon_test_pch PRIVATE ${SITEMON_TEST_CODE_OPTIONS})
target_precompile_headers(sitemon_test_pch PRIVATE
  <gtest/gtest.h> <gmock/gmock.h> <algorithm> <atomic> <chrono> <cstdint> <cstring> <functional> <map>
  <memory> <string> <thread> <utility> <vector>)

# sitemon_test_code(<target>): the test-code flags and the shared precompiled header, for a
# GoogleTest program declared without the two functions below.
function(sitemon_test_code target)
  target_compile_options(${target} PRIVATE ${SITEMON_TEST_CODE_OPTIONS})
  target_precompile_headers(${target} REUSE_FROM sitemon_test_pch)
endfunction()

# sitemon_native_test(<name> [THREADS] <sources...>): a GoogleTest program of the portable core,
# with the portable test helpers (tests/support). THREADS: its tests run real threads, so it is
# also built and run under ThreadSanitizer (label "threads", script/test tsan).
function(sitemon_native_test name)
  if(WIN32)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 arg "THREADS" "" "")
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE sitemon_shell sitemon_console sitemon_native_test_support sitemon_gtest)
  sitemon_test_code(${name})
  add_test(NAME ${name} COMMAND ${name})
  if(arg_THREADS)
    set_tests_properties(${name} PROPERTIES LABELS "native;threads" TIMEOUT 300)
  else()
    set_tests_properties(${name} PROPERTIES LABELS native TIMEOUT 300)
  endif()
endfunction()

# sitemon_win_test(<name> [OWN_PREFIX | OWN_DISPLAY] [SECONDS <n>] <sources...>): a GoogleTest program run under
# Wine, with the Windows test helpers (tests/support). OWN_PREFIX runs it in a Wine prefix of its
# own (tests/support/wine-isolated), for programs that change or look at what a prefix shares
# (AppData, the registry, the tray, windows found by title); OWN_DISPLAY also gives it an X
# display of its own, for programs that depend on focus, activation or the pointer. Either way
# it can run side by side with the others. SECONDS: about how long it runs, so that ctest starts
# the long ones first.
function(sitemon_win_test name)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 arg "OWN_PREFIX;OWN_DISPLAY" "SECONDS" "")
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE sitemon_shell sitemon_console sitemon_win_test_support sitemon_gtest)
  sitemon_test_code(${name})
  if(arg_OWN_DISPLAY)
    set_target_properties(${name} PROPERTIES
      CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/tests/support/wine-isolated;--display")
  elseif(arg_OWN_PREFIX)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/tests/support/wine-isolated")
  endif()
  add_test(NAME ${name} COMMAND ${name})
  # A bound for a machine busy with other work: the slowest program takes about 100 s when idle.
  set_tests_properties(${name} PROPERTIES LABELS wine TIMEOUT 1200)
  if(arg_SECONDS)
    set_tests_properties(${name} PROPERTIES COST ${arg_SECONDS})
  endif()
endfunction()
