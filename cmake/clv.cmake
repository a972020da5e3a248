# One static library per source folder; its sources are every .cpp in the folder,
# so adding a file needs no edit here. An empty folder gives an interface library.
function(clv_folder_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(_sources)
    add_library(clv_${name} STATIC ${_sources})
    target_include_directories(clv_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(clv_${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(clv_${name} INTERFACE)
    target_include_directories(clv_${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(clv_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# One test program per folder of tests/, labelled with the folder's name.
function(clv_folder_tests name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  if(NOT _sources)
    return()
  endif()
  add_executable(test_${name} ${_sources})
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} clv_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(test_${name}
    PROPERTIES LABELS ${name}
    DISCOVERY_TIMEOUT 60)
endfunction()
