// Test helpers: the language files of the source tree and the built skin
// package (paths given by the build as QV_SKIN_SOURCE_DIR and QV_SKIN_ZIP_FILE).
#pragma once
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/text_convert.h"
#include "ui/text_table.h"

// A file of the build machine; under Wine its root is drive Z:. Empty when
// the file is missing.
inline std::string ReadHostFile(std::string path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline std::string SourceLanguageFile(const std::wstring& code) {
  return ReadHostFile(std::string(QV_SKIN_SOURCE_DIR) + "/language/" + WideToUtf8(code) + ".xml");
}

// The built skin package, read once and kept for the process (the skin
// archive keeps a pointer to it).
inline const std::string& BuiltSkinZip() {
  static const std::string zip = ReadHostFile(QV_SKIN_ZIP_FILE);
  return zip;
}

// Every language file of the skin package: the table's codes and "zh_cn".
inline std::vector<std::wstring> AllLanguageCodes() {
  std::vector<std::wstring> codes;
  for (const auto& e : LanguageTable()) codes.push_back(e.code);
  codes.push_back(L"zh_cn");
  return codes;
}
