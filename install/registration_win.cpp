// <windows.h> must come before the other system headers.
// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on

#include <vector>

#include "base/text_convert.h"
#include "base/win_handle.h"
#include "install/registration.h"
#include "base/registry_win.h"

namespace {
// The buffer SetAutostart reads "DisplayIcon" into; a longer value is not used.
constexpr DWORD kDisplayIconChars = 260;
}  // namespace

void SetAutostart(bool enabled) {
  if (!enabled) {
    DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKey, kRunValueName);
    return;
  }
  wchar_t displayIcon[kDisplayIconChars] = {};
  GetRegString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon", displayIcon, sizeof(displayIcon), L"");
  SetRegString(HKEY_LOCAL_MACHINE, kRunKey, kRunValueName, AutostartCommand(displayIcon), true);
}

bool FinishChannelInstall(const CompletionChoices& choices) {
  SetAutostart(choices.autostart);

  wchar_t desktop[MAX_PATH] = {};
  // Without a desktop folder the link path would be relative to whatever the
  // current folder is; neither create nor delete anything then.
  if (SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE) && desktop[0] != L'\0') {
    std::wstring linkPath = std::wstring(desktop) + L"\\" + kShortcutName + L".lnk";
    if (choices.createShortcut) {
      std::wstring target = choices.installFolder + L"\\" + kClientExeName;
      CreateShortcut(target, linkPath, choices.installFolder);
    } else {
      DeleteFileW(linkPath.c_str());
    }
  }

  SetRegString(HKEY_LOCAL_MACHINE, kUninstallKey, L"CHANNELID", choices.channelId, true);
  SetRegString(HKEY_LOCAL_MACHINE, kUninstallKey, L"SEOID", choices.seoSourceId, true);
  return choices.createShortcut;
}

std::string ReadPreviousChannelId() {
  std::wstring text;
  {
    RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_ALL_ACCESS | kRegView32, key.put()) == ERROR_SUCCESS) {
      const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_RT_REG_MULTI_SZ | RRF_NOEXPAND;
      DWORD size = 0;
      if (RegGetValueW(key.get(), nullptr, L"CHANNELID", flags, nullptr, nullptr, &size) == ERROR_SUCCESS &&
          size > 0) {
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
        if (RegGetValueW(key.get(), nullptr, L"CHANNELID", flags, nullptr, data.data(), &size) ==
            ERROR_SUCCESS)
          text.assign(data.data());  // up to the first zero (a multi-string gives its first text)
      }
    }
  }
  if (!text.empty()) return WideToAnsi(text);

  RegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | kRegView32,
                    key.put()) == ERROR_SUCCESS)
    return "10";
  return "";
}
