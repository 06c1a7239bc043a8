# Shared compile settings for every target of the project.

set(K7_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

option(K7_TSAN "Build with ThreadSanitizer" OFF)
set(K7_TSAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)

function(k7_configure_target target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    # GCC 12 at -O3 reports std::string concatenation as an overlapping memcpy (GCC bug 105651).
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(K7_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(K7_SANITIZE)
    target_compile_options(${target} PRIVATE ${K7_SANITIZER_FLAGS})
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      # Sanitizer instrumentation makes GCC's flow analysis report uninitialized reads that are
      # not there; the Release pass keeps this warning.
      target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
    endif()
    target_link_options(${target} PRIVATE ${K7_SANITIZER_FLAGS})
  endif()
  if(K7_TSAN)
    target_compile_options(${target} PRIVATE ${K7_TSAN_FLAGS})
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      # Under TSan instrumentation GCC reports vector range inserts as overflows and uninitialized
      # reads that are not there; the Release pass keeps these warnings.
      target_compile_options(${target} PRIVATE -Wno-stringop-overflow -Wno-maybe-uninitialized)
    endif()
    target_link_options(${target} PRIVATE ${K7_TSAN_FLAGS})
  endif()
endfunction()

# A library built from every source file in its folder and its domain subfolders; headers are
# included by path from Sources/, as "<Library>/<Domain>/<Header>.h".
function(k7_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/Sources)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  k7_configure_target(${name})
endfunction()

# One GoogleTest executable per test folder, every .cpp in it and its subfolders; helpers at the
# folder's top are included by name from any subfolder. NO_GTEST_MAIN: the folder has its own main.
function(k7_add_test_suite name)
  cmake_parse_arguments(ARG "NO_GTEST_MAIN" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gmock)
  if(NOT ARG_NO_GTEST_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_compile_definitions(${name} PRIVATE K7_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  k7_configure_target(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
