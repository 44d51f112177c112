#include "toolkit/window_parts_win.h"

#include <commctrl.h>

namespace skinui {

TipWindow::~TipWindow() {
  if (tip_) DestroyWindow(tip_);
}

void TipWindow::Hide() {
  if (!tip_ || text_.empty()) return;
  TTTOOLINFOW ti{};
  ti.cbSize = sizeof(ti);
  ti.hwnd = owner_;
  ti.uId = 1;
  SendMessageW(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&ti));
  text_.clear();
}

void TipWindow::Show(HWND owner, const std::wstring& text) {
  if (text.empty()) {
    Hide();
    return;
  }
  if (text == text_ && owner == owner_) return;
  if (tip_ && owner != owner_) {
    DestroyWindow(tip_);
    tip_ = nullptr;
  }
  owner_ = owner;
  TTTOOLINFOW ti{};
  ti.cbSize = sizeof(ti);
  ti.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  ti.hwnd = owner;
  ti.uId = 1;
  if (!tip_) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    tip_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX, 0, 0,
                           0, 0, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!tip_) return;
    ti.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  }
  text_ = text;
  ti.lpszText = const_cast<wchar_t*>(text_.c_str());
  SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
  POINT pt;
  GetCursorPos(&pt);
  SendMessageW(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(pt.x + 12, pt.y + 18));
  SendMessageW(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&ti));
}

}  // namespace skinui
