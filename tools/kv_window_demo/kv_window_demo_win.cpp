// Shows the skin's main window markup on KvWindowBase, for people and for
// the screenshot test:
//   kv_window_demo --skin skin.zip [--lang en] [--page 0|1|2]
//                  [--report FILE] [--dump DIR] [--backdrop]
// --report writes, once the window is shown, the window's and the install
// button's screen rectangles ("window x y w h" / "install x y w h"), the
// scale and the direction; --dump writes the window's and the shadow's
// surfaces as PNG files; --backdrop puts a plain light window behind it so
// the shadow has something to fall on.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "base/text_convert.h"
#include "toolkit/controls.h"
#include "toolkit/zip_archive.h"
#include "ui/kv_window_base.h"
#include "ui/text_table.h"

namespace {

struct Args {
  std::wstring skin, lang = L"en", report, dump;
  int page = 0;
  bool backdrop = false;
};

bool WritePng(const std::wstring& path, const uint32_t* px, int w, int h) {
  if (!px || w <= 0 || h <= 0) return false;
  std::vector<unsigned char> rgba(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
    uint32_t p = px[i], a = p >> 24;
    auto un = [&](uint32_t c) { return static_cast<unsigned char>(a ? std::min<uint32_t>(255, (c * 255 + a / 2) / a) : 0); };
    rgba[i * 4 + 0] = un((p >> 16) & 0xFF);
    rgba[i * 4 + 1] = un((p >> 8) & 0xFF);
    rgba[i * 4 + 2] = un(p & 0xFF);
    rgba[i * 4 + 3] = static_cast<unsigned char>(a);
  }
  return stbi_write_png(WideToUtf8(path).c_str(), w, h, 4, rgba.data(), w * 4) != 0;
}

class DemoWnd : public KvWindowBase {
 public:
  explicit DemoWnd(const Args& a) : args_(a) { Manager().SetTextResolver([](const std::wstring& id) { return GetText(id); }); }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"SkinDemoFrame"; }
  std::wstring GetSkinFile() override { return L"InstallMainWnd.xml"; }
  void OnFinalMessage(HWND) override { PostQuitMessage(0); }

  void InitWindow() override {
    KvWindowBase::InitWindow();
    auto& pm = Manager();
    if (auto* edit = pm.Find<skinui::Edit>(L"installPath")) edit->SetText(L"C:\\Program Files\\Quorvane");
    if (auto* combo = pm.Find<skinui::Combo>(L"language_combo")) {
      for (const auto& e : LanguageTable()) {
        combo->AddItem(skinui::ComboItem{e.displayName, e.code, e.displayName, 26, skinui::Rect{6, 0, 6, 0}});
        if (CurrentLanguage() == e.code) combo->SelectItem(combo->GetCount() - 1);
      }
    }
    ApplyComboDirection();
    if (auto* tabs = pm.Find<skinui::TabLayout>(L"InstallStatusLayout")) tabs->SelectItem(args_.page);
    if (args_.page == 1) {
      if (auto* ring = pm.FindControl(L"install_ring")) ring->SetVisible(true);
      if (auto* bar = pm.Find<skinui::Progress>(L"progres")) bar->SetValue(42);
    }
    Pump().On(L"itemselect", L"language_combo", [this](const skinui::Notification& n) {
      auto* combo = static_cast<skinui::Combo*>(n.sender);
      if (const skinui::ComboItem* item = combo->GetItem(combo->GetCurSel())) {
        SetCurrentLanguage(item->userData);
        LoadLanguage(L"language\\" + item->userData + L".xml");
        ApplyLanguage();
        ApplyComboDirection();
      }
    });
    Pump().On(L"click", L"grantoption", [this](const skinui::Notification& n) {
      auto* box = static_cast<skinui::Option*>(n.sender);
      if (auto* install = Manager().FindControl(L"install")) install->SetEnabled(!box->IsSelected());
    });
  }

  // As the main window does: the combo's arrow follows the direction.
  void ApplyComboDirection() {
    auto* combo = Manager().Find<skinui::Combo>(L"language_combo");
    if (!combo) return;
    const bool rtl = IsLayoutRtl();
    const wchar_t* corner = rtl ? L"' corner='30,10,10,10'" : L"' corner='10,10,30,10'";
    combo->SetAttribute(L"normalimage", std::wstring(L"file='") +
                                            (rtl ? L"install_drop_down_normal_reverse.svg" : L"install_drop_down_normal.svg") + corner);
    combo->SetAttribute(L"pushedimage", std::wstring(L"file='") +
                                            (rtl ? L"install_drop_down_select_reverse.svg" : L"install_drop_down_select.svg") + corner);
    combo->SetAttribute(L"hotimage", std::wstring(L"file='") +
                                         (rtl ? L"install_drop_down_hover_reverse.svg" : L"install_drop_down_hover.svg") + corner);
    combo->Invalidate();
  }

