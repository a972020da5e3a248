# One static library per source folder; its sources are every .cpp in the folder,
# so adding a file needs no edit here. An empty folder gives an interface library.
# Precompiled standard and third-party headers: most of a translation unit's
# compile time is spent parsing these, in every one of them.
option(CLV_PCH "Precompile the common standard and third-party headers" ON)
set(CLV_PCH_HEADERS
  <algorithm> <array> <atomic> <chrono> <cstdint> <filesystem> <functional> <map>
  <mutex> <optional> <string> <string_view> <thread> <vector> <fmt/format.h>)

function(clv_precompile target)
  if(CLV_PCH)
    target_precompile_headers(${target} PRIVATE ${CLV_PCH_HEADERS} ${ARGN})
  endif()
endfunction()

# Most of the CI's time is compiling test files: merged in batches, they share the
# work of instantiating and generating GoogleTest's, fmt's and the library's inline code.
option(CLV_UNITY_TESTS "Compile the test programs' files in batches (unity build)" ON)
# Larger batches cost a third less compiling than batches of eight (the same
# templates are made once per batch), which is what CI's two cores wait for.
set(CLV_UNITY_TESTS_BATCH 32 CACHE STRING "Test files per unity batch")

function(clv_folder_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(_sources)
    add_library(clv_${name} STATIC ${_sources})
    target_include_directories(clv_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(clv_${name} PUBLIC ${ARG_DEPS})
    clv_precompile(clv_${name})
  else()
    add_library(clv_${name} INTERFACE)
    target_include_directories(clv_${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(clv_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# One test program per folder of tests/, labelled with the folder's name; its
# sources are every .cpp in the folder and in its subfolders (the rooms of the
# code it tests).
# THREADED names the folder's test files whose tests run threads of the program
# (or the program itself), by their path within the folder: the ThreadSanitizer
# build compiles only those, with the folder's support files (every .cpp not
# ending in _test.cpp).
# WAITING is a test filter (GoogleTest's) of the folder's tests that spend their
# minutes waiting on a program run that plays in real time: they start first, and
# take none of the processor slots that scripts/test hands the other tests, which
# each take one (the "cpus" resource; ctest ignores it unless it is given the file of slots that scripts/test writes).
function(clv_folder_tests name)
  cmake_parse_arguments(ARG "" "WAITING" "DEPS;THREADED" ${ARGN})
  file(GLOB_RECURSE _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  if(CLV_TSAN)
    set(_kept "")
    foreach(_source ${_sources})
      file(RELATIVE_PATH _file ${CMAKE_CURRENT_SOURCE_DIR}/${name} ${_source})
      if(NOT _file MATCHES "_test[.]cpp$" OR _file IN_LIST ARG_THREADED)
        list(APPEND _kept ${_source})
      endif()
    endforeach()
    foreach(_file ${ARG_THREADED})
      if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/${_file})
        message(FATAL_ERROR "tests/${name}: THREADED names ${_file}, which does not exist")
      endif()
    endforeach()
    set(_sources ${_kept})
  endif()
  if(NOT _sources)
    return()
  endif()
  add_executable(test_${name} ${_sources})
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} clv_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  clv_precompile(test_${name} <gtest/gtest.h> <gmock/gmock.h>)
  if(CLV_UNITY_TESTS)
    set_target_properties(test_${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${CLV_UNITY_TESTS_BATCH})
    # A batch includes its files, so GCC takes a fixture in a file's anonymous
    # namespace for one from a header; within the batch the warning means nothing.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(test_${name} PRIVATE -Wno-subobject-linkage)
    endif()
  endif()
  if(ARG_WAITING)
    gtest_discover_tests(test_${name} TEST_FILTER "-${ARG_WAITING}"
      PROPERTIES LABELS ${name} RESOURCE_GROUPS cpus:1
      DISCOVERY_TIMEOUT 60)
    gtest_discover_tests(test_${name} TEST_FILTER "${ARG_WAITING}"
      PROPERTIES LABELS ${name} COST 100000
      DISCOVERY_TIMEOUT 60)
  else()
    gtest_discover_tests(test_${name}
      PROPERTIES LABELS ${name} RESOURCE_GROUPS cpus:1
      DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
