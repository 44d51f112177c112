#include "base/dll_search.h"

#include <windows.h>
// after windows.h
#include <delayimp.h>

namespace {

// Every delay-loaded DLL is loaded here, from the system folder only: the
// helper of the C runtime would otherwise call LoadLibraryA with the bare
// name. Returning null for other notifications lets the helper go on as usual.
FARPROC WINAPI SystemFolderDelayLoad(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary || !info || !info->szDll) return nullptr;
  return reinterpret_cast<FARPROC>(LoadLibraryExA(info->szDll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

}  // namespace

// The delay-load helper's hooks. Defined here, so the runtime's empty ones are
// not linked: the hook is in place before the first instruction of the
// program runs, whichever code makes the first delayed call.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = SystemFolderDelayLoad;
PfnDliHook __pfnDliFailureHook2 = nullptr;
}

bool RestrictDllSearchToSystem() {
  const bool restricted = SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
  const bool noCurrentFolder = SetDllDirectoryW(L"") != FALSE;
  return restricted && noCurrentFolder;
}
