#include "toolkit/control.h"

#include <cwchar>
#include <cwctype>

#include "toolkit/container.h"
#include "toolkit/paint_context.h"
#include "toolkit/paint_manager.h"

namespace skinui {

namespace {

// Splits `a="b" c='d'` pairs; a value may hold the other quote character.
template <class Fn>
void ForEachPair(const std::wstring& s, Fn fn) {
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (iswspace(s[i]) || s[i] == L',')) ++i;
    size_t nameStart = i;
    while (i < s.size() && s[i] != L'=' && !iswspace(s[i])) ++i;
    std::wstring name = s.substr(nameStart, i - nameStart);
    while (i < s.size() && iswspace(s[i])) ++i;
    if (i >= s.size() || s[i] != L'=') return;
    ++i;
    while (i < s.size() && iswspace(s[i])) ++i;
    if (i >= s.size()) return;
    wchar_t q = s[i];
    if (q != L'"' && q != L'\'') return;
    size_t end = s.find(q, i + 1);
    if (end == std::wstring::npos) return;
    fn(name, s.substr(i + 1, end - i - 1));
    i = end + 1;
  }
}

}  // namespace

uint32_t ParseColor(const std::wstring& v) {
  std::wstring s = v;
  if (!s.empty() && s[0] == L'#') s = s.substr(1);
  else if (s.size() > 2 && s[0] == L'0' && (s[1] == L'x' || s[1] == L'X')) s = s.substr(2);
  if (s.size() != 6 && s.size() != 8) return 0;
  for (wchar_t c : s)
    if (!iswxdigit(c)) return 0;
  uint32_t c = static_cast<uint32_t>(wcstoul(s.c_str(), nullptr, 16));
  if (s.size() == 6) c |= 0xFF000000u;
  return c;
}

Rect ParseRect(const std::wstring& v) {
  int p[4] = {0, 0, 0, 0};
  const wchar_t* s = v.c_str();
  for (int i = 0; i < 4 && *s; ++i) {
    wchar_t* end = nullptr;
    long n = wcstol(s, &end, 10);
    if (end == s) break;
    p[i] = static_cast<int>(n);
    s = end;
    while (*s == L',' || iswspace(*s)) ++s;
  }
  return Rect{p[0], p[1], p[2], p[3]};
}

Size ParseSize(const std::wstring& v) {
  Rect r = ParseRect(v);
  return Size{r.left, r.top};
}

bool ParseBool(const std::wstring& v) { return v == L"true" || v == L"TRUE" || v == L"True" || v == L"1"; }

int ParseInt(const std::wstring& v, int fallback) {
  if (v.empty()) return fallback;
  wchar_t* end = nullptr;
  long n = wcstol(v.c_str(), &end, 10);
  return end == v.c_str() ? fallback : static_cast<int>(n);
}

ImageRef ParseImageRef(const std::wstring& value) {
  ImageRef r;
  if (value.find(L'=') == std::wstring::npos) {
    r.file = value;
    return r;
  }
  ForEachPair(value, [&](const std::wstring& k, const std::wstring& v) {
    if (k == L"file") r.file = v;
    else if (k == L"dest") { r.dest = ParseRect(v); r.hasDest = true; }
    else if (k == L"corner") r.corner = ParseRect(v);
    else if (k == L"fade") r.alpha = ParseInt(v, 255);
  });
  return r;
}

Control::Control(const wchar_t* className) : class_(className) {}

Control::~Control() {
  if (manager_) manager_->ControlGone(this);
}

void Control::SetText(const std::wstring& text) {
  if (text_ == text) return;
  text_ = text;
  if (autoCalcWidth_) NeedParentUpdate();
  Invalidate();
  if (manager_) manager_->RaiseAccEvent(this, AccEvent::NameChange);
}

void Control::SetAccName(const std::wstring& n) {
  if (accName_ == n) return;
  accName_ = n;
  if (manager_) manager_->RaiseAccEvent(this, AccEvent::NameChange);
}

std::wstring Control::GetShownText() const { return manager_ ? manager_->ResolveText(text_) : text_; }

