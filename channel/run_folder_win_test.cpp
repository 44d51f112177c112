#include "channel/run_folder_win.h"

#include <windows.h>
// after windows.h
#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "base/win_handle.h"

namespace {

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteFile(const std::wstring& path) {
  UniqueHandle h(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(h);
  DWORD written = 0;
  ::WriteFile(h.get(), "MZ", 2, &written, nullptr);
}

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return L"?";
  std::wstring out = text;
  LocalFree(text);
  return out;
}

// The owner and the DACL's entries of `path` as the system reports them:
// "owner" and "<sid> <type> <mask> <flags>" per entry.
struct Security {
  bool read = false;
  bool protectedDacl = false;
  std::wstring owner;
  std::set<std::wstring> entries;
};

Security Describe(PSECURITY_DESCRIPTOR descriptor) {
  Security s;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
    return s;
  s.read = true;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  s.protectedDacl = (control & SE_DACL_PROTECTED) != 0;
  if (owner) s.owner = SidText(owner);
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
      s.entries.insert(L"type " + std::to_wstring(header->AceType));
      continue;
    }
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    s.entries.insert(SidText(&ace->SidStart) + L" allow " + std::to_wstring(ace->Mask) + L" " +
                     std::to_wstring(header->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)));
  }
  return s;
}

Security ReadSecurity(const std::wstring& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
    return Security{};
  Security s = Describe(descriptor);
  LocalFree(descriptor);
  return s;
}

// Wine keeps no security descriptor of a file or folder: it reports one made
// from the Linux owner and mode bits, whatever was set (and does not enforce
// it against the same user either).
bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

const std::wstring kAll = std::to_wstring(FILE_ALL_ACCESS);
const std::wstring kInherit = std::to_wstring(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
// Owner Administrators; full control, inherited by all inside, for SYSTEM and
// Administrators; nobody else; nothing inherited from the parent, where
// users may create files.
const std::set<std::wstring> kExpectedEntries = {L"S-1-5-18 allow " + kAll + L" " + kInherit,
                                                 L"S-1-5-32-544 allow " + kAll + L" " + kInherit};

TEST(RunFolder, TheDescriptorGivesOnlyAdministratorsAndSystemAccess) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(kRunFolderSecurity, SDDL_REVISION_1, &descriptor,
                                                                   nullptr));
  const Security s = Describe(descriptor);
  LocalFree(descriptor);
  ASSERT_TRUE(s.read);
  EXPECT_TRUE(s.protectedDacl);
  EXPECT_EQ(s.owner, L"S-1-5-32-544");
  EXPECT_EQ(s.entries, kExpectedEntries);
}

TEST(RunFolder, NewFolderBelowTheWindowsTemporaryFolderThatOnlyAdministratorsAndSystemMayWrite) {
  const std::wstring windowsTemp = WindowsTemporaryFolder();
  ASSERT_FALSE(windowsTemp.empty());
  RunFolder folder = RunFolder::Create();
  ASSERT_TRUE(folder) << GetLastError();
  const std::wstring path = folder.Path();
  ASSERT_EQ(path.compare(0, windowsTemp.size(), windowsTemp), 0);
  const std::wstring name = path.substr(windowsTemp.size());
  EXPECT_EQ(name.size(), std::wstring(L"QuorvaneSetup.").size() + 32 + 1) << name;
  EXPECT_EQ(name.compare(0, 14, L"QuorvaneSetup."), 0) << name;
  EXPECT_EQ(name.back(), L'\\');

  std::wstring folderPath = path;
  folderPath.pop_back();
  const DWORD attributes = GetFileAttributesW(folderPath.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_REPARSE_POINT);

  // The folder as the system reports it: the descriptor it was made with,
  // and what the run writes inside inherits the same two entries.
  WriteFile(path + L"ChannelIstaller.exe");
  const Security s = ReadSecurity(folderPath);
  const Security file = ReadSecurity(path + L"ChannelIstaller.exe");
  ASSERT_TRUE(s.read);
  ASSERT_TRUE(file.read);
  if (UnderWine()) {
    std::printf("under Wine: folder and file security not kept by Wine, not checked\n");
  } else {
    EXPECT_TRUE(s.protectedDacl);
    EXPECT_EQ(s.owner, L"S-1-5-32-544");
    EXPECT_EQ(s.entries, kExpectedEntries);
    for (const std::wstring& e : file.entries)
      EXPECT_TRUE(e.rfind(L"S-1-5-18 ", 0) == 0 || e.rfind(L"S-1-5-32-544 ", 0) == 0) << e;
  }

  RunFolder other = RunFolder::Create();
  ASSERT_TRUE(other);
  EXPECT_NE(other.Path(), path);
}

TEST(RunFolder, RemoveTakesTheContentAndTheFolder) {
  std::wstring path;
  {
    RunFolder folder = RunFolder::Create();
    ASSERT_TRUE(folder);
    path = folder.Path();
    WriteFile(path + L"ChannelIstaller.exe");
    WriteFile(path + L"ChannelIstaller.exe1");
    WriteFile(path + L"read-only");
    SetFileAttributesW((path + L"read-only").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(CreateDirectoryW((path + L"inner").c_str(), nullptr));
    folder.Remove();
    EXPECT_FALSE(folder);
    EXPECT_FALSE(Exists(path + L"ChannelIstaller.exe"));
    EXPECT_FALSE(Exists(path + L"read-only"));
    EXPECT_FALSE(Exists(path));
    folder.Remove();  // nothing left: nothing happens
  }
  {
    RunFolder folder = RunFolder::Create();
    ASSERT_TRUE(folder);
    path = folder.Path();
    WriteFile(path + L"ChannelIstaller.exe");
    RunFolder moved = std::move(folder);
    EXPECT_FALSE(folder);
    EXPECT_TRUE(Exists(path));
  }
  EXPECT_FALSE(Exists(path)) << "the owner's end removes it";
}

TEST(RunFolder, NoFolderWhereItCannotBeMade) {
  RunFolder folder = RunFolder::Create(L"C:\\qv-no-such-parent\\deeper\\");
  EXPECT_FALSE(folder);
  EXPECT_TRUE(folder.Path().empty());
  EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}

}  // namespace

