#include "toolkit/focus.h"

#include <algorithm>
#include <numeric>

#include "toolkit/canvas.h"
#include "toolkit/control.h"
#include "toolkit/paint_manager.h"

namespace skinui {

bool IsFocusable(const Control& c) {
  return c.IsInteractive() && c.IsEnabled() && c.IsVisibleInTree() && !c.GetPos().Empty();
}

std::vector<size_t> VisualOrder(const std::vector<Rect>& rects, bool rtl) {
  std::vector<size_t> byTop(rects.size());
  std::iota(byTop.begin(), byTop.end(), size_t{0});
  std::stable_sort(byTop.begin(), byTop.end(), [&](size_t a, size_t b) { return rects[a].top < rects[b].top; });
  std::vector<size_t> out;
  out.reserve(rects.size());
  size_t i = 0;
  while (i < byTop.size()) {
    // The row is the band of its first (topmost) rectangle; it does not grow,
    // so a tall control cannot chain unrelated rows together.
    const Rect& first = rects[byTop[i]];
    size_t end = i + 1;
    while (end < byTop.size()) {
      const Rect& r = rects[byTop[end]];
      if ((r.top + r.bottom) / 2 >= first.bottom) break;
      ++end;
    }
    std::stable_sort(byTop.begin() + static_cast<std::ptrdiff_t>(i), byTop.begin() + static_cast<std::ptrdiff_t>(end),
                     [&](size_t a, size_t b) {
                       return rtl ? rects[a].right > rects[b].right : rects[a].left < rects[b].left;
                     });
    out.insert(out.end(), byTop.begin() + static_cast<std::ptrdiff_t>(i),
               byTop.begin() + static_cast<std::ptrdiff_t>(end));
    i = end;
  }
  return out;
}

std::vector<Control*> TabOrder(const PaintManager& pm, Control* also) {
  std::vector<Control*> controls;
  std::vector<Rect> rects;
  pm.Visit([&](Control& c) {
    if (&c != also && !IsFocusable(c)) return;
    controls.push_back(&c);
    rects.push_back(c.GetPos());
  });
  std::vector<Control*> out;
  for (size_t i : VisualOrder(rects, pm.IsLayoutRtl())) out.push_back(controls[i]);
  return out;
}

int StepInOrder(int count, int current, bool backward) {
  if (count <= 0) return -1;
  if (current < 0 || current >= count) return backward ? count - 1 : 0;
  return backward ? (current + count - 1) % count : (current + 1) % count;
}

namespace {
// Lower case for the scripts of the language list, the same on every
// platform and locale (towlower depends on the C library's locale).
wchar_t Fold(wchar_t c) {
  if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9) ||
      (c >= 0x410 && c <= 0x42F))
    return static_cast<wchar_t>(c + 0x20);
  if (c >= 0x400 && c <= 0x40F) return static_cast<wchar_t>(c + 0x50);
  if (c >= 0x100 && c <= 0x17F && c % 2 == 0 && c != 0x138) return static_cast<wchar_t>(c + 1);
  return c;
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Fold(text[i]) != Fold(prefix[i])) return false;
  return true;
}
}  // namespace

int TypeToSelect(const std::vector<std::wstring>& items, int current, const std::wstring& typed) {
  const int n = static_cast<int>(items.size());
  if (n == 0 || typed.empty()) return -1;
  bool sameChar = std::all_of(typed.begin(), typed.end(), [&](wchar_t c) { return Fold(c) == Fold(typed[0]); });
  // A longer prefix keeps the current item when it still matches; one
  // character (or the same one again) moves on to the next match.
  const std::wstring prefix = sameChar ? typed.substr(0, 1) : typed;
  const int start = (sameChar || current < 0) ? current + 1 : current;
  for (int k = 0; k < n; ++k) {
    int i = ((start + k) % n + n) % n;
    if (StartsWith(items[static_cast<size_t>(i)], prefix)) return i;
  }
  return -1;
}

void DrawFocusMark(Canvas& canvas, const Rect& r, int thickness, uint32_t argb) {
  const int t = std::max(1, thickness);
  const Rect o{r.left - 2 * t, r.top - 2 * t, r.right + 2 * t, r.bottom + 2 * t};
  // Dots of `t` px with gaps of `t` px, like the system's focus rectangle.
  for (int x = o.left; x < o.right; x += 2 * t) {
    canvas.FillRect(Rect{x, o.top, std::min(x + t, o.right), o.top + t}, argb);
    canvas.FillRect(Rect{x, o.bottom - t, std::min(x + t, o.right), o.bottom}, argb);
  }
  for (int y = o.top + 2 * t; y < o.bottom - t; y += 2 * t) {
    canvas.FillRect(Rect{o.left, y, o.left + t, std::min(y + t, o.bottom - t)}, argb);
    canvas.FillRect(Rect{o.right - t, y, o.right, std::min(y + t, o.bottom - t)}, argb);
  }
}

}  // namespace skinui
