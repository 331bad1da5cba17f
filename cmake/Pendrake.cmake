# Every executable of the project gets the tracked global operators as an object file of its
# own: a member of a static archive would be dropped by the linker whenever nothing references
# it, and the program would silently fall back to the C++ runtime's operators.
function(pendrake_link_tracked_operators target)
  if(PENDRAKE_TRACKED_ALLOCATOR)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:tracked_operators>)
  endif()
endfunction()

# A GoogleTest executable for one area, registered with CTest under the area's label.
function(pendrake_test name label)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE game engine test_support GTest::gtest)
  pendrake_link_tracked_operators(${name})
  gtest_discover_tests(${name}
    PROPERTIES LABELS ${label}
    DISCOVERY_TIMEOUT 60)
endfunction()

function(pendrake_bench name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE engine benchmark::benchmark)
  pendrake_link_tracked_operators(${name})
endfunction()
