#include "toolkit/controls.h"

#include <algorithm>

#include "toolkit/container.h"
#include "toolkit/paint_context.h"
#include "toolkit/paint_manager.h"

namespace skinui {

namespace {

unsigned ParseTextAlign(const std::wstring& v, unsigned current) {
  unsigned h = current & (kAlignCenter | kAlignRight);
  unsigned rest = current & ~(kAlignCenter | kAlignRight);
  if (v == L"left") h = kAlignLeft;
  else if (v == L"center") h = kAlignCenter;
  else if (v == L"right") h = kAlignRight;
  return h | rest;
}

Rect Deflate(const Rect& r, const Rect& by) {
  return Rect{r.left + by.left, r.top + by.top, r.right - by.right, r.bottom - by.bottom};
}

}  // namespace

// ---- Label

void Label::SetAttribute(const std::wstring& n, const std::wstring& v) {
  if (n == L"align") textStyle_ = ParseTextAlign(v, textStyle_);
  else if (n == L"valign") {
    textStyle_ &= ~(kAlignVCenter | kAlignBottom);
    if (v == L"center" || v == L"vcenter") textStyle_ |= kAlignVCenter;
    else if (v == L"bottom") textStyle_ |= kAlignBottom;
  } else if (n == L"wordbreak") {
    textStyle_ = ParseBool(v) ? (textStyle_ | kWordBreak) : (textStyle_ & ~kWordBreak);
  } else if (n == L"endellipsis") {
    textStyle_ = ParseBool(v) ? (textStyle_ | kEndEllipsis) : (textStyle_ & ~kEndEllipsis);
  } else if (n == L"textpadding") textPadding_ = ParseRect(v);
  else Control::SetAttribute(n, v);
}

int Label::DesiredWidth(int scale) {
  if (!autoCalcWidth_ || !manager_ || !manager_->GetTextMeasurer()) return -1;
  std::wstring shown = GetShownText();
  if (measuredWidth_ < 0 || measuredScale_ != scale || measuredText_ != shown) {
    measuredWidth_ = manager_->GetTextMeasurer()->Measure(shown, font_, scale).cx;
    measuredScale_ = scale;
    measuredText_ = shown;
  }
  return measuredWidth_ + ScaleLength(textPadding_.left + textPadding_.right, scale);
}

uint32_t Label::CurrentTextColor() const { return enabled_ ? textColor_ : disabledTextColor_; }

void Label::PaintText(PaintContext& pc) {
  std::wstring shown = GetShownText();
  if (shown.empty()) return;
  Rect pad = ScaleRect(textPadding_, pc.Scale());
  unsigned style = textStyle_;
  if (pc.IsRtl()) {
    std::swap(pad.left, pad.right);
    unsigned h = style & (kAlignCenter | kAlignRight);
    style &= ~(kAlignCenter | kAlignRight);
    style |= h == kAlignLeft ? kAlignRight : h == kAlignRight ? kAlignLeft : kAlignCenter;
    style |= kRtlReading;
  }
  pc.DrawText(shown, Deflate(rect_, pad), font_, CurrentTextColor(), style);
}

// ---- Button

Button::Button(const wchar_t* cls) : Label(cls) { textStyle_ = kAlignCenter | kAlignVCenter; }

void Button::SetAttribute(const std::wstring& n, const std::wstring& v) {
  if (n == L"normalimage") normalImage_ = ParseImageRef(v);
  else if (n == L"hotimage") hotImage_ = ParseImageRef(v);
  else if (n == L"pushedimage") pushedImage_ = ParseImageRef(v);
  else if (n == L"disabledimage") disabledImage_ = ParseImageRef(v);
  else if (n == L"foreimage") foreImage_ = ParseImageRef(v);
  else if (n == L"hottextcolor") hotTextColor_ = ParseColor(v);
  else if (n == L"pushedtextcolor") pushedTextColor_ = ParseColor(v);
  else if (n == L"link") link_ = ParseBool(v);
  else Label::SetAttribute(n, v);
}

void Button::Activate() {
  if (manager_) manager_->SendNotify(this, L"click");
}

uint32_t Button::CurrentTextColor() const {
  if (!enabled_) return disabledTextColor_;
  if (state_ == State::Pushed && pushedTextColor_) return pushedTextColor_;
  if (state_ != State::Normal && hotTextColor_) return hotTextColor_;
  return textColor_;
}

void Button::PaintButtonImages(PaintContext& pc, const ImageRef& normal, const ImageRef& hot,
                               const ImageRef& pushed, const ImageRef& disabled) {
  if (!enabled_) {
    if (!disabled.Empty() && pc.DrawImage(disabled, rect_)) return;
    if (normal.Empty()) return;
    ImageRef faded = normal;
    faded.alpha = normal.alpha * 110 / 255;
    pc.DrawImage(faded, rect_);
    return;
  }
  if (state_ == State::Pushed && !pushed.Empty() && pc.DrawImage(pushed, rect_)) return;
  if (state_ != State::Normal && !hot.Empty() && pc.DrawImage(hot, rect_)) return;
  if (!normal.Empty()) pc.DrawImage(normal, rect_);
}

void Button::PaintStateImages(PaintContext& pc) {
  PaintButtonImages(pc, normalImage_, hotImage_, pushedImage_, disabledImage_);
  if (!foreImage_.Empty()) pc.DrawImage(foreImage_, rect_);
}

// ---- Option

void Option::SetAttribute(const std::wstring& n, const std::wstring& v) {
  if (n == L"selected") selected_ = ParseBool(v);
  else if (n == L"selectedimage") selectedImage_ = ParseImageRef(v);
  else if (n == L"selectedhotimage") selectedHotImage_ = ParseImageRef(v);
  else if (n == L"selecteddisabledimage") selectedDisabledImage_ = ParseImageRef(v);
  else if (n == L"group") group_ = v;
  else Button::SetAttribute(n, v);
}

void Option::Selected(bool on, bool notify) {
  if (selected_ == on) return;
  selected_ = on;
  if (on && !group_.empty() && manager_) {
    manager_->Visit([this](Control& c) {
      auto* o = dynamic_cast<Option*>(&c);
      if (o && o != this && o->group_ == group_) o->Selected(false);
    });
  }
  if (manager_) manager_->RaiseAccEvent(this, AccEvent::StateChange);
  if (notify && manager_) manager_->SendNotify(this, L"selectchanged");
  Invalidate();
}

void Option::Activate() {
  Button::Activate();  // "click" sees the state before the change
  if (!group_.empty()) Selected(true, true);
  else Selected(!selected_, true);
}

void Option::PaintStateImages(PaintContext& pc) {
  if (selected_) {
    PaintButtonImages(pc, selectedImage_, selectedHotImage_, selectedImage_, selectedDisabledImage_);
  } else {
    PaintButtonImages(pc, normalImage_, hotImage_, pushedImage_, disabledImage_);
  }
  if (!foreImage_.Empty()) pc.DrawImage(foreImage_, rect_);
}

// ---- Edit

void Edit::SetAttribute(const std::wstring& n, const std::wstring& v) {
  if (n == L"normalimage") normalImage_ = ParseImageRef(v);
  else if (n == L"hotimage") hotImage_ = ParseImageRef(v);
  else if (n == L"disabledimage") disabledImage_ = ParseImageRef(v);
  else if (n == L"maxchar") maxChar_ = ParseInt(v, maxChar_);
  else if (n == L"nativebkcolor") nativeBkColor_ = ParseColor(v);
  else Label::SetAttribute(n, v);
}

void Edit::SetText(const std::wstring& text) {
  bool changed = text != text_;
  Label::SetText(text);
  if (changed && manager_ && manager_->GetHost()) manager_->GetHost()->EditTextSet(this);
}

void Edit::TextTyped(const std::wstring& text) {
  text_ = text;
  if (manager_) manager_->RaiseAccEvent(this, AccEvent::ValueChange);
  if (manager_) manager_->SendNotify(this, L"textchanged");
}

void Edit::PaintStateImages(PaintContext& pc) {
  const ImageRef* img = &normalImage_;
  if (!enabled_ && !disabledImage_.Empty()) img = &disabledImage_;
  else if (state_ != State::Normal && !hotImage_.Empty()) img = &hotImage_;
  if (!img->Empty() && !pc.DrawImage(*img, rect_) && img != &normalImage_ && !normalImage_.Empty())
    pc.DrawImage(normalImage_, rect_);
}

// ---- Combo

void Combo::SetAttribute(const std::wstring& n, const std::wstring& v) {
  if (n == L"dropboxsize") dropBoxSize_ = ParseSize(v);
  else if (n == L"dropboximage") dropBoxImage_ = ParseImageRef(v);
  else if (n == L"arrowimage") arrowImage_ = ParseImageRef(v);
  else if (n == L"itemfont") itemFont_ = ParseInt(v, -1);
  else if (n == L"itemtextcolor") itemTextColor_ = ParseColor(v);
  else if (n == L"itemhotbkcolor") itemHotBkColor_ = ParseColor(v);
  else if (n == L"itemselectedbkcolor") itemSelectedBkColor_ = ParseColor(v);
  else if (n == L"itemtextpadding") itemTextPadding_ = ParseRect(v);
  else Button::SetAttribute(n, v);
}

void Combo::RemoveAll() {
  items_.clear();
  curSel_ = -1;
  Invalidate();
}

const ComboItem* Combo::GetItem(int i) const {
  return i >= 0 && i < GetCount() ? &items_[static_cast<size_t>(i)] : nullptr;
}

bool Combo::SelectItem(int index, bool notify) {
  if (index < -1 || index >= GetCount()) return false;
  if (index == curSel_) return true;
  curSel_ = index;
  Invalidate();
  if (manager_) manager_->RaiseAccEvent(this, AccEvent::ValueChange);
  if (notify && manager_) manager_->SendNotify(this, L"itemselect");
  return true;
}

void Combo::Activate() {
  if (manager_ && manager_->GetHost()) manager_->GetHost()->OpenDropDown(this);
}

void Combo::PaintStateImages(PaintContext& pc) {
  if (dropped_ && !pushedImage_.Empty() && pc.DrawImage(pushedImage_, rect_)) {
  } else {
    PaintButtonImages(pc, normalImage_, hotImage_, pushedImage_, disabledImage_);
  }
  if (!arrowImage_.Empty()) pc.DrawImage(arrowImage_, rect_);
}

void Combo::PaintText(PaintContext& pc) {
  const ComboItem* item = GetItem(curSel_);
  if (!item || !manager_) return;
  std::wstring shown = manager_->ResolveText(item->text);
  Rect pad = ScaleRect(textPadding_, pc.Scale());
  unsigned style = kAlignVCenter | kEndEllipsis;
  if (pc.IsRtl()) {
    std::swap(pad.left, pad.right);
    style |= kAlignRight | kRtlReading;
  }
  pc.DrawText(shown, Deflate(rect_, pad), font_, CurrentTextColor(), style);
}

// ---- Progress

void Progress::SetAttribute(const std::wstring& n, const std::wstring& v) {
  if (n == L"min") min_ = ParseInt(v);
  else if (n == L"max") max_ = ParseInt(v, 100);
  else if (n == L"value") value_ = ParseInt(v);
  else if (n == L"foreimage") foreImage_ = ParseImageRef(v);
  else Control::SetAttribute(n, v);
}

void Progress::SetValue(int v) {
  v = std::max(min_, std::min(max_, v));
  if (v == value_) return;
  value_ = v;
  Invalidate();
  if (manager_) manager_->RaiseAccEvent(this, AccEvent::ValueChange);
}

void Progress::PaintStateImages(PaintContext& pc) {
  if (foreImage_.Empty() || max_ <= min_ || value_ <= min_) return;
  int w = static_cast<int>(static_cast<long long>(rect_.Width()) * (value_ - min_) / (max_ - min_));
  // The fill image is drawn into the filled part (its corners keep the
  // rounded end); a part narrower than both corners is clipped instead.
  Rect fill = rect_;
  if (pc.IsRtl()) fill.left = fill.right - w;
  else fill.right = fill.left + w;
  const Rect corner = ScaleRect(foreImage_.corner, pc.Scale());
  if (fill.Width() >= corner.left + corner.right) {
    pc.DrawImage(foreImage_, fill);
  } else {
    Rect start = rect_;
    if (pc.IsRtl()) start.left = start.right - (corner.left + corner.right);
    else start.right = start.left + corner.left + corner.right;
    Rect old = pc.ClipTo(fill);
    pc.DrawImage(foreImage_, start);
    pc.RestoreClip(old);
  }
}

// ---- Ring

void Ring::Paint(PaintContext& pc) {
  if (!visible_ || rect_.Empty()) return;
  if (bkColor_ >> 24) pc.FillRect(rect_, bkColor_);
  if (!bkImage_.Empty()) pc.DrawImageRotated(bkImage_, rect_, angle_);
}

}  // namespace skinui
