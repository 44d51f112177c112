// Under Wine: the real registry (its 32-bit view, in either build), the real
// shell-link objects and the real desktop folder, redirected into a temporary
// folder for the duration of each test so nothing reaches the user's desktop.
#include "install/registration.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>

#include "base/com_ref_win.h"
#include "testing/wine/registry_test_support.h"
#include "testing/wine/wine_test_support.h"

using namespace testsupport;

namespace {

const std::wstring kUninstall = kUninstallKey;
const std::wstring kRun = kRunKey;
const wchar_t* const kShellFolders =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Clears the entries this system owns in the 32-bit view before and after
// every test, and points the desktop folder at a temporary folder.
class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    savedCurrent_ = current;
    ClearEntries();
    scratch_ = MakeTempFolder(L"registration");
    desktop_ = scratch_ + L"\\Desktop";
    CreateDirectoryW(desktop_.c_str(), nullptr);
    savedDesktop_ = ReadStored(HKEY_CURRENT_USER, kShellFolders, L"Desktop", 0);
    RedirectDesktop(desktop_);
    // The installed client, in a folder with blanks as under "Program Files".
    installFolder_ = scratch_ + L"\\Program Files (x86)\\Quorvane";
    CreateDirectoryW((scratch_ + L"\\Program Files (x86)").c_str(), nullptr);
    CreateDirectoryW(installFolder_.c_str(), nullptr);
    CopyFileW((OwnFolder() + L"qv_mark_client.exe").c_str(), (installFolder_ + L"\\Quorvane.exe").c_str(),
              FALSE);
  }

  void TearDown() override {
    if (savedDesktop_.present)
      WriteStored(HKEY_CURRENT_USER, kShellFolders, L"Desktop", savedDesktop_.type, savedDesktop_.data.data(),
                  static_cast<DWORD>(savedDesktop_.data.size()), 0);
    else
      DeleteStored(HKEY_CURRENT_USER, kShellFolders, L"Desktop", 0);
    ClearEntries();
    SetCurrentDirectoryW(savedCurrent_.c_str());
    RemoveTree(scratch_);
    CoUninitialize();
  }

  static void ClearEntries() {
    for (REGSAM view : {kView32, kView64}) {
      DeleteKeyTree(HKEY_LOCAL_MACHINE, kUninstall, view);
      DeleteStored(HKEY_LOCAL_MACHINE, kRun, kRunValueName, view);
    }
  }

  static void RedirectDesktop(const std::wstring& folder) {
    WriteText(HKEY_CURRENT_USER, kShellFolders, L"Desktop", folder, 0, REG_EXPAND_SZ);
  }

  std::wstring LinkPath() const { return desktop_ + L"\\Quorvane.lnk"; }

  std::wstring scratch_, desktop_, installFolder_, savedCurrent_;
  StoredValue savedDesktop_;
};

// The target and working folder stored in a shell link file.
struct LinkContents {
  bool loaded = false;
  std::wstring target, workingFolder, arguments;
};

LinkContents ReadLink(const std::wstring& path) {
  LinkContents contents;
  ComRef<IShellLinkW> link;
  if (FAILED(
          CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())))
    return contents;
  ComRef<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void()))) return contents;
  if (FAILED(file->Load(path.c_str(), STGM_READ))) return contents;
  wchar_t text[1024] = {};
  if (SUCCEEDED(link->GetPath(text, 1024, nullptr, SLGP_RAWPATH))) contents.target = text;
  text[0] = L'\0';
  if (SUCCEEDED(link->GetWorkingDirectory(text, 1024))) contents.workingFolder = text;
  text[0] = L'\0';
  if (SUCCEEDED(link->GetArguments(text, 1024))) contents.arguments = text;
  contents.loaded = true;
  return contents;
}

void WriteJunk(const std::wstring& path) {
  UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file);
  DWORD written = 0;
  WriteFile(file.get(), "user's own link", 15, &written, nullptr);
}

