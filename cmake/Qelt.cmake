# qelt_library(<name> SOURCES <files...> DEPENDS <targets...>)
# One static library per code folder; headers are included as "libs/<lib>/<file>.hpp"
# (or "shared/...", "migrator/...") from the code root.
function(qelt_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/code)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# qelt_test(<name> SOURCES <files...> DEPENDS <targets...>)
# One GoogleTest program per library, discovered by CTest.
function(qelt_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/code ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
