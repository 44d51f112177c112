// The window messages through which the install's workers reach the main
// window. Only the window's adapter (window_install_events_win.h) posts them
// and only the main window handles them (Windows only).
#pragma once
#include <windows.h>

// wParam: the bar value on the scale of ui/install_presentation.h.
#define WM_CHANNEL_PROGRESS (WM_USER + 101)
// The install failed; the text is WindowInstallEvents::FailureText.
#define WM_CHANNEL_FAILED (WM_USER + 102)
