#include <algorithm>

#include "toolkit/focus.h"
#include "toolkit/painter.h"
#include "toolkit/window_parts_win.h"

namespace skinui {

namespace {
const wchar_t kListClass[] = L"SkinUiDropList";
const int kInset = 4;  // at 100 %
}  // namespace

DropList::~DropList() {
  if (combo_) combo_->SetDropped(false);
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

void DropList::Forget(Combo* combo) {
  if (combo_ == combo) {
    combo_ = nullptr;
    Close();
  }
  if (closedCombo_ == combo) closedCombo_ = nullptr;
}

int DropList::ContentHeight() const {
  int h = 0;
  for (int i = 0; i < combo_->GetCount(); ++i) {
    const ComboItem* it = combo_->GetItem(i);
    h += ScaleLength(it->height + it->margin.top + it->margin.bottom, scale_);
  }
  return h;
}

void DropList::Open(HWND owner, Combo* combo, const RECT& anchor, PaintManager& pm, ImageCache& images,
                    GdiTextRenderer& text) {
  if (combo == closedCombo_ && GetTickCount() - closedAt_ < 250) return;  // the click that closed it
  if (combo->GetCount() == 0) return;
  combo_ = combo;
  pm_ = &pm;
  images_ = &images;
  text_ = &text;
  scale_ = pm.GetScale();
  hot_ = combo->GetCurSel();
  if (!hwnd_) {
    RegisterHelperClass(kListClass, Proc, IDC_HAND);
    hwnd_ = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kListClass, L"", WS_POPUP, 0, 0, 0, 0,
                            owner, nullptr, GetModuleHandleW(nullptr), this);
    if (!hwnd_) return;
  }
  Size box = ScaleSize(combo->GetDropBoxSize(), scale_);
  int w = box.cx > 0 ? box.cx : anchor.right - anchor.left;
  int inset = ScaleLength(kInset, scale_);
  int h = std::min(box.cy > 0 ? box.cy : 10000, ContentHeight() + 2 * inset);
  // Keep the selected item in view.
  scroll_ = 0;
  if (hot_ >= 0) {
    int y = 0;
    for (int i = 0; i < hot_; ++i) {
      const ComboItem* it = combo_->GetItem(i);
      y += ScaleLength(it->height + it->margin.top + it->margin.bottom, scale_);
    }
    scroll_ = std::max(0, std::min(y, ContentHeight() + 2 * inset - h));
  }
  MONITORINFO mi{};
  mi.cbSize = sizeof(mi);
  GetMonitorInfoW(MonitorFromRect(&anchor, MONITOR_DEFAULTTONEAREST), &mi);
  int gap = ScaleLength(2, scale_);
  int x = pm.IsLayoutRtl() ? anchor.right - w : anchor.left;
  int y = anchor.bottom + gap;
  if (y + h > mi.rcWork.bottom) y = anchor.top - gap - h;
  size_ = Size{w, h};
  combo->SetDropped(true);
  SetWindowPos(hwnd_, HWND_TOPMOST, x, y, w, h, SWP_NOACTIVATE);
  Render();
  ::ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  SetFocus(hwnd_);
}

void DropList::SetHot(int i) {
  if (!combo_ || combo_->GetCount() == 0) return;
  hot_ = std::max(0, std::min(combo_->GetCount() - 1, i));
  const int inset = ScaleLength(kInset, scale_);
  int top = inset;
  for (int k = 0; k < hot_; ++k) {
    const ComboItem* it = combo_->GetItem(k);
    top += ScaleLength(it->height + it->margin.top + it->margin.bottom, scale_);
  }
  const ComboItem* it = combo_->GetItem(hot_);
  const int bottom = top + ScaleLength(it->height + it->margin.top + it->margin.bottom, scale_);
  const int maxScroll = std::max(0, ContentHeight() + 2 * inset - size_.cy);
  if (top - scroll_ < inset) scroll_ = top - inset;
  else if (bottom - scroll_ > size_.cy - inset) scroll_ = bottom - size_.cy + inset;
  scroll_ = std::max(0, std::min(scroll_, maxScroll));
  Render();
}

void DropList::CloseByKey(bool pick) {
  Combo* combo = combo_;
  const int i = hot_;
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  // The keyboard goes back to the window before the list hides, so no other
  // program is activated in between.
  if (owner) {
    SetForegroundWindow(owner);
    SetFocus(owner);
  }
  Close();
  if (pick && combo && i >= 0) combo->SelectItem(i, true);
}

void DropList::Close() {
  if (!hwnd_ || !IsWindowVisible(hwnd_)) return;
  closedAt_ = GetTickCount();
  closedCombo_ = combo_;
  tip_.Hide();
  ::ShowWindow(hwnd_, SW_HIDE);
  if (combo_) combo_->SetDropped(false);
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  if (owner && GetForegroundWindow() == nullptr) SetForegroundWindow(owner);
}

int DropList::ItemAt(int py) const {
  int y = ScaleLength(kInset, scale_) - scroll_;
  for (int i = 0; i < combo_->GetCount(); ++i) {
    const ComboItem* it = combo_->GetItem(i);
    int h = ScaleLength(it->height + it->margin.top + it->margin.bottom, scale_);
    if (py >= y && py < y + h) return i;
    y += h;
  }
  return -1;
}

void DropList::Render() {
  if (!combo_ || !surface_.Ensure(size_.cx, size_.cy)) return;
  Canvas c = surface_.MakeCanvas();
  c.Clear(0);
  const Rect all{0, 0, size_.cx, size_.cy};
  Painter painter(c, *images_, *pm_, text_);
  if (combo_->GetDropBoxImage().Empty() || !painter.DrawImage(combo_->GetDropBoxImage(), all))
    c.FillRoundRect(all, ScaleLength(6, scale_), 0xF0141B2B);
  const int inset = ScaleLength(kInset, scale_);
  const bool overflow = ContentHeight() + 2 * inset > size_.cy;
  const int bar = overflow ? ScaleLength(6, scale_) : 0;
  c.SetClip(Rect{0, inset, size_.cx, size_.cy - inset});
  const FontDesc& font = pm_->ResolveFont(combo_->GetItemFont());
  int y = inset - scroll_;
  for (int i = 0; i < combo_->GetCount(); ++i) {
    const ComboItem* it = combo_->GetItem(i);
    Rect m = ScaleRect(it->margin, scale_);
    int h = ScaleLength(it->height, scale_);
    Rect r{m.left, y + m.top, size_.cx - m.right - bar, y + m.top + h};
    if (i == hot_) c.FillRoundRect(r, ScaleLength(4, scale_), combo_->GetItemHotBkColor());
    else if (i == combo_->GetCurSel()) c.FillRoundRect(r, ScaleLength(4, scale_), combo_->GetItemSelectedBkColor());
    Rect pad = ScaleRect(combo_->GetItemTextPadding(), scale_);
    unsigned style = kAlignVCenter | kEndEllipsis;
    if (pm_->IsLayoutRtl()) {
      std::swap(pad.left, pad.right);
      style |= kAlignRight | kRtlReading;
    }
    Rect tr{r.left + pad.left, r.top, r.right - pad.right, r.bottom};
    text_->Draw(c, pm_->ResolveText(it->text), tr, font, scale_, combo_->GetItemTextColor(), style);
    y += ScaleLength(it->height + it->margin.top + it->margin.bottom, scale_);
  }
  c.SetClip(all);
  if (overflow) {
    const int content = ContentHeight() + 2 * inset;
    const int track = size_.cy - 2 * inset;
    const int thumb = std::max(ScaleLength(16, scale_), track * size_.cy / content);
    const int top = inset + (track - thumb) * scroll_ / std::max(1, content - size_.cy);
    const int x = pm_->IsLayoutRtl() ? ScaleLength(2, scale_) : size_.cx - bar;
    c.FillRoundRect(Rect{x, top, x + ScaleLength(4, scale_), top + thumb}, ScaleLength(2, scale_), 0x80AFC3E6);
  }
  RECT wr;
  GetWindowRect(hwnd_, &wr);
  surface_.Present(hwnd_, POINT{wr.left, wr.top});
}

LRESULT CALLBACK DropList::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* created = static_cast<DropList*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    created->hwnd_ = hwnd;  // messages arrive before CreateWindowExW returns
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
  }
  auto* self = reinterpret_cast<DropList*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && msg == WM_NCDESTROY) {
    // Destroyed with its owner window: forget the handle.
    self->hwnd_ = nullptr;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  if (!self || !self->combo_) return DefWindowProcW(hwnd, msg, wp, lp);
  return self->Handle(msg, wp, lp);
}