TEST(AutostartCommandTest, QuotesOnlyUnquotedPathsWithBlanks) {
  struct Case {
    const char* name;
    std::wstring displayIcon, expected;
  } cases[] = {
      {"empty stays empty", L"", L""},
      {"no blank as read", L"C:\\Quorvane\\Quorvane.exe", L"C:\\Quorvane\\Quorvane.exe"},
      {"blank quoted", L"C:\\Program Files (x86)\\Quorvane\\Quorvane.exe",
       L"\"C:\\Program Files (x86)\\Quorvane\\Quorvane.exe\""},
      {"tab quoted", L"C:\\a\tb\\Quorvane.exe", L"\"C:\\a\tb\\Quorvane.exe\""},
      {"already quoted as read", L"\"C:\\Program Files\\Quorvane\\Quorvane.exe\"",
       L"\"C:\\Program Files\\Quorvane\\Quorvane.exe\""},
      {"quoted with icon index as read", L"\"C:\\Program Files\\Q\\Quorvane.exe\",0",
       L"\"C:\\Program Files\\Q\\Quorvane.exe\",0"},
      {"blank only", L" ", L"\" \""},
  };
  for (const Case& c : cases) EXPECT_EQ(AutostartCommand(c.displayIcon), c.expected) << c.name;
}

TEST_F(RegistrationTest, SetAutostartCopiesDisplayIconIntoRunValue) {
  const std::wstring longIcon = L"C:\\" + std::wstring(296, L'q') + L".exe";  // 300 characters
  const std::wstring fitting = L"C:\\" + std::wstring(252, L'q') + L".exe";   // 259, fills the buffer
  struct Case {
    const char* name;
    bool hasIcon;
    std::wstring displayIcon;
    bool hasRunBefore;
    bool enabled;
    bool runAfter;
    std::wstring expected;
  } cases[] = {
      {"on without DisplayIcon", false, L"", false, true, true, L""},
      {"on with DisplayIcon", true, L"C:\\Quorvane\\Quorvane.exe", false, true, true,
       L"C:\\Quorvane\\Quorvane.exe"},
      {"on replaces an old run value", true, L"D:\\Q\\Quorvane.exe", true, true, true,
       L"D:\\Q\\Quorvane.exe"},
      {"on with 300-character DisplayIcon", true, longIcon, true, true, true, L""},
      {"on with 259-character DisplayIcon", true, fitting, false, true, true, fitting},
      {"on with blanks in the path", true, L"C:\\Program Files (x86)\\Quorvane\\Quorvane.exe", false, true,
       true, L"\"C:\\Program Files (x86)\\Quorvane\\Quorvane.exe\""},
      {"on with a quoted path", true, L"\"C:\\Program Files\\Quorvane\\Quorvane.exe\"", false, true, true,
       L"\"C:\\Program Files\\Quorvane\\Quorvane.exe\""},
      {"off removes the run value", true, L"C:\\Q\\Quorvane.exe", true, false, false, L""},
      {"off without a run value", false, L"", false, false, false, L""},
  };
  for (const Case& c : cases) {
    ClearEntries();
    if (c.hasIcon) WriteText(HKEY_LOCAL_MACHINE, kUninstall, L"DisplayIcon", c.displayIcon, kView32);
    if (c.hasRunBefore) WriteText(HKEY_LOCAL_MACHINE, kRun, kRunValueName, L"old", kView32);

    SetAutostart(c.enabled);

    StoredValue run = ReadStored(HKEY_LOCAL_MACHINE, kRun, kRunValueName, kView32);
    ASSERT_EQ(run.present, c.runAfter) << c.name;
    EXPECT_FALSE(ReadStored(HKEY_LOCAL_MACHINE, kRun, kRunValueName, kView64).present) << c.name;
    if (!c.runAfter) continue;
    EXPECT_EQ(run.type, static_cast<DWORD>(REG_SZ)) << c.name;
    EXPECT_EQ(run.Text(), c.expected) << c.name;
    EXPECT_EQ(run.data.size(), (c.expected.size() + 1) * sizeof(wchar_t)) << c.name;
  }
}

TEST_F(RegistrationTest, RunValueSeenByRegToolInThe32BitViewOnly) {
  WriteText(HKEY_LOCAL_MACHINE, kUninstall, L"DisplayIcon",
            L"C:\\Program Files (x86)\\Quorvane\\Quorvane.exe", kView32);
  // The tool does read the 64-bit view, so "not found" there is meaningful.
  WriteText(HKEY_LOCAL_MACHINE, kRun, L"QuorvaneViewProbe", L"64", kView64);
  RegExeAnswer probe = RegExeQuery(kRun, L"QuorvaneViewProbe", 64);
  DeleteStored(HKEY_LOCAL_MACHINE, kRun, L"QuorvaneViewProbe", kView64);
  ASSERT_TRUE(probe.found);
  EXPECT_EQ(probe.data, "64");

  SetAutostart(true);
  RegExeAnswer view32 = RegExeQuery(kRun, kRunValueName, 32);
  ASSERT_TRUE(view32.found);
  EXPECT_EQ(view32.data, "\"C:\\Program Files (x86)\\Quorvane\\Quorvane.exe\"");
  EXPECT_FALSE(RegExeQuery(kRun, kRunValueName, 64).found);

  SetAutostart(false);
  EXPECT_FALSE(RegExeQuery(kRun, kRunValueName, 32).found);
}

