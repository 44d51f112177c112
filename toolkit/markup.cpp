#include "toolkit/markup.h"

#include <pugixml.hpp>

#include <cwctype>

#include "base/text_convert.h"
#include "toolkit/container.h"
#include "toolkit/controls.h"

namespace skinui {

namespace {

std::wstring Lower(const char* utf8) {
  std::wstring s = Utf8ToWide(utf8);
  for (auto& c : s) c = static_cast<wchar_t>(towlower(c));
  return s;
}

std::wstring Attr(const pugi::xml_node& n, const char* lowerName) {
  for (pugi::xml_attribute a : n.attributes())
    if (Lower(a.name()) == Utf8ToWide(lowerName)) return Utf8ToWide(a.value());
  return std::wstring();
}

FontElement ReadFont(const pugi::xml_node& n) {
  FontElement f;
  f.id = ParseInt(Attr(n, "id"), -1);
  f.desc.face = Attr(n, "name");
  if (f.desc.face.empty()) f.desc.face = L"Arial";
  f.desc.size = ParseInt(Attr(n, "size"), 12);
  f.desc.bold = ParseBool(Attr(n, "bold"));
  f.desc.underline = ParseBool(Attr(n, "underline"));
  f.desc.italic = ParseBool(Attr(n, "italic"));
  f.desc.shared = ParseBool(Attr(n, "shared"));
  f.isDefault = ParseBool(Attr(n, "default"));
  return f;
}

void ApplyAttributes(Control* c, const pugi::xml_node& n) {
  // A style goes first so that the element's own attributes win.
  std::wstring style = Attr(n, "style");
  if (!style.empty()) c->SetAttribute(L"style", style);
  for (pugi::xml_attribute a : n.attributes()) {
    std::wstring name = Lower(a.name());
    if (name != L"style") c->SetAttribute(name, Utf8ToWide(a.value()));
  }
}

// Deeper nesting than any window needs is cut off (a bound on recursion for
// markup that is broken or hostile).
const int kMaxDepth = 64;

void BuildChildren(PaintManager& pm, Container* parent, const pugi::xml_node& node, int depth);

std::unique_ptr<Control> BuildControl(PaintManager& pm, Container* parent, const pugi::xml_node& n, int depth) {
  if (depth > kMaxDepth) return nullptr;
  std::unique_ptr<Control> c = CreateControl(Lower(n.name()));
  if (!c) return nullptr;
  c->SetManager(&pm, parent);
  ApplyAttributes(c.get(), n);
  if (auto* combo = dynamic_cast<Combo*>(c.get())) {
    for (pugi::xml_node item : n.children()) {
      std::wstring tag = Lower(item.name());
      if (tag != L"listlabelelement" && tag != L"item") continue;
      ComboItem it;
      it.text = Attr(item, "text");
      it.userData = Attr(item, "userdata");
      it.toolTip = Attr(item, "tooltip");
      it.height = ParseInt(Attr(item, "height"), it.height);
      it.margin = ParseRect(Attr(item, "padding"));
      combo->AddItem(it);
      if (ParseBool(Attr(item, "selected"))) combo->SelectItem(combo->GetCount() - 1);
    }
  } else if (c->IsContainer()) {
    BuildChildren(pm, static_cast<Container*>(c.get()), n, depth + 1);
  }
  return c;
}

void BuildChildren(PaintManager& pm, Container* parent, const pugi::xml_node& node, int depth) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() != pugi::node_element) continue;
    if (auto c = BuildControl(pm, parent, child, depth)) parent->Add(std::move(c));
  }
}

}  // namespace

std::unique_ptr<Control> CreateControl(const std::wstring& name) {
  if (name == L"control") return std::make_unique<Control>();
  if (name == L"container") return std::make_unique<Container>();
  if (name == L"verticallayout") return std::make_unique<VerticalLayout>();
  if (name == L"horizontallayout") return std::make_unique<HorizontalLayout>();
  if (name == L"tablayout") return std::make_unique<TabLayout>();
  if (name == L"label" || name == L"text") return std::make_unique<Label>();
  if (name == L"button") return std::make_unique<Button>();
  if (name == L"link") {
    auto b = std::make_unique<Button>(L"Link");
    b->SetAttribute(L"link", L"true");
    return b;
  }
  if (name == L"option") return std::make_unique<Option>();
  if (name == L"checkbox") return std::make_unique<Option>(L"CheckBox");
  if (name == L"edit") return std::make_unique<Edit>();
  if (name == L"combo") return std::make_unique<Combo>();
  if (name == L"progress") return std::make_unique<Progress>();
  if (name == L"ring") return std::make_unique<Ring>();
  return nullptr;
}

bool ReadFontElements(const std::string& xml, std::vector<FontElement>& out) {
  pugi::xml_document doc;
  if (!doc.load_buffer(xml.data(), xml.size())) return false;
  std::vector<FontElement> fonts;
  // Every element in document order, without recursion (the nesting depth is
  // the file's to choose).
  for (pugi::xml_node n = doc.first_child(); n;) {
    if (n.type() == pugi::node_element && Lower(n.name()) == L"font") fonts.push_back(ReadFont(n));
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n && !n.next_sibling()) n = n.parent();
    if (n) n = n.next_sibling();
  }
  out = std::move(fonts);
  return true;
}

bool PaintManager::LoadMarkup(const std::string& xml) {
  SetRoot(nullptr);
  pugi::xml_document doc;
  if (!doc.load_buffer(xml.data(), xml.size())) return false;
  pugi::xml_node window;
  for (pugi::xml_node n : doc.children())
    if (n.type() == pugi::node_element && Lower(n.name()) == L"window") window = n;
  if (!window) return false;

  initSize_ = ParseSize(Attr(window, "size"));
  minInfo_ = ParseSize(Attr(window, "mininfo"));
  maxInfo_ = ParseSize(Attr(window, "maxinfo"));
  caption_ = ParseRect(Attr(window, "caption"));
  roundCorner_ = ParseSize(Attr(window, "roundcorner")).cx;
  shadow_ = ShadowSettings{};
  shadow_.show = ParseBool(Attr(window, "showshadow"));
  shadow_.size = ParseInt(Attr(window, "shadowsize"));
  shadow_.corner = ParseRect(Attr(window, "shadowcorner"));
  shadow_.image = Attr(window, "shadowimage");
  ++shadowGeneration_;
  if (!Attr(window, "focuscolor").empty()) focusColor_ = ParseColor(Attr(window, "focuscolor"));

  std::unique_ptr<Control> root;
  for (pugi::xml_node n : window.children()) {
    if (n.type() != pugi::node_element) continue;
    std::wstring tag = Lower(n.name());
    if (tag == L"font") {
      FontElement f = ReadFont(n);
      if (f.id >= 0) AddFont(f.id, f.desc);
      if (f.isDefault) SetDefaultFont(f.desc);
    } else if (tag == L"style") {
      AddStyle(Attr(n, "name"), Attr(n, "value"));
    } else if (!root) {
      root = BuildControl(*this, nullptr, n, 0);
    }
  }
  SetRoot(std::move(root));
  return true;
}

}  // namespace skinui
