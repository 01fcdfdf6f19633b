# Helpers shared by the folders: every layer is a static library made of the
# .cpp files of its folder, and every test folder one GoogleTest executable.

# tarnel_layer(NAME DIR [LIBS ...]): a static library of DIR's sources.
function(tarnel_layer name dir)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT srcs)
    # A layer whose folder is still empty builds as an empty library.
    set(srcs ${CMAKE_BINARY_DIR}/empty_${name}.cpp)
    file(WRITE ${srcs} "// empty layer\n")
  endif()
  # The objects serve both the layer's static library (for its unit tests)
  # and the shared platform library.
  add_library(${name}_objects OBJECT ${srcs})
  target_link_libraries(${name}_objects PUBLIC ${ARGN})
  add_library(${name} STATIC $<TARGET_OBJECTS:${name}_objects>)
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# tarnel_test(NAME DIR LIBS ...): one test executable of DIR's sources,
# its cases registered with CTest.
function(tarnel_test name dir)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE TARNEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                             TARNEL_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