void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  if (!visible && manager_) manager_->ForgetControl(this);
  NeedParentUpdate();
  if (manager_) manager_->RaiseAccEvent(parent_ ? static_cast<Control*>(parent_) : this, AccEvent::Reorder);
}

bool Control::IsVisibleInTree() const {
  const Control* child = this;
  for (const Container* p = parent_; child; child = p, p = p ? p->GetParent() : nullptr) {
    if (!child->IsVisible()) return false;
    if (auto* tab = dynamic_cast<const TabLayout*>(p); tab && !tab->IsPageShown(child)) return false;
    if (!p) break;
  }
  return true;
}

void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  if (!enabled) {
    state_ = State::Normal;
    if (manager_) manager_->ForgetControl(this);
  }
  Invalidate();
  if (manager_) manager_->RaiseAccEvent(this, AccEvent::StateChange);
}

void Control::SetFixedWidth(int w) {
  fixedWidth_ = w < 0 ? 0 : w;
  NeedParentUpdate();
}

void Control::SetFixedHeight(int h) {
  fixedHeight_ = h < 0 ? 0 : h;
  NeedParentUpdate();
}

void Control::SetPadding(const Rect& r) {
  padding_ = r;
  NeedParentUpdate();
}

void Control::SetFloatPos(const Rect& pos) {
  pos_ = pos;
  float_ = true;
  NeedParentUpdate();
}

void Control::SetFont(int id) {
  font_ = id;
  ResetTextSize();
  NeedParentUpdate();
}

void Control::SetAttribute(const std::wstring& n, const std::wstring& v) {
  if (n == L"name") name_ = v;
  else if (n == L"text") text_ = v;
  else if (n == L"tooltip") tooltip_ = v;
  else if (n == L"userdata") userData_ = v;
  else if (n == L"accname") accName_ = v;
  else if (n == L"visible") visible_ = ParseBool(v);
  else if (n == L"enabled") enabled_ = ParseBool(v);
  else if (n == L"float") float_ = ParseBool(v);
  else if (n == L"pos") {
    pos_ = ParseRect(v);
    if (pos_.Width() > 0) fixedWidth_ = pos_.Width();
    if (pos_.Height() > 0) fixedHeight_ = pos_.Height();
  } else if (n == L"width") fixedWidth_ = ParseInt(v);
  else if (n == L"height") fixedHeight_ = ParseInt(v);
  else if (n == L"padding") padding_ = ParseRect(v);
  else if (n == L"font") font_ = ParseInt(v, -1);
  else if (n == L"textcolor") textColor_ = ParseColor(v);
  else if (n == L"disabledtextcolor") disabledTextColor_ = ParseColor(v);
  else if (n == L"bkcolor") bkColor_ = ParseColor(v);
  else if (n == L"bkimage") bkImage_ = ParseImageRef(v);
  else if (n == L"autocalcwidth") autoCalcWidth_ = ParseBool(v);
  else if (n == L"style" && manager_) {
    if (const std::wstring* list = manager_->GetStyle(v)) ApplyAttributeList(*list);
  }
}

void Control::ApplyAttributeList(const std::wstring& list) {
  ForEachPair(list, [this](const std::wstring& k, const std::wstring& v) { SetAttribute(k, v); });
}

int Control::DesiredWidth(int scale) { return -1; }

void Control::Paint(PaintContext& pc) {
  if (!visible_ || rect_.Empty()) return;
  PaintBackground(pc);
  PaintStateImages(pc);
  PaintText(pc);
}

void Control::PaintBackground(PaintContext& pc) {
  if (bkColor_ >> 24) pc.FillRect(rect_, bkColor_);
  if (!bkImage_.Empty()) pc.DrawImage(bkImage_, rect_);
}

void Control::SetManager(PaintManager* m, Container* parent) {
  manager_ = m;
  parent_ = parent;
}

void Control::Invalidate() {
  if (manager_) manager_->Invalidate();
}

void Control::NeedParentUpdate() {
  if (manager_) manager_->NeedUpdate();
}

void Control::SetState(State s) {
  if (state_ == s) return;
  state_ = s;
  Invalidate();
}

}  // namespace skinui
