#include <algorithm>

#include "base/gdi_win.h"
#include "base/text_convert.h"
#include "toolkit/controls.h"
#include "toolkit/zip_archive.h"
#include "ui/kv_window_base.h"
#include "ui/text_table.h"

namespace {

int CapDpi(int dpi) { return dpi <= 0 ? 96 : std::min(dpi, 192); }

bool IsPlainControl(const skinui::Control& c) { return c.GetClass() == L"Control"; }

}  // namespace

int MonitorDpi(HMONITOR monitor) {
  // GetDpiForMonitor lives in shcore.dll (Windows 8.1 and later).
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static GetDpiForMonitorFn fn = [] {
    // From the system folder only, never by name from the program's folder.
    HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Through the generic function type: FARPROC's own signature is not this one.
    FARPROC proc = shcore ? GetProcAddress(shcore, "GetDpiForMonitor") : nullptr;
    return reinterpret_cast<GetDpiForMonitorFn>(reinterpret_cast<void (*)()>(proc));
  }();
  UINT x = 0, y = 0;
  if (fn && monitor && SUCCEEDED(fn(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) && x > 0) return static_cast<int>(x);
  WindowDc screen(nullptr);
  const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
  return dpi > 0 ? dpi : 96;
}

KvWindowBase::~KvWindowBase() = default;

void KvWindowBase::InitWindow() {
  HWND hwnd = GetHWND();
  // 1. The shadow as the markup gave it.
  const skinui::ShadowSettings& s = Manager().Shadow();
  if (s.show && s.size > 0) {
    hasSavedShadow_ = true;
    savedShadow_ = SavedShadow{s.size, s.corner, s.image};
  }
  // 2. DPI of the parent's monitor, else of the monitor nearest the window.
  HWND parent = GetParent(hwnd);
  HMONITOR monitor = nullptr;
  if (parent) {
    monitor = MonitorFromWindow(parent, MONITOR_DEFAULTTONEAREST);
  } else {
    RECT wr;
    GetWindowRect(hwnd, &wr);
    monitor = MonitorFromRect(&wr, MONITOR_DEFAULTTONEAREST);
  }
  SetDpi(CapDpi(MonitorDpi(monitor)));
  // 3-5.
  ApplyShadowForDpi();
  ApplyFonts();
  ApplyDirection();
}

void KvWindowBase::ApplyShadowForDpi() {
  if (!hasSavedShadow_) return;
  SavedShadow scaled = ShadowForScale(savedShadow_, GetScale());
  if (!CanLoadImage(scaled.image)) return;  // the variant is missing: keep the shadow as it is
  skinui::ShadowSettings& s = Manager().Shadow();
  s.show = false;
  UpdateShadow();
  s.size = scaled.size;
  s.image = scaled.image;
  s.corner = scaled.corner;
  s.show = true;
  Manager().SetShadowChanged();
  UpdateShadow();
  RECT rc;
  GetClientRect(GetHWND(), &rc);
  PostMessageW(GetHWND(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(rc.right - rc.left, rc.bottom - rc.top));
}

void KvWindowBase::ApplyFonts() {
  std::string xml;
  if (!ReadSkinFile(WideToUtf8(GetSkinFile()), xml)) return;
  ApplyLanguageFonts(Manager(), xml, CurrentLanguage());
}

void KvWindowBase::SetDirection(bool rtl) {
  SetLayoutRtl(rtl);
  if (skinui::Control* root = Manager().GetRoot()) root->SetUserData(rtl ? L"LAYOUT_RTL" : L"");
  HWND hwnd = GetHWND();
  if (!hwnd) return;
  LONG_PTR ex = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
  LONG_PTR want = rtl ? (ex | WS_EX_LAYOUTRTL) : (ex & ~static_cast<LONG_PTR>(WS_EX_LAYOUTRTL));
  if (want != ex) SetWindowLongPtrW(hwnd, GWL_EXSTYLE, want);
}

void KvWindowBase::ApplyDirection() {
  const bool rtl = CurrentLanguage() == L"arabic";
  if (IsLayoutRtl() == rtl) return;
  SetDirection(rtl);
}

void KvWindowBase::ApplyLanguage() {
  ApplyFonts();
  ApplyDirection();
  Manager().Visit([](skinui::Control& c) {
    if (auto* label = dynamic_cast<skinui::Label*>(&c); label && label->IsAutoCalcWidth()) {
      label->SetFixedWidth(0);
      label->ResetTextSize();
    } else if (IsPlainControl(c)) {
      c.SetFixedWidth(0);
    }
  });
  Manager().NeedUpdate();
  Repaint();
}

LRESULT KvWindowBase::OnGetMinMaxInfo(MINMAXINFO* mmi) {
  if (skipNextSizeLimits_) {
    skipNextSizeLimits_ = false;
    return 0;
  }
  HWND hwnd = GetHWND();
  HMONITOR monitor = MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO mi = {};
  mi.cbSize = sizeof(mi);
  GetMonitorInfoW(monitor, &mi);
  const bool primary = (mi.dwFlags & MONITORINFOF_PRIMARY) != 0;
  RECT wr;
  GetWindowRect(hwnd, &wr);
  const int dpi = wr.left == -32000 ? GetDpi() : CapDpi(MonitorDpi(monitor));
  skinui::Rect work{mi.rcWork.left, mi.rcWork.top, mi.rcWork.right, mi.rcWork.bottom};
  SizeLimits l = ComputeSizeLimits(work, primary, dpi, GetScale(), Manager().GetMinInfo(), Manager().GetMaxInfo());
  mmi->ptMaxPosition = POINT{l.maxPosition.x, l.maxPosition.y};
  mmi->ptMaxSize = POINT{l.maxSize.cx, l.maxSize.cy};
  mmi->ptMaxTrackSize = POINT{l.maxTrack.cx, l.maxTrack.cy};
  mmi->ptMinTrackSize = POINT{l.minTrack.cx, l.minTrack.cy};
  return 0;
}

LRESULT KvWindowBase::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_DPICHANGED: {
      const int dpi = CapDpi(HIWORD(wp));
      SetDpi(dpi);
      ReloadImages();
      const bool rtl = IsLayoutRtl();
      if (rtl) SetDirection(false);
      const RECT* r = reinterpret_cast<const RECT*>(lp);
      SetWindowPos(GetHWND(), nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyShadowForDpi();
      Manager().NeedUpdate();
      if (rtl) SetDirection(true);
      DpiChanged(dpi);
      return 0;
    }
    case WM_GETMINMAXINFO:
      return OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lp));
    case WM_DISPLAYCHANGE:
      if (IsWindowVisible(GetHWND())) skipNextSizeLimits_ = true;
      return 0;
    default:
      return WindowImplBase::HandleMessage(msg, wp, lp);
  }
}
