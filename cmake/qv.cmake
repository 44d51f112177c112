# Build conventions shared by every folder.
#
#   qv_library(NAME SOURCES a.cpp ... [WIN32_SOURCES w.cpp ...] [DEPS lib ...])
#     A static library. WIN32_SOURCES are compiled only in the Windows build; a
#     library with only Win32 sources exists only there. DEPS are public: a
#     library names every library whose headers its own headers include.
#   qv_test(NAME SOURCES t.cpp ... [DEPS lib ...] [WIN32_ONLY | NATIVE_ONLY] [LABELS l ...] [TIMEOUT s]
#           [DEFINITIONS d ...] [NEEDS target ...] [RESOURCE_LOCK r ...])
#     One GoogleTest executable registered as ONE CTest test (a Wine start costs
#     seconds, so no per-case discovery). Under Windows it runs through Wine.
#     DEFINITIONS are compile definitions of the test; NEEDS are targets built
#     before it (files it reads at run time).
#   qv_script_test(NAME COMMAND cmd ... [WIN32_ONLY | NATIVE_ONLY] [LABELS l ...] [TIMEOUT s]
#                  [RESOURCE_LOCK r ...])
#     A CTest test that runs a script (which starts servers, Wine, ...).
#   qv_windows_exe(NAME SOURCES ... [DEPS ...] [GUI])
#     A static Windows executable (only in the Windows build).
#
# QV_WINE_RUN is the build tree's Wine runner (cmake/wine-run.in).

add_library(qv_flags INTERFACE)
target_include_directories(qv_flags INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
target_link_libraries(qv_flags INTERFACE Threads::Threads)
target_compile_options(qv_flags INTERFACE -Wall -Wextra -Wno-unused-parameter)
if(WIN32)
  target_compile_definitions(qv_flags INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0A00 WINVER=0x0A00)
  target_link_options(qv_flags INTERFACE -static -static-libgcc -static-libstdc++)
endif()
if(QV_TEST_HOOKS)
  target_compile_definitions(qv_flags INTERFACE QV_TEST_HOOKS=1)
endif()

function(qv_library name)
  cmake_parse_arguments(A "" "" "SOURCES;WIN32_SOURCES;DEPS" ${ARGN})
  set(srcs ${A_SOURCES})
  if(WIN32)
    list(APPEND srcs ${A_WIN32_SOURCES})
  endif()
  if(NOT srcs)
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_link_libraries(${name} PUBLIC qv_flags ${A_DEPS})
endfunction()

function(qv_test name)
  cmake_parse_arguments(A "WIN32_ONLY;NATIVE_ONLY" "TIMEOUT"
    "SOURCES;DEPS;LABELS;DEFINITIONS;NEEDS;RESOURCE_LOCK" ${ARGN})
  if((A_WIN32_ONLY AND NOT WIN32) OR (A_NATIVE_ONLY AND WIN32))
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE qv_flags ${A_DEPS} dep_gtest)
  if(A_DEFINITIONS)
    target_compile_definitions(${name} PRIVATE ${A_DEFINITIONS})
  endif()
  if(A_NEEDS)
    add_dependencies(${name} ${A_NEEDS})
  endif()
  add_test(NAME ${name} COMMAND ${name})
  qv_test_properties(${name})
endfunction()

function(qv_script_test name)
  cmake_parse_arguments(A "WIN32_ONLY;NATIVE_ONLY" "TIMEOUT" "COMMAND;LABELS;RESOURCE_LOCK" ${ARGN})
  if((A_WIN32_ONLY AND NOT WIN32) OR (A_NATIVE_ONLY AND WIN32))
    return()
  endif()
  add_test(NAME ${name} COMMAND ${A_COMMAND})
  qv_test_properties(${name})
  # A script ends itself (and what it started) this long into its run, before
  # CTest's limit would kill it outright (testing/wine/wine_script.sh).
  math(EXPR deadline "${A_TIMEOUT} - 30")
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT QV_SCRIPT_DEADLINE=${deadline})
endfunction()

# Timeout (default 600 s), labels and resource locks of a test, from the
# parsed arguments of the caller.
macro(qv_test_properties name)
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT} LABELS "${A_LABELS}")
  # Tests that map windows share one virtual display: one at a time, so no
  # click or screenshot lands in another test's window.
  if("gui" IN_LIST A_LABELS AND NOT "wine_display" IN_LIST A_RESOURCE_LOCK)
    list(APPEND A_RESOURCE_LOCK wine_display)
  endif()
  if(A_RESOURCE_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${A_RESOURCE_LOCK}")
  endif()
endmacro()

function(qv_windows_exe name)
  cmake_parse_arguments(A "GUI" "" "SOURCES;DEPS" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE qv_flags ${A_DEPS})
  target_link_options(${name} PRIVATE -municode)
  if(A_GUI)
    set_target_properties(${name} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
endfunction()

set(QV_WINE_RUN ${PROJECT_BINARY_DIR}/wine-run)
configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.in ${QV_WINE_RUN}
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/vendor_hosts.h.in ${PROJECT_BINARY_DIR}/generated/vendor_hosts.h @ONLY)
include(${CMAKE_CURRENT_LIST_DIR}/test_signing.cmake)