TEST_F(RegistrationTest, FinishChannelInstallAppliesTheChoices) {
  struct Case {
    const char* name;
    bool autostart, createShortcut;
    std::wstring channelId, seoSourceId;
    bool keyBefore;   // the full installer left the uninstall key with "DisplayIcon"
    bool fileBefore;  // a file named Quorvane.lnk is already on the desktop
  } cases[] = {
      {"everything chosen, existing link replaced", true, true, L"7", L"seo1", true, true},
      {"nothing chosen removes run value and user's link", false, false, L"5", L"", true, true},
      {"shortcut only, no uninstall key, empty SEOID", false, true, L"5", L"", false, false},
      {"autostart without uninstall key", true, false, L"12", L"s-9", false, false},
  };
  for (const Case& c : cases) {
    ClearEntries();
    DeleteFileW(LinkPath().c_str());
    const std::wstring client = installFolder_ + L"\\Quorvane.exe";
    if (c.keyBefore) WriteText(HKEY_LOCAL_MACHINE, kUninstall, L"DisplayIcon", client, kView32);
    WriteText(HKEY_LOCAL_MACHINE, kRun, kRunValueName, L"stale", kView32);
    if (c.fileBefore) WriteJunk(LinkPath());

    CompletionChoices choices;
    choices.autostart = c.autostart;
    choices.createShortcut = c.createShortcut;
    choices.installFolder = installFolder_;
    choices.channelId = c.channelId;
    choices.seoSourceId = c.seoSourceId;
    EXPECT_EQ(FinishChannelInstall(choices), c.createShortcut) << c.name;

    // Start with Windows.
    StoredValue run = ReadStored(HKEY_LOCAL_MACHINE, kRun, kRunValueName, kView32);
    EXPECT_EQ(run.present, c.autostart) << c.name;
    if (c.autostart) {
      EXPECT_EQ(run.Text(), c.keyBefore ? L"\"" + client + L"\"" : L"") << c.name;
    }

    // Desktop shortcut.
    if (c.createShortcut) {
      LinkContents link = ReadLink(LinkPath());
      ASSERT_TRUE(link.loaded) << c.name;
      EXPECT_EQ(link.target, client) << c.name;
      EXPECT_EQ(link.workingFolder, installFolder_) << c.name;
      EXPECT_EQ(link.arguments, L"") << c.name;
    } else {
      EXPECT_FALSE(FileExists(LinkPath())) << c.name;
    }

    // Channel values, REG_SZ with the terminating zero.
    StoredValue channel = ReadStored(HKEY_LOCAL_MACHINE, kUninstall, L"CHANNELID", kView32);
    StoredValue seo = ReadStored(HKEY_LOCAL_MACHINE, kUninstall, L"SEOID", kView32);
    ASSERT_TRUE(channel.present && seo.present) << c.name;
    EXPECT_EQ(channel.type, static_cast<DWORD>(REG_SZ)) << c.name;
    EXPECT_EQ(seo.type, static_cast<DWORD>(REG_SZ)) << c.name;
    EXPECT_EQ(channel.Text(), c.channelId) << c.name;
    EXPECT_EQ(seo.Text(), c.seoSourceId) << c.name;
    EXPECT_EQ(seo.data.size(), (c.seoSourceId.size() + 1) * sizeof(wchar_t)) << c.name;
    if (!c.keyBefore) {
      std::vector<std::wstring> names = ValueNames(HKEY_LOCAL_MACHINE, kUninstall, kView32);
      EXPECT_EQ(names.size(), 2u) << c.name;
    }
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall, kView64)) << c.name;
  }
}

TEST_F(RegistrationTest, ChannelValuesSeenByRegToolInThe32BitViewOnly) {
  CompletionChoices choices;
  choices.installFolder = installFolder_;
  choices.channelId = L"5";
  choices.seoSourceId = L"";
  FinishChannelInstall(choices);

  RegExeAnswer channel = RegExeQuery(kUninstall, L"CHANNELID", 32);
  RegExeAnswer seo = RegExeQuery(kUninstall, L"SEOID", 32);
  ASSERT_TRUE(channel.found);
  EXPECT_EQ(channel.data, "5");
  ASSERT_TRUE(seo.found);
  EXPECT_EQ(seo.data, "");
  EXPECT_FALSE(RegExeQuery(kUninstall, L"CHANNELID", 64).found);
}

