#include "toolkit/window_impl.h"

#include <algorithm>

#include "base/text_convert.h"
#include "toolkit/accessible_win.h"
#include "toolkit/controls.h"
#include "toolkit/window_parts_win.h"
#include "toolkit/zip_archive.h"

namespace skinui {

namespace {

HINSTANCE g_instance = nullptr;
DropList* g_openList = nullptr;  // the one drop-down list that is open
const UINT kRepaintMessage = WM_APP + 0x3A1;
const UINT_PTR kRingTimer = 0x5EED;

bool AnyRingShown(const PaintManager& pm) {
  bool any = false;
  pm.Visit([&](Control& c) {
    if (!any && dynamic_cast<Ring*>(&c) && c.IsVisibleInTree()) any = true;
  });
  return any;
}

}  // namespace

WindowImplBase::WindowImplBase() : surface_(new Surface), tip_(new TipWindow), access_(new AccessBridge) {
  pm_.SetHost(this);
  pm_.SetTextMeasurer(&measurer_);
  pm_.AddNotifier(this);
}

WindowImplBase::~WindowImplBase() {
  pm_.SetHost(nullptr);
  access_->pm = nullptr;
  access_->hwnd = nullptr;
  if (dropList_ && g_openList == dropList_.get()) g_openList = nullptr;
  edits_.clear();
  dropList_.reset();
  shadow_.reset();
  if (hwnd_ && IsWindow(hwnd_)) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

void WindowImplBase::SetInstance(HINSTANCE instance) { g_instance = instance; }
HINSTANCE WindowImplBase::GetInstance() { return g_instance ? g_instance : GetModuleHandleW(nullptr); }

bool WindowImplBase::PreTranslate(MSG* msg) {
  if (g_openList && g_openList->IsOpen() && msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) {
    g_openList->Close();
    return true;
  }
  return false;
}

int WindowImplBase::MessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (PreTranslate(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

HWND WindowImplBase::Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, int x, int y, int cx,
                            int cy) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  const wchar_t* cls = GetWindowClassName();
  if (!GetClassInfoExW(GetInstance(), cls, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetInstance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = cls;
    if (!RegisterClassExW(&wc)) return nullptr;
  }
  HWND h = CreateWindowExW(exStyle, cls, title, style, x, y, cx, cy, parent, nullptr, GetInstance(), this);
  return h;
}

LRESULT CALLBACK WindowImplBase::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  WindowImplBase* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<WindowImplBase*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<WindowImplBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    self->OnFinalMessage(hwnd);  // may delete the object
    return r;
  }
  return self->HandleMessage(msg, wp, lp);
}

LRESULT WindowImplBase::OnCreate() {
  // The skin draws everything: no caption bar, per-pixel alpha.
  LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
  style &= ~(WS_CAPTION | WS_THICKFRAME | WS_MAXIMIZEBOX);
  style |= WS_POPUP | WS_MINIMIZEBOX;
  SetWindowLongPtrW(hwnd_, GWL_STYLE, style);
  LONG_PTR ex = GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
  SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, ex | WS_EX_LAYERED);

  access_->hwnd = hwnd_;
  access_->pm = &pm_;
  std::string xml = GetSkinMarkup();
  if (!xml.empty()) pm_.LoadMarkup(xml);
  Size s = pm_.Scale(pm_.GetInitSize());
  if (s.cx > 0 && s.cy > 0)
    SetWindowPos(hwnd_, nullptr, 0, 0, s.cx, s.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  InitWindow();
  pm_.SendNotify(pm_.GetRoot(), L"windowinit");
  UpdateShadow();
  Repaint();
  return 0;
}

std::string WindowImplBase::GetSkinMarkup() {
  std::string xml;
  if (!ReadSkinFile(WideToUtf8(GetSkinFile()), xml)) xml.clear();
  return xml;
}

void WindowImplBase::ShowWindow(bool show, bool activate) {
  if (!hwnd_) return;
  ::ShowWindow(hwnd_, show ? (activate ? SW_SHOW : SW_SHOWNOACTIVATE) : SW_HIDE);
}

void WindowImplBase::CenterWindow() {
  if (!hwnd_) return;
  RECT wr;
  GetWindowRect(hwnd_, &wr);
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  MONITORINFO mi{};
  mi.cbSize = sizeof(mi);
  GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &mi);
  RECT area = mi.rcWork;
  RECT center = area;
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &center);
  int x = (center.left + center.right - w) / 2;
  int y = (center.top + center.bottom - h) / 2;
  x = std::max<int>(area.left, std::min<int>(x, area.right - w));
  y = std::max<int>(area.top, std::min<int>(y, area.bottom - h));
  SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowImplBase::Close(UINT code) {
  if (hwnd_) PostMessageW(hwnd_, WM_CLOSE, code, 0);
}

