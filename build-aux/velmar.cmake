# velmar_library(NAME [DEPS lib...])
# One static library per folder: every .cpp/.c in the folder (not below it). Unit tests in the folder's
# tests/ subfolder become NAME_tests, registered with CTest.
function(velmar_library name)
  cmake_parse_arguments(A "" "" "DEPS;TEST_DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_DEPS} Threads::Threads)
  velmar_tests(${name} ${CMAKE_CURRENT_SOURCE_DIR}/tests DEPS ${name} ${A_TEST_DEPS})
endfunction()

# velmar_tests(NAME DIR [DEPS lib...]): a GoogleTest executable NAME_tests from DIR/*.cpp, if any.
function(velmar_tests name dir)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  file(GLOB tsrcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(tsrcs)
    add_executable(${name}_tests ${tsrcs})
    target_link_libraries(${name}_tests PRIVATE ${A_DEPS} GTest::gtest_main GTest::gmock)
    target_compile_definitions(${name}_tests PRIVATE
      VELMAR_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VELMAR_STAGE_DIR="${VELMAR_STAGE}"
      VELMAR_TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")
    gtest_discover_tests(${name}_tests DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 600)
  endif()
endfunction()

# velmar_stage_executable(TARGET): put the executable into <stage>/bin.
function(velmar_stage_executable target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VELMAR_STAGE}/bin)
endfunction()
