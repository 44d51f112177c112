// The skinned top-level window (Windows only): creates the native window
// from a markup file of the skin package, translates its messages for the
// PaintManager, paints through a per-pixel-alpha layered surface and hosts
// the native helpers (shadow, edits, drop-down lists).
//
// Derived windows give the class name and the skin file, and may override
// InitWindow (after the controls exist), HandleMessage (every message),
// HandleCustomMessage (before the toolkit's own handling), Notify and
// OnFinalMessage (after the native window is gone; may delete the object).
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "toolkit/gdi_text_win.h"
#include "toolkit/image.h"
#include "toolkit/notify_pump.h"
#include "toolkit/paint_manager.h"
#include "toolkit/painter.h"

namespace skinui {

class ShadowWindow;
class TipWindow;
class EditHost;
class DropList;
class Surface;
struct AccessBridge;

class WindowImplBase : public ManagerHost, public NotifyListener {
 public:
  WindowImplBase();
  ~WindowImplBase() override;
  WindowImplBase(const WindowImplBase&) = delete;
  WindowImplBase& operator=(const WindowImplBase&) = delete;

  // The module whose resources the toolkit uses (icons).
  static void SetInstance(HINSTANCE instance);
  static HINSTANCE GetInstance();
  // Runs the thread's message loop until WM_QUIT; returns its exit code.
  static int MessageLoop();
  // The toolkit's chance to handle a message before translation (keys for a
  // drop-down list); true when it did.
  static bool PreTranslate(MSG* msg);

  // Creates the native window; the caption bar goes away and the skin's
  // size applies. Null on failure.
  HWND Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
              int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT);
  HWND GetHWND() const { return hwnd_; }
  void ShowWindow(bool show = true, bool activate = true);
  // Over the owner, else over the nearest monitor's work area (clamped).
  void CenterWindow();
  // Closes the window; `code` is kept as GetCloseCode().
  void Close(UINT code = IDOK);
  UINT GetCloseCode() const { return closeCode_; }
  void SetIcon(UINT resourceId);

  PaintManager& Manager() { return pm_; }
  NotifyPump& Pump() { return pump_; }

  // DPI: the window's scale is DPI x 100 / 96 (DPI at most 192). Setting it
  // resizes the window to the skin's size at the new scale.
  void SetDpi(int dpi);
  int GetDpi() const { return dpi_; }
  int GetScale() const { return pm_.GetScale(); }
  void ReloadImages();
  // True when `file` exists in the skin package and decodes.
  bool CanLoadImage(const std::wstring& file) const;
  // Applies Manager().Shadow() to the shadow window.
  void UpdateShadow();
  // Direction of the paint surface.
  void SetLayoutRtl(bool rtl) { pm_.SetLayoutRtl(rtl); }
  bool IsLayoutRtl() const { return pm_.IsLayoutRtl(); }
  // Lays out (if needed) and presents the surface now.
  void Repaint();

  // The last presented surfaces (premultiplied BGRA), for tests and tools.
  const uint32_t* SurfacePixels(int& width, int& height) const;
  const uint32_t* ShadowPixels(int& width, int& height) const;

  // NotifyListener: the notification table first; an unhandled "click" on
  // "closebtn" closes the window with code 1.
  void Notify(const Notification& n) override;

 protected:
  virtual const wchar_t* GetWindowClassName() const = 0;
  virtual std::wstring GetSkinFile() = 0;
  // The markup the window is built from: by default GetSkinFile() from the
  // skin package.
  virtual std::string GetSkinMarkup();
  virtual void InitWindow() {}
  virtual void OnFinalMessage(HWND hwnd) {}
  virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  virtual LRESULT HandleCustomMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
    handled = false;
    return 0;
  }

  // ManagerHost
  void InvalidateWindow() override;
  void OpenDropDown(Combo* combo) override;
  void FocusEdit(Edit* edit) override;
  void EditTextSet(Edit* edit) override;
  void FontsChanged() override;
  void FocusChanged(Control* now) override;
  void AccessibleEvent(Control* c, AccEvent e) override;

 private:
  // Keys for the model; true when used.
  bool OnKey(UINT msg, WPARAM wp, LPARAM lp);
  // Keys that reach this window while an edit has the model's focus.
  bool ForwardToEdit(UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT OnCreate();
  Point MousePoint() const;
  LRESULT HitTest(LPARAM lp);
  void FollowOwner();
  void SyncEdits();
  void UpdateRingTimer();

  HWND hwnd_ = nullptr;
  PaintManager pm_;
  NotifyPump pump_;
  mutable ImageCache images_;
  GdiTextRenderer text_;
  RendererMeasurer measurer_{pm_, text_};
  std::unique_ptr<Surface> surface_;
  std::unique_ptr<ShadowWindow> shadow_;
  std::unique_ptr<DropList> dropList_;
  std::unique_ptr<TipWindow> tip_;
  std::map<Edit*, std::unique_ptr<EditHost>> edits_;
  std::shared_ptr<AccessBridge> access_;
  int dpi_ = 96;
  bool repaintPosted_ = false;
  bool tracking_ = false;
  bool ringTimer_ = false;
  UINT closeCode_ = 0;
};

}  // namespace skinui
