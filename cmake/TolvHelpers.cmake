# Warnings are errors for our own code only.
function(tolv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  # GCC 12 reports -Wrestrict falsely inside libstdc++'s string concatenation at -O2/-O3
  # (GCC bug 105329), which breaks release builds of correct code.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()

# tolv_add_subdirs(): adds every immediate sub-folder that has a CMakeLists.txt, in name order.
function(tolv_add_subdirs)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# tolv_add_library(name [QT] SOURCES ... LIBS ...)
function(tolv_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  tolv_warnings(${name})
endfunction()

# tolv_add_test(name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s])
# Every test case runs in a fresh temporary TOLV_ROOT (see tests/support/TestMain.cpp) and on
# Qt's offscreen platform. The common test main also sets TOLV_SOURCE_DIR and TOLV_BINARY_DIR
# (a list of variables does not survive gtest_discover_tests' PROPERTIES).
function(tolv_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tolv_test_support ${ARG_LIBS})
  tolv_warnings(${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  if(NOT ARG_LABELS)
    set(ARG_LABELS unit)
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
      LABELS "${ARG_LABELS}"
      TIMEOUT ${ARG_TIMEOUT}
    DISCOVERY_TIMEOUT 60)
endfunction()

# tolv_add_bench(name SOURCES ... LIBS ...)
function(tolv_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE benchmark::benchmark ${ARG_LIBS})
  tolv_warnings(${name})
  add_custom_target(run_${name} COMMAND $<TARGET_FILE:${name}> DEPENDS ${name} USES_TERMINAL)
  set_property(GLOBAL APPEND PROPERTY TOLV_BENCHES ${name})
endfunction()

# tolv_folder_library(name LIBS ...): a static library of every .cpp in the current folder.
function(tolv_folder_library name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    # A folder with headers only so far.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_LIBS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  tolv_warnings(${name})
endfunction()

# tolv_folder_tests(name LIBS ... [LABELS ...] [TIMEOUT s]): one test program of every *Test.cpp
# in the current folder.
function(tolv_folder_tests name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS;LABELS;EXTRA" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  if(NOT sources)
    return()
  endif()
  set(extra)
  if(ARG_TIMEOUT)
    list(APPEND extra TIMEOUT ${ARG_TIMEOUT})
  endif()
  if(ARG_LABELS)
    list(APPEND extra LABELS ${ARG_LABELS})
  endif()
  tolv_add_test(${name} SOURCES ${sources} ${ARG_EXTRA} LIBS ${ARG_LIBS} ${extra})
endfunction()