TEST_F(RegistrationTest, WithoutDesktopFolderTheOtherStepsStillRun) {
  // The shell cannot name a desktop folder that does not exist (no creation
  // is asked for); no link is made anywhere and the other steps still run.
  RedirectDesktop(scratch_ + L"\\no desktop here");
  wchar_t probe[MAX_PATH] = {};
  ASSERT_FALSE(SHGetSpecialFolderPathW(nullptr, probe, CSIDL_DESKTOPDIRECTORY, FALSE));
  // A link path built from an empty folder name would land in the root of the
  // current drive.
  SetCurrentDirectoryW(scratch_.c_str());
  std::wstring rootLink = scratch_.substr(0, 2) + L"\\Quorvane.lnk";
  ASSERT_FALSE(FileExists(rootLink));

  CompletionChoices choices;
  choices.autostart = true;
  choices.createShortcut = true;
  choices.installFolder = installFolder_;
  choices.channelId = L"8";
  choices.seoSourceId = L"x";
  EXPECT_TRUE(FinishChannelInstall(choices));

  EXPECT_FALSE(FileExists(rootLink));
  EXPECT_FALSE(FileExists(scratch_ + L"\\no desktop here\\Quorvane.lnk"));
  EXPECT_TRUE(ReadStored(HKEY_LOCAL_MACHINE, kRun, kRunValueName, kView32).present);
  EXPECT_EQ(ReadStored(HKEY_LOCAL_MACHINE, kUninstall, L"CHANNELID", kView32).Text(), L"8");
  EXPECT_EQ(ReadStored(HKEY_LOCAL_MACHINE, kUninstall, L"SEOID", kView32).Text(), L"x");
  DeleteFileW(rootLink.c_str());
}

TEST_F(RegistrationTest, CreateShortcutReplacesAnyFileAndSetsTargetAndFolder) {
  WriteJunk(LinkPath());
  const std::wstring target = installFolder_ + L"\\Quorvane.exe";
  EXPECT_TRUE(CreateShortcut(target, LinkPath(), installFolder_));
  LinkContents link = ReadLink(LinkPath());
  ASSERT_TRUE(link.loaded);
  EXPECT_EQ(link.target, target);
  EXPECT_EQ(link.workingFolder, installFolder_);
}

TEST_F(RegistrationTest, ReadPreviousChannelIdCases) {
  const DWORD number = 12;
  const wchar_t multi[] = L"8\0second\0";  // two texts and the closing zero
  struct Case {
    const char* name;
    bool key;
    DWORD type;  // REG_NONE: no value
    std::wstring text;
    REGSAM view;
    std::string expected;
  } cases[] = {
      {"stored 12", true, REG_SZ, L"12", kView32, "12"},
      {"value missing", true, REG_NONE, L"", kView32, "10"},
      {"value empty", true, REG_SZ, L"", kView32, "10"},
      {"no key", false, REG_NONE, L"", kView32, ""},
      {"expandable text not expanded", true, REG_EXPAND_SZ, L"%SystemRoot%", kView32, "%SystemRoot%"},
      {"multi-string gives its first text", true, REG_MULTI_SZ, L"", kView32, "8"},
      {"number is not usable", true, REG_DWORD, L"", kView32, "10"},
      {"ANSI code page", true, REG_SZ, L"ch\u00e9", kView32, "ch\xe9"},
      {"key only in the 64-bit view", true, REG_SZ, L"12", kView64, ""},
  };
  for (const Case& c : cases) {
    ClearEntries();
    if (c.key) {
      // Another value keeps the key alive when CHANNELID is absent.
      WriteText(HKEY_LOCAL_MACHINE, kUninstall, L"DisplayName", L"Quorvane", c.view);
      if (c.type == REG_SZ || c.type == REG_EXPAND_SZ)
        WriteText(HKEY_LOCAL_MACHINE, kUninstall, L"CHANNELID", c.text, c.view, c.type);
      else if (c.type == REG_MULTI_SZ)
        WriteStored(HKEY_LOCAL_MACHINE, kUninstall, L"CHANNELID", REG_MULTI_SZ, multi, sizeof(multi), c.view);
      else if (c.type == REG_DWORD)
        WriteStored(HKEY_LOCAL_MACHINE, kUninstall, L"CHANNELID", REG_DWORD, &number, sizeof(number), c.view);
    }
    EXPECT_EQ(ReadPreviousChannelId(), c.expected) << c.name;
  }
}

}  // namespace
