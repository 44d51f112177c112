// Keyboard focus, portable: which controls take part in the tab order, the
// order itself (the page as it is seen: rows top to bottom, each row in
// reading direction) and the pure steps the window's keys use.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/geometry.h"

namespace skinui {

class Canvas;
class Control;
class PaintManager;

// Interactive (buttons, links, check boxes, edits, combos), enabled, shown
// with every ancestor (a hidden tab page hides its controls) and laid out.
bool IsFocusable(const Control& c);

// Indices of `rects` in visual order. Rectangles whose vertical centre lies
// within the band of a row's first rectangle share that row; rows go top to
// bottom, a row left to right (right to left when `rtl`, on rectangles that
// are already mirrored).
std::vector<size_t> VisualOrder(const std::vector<Rect>& rects, bool rtl);

// The focusable controls of `pm` in visual order; `also` (if not null) takes
// its place among them even when it cannot take focus now.
std::vector<Control*> TabOrder(const PaintManager& pm, Control* also = nullptr);

// The index after (or before, `backward`) `current` in a cycle of `count`;
// from -1 the first (last). -1 when `count` is 0.
int StepInOrder(int count, int current, bool backward);

// Type-to-select in a list: the first item after `current` (wrapping) whose
// text starts with `typed` without regard to case; when `typed` repeats one
// character ("aaa") the items starting with it are cycled. -1: none.
int TypeToSelect(const std::vector<std::wstring>& items, int current, const std::wstring& typed);

// The focus mark: a dotted rectangle `thickness` px wide just outside `r`.
void DrawFocusMark(Canvas& canvas, const Rect& r, int thickness, uint32_t argb);

}  // namespace skinui
