// The MSAA side of a skinned window (Windows only): the client object the
// window returns for WM_GETOBJECT, built on the portable DescribeAccessible.
#pragma once
#include <windows.h>
#include <oleacc.h>

#include <memory>

#include "toolkit/paint_manager.h"

namespace skinui {

// What the COM objects reach the window through; the window clears `pm` and
// `hwnd` when it goes, so a client that holds an object gets errors, not a
// crash.
struct AccessBridge {
  HWND hwnd = nullptr;
  PaintManager* pm = nullptr;
};

// A new client object (reference count 1).
IAccessible* CreateClientAccessible(const std::shared_ptr<AccessBridge>& bridge);

// The WinEvent for `e` on the node of `c` (CHILDID_SELF for a change of
// structure or a control without a node).
void RaiseWinEvent(HWND hwnd, PaintManager& pm, Control* c, AccEvent e);

}  // namespace skinui
