// An in-memory skin package for the fuzz targets that read through the
// package: the named files of skin/ (QV_FUZZ_SKIN_DIR) in a zip of stored
// entries, the form minizip reads like the deflated package of the build.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace fuzz {

using PackageFiles = std::vector<std::pair<std::string, std::string>>;  // name, content

inline std::string ReadSkinSource(const std::string& relative) {
  std::ifstream in(std::string(QV_FUZZ_SKIN_DIR) + "/" + relative, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

inline std::string StoredZip(const PackageFiles& files) {
  std::string zip, central;
  for (const auto& f : files) {
    const uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(f.second.data()), static_cast<uInt>(f.second.size())));
    const uint32_t offset = static_cast<uint32_t>(zip.size());
    const uint32_t size = static_cast<uint32_t>(f.second.size());
    const uint32_t nameLength = static_cast<uint32_t>(f.first.size());
    Put32(zip, 0x04034b50);
    Put16(zip, 20);  // version needed
    Put16(zip, 0);   // flags
    Put16(zip, 0);   // stored
    Put32(zip, 0);   // time, date
    Put32(zip, crc);
    Put32(zip, size);
    Put32(zip, size);
    Put16(zip, nameLength);
    Put16(zip, 0);
    zip += f.first + f.second;

    Put32(central, 0x02014b50);
    Put16(central, 20);  // made by
    Put16(central, 20);  // needed
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, 0);
    Put32(central, crc);
    Put32(central, size);
    Put32(central, size);
    Put16(central, nameLength);
    Put16(central, 0);  // extra
    Put16(central, 0);  // comment
    Put16(central, 0);  // disk
    Put16(central, 0);  // internal attributes
    Put32(central, 0);  // external attributes
    Put32(central, offset);
    central += f.first;
  }
  const uint32_t centralOffset = static_cast<uint32_t>(zip.size());
  zip += central;
  Put32(zip, 0x06054b50);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, static_cast<uint32_t>(files.size()));
  Put16(zip, static_cast<uint32_t>(files.size()));
  Put32(zip, static_cast<uint32_t>(central.size()));
  Put32(zip, centralOffset);
  Put16(zip, 0);
  return zip;
}

// The language files of skin/language/ under "language/<code>.xml".
inline PackageFiles LanguageFiles(const std::vector<std::string>& codes) {
  PackageFiles files;
  for (const std::string& code : codes)
    files.emplace_back("language/" + code + ".xml", ReadSkinSource("language/" + code + ".xml"));
  return files;
}

}  // namespace fuzz
