#include "base/build_version.h"

#include <vector>

std::string BuildVersionFromFileVersion(const std::string& fileVersion) {
  std::vector<std::string> pieces;
  size_t from = 0;
  while (from < fileVersion.size()) {
    size_t dot = fileVersion.find('.', from);
    if (dot == std::string::npos) dot = fileVersion.size();
    pieces.push_back(fileVersion.substr(from, dot - from));
    from = dot + 1;
  }
  // A dot as the very last character closes the last piece; nothing follows it.
  return pieces.size() == 4 ? pieces[3] : std::string();
}
