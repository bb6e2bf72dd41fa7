# tavix_library(<name> [STANDIN] [DEPS <targets>...]): a static library of every .cpp in the
# calling folder (main.cpp excluded). The folder's parent is on the include path, so sources
# include "foundation/log.h", "win32/win_types.h" and the like. Program libraries are collected in
# TAVIX_APP_LIBS; STANDIN libraries (loopback servers for tests and the demo) in TAVIX_STANDIN_LIBS.
#
# DEPS name every program library the folder's files include and the outside libraries they use.
# The program libraries form one line (TAVIX_LIBRARY_ORDER, lowest first): a library includes only
# libraries before it, so the libraries link in plain dependency order. The include-order step
# (cmake/CheckIncludeOrder.cmake) fails the build when a file includes a later library or one its
# DEPS do not name.
set(TAVIX_LIBRARY_ORDER win32 simconnect foundation frame traffic_service model liveries simulator parking app)
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

# tavix_check_include_order(): a build step that runs the include-order check over src/ and
# platform/ whenever one of their files changes. Called once all program libraries exist.
function(tavix_check_include_order)
  set(args "")
  foreach(lib ${TAVIX_LIBRARY_ORDER})
    if(TARGET tvx_${lib})
      get_target_property(deps tvx_${lib} LINK_LIBRARIES)
      list(FILTER deps INCLUDE REGEX "^tvx_")
      list(TRANSFORM deps REPLACE "^tvx_" "")
      string(REPLACE ";" "," deps "${deps}")
      list(APPEND args "-DDEPS_${lib}=${deps}")
    endif()
  endforeach()
  string(REPLACE ";" "," order "${TAVIX_LIBRARY_ORDER}")
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*.h ${PROJECT_SOURCE_DIR}/src/*.cpp
       ${PROJECT_SOURCE_DIR}/platform/*.h ${PROJECT_SOURCE_DIR}/platform/*.cpp)
  set(stamp ${CMAKE_BINARY_DIR}/include_order.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DORDER=${order} ${args}
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckIncludeOrder.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/CheckIncludeOrder.cmake
    COMMENT "Checking the libraries' include order"
    VERBATIM)
  add_custom_target(include_order ALL DEPENDS ${stamp})
endfunction()

# tavix_test(<folder> [TIMEOUT <seconds>] [DEPS <targets>...]): one test program per tests/ folder,
# every .cpp in it, each case run by CTest in its own process (at most TIMEOUT seconds, default 120)
# and labelled with the folder name (ctest -L e2e).
# DEPS are the libraries its cases exercise; the fixture builders (tvx_test_support) come first on
# the link line, so they find those libraries (the state resets among them) after them.
function(tavix_test folder)
  cmake_parse_arguments(ARG "" "TIMEOUT" "DEPS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  set(name test_${folder})
  add_executable(${name} ${srcs})
  # The test framework's headers, parsed once a program rather than once a file.
  target_precompile_headers(${name} PRIVATE <gtest/gtest.h> <gmock/gmock.h>)
  target_link_libraries(${name} PRIVATE tvx_test_support ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS ${folder} ENVIRONMENT "TAVIX_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
