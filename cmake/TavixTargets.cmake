# tavix_library(<name> [STANDIN] [DEPS <targets>...]): a static library of every .cpp in the
# calling folder (main.cpp excluded). The folder's parent is on the include path, so sources
# include "foundation/log.h", "win32/win_types.h" and the like. Program libraries are collected in
# TAVIX_APP_LIBS (linked into tavix); STANDIN libraries (loopback servers for tests and the demo)
# in TAVIX_STANDIN_LIBS.
#
# The subsystems call each other both ways (the frame drives the simulator link, which reports
# back through the frame's status lines), so executables link the libraries as one rescanned group.
set(TAVIX_APP_LIBS "" CACHE INTERNAL "")
set(TAVIX_STANDIN_LIBS "" CACHE INTERNAL "")

function(tavix_library name)
  cmake_parse_arguments(ARG "STANDIN" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  add_library(${name} STATIC ${srcs})
  get_filename_component(parent ${CMAKE_CURRENT_SOURCE_DIR} DIRECTORY)
  target_include_directories(${name} PUBLIC ${parent})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  if(ARG_STANDIN)
    set(TAVIX_STANDIN_LIBS ${TAVIX_STANDIN_LIBS} ${name} CACHE INTERNAL "")
  else()
    set(TAVIX_APP_LIBS ${TAVIX_APP_LIBS} ${name} CACHE INTERNAL "")
  endif()
endfunction()

# tavix_link_group(<target> <libs>...): links the libraries as one group the linker rescans.
function(tavix_link_group target)
  set(libs ${ARGN})
  list(REMOVE_DUPLICATES libs)
  target_link_libraries(${target} PRIVATE "$<LINK_GROUP:RESCAN,${libs}>")
endfunction()

# tavix_test(<folder> [DEPS <targets>...]): one test program per tests/ folder, every .cpp in it,
# each case run by CTest in its own process and labelled with the folder name (ctest -L e2e).
function(tavix_test folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  set(name test_${folder})
  add_executable(${name} ${srcs})
  # The fixtures first: the libraries' group then resolves what they call (the state resets).
  target_link_libraries(${name} PRIVATE tvx_test_support)
  tavix_link_group(${name} ${ARG_DEPS})
  target_link_libraries(${name} PRIVATE GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 LABELS ${folder} ENVIRONMENT "TAVIX_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
