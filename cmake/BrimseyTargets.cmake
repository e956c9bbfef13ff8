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

# brimsey_test(NAME name SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l] [ENVIRONMENT K=V...])
# A GoogleTest program whose cases ctest lists one by one.
function(brimsey_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${T_NAME} PRIVATE
    BRIMSEY_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    BRIMSEY_BINARY_DIR="${CMAKE_BINARY_DIR}")
  # Scratch files stay in the build folder: two checkouts (or two CI jobs) testing on one
  # machine must not write each other's /tmp files. (Through the launcher, because a second
  # ENVIRONMENT entry does not survive gtest_discover_tests' PROPERTIES.)
  set(scratch ${CMAKE_BINARY_DIR}/test-tmp)
  file(MAKE_DIRECTORY ${scratch})
  set_target_properties(${T_NAME} PROPERTIES CROSSCOMPILING_EMULATOR "env;TMPDIR=${scratch};TEST_TMPDIR=${scratch}/")
  set(props "")
  if(T_LABELS OR T_ENVIRONMENT)
    set(props PROPERTIES)
    if(T_LABELS)
      list(APPEND props LABELS "${T_LABELS}")
    endif()
    if(T_ENVIRONMENT)
      list(APPEND props ENVIRONMENT "${T_ENVIRONMENT}")
    endif()
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 ${props})
endfunction()
