# Shared helpers for the per-area CMakeLists files.

# vq_glob_sources(OUT dir...): every .cpp/.c below the given folders.
function(vq_glob_sources out)
  set(result)
  foreach(dir ${ARGN})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# vq_add_test(NAME SOURCES src... LIBS lib...): a GoogleTest executable under CTest.
# Tests run in their build folder; VQ_SOURCE_DIR and VQ_BIN_DIR are compiled in as strings.
function(vq_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  # Programs on the engine keep its log in a file of their own (tests/support/engine_log_place.cpp).
  if("Zentri" IN_LIST T_LIBS)
    list(APPEND T_SOURCES ${PROJECT_SOURCE_DIR}/tests/support/engine_log_place.cpp)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  # Where tests find the source tree (fixture sources) and the built programs (tools under test).
  target_compile_definitions(${name} PRIVATE VQ_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             VQ_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "SDL_AUDIODRIVER=dummy")
endfunction()

# vq_add_bench(NAME SOURCES src... LIBS lib...): a Google Benchmark executable.
function(vq_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark benchmark::benchmark_main Threads::Threads)
endfunction()

# vq_add_subdirectories(): add every immediate subfolder that has a CMakeLists.txt.
macro(vq_add_subdirectories)
  file(GLOB _vq_children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _vq_children)
  foreach(_vq_child ${_vq_children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_vq_child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_vq_child}/CMakeLists.txt)
      add_subdirectory(${_vq_child})
    endif()
  endforeach()
endmacro()
