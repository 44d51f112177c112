// Containers: the vertical, horizontal and tab layouts. Floating children
// (pos="x,y,x2,y2" with float="true") are placed relative to the container's
// top-left corner and take no part in the flow.
#pragma once
#include <memory>
#include <vector>

#include "toolkit/control.h"

namespace skinui {

class Container;
// Gives `c` and its subtree the manager and `c` the parent.
void AttachTree(Control* c, PaintManager* m, Container* parent);

class Container : public Control {
 public:
  explicit Container(const wchar_t* className = L"Container") : Control(className) {}

  bool IsContainer() const override { return true; }
  void Add(std::unique_ptr<Control> child);
  int GetCount() const { return static_cast<int>(children_.size()); }
  Control* GetItemAt(int i) const;
  const Rect& GetInset() const { return inset_; }

  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void Paint(PaintContext& pc) override;

  // Lays out the children inside GetPos() (left to right; the manager
  // mirrors the finished tree for right to left).
  virtual void LayoutChildren(int scale);

 protected:
  friend class Control;
  // Places floating children; returns the content rectangle (pos - inset).
  Rect ContentRect(int scale) const;
  void LayoutFloats(int scale);

  std::vector<std::unique_ptr<Control>> children_;
  Rect inset_;
  int childPadding_ = 0;
  unsigned childAlign_ = kAlignLeft;    // along the horizontal axis
  unsigned childVAlign_ = kAlignTop;    // along the vertical axis
};

class VerticalLayout : public Container {
 public:
  VerticalLayout() : Container(L"VerticalLayout") {}
  void LayoutChildren(int scale) override;
};

class HorizontalLayout : public Container {
 public:
  HorizontalLayout() : Container(L"HorizontalLayout") {}
  void LayoutChildren(int scale) override;
};

// Shows one page (one non-floating child) at a time.
class TabLayout : public Container {
 public:
  TabLayout() : Container(L"TabLayout") {}
  int GetCurSel() const { return selected_; }
  // False when `index` names no page.
  bool SelectItem(int index);
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void LayoutChildren(int scale) override;
  void Paint(PaintContext& pc) override;
  bool IsPageShown(const Control* child) const;

 private:
  int selected_ = 0;
};

}  // namespace skinui
