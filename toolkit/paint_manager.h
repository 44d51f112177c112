// The window's model: the control tree of one markup, its fonts, scale,
// direction, shadow settings and the mouse state machine that turns input
// into notifications. Portable; the Win32 window drives it.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/accessible.h"
#include "toolkit/container.h"
#include "toolkit/control.h"
#include "toolkit/geometry.h"

namespace skinui {

class Button;
class Combo;
class Edit;

// What changed, for assistive technology (the window turns these into
// WinEvents).
enum class AccEvent { Focus, StateChange, ValueChange, NameChange, Reorder };

// Keys the model acts on; the window maps virtual keys onto these.
enum class Key { Tab, Enter, Space, Escape, Up, Down, Left, Right, Home, End, F4 };

struct FontDesc {
  std::wstring face = L"Arial";
  int size = 12;  // pixel height at 100 %
  bool bold = false;
  bool underline = false;
  bool italic = false;
  bool shared = false;
  bool operator==(const FontDesc& o) const {
    return face == o.face && size == o.size && bold == o.bold && underline == o.underline && italic == o.italic;
  }
};

// The drop shadow as the window uses it now: size and corners in screen
// pixels of the shadow image named here (the window base rescales them).
struct ShadowSettings {
  bool show = false;
  int size = 0;
  Rect corner;
  std::wstring image;
};

struct Notification {
  std::wstring type;  // "click", "textchanged", "itemselect", "windowinit"...
  Control* sender = nullptr;
};

class NotifyListener {
 public:
  virtual ~NotifyListener() = default;
  virtual void Notify(const Notification& n) = 0;
};

// Measures text for auto-width labels (GDI in the window, fixed in tests).
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  virtual Size Measure(const std::wstring& text, int fontId, int scale) = 0;
};

// Platform services the model asks for.
class ManagerHost {
 public:
  virtual ~ManagerHost() = default;
  virtual void InvalidateWindow() = 0;
  virtual void OpenDropDown(Combo* combo) = 0;
  virtual void FocusEdit(Edit* edit) = 0;
  // An edit's text was set by the program (not typed).
  virtual void EditTextSet(Edit* edit) = 0;
  virtual void FontsChanged() = 0;
  // Keyboard focus moved to `now` (null: no control). The window gives the
  // native focus to an edit's host, else to itself.
  virtual void FocusChanged(Control* now) {}
  virtual void AccessibleEvent(Control* c, AccEvent e) {}
};

class PaintManager {
 public:
  PaintManager();
  ~PaintManager();

  // Builds the tree, fonts, styles and window attributes from window markup.
  // False (and an empty tree) when the XML is not readable or has no Window.
  bool LoadMarkup(const std::string& xml);
  Control* GetRoot() const { return root_.get(); }
  void SetRoot(std::unique_ptr<Control> root);
  Control* FindControl(const std::wstring& name) const;
  template <class T>
  T* Find(const std::wstring& name) const { return dynamic_cast<T*>(FindControl(name)); }
  // Depth first, parents before children.
  void Visit(const std::function<void(Control&)>& fn) const;
  // The topmost shown, enabled, interactive control at a window point.
  Control* FindInteractiveAt(Point p) const;

  // Window attributes from the markup, at 100 %.
  Size GetInitSize() const { return initSize_; }
  Size GetMinInfo() const { return minInfo_; }
  Size GetMaxInfo() const { return maxInfo_; }
  // Caption band: left, top, right inset and its height (0 height: none).
  Rect GetCaptionRect() const { return caption_; }
  int GetRoundCorner() const { return roundCorner_; }
  void SetInitSize(Size s) { initSize_ = s; }
  void SetMinInfo(Size s) { minInfo_ = s; }
  void SetMaxInfo(Size s) { maxInfo_ = s; }
  void SetCaptionRect(const Rect& r) { caption_ = r; }
  void SetRoundCorner(int r) { roundCorner_ = r; }

