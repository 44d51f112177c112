// Registering the installed client with the system once the full installer
// has finished (start with Windows, desktop shortcut, the channel of the
// install), and reading the channel a previous install left behind.
//
// Everything under HKEY_LOCAL_MACHINE is in the registry's 32-bit view (the
// view the full installer writes, whatever the bitness of this build) and needs
// the elevation the installer's manifest asks for. Nothing here reports a failure: a value that cannot be
// written or a shortcut that cannot be saved is simply missing, and the install
// still counts as finished.
#pragma once
#include <string>

// The run-key value for a client at `displayIcon`: the text as read, except
// that a path holding a blank and not already in double quotes is enclosed in
// them, so the logon command cannot be taken for a shorter path ("C:\Program"
// with the arguments "Files\..."). Portable; used by SetAutostart.
std::wstring AutostartCommand(const std::wstring& displayIcon);

#ifdef _WIN32
#include <windows.h>

constexpr const wchar_t* kUninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane";
constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kRunValueName = L"Quorvane";
constexpr const wchar_t* kClientExeName = L"Quorvane.exe";
constexpr const wchar_t* kShortcutName = L"Quorvane";  // the desktop link is "Quorvane.lnk"

// What the program hands over when the full installer has finished.
struct CompletionChoices {
  bool autostart = false;       // the "autostart" check box
  bool createShortcut = false;  // the "createshortcut" check box
  std::wstring installFolder;   // the window's installation folder
  std::wstring channelId;       // the window's copy ("5" when the options had none)
  std::wstring seoSourceId;     // possibly empty
};

// The completion steps of a successful channel install, on the UI thread with
// COM initialised:
//   1. SetAutostart(choices.autostart);
//   2. the desktop folder (CSIDL_DESKTOPDIRECTORY, not created); when the shell
//      cannot name it, the shortcut step is skipped;
//   3. createShortcut: "<desktop>\Quorvane.lnk" pointing at
//      "<installFolder>\Quorvane.exe", working folder installFolder; otherwise
//      the file at that path is deleted, whoever made it;
//   4. "CHANNELID" and "SEOID" in the uninstall key, the key created if missing.
// Returns the "createshortcut" state, which the install run keeps as
// `shortcutWanted`. The run then shows page 2 itself, in every case: no
// step here can stop the finished page.
bool FinishChannelInstall(const CompletionChoices& choices);

// enabled: the run value "Quorvane" becomes AutostartCommand of the uninstall
// key's "DisplayIcon" (read into 260 characters; empty when it is missing or
// does not fit), the run key created if missing. Otherwise the run value is
// deleted (nothing happens when it is absent).
void SetAutostart(bool enabled);

// Saves a shell link at `linkPath` (replacing any file there) to `target` with
// `workingFolder`, without arguments, icon or description. True when the link
// object and its file interface were obtained and asked to save (the save's
// own result is not examined); false otherwise. COM must be initialised on the
// calling thread.
bool CreateShortcut(const std::wstring& target, const std::wstring& linkPath,
                    const std::wstring& workingFolder);

// The uninstall key's "CHANNELID" (string types, nothing expanded) in the ANSI
// code page; "10" when the key exists without a usable (non-empty string)
// value; "" when there is no key. The program reads it once at start, before
// any install can change it, and hands it to the install report.
std::string ReadPreviousChannelId();
#endif