void WindowImplBase::SetIcon(UINT resourceId) {
  if (!hwnd_) return;
  auto load = [&](int metricX, int metricY) {
    int cx = (GetSystemMetrics(metricX) + 15) / 16 * 16, cy = (GetSystemMetrics(metricY) + 15) / 16 * 16;
    return static_cast<HICON>(
        LoadImageW(GetInstance(), MAKEINTRESOURCEW(resourceId), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
  };
  if (HICON big = load(SM_CXICON, SM_CYICON)) SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  if (HICON small = load(SM_CXSMICON, SM_CYSMICON))
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

void WindowImplBase::SetDpi(int dpi) {
  if (dpi <= 0) dpi = 96;
  dpi_ = std::min(dpi, 192);
  pm_.SetScale(ScaleForDpi(dpi_));
  if (!hwnd_) return;
  Size s = pm_.Scale(pm_.GetInitSize());
  if (s.cx > 0 && s.cy > 0)
    SetWindowPos(hwnd_, nullptr, 0, 0, s.cx, s.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateWindow();
}

void WindowImplBase::ReloadImages() {
  images_.Clear();
  pm_.ReloadImages();
}

bool WindowImplBase::CanLoadImage(const std::wstring& file) const {
  // Through the cache, as drawing loads it: a variant the package leaves out
  // is made from a larger one.
  return images_.Get(file, 100) != nullptr;
}

void WindowImplBase::UpdateShadow() {
  if (!hwnd_) return;
  const ShadowSettings& s = pm_.Shadow();
  if (!s.show || s.size <= 0) {
    if (shadow_) shadow_->Update(hwnd_, s, images_, false);
    return;
  }
  if (!shadow_) shadow_.reset(new ShadowWindow);
  shadow_->Update(hwnd_, s, images_, IsWindowVisible(hwnd_) && !IsIconic(hwnd_));
}

void WindowImplBase::FollowOwner() {
  UpdateShadow();
  SyncEdits();
}

void WindowImplBase::Repaint() {
  if (!hwnd_) return;
  RECT wr;
  GetWindowRect(hwnd_, &wr);
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  if (w <= 0 || h <= 0 || !surface_->Ensure(w, h)) return;
  Canvas canvas = surface_->MakeCanvas();
  RenderTree(canvas, images_, pm_, &text_);
  surface_->Present(hwnd_, POINT{wr.left, wr.top});
  SyncEdits();
  UpdateRingTimer();
}

const uint32_t* WindowImplBase::SurfacePixels(int& width, int& height) const {
  width = surface_->Width();
  height = surface_->Height();
  return surface_->Bits();
}

const uint32_t* WindowImplBase::ShadowPixels(int& width, int& height) const {
  width = height = 0;
  if (!shadow_) return nullptr;
  width = shadow_->Pixels().Width();
  height = shadow_->Pixels().Height();
  return shadow_->Pixels().Bits();
}

void WindowImplBase::InvalidateWindow() {
  if (!hwnd_ || repaintPosted_) return;
  repaintPosted_ = true;
  PostMessageW(hwnd_, kRepaintMessage, 0, 0);
}

void WindowImplBase::OpenDropDown(Combo* combo) {
  if (!hwnd_) return;
  if (!dropList_) dropList_.reset(new DropList);
  RECT wr;
  GetWindowRect(hwnd_, &wr);
  Rect r = combo->GetPos();
  RECT screen = {wr.left + r.left, wr.top + r.top, wr.left + r.right, wr.top + r.bottom};
  g_openList = dropList_.get();
  dropList_->Open(hwnd_, combo, screen, pm_, images_, text_);
}

void WindowImplBase::FocusEdit(Edit* edit) {
  SyncEdits();
  auto it = edits_.find(edit);
  if (it == edits_.end()) return;
  const bool wasOurs = GetFocus() != nullptr;
  it->second->Focus();
  // Where the host cannot be activated (X without a window manager), the
  // program would lose the keyboard: it stays on this window, which passes
  // the field's keys on (see WM_CHAR).
  if (wasOurs && GetFocus() == nullptr && IsWindowVisible(hwnd_)) {
    SetForegroundWindow(hwnd_);
    SetFocus(hwnd_);
  }
}

void WindowImplBase::EditTextSet(Edit* edit) {
  auto it = edits_.find(edit);
  if (it != edits_.end()) it->second->PullText();
}

void WindowImplBase::FontsChanged() { InvalidateWindow(); }

void WindowImplBase::FocusChanged(Control* now) {
  if (!hwnd_) return;
  if (auto* edit = dynamic_cast<Edit*>(now)) {
    FocusEdit(edit);
    // Entering a field selects its text, as a dialog does.
    auto it = edits_.find(edit);
    if (it != edits_.end() && it->second->Handle()) SendMessageW(it->second->Handle(), EM_SETSEL, 0, -1);
    return;
  }
  // Keys come to this window again (from the edit's host, say), but only
  // while the thread has the focus: never steal it from another program.
  HWND focus = GetFocus();
  if (focus && focus != hwnd_ && IsWindowVisible(hwnd_)) SetFocus(hwnd_);
}

bool WindowImplBase::ForwardToEdit(UINT msg, WPARAM wp, LPARAM lp) {
  if (pm_.IsInputHeld()) return true;  // swallowed: no typing into the field either
  auto* edit = dynamic_cast<Edit*>(pm_.GetFocus());
  auto it = edit ? edits_.find(edit) : edits_.end();
  if (it == edits_.end() || !it->second->Handle()) return false;
  if (msg == WM_CHAR && (wp == L'\t' || wp == L'\r' || wp == 0x1B)) return true;
  SendMessageW(it->second->Handle(), msg, wp, lp);
  return true;
}

void WindowImplBase::AccessibleEvent(Control* c, AccEvent e) {
  if (hwnd_) RaiseWinEvent(hwnd_, pm_, c, e);
}

bool WindowImplBase::OnKey(UINT msg, WPARAM wp, LPARAM lp) {
  const bool repeat = (lp & (1 << 30)) != 0;
  const bool shift = GetKeyState(VK_SHIFT) < 0;
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  const bool alt = msg == WM_SYSKEYDOWN;
  if (ctrl) return false;
  Key key;
  switch (wp) {
    case VK_TAB: key = Key::Tab; break;
    case VK_RETURN: key = Key::Enter; break;
    case VK_SPACE: key = Key::Space; break;
    case VK_ESCAPE: key = Key::Escape; break;
    case VK_UP: key = Key::Up; break;
    case VK_DOWN: key = Key::Down; break;
    case VK_LEFT: key = Key::Left; break;
    case VK_RIGHT: key = Key::Right; break;
    case VK_HOME: key = Key::Home; break;
    case VK_END: key = Key::End; break;
    case VK_F4: key = Key::F4; break;
    default: return false;
  }
  if (alt && key != Key::Up && key != Key::Down) return false;  // Alt+F4 and the rest: the system's
  // A held key presses once.
  if (repeat && (key == Key::Enter || key == Key::Space || key == Key::Escape || key == Key::F4)) return true;
  return pm_.KeyDown(key, shift, alt);
}

void WindowImplBase::SyncEdits() {
  if (!hwnd_) return;
  RECT wr;
  GetWindowRect(hwnd_, &wr);
  const bool shown = IsWindowVisible(hwnd_) && !IsIconic(hwnd_);
  pm_.Visit([&](Control& c) {
    auto* edit = dynamic_cast<Edit*>(&c);
    if (!edit) return;
    auto it = edits_.find(edit);
    if (it == edits_.end()) {
      it = edits_.emplace(edit, std::unique_ptr<EditHost>(new EditHost(hwnd_, edit))).first;
      it->second->PullText();
    }
    Rect r = edit->GetPos();
    Rect pad = pm_.Scale(edit->GetTextPadding());
    if (pm_.IsLayoutRtl()) std::swap(pad.left, pad.right);
    RECT screen = {wr.left + r.left + pad.left, wr.top + r.top + pad.top, wr.left + r.right - pad.right,
                   wr.top + r.bottom - pad.bottom};
    HFONT font = text_.GetFont(pm_.ResolveFont(edit->GetFont()), pm_.GetScale());
    it->second->Sync(screen, shown && edit->IsVisibleInTree() && !r.Empty(), font);
    EnableWindow(it->second->Popup(), edit->IsEnabled() && !pm_.IsInputHeld());
  });
}

void WindowImplBase::UpdateRingTimer() {
  bool want = AnyRingShown(pm_);
  if (want && !ringTimer_) SetTimer(hwnd_, kRingTimer, 60, nullptr);
  else if (!want && ringTimer_) KillTimer(hwnd_, kRingTimer);
  ringTimer_ = want;
}

Point WindowImplBase::MousePoint() const {
  // Screen position relative to the window's top-left corner: the surface's
  // own pixels, whatever the window's layout direction.
  DWORD pos = GetMessagePos();
  RECT wr;
  GetWindowRect(hwnd_, &wr);
  return Point{static_cast<short>(LOWORD(pos)) - wr.left, static_cast<short>(HIWORD(pos)) - wr.top};
}

LRESULT WindowImplBase::HitTest(LPARAM lp) {
  RECT wr;
  GetWindowRect(hwnd_, &wr);
  Point p{static_cast<short>(LOWORD(lp)) - wr.left, static_cast<short>(HIWORD(lp)) - wr.top};
  if (pm_.FindInteractiveAt(p)) return HTCLIENT;
  Rect cap = pm_.Scale(pm_.GetCaptionRect());
  const int w = wr.right - wr.left;
  if (p.y >= cap.top && p.y < cap.bottom && p.x >= cap.left && p.x < w - cap.right) return HTCAPTION;
  return HTCLIENT;
}

void WindowImplBase::Notify(const Notification& n) {
  if (pump_.Dispatch(n)) return;
  if (n.type == L"click" && n.sender && n.sender->GetName() == L"closebtn") Close(1);
}

LRESULT WindowImplBase::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  bool handled = false;
  LRESULT custom = HandleCustomMessage(msg, wp, lp, handled);
  if (handled) return custom;
  switch (msg) {
    case WM_CREATE:
      return OnCreate();
    case WM_NCCALCSIZE:
      if (wp) return 0;  // the whole window is client area
      break;
    case WM_NCACTIVATE:
      if (!IsIconic(hwnd_)) return TRUE;
      break;
    case WM_NCPAINT:
      return 0;
    case WM_NCHITTEST:
      return HitTest(lp);
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd_, &ps);
      EndPaint(hwnd_, &ps);
      Repaint();
      return 0;
    }
    case kRepaintMessage:
      repaintPosted_ = false;
      Repaint();
      return 0;
    case WM_SIZE:
      if (wp != SIZE_MINIMIZED) {
        pm_.NeedUpdate();
        Repaint();
      }
      FollowOwner();
      break;
    case WM_WINDOWPOSCHANGED:
    case WM_MOVE:
      FollowOwner();
      break;
    case WM_SHOWWINDOW:
      DefWindowProcW(hwnd_, msg, wp, lp);
      FollowOwner();
      return 0;
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
      if (!tracking_) {
        TRACKMOUSEEVENT tme = {sizeof(tme), static_cast<DWORD>(msg == WM_MOUSEMOVE ? TME_LEAVE : TME_LEAVE | TME_NONCLIENT), hwnd_, 0};
        tracking_ = TrackMouseEvent(&tme) != FALSE;
      }
      pm_.MouseMove(MousePoint());
      tip_->Show(hwnd_, pm_.GetHot() ? pm_.ResolveText(pm_.GetHot()->GetToolTip()) : std::wstring());
      break;
    case WM_MOUSELEAVE:
    case WM_NCMOUSELEAVE:
      tracking_ = false;
      pm_.MouseLeave();
      tip_->Hide();
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetCapture(hwnd_);
      pm_.MouseDown(MousePoint());
      return 0;
    case WM_LBUTTONUP:
      if (GetCapture() == hwnd_) ReleaseCapture();
      pm_.MouseUp(MousePoint());
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT) {
        Control* hot = pm_.FindInteractiveAt(MousePoint());
        auto* button = dynamic_cast<Button*>(hot);
        bool hand = button && (button->IsLink() || dynamic_cast<Combo*>(button));
        SetCursor(LoadCursorW(nullptr, hand ? IDC_HAND : IDC_ARROW));
        return TRUE;
      }
      break;
    case WM_TIMER:
      if (wp == kRingTimer) {
        pm_.Visit([](Control& c) {
          if (auto* ring = dynamic_cast<Ring*>(&c); ring && c.IsVisibleInTree()) ring->Advance();
        });
        return 0;
      }
      break;
    case WM_GETMINMAXINFO: {
      auto* mmi = reinterpret_cast<MINMAXINFO*>(lp);
      Size mn = pm_.Scale(pm_.GetMinInfo()), mx = pm_.Scale(pm_.GetMaxInfo());
      if (mn.cx > 0) mmi->ptMinTrackSize.x = mn.cx;
      if (mn.cy > 0) mmi->ptMinTrackSize.y = mn.cy;
      if (mx.cx > 0) mmi->ptMaxTrackSize.x = mx.cx;
      if (mx.cy > 0) mmi->ptMaxTrackSize.y = mx.cy;
      return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (OnKey(msg, wp, lp)) return 0;
      if (msg == WM_KEYDOWN && ForwardToEdit(msg, wp, lp)) return 0;
      break;
    case WM_CHAR:
      if (ForwardToEdit(msg, wp, lp)) return 0;
      break;
    case WM_SYSCHAR:
      // Alt plus a letter: there is no menu to open, so no beep either.
      if (wp != VK_SPACE) return 0;
      break;
    case WM_SYSCOMMAND:
      // Alt+F4 and the system menu's Close follow the cancel hook.
      if ((wp & 0xFFF0) == SC_CLOSE && pm_.HasCancelHandler()) {
        pm_.Cancel();
        return 0;
      }
      break;
    case WM_ENABLE:
      // A disabled window (the owner of a modal dialog) takes no input, and
      // neither do the edit hosts, which are windows of their own that a
      // disabled owner does not disable, nor keys they forward, nor a screen
      // reader's actions.
      pm_.HoldInput(wp == FALSE);
      for (auto& e : edits_)
        if (e.second->Popup()) EnableWindow(e.second->Popup(), wp != FALSE && e.first->IsEnabled());
      break;
    case WM_GETOBJECT:
      if (static_cast<LONG>(lp) == static_cast<LONG>(OBJID_CLIENT)) {
        IAccessible* acc = CreateClientAccessible(access_);
        LRESULT r = AccessibleResult(wp, acc);
        acc->Release();
        return r;
      }
      break;
    case WM_CLOSE:
      closeCode_ = static_cast<UINT>(wp);
      break;
    case WM_DESTROY:
      access_->pm = nullptr;
      access_->hwnd = nullptr;
      if (dropList_ && g_openList == dropList_.get()) g_openList = nullptr;
      if (ringTimer_) KillTimer(hwnd_, kRingTimer);
      ringTimer_ = false;
      edits_.clear();
      dropList_.reset();
      shadow_.reset();
      tip_.reset(new TipWindow);
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace skinui
