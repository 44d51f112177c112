#include "toolkit/container.h"

#include <algorithm>

#include "toolkit/paint_context.h"
#include "toolkit/paint_manager.h"

namespace skinui {

namespace {

unsigned ParseAlign(const std::wstring& v) {
  if (v == L"center" || v == L"vcenter") return kAlignCenter;
  if (v == L"right" || v == L"bottom") return kAlignRight;
  return kAlignLeft;
}

void Place(Control* c, const Rect& r, int scale) {
  c->SetPos(r);
  if (c->IsContainer()) static_cast<Container*>(c)->LayoutChildren(scale);
}

// The length a child asks for along the flow: fixed, measured, or -1 (share).
int FlowLength(Control* c, bool horizontal, int scale) {
  int fixed = horizontal ? c->GetFixedWidth() : c->GetFixedHeight();
  if (fixed > 0) return ScaleLength(fixed, scale);
  if (horizontal) return c->DesiredWidth(scale);
  return -1;
}

}  // namespace

void AttachTree(Control* c, PaintManager* m, Container* parent) {
  c->SetManager(m, parent);
  if (!c->IsContainer()) return;
  auto* k = static_cast<Container*>(c);
  for (int i = 0; i < k->GetCount(); ++i) AttachTree(k->GetItemAt(i), m, k);
}

void Container::Add(std::unique_ptr<Control> child) {
  AttachTree(child.get(), manager_, this);
  children_.push_back(std::move(child));
  NeedParentUpdate();
}

Control* Container::GetItemAt(int i) const {
  return i >= 0 && i < GetCount() ? children_[static_cast<size_t>(i)].get() : nullptr;
}

void Container::SetAttribute(const std::wstring& n, const std::wstring& v) {
  if (n == L"inset") inset_ = ParseRect(v);
  else if (n == L"childpadding") childPadding_ = ParseInt(v);
  else if (n == L"childalign") childAlign_ = ParseAlign(v);
  else if (n == L"childvalign") childVAlign_ = ParseAlign(v);
  else Control::SetAttribute(n, v);
}

void Container::Paint(PaintContext& pc) {
  if (!visible_ || rect_.Empty()) return;
  Control::Paint(pc);
  Rect old = pc.ClipTo(rect_);
  // Flowing children first, floating ones above them.
  for (int pass = 0; pass < 2; ++pass)
    for (auto& c : children_)
      if (c->IsFloat() == (pass == 1)) c->Paint(pc);
  pc.RestoreClip(old);
}

Rect Container::ContentRect(int scale) const {
  Rect in = ScaleRect(inset_, scale);
  return Rect{rect_.left + in.left, rect_.top + in.top, rect_.right - in.right, rect_.bottom - in.bottom};
}

void Container::LayoutFloats(int scale) {
  for (auto& c : children_) {
    if (!c->IsFloat() || !c->IsVisible()) continue;
    Rect p = ScaleRect(c->GetFloatPos(), scale);
    Size fixed{ScaleLength(c->GetFixedWidth(), scale), ScaleLength(c->GetFixedHeight(), scale)};
    if (p.Width() <= 0) p.right = p.left + fixed.cx;
    if (p.Height() <= 0) p.bottom = p.top + fixed.cy;
    Place(c.get(), p.Offset(rect_.left, rect_.top), scale);
  }
}

void Container::LayoutChildren(int scale) {
  // A plain container stacks its flowing children on top of each other.
  LayoutFloats(scale);
  Rect c = ContentRect(scale);
  for (auto& ch : children_) {
    if (ch->IsFloat() || !ch->IsVisible()) continue;
    Rect pad = ScaleRect(ch->GetPadding(), scale);
    Place(ch.get(), Rect{c.left + pad.left, c.top + pad.top, c.right - pad.right, c.bottom - pad.bottom}, scale);
  }
}

// One routine for both directions: "main" runs along the flow, "cross"
// across it.
static void LayoutFlow(std::vector<std::unique_ptr<Control>>& children, const Rect& c, bool horizontal,
                       int gapAt100, unsigned mainAlign, unsigned crossAlign, int scale) {
  std::vector<Control*> flow;
  for (auto& ch : children)
    if (!ch->IsFloat() && ch->IsVisible()) flow.push_back(ch.get());
  if (flow.empty()) return;
  const int gap = ScaleLength(gapAt100, scale);
  const int mainSize = horizontal ? c.Width() : c.Height();
  const int crossSize = horizontal ? c.Height() : c.Width();
  std::vector<int> lengths;
  int used = gap * static_cast<int>(flow.size() - 1);
  int shares = 0;
  for (Control* ch : flow) {
    Rect pad = ScaleRect(ch->GetPadding(), scale);
    int len = FlowLength(ch, horizontal, scale);
    lengths.push_back(len);
    if (len >= 0) used += len;
    else ++shares;
    used += horizontal ? pad.left + pad.right : pad.top + pad.bottom;
  }
  int remain = std::max(0, mainSize - used);
  int pos = horizontal ? c.left : c.top;
  if (shares == 0) {
    if (mainAlign == kAlignCenter) pos += remain / 2;
    else if (mainAlign == kAlignRight) pos += remain;
  }
  int sharesLeft = shares;
  int remainLeft = remain;
  for (size_t i = 0; i < flow.size(); ++i) {
    Control* ch = flow[i];
    Rect pad = ScaleRect(ch->GetPadding(), scale);
    int len = lengths[i];
    if (len < 0) {
      len = sharesLeft == 1 ? remainLeft : remain / shares;
      remainLeft -= len;
      --sharesLeft;
    }
    int padBefore = horizontal ? pad.left : pad.top;
    int padAfter = horizontal ? pad.right : pad.bottom;
    int crossBefore = horizontal ? pad.top : pad.left;
    int crossAfter = horizontal ? pad.bottom : pad.right;
    int crossFixed = horizontal ? ch->GetFixedHeight() : ch->GetFixedWidth();
    int crossLen = crossSize - crossBefore - crossAfter;
    if (crossFixed > 0) crossLen = ScaleLength(crossFixed, scale);
    else if (!horizontal) {
      int desired = ch->DesiredWidth(scale);
      if (desired >= 0) crossLen = std::min(desired, crossLen);
    }
    int crossStart = horizontal ? c.top : c.left;
    int free = crossSize - crossBefore - crossAfter - crossLen;
    int cross = crossStart + crossBefore;
    if (crossAlign == kAlignCenter) cross += free / 2;
    else if (crossAlign == kAlignRight) cross += free;
    pos += padBefore;
    Rect r = horizontal ? Rect{pos, cross, pos + len, cross + crossLen} : Rect{cross, pos, cross + crossLen, pos + len};
    Place(ch, r, scale);
    pos += len + padAfter + gap;
  }
}

void VerticalLayout::LayoutChildren(int scale) {
  LayoutFloats(scale);
  LayoutFlow(children_, ContentRect(scale), false, childPadding_, childVAlign_, childAlign_, scale);
}

void HorizontalLayout::LayoutChildren(int scale) {
  LayoutFloats(scale);
  LayoutFlow(children_, ContentRect(scale), true, childPadding_, childAlign_, childVAlign_, scale);
}

void TabLayout::SetAttribute(const std::wstring& n, const std::wstring& v) {
  if (n == L"selectedid") selected_ = ParseInt(v);
  else Container::SetAttribute(n, v);
}

bool TabLayout::SelectItem(int index) {
  int pages = 0;
  for (auto& c : children_)
    if (!c->IsFloat()) ++pages;
  if (index < 0 || index >= pages) return false;
  if (selected_ != index) {
    selected_ = index;
    if (manager_) {
      // Controls of the page that goes away lose their mouse state.
      for (auto& c : children_)
        if (!c->IsFloat() && !IsPageShown(c.get())) manager_->ForgetControl(c.get());
    }
    NeedParentUpdate();
    if (manager_) manager_->RaiseAccEvent(this, AccEvent::Reorder);
  }
  return true;
}

bool TabLayout::IsPageShown(const Control* child) const {
  if (child->IsFloat()) return true;
  int page = 0;
  for (auto& c : children_) {
    if (c->IsFloat()) continue;
    if (c.get() == child) return page == selected_;
    ++page;
  }
  return false;
}

void TabLayout::LayoutChildren(int scale) {
  LayoutFloats(scale);
  Rect c = ContentRect(scale);
  for (auto& ch : children_) {
    if (ch->IsFloat()) continue;
    Rect pad = ScaleRect(ch->GetPadding(), scale);
    Place(ch.get(), Rect{c.left + pad.left, c.top + pad.top, c.right - pad.right, c.bottom - pad.bottom}, scale);
  }
}

void TabLayout::Paint(PaintContext& pc) {
  if (!visible_ || rect_.Empty()) return;
  Control::Paint(pc);
  Rect old = pc.ClipTo(rect_);
  for (auto& c : children_)
    if (!c->IsFloat() && IsPageShown(c.get())) c->Paint(pc);
  for (auto& c : children_)
    if (c->IsFloat()) c->Paint(pc);
  pc.RestoreClip(old);
}

}  // namespace skinui
