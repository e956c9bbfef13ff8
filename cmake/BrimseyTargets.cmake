# Small helpers so that each area's CMakeLists.txt stays a few lines long.

# Adds every direct subfolder of DIR that has a CMakeLists.txt.
# CONFIGURE_DEPENDS makes the build re-run CMake when a folder gains or loses one.
function(brimsey_add_subdirectories dir)
  if(IS_ABSOLUTE ${dir})
    set(base ${dir})
  else()
    set(base ${CMAKE_SOURCE_DIR}/${dir})
  endif()
  file(GLOB lists CONFIGURE_DEPENDS ${base}/*/CMakeLists.txt)
  list(SORT lists)
  foreach(list ${lists})
    get_filename_component(child ${list} DIRECTORY)
    add_subdirectory(${child})
  endforeach()
endfunction()

# Registers the CMakeLists.txt files an area may gain, so that adding one re-runs CMake.
function(brimsey_watch_for_lists)
  foreach(pattern ${ARGN})
    file(GLOB ignored CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${pattern})
  endforeach()
endfunction()

# brimsey_test(NAME name SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l] [ENVIRONMENT K=V...]
#              [TIMEOUT seconds])
# A GoogleTest program whose cases ctest lists one by one. Each case must end within
# TIMEOUT seconds (default BRIMSEY_TEST_TIMEOUT), so that a hang fails fast; sanitized
# builds allow BRIMSEY_TIMEOUT_SCALE times as long. A test that needs longer says why
# where it passes TIMEOUT.
function(brimsey_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  set(excluded "")
  if(BRIMSEY_TSAN AND NOT T_NAME IN_LIST BRIMSEY_TSAN_TESTS)
    # The ThreadSanitizer build runs only the programs that start threads.
    set(excluded EXCLUDE_FROM_ALL)
  endif()
  add_executable(${T_NAME} ${excluded} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${T_NAME} PRIVATE
    BRIMSEY_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    BRIMSEY_BINARY_DIR="${CMAKE_BINARY_DIR}")
  # Test files compile in batches: most of a test file's compile time is the standard library
  # and GoogleTest headers, read once per batch instead of once per file. Each file keeps its
  # helpers in an anonymous namespace (so their names must differ within one program), which
  # GCC would warn about in an included file.
  set_target_properties(${T_NAME} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  target_compile_options(${T_NAME} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-subobject-linkage>)
  if(NOT (BRIMSEY_SANITIZE OR BRIMSEY_TSAN OR BRIMSEY_FUZZ))
    # The tests' own code needs little optimisation, and line tables are enough for a
    # failure's backtrace: a batch compiles in 8 s instead of 20. The code under test
    # keeps the build's flags.
    target_compile_options(${T_NAME} PRIVATE $<$<CONFIG:RelWithDebInfo>:-Og -g1>)
  endif()
  if(excluded)
    return()
  endif()

  if(NOT T_TIMEOUT)
    set(T_TIMEOUT ${BRIMSEY_TEST_TIMEOUT})
  endif()
  math(EXPR timeout "${T_TIMEOUT} * ${BRIMSEY_TIMEOUT_SCALE}")
  # The test's environment, and the sanitizer suppressions of the test set-up
  # (BRIMSEY_SANITIZER_DIR is set by sanitized builds) unless the test brings its own
  # options, reach the program through `env` in front of its command: ctest's ENVIRONMENT
  # property loses all but the first variable on its way through test discovery.
  # Scratch files stay in the build folder: two checkouts (or two CI jobs) testing on one
  # machine must not write each other's /tmp files.
  set(scratch ${CMAKE_BINARY_DIR}/test-tmp)
  file(MAKE_DIRECTORY ${scratch})
  set(environment TMPDIR=${scratch} TEST_TMPDIR=${scratch}/ ${T_ENVIRONMENT})
  foreach(sanitizer lsan tsan ubsan)
    string(TOUPPER ${sanitizer} upper)
    set(file ${BRIMSEY_SANITIZER_DIR}/${sanitizer}.supp)
    set(own ${T_ENVIRONMENT})
    list(FILTER own INCLUDE REGEX "^${upper}_OPTIONS=")
    if(BRIMSEY_SANITIZER_DIR AND EXISTS ${file} AND NOT own)
      set(options suppressions=${file})
      if(sanitizer STREQUAL "ubsan")
        # What scripts/test.sh asks of UBSan besides: a report stops the test.
        string(APPEND options ":print_stacktrace=1:halt_on_error=1")
      endif()
      list(APPEND environment "${upper}_OPTIONS=${options}")
    endif()
  endforeach()
  set_property(TARGET ${T_NAME} PROPERTY CROSSCOMPILING_EMULATOR env ${environment})
  set(props TIMEOUT ${timeout})
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if("gtk" IN_LIST T_LABELS)
    # A window under Xvfb (often with WebKit's processes) keeps a core busy: it counts as
    # two of the tests ctest runs at once (scripts/test.sh runs twice as many as cores).
    list(APPEND props PROCESSORS 2)
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
