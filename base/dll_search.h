// Where the program's DLLs come from. The installer runs elevated from the
// user's download folder, so no DLL may come from the program's own folder:
// the static imports are only DLLs Windows takes from the system folder, every
// other one is delay-loaded (cmake/system_dlls.cmake holds the list), and this
// restricts the search for those and for every DLL loaded later, by us or by
// a system DLL on our behalf, to the system folder.
#pragma once

// Makes the system folder the only place DLLs are searched for
// (SetDefaultDllDirectories with LOAD_LIBRARY_SEARCH_SYSTEM32) and takes the
// current folder out of the search (SetDllDirectoryW with ""). Call it first
// thing in the entry, before anything that could call a delay-loaded
// function. False when the system refused (the process goes on: the
// delay-load hook still loads from the system folder only).
bool RestrictDllSearchToSystem();
