#include "toolkit/paint_manager.h"

#include <algorithm>

#include "toolkit/controls.h"
#include "toolkit/focus.h"

namespace skinui {

namespace {

void VisitTree(Control* c, const std::function<void(Control&)>& fn) {
  if (!c) return;
  fn(*c);
  if (!c->IsContainer()) return;
  auto* k = static_cast<Container*>(c);
  for (int i = 0; i < k->GetCount(); ++i) VisitTree(k->GetItemAt(i), fn);
}

bool IsInside(const Control* c, const Control* ancestor) {
  for (const Control* p = c; p; p = p->GetParent())
    if (p == ancestor) return true;
  return false;
}

// Children in reverse paint order: floating ones (painted last) first.
Control* HitTest(Control* c, Point p) {
  if (!c->IsVisible() || !c->GetPos().Contains(p)) return nullptr;
  if (c->IsContainer()) {
    auto* k = static_cast<Container*>(c);
    auto* tab = dynamic_cast<TabLayout*>(k);
    for (int pass = 0; pass < 2; ++pass) {
      for (int i = k->GetCount() - 1; i >= 0; --i) {
        Control* ch = k->GetItemAt(i);
        if (ch->IsFloat() != (pass == 0)) continue;
        if (tab && !tab->IsPageShown(ch)) continue;
        if (Control* hit = HitTest(ch, p)) return hit;
      }
    }
  }
  return c->IsInteractive() && c->IsEnabled() ? c : nullptr;
}

}  // namespace

PaintManager::PaintManager() = default;

PaintManager::~PaintManager() {
  hot_ = pushed_ = focus_ = nullptr;
  defaultButton_ = nullptr;
  notifiers_.clear();
  host_ = nullptr;
  auto root = std::move(root_);
  root.reset();
}

void PaintManager::SetRoot(std::unique_ptr<Control> root) {
  hot_ = pushed_ = focus_ = nullptr;
  defaultButton_ = nullptr;
  focusLost_ = false;
  root_ = std::move(root);
  if (root_) AttachTree(root_.get(), this, nullptr);
  NeedUpdate();
}

Control* PaintManager::FindControl(const std::wstring& name) const {
  Control* found = nullptr;
  if (name.empty()) return nullptr;
  Visit([&](Control& c) {
    if (!found && c.GetName() == name) found = &c;
  });
  return found;
}

void PaintManager::Visit(const std::function<void(Control&)>& fn) const { VisitTree(root_.get(), fn); }

Control* PaintManager::FindInteractiveAt(Point p) const { return root_ ? HitTest(root_.get(), p) : nullptr; }

void PaintManager::SetScale(int scale) {
  if (scale <= 0) scale = 100;
  if (scale == scale_) return;
  scale_ = scale;
  ++fontGeneration_;
  NeedUpdate();
}

AccTexts PaintManager::GetAccTexts() const {
  if (!accTextsSet_) return AccTexts();
  AccTexts t;
  for (auto field : {&AccTexts::press, &AccTexts::jump, &AccTexts::check, &AccTexts::uncheck, &AccTexts::select,
                     &AccTexts::open, &AccTexts::close, &AccTexts::percent}) {
    // A text the resolver does not know keeps the English word.
    std::wstring shown = ResolveText(accTexts_.*field);
    if (!shown.empty() && shown != accTexts_.*field) t.*field = std::move(shown);
  }
  return t;
}

void PaintManager::SetLayoutRtl(bool rtl) {
  if (rtl == rtl_) return;
  rtl_ = rtl;
  NeedUpdate();
}

void PaintManager::AddFont(int id, const FontDesc& f) {
  fonts_[id] = f;
  ++fontGeneration_;
  Visit([](Control& c) { c.ResetTextSize(); });
  if (host_) host_->FontsChanged();
  NeedUpdate();
}

const FontDesc* PaintManager::GetFont(int id) const {
  auto it = fonts_.find(id);
  return it == fonts_.end() ? nullptr : &it->second;
}

void PaintManager::SetDefaultFont(const FontDesc& f) {
  defaultFont_ = f;
  ++fontGeneration_;
  if (host_) host_->FontsChanged();
  NeedUpdate();
}

const FontDesc& PaintManager::ResolveFont(int id) const {
  const FontDesc* f = GetFont(id);
  return f ? *f : defaultFont_;
}

const std::wstring* PaintManager::GetStyle(const std::wstring& name) const {
  auto it = styles_.find(name);
  return it == styles_.end() ? nullptr : &it->second;
}

void PaintManager::Layout(Size physical) {
  clientSize_ = physical;
  needUpdate_ = false;
  if (!root_) return;
  root_->SetPos(Rect{0, 0, physical.cx, physical.cy});
  if (root_->IsContainer()) static_cast<Container*>(root_.get())->LayoutChildren(scale_);
  if (rtl_) {
    const int w = physical.cx;
    Visit([w](Control& c) {
      Rect r = c.GetPos();
      c.SetPos(Rect{w - r.right, r.top, w - r.left, r.bottom});
    });
  }
  ResolveFocus();
}

bool PaintManager::MouseMove(Point p) {
  Control* over = FindInteractiveAt(p);
  if (pushed_) {
    pushed_->SetState(over == pushed_ ? Control::State::Pushed : Control::State::Hot);
    return true;
  }
  if (over == hot_) return false;
  if (hot_) hot_->SetState(Control::State::Normal);
  hot_ = over;
  if (hot_) hot_->SetState(Control::State::Hot);
  return true;
}

void PaintManager::HoldInput(bool held) {
  if (held == inputHeld_) return;
  inputHeld_ = held;
  // A press begun before the hold is not completed by a release during it.
  if (held && pushed_) {
    pushed_->SetState(Control::State::Normal);
    pushed_ = nullptr;
  }
  // Every control's availability changed for a screen reader.
  RaiseAccEvent(root_.get(), AccEvent::Reorder);
  Invalidate();
}

bool PaintManager::MouseDown(Point p) {
  if (inputHeld_) return false;
  Control* over = FindInteractiveAt(p);
  if (!over) return false;
  pushed_ = over;
  over->SetState(Control::State::Pushed);
  // A click focuses what it presses, as native controls do (the mark stays
  // as it was: it shows only once the keyboard is used).
  if (IsFocusable(*over)) SetFocus(over);
  if (auto* edit = dynamic_cast<Edit*>(over); edit && host_) host_->FocusEdit(edit);
  return true;
}

bool PaintManager::MouseUp(Point p) {
  if (!pushed_ || inputHeld_) return false;
  Control* c = pushed_;
  pushed_ = nullptr;
  bool over = FindInteractiveAt(p) == c;
  c->SetState(over ? Control::State::Hot : Control::State::Normal);
  hot_ = over ? c : nullptr;
  if (over) {
    if (auto* b = dynamic_cast<Button*>(c)) b->Activate();
  }
  return true;
}

bool PaintManager::MouseLeave() {
  if (!hot_ || pushed_) return false;
  hot_->SetState(Control::State::Normal);
  hot_ = nullptr;
  return true;
}

void PaintManager::Forget(Control* c, bool destroyed) {
  if (hot_ && IsInside(hot_, c)) {
    hot_->SetState(Control::State::Normal);
    hot_ = nullptr;
  }
  if (pushed_ && IsInside(pushed_, c)) {
    pushed_->SetState(Control::State::Normal);
    pushed_ = nullptr;
  }
  if (focus_ && IsInside(focus_, c)) {
    // Where focus goes is decided at the next layout or key (a page that
    // replaces it is laid out then); remember the order as it stood, while
    // the positions are still those the person saw.
    lostAfter_.clear();
    lostBefore_.clear();
    lostAll_.clear();
    if (!destroyed) {
      bool after = false;
      for (Control* o : TabOrder(*this, focus_)) {
        lostAll_.push_back(o);
        if (o == focus_) after = true;
        else if (!IsInside(o, c)) (after ? lostAfter_ : lostBefore_).push_back(o);
      }
    }
    focus_ = nullptr;
    focusLost_ = true;
    Invalidate();
  }
}

void PaintManager::ControlGone(Control* c) {
  Forget(c, true);
  if (defaultButton_ && IsInside(defaultButton_, c)) defaultButton_ = nullptr;
}

bool PaintManager::SetFocus(Control* c) {
  if (c && !IsFocusable(*c)) return false;
  focusLost_ = false;
  if (c == focus_) return true;
  focus_ = c;
  Invalidate();
  if (host_) host_->FocusChanged(c);
  if (c) RaiseAccEvent(c, AccEvent::Focus);
  return true;
}

void PaintManager::ResolveFocus() {
  if (focus_ && !IsFocusable(*focus_)) ForgetControl(focus_);
  if (!focusLost_ || needUpdate_) return;
  focusLost_ = false;
  std::vector<Control*> order = TabOrder(*this);
  auto live = [&](const Control* c) -> Control* {
    for (Control* o : order)
      if (o == c) return o;
    return nullptr;
  };
  // The next control that was after it; else the first that appeared (a
  // new page); else the first from the start of the old order.
  Control* next = nullptr;
  for (const Control* c : lostAfter_)
    if (!next) next = live(c);
  for (Control* o : order)
    if (!next && std::find(lostAll_.begin(), lostAll_.end(), o) == lostAll_.end()) next = o;
  for (const Control* c : lostBefore_)
    if (!next) next = live(c);
  lostAfter_.clear();
  lostBefore_.clear();
  lostAll_.clear();
  if (next) SetFocus(next);
  else if (host_) host_->FocusChanged(nullptr);
}

bool PaintManager::MoveFocus(bool backward) {
  ResolveFocus();
  std::vector<Control*> order = TabOrder(*this);
  if (order.empty()) return false;
  int current = -1;
  for (size_t i = 0; i < order.size(); ++i)
    if (order[i] == focus_) current = static_cast<int>(i);
  return SetFocus(order[static_cast<size_t>(StepInOrder(static_cast<int>(order.size()), current, backward))]);
}

void PaintManager::SetCancelButton(Button* b) {
  if (!b) {
    cancel_ = nullptr;
    return;
  }
  // The hook finds the button by name each time: it may be replaced.
  std::wstring name = b->GetName();
  cancel_ = [this, name] {
    auto* button = dynamic_cast<Button*>(FindControl(name));
    if (button && button->IsEnabled() && button->IsVisibleInTree()) button->Activate();
  };
}

bool PaintManager::Cancel() {
  if (!cancel_) return false;
  if (inputHeld_) return true;
  auto hook = cancel_;  // may replace itself
  hook();
  return true;
}

bool PaintManager::KeyDown(Key key, bool shift, bool alt) {
  if (inputHeld_) return false;
  ResolveFocus();
  Control* f = focus_;
  auto* combo = dynamic_cast<Combo*>(f);
  auto* option = dynamic_cast<Option*>(f);
  auto* button = dynamic_cast<Button*>(f);
  bool used = false;
  switch (key) {
    case Key::Tab:
      used = MoveFocus(shift);
      break;
    case Key::Escape:
      used = Cancel();
      break;
    case Key::Space:
      if (button && !alt) {
        button->Activate();  // presses, toggles a check box, opens a combo
        used = true;
      }
      break;
    case Key::Enter:
      if (button && !combo && !option) {
        button->Activate();
        used = true;
      } else if (defaultButton_ && IsFocusable(*defaultButton_)) {
        defaultButton_->Activate();
        used = true;
      }
      break;
    case Key::Up:
    case Key::Down:
    case Key::F4:
      if (!combo) break;
      if (key == Key::F4 || alt) {
        combo->Activate();
      } else if (combo->GetCount() > 0) {
        int i = combo->GetCurSel() + (key == Key::Up ? -1 : 1);
        combo->SelectItem(std::max(0, std::min(combo->GetCount() - 1, i)), true);
      }
      used = true;
      break;
    case Key::Home:
    case Key::End:
      if (combo && combo->GetCount() > 0) {
        combo->SelectItem(key == Key::Home ? 0 : combo->GetCount() - 1, true);
        used = true;
      }
      break;
    default:
      break;
  }
  if (used && key != Key::Escape) ShowFocusMark(true);
  return used;
}

void PaintManager::RaiseAccEvent(Control* c, AccEvent e) {
  if (!host_ || !c) return;
  if (e == AccEvent::NameChange && dynamic_cast<Edit*>(c)) e = AccEvent::ValueChange;
  host_->AccessibleEvent(c, e);
}

void PaintManager::AddNotifier(NotifyListener* l) {
  if (std::find(notifiers_.begin(), notifiers_.end(), l) == notifiers_.end()) notifiers_.push_back(l);
}

void PaintManager::RemoveNotifier(NotifyListener* l) {
  notifiers_.erase(std::remove(notifiers_.begin(), notifiers_.end(), l), notifiers_.end());
}

void PaintManager::SendNotify(Control* sender, const std::wstring& type) {
  Notification n{type, sender};
  auto listeners = notifiers_;
  for (NotifyListener* l : listeners) l->Notify(n);
}

bool PaintManager::SendNotify(const std::wstring& type, const std::wstring& name) {
  Control* c = FindControl(name);
  if (!c) return false;
  SendNotify(c, type);
  return true;
}

void PaintManager::Invalidate() {
  if (host_) host_->InvalidateWindow();
}

}  // namespace skinui