LRESULT DropList::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_MOUSEMOVE: {
      int i = ItemAt(static_cast<short>(HIWORD(lp)));
      if (i != hot_) {
        hot_ = i;
        Render();
        const ComboItem* item = combo_->GetItem(i);
        tip_.Show(hwnd_, item && pm_ ? pm_->ResolveText(item->toolTip) : std::wstring());
      }
      return 0;
    }
    case WM_MOUSEWHEEL: {
      int step = ScaleLength(26, scale_) * (static_cast<short>(HIWORD(wp)) > 0 ? -1 : 1);
      int inset = ScaleLength(kInset, scale_);
      int maxScroll = std::max(0, ContentHeight() + 2 * inset - size_.cy);
      scroll_ = std::max(0, std::min(scroll_ + step, maxScroll));
      Render();
      return 0;
    }
    case WM_LBUTTONUP: {
      int i = ItemAt(static_cast<short>(HIWORD(lp)));
      Combo* combo = combo_;
      Close();
      if (i >= 0) combo->SelectItem(i, true);
      return 0;
    }
    case WM_KEYDOWN: {
      const int page = std::max(1, size_.cy / std::max(1, ScaleLength(26, scale_)));
      switch (wp) {
        case VK_ESCAPE: CloseByKey(false); break;
        case VK_RETURN:
        case VK_SPACE:
        case VK_TAB: CloseByKey(true); break;
        case VK_UP: SetHot(hot_ - 1); break;
        case VK_DOWN: SetHot(hot_ + 1); break;
        case VK_PRIOR: SetHot(hot_ - page); break;
        case VK_NEXT: SetHot(hot_ + page); break;
        case VK_HOME: SetHot(0); break;
        case VK_END: SetHot(combo_->GetCount() - 1); break;
        default: break;
      }
      return 0;
    }
    case WM_SYSKEYDOWN:
      if (wp == VK_UP || wp == VK_DOWN) {  // Alt+Up/Down close it, as a combo box does
        CloseByKey(true);
        return 0;
      }
      break;
    case WM_CHAR: {
      if (wp < L' ') return 0;
      const DWORD now = GetTickCount();
      if (now - typedAt_ > 1000) typed_.clear();
      typedAt_ = now;
      typed_ += static_cast<wchar_t>(wp);
      std::vector<std::wstring> texts;
      for (int i = 0; i < combo_->GetCount(); ++i) texts.push_back(pm_->ResolveText(combo_->GetItem(i)->text));
      int i = TypeToSelect(texts, hot_, typed_);
      if (i >= 0) SetHot(i);
      return 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) Close();
      break;

    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace skinui
