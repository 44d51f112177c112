#include "ui/text_table.h"

#include <pugixml.hpp>

#include <cwctype>
#include <map>
#include <mutex>

#include "base/text_convert.h"
#include "toolkit/zip_archive.h"

namespace {

std::mutex tableLock;
std::map<std::wstring, std::wstring>& Table() {
  static std::map<std::wstring, std::wstring> table;
  return table;
}
std::wstring& Current() {
  static std::wstring code;
  return code;
}

bool SameNoCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (std::towlower(static_cast<unsigned char>(*a)) != std::towlower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

const pugi::char_t* AttributeNoCase(const pugi::xml_node& node, const char* name) {
  for (auto a : node.attributes()) {
    if (SameNoCase(a.name(), name)) return a.value();
  }
  return nullptr;
}

}  // namespace

const std::vector<LanguageEntry>& LanguageTable() {
  static const std::vector<LanguageEntry> table = {
      {L"English", L"en", 9},
      {L"Arabic(\x0639\x0631\x0628\x064A)", L"arabic", 1},
      {L"German(Deutsch)", L"de", 7},
      {L"French(Fran\x00E7" L"ais)", L"fr", 12},
      {L"Italian(Italiano)", L"it", 16},
      {L"Japanese(\x65E5\x672C\x8A9E)", L"ja", 17},
      {L"Korean(\xD55C\xAD6D\xC5B4)", L"ko", 18},
      {L"Russian(\x0420\x0443\x0441\x0441\x043A\x0438\x0439)", L"ru", 25},
      {L"\x7E41\x9AD4\x4E2D\x6587", L"zh-tw", 4},
      {L"Spanish(Espa\x00F1ol)", L"es", 10},
      {L"Vietnamese(Ti\x1EBFng Vi\x1EC7t)", L"vi", 42},
      {L"Portugu\x00EAs(BR)", L"pt-br", 22},
      {L"Thai", L"th", 30},
      {L"Turkish(T\x00FCrk\x00E7" L"e)", L"tr", 31},
      {L"Ukrainian(\x0423\x043A\x0440\x0430\x0457\x043D\x0441\x044C\x043A\x0430)", L"uk", 34},
  };
  return table;
}

std::wstring GetText(const std::wstring& id) {
  std::lock_guard<std::mutex> lock(tableLock);
  auto it = Table().find(id);
  return it == Table().end() ? id : it->second;
}

bool LoadLanguageText(const std::string& xml) {
  pugi::xml_document doc;
  if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8)) return false;
  pugi::xml_node root;
  for (auto n : doc.children()) {
    if (n.type() == pugi::node_element && SameNoCase(n.name(), "Res")) {
      root = n;
      break;
    }
  }
  if (!root) return false;
  std::map<std::wstring, std::wstring> parsed;
  for (auto n : root.children()) {
    if (n.type() != pugi::node_element || !SameNoCase(n.name(), "Text")) continue;
    const char* id = AttributeNoCase(n, "id");
    const char* value = AttributeNoCase(n, "value");
    if (!id || !value) continue;
    parsed[Utf8ToWide(id)] = Utf8ToWide(value);
  }
  std::lock_guard<std::mutex> lock(tableLock);
  for (auto& kv : parsed) Table()[kv.first] = kv.second;
  return true;
}

bool LoadLanguage(const std::wstring& fileName) {
  std::string xml;
  if (!ReadSkinFile(WideToUtf8(fileName), xml)) return false;
  return LoadLanguageText(xml);
}

void SetCurrentLanguage(const std::wstring& code) {
  std::lock_guard<std::mutex> lock(tableLock);
  Current() = code;
}

std::wstring CurrentLanguage() {
  std::lock_guard<std::mutex> lock(tableLock);
  return Current();
}

void ReleaseTextTable() {
  std::lock_guard<std::mutex> lock(tableLock);
  Table().clear();
}

std::wstring LanguageCodeForLangId(unsigned langId) {
  int primary = static_cast<int>(langId & 0xFF);
  for (const auto& e : LanguageTable()) {
    if (e.primaryLangId == primary) return e.code;
  }
  return L"en";
}
