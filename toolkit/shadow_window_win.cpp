#include <algorithm>

#include "toolkit/painter.h"
#include "toolkit/window_parts_win.h"

namespace skinui {

namespace {
const wchar_t kShadowClass[] = L"SkinUiShadow";

}  // namespace

void RegisterHelperClass(const wchar_t* name, WNDPROC proc, LPCWSTR cursor) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (GetClassInfoExW(GetModuleHandleW(nullptr), name, &wc)) return;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = cursor ? LoadCursorW(nullptr, cursor) : nullptr;
  wc.lpszClassName = name;
  RegisterClassExW(&wc);
}

ShadowWindow::~ShadowWindow() {
  if (hwnd_) DestroyWindow(hwnd_);
}

void ShadowWindow::Update(HWND owner, const ShadowSettings& s, ImageCache& images, bool show) {
  if (!show) {
    if (hwnd_) ::ShowWindow(hwnd_, SW_HIDE);
    return;
  }
  if (!hwnd_) {
    RegisterHelperClass(kShadowClass, DefWindowProcW, nullptr);
    // Not owned: an owned window would stay above its owner, and the shadow
    // must sit just below the window it belongs to.
    hwnd_ = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, kShadowClass,
                            L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) return;
  }
  RECT wr;
  GetWindowRect(owner, &wr);
  const int w = wr.right - wr.left + 2 * s.size, h = wr.bottom - wr.top + 2 * s.size;
  if (w <= 0 || h <= 0) return;
  const bool redraw = !valid_ || drawnSize_.cx != w || drawnSize_.cy != h || drawn_.image != s.image ||
                      drawn_.corner != s.corner || drawn_.size != s.size;
  if (redraw) {
    if (!surface_.Ensure(w, h)) return;
    Canvas c = surface_.MakeCanvas();
    valid_ = RenderShadow(c, images, s);
    drawn_ = s;
    drawnSize_ = SIZE{w, h};
  }
  surface_.Present(hwnd_, POINT{wr.left - s.size, wr.top - s.size});
  // Shown first, then put just below the owner: a window that is being
  // shown may be raised to the top by the display system.
  if (!IsWindowVisible(hwnd_))
    SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER | SWP_SHOWWINDOW);
  SetWindowPos(hwnd_, owner, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (!placed_ && !raising_) {
    // Some display systems keep a newly shown window on top whatever the
    // window order says: raise the owner over its shadow once.
    placed_ = true;
    raising_ = true;
    SetWindowPos(owner, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    raising_ = false;
  }
}

}  // namespace skinui
