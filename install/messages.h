// Window messages through which worker threads report to the main window.
#pragma once

// wParam 0..99 progress, 100 (no effect), 101 the full installer finished.
constexpr unsigned kWmChannelProgress = 0x400 + 101;  // WM_CHANNEL_PROGRESS
// The channel install failed; the text is the controller's statusText.
constexpr unsigned kWmChannelFailed = 0x400 + 102;    // WM_CHANNEL_FAILED

#ifdef _WIN32
#include <windows.h>
#define WM_CHANNEL_PROGRESS (WM_USER + 101)
#define WM_CHANNEL_FAILED (WM_USER + 102)
#endif
