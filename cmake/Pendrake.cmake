# Layering: Game -> Engine -> Platform. What a library offers the layer above is a folder of its
# own in the build tree holding only the paths it publishes (links to the sources, under the same
# "Layer/..." names), and the layers compile against those folders alone, so an include of a lower
# layer's internals fails to compile instead of growing a dependency nobody chose.
function(pendrake_publish target)
  set(dir ${PROJECT_BINARY_DIR}/published/${target})
  foreach(path ${ARGN})
    get_filename_component(parent ${dir}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${path} ${dir}/${path} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${dir})
endfunction()

# Every executable of the project gets the tracked global operators as an object file of its
# own: a member of a static archive would be dropped by the linker whenever nothing references
# it, and the program would silently fall back to the C++ runtime's operators.
function(pendrake_link_tracked_operators target)
  if(PENDRAKE_TRACKED_ALLOCATOR)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:tracked_operators>)
  endif()
endfunction()

# A GoogleTest executable for one area, registered with CTest under the area's label:
#   pendrake_test(<name> <label> SOURCES <files>... [TRACKER <gtest filter>])
# The tests the TRACKER filter names count the tracker's blocks; their label is "<label>_tracker"
# (one label: discovered tests take no label lists), which "ctest -L <label>" still selects since
# labels match as regular expressions, and builds without the tracked operators (the sanitizer
# run) leave out with "ctest -LE tracker".
function(pendrake_test name label)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "TRACKER" "SOURCES")
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE game engine test_support GTest::gtest)
  # Tests reach into every layer's internals.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  pendrake_link_tracked_operators(${name})
  if(arg_TRACKER)
    gtest_discover_tests(${name} TEST_FILTER "${arg_TRACKER}"
      PROPERTIES LABELS ${label}_tracker DISCOVERY_TIMEOUT 60)
    set(others "-${arg_TRACKER}")
  else()
    set(others "*")
  endif()
  gtest_discover_tests(${name} TEST_FILTER "${others}"
    PROPERTIES LABELS ${label} DISCOVERY_TIMEOUT 60)
endfunction()

function(pendrake_bench name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE engine benchmark::benchmark)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  pendrake_link_tracked_operators(${name})
endfunction()

# The fuzz build instruments everything for libFuzzer's coverage and the sanitizers; only the
# fuzz targets link libFuzzer's main, so the test executables of the same build still link.
if(PENDRAKE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "PENDRAKE_FUZZ needs clang (libFuzzer)")
  endif()
  if(PENDRAKE_TRACKED_ALLOCATOR)
    message(FATAL_ERROR "PENDRAKE_FUZZ needs PENDRAKE_TRACKED_ALLOCATOR=OFF")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# A libFuzzer target for one file reader: the common driver and the reader's source (which
# gives the driver its seeds, its set-up and one run of the reader; see tests/fuzz/FuzzTarget.h).
function(pendrake_fuzz_target name source)
  add_executable(${name} ${PROJECT_SOURCE_DIR}/tests/fuzz/FuzzMain.cpp ${source})
  target_link_libraries(${name} PRIVATE engine format_writers platform)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzz_targets ${name})
endfunction()
