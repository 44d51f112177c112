// What a screen reader is told about a window, portable: one node per shown
// control that has something to say, in visual order. The Windows side
// (accessible_win.cpp) serves it as MSAA objects.
#pragma once
#include <string>
#include <vector>

#include "toolkit/geometry.h"

namespace skinui {

class Control;
class PaintManager;

enum class AccRole { PushButton, Link, CheckButton, RadioButton, EditableText, ComboBox, ProgressBar, StaticText, Graphic };

enum AccState : unsigned {
  kAccFocused = 1u << 0,
  kAccFocusable = 1u << 1,
  kAccChecked = 1u << 2,
  kAccUnavailable = 1u << 3,
  kAccInvisible = 1u << 4,
  kAccLinked = 1u << 5,
  kAccDefault = 1u << 6,     // the button Enter presses
  kAccExpanded = 1u << 7,    // a combo whose list is open
  kAccCollapsed = 1u << 8,
};

struct AccNode {
  Control* control = nullptr;
  AccRole role = AccRole::StaticText;
  std::wstring name;           // translated text, or the markup's accname
  std::wstring value;          // edit text, combo selection, "42%"
  std::wstring defaultAction;  // "Press", "Check", ... empty: none
  std::wstring itemAction;     // a combo's list items: "Select"
  unsigned state = 0;
  Rect rect;                   // window pixels
  std::vector<std::wstring> items;  // a combo's list
  int selectedItem = -1;
};

// The words a screen reader says for the default actions and the progress
// value, in English. A window that speaks other languages gives the paint
// manager its own (SetAccTexts): then each is a text its resolver turns into
// the shown language, a text id say, looked up anew on every question, so a
// language switch needs nothing more. "%1" in `percent` stands for the number.
struct AccTexts {
  std::wstring press = L"Press";
  std::wstring jump = L"Jump";
  std::wstring check = L"Check";
  std::wstring uncheck = L"Uncheck";
  std::wstring select = L"Select";
  std::wstring open = L"Open";
  std::wstring close = L"Close";
  std::wstring percent = L"%1%";
};

// The nodes of `pm`'s shown controls: interactive ones, labels with text,
// progress bars, and any control with an `accname` (image-only controls).
std::vector<AccNode> DescribeAccessible(const PaintManager& pm);

// Index of the node of `c` in `nodes`, -1 when it has none.
int FindAccNode(const std::vector<AccNode>& nodes, const Control* c);

// One line per node for tests and logs: "role|name|value|states".
std::wstring AccNodeLine(const AccNode& n);

}  // namespace skinui
