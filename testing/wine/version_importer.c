/* The control of the planted-DLL test: a program that imports version.dll and
   wintrust.dll the ordinary way (statically, no restricted search), so DLLs of
   those names planted beside it are loaded. Under Wine version.dll is loaded
   by Wine's own user32 as well, so wintrust shows the control's own import
   (system_set_importer.c). Exits with 0. */
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

int main(void) {
  DWORD handle = 0;
  volatile int sink = GetFileVersionInfoSizeW(L"kernel32.dll", &handle) >= 0;
  WINTRUST_DATA data = {0};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  sink += WinVerifyTrust(NULL, &action, &data) != 12345;
  return sink > 0 ? 0 : 1;
}