std::string ReadAll(const std::wstring& path) {
  std::string out;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "(none)";
  char buffer[256];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(h);
  return out;
}

void WriteText(const std::wstring& path, const char* text) {
  HANDLE h =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ::WriteFile(h, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  CloseHandle(h);
}

bool MakeFolder(const std::wstring& path, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  const bool made = CreateDirectoryW(path.c_str(), &attributes) != FALSE;
  LocalFree(descriptor);
  return made;
}

// A run folder removes no folder inside it that is not empty: the tests
// empty their stores themselves.
void RemoveStore(const std::wstring& path) {
  for (const wchar_t* name : {L"\\ChannelIstaller.exe.partial", L"\\ChannelIstaller.exe.partial.txt"})
    DeleteFileW((path + name).c_str());
  if (!RemoveDirectoryW(path.c_str())) DeleteFileW(path.c_str());
}

// A folder of that name that anyone may have made beforehand is used only when
// it is a folder with exactly the owner and access of the run's own folder;
// what it holds is then neither moved nor deleted.
TEST(PartStore, UsedOnlyWhenAFolderWithTheOwnerAndAccessOfTheRunsOwnFolder) {
  struct Case {
    const char* name;
    const wchar_t* made;  // nullptr: nothing there; L"file": a file; else the folder's SDDL
    bool used;
  };
  const Case cases[] = {
      {"missing: made", nullptr, true},
      {"made earlier like a run folder", kRunFolderSecurity, true},
      {"a folder everyone may write", L"D:P(A;OICI;FA;;;WD)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},
      {"a folder everyone may read", L"D:P(A;OICI;FR;;;WD)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},
      {"a file", L"file", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunFolder parent = RunFolder::Create();
    RunFolder run = RunFolder::Create();
    ASSERT_TRUE(parent && run);
    const std::wstring path = parent.Path() + L"QuorvaneSetup.parts";
    const std::wstring planted = path + L"\\ChannelIstaller.exe.partial";
    if (c.made && std::wstring(c.made) == L"file") {
      WriteText(path, "a file");
    } else if (c.made) {
      ASSERT_TRUE(MakeFolder(path, c.made)) << GetLastError();
      WriteText(planted, "planted");
    }
    std::string why;
    PartStore store = PartStore::Open(run, &why, parent.Path());
    EXPECT_EQ(static_cast<bool>(store), c.used) << why;
    EXPECT_EQ(why.empty(), c.used) << why;
    store.Lend(run.Path() + L"ChannelIstaller.exe");
    const std::string lent = ReadAll(run.Path() + L"ChannelIstaller.exe.partial");
    if (c.used) {
      EXPECT_EQ(store.Path(), path + L"\\");
      std::wstring reference = run.Path();
      reference.pop_back();
      EXPECT_EQ(FolderSecurityText(path), FolderSecurityText(reference));
      EXPECT_EQ(lent, c.made ? "planted" : "(none)");
    } else {
      EXPECT_EQ(lent, "(none)");
      const bool file = c.made && std::wstring(c.made) == L"file";
      if (c.made) {
        EXPECT_EQ(ReadAll(file ? path : planted), file ? "a file" : "planted");
      }
    }
    RemoveStore(path);
  }
}

// What one run keeps, the next run's folder gets, and the store is empty again.
TEST(PartStore, KeepThenLendCarriesThePartAndItsRecordToTheNextRun) {
  RunFolder parent = RunFolder::Create();
  ASSERT_TRUE(parent);
  const std::wstring stored = parent.Path() + L"QuorvaneSetup.parts\\ChannelIstaller.exe.partial";
  std::string why;
  {
    RunFolder first = RunFolder::Create();
    PartStore store = PartStore::Open(first, &why, parent.Path());
    ASSERT_TRUE(store) << why;
    const std::wstring target = first.Path() + L"ChannelIstaller.exe";
    WriteText(target + L".partial", "part");
    WriteText(target + L".partial.txt", "record");
    store.Keep(target);
    EXPECT_FALSE(Exists(target + L".partial"));
    EXPECT_EQ(ReadAll(stored), "part");
  }
  {
    RunFolder second = RunFolder::Create();
    PartStore store = PartStore::Open(second, &why, parent.Path());
    ASSERT_TRUE(store) << why;
    const std::wstring target = second.Path() + L"ChannelIstaller.exe";
    store.Lend(target);
    EXPECT_EQ(ReadAll(target + L".partial"), "part");
    EXPECT_EQ(ReadAll(target + L".partial.txt"), "record");
    EXPECT_FALSE(Exists(stored));
    // A run that keeps nothing leaves nothing from an earlier one.
    WriteText(stored, "stale");
    DeleteFileW((target + L".partial").c_str());
    store.Keep(target);
    EXPECT_FALSE(Exists(stored));
    EXPECT_FALSE(Exists(stored + L".txt"));
  }
  RemoveStore(parent.Path() + L"QuorvaneSetup.parts");
}
