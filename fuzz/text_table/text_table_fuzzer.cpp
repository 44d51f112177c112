// libFuzzer target: the language files. Input: a selector byte, then
//   even: a language file (XML) merged into the text table;
//   odd:  a skin package (zip) whose "language\en.xml" is loaded.
//
// Properties:
// - a file that does not load leaves the table as it was;
// - one that loads keeps every id it does not name;
// - a corrupted package fails like a missing file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/common/fuzz_support.h"
#include "toolkit/zip_archive.h"
#include "ui/text_table.h"

namespace {

const char kKept[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Res><Text id=\"tt_fuzz_kept\" value=\"kept\"/></Res>";

void Check(bool loaded, bool mayName) {
  if (!loaded || !mayName) FUZZ_CHECK(GetText(L"tt_fuzz_kept") == L"kept");
  FUZZ_CHECK(GetText(L"tt_fuzz_absent") == L"tt_fuzz_absent");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  const uint8_t selector = in.Byte();
  const std::string bytes = in.Rest();
  ReleaseTextTable();
  FUZZ_CHECK(LoadLanguageText(kKept));

  if (selector % 2 == 0) {
    const bool loaded = LoadLanguageText(bytes);
    Check(loaded, bytes.find("tt_fuzz_") != std::string::npos || bytes.find('&') != std::string::npos);
  } else {
    SetSkinArchive(bytes.data(), bytes.size());
    const bool loaded = LoadLanguage(L"language\\en.xml");
    SetSkinArchive(nullptr, 0);
    Check(loaded, true);
  }
  ReleaseTextTable();
  return 0;
}
