/* The baseline of the planted-DLL test: a program that imports, statically,
   the system DLLs the installer imports (and nothing else), restricts its DLL
   search to the system folder first and ends. A plant it loads is loaded by
   Wine's own builtin system DLLs on their own behalf (Wine's user32 imports
   version.dll; Windows' does not), before any code of a program runs: the
   test cannot show anything about such a name under Wine. */
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>

int main(void) {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  /* One call into each, so that each is a static import; none has an effect. */
  volatile int sink = 0;
  sink += GetSystemMetrics(SM_CXSCREEN) >= 0;
  sink += GetStockObject(WHITE_BRUSH) != NULL;
  sink += RegCloseKey(NULL) != 0;
  CoTaskMemFree(NULL);
  SysFreeString(NULL);
  sink += htons(1) != 0;
  sink += SHGetFileInfoW(L"", 0, NULL, 0, 0) >= 0;
  return sink > 0 ? 0 : 1;
}
