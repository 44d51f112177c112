// The reference for the start-up benchmark: the least a Win32 program does to
// show a window like the installer's. It registers a class, creates a hidden
// 550x365 layered pop-up, fills a premultiplied 32-bit surface, hands it to
// UpdateLayeredWindow, shows the window and runs the message loop until closed.
// Built with the installer's toolchain and flags; not shipped, not a test.
#include <windows.h>

#include <cstdint>

#include "base/gdi_win.h"

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  const int width = 550, height = 365;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = L"QvBenchLayered";
  if (!RegisterClassExW(&wc)) return 1;
  HWND hwnd = CreateWindowExW(WS_EX_LAYERED, wc.lpszClassName, L"Layered window reference", WS_POPUP,
                              100, 100, width, height, nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;

  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  WindowDc screen(nullptr);
  UniqueMemoryDc dc(CreateCompatibleDC(screen.get()));
  UniqueBitmap bitmap(CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap) return 1;
  GdiSelection selected(dc.get(), bitmap.get());
  auto* px = static_cast<uint32_t*>(bits);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) px[y * width + x] = 0xFF101830u + static_cast<uint32_t>(y * 64 / height);

  POINT src = {0, 0}, pos = {100, 100};
  SIZE size = {width, height};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  UpdateLayeredWindow(hwnd, screen.get(), &pos, &size, dc.get(), &src, 0, &blend, ULW_ALPHA);
  ShowWindow(hwnd, SW_SHOW);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