 public:
  // Once shown and painted: the report and the dumps.
  void Report() {
    Repaint();
    RECT wr;
    GetWindowRect(GetHWND(), &wr);
    if (!args_.dump.empty()) {
      int w = 0, h = 0;
      const uint32_t* px = SurfacePixels(w, h);
      WritePng(args_.dump + L"\\window.png", px, w, h);
      px = ShadowPixels(w, h);
      WritePng(args_.dump + L"\\shadow.png", px, w, h);
    }
    if (args_.report.empty()) return;
    std::string out;
    char line[160];
    snprintf(line, sizeof line, "window %ld %ld %ld %ld\n", wr.left, wr.top, wr.right - wr.left, wr.bottom - wr.top);
    out += line;
    for (const wchar_t* name : {L"install", L"createshortcut", L"closebtn", L"startApp", L"progres", L"language_combo"}) {
      skinui::Control* c = Manager().FindControl(name);
      if (!c || !c->IsVisibleInTree()) continue;
      skinui::Rect r = c->GetPos();
      snprintf(line, sizeof line, "%s %d %d %d %d\n", WideToUtf8(name).c_str(), static_cast<int>(wr.left + r.left),
               static_cast<int>(wr.top + r.top), r.Width(), r.Height());
      out += line;
    }
    // Samples of the surfaces as drawn: the background left of the middle,
    // and the shadow a quarter into its bottom margin.
    int w = 0, h = 0;
    if (const uint32_t* px = SurfacePixels(w, h); px && w > 20) {
      snprintf(line, sizeof line, "bgpixel %08x\n", px[static_cast<size_t>(h / 2) * w + 20]);
      out += line;
    }
    if (const uint32_t* px = ShadowPixels(w, h); px && h > 0) {
      int size = Manager().Shadow().size;
      snprintf(line, sizeof line, "shadowpixel %08x\n", px[static_cast<size_t>(h - size + size / 4) * w + w / 2]);
      out += line;
    }
    snprintf(line, sizeof line, "scale %d\nshadow %d %s\nrtl %d\n", GetScale(), Manager().Shadow().size,
             WideToUtf8(Manager().Shadow().image).c_str(), IsLayoutRtl() ? 1 : 0);
    out += line;
    std::ofstream f(WideToUtf8(args_.report + L".tmp"), std::ios::binary);
    f << out;
    f.close();
    MoveFileExW((args_.report + L".tmp").c_str(), args_.report.c_str(), MOVEFILE_REPLACE_EXISTING);
  }

 private:
  Args args_;
};

LRESULT CALLBACK BackdropProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); }

void CreateBackdrop() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = BackdropProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = CreateSolidBrush(RGB(214, 219, 228));
  wc.lpszClassName = L"SkinDemoBackdrop";
  RegisterClassW(&wc);
  HWND h = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName, L"", WS_POPUP, 0, 0,
                           GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                           wc.hInstance, nullptr);
  ShowWindow(h, SW_SHOWNOACTIVATE);
  UpdateWindow(h);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The installer's manifest asks for per-monitor DPI awareness; the demo asks in code.
  using SetCtx = BOOL(WINAPI*)(HANDLE);
  if (auto fn = reinterpret_cast<SetCtx>(
          reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext"))))
    fn(reinterpret_cast<HANDLE>(-4) /* per monitor v2 */);

  Args a;
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; i < argc; ++i) {
    std::wstring k = argv[i];
    auto next = [&]() { return i + 1 < argc ? std::wstring(argv[++i]) : std::wstring(); };
    if (k == L"--skin") a.skin = next();
    else if (k == L"--lang") a.lang = next();
    else if (k == L"--page") a.page = _wtoi(next().c_str());
    else if (k == L"--report") a.report = next();
    else if (k == L"--dump") a.dump = next();
    else if (k == L"--backdrop") a.backdrop = true;
  }
  LocalFree(argv);

  std::ifstream f(WideToUtf8(a.skin).c_str(), std::ios::binary);
  static std::string zip((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (!zip.empty()) SetSkinArchive(zip.data(), zip.size());
  SetCurrentLanguage(a.lang);
  LoadLanguage(L"language\\" + a.lang + L".xml");

  skinui::WindowImplBase::SetInstance(instance);
  if (a.backdrop) CreateBackdrop();
  DemoWnd* wnd = new DemoWnd(a);
  if (!wnd->Create(nullptr, GetText(L"tt_wizard").c_str(),
                   WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, WS_EX_WINDOWEDGE)) {
    delete wnd;
    return 1;
  }
  wnd->CenterWindow();
  wnd->ShowWindow(true);
  wnd->Report();
  int code = skinui::WindowImplBase::MessageLoop();
  delete wnd;
  return code;
}
