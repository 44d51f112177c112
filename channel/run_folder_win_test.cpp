#include "channel/run_folder_win.h"

#include <windows.h>
// after windows.h
#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <cstdio>
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
