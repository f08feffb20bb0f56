# velmar_library(NAME [DEPS lib...])
# One static library per folder: every .cpp/.c in the folder (not below it). Unit tests in the folder's
# tests/ subfolder become NAME_tests, registered with CTest.
function(velmar_library name)
  cmake_parse_arguments(A "" "" "DEPS;TEST_DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_DEPS} Threads::Threads)
  set_target_properties(${name} PROPERTIES VELMAR_DEPS "${A_DEPS}")
  # Imported dependencies are seen everywhere, so that the ThreadSanitizer form of the library (made in
  # another folder) can link them too.
  foreach(d IN LISTS A_DEPS)
    if(TARGET ${d})
      get_target_property(imported ${d} IMPORTED)
      get_target_property(global ${d} IMPORTED_GLOBAL)
      if(imported AND NOT global)
        set_target_properties(${d} PROPERTIES IMPORTED_GLOBAL TRUE)
      endif()
    endif()
  endforeach()
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

# Race checking with ThreadSanitizer, for the libraries that run threads.
set(VELMAR_TSAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer -O1 -g)
# A race, or a lock taken in two orders, ends the process at once, also in a daemon a test started, so
# that the test fails where it happened.
set(VELMAR_TSAN_ENV "TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1")

# velmar_tsan_library(NAME): NAME_tsan, NAME's sources built with ThreadSanitizer and linked to the _tsan
# forms of the libraries of this tree it depends on. Built only when a _tsan test needs it.
function(velmar_tsan_library name)
  if(TARGET ${name}_tsan)
    return()
  endif()
  get_target_property(srcs ${name} SOURCES)
  get_target_property(deps ${name} VELMAR_DEPS)
  set(tsan_deps)
  foreach(d IN LISTS deps)
    if(TARGET ${d} AND d MATCHES "^velmar_")
      velmar_tsan_library(${d})
      list(APPEND tsan_deps ${d}_tsan)
    elseif(d)
      list(APPEND tsan_deps ${d})
    endif()
  endforeach()
  get_target_property(includes ${name} INCLUDE_DIRECTORIES)
  add_library(${name}_tsan STATIC EXCLUDE_FROM_ALL ${srcs})
  target_include_directories(${name}_tsan PUBLIC ${PROJECT_SOURCE_DIR} PRIVATE ${includes})
  target_compile_options(${name}_tsan PRIVATE ${VELMAR_TSAN_FLAGS})
  target_link_options(${name}_tsan INTERFACE -fsanitize=thread)
  target_link_libraries(${name}_tsan PUBLIC ${tsan_deps} Threads::Threads)
endfunction()

# velmar_tsan_tests(NAME SOURCES file... [DEPS lib...] [STAGE dir] [FILTER gtest-filter]): NAME_tsan_tests
# from the given test sources under ThreadSanitizer, linked to NAME_tsan, registered with CTest as
# "tsan.<test>" (those FILTER selects). STAGE names the installation the tests take their executables from
# (default: the normal stage).
function(velmar_tsan_tests name)
  cmake_parse_arguments(A "" "STAGE;FILTER" "SOURCES;DEPS" ${ARGN})
  velmar_tsan_library(${name})
  if(NOT A_STAGE)
    set(A_STAGE ${VELMAR_STAGE})
  endif()
  add_executable(${name}_tsan_tests ${A_SOURCES})
  target_compile_options(${name}_tsan_tests PRIVATE ${VELMAR_TSAN_FLAGS})
  target_link_libraries(${name}_tsan_tests PRIVATE ${name}_tsan ${A_DEPS} GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name}_tsan_tests PRIVATE
    VELMAR_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VELMAR_STAGE_DIR="${A_STAGE}"
    VELMAR_TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  if(NOT A_FILTER)
    set(A_FILTER "*")
  endif()
  gtest_discover_tests(${name}_tsan_tests TEST_PREFIX tsan. TEST_FILTER "${A_FILTER}" DISCOVERY_TIMEOUT 120
                       PROPERTIES TIMEOUT 600 ENVIRONMENT "${VELMAR_TSAN_ENV}")
endfunction()
