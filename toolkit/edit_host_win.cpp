#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>

#include "toolkit/window_parts_win.h"

namespace skinui {

namespace {
const wchar_t kHostClass[] = L"SkinUiEditHost";

COLORREF ToColorRef(uint32_t argb) { return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF); }
}  // namespace

EditHost::EditHost(HWND owner, Edit* edit) : control_(edit) {
  RegisterHelperClass(kHostClass, Proc, IDC_IBEAM);
  brush_.reset(CreateSolidBrush(ToColorRef(edit->GetNativeBkColor())));
  // Owned by the skinned window: it stays above it and follows it.
  popup_ = CreateWindowExW(WS_EX_TOOLWINDOW, kHostClass, L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 0, 0, owner, nullptr,
                           GetModuleHandleW(nullptr), this);
  if (!popup_) return;
  edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | ES_LEFT, 0, 0, 0, 0, popup_,
                          nullptr, GetModuleHandleW(nullptr), nullptr);
  if (edit_) {
    SendMessageW(edit_, EM_SETLIMITTEXT, static_cast<WPARAM>(std::max(1, edit->GetMaxChar())), 0);
    SetWindowSubclass(edit_, EditProc, 1, reinterpret_cast<DWORD_PTR>(this));
  }
}

// The keys a dialog gives to its buttons go to the skinned window; a click
// into the edit moves the window's focus to the field.
LRESULT CALLBACK EditHost::EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<EditHost*>(data);
  switch (msg) {
    case WM_KEYDOWN:
      if (wp == VK_TAB || wp == VK_RETURN || wp == VK_ESCAPE) {
        // Not while the host is disabled (its window is owned by a modal
        // dialog): the key would act on a window that takes no input.
        HWND owner = GetWindow(self->popup_, GW_OWNER);
        if (owner && IsWindowEnabled(self->popup_)) SendMessageW(owner, WM_KEYDOWN, wp, lp);
        return 0;
      }
      break;
    case WM_CHAR:
      if (wp == L'\t' || wp == L'\r' || wp == 0x1B) return 0;  // no beep
      break;
    case WM_SETFOCUS: {
      LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
      PaintManager* pm = self->control_->GetManager();
      if (pm && pm->GetFocus() != self->control_) pm->SetFocus(self->control_);
      return r;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, EditProc, 1);
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

EditHost::~EditHost() {
  if (popup_) {
    SetWindowLongPtrW(popup_, GWLP_USERDATA, 0);
    DestroyWindow(popup_);
  }
}

LRESULT CALLBACK EditHost::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE)
    SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
  auto* self = reinterpret_cast<EditHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wp);
      SetTextColor(dc, ToColorRef(self->control_->GetTextColor()));
      SetBkColor(dc, ToColorRef(self->control_->GetNativeBkColor()));
      return reinterpret_cast<LRESULT>(self->brush_.get());
    }
    case WM_ERASEBKGND: {
      RECT rc;
      GetClientRect(hwnd, &rc);
      FillRect(reinterpret_cast<HDC>(wp), &rc, self->brush_.get());
      return 1;
    }
    case WM_NCDESTROY:
      // Destroyed with its owner window: forget the handles.
      self->popup_ = nullptr;
      self->edit_ = nullptr;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    case WM_MOUSEACTIVATE:
      return MA_ACTIVATE;
    case WM_SYSCOMMAND:
      // Alt+F4 while typing closes what the window closes, never the host.
      if ((wp & 0xFFF0) == SC_CLOSE) {
        if (HWND owner = GetWindow(hwnd, GW_OWNER)) SendMessageW(owner, WM_SYSCOMMAND, wp, lp);
        return 0;
      }
      break;
    case WM_CLOSE:
      return 0;
    case WM_LBUTTONDOWN:
      self->Focus();
      return 0;
    case WM_COMMAND:
      if (HIWORD(wp) == EN_CHANGE && reinterpret_cast<HWND>(lp) == self->edit_ && !self->settingText_) {
        int n = GetWindowTextLengthW(self->edit_);
        std::wstring text(static_cast<size_t>(n) + 1, L'\0');
        GetWindowTextW(self->edit_, &text[0], n + 1);
        text.resize(static_cast<size_t>(n));
        self->control_->TextTyped(text);
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void EditHost::Sync(const RECT& screen, bool show, HFONT font) {
  if (!popup_ || !edit_) return;
  if (!show) {
    if (IsWindowVisible(popup_)) ::ShowWindow(popup_, SW_HIDE);
    return;
  }
  const bool newFont = reinterpret_cast<HFONT>(SendMessageW(edit_, WM_GETFONT, 0, 0)) != font;
  // Every repaint syncs; the host is placed only when something changed. A
  // needless SetWindowPos while the field has the keyboard is not harmless:
  // Wine's X11 driver then makes the (now active) host a window-manager
  // window, unmaps and maps it again, and the X input focus, and with it the
  // keyboard, is lost.
  if (!newFont && IsWindowVisible(popup_) && EqualRect(&placed_, &screen)) return;
  if (newFont) SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  const int w = screen.right - screen.left, h = screen.bottom - screen.top;
  // The edit is as tall as its text, centred in the field.
  TEXTMETRICW tm = {};
  {
    WindowDc dc(edit_);
    GdiSelection selected(dc.get(), font);
    GetTextMetricsW(dc.get(), &tm);
  }
  const int eh = std::min(h, static_cast<int>(tm.tmHeight) + 2);
  SetWindowPos(popup_, nullptr, screen.left, screen.top, w, h, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  SetWindowPos(edit_, nullptr, 0, (h - eh) / 2, w, eh, SWP_NOZORDER | SWP_NOACTIVATE);
  placed_ = screen;
}

void EditHost::PullText() {
  if (!edit_) return;
  settingText_ = true;
  SetWindowTextW(edit_, control_->GetText().c_str());
  settingText_ = false;
}

void EditHost::Focus() {
  if (!edit_) return;
  // While the program is in front, focus moves within it (SetFocus activates
  // the host); bringing the host to the front itself would, under X without
  // a window manager, hand the foreground to no window at all.
  HWND fg = GetForegroundWindow();
  if (!fg || GetWindowThreadProcessId(fg, nullptr) != GetCurrentThreadId()) SetForegroundWindow(popup_);
  SetFocus(edit_);
}

}  // namespace skinui