  // Scale in percent (100 = 96 DPI).
  void SetScale(int scale);
  int GetScale() const { return scale_; }
  int ScaleLen(int v) const { return ScaleLength(v, scale_); }
  Size Scale(Size s) const { return ScaleSize(s, scale_); }
  Rect Scale(const Rect& r) const { return ScaleRect(r, scale_); }
  // Images are cached per scale; the window drops them on a new scale.
  int GetImageGeneration() const { return imageGeneration_; }
  void ReloadImages() { ++imageGeneration_; Invalidate(); }

  // Direction of the paint surface.
  void SetLayoutRtl(bool rtl);
  bool IsLayoutRtl() const { return rtl_; }

  void SetTextResolver(std::function<std::wstring(const std::wstring&)> fn) { resolver_ = std::move(fn); }
  std::wstring ResolveText(const std::wstring& text) const { return resolver_ ? resolver_(text) : text; }
  // The screen reader's action words and progress value pattern (see
  // AccTexts), resolved as the control texts are; English until set.
  void SetAccTexts(AccTexts texts) {
    accTexts_ = std::move(texts);
    accTextsSet_ = true;
  }
  AccTexts GetAccTexts() const;
  void SetTextMeasurer(TextMeasurer* m) { measurer_ = m; }
  TextMeasurer* GetTextMeasurer() const { return measurer_; }

  // Fonts by id; replacing one keeps the id. The default font serves every
  // control without a font of its own.
  void AddFont(int id, const FontDesc& f);
  const FontDesc* GetFont(int id) const;
  void SetDefaultFont(const FontDesc& f);
  const FontDesc& GetDefaultFont() const { return defaultFont_; }
  // The font a control with `id` draws with (its own, else the default).
  const FontDesc& ResolveFont(int id) const;
  int GetFontGeneration() const { return fontGeneration_; }

  ShadowSettings& Shadow() { return shadow_; }
  const ShadowSettings& Shadow() const { return shadow_; }
  void SetShadowChanged() { ++shadowGeneration_; }
  int GetShadowGeneration() const { return shadowGeneration_; }

  // Styles: named attribute lists (<Style name= value=>).
  void AddStyle(const std::wstring& name, const std::wstring& attributes) { styles_[name] = attributes; }
  const std::wstring* GetStyle(const std::wstring& name) const;

  // Layout.
  void NeedUpdate() { needUpdate_ = true; Invalidate(); }
  bool IsUpdateNeeded() const { return needUpdate_; }
  // Lays the tree out in a client area of `physical` pixels.
  void Layout(Size physical);
  Size GetClientSize() const { return clientSize_; }

  // While a modal window of the program (a folder picker, say) owns this
  // one, its input is held: presses of the mouse, keys and the cancel hook
  // do nothing, and every control reads as unavailable to a screen reader,
  // whose default actions then fail. The Win32 window holds it exactly while
  // it is disabled, and disables its edit hosts with it.
  void HoldInput(bool held);
  bool IsInputHeld() const { return inputHeld_; }

  // Mouse, in window pixels. Return true when something changed on screen.
  bool MouseMove(Point p);
  bool MouseDown(Point p);
  bool MouseUp(Point p);
  bool MouseLeave();
  Control* GetHot() const { return hot_; }
  Control* GetPushed() const { return pushed_; }
  // A control is going away or hiding: forget it as hot or pushed.
  void ForgetControl(Control* c) { Forget(c, false); }
  // A control is being destroyed.
  void ControlGone(Control* c);

