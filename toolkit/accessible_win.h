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

// The answer to WM_GETOBJECT for `acc` (oleacc's LresultFromObject); 0 when
// oleacc cannot be loaded. oleacc is not a KnownDLL, so it is loaded from the
// system folder only, never by name from the program's own folder.
LRESULT AccessibleResult(WPARAM wp, IAccessible* acc);

// The WinEvent for `e` on the node of `c` (CHILDID_SELF for a change of
// structure or a control without a node).
void RaiseWinEvent(HWND hwnd, PaintManager& pm, Control* c, AccEvent e);

}  // namespace skinui
