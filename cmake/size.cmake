# Executable size in the Windows builds.
#
# Every Windows build (tests included) compiles one section per function and
# per object and lets the linker drop the unreferenced ones: this changes no
# code, and the tests then run what ships. The optimisation level comes from
# the preset's build type (MinSizeRel: -Os).
#
# The linker alone drops little: every function with unwind information is
# kept, because the tables of all functions of an object form one section the
# linker must keep (.eh_frame on i686, .pdata/.xdata on x86_64). So every
# Windows object also carries intermediate code (-flto -ffat-lto-objects),
# and the installer is optimised as a whole at link time, which leaves out
# what it never calls (qv_link_time_optimize). Every other program (tests,
# tools) links the objects' machine code as it is (-fno-lto), which costs no
# link time. The installer the end-to-end tests run is the one optimised at
# link time, in every Windows build.
#
#   QV_SPLIT_DEBUG   (windows-release) the shipped executables lose their
#                    symbols; they are kept in NAME.exe.debug beside them,
#                    linked by a .gnu_debuglink section so gdb finds them.
#   qv_split_debug_symbols(TARGET) does this for one executable (a no-op
#   unless QV_SPLIT_DEBUG).
#   qv_link_time_optimize(TARGET) links one executable with link-time
#   optimisation (Windows builds only).
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
  # -fno-ipa-modref: GCC 12 for mingw stops with an internal error in that
  # pass on this code when optimising at link time.
  add_compile_options(-flto -ffat-lto-objects -fno-ipa-modref)
  add_link_options(-fno-lto)
endif()

function(qv_link_time_optimize target)
  if(NOT WIN32)
    return()
  endif()
  # One partition: with several, GCC 12 for mingw stops with an internal
  # error (binds_to_current_def_p) on symbols shared between partitions. The
  # code compiled at link time gets the same path maps as the objects, so the
  # build folder leaves no trace in the debug information either.
  target_link_options(${target} PRIVATE -flto -flto-partition=one
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}=quorvane
    -ffile-prefix-map=${PROJECT_BINARY_DIR}=quorvane-build)
endfunction()

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
