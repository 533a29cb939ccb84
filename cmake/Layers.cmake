# vv_layer(<folder> DEPS <targets...>)
#
# Builds the static library vv_<folder> from <folder>/*.cpp and, when tests are
# on, the test program <folder>_tests from <folder>/tests/*.cpp. Sources are
# globbed so that adding a file needs no edit here; CONFIGURE_DEPENDS makes the
# build notice new files.
function(vv_layer folder)
  cmake_parse_arguments(VV "" "" "DEPS;TEST_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(lib vv_${folder})
  if(sources)
    add_library(${lib} STATIC ${sources})
    target_link_libraries(${lib} PUBLIC ${VV_DEPS})
  else()
    add_library(${lib} INTERFACE)
    target_link_libraries(${lib} INTERFACE ${VV_DEPS})
  endif()
  if(VV_BUILD_TESTS)
    file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
    if(tests)
      add_executable(${folder}_tests ${tests})
      target_link_libraries(${folder}_tests PRIVATE ${lib} ${VV_TEST_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
      target_include_directories(${folder}_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
      gtest_discover_tests(${folder}_tests
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
        DISCOVERY_TIMEOUT 120
        PROPERTIES LABELS ${folder})
    endif()
  endif()
endfunction()
