// What the install run needs of the window it runs in, in the run's own
// words: pages, the progress bar, the failure display and the options the
// user chose. Which controls show them is the window's business. Main
// (UI) thread only.
#pragma once
#include <string>

enum class InstallPage { kOptions = 0, kProgress = 1, kFinished = 2 };

// The check boxes of the options page as the user left them.
struct ChosenOptions {
  bool autostart = false;
  bool createShortcut = false;
};

class InstallView {
 public:
  virtual ~InstallView() = default;
  // Shows `page`; the window can be closed on every page but kProgress.
  virtual void ShowPage(InstallPage page) = 0;
  virtual int ProgressValue() = 0;
  virtual void SetProgressValue(int value) = 0;
  // Replaces the progress text by `text` (a text or a "tt_" id, which shows
  // its translation), lets the window be closed and offers the download page.
  virtual void ShowFailure(const std::wstring& text) = 0;
  virtual ChosenOptions Choices() = 0;
  // The installation folder as the options page holds it.
  virtual std::wstring InstallFolder() = 0;
  // The text of the selected language, as the selector shows it ("" when none).
  virtual std::wstring LanguageText() = 0;
  // Destroys the window; the program ends after its message loop.
  virtual void CloseWindow() = 0;
};
