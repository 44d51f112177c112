// What the install run needs of the window it runs in: a few operations on
// named controls. The skinned main window implements it with its toolkit; any
// window that has controls of these names will do. Main thread only.
#pragma once
#include <string>

class InstallView {
 public:
  virtual ~InstallView() = default;
  virtual void SetControlVisible(const std::wstring& name, bool visible) = 0;
  // Shows or hides the container (parent) of the named control.
  virtual void SetParentVisible(const std::wstring& name, bool visible) = 0;
  virtual void SetControlEnabled(const std::wstring& name, bool enabled) = 0;
  // Text or text id (a "tt_" id shows its translation).
  virtual void SetControlText(const std::wstring& name, const std::wstring& text) = 0;
  virtual bool IsControlSelected(const std::wstring& name) = 0;
  virtual void SelectTabPage(const std::wstring& tabName, int page) = 0;
  virtual int ProgressValue(const std::wstring& name) = 0;
  virtual void SetProgressValue(const std::wstring& name, int value) = 0;
  // Destroys the window; the program ends after its message loop.
  virtual void CloseWindow() = 0;
};
