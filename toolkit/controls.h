// The leaf controls of the markup.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "toolkit/control.h"

namespace skinui {

// Text, optionally with auto width (autocalcwidth="true").
class Label : public Control {
 public:
  explicit Label(const wchar_t* cls = L"Label") : Control(cls) {}
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  int DesiredWidth(int scale) override;
  unsigned GetTextStyle() const { return textStyle_; }
  const Rect& GetTextPadding() const { return textPadding_; }

 protected:
  void PaintText(PaintContext& pc) override;
  virtual uint32_t CurrentTextColor() const;

  unsigned textStyle_ = kAlignLeft | kAlignVCenter;
  Rect textPadding_;
};

// A clickable label with state images. A link="true" button is a text link:
// hand cursor, hot text colour.
class Button : public Label {
 public:
  explicit Button(const wchar_t* cls = L"Button");
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  bool IsInteractive() const override { return true; }
  bool IsLink() const { return link_; }
  // Called by the manager on a completed click; sends "click".
  virtual void Activate();

 protected:
  void PaintStateImages(PaintContext& pc) override;
  uint32_t CurrentTextColor() const override;
  // The state image, falling back to the normal one when the state's file is
  // missing; a disabled control without its own image fades the normal one.
  void PaintButtonImages(PaintContext& pc, const ImageRef& normal, const ImageRef& hot, const ImageRef& pushed,
                         const ImageRef& disabled);

  ImageRef normalImage_, hotImage_, pushedImage_, disabledImage_, foreImage_;
  uint32_t hotTextColor_ = 0;
  uint32_t pushedTextColor_ = 0;
  bool link_ = false;
};

// A check box or radio option. The "click" notification arrives before the
// state changes; then the box toggles (or, with a group, becomes selected).
class Option : public Button {
 public:
  explicit Option(const wchar_t* cls = L"Option") : Button(cls) {}
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  bool IsSelected() const { return selected_; }
  const std::wstring& GetGroup() const { return group_; }
  void Selected(bool on, bool notify = false);
  void Activate() override;

 protected:
  void PaintStateImages(PaintContext& pc) override;

  ImageRef selectedImage_, selectedHotImage_, selectedDisabledImage_;
  std::wstring group_;
  bool selected_ = false;
};

// A text field. Typing happens in a native edit hosted by the window; the
// control holds the text and sends "textchanged" when it changes.
class Edit : public Label {
 public:
  Edit() : Label(L"Edit") {}
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  bool IsInteractive() const override { return true; }
  // From the native edit: stores the text and sends "textchanged".
  void TextTyped(const std::wstring& text);
  void SetText(const std::wstring& text) override;
  int GetMaxChar() const { return maxChar_; }
  uint32_t GetNativeBkColor() const { return nativeBkColor_; }

 protected:
  void PaintStateImages(PaintContext& pc) override;
  ImageRef normalImage_, hotImage_, disabledImage_;
  int maxChar_ = 260;
  uint32_t nativeBkColor_ = 0xFF141B2B;
};

struct ComboItem {
  std::wstring text;      // text id or sentence, shown through the resolver
  std::wstring userData;
  std::wstring toolTip;
  int height = 24;        // fixed height at 100 %
  Rect margin;            // outer margins at 100 %
};

// A drop-down list. The window opens the list; choosing an item selects it
// and sends "itemselect".
class Combo : public Button {
 public:
  Combo() : Button(L"Combo") {}
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void AddItem(const ComboItem& item) { items_.push_back(item); }
  void RemoveAll();
  int GetCount() const { return static_cast<int>(items_.size()); }
  const ComboItem* GetItem(int i) const;
  int GetCurSel() const { return curSel_; }
  // -1 clears the selection. Sends "itemselect" when `notify` and it changed.
  bool SelectItem(int index, bool notify = false);
  void Activate() override;  // opens the list
  // While the list is open the combo shows its pushed image.
  void SetDropped(bool on) { dropped_ = on; Invalidate(); }
  bool IsDropped() const { return dropped_; }

  Size GetDropBoxSize() const { return dropBoxSize_; }
  const ImageRef& GetDropBoxImage() const { return dropBoxImage_; }
  int GetItemFont() const { return itemFont_ >= 0 ? itemFont_ : font_; }
  uint32_t GetItemTextColor() const { return itemTextColor_; }
  uint32_t GetItemHotBkColor() const { return itemHotBkColor_; }
  uint32_t GetItemSelectedBkColor() const { return itemSelectedBkColor_; }
  const Rect& GetItemTextPadding() const { return itemTextPadding_; }

 protected:
  void PaintText(PaintContext& pc) override;
  void PaintStateImages(PaintContext& pc) override;

  std::vector<ComboItem> items_;
  int curSel_ = -1;
  bool dropped_ = false;
  Size dropBoxSize_{0, 150};
  ImageRef dropBoxImage_, arrowImage_;
  int itemFont_ = -1;
  uint32_t itemTextColor_ = 0xFFE6EAF2;
  uint32_t itemHotBkColor_ = 0xFF243049;
  uint32_t itemSelectedBkColor_ = 0xFF1D2740;
  Rect itemTextPadding_{10, 0, 10, 0};
};

class Progress : public Control {
 public:
  Progress() : Control(L"Progress") {}
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  int GetValue() const { return value_; }
  void SetValue(int v);
  int GetMin() const { return min_; }
  int GetMax() const { return max_; }

 protected:
  void PaintStateImages(PaintContext& pc) override;
  ImageRef foreImage_;
  int min_ = 0, max_ = 100, value_ = 0;
};

// A spinning image (its bkimage turns while the control is shown).
class Ring : public Control {
 public:
  Ring() : Control(L"Ring") {}
  void Advance() { angle_ = (angle_ + 30) % 360; Invalidate(); }
  int GetAngle() const { return angle_; }
  void Paint(PaintContext& pc) override;

 private:
  int angle_ = 0;
};

}  // namespace skinui
