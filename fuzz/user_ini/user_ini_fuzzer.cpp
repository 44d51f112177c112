// libFuzzer target: what the installer takes from user.ini and the folder it
// lives in. The file itself is read by the system (GetPrivateProfileStringW
// into a 1024-unit buffer); what reaches our code is the "language" value of
// at most 1023 units and the local application data folder. Input: a selector
// byte, two bytes of system LANGID, then the text.
//   even selector: the text is the "language" value: the start language is
//     chosen and its file loaded from a skin package of real language files;
//   odd selector: the text is the (short) local application data folder.
//
// Properties:
// - a non-empty user.ini value is the start language as it stands; an empty
//   one gives a code of the language table;
// - a language file loads exactly when the package holds
//   "language/<code>.xml" (names compared without regard to case);
// - the user data folder is a prefix of the given folder without its trailing
//   "\" and its last level, extended by "\Local".
#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/text_convert.h"
#include "fuzz/common/fuzz_support.h"
#include "fuzz/common/skin_package.h"
#include "toolkit/zip_archive.h"
#include "ui/language_choice.h"
#include "ui/text_table.h"
#include "ui/user_ini.h"

namespace {

const fuzz::PackageFiles& Files() {
  static const fuzz::PackageFiles files = fuzz::LanguageFiles({"en", "de", "arabic", "zh-tw", "zh_cn"});
  return files;
}

void UsePackage() {
  static const std::string zip = fuzz::StoredZip(Files());
  static const bool set = (SetSkinArchive(zip.data(), zip.size()), true);
  (void)set;
}

// The package name a language file request becomes ("\" as "/", up to a
// NUL, leading "/" dropped).
std::string PackageName(const std::wstring& fileName) {
  std::string name = WideToUtf8(fileName);
  name = name.substr(0, name.find('\0'));
  for (char& c : name)
    if (c == '\\') c = '/';
  while (!name.empty() && name[0] == '/') name.erase(0, 1);
  return name;
}

bool InPackage(const std::string& name) {
  for (const auto& f : Files())
    if (strcasecmp(f.first.c_str(), name.c_str()) == 0) return true;
  return false;
}

void LanguageValue(const std::wstring& value, unsigned langId) {
  const std::wstring code = StartLanguageCode(value, langId);
  if (!value.empty()) {
    FUZZ_CHECK(code == value);
  } else {
    bool inTable = false;
    for (const LanguageEntry& e : LanguageTable()) inTable = inTable || code == e.code;
    FUZZ_CHECK(inTable);
  }
  // As ChooseStartLanguage does it, with the package of this target.
  SetCurrentLanguage(code);
  FUZZ_CHECK(CurrentLanguage() == code);
  const std::wstring file = L"language\\" + code + L".xml";
  const bool loaded = LoadLanguage(file);
  FUZZ_CHECK(loaded == InPackage(PackageName(file)));
  ReleaseTextTable();
}

void DataFolder(const std::wstring& localAppData) {
  const std::wstring folder = UserDataFolderFrom(localAppData);
  const std::wstring tail = L"\\Local";
  FUZZ_CHECK(folder.size() >= tail.size() && folder.compare(folder.size() - tail.size(), tail.size(), tail) == 0);
  const std::wstring parent = folder.substr(0, folder.size() - tail.size());
  FUZZ_CHECK(localAppData.compare(0, parent.size(), parent) == 0);
  // What was cut off is one level (with any trailing separators), or nothing
  // when there is no level above.
  std::wstring trimmed = localAppData;
  while (!trimmed.empty() && trimmed.back() == L'\\') trimmed.pop_back();
  if (trimmed.find(L'\\') == std::wstring::npos) {
    FUZZ_CHECK(parent == trimmed);
  } else {
    FUZZ_CHECK(trimmed.size() > parent.size() && trimmed[parent.size()] == L'\\');
    FUZZ_CHECK(trimmed.find(L'\\', parent.size() + 1) == std::wstring::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  UsePackage();
  fuzz::Reader in(data, size);
  const uint8_t selector = in.Byte();
  const unsigned langId = static_cast<unsigned>(in.Bits(2));
  std::wstring text = fuzz::Wide(in.Rest());
  if (selector % 2 == 0) {
    // What the 1024-unit buffer can hold, up to its first NUL.
    text = text.substr(0, text.find(L'\0')).substr(0, 1023);
    LanguageValue(text, langId);
  } else {
    DataFolder(text);
  }
  return 0;
}
