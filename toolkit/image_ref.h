// An image attribute of the markup: either a plain file name ("bg.png") or
// a list "file='x.svg' dest='0,0,16,16' corner='4,4,4,4' fade='128'".
// dest and corner are given at 100 %; the painter scales them.
#pragma once
#include <string>

#include "toolkit/geometry.h"

namespace skinui {

struct ImageRef {
  std::wstring file;
  Rect dest;  // within the control, at 100 %
  bool hasDest = false;
  Rect corner;  // nine-slice corners of the image at 100 %
  int alpha = 255;
  bool Empty() const { return file.empty(); }
};

ImageRef ParseImageRef(const std::wstring& value);

}  // namespace skinui
