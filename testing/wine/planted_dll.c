/* A DLL planted beside a program under test: when it is loaded, its DllMain
   leaves "<its own file name>.loaded" beside it. Every export is the same stub
   (the test's .def names them after what the program imports); a program
   that calls one gets 0. Built by planted_dll_wine_test.sh under the name of
   each DLL it stands for. */
#include <windows.h>

__declspec(dllexport) INT_PTR PlantStub(void) { return 0; }

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH + 16];
    DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      lstrcatW(path, L".loaded");
      HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
      if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    }
  }
  return TRUE;
}
