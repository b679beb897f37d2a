# qelt_library(<name> SOURCES <files...> [SEAMS <seams...>] DEPENDS <targets...>)
# One static library per code folder; headers are included as "libs/<lib>/<file>.hpp"
# (or "shared/...", "migrator/...") from the code root. Each seam is a platform interface: the
# header <seam>.hpp with one source per platform beside it, of which qelt_platform_source picks
# the one for the target platform.
function(qelt_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;SEAMS;DEPENDS" ${ARGN})
  set(sources ${ARG_SOURCES})
  foreach(seam IN LISTS ARG_SEAMS)
    qelt_platform_source(source ${seam})
    list(APPEND sources ${source})
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/code)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# The platform whose seam sources are built: "windows" or "posix".
if(WIN32)
  set(QELT_PLATFORM windows)
else()
  set(QELT_PLATFORM posix)
endif()

# qelt_platform_source(<variable> <seam>)
# Sets <variable> to <seam>_${QELT_PLATFORM}.cpp in the current folder. Stops the configuration
# when the seam's header or its source for this platform is missing, so that a seam is never
# left out of a build unnoticed.
function(qelt_platform_source variable seam)
  set(header ${CMAKE_CURRENT_SOURCE_DIR}/${seam}.hpp)
  set(source ${CMAKE_CURRENT_SOURCE_DIR}/${seam}_${QELT_PLATFORM}.cpp)
  if(NOT EXISTS ${header})
    message(FATAL_ERROR "Platform seam '${seam}' has no header: ${header} is missing")
  endif()
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "Platform seam '${seam}' has no ${QELT_PLATFORM} source: ${source} is missing")
  endif()
  set(${variable} ${source} PARENT_SCOPE)
endfunction()

# qelt_test(<name> SOURCES <files...> DEPENDS <targets...>)
# One GoogleTest program per library, discovered by CTest. A build leaves out the sources that
# QELT_POSIX_ONLY_TESTS or QELT_WINDOWS_ONLY_TESTS keep to the other platform (a program left
# without sources is not made), and its tests are listed when CTest runs them (under
# Wine), named "<program>:<test>" so that a run can pick the end-to-end ones.
function(qelt_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  set(sources)
  foreach(source IN LISTS ARG_SOURCES)
    get_filename_component(source ${source} ABSOLUTE)
    if(NOT (WIN32 AND source IN_LIST QELT_POSIX_ONLY_TESTS) AND
       NOT (NOT WIN32 AND source IN_LIST QELT_WINDOWS_ONLY_TESTS))
      list(APPEND sources ${source})
    endif()
  endforeach()
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/code ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 TEST_PREFIX "${name}:"
                         PROPERTIES TIMEOUT 300)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()
