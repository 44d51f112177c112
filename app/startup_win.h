// The start-up steps that prepare the process before the main window exists.
// Each failure is ignored but the skin package's, without which no window can
// be made.
#pragma once
#include <windows.h>

// Tells the Program Compatibility Assistant this executable needs no follow-up
// (an existing HKCU key only; it is not created).
void MarkCompatibilityAssistantDone();
// Hands the embedded skin package ("IDR_ZIPRES" of type "ZIPRES") to the
// toolkit; false when the executable has none.
bool LoadSkinPackage(HINSTANCE instance);
// Centres `window` over its owner, else over the work area of the nearest
// monitor, kept inside that work area.
void CentreWindow(HWND window);
