// libFuzzer target: the options page's rules driven by a sequence of user
// actions, with the folder browser's composition. Input: the drives (see
// ReadDrives), then steps: a byte selects the action, a line gives its text.
//   0: the folder field's text changes;
//   1: the agreement box is clicked (the rules run before it changes);
//   2: a folder is picked in the browser (then the field shows it).
//
// Properties, after every step:
// - "install" is enabled only while the box is selected and the folder is
//   valid; a valid folder with the box selected enables it;
// - the warning shows exactly while the typed folder is invalid;
// - a picked drive root of a kept drive, or a picked folder that is usable,
//   composes to a folder the pattern accepts (when short enough).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/common/folder_reference.h"
#include "fuzz/common/fuzz_support.h"
#include "testing/fixtures/options_page_view.h"
#include "ui/main_wnd_rules.h"

namespace {

using PageView = testsupport::RecordingPageView;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  const std::vector<LogicalDrive> drives = fuzz::ReadDrives(in);
  PageView view;
  OptionsPageRules rules(view, BuildPathPattern(drives), L"C:\\Program Files\\Quorvane");
  const FolderPattern pattern(rules.Pattern());

  for (int step = 0; step < 32 && !in.Empty(); ++step) {
    const uint8_t action = in.Byte() % 3;
    if (action == 1) {
      rules.AgreementClicked();
      view.agreed = !view.agreed;
    } else {
      const std::wstring text = fuzz::Wide(in.Line());
      if (action == 2) {
        rules.SetFolder(ComposeBrowsedFolder(text));
        const bool root = text.size() == 3 && text[1] == L':' && fuzz::IsSeparator(text[2]);
        const bool pickable = root || FolderUsable(pattern, text);
        if (pickable && rules.Folder().size() <= kMaxMatchedFolderLength &&
            fuzz::ReferenceValid(drives, text.substr(0, 1) + L":\\x"))
          FUZZ_CHECK(rules.FolderValid());
        rules.FolderTextChanged(rules.Folder());  // the field shows the folder
      } else {
        rules.FolderTextChanged(text);
        FUZZ_CHECK(rules.Folder() == TrimSpaces(text));
      }
      FUZZ_CHECK(view.warningShown == !rules.FolderValid());
      if (rules.FolderValid() && view.agreed) FUZZ_CHECK(view.installEnabled);
    }
    FUZZ_CHECK(rules.FolderValid() == fuzz::ReferenceValid(drives, rules.Folder()));
    if (view.installEnabled) FUZZ_CHECK(view.agreed && rules.FolderValid());
  }
  return 0;
}
