# Shared objects must resolve every symbol when linked, so that a missing
# definition shows at build time, not at load time. Clang's sanitizers keep
# their run-time in the program, not in the shared objects, which therefore
# cannot be complete on their own.
function(vx_no_undefined target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND (VX_SANITIZE OR VX_SANITIZE_THREAD OR VX_FUZZ))
    return()
  endif()
  target_link_options(${target} PRIVATE -Wl,--no-undefined)
endfunction()

# Each library is built once as objects; the shared library and the static
# library that the tests link are made from the same objects.
function(vx_library name)
  cmake_parse_arguments(ARG "" "SOVERSION" "SOURCE_DIRS;INCLUDE_DIRS;LINK;DEFINE" ${ARGN})
  set(sources)
  foreach(dir IN LISTS ARG_SOURCE_DIRS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
    list(APPEND sources ${found})
  endforeach()
  add_library(${name}_objects OBJECT ${sources})
  target_include_directories(${name}_objects PUBLIC ${ARG_INCLUDE_DIRS})
  target_compile_definitions(${name}_objects PRIVATE ${ARG_DEFINE})
  target_link_libraries(${name}_objects PUBLIC ${ARG_LINK})

  add_library(${name}_core STATIC $<TARGET_OBJECTS:${name}_objects>)
  target_include_directories(${name}_core PUBLIC ${ARG_INCLUDE_DIRS})
  target_link_libraries(${name}_core PUBLIC ${ARG_LINK})

  add_library(${name} SHARED $<TARGET_OBJECTS:${name}_objects>)
  target_include_directories(${name} PUBLIC "$<BUILD_INTERFACE:${ARG_INCLUDE_DIRS}>")
  target_link_libraries(${name} PRIVATE ${ARG_LINK})
  vx_no_undefined(${name})
  if(ARG_SOVERSION)
    set_target_properties(${name} PROPERTIES SOVERSION ${ARG_SOVERSION})
  endif()
endfunction()

# One test program per folder below tests/: every .cpp in it.
function(vx_test_folder dir)
  cmake_parse_arguments(ARG "" "" "LINK;ENV" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR}/tests ${dir})
  string(REPLACE "/" "_" name "test_${rel}")
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LINK} vx_testsupport vx_driver_double GTest::gtest_main GTest::gmock Threads::Threads)
  # Run-time loaded libraries (the FTDI double, the second-generation
  # library) are found beside the test programs.
  set(env "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/bin" ${ARG_ENV})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT 120 ENVIRONMENT "${env}")
endfunction()
