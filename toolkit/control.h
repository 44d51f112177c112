// The control tree built from window markup. Controls keep their lengths at
// 100 % as the markup gives them; Layout() turns them into physical rectangles
// for the window's scale and direction. Everything here is portable.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/geometry.h"
#include "toolkit/image_ref.h"

namespace skinui {

class Container;
class PaintManager;
class PaintContext;

// Text layout flags for labels and buttons.
enum TextAlign : unsigned {
  kAlignLeft = 0,
  kAlignCenter = 1,
  kAlignRight = 2,
  kAlignTop = 0,
  kAlignVCenter = 4,
  kAlignBottom = 8,
  kWordBreak = 16,
  kEndEllipsis = 32,
  kRtlReading = 64,
};

class Control {
 public:
  explicit Control(const wchar_t* className = L"Control");
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // The markup element name ("Label", "Button", "Control"...).
  const std::wstring& GetClass() const { return class_; }
  const std::wstring& GetName() const { return name_; }
  void SetName(const std::wstring& name) { name_ = name; }

  // What the control holds: a text id or a plain sentence. What it shows is
  // the manager's text resolver applied to it.
  const std::wstring& GetText() const { return text_; }
  virtual void SetText(const std::wstring& text);
  std::wstring GetShownText() const;
  const std::wstring& GetToolTip() const { return tooltip_; }
  void SetToolTip(const std::wstring& t) { tooltip_ = t; }
  // The name a screen reader announces when the control shows no text of its
  // own (markup `accname`, a text id or a sentence; resolved like the text).
  const std::wstring& GetAccName() const { return accName_; }
  void SetAccName(const std::wstring& n);
  const std::wstring& GetUserData() const { return userData_; }
  void SetUserData(const std::wstring& d) { userData_ = d; }

  bool IsVisible() const { return visible_; }
  virtual void SetVisible(bool visible);
  // Visible and every ancestor visible (a hidden tab page hides its controls).
  bool IsVisibleInTree() const;
  bool IsEnabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);
  Container* GetParent() const { return parent_; }

  // Sizes at 100 %; 0 means "follow the layout".
  int GetFixedWidth() const { return fixedWidth_; }
  void SetFixedWidth(int w);
  int GetFixedHeight() const { return fixedHeight_; }
  void SetFixedHeight(int h);
  const Rect& GetPadding() const { return padding_; }
  void SetPadding(const Rect& r);
  bool IsFloat() const { return float_; }
  const Rect& GetFloatPos() const { return pos_; }
  void SetFloatPos(const Rect& pos);
  // A label whose width follows its text.
  bool IsAutoCalcWidth() const { return autoCalcWidth_; }
  void SetAutoCalcWidth(bool on) { autoCalcWidth_ = on; }
  // Forgets the measured text size so the next layout measures again.
  void ResetTextSize() { measuredWidth_ = -1; }

  int GetFont() const { return font_; }
  void SetFont(int id);
  uint32_t GetTextColor() const { return textColor_; }
  void SetTextColor(uint32_t argb) { textColor_ = argb; Invalidate(); }

  void SetImage(const std::wstring& attribute, const std::wstring& value) { SetAttribute(attribute, value); }

  // Physical rectangle in window pixels, valid after layout.
  const Rect& GetPos() const { return rect_; }
  void SetPos(const Rect& r) { rect_ = r; }

  // Applies one markup attribute; unknown attributes are ignored.
  virtual void SetAttribute(const std::wstring& name, const std::wstring& value);
  // Applies a list of attributes written as `name="value" name2="value2"`.
  void ApplyAttributeList(const std::wstring& list);

  // Interactive controls take mouse input; others let it pass to the caption.
  virtual bool IsInteractive() const { return false; }
  virtual bool IsContainer() const { return false; }

  // The width this control wants when its fixed width is 0 (auto width
  // labels); -1 for "take what the layout gives".
  virtual int DesiredWidth(int scale);

  virtual void Paint(PaintContext& pc);

  PaintManager* GetManager() const { return manager_; }
  void SetManager(PaintManager* m, Container* parent);
  void Invalidate();
  void NeedParentUpdate();

  // Mouse state, driven by the manager.
  enum class State { Normal, Hot, Pushed };
  State GetState() const { return state_; }
  void SetState(State s);

 protected:
  virtual void PaintBackground(PaintContext& pc);
  virtual void PaintStateImages(PaintContext& pc) {}
  virtual void PaintText(PaintContext& pc) {}

  std::wstring class_;
  std::wstring name_;
  std::wstring text_;
  std::wstring tooltip_;
  std::wstring userData_;
  std::wstring accName_;
  bool visible_ = true;
  bool enabled_ = true;
  bool float_ = false;
  bool autoCalcWidth_ = false;
  int fixedWidth_ = 0;
  int fixedHeight_ = 0;
  int measuredWidth_ = -1;  // physical, for measuredScale_ and the shown text
  int measuredScale_ = 0;
  std::wstring measuredText_;
  Rect padding_;
  Rect pos_;
  Rect rect_;
  int font_ = -1;
  uint32_t textColor_ = 0xFFFFFFFF;
  uint32_t disabledTextColor_ = 0xFF7A8499;
  uint32_t bkColor_ = 0;
  ImageRef bkImage_;
  State state_ = State::Normal;
  PaintManager* manager_ = nullptr;
  Container* parent_ = nullptr;
};

// Parses "#AARRGGBB", "#RRGGBB" or "0xAARRGGBB"; 0 when malformed.
uint32_t ParseColor(const std::wstring& v);
// Parses "a,b,c,d" into a rectangle (missing parts are 0).
Rect ParseRect(const std::wstring& v);
Size ParseSize(const std::wstring& v);
bool ParseBool(const std::wstring& v);
int ParseInt(const std::wstring& v, int fallback = 0);

}  // namespace skinui
