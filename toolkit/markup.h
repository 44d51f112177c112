// Window markup: a <Window> element with <Font>, <Style> and one root
// control element. Element and attribute names are compared without regard
// to case; unknown elements (with everything inside) and unknown attributes
// are skipped.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "toolkit/paint_manager.h"

namespace skinui {

struct FontElement {
  int id = -1;
  FontDesc desc;  // desc.face is the element's "name"
  bool isDefault = false;
};

// Reads every <Font> element of window markup (or a file of them).
// False when the XML cannot be parsed; `out` is then unchanged.
bool ReadFontElements(const std::string& xml, std::vector<FontElement>& out);

// Creates a control for a markup element name; null for unknown names.
std::unique_ptr<Control> CreateControl(const std::wstring& elementName);

}  // namespace skinui
