# The DLLs the Windows programs import, and how. The one list of them.
#
# The installer runs elevated, started from wherever the user saved it (often
# Downloads, next to whatever else landed there). Windows resolves a static
# import that is not a KnownDLL by looking in the program's own folder first,
# before a line of our code runs; a DLL planted there would run with
# administrator rights. So:
#
# * Imported statically, only DLLs Windows always takes from the system
#   folder (KnownDLLs, or loaded into every process before ours):
#     kernel32 (always loaded), user32 gdi32 advapi32 shell32 ole32 oleaut32
#     ws2_32 msvcrt (the C runtime of mingw) shlwapi imm32 comdlg32 (KnownDLLs).
#   QV_STATIC_DLLS below; app/check_imports.py fails the build's test when
#   the release executable imports anything else statically.
#
# * Every other DLL is delay-loaded: linked against an import library made
#   here with dlltool --output-delaylib, so it is loaded on the first call of
#   one of its functions. By then the entry has restricted the DLL search to
#   the system folder (base/dll_search_win.cpp), and the delay-load hook there
#   loads each of them with LOAD_LIBRARY_SEARCH_SYSTEM32:
#     version    version resource of the executable (build version)
#     winhttp    the user's proxy settings
#     wintrust   the publisher check of the downloaded installer
#     crypt32    the same, and libcurl's certificate handling
#     bcrypt     libcurl (random numbers, hashes)
#     secur32    libcurl's Schannel
#     normaliz   libcurl (international domain names)
#     wldap32    libcurl (names only; LDAP is not built)
#     iphlpapi   adapter addresses of the device identity
#     comctl32   common controls 6; it pulls in uxtheme, which would otherwise
#                be searched beside the program as well
#     oleacc     MSAA answers of the windows
#   The same names as a library are `dll_<name>`; link those, never the bare
#   names (a bare name is the ordinary import library: a static import).
#
# A DLL loaded at run time by name goes through LoadLibraryExW with
# LOAD_LIBRARY_SEARCH_SYSTEM32 (shcore for per-monitor DPI).

set(QV_STATIC_DLLS kernel32 user32 gdi32 advapi32 shell32 ole32 oleaut32 ws2_32 msvcrt shlwapi imm32 comdlg32)
set(QV_DELAYED_DLLS version winhttp wintrust crypt32 bcrypt secur32 normaliz wldap32 iphlpapi comctl32 oleacc)

if(NOT WIN32)
  return()
endif()

find_program(QV_DLLTOOL ${qv_mingw_host}-dlltool REQUIRED)
set(qv_delay_dir ${CMAKE_BINARY_DIR}/delay_import)
file(MAKE_DIRECTORY ${qv_delay_dir})

# dll_<name>: a delay-load import library for <name>.dll with every function
# the toolchain's ordinary import library has. Made at configure time from
# that library's symbols: "__imp_F" with a thunk "F" is a function (data
# exports cannot be delay-loaded and are left out). The i686 names carry the
# C underscore and stdcall's "@N"; --kill-at imports them by the plain name.
function(qv_delay_import_lib dll)
  set(import_lib /usr/${qv_mingw_host}/lib/lib${dll}.a)
  set(def ${qv_delay_dir}/${dll}.def)
  set(out ${qv_delay_dir}/lib${dll}_delay.a)
  if(NOT EXISTS ${out} OR ${import_lib} IS_NEWER_THAN ${out} OR ${CMAKE_CURRENT_FUNCTION_LIST_FILE} IS_NEWER_THAN ${out})
    execute_process(COMMAND ${CMAKE_NM} -g --defined-only ${import_lib}
      OUTPUT_VARIABLE symbols RESULT_VARIABLE failed ERROR_QUIET)
    if(failed)
      message(FATAL_ERROR "cannot read ${import_lib}")
    endif()
    string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
    set(imported)
    set(thunks)
    foreach(line IN LISTS lines)
      if(line MATCHES " I __imp_(.+)$")
        list(APPEND imported "${CMAKE_MATCH_1}")
      elseif(line MATCHES " T (.+)$")
        list(APPEND thunks "${CMAKE_MATCH_1}")
      endif()
    endforeach()
    set(text "LIBRARY ${dll}.dll\nEXPORTS\n")
    foreach(name IN LISTS imported)
      if(NOT name IN_LIST thunks)
        continue()
      endif()
      if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
        # One underscore only: "__TrackMouseEvent@4" is "_TrackMouseEvent".
        # (REGEX REPLACE "^_" would take every leading one.)
        string(SUBSTRING "${name}" 1 -1 name)
      endif()
      string(APPEND text "${name}\n")
    endforeach()
    file(WRITE ${def} "${text}")
    set(kill_at)
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
      set(kill_at --kill-at)
    endif()
    # dlltool names the library's symbols after the output path: a bare file
    # name keeps the build folder out of them (the same bytes in any folder).
    get_filename_component(out_name ${out} NAME)
    execute_process(COMMAND ${QV_DLLTOOL} --dllname ${dll}.dll --input-def ${def} ${kill_at}
                            --output-delaylib ${out_name}
      RESULT_VARIABLE failed ERROR_VARIABLE err WORKING_DIRECTORY ${qv_delay_dir})
    if(failed)
      message(FATAL_ERROR "dlltool failed for ${dll}: ${err}")
    endif()
  endif()
  add_library(dll_${dll} STATIC IMPORTED GLOBAL)
  set_target_properties(dll_${dll} PROPERTIES IMPORTED_LOCATION ${out})
endfunction()

foreach(dll IN LISTS QV_DELAYED_DLLS)
  qv_delay_import_lib(${dll})
endforeach()
