# tavix_library(<name> [DEPS <targets>...]): a static library of every .cpp in the calling
# folder. The folder's parent is on the include path, so sources include "foundation/log.h",
# "win32/window.h" and the like.
set(TAVIX_APP_LIBS "" CACHE INTERNAL "")

function(tavix_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  add_library(${name} STATIC ${srcs})
  get_filename_component(parent ${CMAKE_CURRENT_SOURCE_DIR} DIRECTORY)
  target_include_directories(${name} PUBLIC ${parent})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  set(TAVIX_APP_LIBS ${TAVIX_APP_LIBS} ${name} CACHE INTERNAL "")
endfunction()

# tavix_test(<folder> [DEPS <targets>...]): one test program per tests/ folder, every .cpp in it,
# each case run by CTest in its own process.
function(tavix_test folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  set(name test_${folder})
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} tvx_test_support GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT "TAVIX_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
