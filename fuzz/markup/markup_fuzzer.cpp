// libFuzzer target: the skin's window markup, on its own and inside a
// package. Input: a selector byte, then
//   even: window markup (XML);
//   odd:  a skin package (zip) whose "InstallMainWnd.xml" is loaded.
//
// Properties:
// - markup that does not load leaves no tree; markup that loads builds a
//   tree no deeper than the nesting bound, where every named control is
//   found by its name;
// - reading fonts either fails and leaves the list as it was, or succeeds;
// - a package file that cannot be read comes back empty (a corrupted package
//   fails, it does not crash or allocate what its headers claim).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/common/fuzz_support.h"
#include "toolkit/container.h"
#include "toolkit/markup.h"
#include "toolkit/paint_manager.h"
#include "toolkit/zip_archive.h"

namespace {

// The markup's bound on nesting (64 levels below the root) plus the root.
constexpr int kDeepest = 66;

int Depth(const skinui::Control& c) {
  int deepest = 0;
  if (c.IsContainer()) {
    const auto& box = static_cast<const skinui::Container&>(c);
    for (int i = 0; i < box.GetCount(); ++i) deepest = std::max(deepest, Depth(*box.GetItemAt(i)));
  }
  return deepest + 1;
}

void Markup(const std::string& xml) {
  skinui::PaintManager pm;
  const bool loaded = pm.LoadMarkup(xml);
  if (!loaded) {
    FUZZ_CHECK(pm.GetRoot() == nullptr);
  } else if (pm.GetRoot()) {
    FUZZ_CHECK(Depth(*pm.GetRoot()) <= kDeepest);
    pm.Visit([&](skinui::Control& c) {
      if (c.GetName().empty()) return;
      skinui::Control* found = pm.FindControl(c.GetName());
      FUZZ_CHECK(found && found->GetName() == c.GetName());
    });
  }
  std::vector<skinui::FontElement> fonts(1);
  fonts[0].id = 12345;
  if (!skinui::ReadFontElements(xml, fonts)) FUZZ_CHECK(fonts.size() == 1 && fonts[0].id == 12345);
}

void Package(const std::string& bytes) {
  ZipArchive zip;
  if (!zip.Open(bytes.data(), bytes.size())) return;
  std::string xml = "left over";
  if (!zip.Read("InstallMainWnd.xml", xml)) {
    FUZZ_CHECK(xml.empty());
    return;
  }
  FUZZ_CHECK(xml.size() <= (bytes.size() + 1) * 1100);  // deflate expands at most ~1032 times
  Markup(xml);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  const uint8_t selector = in.Byte();
  if (selector % 2 == 0)
    Markup(in.Rest());
  else
    Package(in.Rest());
  return 0;
}
