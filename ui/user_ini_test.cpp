#include "ui/user_ini.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text_convert.h"

#ifdef _WIN32
#include <windows.h>
// shlobj.h builds on the declarations of windows.h.
#include <shlobj.h>

#include "testing/fixtures/user_ini_test_file.h"
#endif

namespace {

TEST(UserDataFolder, ParentOfTheShortFolderExtendedByLocal) {
  struct Case {
    const wchar_t* shortLocalAppData;
    const wchar_t* folder;
  };
  const Case cases[] = {
      {L"C:\\Users\\ALEXAN~1\\AppData\\Local", L"C:\\Users\\ALEXAN~1\\AppData\\Local"},
      {L"C:\\DOCUME~1\\alex\\LOCALS~1\\APPLIC~1", L"C:\\DOCUME~1\\alex\\LOCALS~1\\Local"},
      {L"D:\\Profiles\\alex\\AppData\\Local\\", L"D:\\Profiles\\alex\\AppData\\Local"},
      {L"C:\\LocalApp", L"C:\\Local"},
      {L"C:\\", L"C:\\Local"},
      {L"\\\\server\\home\\alex\\AppData\\Local", L"\\\\server\\home\\alex\\AppData\\Local"},
      {L"", L"\\Local"},  // the system gave no folder
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UserDataFolderFrom(c.shortLocalAppData), c.folder) << WideToUtf8(c.shortLocalAppData);
  }
}

#ifndef _WIN32
TEST(UserIni, NativeBuildHasNone) {
  EXPECT_EQ(UserDataFolder(), L"\\Local");
  EXPECT_EQ(UserIniPath(), L"\\Local\\Quorvane\\user.ini");
  EXPECT_EQ(UserIniLanguage(), L"");
}
#else
std::wstring LongPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH * 2] = {};
  DWORD n = GetLongPathNameW(path.c_str(), buffer, MAX_PATH * 2);
  return n == 0 || n >= MAX_PATH * 2 ? std::wstring() : std::wstring(buffer, n);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return !a.empty() && CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// True when every component after the drive fits the 8.3 form.
bool IsShortForm(const std::wstring& path) {
  size_t start = path.find(L'\\');
  while (start != std::wstring::npos) {
    size_t end = path.find(L'\\', start + 1);
    std::wstring part =
        path.substr(start + 1, end == std::wstring::npos ? std::wstring::npos : end - start - 1);
    size_t dot = part.find(L'.');
    std::wstring name = part.substr(0, dot);
    std::wstring ext = dot == std::wstring::npos ? L"" : part.substr(dot + 1);
    if (name.empty() || name.size() > 8 || ext.size() > 3 || part.find(L' ') != std::wstring::npos)
      return false;
    start = end;
  }
  return true;
}

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  std::wstring path(buffer, n);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

std::string ReadWholeFile(const std::wstring& path) {
  UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return "<missing>";
  char buffer[8192];
  DWORD got = 0;
  ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr);
  return std::string(buffer, got);
}

TEST(UserIni, FolderIsTheShortLocalApplicationDataFolder) {
  wchar_t local[MAX_PATH] = {};
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local), S_OK);
  const std::wstring folder = UserDataFolder();
  EXPECT_TRUE(SamePath(LongPath(folder), LongPath(local)))
      << WideToUtf8(folder) << " vs " << WideToUtf8(local);
  EXPECT_TRUE(IsShortForm(folder.substr(0, folder.rfind(L'\\')))) << WideToUtf8(folder);
  EXPECT_EQ(UserDataFolder(), folder);
  EXPECT_EQ(UserIniPath(), folder + L"\\Quorvane\\user.ini");
}

// A profile under long folder names: the path above "Local" is taken in its
// 8.3 form, and still names the same folder.
TEST(UserIni, ShortFormOfALongProfilePath) {
  const std::wstring profile = TempFolder() + L"\\Quorvane profile of a long user name";
  const std::wstring local = profile + L"\\Application Data Local";
  CreateDirectoryW(profile.c_str(), nullptr);
  ASSERT_TRUE(CreateDirectoryW(local.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);

  const std::wstring folder = UserDataFolderFor(local);
  ASSERT_GT(folder.size(), 6u);
  EXPECT_EQ(folder.substr(folder.size() - 6), L"\\Local");
  const std::wstring parent = folder.substr(0, folder.size() - 6);
  EXPECT_TRUE(IsShortForm(parent)) << WideToUtf8(parent);
  EXPECT_TRUE(SamePath(LongPath(parent), LongPath(profile))) << WideToUtf8(parent);

  RemoveDirectoryW(local.c_str());
  RemoveDirectoryW(profile.c_str());
  // A folder that does not exist has no short form and is taken as it stands.
  EXPECT_EQ(UserDataFolderFor(local), profile + L"\\Local");
}

TEST(UserIni, ReadsLanguageOfAppInfo) {
  struct Case {
    const char* name;
    std::string bytes;
    std::wstring language;
  };
  std::string utf16 = "\xFF\xFE";
  for (wchar_t c : std::wstring(L"[AppInfo]\r\nlanguage=ja\r\n")) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  const Case cases[] = {
      {"plain", "[AppInfo]\r\nlanguage=de\r\n", L"de"},
      {"names in other case, blanks", "[appinfo]\r\nLANGUAGE = pt-br \r\n", L"pt-br"},
      {"among other keys", "[Other]\r\nlanguage=ru\r\n[AppInfo]\r\nwidth=5\nlanguage=zh_cn\n", L"zh_cn"},
      {"no line end", "[AppInfo]\nlanguage=arabic", L"arabic"},
      {"UTF-16 with byte-order mark", utf16, L"ja"},
      {"empty value", "[AppInfo]\r\nlanguage=\r\n", L""},
      {"other section only", "[Settings]\r\nlanguage=de\r\n", L""},
      {"empty file", "", L""},
      {"not an ini file", std::string("\x89PNG\r\n\x1a\n\0\0", 10), L""},
      {"value longer than the buffer", "[AppInfo]\r\nlanguage=" + std::string(2000, 'x') + "\r\n",
       std::wstring(1023, L'x')},
  };
  for (const auto& c : cases) {
    ScopedUserIni ini(c.bytes);
    ASSERT_TRUE(ini.ok()) << c.name;
    const std::string before = ReadWholeFile(UserIniPath());
    EXPECT_EQ(UserIniLanguage(), c.language) << c.name;
    EXPECT_EQ(ReadWholeFile(UserIniPath()), before) << c.name << ": the file was written";
  }
}

TEST(UserIni, MissingFileGivesNothingAndIsNotCreated) {
  DeleteFileW(UserIniPath().c_str());  // left over by an interrupted run
  ASSERT_EQ(GetFileAttributesW(UserIniPath().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(UserIniLanguage(), L"");
  EXPECT_EQ(GetFileAttributesW(UserIniPath().c_str()), INVALID_FILE_ATTRIBUTES);
}
#endif

}  // namespace
