#include "toolkit/accessible.h"

#include "base/text_convert.h"
#include "toolkit/controls.h"
#include "toolkit/focus.h"
#include "toolkit/paint_manager.h"

namespace skinui {

namespace {

bool RoleOf(Control& c, AccRole& role) {
  if (dynamic_cast<Combo*>(&c)) role = AccRole::ComboBox;
  else if (auto* o = dynamic_cast<Option*>(&c)) role = o->GetGroup().empty() ? AccRole::CheckButton : AccRole::RadioButton;
  else if (auto* b = dynamic_cast<Button*>(&c)) role = b->IsLink() ? AccRole::Link : AccRole::PushButton;
  else if (dynamic_cast<Edit*>(&c)) role = AccRole::EditableText;
  else if (dynamic_cast<Progress*>(&c)) role = AccRole::ProgressBar;
  else if (dynamic_cast<Label*>(&c)) role = AccRole::StaticText;
  else if (!c.GetAccName().empty() && !c.IsContainer()) role = AccRole::Graphic;
  else return false;
  return true;
}

// `pattern` with its "%1" replaced by `n`.
std::wstring FillNumber(const std::wstring& pattern, long long n) {
  std::wstring s = pattern;
  const size_t at = s.find(L"%1");
  if (at != std::wstring::npos) s.replace(at, 2, DecimalWide(n));
  return s;
}

}  // namespace

std::vector<AccNode> DescribeAccessible(const PaintManager& pm) {
  std::vector<AccNode> found;
  std::vector<Rect> rects;
  Control* focus = pm.GetFocus();
  const Size client = pm.GetClientSize();
  const AccTexts words = pm.GetAccTexts();
  pm.Visit([&](Control& c) {
    if (!c.IsVisibleInTree()) return;
    AccNode n;
    n.control = &c;
    if (!RoleOf(c, n.role)) return;
    n.name = c.GetAccName().empty() ? c.GetShownText() : pm.ResolveText(c.GetAccName());
    if (n.name.empty() && !c.GetToolTip().empty()) n.name = pm.ResolveText(c.GetToolTip());
    if (n.role == AccRole::StaticText && n.name.empty()) return;
    n.rect = c.GetPos();
    if (n.rect.Empty() || n.rect.Intersect(Rect{0, 0, client.cx, client.cy}).Empty()) n.state |= kAccInvisible;
    if (!c.IsEnabled() || pm.IsInputHeld()) n.state |= kAccUnavailable;
    if (IsFocusable(c)) n.state |= kAccFocusable;
    if (&c == focus) n.state |= kAccFocused;
    switch (n.role) {
      case AccRole::PushButton:
        n.defaultAction = words.press;
        if (&c == pm.GetDefaultButton()) n.state |= kAccDefault;
        break;
      case AccRole::Link:
        n.defaultAction = words.jump;
        n.state |= kAccLinked;
        break;
      case AccRole::CheckButton:
      case AccRole::RadioButton: {
        bool on = static_cast<Option&>(c).IsSelected();
        if (on) n.state |= kAccChecked;
        n.defaultAction = n.role == AccRole::RadioButton ? words.select : (on ? words.uncheck : words.check);
        break;
      }
      case AccRole::EditableText:
        n.value = c.GetText();
        break;
      case AccRole::ComboBox: {
        auto& combo = static_cast<Combo&>(c);
        for (int i = 0; i < combo.GetCount(); ++i) n.items.push_back(pm.ResolveText(combo.GetItem(i)->text));
        n.selectedItem = combo.GetCurSel();
        if (n.selectedItem >= 0) n.value = n.items[static_cast<size_t>(n.selectedItem)];
        n.state |= combo.IsDropped() ? kAccExpanded : kAccCollapsed;
        n.defaultAction = combo.IsDropped() ? words.close : words.open;
        n.itemAction = words.select;
        break;
      }
      case AccRole::ProgressBar: {
        auto& p = static_cast<Progress&>(c);
        long long range = p.GetMax() - p.GetMin();
        long long pct = range > 0 ? (static_cast<long long>(p.GetValue()) - p.GetMin()) * 100 / range : 0;
        n.value = FillNumber(words.percent, pct);
        break;
      }
      default:
        break;
    }
    found.push_back(std::move(n));
    rects.push_back(c.GetPos());
  });
  std::vector<AccNode> out;
  out.reserve(found.size());
  for (size_t i : VisualOrder(rects, pm.IsLayoutRtl())) out.push_back(std::move(found[i]));
  return out;
}

int FindAccNode(const std::vector<AccNode>& nodes, const Control* c) {
  for (size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i].control == c) return static_cast<int>(i);
  return -1;
}

std::wstring AccNodeLine(const AccNode& n) {
  static const wchar_t* const kRoles[] = {L"button", L"link", L"check", L"radio", L"edit",
                                          L"combo", L"progress", L"text", L"graphic"};
  std::wstring s = kRoles[static_cast<int>(n.role)];
  s += L"|" + n.name + L"|" + n.value + L"|";
  const std::pair<unsigned, const wchar_t*> states[] = {
      {kAccFocused, L"focused "}, {kAccFocusable, L"focusable "}, {kAccChecked, L"checked "},
      {kAccUnavailable, L"unavailable "}, {kAccInvisible, L"invisible "}, {kAccLinked, L"linked "},
      {kAccDefault, L"default "}, {kAccExpanded, L"expanded "}, {kAccCollapsed, L"collapsed "}};
  for (const auto& st : states)
    if (n.state & st.first) s += st.second;
  if (!s.empty() && s.back() == L' ') s.pop_back();
  return s;
}

}  // namespace skinui
