# Compiler settings shared by every target: warnings for our own code, sanitizer and
# fuzzer instrumentation for the whole build when asked for.

# Warnings are for us: a user's compiler (a newer GCC, clang) may warn where ours does
# not, and that must not stop their build. `make test`, CI and the sanitizer and fuzz
# builds turn PM_WERROR on.
option(PM_WERROR "Treat compiler warnings in our own code as errors" OFF)
set(PM_WARNING_FLAGS -Wall -Wextra)
if(PM_WERROR)
  list(APPEND PM_WARNING_FLAGS -Werror)
endif()
# GCC 12 at -O3 reports overlapping copies inside std::string's own concatenation and
# assignment that cannot happen (GCC bug 105651); other compilers and levels keep the check.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND PM_WARNING_FLAGS $<$<CONFIG:Release,MinSizeRel>:-Wno-restrict>)
endif()

# -Wall -Wextra (-Werror) on code we write; third-party headers come in as SYSTEM includes.
function(pm_warnings target)
  target_compile_options(${target} PRIVATE ${PM_WARNING_FLAGS})
endfunction()

if(SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT SANITIZE STREQUAL "")
  message(FATAL_ERROR "SANITIZE must be empty, 'address' or 'thread', not '${SANITIZE}'")
endif()

if(FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "FUZZ=ON needs clang: configure with -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The run-time library a Perl extension needs preloaded into a plain perl under a sanitizer.
set(PM_SANITIZER_PRELOAD "")
if(SANITIZE STREQUAL "address")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                  OUTPUT_VARIABLE PM_SANITIZER_PRELOAD OUTPUT_STRIP_TRAILING_WHITESPACE)
elseif(SANITIZE STREQUAL "thread")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libtsan.so
                  OUTPUT_VARIABLE PM_SANITIZER_PRELOAD OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

# Environment for every test: sanitizer options that make findings fatal and readable.
set(PM_TEST_ENV
  "ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
  "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")

# Registers a GoogleTest binary with CTest, one CTest entry per binary so that a
# sanitizer report fails the whole binary visibly.
function(pm_gtest target)
  target_link_libraries(${target} PRIVATE GTest::gtest_main)
  pm_warnings(${target})
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES ENVIRONMENT "${PM_TEST_ENV}")
endfunction()
