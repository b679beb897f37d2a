# The dependencies of the Windows build: Boost and SQLite built for Windows into the prefix of
# this architecture, RapidJSON and UTF8-CPP from their own include folders (never the host's
# whole /usr/include), GoogleTest built from the host's sources (it names its targets
# GTest::gtest and GTest::gtest_main itself); static programs linked with the
# Windows system libraries the platform layer calls.
if(NOT QELT_WINDOWS_DEPS OR NOT EXISTS ${QELT_WINDOWS_DEPS}/${CMAKE_SYSTEM_PROCESSOR}/complete)
  message(FATAL_ERROR "QELT_WINDOWS_DEPS must name the dependency folder that scripts/build-windows prepares")
endif()
if(QELT_SANITIZE)
  message(FATAL_ERROR "The sanitizers are not available for the Windows build")
endif()

set(Boost_USE_STATIC_LIBS ON)
set(Boost_USE_STATIC_RUNTIME ON)
find_package(Boost 1.74 REQUIRED COMPONENTS filesystem thread date_time system)
find_package(SQLite3 REQUIRED)
find_package(Threads REQUIRED)

set(QELT_WINDOWS_HEADERS ${QELT_WINDOWS_DEPS}/headers)
include_directories(SYSTEM ${QELT_WINDOWS_HEADERS})
add_library(utf8cpp INTERFACE IMPORTED)
set_target_properties(utf8cpp PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${QELT_WINDOWS_HEADERS}/utf8cpp)

# Windows 7 interfaces and above; the wide-character calls are named explicitly everywhere.
add_compile_definitions(_WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)

if(QELT_TESTS)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

# Boost.Filesystem draws the random names of unique_path from the system's cryptography library.
set_property(TARGET Boost::filesystem APPEND PROPERTY INTERFACE_LINK_LIBRARIES bcrypt)
