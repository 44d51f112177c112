#include "app/plain_window_win.h"

#include <commctrl.h>

#include "install/messages.h"
#include "ui/text_table.h"

namespace {
const wchar_t kClassName[] = L"InstallMainFrame";
constexpr int kFirstId = 1000;
}  // namespace

PlainWindow::PlainWindow(const LaunchOptions& opts, std::unique_ptr<ChannelController> ch)
    : options(opts), channel(std::move(ch)) {
  if (options.channelId.empty()) options.channelId = L"5";
}

PlainWindow::~PlainWindow() {
  if (run) run->JoinReportThreads();
  if (font) DeleteObject(font);
}

bool PlainWindow::Create(const std::wstring& caption) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClassName;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(106));
  RegisterClassExW(&wc);
  window = CreateWindowExW(WS_EX_WINDOWEDGE, kClassName, caption.c_str(),
                           WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, CW_USEDEFAULT,
                           CW_USEDEFAULT, 550, 365, nullptr, nullptr, instance, this);
  return window != nullptr;
}

LRESULT CALLBACK PlainWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<PlainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->window = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<PlainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  LRESULT r = self->Handle(msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    delete self;
  }
  return r;
}

void PlainWindow::Add(const wchar_t* name, const wchar_t* cls, const wchar_t* textId, DWORD style, int onPage,
                      int x, int y, int w, int h, bool hidden) {
  int id = kFirstId + static_cast<int>(controls.size());
  HWND c = CreateWindowExW(0, cls, textId ? GetText(textId).c_str() : L"", WS_CHILD | style, x, y, w, h, window,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  controls[name] = Control{c, onPage, hidden};
  idToName[id] = name;
}

void PlainWindow::Initialise() {
  font = CreateFontW(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY, 0, L"Arial");
  std::wstring folder = options.installPath;
  if (folder.empty()) {
    wchar_t programFiles[MAX_PATH] = {};
    GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
    folder = std::wstring(programFiles) + L"\\Quorvane";
  }
  Add(L"title", L"STATIC", L"tt_wizard", SS_CENTER, -1, 20, 16, 490, 24);
  Add(L"closebtn", L"BUTTON", nullptr, BS_PUSHBUTTON, -1, 500, 8, 28, 24);
  SetWindowTextW(Find(L"closebtn"), L"\x00D7");
  Add(L"installPath", L"EDIT", nullptr, WS_BORDER | ES_AUTOHSCROLL, 0, 60, 70, 420, 26);
  SetWindowTextW(Find(L"installPath"), folder.c_str());
  Add(L"install", L"BUTTON", L"tt_fastinstall", BS_DEFPUSHBUTTON, 0, 195, 120, 160, 40);
  Add(L"createshortcut", L"BUTTON", L"tt_createdesktop", BS_AUTOCHECKBOX, 0, 60, 190, 200, 22);
  Add(L"autostart", L"BUTTON", L"tt_autostartup", BS_AUTOCHECKBOX, 0, 60, 216, 200, 22);
  Add(L"grantoption", L"BUTTON", L"tt_agree", BS_AUTOCHECKBOX, 0, 60, 242, 200, 22);
  SendMessageW(Find(L"createshortcut"), BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(Find(L"grantoption"), BM_SETCHECK, BST_CHECKED, 0);
  Add(L"install_status", L"STATIC", L"tt_install", 0, 1, 40, 200, 470, 22);
  Add(L"installstatustips", L"STATIC", L"tt_failed", 0, 1, 40, 200, 470, 40, true);
  Add(L"progres", L"msctls_progress32", nullptr, PBS_SMOOTH, 1, 40, 250, 470, 10);
  SendMessageW(Find(L"progres"), PBM_SETRANGE32, 0, 100);
  Add(L"installfailed_towebsit", L"BUTTON", L"tt_goto_website", BS_PUSHBUTTON, 1, 40, 280, 470, 28, true);
  Add(L"installover", L"STATIC", L"tt_installover", SS_CENTER, 2, 40, 130, 470, 24);
  Add(L"startApp", L"BUTTON", L"tt_starter", BS_PUSHBUTTON, 2, 185, 200, 180, 40);
  UpdatePageVisibility();

  InstallRunHooks hooks;
  hooks.installFolder = [this] {
    wchar_t text[1024] = {};
    GetWindowTextW(Find(L"installPath"), text, 1024);
    return std::wstring(text);
  };
  run = std::make_unique<InstallRun>(options, *this, *channel, window, std::move(hooks));
  if (options.autoStart || options.autoInstall) run->StartInstall();
}

void PlainWindow::UpdatePageVisibility() {
  for (auto& kv : controls) {
    bool show = !kv.second.hidden && (kv.second.page == -1 || kv.second.page == page);
    ShowWindow(kv.second.hwnd, show ? SW_SHOW : SW_HIDE);
  }
}

HWND PlainWindow::Find(const std::wstring& name) const {
  auto it = controls.find(name);
  return it == controls.end() ? nullptr : it->second.hwnd;
}

LRESULT PlainWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      Initialise();
      return 0;
    case WM_CHANNEL_PROGRESS:
      run->OnChannelProgress(static_cast<unsigned>(wp));
      return 0;
    case WM_CHANNEL_FAILED:
      run->OnChannelFailed();
      return 0;
    case WM_COMMAND: {
      auto it = idToName.find(LOWORD(wp));
      if (it == idToName.end() || HIWORD(wp) != BN_CLICKED) break;
      if (it->second == L"install") run->StartInstall();
      if (it->second == L"closebtn") CloseWindow();
      if (it->second == L"startApp") {
        ExitCode = 0;
        CloseWindow();
      }
      return 0;
    }
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      // Closing waits for a running channel install.
      if (run) run->JoinChannelThread();
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, msg, wp, lp);
}

void PlainWindow::SetControlVisible(const std::wstring& name, bool visible) {
  auto it = controls.find(name);
  if (it == controls.end()) return;
  it->second.hidden = !visible;
  UpdatePageVisibility();
}

void PlainWindow::SetParentVisible(const std::wstring& name, bool visible) {
  // The plain window has no containers: the control stands for its row.
  SetControlVisible(name, visible);
}

void PlainWindow::SetControlEnabled(const std::wstring& name, bool enabled) {
  if (HWND c = Find(name)) EnableWindow(c, enabled);
}

void PlainWindow::SetControlText(const std::wstring& name, const std::wstring& text) {
  if (HWND c = Find(name)) SetWindowTextW(c, GetText(text).c_str());
}

bool PlainWindow::IsControlSelected(const std::wstring& name) {
  HWND c = Find(name);
  return c && SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void PlainWindow::SelectTabPage(const std::wstring&, int newPage) {
  page = newPage;
  UpdatePageVisibility();
}

int PlainWindow::ProgressValue(const std::wstring& name) {
  HWND c = Find(name);
  return c ? static_cast<int>(SendMessageW(c, PBM_GETPOS, 0, 0)) : 0;
}

void PlainWindow::SetProgressValue(const std::wstring& name, int value) {
  if (HWND c = Find(name)) SendMessageW(c, PBM_SETPOS, value, 0);
}

void PlainWindow::CloseWindow() {
  if (IsWindow(window)) PostMessageW(window, WM_CLOSE, 0, 0);
}
