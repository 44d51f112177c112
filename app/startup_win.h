// The start-up steps that prepare the process before the main window exists.
// Each failure is ignored: start-up never stops and never shows an error.
#pragma once
#include <windows.h>

// Tells the Program Compatibility Assistant this executable needs no follow-up
// (an existing HKCU key only; it is not created).
void MarkCompatibilityAssistantDone();
// Hands the embedded skin package ("IDR_ZIPRES" of type "ZIPRES") to the toolkit.
void LoadSkinPackage(HINSTANCE instance);
// Centres `window` over its owner, else over the work area of the nearest
// monitor, kept inside that work area.
void CentreWindow(HWND window);