  // Keyboard. Focus rests only on a focusable control (see IsFocusable);
  // when its control hides, is disabled or its page goes, focus moves on to
  // the next control in the tab order at the next layout or key.
  Control* GetFocus() const { return focus_; }
  // False (focus unchanged) when `c` cannot take focus; null clears it.
  bool SetFocus(Control* c);
  // Tab / Shift+Tab.
  bool MoveFocus(bool backward);
  // Applies a pending move away from a control that went; the window calls
  // it before it paints or describes itself.
  void ResolveFocus();
  // A key went down: Tab moves, Enter presses the focused button or link or
  // else the default button, Space presses a button or link, toggles a check
  // box or opens a combo, Up/Down pick in a closed combo, Alt+Down or F4
  // open it, Escape runs the cancel hook. True when the key was used.
  bool KeyDown(Key key, bool shift = false, bool alt = false);
  // The button Enter presses when focus is on no other button (it must be
  // shown and enabled to be pressed). Null: none.
  void SetDefaultButton(Button* b) { defaultButton_ = b; }
  Button* GetDefaultButton() const { return defaultButton_; }
  // What Escape and the window's close command (Alt+F4) do. With a hook set
  // the window never closes by itself on those: the hook decides.
  void SetCancelHandler(std::function<void()> fn) { cancel_ = std::move(fn); }
  // The usual hook: press `b` when it is shown and enabled, else nothing.
  void SetCancelButton(Button* b);
  bool HasCancelHandler() const { return static_cast<bool>(cancel_); }
  // Runs the hook; false when there is none. With input held the hook is
  // not run, but true says the window must not close by itself either.
  bool Cancel();
  // The focus mark shows once the keyboard was used (as on Windows); the
  // window may show it from the start.
  bool IsFocusMarkShown() const { return focusMarkShown_; }
  void ShowFocusMark(bool on) { if (on != focusMarkShown_) { focusMarkShown_ = on; Invalidate(); } }
  // Colour of the focus mark (markup: Window focuscolor="#AARRGGBB").
  uint32_t GetFocusColor() const { return focusColor_; }
  void SetFocusColor(uint32_t argb) { focusColor_ = argb; Invalidate(); }

  // Tells the host (for screen readers) that `c` changed.
  void RaiseAccEvent(Control* c, AccEvent e);
  // Every shown text may have changed (a language switch): names and order.
  void TextsChanged() { RaiseAccEvent(root_.get(), AccEvent::Reorder); }

  void AddNotifier(NotifyListener* l);
  void RemoveNotifier(NotifyListener* l);
  void SendNotify(Control* sender, const std::wstring& type);
  // Sends `type` as if control `name` had raised it (false: no such control).
  bool SendNotify(const std::wstring& type, const std::wstring& name);

  void SetHost(ManagerHost* h) { host_ = h; }
  ManagerHost* GetHost() const { return host_; }
  void Invalidate();

 private:
  void Attach(Control* c);
  void Forget(Control* c, bool destroyed);

  std::unique_ptr<Control> root_;
  Size initSize_, minInfo_, maxInfo_;
  Rect caption_;
  int roundCorner_ = 0;
  int scale_ = 100;
  int imageGeneration_ = 0;
  int fontGeneration_ = 0;
  int shadowGeneration_ = 0;
  bool rtl_ = false;
  bool needUpdate_ = true;
  Size clientSize_;
  std::function<std::wstring(const std::wstring&)> resolver_;
  AccTexts accTexts_;
  bool accTextsSet_ = false;
  TextMeasurer* measurer_ = nullptr;
  std::map<int, FontDesc> fonts_;
  FontDesc defaultFont_;
  ShadowSettings shadow_;
  std::map<std::wstring, std::wstring> styles_;
  Control* hot_ = nullptr;
  Control* pushed_ = nullptr;
  Control* focus_ = nullptr;
  bool focusLost_ = false;
  // The tab order when focus was lost: controls after the lost one, and
  // those before it (compared as addresses only, never used).
  std::vector<const Control*> lostAfter_, lostBefore_, lostAll_;
  bool focusMarkShown_ = false;
  bool inputHeld_ = false;
  uint32_t focusColor_ = 0xE6FFFFFF;
  Button* defaultButton_ = nullptr;
  std::function<void()> cancel_;
  std::vector<NotifyListener*> notifiers_;
  ManagerHost* host_ = nullptr;
};

}  // namespace skinui
