#include "toolkit/paint_manager.h"

#include <algorithm>

#include "toolkit/controls.h"

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
  hot_ = pushed_ = nullptr;
  notifiers_.clear();
  host_ = nullptr;
  auto root = std::move(root_);
  root.reset();
}

void PaintManager::SetRoot(std::unique_ptr<Control> root) {
  hot_ = pushed_ = nullptr;
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

bool PaintManager::MouseDown(Point p) {
  Control* over = FindInteractiveAt(p);
  if (!over) return false;
  pushed_ = over;
  over->SetState(Control::State::Pushed);
  if (auto* edit = dynamic_cast<Edit*>(over); edit && host_) host_->FocusEdit(edit);
  return true;
}

bool PaintManager::MouseUp(Point p) {
  if (!pushed_) return false;
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

void PaintManager::ForgetControl(Control* c) {
  if (hot_ && IsInside(hot_, c)) {
    hot_->SetState(Control::State::Normal);
    hot_ = nullptr;
  }
  if (pushed_ && IsInside(pushed_, c)) {
    pushed_->SetState(Control::State::Normal);
    pushed_ = nullptr;
  }
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
