// KvWindowBase: the installer's window base over the skin toolkit. It adds
// per-monitor DPI with DPI-specific images and shadow, per-language font
// faces and the right-to-left layout for Arabic. The rules that need no
// window are free functions here so they can be checked anywhere.
#pragma once
#include <string>

#include "toolkit/geometry.h"
#include "toolkit/paint_manager.h"

// The face every skin font takes for `languageCode`; empty when the
// language keeps the skin's faces.
std::wstring LanguageFontFace(const std::wstring& languageCode);

// Re-reads the "Font" elements of `skinXml` and replaces each font by id:
// size and style as the font has them now, the language's face or else the
// element's name, shared and default as the element says. False (fonts
// unchanged) when the markup cannot be parsed.
bool ApplyLanguageFonts(skinui::PaintManager& pm, const std::string& skinXml, const std::wstring& languageCode);

// The shadow as the markup gave it, and as it is used at a scale.
struct SavedShadow {
  int size = 0;
  skinui::Rect corner;
  std::wstring image;
};
// Size and corners scaled; at any scale but 100 every "." of the image name
// becomes "@<scale>." ("window_shadow.png" at 150 % is "window_shadow@150.png").
SavedShadow ShadowForScale(const SavedShadow& saved, int scale);

// Size limits for WM_GETMINMAXINFO. `work` is the monitor's work area,
// `monitor` its full rectangle.
struct SizeLimits {
  skinui::Point maxPosition;
  skinui::Size maxSize;
  skinui::Size minTrack;
  skinui::Size maxTrack;
};
SizeLimits ComputeSizeLimits(skinui::Rect work, bool primaryMonitor, int dpi, int currentScale,
                             skinui::Size minInfo, skinui::Size maxInfo);

#ifdef _WIN32
#include "toolkit/window_impl.h"

class KvWindowBase : public skinui::WindowImplBase {
 public:
  KvWindowBase() = default;
  ~KvWindowBase() override;

  // Re-applies fonts, direction and the widths of auto-sized labels and
  // spacers after a language change; repaints.
  void ApplyLanguage();
  // Right to left exactly when the current language is "arabic".
  void ApplyDirection();
  // After a DPI change has been applied; nothing here.
  virtual void DpiChanged(int dpi) {}

 protected:
  // Saves the shadow, takes the DPI of the parent's (or nearest) monitor,
  // scales the shadow, applies the language's fonts and the direction.
  void InitWindow() override;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void ApplyShadowForDpi();
  void ApplyFonts();
  void SetDirection(bool rtl);
  LRESULT OnGetMinMaxInfo(MINMAXINFO* mmi);

  bool hasSavedShadow_ = false;
  SavedShadow savedShadow_;
  bool skipNextSizeLimits_ = false;
};

// The effective DPI of a monitor (96 when the system cannot tell).
int MonitorDpi(HMONITOR monitor);
#endif
