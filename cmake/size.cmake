# Executable size in the Windows builds.
#
# Every Windows build (tests included) compiles one section per function and
# per object and lets the linker drop the unreferenced ones: this changes no
# code, and the tests then run what ships. The optimisation level comes from
# the preset's build type (MinSizeRel: -Os).
#
#   QV_SPLIT_DEBUG   (windows-release) the shipped executables lose their
#                    symbols; they are kept in NAME.exe.debug beside them,
#                    linked by a .gnu_debuglink section so gdb finds them.
#   qv_split_debug_symbols(TARGET) does this for one executable (a no-op
#   unless QV_SPLIT_DEBUG).
option(QV_SPLIT_DEBUG "strip shipped executables, keeping their symbols in NAME.exe.debug" OFF)

if(WIN32)
  add_compile_options(-ffunction-sections -fdata-sections)
  add_link_options(-Wl,--gc-sections)
  # The same commit, toolchain and library recipe give the same bytes: no link
  # time in the PE header, and no checkout or build folder in the debug
  # information (whose checksum the stripped executable's debug link carries).
  add_link_options(-Wl,--no-insert-timestamp)
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=quorvane
                      -ffile-prefix-map=${PROJECT_BINARY_DIR}=quorvane-build)
endif()

function(qv_split_debug_symbols target)
  if(NOT WIN32 OR NOT QV_SPLIT_DEBUG)
    return()
  endif()
  # objcopy writes the time of its run into the PE header unless told a
  # time: 0, as the linker leaves it (--no-insert-timestamp).
  set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${objcopy} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${objcopy} --strip-all --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
