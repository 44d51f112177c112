// The native helpers a skinned window uses: the drop shadow window, the
// popup that hosts a real edit control over an Edit, and the drop-down list
// of a Combo. A layered window painted with UpdateLayeredWindow shows no
// child windows, so each of these is its own top-level window that follows
// the main one.
#pragma once
#include <windows.h>

#include <string>

#include "toolkit/controls.h"
#include "toolkit/gdi_text_win.h"
#include "toolkit/image.h"
#include "toolkit/paint_manager.h"

namespace skinui {

// Registers the window class `name` of a helper window once per process.
void RegisterHelperClass(const wchar_t* name, WNDPROC proc, LPCWSTR cursor);

// A tracking tool tip shown next to the mouse for the control or list item
// under it.
class TipWindow {
 public:
  TipWindow() = default;
  ~TipWindow();
  TipWindow(const TipWindow&) = delete;
  TipWindow& operator=(const TipWindow&) = delete;
  // Shows `text` near the cursor (an empty text hides the tip).
  void Show(HWND owner, const std::wstring& text);
  void Hide();

 private:
  HWND tip_ = nullptr;
  HWND owner_ = nullptr;
  std::wstring text_;
};

class ShadowWindow {
 public:
  ShadowWindow() = default;
  ~ShadowWindow();
  // Places the shadow around `owner` (just below it in z-order) and redraws
  // it when the settings or the size changed. Hides it when `show` is false.
  void Update(HWND owner, const ShadowSettings& s, ImageCache& images, bool show);
  HWND Handle() const { return hwnd_; }
  const Surface& Pixels() const { return surface_; }

 private:
  HWND hwnd_ = nullptr;
  Surface surface_;
  ShadowSettings drawn_;
  SIZE drawnSize_ = {0, 0};
  bool valid_ = false;
  bool placed_ = false;
  bool raising_ = false;
};

class EditHost {
 public:
  EditHost(HWND owner, Edit* edit);
  ~EditHost();
  EditHost(const EditHost&) = delete;
  EditHost& operator=(const EditHost&) = delete;
  // Follows the control: `screen` is its text area on screen.
  void Sync(const RECT& screen, bool show, HFONT font);
  // Puts the control's text into the native edit without a notification.
  void PullText();
  void Focus();
  HWND Popup() const { return popup_; }
  HWND Handle() const { return edit_; }

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  HWND popup_ = nullptr;
  HWND edit_ = nullptr;
  Edit* control_;
  UniqueBrush brush_;
  bool settingText_ = false;
  RECT placed_ = {0, 0, 0, 0};  // where Sync last put the host
};

class DropList {
 public:
  DropList() = default;
  ~DropList();
  // Opens the list of `combo` below `comboScreen` (above it when the screen
  // ends first). A second Open right after the list closed by the same click
  // is ignored, so clicking the combo toggles the list.
  void Open(HWND owner, Combo* combo, const RECT& comboScreen, PaintManager& pm, ImageCache& images,
            GdiTextRenderer& text);
  void Close();
  bool IsOpen() const { return hwnd_ && IsWindowVisible(hwnd_); }
  // The combo is going away.
  void Forget(Combo* combo);

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void Render();
  int ItemAt(int y) const;
  int ContentHeight() const;
  // Picks `i` as the hot item and scrolls it into view.
  void SetHot(int i);
  // Closes the list and gives the keyboard back to the window; with `pick`
  // the hot item becomes the combo's choice.
  void CloseByKey(bool pick);

  HWND hwnd_ = nullptr;
  Surface surface_;
  Combo* combo_ = nullptr;
  PaintManager* pm_ = nullptr;
  ImageCache* images_ = nullptr;
  GdiTextRenderer* text_ = nullptr;
  int scale_ = 100;
  int hot_ = -1;
  int scroll_ = 0;
  Size size_;
  DWORD closedAt_ = 0;
  Combo* closedCombo_ = nullptr;
  TipWindow tip_;
  std::wstring typed_;  // type-to-select
  DWORD typedAt_ = 0;
};

}  // namespace skinui
