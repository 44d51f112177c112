// The main window under Wine: a real skinned window in a virtual display,
// driven with real mouse clicks and typing where the toolkit takes them, and
// with notifications by control name elsewhere. Screenshots of the pages in
// every language go to QV_SCREENSHOT_DIR for a person to look at.
#include "ui/main_wnd.h"
// The shell headers need windows.h first.
#include <gtest/gtest.h>
#include <oleacc.h>
#include <tlhelp32.h>
#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>
#include <system_error>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "app/install_wiring.h"
#include "base/debug_output.h"
#include "base/gdi_win.h"
#include "base/registry_win.h"
#include "base/text_convert.h"
#include "base/vendor.h"
#include "base/win_handle.h"
#include "install/registration.h"
#include "testing/fixtures/key_input_win.h"
#include "testing/fixtures/msaa_client_win.h"
#include "testing/wine/wine_test_support.h"
#include "toolkit/controls.h"
#include "toolkit/gdi_text_win.h"
#include "toolkit/zip_archive.h"
#include "ui/language_choice.h"
#include "ui/path_pattern.h"
#include "ui/progress_text.h"
#include "ui/shell_open_win.h"
#include "ui/text_table.h"
#include "ui/user_ini.h"

namespace {

using testsupport::FileExists;

// ---------------------------------------------------------------------------
// A channel controller that plays a scripted run through the window's events:
// download progress (bar 0, 12, 42), holding there until the test releases
// it, then the installer's progress (bar 70, 85, 99) and success (100, 101),
// or a failure with the installer's text (none: a download without attempts).
class ScriptedChannel : public ChannelController {
 public:
  std::vector<double> downloadedPerMille{0, 172, 601};
  std::vector<long> installerPercent{0, 52, 100};
  bool fail = false;
  bool throwInstead = false;
  std::wstring status;
  ChannelSettings settings;
  int configured = 0;
  std::atomic<bool> ran{false};
  UniqueHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  // A client process that must have ended before the channel is configured.
  HANDLE runningClient = nullptr;
  bool clientGoneAtConfigure = false;

  void Configure(const ChannelSettings& s) override {
    settings = s;
    ++configured;
    // Bounded wait on the UI thread: nothing later in the run can end it meanwhile.
    if (runningClient) clientGoneAtConfigure = WaitForSingleObject(runningClient, 10000) == WAIT_OBJECT_0;
  }
  void Run() override {
    ran = true;
    InstallEvents& events = *settings.events;
    for (double d : downloadedPerMille) events.OnDownloadProgress(d, 1000);
    WaitForSingleObject(release.get(), 60000);
    // As a thread of the controller that cannot start would end it.
    if (throwInstead) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    if (fail) {
      InstallFailure failure;
      failure.kind = status.empty() ? InstallFailureKind::kDownloadFailed : InstallFailureKind::kInstallerFailed;
      failure.installerText = status;
      events.OnFailed(failure);
      return;
    }
    for (long v : installerPercent) events.OnInstallerProgress(v);
    events.OnFinished();
  }
  CdnAttemptStats AttemptStats() override { return {}; }
  void Release() { SetEvent(release.get()); }
};

std::atomic<int> g_liveWindows{0};

// The window as the program makes it, counting itself so tests see it go.
class TestWnd : public CMainWnd {
 public:
  TestWnd(const InstallOptions& o, std::unique_ptr<ChannelController> c, ExitCodeSlot& exitCode)
      : CMainWnd(o, std::move(c), Actions(o), exitCode) {
    ++g_liveWindows;
    openUrl = [this](const std::wstring& url) { opened.push_back(url); };
    pickFolder = [this](const std::wstring& title, std::wstring& picked) {
      pickerTitle = title;
      if (nextPick.empty()) return false;
      picked = nextPick;
      return true;
    };
  }
  ~TestWnd() override { --g_liveWindows; }
  // The program's own wiring (stopping a client, the registration); no
  // reports leave the machine.
  static InstallActions Actions(InstallOptions o) {
    ApplyWindowDefaults(o);
    InstallActions actions = MakeInstallActions(o, "");
    actions.sendInstallReport = nullptr;
    actions.prepareActivationReport = nullptr;
    return actions;
  }
  skinui::PaintManager& Pm() { return Manager(); }
  std::vector<std::wstring> opened;
  std::wstring nextPick, pickerTitle;
};

bool g_quit = false;

// The combo's state images, read through the toolkit's own members.
struct ComboImages : skinui::Combo {
  static std::wstring Of(skinui::Control* c, skinui::ImageRef skinui::Button::*image) {
    return (static_cast<skinui::Button*>(c)->*image).file;
  }
  static std::wstring Normal(skinui::Control* c) { return Of(c, &ComboImages::normalImage_); }
  static std::wstring Hot(skinui::Control* c) { return Of(c, &ComboImages::hotImage_); }
  static std::wstring Pushed(skinui::Control* c) { return Of(c, &ComboImages::pushedImage_); }
};

void ExpectComboImages(skinui::Control* combo, bool reversed, const std::string& name) {
  const std::wstring tail = reversed ? L"_reverse.svg" : L".svg";
  EXPECT_EQ(ComboImages::Normal(combo), L"install_drop_down_normal" + tail) << name;
  EXPECT_EQ(ComboImages::Hot(combo), L"install_drop_down_hover" + tail) << name;
  EXPECT_EQ(ComboImages::Pushed(combo), L"install_drop_down_select" + tail) << name;
}

// Dispatches messages until `done` holds or `boundMs` passes (a bound that
// proves nothing hangs, not a timing requirement).
// Button releases this thread has dispatched: a click has been handled once
// its release is counted.
int g_buttonUps = 0;

bool PumpUntil(const std::function<bool()>& done, DWORD boundMs = 30000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > boundMs) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        g_quit = true;
        continue;
      }
      testsupport::NoteKeyRelease(msg);
      if (skinui::WindowImplBase::PreTranslate(&msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      if (msg.message == WM_LBUTTONUP) ++g_buttonUps;
    }
    if (done()) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return true;
}

void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  PumpUntil([&] { return GetTickCount() - start >= ms; }, ms + 1000);
}

std::string ScreenshotDir() { return QV_SCREENSHOT_DIR; }

// Captures the window's screen area with its shadow margin, as the display
// shows it (the hosted folder field included), into `<dir>/<name>.png`.
bool Screenshot(HWND hwnd, const std::string& name, int extraBottom = 0) {
  std::wstring dir = Utf8ToWide("Z:" + ScreenshotDir());
  for (wchar_t& ch : dir)
    if (ch == L'/') ch = L'\\';
  SHCreateDirectoryExW(nullptr, dir.c_str(), nullptr);
  RECT r;
  GetWindowRect(hwnd, &r);
  const int margin = 24;
  const int x = std::max<int>(0, r.left - margin), y = std::max<int>(0, r.top - margin);
  const int w = r.right - r.left + 2 * margin, h = r.bottom - r.top + 2 * margin + extraBottom;
  WindowDc screen(nullptr);
  skinui::Surface shot;
  if (!shot.Ensure(w, h)) return false;
  BitBlt(shot.Dc(), 0, 0, w, h, screen.get(), x, y, SRCCOPY);
  GdiFlush();
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  const uint32_t* px = shot.Bits();
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
    rgb[i * 3 + 0] = static_cast<unsigned char>((px[i] >> 16) & 0xFF);
    rgb[i * 3 + 1] = static_cast<unsigned char>((px[i] >> 8) & 0xFF);
    rgb[i * 3 + 2] = static_cast<unsigned char>(px[i] & 0xFF);
  }
  const std::string path = "Z:" + ScreenshotDir() + "/" + name + ".png";
  return stbi_write_png(path.c_str(), w, h, 3, rgb.data(), w * 3) != 0;
}

// Moves the real pointer over the control and clicks it.
void ClickControl(HWND hwnd, skinui::Control* c) {
  ASSERT_NE(c, nullptr);
  RECT wr;
  GetWindowRect(hwnd, &wr);
  const skinui::Rect& p = c->GetPos();
  SetForegroundWindow(hwnd);
  SetCursorPos(wr.left + (p.left + p.right) / 2, wr.top + (p.top + p.bottom) / 2);
  PumpFor(50);
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  const int ups = g_buttonUps;
  SendInput(2, in, sizeof(INPUT));
  ASSERT_TRUE(PumpUntil([&] { return g_buttonUps > ups; })) << "the click never arrived";
}

// The native edit that hosts the folder field.
HWND FolderEdit(HWND owner) {
  HWND host = nullptr;
  while ((host = FindWindowExW(nullptr, host, L"SkinUiEditHost", nullptr)) != nullptr)
    if (GetWindow(host, GW_OWNER) == owner) return FindWindowExW(host, nullptr, L"EDIT", nullptr);
  return nullptr;
}

// Types into the native edit as a keyboard would: select all, then characters.
void TypeIntoFolderField(HWND owner, const std::wstring& text) {
  HWND edit = FolderEdit(owner);
  ASSERT_NE(edit, nullptr);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  SendMessageW(edit, WM_CHAR, VK_BACK, 0);
  for (wchar_t ch : text) SendMessageW(edit, WM_CHAR, ch, 0);
  PumpFor(50);
}

std::wstring EditText(HWND edit) {
  wchar_t text[1024] = {};
  GetWindowTextW(edit, text, 1024);
  return text;
}

// The width of `text` as a Windows machine draws it: the prefix draws "Arial"
// with a wider stand-in that has Arabic letters, so Arial texts in the
// letters Liberation Sans has are measured with it (it has Arial's metrics).
// Other texts and faces are measured as they are drawn.
int WindowsTextWidth(skinui::PaintManager& pm, const std::wstring& text, int fontId) {
  const skinui::FontDesc& font = pm.ResolveFont(fontId);
  // Liberation Sans has Latin, Greek and Cyrillic letters (not Arabic).
  bool covered = true;
  for (wchar_t ch : text) covered = covered && (ch < 0x0530 || (ch >= 0x1E00 && ch < 0x2070));
  if (font.face != L"Arial" || !covered) return pm.GetTextMeasurer()->Measure(text, fontId, pm.GetScale()).cx;
  UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  UniqueFont f(CreateFontW(-pm.ScaleLen(font.size), 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, font.italic,
                           font.underline, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY, 0,
                           L"Liberation Sans"));
  GdiSelection selected(dc.get(), f.get());
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc.get(), LF_FACESIZE, face);
  EXPECT_STREQ(face, L"Liberation Sans") << "scripts/setup installs it";
  RECT rc = {0, 0, 0, 0};
  DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &rc,
            DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  return rc.right - rc.left;
}

bool Inside(const skinui::Rect& inner, const skinui::Rect& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

// What a person would see as unfinished on the page shown: a text that does
// not fit its control (the skin wraps no text), a text control cut by the row that holds it or by the window,
// the controls of one row on top of each other. Every control that shows a text is checked, whatever page it
// is on. One line per fault.
std::vector<std::string> LayoutFaults(skinui::PaintManager& pm) {
  std::vector<std::string> faults;
  const skinui::Size client = pm.GetClientSize();
  pm.Visit([&](skinui::Control& c) {
    auto* label = dynamic_cast<skinui::Label*>(&c);
    if (!label || !label->IsVisibleInTree()) return;
    std::wstring shown = label->GetShownText();
    if (auto* combo = dynamic_cast<skinui::Combo*>(label)) {
      const skinui::ComboItem* item = combo->GetItem(combo->GetCurSel());
      shown = item ? pm.ResolveText(item->text) : std::wstring();
    }
    if (shown.empty()) return;
    const std::string name = WideToUtf8(c.GetName().empty() ? label->GetText() : c.GetName());
    const skinui::Rect& r = label->GetPos();
    const skinui::Rect pad = label->GetTextPadding();
    const int room = r.Width() - pm.ScaleLen(pad.left + pad.right);
    const int needed = WindowsTextWidth(pm, shown, label->GetFont());
    if (needed > room)
      faults.push_back(name + ": text needs " + std::to_string(needed) + " px, has " + std::to_string(room));
    if (r.left < 0 || r.top < 0 || r.right > client.cx || r.bottom > client.cy)
      faults.push_back(name + ": outside the window");
    else if (c.GetParent() && !c.IsFloat() && !Inside(r, c.GetParent()->GetPos()))
      faults.push_back(name + ": cut by the row that holds it");
  });
  const std::pair<const wchar_t*, const wchar_t*> rows[] = {
      {L"createshortcut", L"language_combo"}, {L"grantoption", L"protocol"}, {L"installPath", L"browse"}};
  for (const auto& row : rows) {
    skinui::Control* a = pm.FindControl(row.first);
    skinui::Control* b = pm.FindControl(row.second);
    if (!a || !b || !a->IsVisibleInTree() || !b->IsVisibleInTree()) continue;
    const skinui::Rect &ra = a->GetPos(), &rb = b->GetPos();
    if (!(ra.right <= rb.left || rb.right <= ra.left))
      faults.push_back(WideToUtf8(row.first) + " overlaps " + WideToUtf8(row.second));
  }
  return faults;
}

class MainWndTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static std::string zip;
    std::ifstream in(QV_SKIN_ZIP_FILE, std::ios::binary);
    zip.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    SetSkinArchive(zip.data(), zip.size());
  }
  void SetUp() override {
    ASSERT_TRUE(HasSkinArchive());
    UseLanguage(L"en");
    g_quit = false;
    exitCode.value = 7;  // anything but 0, to see the start button set it
  }
  void TearDown() override {
    if (window && g_liveWindows > 0) {
      if (channel) channel->Release();
      DestroyWindow(hwnd);
      PumpUntil([] { return g_liveWindows == 0; });
    }
    EXPECT_EQ(g_liveWindows, 0);
  }
  static void UseLanguage(const std::wstring& code) {
    ReleaseTextTable();
    SetCurrentLanguage(code);
    LoadLanguage(L"language\\" + code + L".xml");
  }
  void Open(InstallOptions options, bool show = true) {
    auto scripted = std::make_unique<ScriptedChannel>();
    channel = scripted.get();
    channel->fail = failRun;
    channel->throwInstead = throwRun;
    channel->status = failStatus;
    window = new TestWnd(options, std::move(scripted), exitCode);
    hwnd = window->Create(nullptr, GetText(L"tt_wizard").c_str(),
                          WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                          WS_EX_WINDOWEDGE);
    ASSERT_NE(hwnd, nullptr);
    window->CenterWindow();
    window->ShowWindow(show);
    PumpFor(400);
  }
  skinui::Control* C(const wchar_t* name) { return window->Pm().FindControl(name); }
  int Page() { return window->Pm().Find<skinui::TabLayout>(L"InstallStatusLayout")->GetCurSel(); }
  bool Shown(const wchar_t* name) {
    skinui::Control* c = C(name);
    return c && c->IsVisibleInTree();
  }

  TestWnd* window = nullptr;
  HWND hwnd = nullptr;
  ScriptedChannel* channel = nullptr;
  ExitCodeSlot exitCode;
  bool failRun = false;
  bool throwRun = false;
  std::wstring failStatus;
};

// The identification line is built once per process, and here it is built by
// the automatic start, before the language list exists, so it carries an empty
// language for the whole run. The window runs in a fresh process of this
// binary, so the line is its own whatever ran before.
TEST_F(MainWndTest, AutomaticStartComesBeforeTheLanguageList) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        InstallOptions options;
        options.autoStart = true;
        options.channelId = L"77";
        Open(options, false);
        std::string faults;
        if (!PumpUntil([&] { return channel->configured == 1; })) faults += " never configured;";
        if (Page() != 1) faults += " not on page 1;";
        const std::string line = channel->settings.userAgentLine;
        if (line.rfind("User-Agent: PC/Windows/", 0) != 0) faults += " prefix;";
        if (line.find("/77/Quorvane-PC/") == std::string::npos) faults += " channel;";
        if (line.empty() || line.back() != '/') faults += " the language part is not empty;";
        // The list is filled afterwards all the same, and later lines stay as built.
        if (window->Pm().Find<skinui::Combo>(L"language_combo")->GetCount() != 15) faults += " list;";
        if (window->Run()->UserAgentLine() != line) faults += " a later line differs;";
        std::fprintf(stderr, "line [%s] faults:%s end\n", line.c_str(), faults.c_str());
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), faults.empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "faults: end");
}

TEST_F(MainWndTest, WizardRunsFromOptionsToFinishedAndStartsTheClient) {
  // A progress-pipe server, as the full installer's updater would hold it.
  const std::wstring pipeName = L"\\\\.\\pipe\\qv_ui_test_" + std::to_wstring(GetCurrentProcessId());
  UniqueHandle server(CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr));
  ASSERT_TRUE(server.valid());
  std::mutex linesLock;
  std::vector<std::string> lines;
  SetDebugSink([&](const std::string& l) {
    std::lock_guard<std::mutex> g(linesLock);
    lines.push_back(l);
  });

  // The client the start button opens: a stand-in that leaves a mark.
  const std::wstring folder = testsupport::MakeTempFolder(L"ui wizard");
  ASSERT_TRUE(
      CopyFileW(Utf8ToWide("Z:" QV_MARK_CLIENT).c_str(), (folder + L"\\Quorvane.exe").c_str(), FALSE));
  InstallOptions options;
  options.installPath = folder;
  options.pipeName = pipeName;
  options.seoSourceId = L"seo9";
  Open(options);
  SetDebugSink(nullptr);
  EXPECT_NE(std::find(lines.begin(), lines.end(), WideToUtf8(L"__install pipename suc " + pipeName)),
            lines.end());
  // The server sees its client connected while the window runs.
  {
    OVERLAPPED held = {};
    UniqueHandle heldEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    held.hEvent = heldEvent.get();
    EXPECT_FALSE(ConnectNamedPipe(server.get(), &held));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_CONNECTED));
  }

  // Page 0 as the options give it.
  EXPECT_EQ(Page(), 0);
  EXPECT_EQ(window->Options().channelId, L"5");
  EXPECT_EQ(C(L"installPath")->GetText(), folder);
  EXPECT_EQ(EditText(FolderEdit(hwnd)), folder);
  auto* combo = window->Pm().Find<skinui::Combo>(L"language_combo");
  ASSERT_EQ(combo->GetCount(), 15);
  EXPECT_EQ(combo->GetItem(combo->GetCurSel())->userData, L"en");
  EXPECT_EQ(combo->GetItem(1)->userData, L"arabic");
  EXPECT_EQ(combo->GetItem(1)->height, 26);
  EXPECT_EQ(combo->GetItem(1)->margin.left, 6);
  EXPECT_EQ(combo->GetItem(1)->margin.right, 6);
  EXPECT_TRUE(C(L"install")->IsEnabled());
  EXPECT_TRUE(C(L"closebtn")->IsEnabled());
  EXPECT_FALSE(Shown(L"pathIsOK"));
  // The folder field keeps its own Arial font.
  EXPECT_EQ(C(L"installPath")->GetFont(), 10);
  EXPECT_EQ(window->Pm().GetFont(10)->face, L"Arial");
  wchar_t caption[128] = {};
  GetWindowTextW(hwnd, caption, 128);
  EXPECT_EQ(std::wstring(caption), GetText(L"tt_wizard"));
  EXPECT_TRUE(Screenshot(hwnd, "page0-options"));

  // The two boxes set apart (autostart on, no shortcut) with real clicks, so
  // the completion shows that each reached it as itself.
  auto selected = [&](const wchar_t* box) { return dynamic_cast<skinui::Option*>(C(box))->IsSelected(); };
  if (!selected(L"autostart")) ClickControl(hwnd, C(L"autostart"));
  if (selected(L"createshortcut")) ClickControl(hwnd, C(L"createshortcut"));
  ASSERT_TRUE(selected(L"autostart"));
  ASSERT_FALSE(selected(L"createshortcut"));
  wchar_t desktop[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop)));
  const std::wstring link = std::wstring(desktop) + L"\\Quorvane.lnk";
  ASSERT_TRUE(CopyFileW(Utf8ToWide("Z:" QV_MARK_CLIENT).c_str(), link.c_str(), FALSE));  // a stale one to remove
  DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKey, kRunValueName);

  // A client already running: "install" ends it before the run starts.
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  std::wstring stay = L"\"" + folder + L"\\Quorvane.exe\" -stay";
  ASSERT_TRUE(CreateProcessW(nullptr, &stay[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  UniqueHandle clientThread(pi.hThread);
  UniqueHandle runningClient(pi.hProcess);
  channel->runningClient = runningClient.get();

  // "install" with a real click: page 1, close button disabled, the channel
  // configured with the window and the folder.
  ClickControl(hwnd, C(L"install"));
  ASSERT_TRUE(PumpUntil([&] { return window->Pm().Find<skinui::Progress>(L"progres")->GetValue() == 42; }));
  EXPECT_EQ(Page(), 1);
  EXPECT_FALSE(C(L"closebtn")->IsEnabled());
  EXPECT_NE(channel->settings.events, nullptr);
  EXPECT_EQ(channel->settings.installPath, WideToAnsi(folder));
  EXPECT_TRUE(channel->clientGoneAtConfigure) << "the running client was not ended before the run";
  DWORD clientEnd = STILL_ACTIVE;
  GetExitCodeProcess(runningClient.get(), &clientEnd);
  EXPECT_EQ(clientEnd, 0u) << "terminated, not ended by itself";
  PumpFor(300);
  EXPECT_TRUE(Screenshot(hwnd, "page1-progress"));

  // The run ends: page 2, the choices applied (channel "5").
  channel->Release();
  ASSERT_TRUE(PumpUntil([&] { return Page() == 2; }));
  EXPECT_TRUE(C(L"closebtn")->IsEnabled());
  EXPECT_EQ(window->Pm().Find<skinui::Progress>(L"progres")->GetValue(), 99);
  wchar_t stored[64] = {};
  GetRegString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane",
               L"CHANNELID", stored, sizeof(stored), L"");
  EXPECT_EQ(std::wstring(stored), L"5");
  GetRegString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane",
               L"SEOID", stored, sizeof(stored), L"");
  EXPECT_EQ(std::wstring(stored), L"seo9");
  RegKey runKey;
  const bool runValue =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, runKey.put()) ==
          ERROR_SUCCESS &&
      RegQueryValueExW(runKey.get(), kRunValueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  EXPECT_TRUE(runValue) << "the autostart box was on";
  EXPECT_FALSE(FileExists(link)) << "the shortcut box was off";
  EXPECT_FALSE(window->Run()->ShortcutWanted());
  PumpFor(300);
  EXPECT_TRUE(Screenshot(hwnd, "page2-finished"));

  // "startApp": the client starts, the pipe is let go, the window closes,
  // the quit message is posted and the exit code is 0.
  ClickControl(hwnd, C(L"startApp"));
  ASSERT_TRUE(PumpUntil([] { return g_liveWindows == 0; }));
  window = nullptr;
  EXPECT_TRUE(g_quit);
  EXPECT_EQ(exitCode.value, 0);
  EXPECT_TRUE(PumpUntil([&] { return FileExists(folder + L"\\started.mark"); }));
  // The server sees the client gone: a pipe whose client connected and then
  // closed its end answers ERROR_NO_DATA (a held end: ERROR_PIPE_CONNECTED).
  OVERLAPPED ov = {};
  UniqueHandle ev(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ov.hEvent = ev.get();
  EXPECT_FALSE(ConnectNamedPipe(server.get(), &ov));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_DATA));
  testsupport::RemoveTree(folder);
}

TEST_F(MainWndTest, PipeThatIsNotThereLeavesOnlyALine) {
  std::vector<std::string> lines;
  SetDebugSink([&](const std::string& l) { lines.push_back(l); });
  InstallOptions options;
  options.pipeName = L"\\\\.\\pipe\\qv_ui_test_nobody_listens";
  Open(options, false);
  SetDebugSink(nullptr);
  ASSERT_FALSE(lines.empty());
  // No pipe is held: no line of an opened (or failed to open) pipe.
  for (const std::string& l : lines) EXPECT_NE(l.rfind("__install pipename", 0), 0u) << l;
  EXPECT_EQ(lines[0].rfind("__install WaitNamedPipe failed ", 0), 0u) << lines[0];
}

// The 32-bit program files folder, in the 32-bit and the 64-bit build alike.
TEST_F(MainWndTest, EmptyFolderOptionGivesTheProgramFilesFolder) {
  Open(InstallOptions(), false);
  EXPECT_EQ(window->InstallFolder(), L"C:\\Program Files (x86)\\Quorvane");
  EXPECT_EQ(C(L"installPath")->GetText(), window->InstallFolder());
}

TEST_F(MainWndTest, FailureShowsTheTextAndTheDownloadLink) {
  struct Case {
    const char* name;
    std::wstring status;
    std::wstring language;
    std::wstring shown;
    std::string link;
  };
  const Case cases[] = {
      {"status text",
       L"download failed\xFF0C"
       L"errorcode is\xFF1A"
       L"28",
       L"en",
       L"download failed\xFF0C"
       L"errorcode is\xFF1A"
       L"28",
       Vendor().web + "?cid=1"},
      {"empty status in Russian", L"", L"ru", L"", Vendor().app + "/official/pc/Quorvane_windows_1.exe"},
  };
  for (const Case& c : cases) {
    UseLanguage(c.language);
    failRun = true;
    failStatus = c.status;
    InstallOptions options;
    options.installPath = L"C:\\Games\\Quorvane";
    options.launchedByChannel = true;  // no reports leave the machine
    Open(options);
    ClickControl(hwnd, C(L"install"));
    ASSERT_TRUE(PumpUntil([&] { return channel->ran.load(); })) << c.name;
    channel->Release();
    ASSERT_TRUE(PumpUntil([&] { return Shown(L"installfailed_towebsit"); })) << c.name;
    EXPECT_EQ(Page(), 1) << c.name;
    EXPECT_TRUE(C(L"closebtn")->IsEnabled()) << c.name;
    EXPECT_FALSE(Shown(L"install_status")) << c.name;
    EXPECT_TRUE(Shown(L"installstatustips")) << c.name;
    const std::wstring expected = c.shown.empty() ? GetText(L"tt_failed") : c.shown;
    EXPECT_EQ(C(L"installstatustips")->GetShownText(), expected) << c.name;
    PumpFor(300);
    EXPECT_TRUE(Screenshot(hwnd, std::string("page1-failed-") + WideToUtf8(c.language)));
    ClickControl(hwnd, C(L"installfailed_towebsit"));
    ASSERT_EQ(window->opened.size(), 1u) << c.name;
    EXPECT_EQ(WideToUtf8(window->opened[0]), c.link) << c.name;
    // The close button closes a failed run; the channel thread has ended.
    ClickControl(hwnd, C(L"closebtn"));
    ASSERT_TRUE(PumpUntil([] { return g_liveWindows == 0; })) << c.name;
    window = nullptr;
    EXPECT_TRUE(g_quit) << c.name;
    // The failure's code: an installer's text, else no download.
    EXPECT_EQ(exitCode.value, c.status.empty() ? 7102 : 7105) << c.name;
    g_quit = false;
  }
}

// A folder passed with "-install-path" that the ANSI code page cannot hold is
// shown, and treated on page 0 as the other invalid folders are.
TEST_F(MainWndTest, PassedFolderOutsideTheAnsiCodePageIsInvalidLikeOthers) {
  struct Case {
    std::wstring passed;
    bool valid;
  };
  const Case cases[] = {
      {L"C:\\Gry\\Z\x0142ote\\\x0414\x043E\x043C", false},
      {L"C:\\a?b", false},
      {L"C:\\Gry\\Quorvane", true},
  };
  for (const Case& c : cases) {
    const std::string name = WideToUtf8(c.passed);
    InstallOptions options;
    options.installPath = c.passed;
    Open(options);
    EXPECT_EQ(EditText(FolderEdit(hwnd)), c.passed) << name;
    EXPECT_EQ(window->InstallFolder(), c.passed) << name;
    // Agreeing again re-applies the rules to the folder as it stands.
    ClickControl(hwnd, C(L"grantoption"));
    ClickControl(hwnd, C(L"grantoption"));
    PumpFor(50);
    EXPECT_EQ(C(L"install")->IsEnabled(), c.valid) << name;
    TypeIntoFolderField(hwnd, c.passed);
    EXPECT_EQ(Shown(L"pathIsOK"), !c.valid) << name;
    EXPECT_EQ(C(L"install")->IsEnabled(), c.valid) << name;
    DestroyWindow(hwnd);
    ASSERT_TRUE(PumpUntil([] { return g_liveWindows == 0; })) << name;
    window = nullptr;
  }
}

// A download whose publisher check failed ends in its own text: it fits the
// failure row in every language file at 100, 150 and 200 %.
TEST_F(MainWndTest, RejectedDownloadTextFitsTheFailureRowAtEveryScale) {
  failRun = true;
  failStatus = L"tt_download_rejected";
  InstallOptions options;
  options.installPath = L"C:\\Games\\Quorvane";
  options.launchedByChannel = true;  // no reports leave the machine
  Open(options);
  ClickControl(hwnd, C(L"install"));
  ASSERT_TRUE(PumpUntil([&] { return channel->ran.load(); }));
  channel->Release();
  ASSERT_TRUE(PumpUntil([&] { return Shown(L"installfailed_towebsit"); }));
  ASSERT_TRUE(Shown(L"installstatustips"));
  std::vector<std::wstring> codes;
  for (const LanguageEntry& e : LanguageTable()) codes.push_back(e.code);
  codes.push_back(L"zh_cn");
  ASSERT_EQ(codes.size(), 16u);
  for (int dpi : {96, 144, 192}) {
    const int scale = skinui::ScaleForDpi(dpi);
    RECT suggested = {20, 20, 20 + skinui::ScaleLength(550, scale), 20 + skinui::ScaleLength(365, scale)};
    SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    PumpFor(100);
    ASSERT_EQ(window->GetScale(), scale);
    for (const std::wstring& code : codes) {
      const std::string name = WideToUtf8(code) + " at " + std::to_string(scale) + "%";
      SetCurrentLanguage(code);
      LoadLanguage(L"language\\" + code + L".xml");
      window->ApplyLanguage();
      PumpFor(30);
      EXPECT_EQ(C(L"installstatustips")->GetShownText(), GetText(L"tt_download_rejected")) << name;
      EXPECT_NE(GetText(L"tt_download_rejected"), L"tt_download_rejected") << name;
      for (const std::string& fault : LayoutFaults(window->Pm())) ADD_FAILURE() << name << ": " << fault;
      if (scale == 100 && code == L"de") {
        EXPECT_TRUE(Screenshot(hwnd, "page1-rejected-de"));
      }
    }
  }
  UseLanguage(L"en");
}

// Every text of every page fits, in every language at 96, 144 and 192 DPI:
// the options, the progress, the failure and the finished page.
TEST_F(MainWndTest, EveryTextOfEveryPageFitsInEveryLanguageAndDpi) {
  std::vector<std::wstring> codes;
  for (const LanguageEntry& e : LanguageTable()) codes.push_back(e.code);
  codes.push_back(L"zh_cn");
  ASSERT_EQ(codes.size(), 16u);
  auto setDpi = [&](int dpi) {
    const int scale = skinui::ScaleForDpi(dpi);
    RECT suggested = {20, 20, 20 + skinui::ScaleLength(550, scale), 20 + skinui::ScaleLength(365, scale)};
    SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    PumpFor(100);
    ASSERT_EQ(window->GetScale(), scale);
  };
  int checked = 0;
  auto everyLanguageAndDpi = [&](const char* page, int index) {
    ASSERT_EQ(Page(), index) << page;
    for (int dpi : {96, 144, 192}) {
      setDpi(dpi);
      for (const std::wstring& code : codes) {
        const std::string name =
            std::string(page) + ", " + WideToUtf8(code) + " at " + std::to_string(dpi) + " DPI";
        SetCurrentLanguage(code);
        LoadLanguage(L"language\\" + code + L".xml");
        window->ApplyLanguage();
        PumpFor(30);
        for (const std::string& fault : LayoutFaults(window->Pm())) ADD_FAILURE() << name << ": " << fault;
        ++checked;
      }
    }
    UseLanguage(L"en");
    window->ApplyLanguage();
    setDpi(96);
  };
  InstallOptions options;
  options.installPath = testsupport::MakeTempFolder(L"ui fit");
  options.launchedByChannel = true;  // no reports leave the machine

  failRun = true;
  Open(options);
  everyLanguageAndDpi("options", 0);
  ClickControl(hwnd, C(L"install"));
  ASSERT_TRUE(PumpUntil([&] { return channel->ran.load(); }));
  everyLanguageAndDpi("progress", 1);
  channel->Release();
  ASSERT_TRUE(PumpUntil([&] { return Shown(L"installstatustips"); }));
  everyLanguageAndDpi("failure", 1);
  DestroyWindow(hwnd);
  ASSERT_TRUE(PumpUntil([] { return g_liveWindows == 0; }));

  failRun = false;
  Open(options);
  ClickControl(hwnd, C(L"install"));
  ASSERT_TRUE(PumpUntil([&] { return channel->ran.load(); }));
  channel->Release();
  ASSERT_TRUE(PumpUntil([&] { return Page() == 2; }));
  everyLanguageAndDpi("finished", 2);
  EXPECT_EQ(checked, 4 * 3 * 16);
}

TEST_F(MainWndTest, FolderFieldIsValidatedAsTheUserTypes) {
  Open(InstallOptions());
  // A letter that is no usable drive here.
  wchar_t missing = 0;
  for (wchar_t l = L'Y'; l > L'D' && !missing; --l)
    if (window->PathPattern().find(l) == std::wstring::npos) missing = l;
  ASSERT_NE(missing, 0);
  struct Case {
    std::wstring typed;
    bool valid;
    std::wstring folder;
  };
  const Case cases[] = {
      {L"C:\\Games", true, L"C:\\Games"},
      {std::wstring(1, missing) + L":\\Games", false, std::wstring(1, missing) + L":\\Games"},
      {L"c:/games/x/", true, L"c:/games/x/"},
      {L"C:\\", false, L"C:\\"},
      {L"C:\\a?b", false, L"C:\\a?b"},
      {L"  C:\\My Games  ", true, L"C:\\My Games"},
      // The full installer takes the folder in the ANSI code page (1252 here).
      {L"C:\\\x00DC" L"bung caf\x00E9", true, L"C:\\\x00DC" L"bung caf\x00E9"},
      {L"C:\\Gry\\Z\x0142ote\\\x0414\x043E\x043C", false, L"C:\\Gry\\Z\x0142ote\\\x0414\x043E\x043C"},
      {L"C:\\Gry\\Z\x0142ote", false, L"C:\\Gry\\Z\x0142ote"},
  };
  HWND edit = FolderEdit(hwnd);
  for (const Case& c : cases) {
    TypeIntoFolderField(hwnd, c.typed);
    const std::string name = WideToUtf8(c.typed);
    EXPECT_EQ(window->InstallFolder(), c.folder) << name;
    EXPECT_EQ(EditText(edit), c.typed) << "the field keeps its text: " << name;
    EXPECT_EQ(Shown(L"pathIsOK"), !c.valid) << name;
    EXPECT_EQ(C(L"install")->IsEnabled(), c.valid) << name;
    if (!c.valid && c.typed == L"C:\\a?b") {
      PumpFor(200);
      EXPECT_TRUE(Screenshot(hwnd, "page0-invalid-folder"));
    }
  }
  // A leading tab, pasted (a tab key would move the focus instead).
  SetWindowTextW(edit, L"\tC:\\Games");
  PumpFor(50);
  EXPECT_TRUE(Shown(L"pathIsOK"));
  EXPECT_FALSE(C(L"install")->IsEnabled());

  // The agreement box with a real click acts before it changes.
  TypeIntoFolderField(hwnd, L"C:\\Games");
  ASSERT_TRUE(C(L"install")->IsEnabled());
  ClickControl(hwnd, C(L"grantoption"));
  EXPECT_FALSE(dynamic_cast<skinui::Option*>(C(L"grantoption"))->IsSelected());
  EXPECT_FALSE(C(L"install")->IsEnabled());
  TypeIntoFolderField(hwnd, L"C:\\Other");  // valid, but not agreed
  EXPECT_FALSE(C(L"install")->IsEnabled());
  TypeIntoFolderField(hwnd, L"C:\\a?b");
  ClickControl(hwnd, C(L"grantoption"));
  EXPECT_TRUE(dynamic_cast<skinui::Option*>(C(L"grantoption"))->IsSelected());
  EXPECT_FALSE(C(L"install")->IsEnabled()) << "agreed, but the folder is invalid";
  TypeIntoFolderField(hwnd, L"C:\\Games");
  EXPECT_TRUE(C(L"install")->IsEnabled());

  // Browse: the picked folder gets the product folder, then is validated.
  struct Pick {
    std::wstring picked, folder;
    bool valid;
  };
  const Pick picks[] = {
      {L"C:\\", L"C:\\Quorvane", true},
      {L"C:\\Games", L"C:\\Games\\Quorvane", true},
      {std::wstring(1, missing) + L":\\", std::wstring(1, missing) + L":\\Quorvane", false},
      {L"", std::wstring(1, missing) + L":\\Quorvane", false},  // cancelled: the folder stays
  };
  for (const Pick& p : picks) {
    window->nextPick = p.picked;
    ClickControl(hwnd, C(L"browse"));
    const std::string name = WideToUtf8(p.picked);
    EXPECT_EQ(window->pickerTitle, GetText(L"tt_choosepath")) << name;
    EXPECT_EQ(window->InstallFolder(), p.folder) << name;
    EXPECT_EQ(EditText(edit), p.folder) << name;
    EXPECT_EQ(Shown(L"pathIsOK"), !p.valid) << name;
  }

  // The terms of use.
  ClickControl(hwnd, C(L"protocol"));
  ASSERT_EQ(window->opened.size(), 1u);
  EXPECT_EQ(WideToUtf8(window->opened[0]), Vendor().web + "/agreement-use");
}

BOOL CALLBACK FindTitle(HWND child, LPARAM flag) {
  wchar_t text[256] = {};
  GetWindowTextW(child, text, 256);
  if (GetText(L"tt_choosepath") == text) *reinterpret_cast<std::atomic<bool>*>(flag) = true;
  return TRUE;
}

// The system folder picker itself: titled in the current language, in the
// new dialog style, modal to the window: the window is disabled behind it
// and a close request (Alt+F4, the taskbar) meanwhile is refused, so the
// window object outlives the picker; cancelling it keeps the folder.
TEST_F(MainWndTest, BrowseShowsTheSystemFolderPicker) {
  UseLanguage(L"de");
  Open(InstallOptions());
  std::atomic<bool> seen{false}, titled{false}, owned{false}, disabled{false};
  const HWND main = hwnd;
  std::thread closer([&] {
    for (int i = 0; i < 300 && !seen; ++i) {
      Sleep(100);
      HWND dialog = FindWindowW(L"#32770", nullptr);
      if (!dialog) continue;
      DWORD pid = 0;
      GetWindowThreadProcessId(dialog, &pid);
      if (pid != GetCurrentProcessId()) continue;
      // The picker fills its children after it shows: wait for the title text.
      for (int j = 0; j < 200 && !titled; ++j) {
        EnumChildWindows(dialog, FindTitle, reinterpret_cast<LPARAM>(&titled));
        if (!titled) Sleep(50);
      }
      owned = GetWindow(dialog, GW_OWNER) == main;
      disabled = !IsWindowEnabled(main);
      SendMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
      SendMessageW(main, WM_CLOSE, 0, 0);
      Sleep(300);
      seen = true;
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }
  });
  window->pickFolder = [this](const std::wstring& title, std::wstring& picked) {
    return ShowFolderPicker(hwnd, title, picked);
  };
  const std::wstring before = window->InstallFolder();
  window->Pm().SendNotify(L"click", L"browse");
  closer.join();
  PumpFor(200);
  EXPECT_TRUE(seen);
  EXPECT_TRUE(titled) << "a text of the picker reads the translated title";
  EXPECT_TRUE(owned);
  EXPECT_TRUE(disabled);
  ASSERT_EQ(g_liveWindows, 1) << "the close requests during the picker were refused";
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_TRUE(IsWindowEnabled(hwnd));
  EXPECT_EQ(window->InstallFolder(), before);
}

// A controller whose Run throws ends the run like any other failure, as an
// internal error (7108): with a window the failure shows and the window can
// be closed; a silent run ends by itself.
TEST_F(MainWndTest, ControllerThatThrowsEndsTheRunAsAFailure) {
  for (const bool silent : {false, true}) {
    const std::string name = silent ? "silent" : "with a window";
    throwRun = true;
    InstallOptions options;
    options.installPath = L"C:\\Games\\Quorvane";
    options.launchedByChannel = true;  // no reports leave the machine
    options.silent = silent;
    options.autoStart = silent;
    std::vector<std::string> lines;
    std::mutex linesLock;
    SetDebugSink([&](const std::string& l) {
      std::lock_guard<std::mutex> guard(linesLock);
      lines.push_back(l);
    });
    Open(options, !silent);
    if (!silent) ClickControl(hwnd, C(L"install"));
    ASSERT_TRUE(PumpUntil([&] { return channel->ran.load(); })) << name;
    channel->Release();
    if (!silent) {
      ASSERT_TRUE(PumpUntil([&] { return Shown(L"installfailed_towebsit"); })) << name;
      EXPECT_EQ(C(L"installstatustips")->GetShownText(), GetText(L"tt_failed")) << name;
      EXPECT_TRUE(C(L"closebtn")->IsEnabled()) << name;
      ClickControl(hwnd, C(L"closebtn"));
    }
    ASSERT_TRUE(PumpUntil([] { return g_liveWindows == 0; })) << name << ": the window never closed";
    window = nullptr;
    channel = nullptr;
    SetDebugSink(nullptr);
    EXPECT_EQ(exitCode.value, 7108) << name;
    auto has = [&](const std::string& prefix) {
      return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    };
    EXPECT_TRUE(has("channel thread ended by an exception: ")) << name;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "install failed: tt_failed; exit code 7108"), 1) << name;
    g_quit = false;
  }
}

// A silent run cannot ask anyone for another folder: one that is invalid or
// outside the ANSI code page fails at once, says why, and ends the window.
TEST_F(MainWndTest, SilentRunWithAnUnusableFolderFailsAtOnce) {
  for (const wchar_t* folder : {L"C:\\Games\\\x4E2D\x6587", L"C:\\Games\\a|b"}) {
    std::vector<std::string> lines;
    SetDebugSink([&](const std::string& l) { lines.push_back(l); });
    InstallOptions options;
    options.silent = true;
    options.autoStart = true;
    options.installPath = folder;
    options.launchedByChannel = true;  // no reports leave the machine
    Open(options, false);
    ASSERT_TRUE(PumpUntil([] { return g_liveWindows == 0; }));
    window = nullptr;
    channel = nullptr;  // went with the window
    SetDebugSink(nullptr);
    EXPECT_EQ(exitCode.value, 7106);
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "channel install failed"), lines.end());
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.rfind("install folder unusable", 0) == 0; }),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "install failed: tt_pathnotfind; exit code 7106"), lines.end());
  }
}

// While the install runs, a close request of any kind is refused like the
// disabled close button; the run then finishes and registers as usual.
TEST_F(MainWndTest, CloseRequestsOnTheProgressPageAreRefused) {
  InstallOptions options;
  options.installPath = L"C:\\Games\\Quorvane";
  options.channelId = L"31";
  options.launchedByChannel = true;  // no reports leave the machine
  Open(options);
  ClickControl(hwnd, C(L"install"));
  ASSERT_TRUE(PumpUntil([&] { return channel->ran.load(); }));
  EXPECT_EQ(exitCode.value, 7109);  // an ending now would be an interruption
  std::vector<std::string> lines;
  SetDebugSink([&](const std::string& l) { lines.push_back(l); });
  PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);  // Alt+F4, the system menu
  PostMessageW(hwnd, WM_CLOSE, 0, 0);               // the taskbar's close
  PumpFor(300);
  SetDebugSink(nullptr);
  ASSERT_EQ(g_liveWindows, 1);
  EXPECT_EQ(Page(), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "close refused: the install is running"), 2);
  channel->Release();
  ASSERT_TRUE(PumpUntil([&] { return Page() == 2; }));
  EXPECT_EQ(exitCode.value, 0);
  wchar_t stored[64] = {};
  GetRegString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane",
               L"CHANNELID", stored, sizeof(stored), L"");
  EXPECT_EQ(std::wstring(stored), L"31");
  // Finished: a close request closes now, with the completed install's 0.
  PostMessageW(hwnd, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([] { return g_liveWindows == 0; }));
  window = nullptr;
  EXPECT_EQ(exitCode.value, 0);
}

// One window visits every language at run time, with a screenshot of each.
TEST_F(MainWndTest, LanguageSwitchesAtRunTimeAndArabicMirrors) {
  Open(InstallOptions());
  auto* combo = window->Pm().Find<skinui::Combo>(L"language_combo");
  ASSERT_EQ(combo->GetCount(), 15);
  for (int i = 0; i < combo->GetCount(); ++i) {
    const std::wstring code = combo->GetItem(i)->userData;
    const std::string name = WideToUtf8(code);
    combo->SelectItem(i, true);
    PumpFor(150);
    EXPECT_EQ(CurrentLanguage(), code) << name;
    EXPECT_EQ(window->LanguageSelectorText(), LanguageTable()[i].displayName) << name;
    EXPECT_EQ(C(L"install")->GetShownText(), GetText(L"tt_fastinstall")) << name;
    EXPECT_NE(C(L"install")->GetShownText(), L"tt_fastinstall") << name;
    const bool rtl = code == L"arabic";
    EXPECT_EQ(window->IsLayoutRtl(), rtl) << name;
    EXPECT_EQ((GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0, rtl) << name;
    EXPECT_EQ(window->Pm().GetRoot()->GetUserData(), rtl ? L"LAYOUT_RTL" : L"") << name;
    ExpectComboImages(combo, rtl, name);
    for (const std::string& fault : LayoutFaults(window->Pm())) ADD_FAILURE() << name << ": " << fault;
    EXPECT_TRUE(Screenshot(hwnd, "page0-" + name));
  }
  // A person's pick: open the list with a click and click "German(Deutsch)".
  combo->SelectItem(0, true);
  PumpFor(100);
  ClickControl(hwnd, combo);
  HWND list = nullptr;
  ASSERT_TRUE(PumpUntil([&] {
    list = FindWindowW(L"SkinUiDropList", nullptr);
    return list && IsWindowVisible(list);
  }));
  EXPECT_TRUE(Screenshot(hwnd, "page0-language-list", 140));
  RECT lr;
  GetWindowRect(list, &lr);
  SetCursorPos((lr.left + lr.right) / 2, lr.top + 4 + 2 * 26 + 13);
  PumpFor(100);
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof(INPUT));
  ASSERT_TRUE(PumpUntil([] { return CurrentLanguage() == L"de"; }));
  EXPECT_EQ(C(L"install")->GetShownText(), L"Schnellinstallation");
  EXPECT_FALSE(IsWindowVisible(list));

  // Back to English: left to right again.
  combo->SelectItem(0, true);
  PumpFor(150);
  EXPECT_FALSE(window->IsLayoutRtl());
  EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL, 0);
  ExpectComboImages(combo, false, "back to en");
  EXPECT_EQ(C(L"install")->GetShownText(), L"Fast Install");
  // Arabic lacks "tt_uninstall": it keeps the English text.
  combo->SelectItem(1, true);
  PumpFor(100);
  EXPECT_EQ(GetText(L"tt_uninstall"), L"Uninstall");
  combo->SelectItem(0, true);
  PumpFor(100);
}

// A language from user.ini that the list does not hold: no item selected,
// the language's own font face everywhere but in the folder field.
TEST_F(MainWndTest, SimplifiedChineseFromUserIni) {
  const std::wstring ini = UserIniPath();
  CreateDirectoryW(ini.substr(0, ini.find_last_of(L'\\')).c_str(), nullptr);
  ASSERT_TRUE(WritePrivateProfileStringW(L"AppInfo", L"language", L"zh_cn", ini.c_str()));
  ReleaseTextTable();
  EXPECT_EQ(ChooseStartLanguage(), L"zh_cn");
  DeleteFileW(ini.c_str());
  Open(InstallOptions());
  auto* combo = window->Pm().Find<skinui::Combo>(L"language_combo");
  EXPECT_EQ(combo->GetCurSel(), -1);
  EXPECT_EQ(window->LanguageSelectorText(), L"");
  EXPECT_EQ(window->Pm().GetFont(0)->face, L"Microsoft YaHei");
  EXPECT_EQ(window->Pm().GetFont(10)->face, L"Arial");
  EXPECT_NE(C(L"install")->GetShownText(), L"tt_fastinstall");
  for (const std::string& fault : LayoutFaults(window->Pm())) ADD_FAILURE() << "zh_cn: " << fault;
  PumpFor(200);
  EXPECT_TRUE(Screenshot(hwnd, "page0-zh_cn"));
}

TEST_F(MainWndTest, StartingInArabicIsMirroredWithReversedCombo) {
  UseLanguage(L"arabic");
  Open(InstallOptions());
  EXPECT_TRUE(window->IsLayoutRtl());
  EXPECT_NE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL, 0);
  auto* combo = window->Pm().Find<skinui::Combo>(L"language_combo");
  EXPECT_EQ(combo->GetItem(combo->GetCurSel())->userData, L"arabic");
  ExpectComboImages(combo, true, "arabic at start");
  PumpFor(200);
  EXPECT_TRUE(Screenshot(hwnd, "page0-arabic-at-start"));
}

// ---------------------------------------------------------------------------
// Keyboard and screen readers on the real window.

// Real key strokes through the system's input queue, as a keyboard gives them.
void PressKey(HWND hwnd, WORD vk, WORD modifier = 0) {
  // The folder field's native host is owned by the window and may hold the
  // keyboard; it hands the window's keys on.
  HWND fg = GetForegroundWindow();
  if (fg != hwnd && GetWindow(fg, GW_OWNER) != hwnd) SetForegroundWindow(hwnd);
  testsupport::PressKey(vk, modifier ? std::vector<WORD>{modifier} : std::vector<WORD>{},
                        [](const std::function<bool()>& done, DWORD ms) { return PumpUntil(done, ms); });
}

std::wstring NameOf(skinui::Control* c) { return c ? c->GetName() : L"(none)"; }

// Pixels of the focus colour (#8CC4FF) in the band just above `c`, where the
// dotted focus mark runs (a small gap off the control), counted on the
// window's own surface (what UpdateLayeredWindow shows), which also goes to
// `<dir>/<name>.png`: the X screen shows what the display has composed so far,
// and may not show a window grown past it.
int SurfaceFocusMarkPixels(TestWnd* window, skinui::Control* c, const std::string& name) {
  int w = 0, h = 0;
  const uint32_t* px = window->SurfacePixels(w, h);
  if (!px) return -1;
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
    rgb[i * 3 + 0] = static_cast<unsigned char>((px[i] >> 16) & 0xFF);
    rgb[i * 3 + 1] = static_cast<unsigned char>((px[i] >> 8) & 0xFF);
    rgb[i * 3 + 2] = static_cast<unsigned char>(px[i] & 0xFF);
  }
  const std::string path = "Z:" + ScreenshotDir() + "/" + name + ".png";
  EXPECT_TRUE(stbi_write_png(path.c_str(), w, h, 3, rgb.data(), w * 3) != 0);
  const skinui::Rect& p = c->GetPos();
  const int thick = std::max(1, window->Pm().ScaleLen(1));
  int count = 0;
  for (int y = std::max(0, p.top - 4 * thick); y < p.top; ++y)
    for (int x = std::max(0, p.left); x < std::min(w, p.right); ++x) {
      const size_t i = static_cast<size_t>(y) * w + x;
      if (std::abs(rgb[i * 3] - 0x8C) < 24 && std::abs(rgb[i * 3 + 1] - 0xC4) < 24 && rgb[i * 3 + 2] > 0xE0) ++count;
    }
  return count;
}

TEST_F(MainWndTest, KeyboardAloneRunsTheWizardAndShowsTheFocusMark) {
  const std::wstring folder = testsupport::MakeTempFolder(L"ui keyboard");
  ASSERT_TRUE(
      CopyFileW(Utf8ToWide("Z:" QV_MARK_CLIENT).c_str(), (folder + L"\\Quorvane.exe").c_str(), FALSE));
  InstallOptions options;
  options.installPath = folder;
  Open(options);
  skinui::PaintManager& pm = window->Pm();
  EXPECT_EQ(NameOf(pm.GetFocus()), L"install") << "focus starts on the install button";
  EXPECT_EQ(SurfaceFocusMarkPixels(window, C(L"install"), "focus-mark-100-before-keys"), 0)
      << "no mark before a key is used";

  // Tab goes round page 0 in visual order; the close button (top right) is
  // the first control of the page.
  std::vector<std::wstring> order;
  for (int i = 0; i < 9; ++i) {
    PressKey(hwnd, VK_TAB);
    order.push_back(NameOf(pm.GetFocus()));
  }
  const std::vector<std::wstring> expected{L"installPath", L"browse",   L"createshortcut",
                                           L"language_combo", L"autostart", L"grantoption",
                                           L"protocol",    L"closebtn", L"install"};
  EXPECT_EQ(order, expected);
  PumpFor(200);
  EXPECT_GT(SurfaceFocusMarkPixels(window, C(L"install"), "focus-mark-100-surface"),
            C(L"install")->GetPos().Width() / 4)
      << "the focus mark shows at 100 %";
  EXPECT_TRUE(Screenshot(hwnd, "focus-mark-100"));
  // Shift+Tab goes back; Space ticks the focused check box.
  PressKey(hwnd, VK_TAB, VK_SHIFT);
  PressKey(hwnd, VK_TAB, VK_SHIFT);
  PressKey(hwnd, VK_TAB, VK_SHIFT);
  PressKey(hwnd, VK_TAB, VK_SHIFT);
  EXPECT_EQ(NameOf(pm.GetFocus()), L"autostart");
  EXPECT_FALSE(pm.Find<skinui::Option>(L"autostart")->IsSelected());
  PressKey(hwnd, VK_SPACE);
  EXPECT_TRUE(pm.Find<skinui::Option>(L"autostart")->IsSelected());

  // At 200 % (as a monitor change gives it, placed on the screen) the mark
  // is there and twice as thick.
  RECT big = {20, 20, 20 + 1100, 20 + 730};
  SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&big));
  PumpFor(300);
  window->Repaint();
  PumpFor(300);
  EXPECT_EQ(window->GetScale(), 200);
  EXPECT_GT(SurfaceFocusMarkPixels(window, C(L"autostart"), "focus-mark-200"), C(L"autostart")->GetPos().Width() / 4)
      << "the focus mark shows at 200 %";
  pm.ShowFocusMark(false);
  window->Repaint();
  EXPECT_EQ(SurfaceFocusMarkPixels(window, C(L"autostart"), "focus-mark-200-hidden"), 0);
  pm.ShowFocusMark(true);
  RECT normal = {300, 200, 300 + 550, 200 + 365};
  SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&normal));
  PumpFor(300);

  // Enter starts the install from anywhere but another button; on page 1
  // Escape and Alt+F4 leave the window open while the close button is off.
  PressKey(hwnd, VK_RETURN);
  ASSERT_TRUE(PumpUntil([&] { return Page() == 1; }));
  EXPECT_FALSE(C(L"closebtn")->IsEnabled());
  EXPECT_FALSE(pm.GetFocus() && !pm.GetFocus()->IsVisibleInTree()) << "focus never rests on a hidden control";
  // Each is judged on its own: Escape asks for no close at all, Alt+F4 asks
  // and is refused (one line each time it is).
  std::mutex linesLock;
  int refused = 0;
  SetDebugSink([&](const std::string& l) {
    std::lock_guard<std::mutex> hold(linesLock);
    refused += l == "close refused: the install is running";
  });
  const auto refusals = [&] {
    std::lock_guard<std::mutex> hold(linesLock);
    return refused;
  };
  PressKey(hwnd, VK_ESCAPE);
  PumpFor(300);
  EXPECT_EQ(refusals(), 0) << "Escape with the close button off asks for no close";
  EXPECT_EQ(g_liveWindows, 1);
  EXPECT_EQ(Page(), 1);
  PressKey(hwnd, VK_F4, VK_MENU);
  PumpUntil([&] { return refusals() >= 1; }, 5000);
  PumpFor(300);
  SetDebugSink(nullptr);
  EXPECT_EQ(refusals(), 1) << "Alt+F4 is refused once";
  EXPECT_EQ(g_liveWindows, 1);
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_EQ(Page(), 1);

  // Page 2: focus on the start button, Enter starts the client and closes.
  channel->Release();
  ASSERT_TRUE(PumpUntil([&] { return Page() == 2; }));
  PumpFor(100);
  EXPECT_EQ(NameOf(pm.GetFocus()), L"startApp");
  PressKey(hwnd, VK_RETURN);
  ASSERT_TRUE(PumpUntil([] { return g_liveWindows == 0; }));
  window = nullptr;
  EXPECT_EQ(exitCode.value, 0);
  EXPECT_TRUE(PumpUntil([&] { return FileExists(folder + L"\\started.mark"); }));
  testsupport::RemoveTree(folder);
}

using testsupport::AccChild;
using testsupport::ReadChild;

// The child id of the first child named `name` (0: none).
long ChildNamed(IAccessible* acc, const std::wstring& name) {
  long n = 0;
  acc->get_accChildCount(&n);
  for (long i = 1; i <= n; ++i)
    if (ReadChild(acc, i).name == name) return i;
  return 0;
}

// Page 0 as a screen reader hears it, in the current language.
void ExpectOptionsPage(IAccessible* acc, const std::string& language) {
  struct Want {
    const wchar_t* textId;
    long role, stateOn, stateOff;
  };
  const long F = STATE_SYSTEM_FOCUSABLE, U = STATE_SYSTEM_UNAVAILABLE, CH = STATE_SYSTEM_CHECKED;
  const Want want[] = {
      {L"tt_close", ROLE_SYSTEM_PUSHBUTTON, F, U},
      {L"tt_fastinstall", ROLE_SYSTEM_PUSHBUTTON, F | STATE_SYSTEM_FOCUSED | STATE_SYSTEM_DEFAULT, U},
      {L"tt_installpath", ROLE_SYSTEM_TEXT, F, U},
      {L"tt_brower", ROLE_SYSTEM_PUSHBUTTON, F, U},
      {L"tt_createdesktop", ROLE_SYSTEM_CHECKBUTTON, F | CH, U},
      {L"tt_ui_language", ROLE_SYSTEM_COMBOBOX, F | STATE_SYSTEM_COLLAPSED, U},
      {L"tt_autostartup", ROLE_SYSTEM_CHECKBUTTON, F, U | CH},
      {L"tt_agree", ROLE_SYSTEM_CHECKBUTTON, F | CH, U},
      {L"tt_protol", ROLE_SYSTEM_LINK, F | STATE_SYSTEM_LINKED, U},
  };
  long previous = 0;
  for (const Want& w : want) {
    const std::wstring name = GetText(w.textId);
    const long id = ChildNamed(acc, name);
    ASSERT_NE(id, 0) << language << ": no child named " << WideToUtf8(name);
    EXPECT_GT(id, previous) << language << ": " << WideToUtf8(name) << " out of visual order";
    previous = id;
    const AccChild c = ReadChild(acc, id);
    EXPECT_EQ(c.role, w.role) << language << ": " << WideToUtf8(name);
    EXPECT_EQ(c.state & w.stateOn, w.stateOn) << language << ": " << WideToUtf8(name);
    EXPECT_EQ(c.state & w.stateOff, 0) << language << ": " << WideToUtf8(name);
  }
  // Nothing of page 1 is spoken on page 0.
  long n = 0;
  acc->get_accChildCount(&n);
  for (long i = 1; i <= n; ++i) EXPECT_NE(ReadChild(acc, i).role, ROLE_SYSTEM_PROGRESSBAR) << language;
}

TEST_F(MainWndTest, ScreenReaderHearsThePagesAndDrivesTheWizard) {
  Open(InstallOptions());
  IAccessible* acc = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                       reinterpret_cast<void**>(&acc)),
            S_OK);
  ASSERT_NE(acc, nullptr);
  ASSERT_EQ(GetText(L"tt_fastinstall"), L"Fast Install");
  ExpectOptionsPage(acc, "en");
  // The words for actions are the window's texts too.
  EXPECT_EQ(ReadChild(acc, ChildNamed(acc, L"Fast Install")).defaultAction, L"Press");
  EXPECT_EQ(ReadChild(acc, ChildNamed(acc, L"Autorun")).defaultAction, L"Check");
  EXPECT_EQ(ReadChild(acc, ChildNamed(acc, L"Installation folder")).value, C(L"installPath")->GetText());

  // The tree follows a language switch: the same object now speaks Russian.
  auto* combo = window->Pm().Find<skinui::Combo>(L"language_combo");
  int russian = -1;
  for (int i = 0; i < combo->GetCount(); ++i)
    if (combo->GetItem(i)->userData == L"ru") russian = i;
  ASSERT_GE(russian, 0);
  combo->SelectItem(russian, true);
  PumpFor(200);
  window->Pm().SetFocus(C(L"install"));
  ASSERT_EQ(GetText(L"tt_fastinstall"), L"Быстрая установка");
  ExpectOptionsPage(acc, "ru");
  EXPECT_EQ(ChildNamed(acc, L"Fast Install"), 0);
  EXPECT_EQ(ReadChild(acc, ChildNamed(acc, L"Быстрая установка")).defaultAction, L"Нажать");

  // A click on a check box changes the state the reader sees.
  const long autostart = ChildNamed(acc, GetText(L"tt_autostartup"));
  ASSERT_NE(autostart, 0);
  EXPECT_FALSE(ReadChild(acc, autostart).state & STATE_SYSTEM_CHECKED);
  ClickControl(hwnd, C(L"autostart"));
  EXPECT_TRUE(ReadChild(acc, autostart).state & STATE_SYSTEM_CHECKED);

  // "install" through its default action: page 1, whose bar has a value and
  // whose status row shows what has arrived of how much.
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = ChildNamed(acc, GetText(L"tt_fastinstall"));
  ASSERT_NE(v.lVal, 0);
  EXPECT_EQ(acc->accDoDefaultAction(v), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return window->Pm().Find<skinui::Progress>(L"progres")->GetValue() == 42; }));
  EXPECT_EQ(Page(), 1);
  PumpFor(500);  // a status change held back by the interval shows after it
  const long bar = ChildNamed(acc, GetText(L"tt_progress_name"));
  ASSERT_NE(bar, 0);
  const AccChild progress = ReadChild(acc, bar);
  EXPECT_EQ(progress.role, ROLE_SYSTEM_PROGRESSBAR);
  EXPECT_EQ(progress.value, L"42\u00a0%") << "the percent sign as Russian writes it";
  const std::wstring status = C(L"install_status")->GetShownText();
  EXPECT_NE(status.find(FormatSize(601, L"ru", GetText)), std::wstring::npos) << WideToUtf8(status);
  EXPECT_NE(status.find(FormatSize(1000, L"ru", GetText)), std::wstring::npos) << WideToUtf8(status);
  EXPECT_NE(ChildNamed(acc, status), 0) << "the status row is spoken as it shows";
  v.lVal = ChildNamed(acc, GetText(L"tt_close"));
  ASSERT_NE(v.lVal, 0);
  EXPECT_TRUE(ReadChild(acc, v.lVal).state & STATE_SYSTEM_UNAVAILABLE);
  EXPECT_NE(acc->accDoDefaultAction(v), S_OK) << "the disabled close button is not pressed";

  // The full installer runs: its own line.
  channel->Release();
  ASSERT_TRUE(PumpUntil([&] { return Page() == 2; }));
  EXPECT_EQ(C(L"install_status")->GetShownText(), InstallerRunningText(GetText));
  acc->Release();
}

// While the folder picker is open the window takes nothing: Enter and Tab
// in the folder field or forwarded to the window, a second Browse and an
// install pressed through the screen reader, and close requests. The picker
// here is a nested message loop standing in for the system's dialog, so the
// test can act while it is open; the window disables itself as it does for
// the real one.
TEST_F(MainWndTest, FolderPickerOwnsTheWindowWhileItIsOpen) {
  InstallOptions options;
  options.installPath = L"C:\\Games\\Quorvane";
  options.launchedByChannel = true;  // no reports leave the machine
  Open(options);
  IAccessible* acc = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                       reinterpret_cast<void**>(&acc)),
            S_OK);
  const long browse = ChildNamed(acc, GetText(L"tt_brower"));
  const long install = ChildNamed(acc, GetText(L"tt_fastinstall"));
  ASSERT_NE(browse, 0);
  ASSERT_NE(install, 0);
  // The folder field has the keyboard.
  ASSERT_TRUE(window->Pm().SetFocus(C(L"installPath")));
  PumpFor(100);
  HWND edit = FolderEdit(hwnd);
  ASSERT_NE(edit, nullptr);
  HWND host = GetParent(edit);
  int picks = 0;
  std::vector<std::string> faults;
  std::vector<std::string> lines;
  SetDebugSink([&](const std::string& l) { lines.push_back(l); });
  window->pickFolder = [&](const std::wstring&, std::wstring& picked) {
    if (++picks > 1) return false;  // a second picker: counted, nothing more
    if (IsWindowEnabled(hwnd)) faults.push_back("the window is enabled");
    if (IsWindowEnabled(host)) faults.push_back("the folder field is enabled");
    const skinui::Control* focus = window->Pm().GetFocus();
    // Enter and Tab as the keyboard gives them to the field, and as the
    // field forwards them to the window.
    for (HWND to : {edit, hwnd})
      for (WPARAM key : {VK_RETURN, VK_TAB}) SendMessageW(to, WM_KEYDOWN, key, 0);
    SendMessageW(hwnd, WM_CHAR, L'x', 0);
    if (window->Pm().GetFocus() != focus) faults.push_back("Tab moved the focus");
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = browse;
    if (acc->accDoDefaultAction(v) == S_OK) faults.push_back("a second Browse was pressed");
    if (!(ReadChild(acc, browse).state & STATE_SYSTEM_UNAVAILABLE))
      faults.push_back("Browse reads as available");
    v.lVal = install;
    if (acc->accDoDefaultAction(v) == S_OK) faults.push_back("install was pressed");
    // A press that reaches the handler by any other way opens no second picker.
    window->Pm().SendNotify(L"click", L"browse");
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    PumpFor(300);  // what was posted arrives while the picker is open
    if (g_liveWindows != 1 || !IsWindow(hwnd)) faults.push_back("the window went");
    picked = L"C:\\Picked";
    return true;
  };
  window->Pm().SendNotify(L"click", L"browse");
  PumpFor(200);
  SetDebugSink(nullptr);
  EXPECT_EQ(faults, std::vector<std::string>{});
  EXPECT_EQ(picks, 1);
  ASSERT_EQ(g_liveWindows, 1);
  EXPECT_EQ(Page(), 0);
  EXPECT_EQ(channel->configured, 0) << "Enter started the install";
  EXPECT_EQ(window->InstallFolder(), ComposeBrowsedFolder(L"C:\\Picked")) << "the picked folder counts";
  EXPECT_EQ(EditText(edit), window->InstallFolder()) << "nothing was typed into the field";
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "close refused: the folder picker is open"), 2);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "browse refused: the folder picker is open"), 1);
  // Closed: the window takes input again; the screen reader's Browse opens
  // the picker once more.
  EXPECT_TRUE(IsWindowEnabled(hwnd));
  EXPECT_TRUE(IsWindowEnabled(host));
  EXPECT_FALSE(ReadChild(acc, browse).state & STATE_SYSTEM_UNAVAILABLE);
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = browse;
  EXPECT_EQ(acc->accDoDefaultAction(v), S_OK);
  PumpFor(100);
  EXPECT_EQ(picks, 2);
  acc->Release();
}

// A link opens without our token: the desktop's shell opens it when there is
// one, else this process does. Here the target is a script that leaves a
// marker, so the test sees that it was opened and by which route.
TEST(ShellOpen, OpensThroughTheDesktopShellOrElseItself) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) || true);
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring stem = std::wstring(temp) + L"qv_shell_open_" + std::to_wstring(GetCurrentProcessId());
  const std::wstring script = stem + L".cmd", marker = stem + L".txt";
  DeleteFileW(marker.c_str());
  {
    std::ofstream out(WideToUtf8(script));
    // The marker, then a moment in which the test finds the script's process.
    out << "@echo opened> \"" << WideToUtf8(marker) << "\"\r\n@ping -n 4 127.0.0.1 > nul\r\n";
  }
  std::vector<std::string> lines;
  SetDebugSink([&](const std::string& l) { lines.push_back(l); });
  const ShellOpenRoute route = OpenAsDesktopUser(script);
  SetDebugSink(nullptr);
  ASSERT_EQ(lines.size(), 1u);
  std::fprintf(stderr, "route: %s\n", lines[0].c_str());
  EXPECT_NE(route, ShellOpenRoute::kFailed) << lines[0];
  EXPECT_TRUE(PumpUntil([&] { return FileExists(marker); }, 20000)) << "the script never ran: " << lines[0];
  // Opened by the desktop's shell, the script is no child of this process.
  DWORD parent = 0;
  std::map<DWORD, std::wstring> names;
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    names[entry.th32ProcessID] = entry.szExeFile;
    if (_wcsicmp(entry.szExeFile, L"cmd.exe") == 0) parent = entry.th32ParentProcessID;
  }
  snapshot.reset();
  std::fprintf(stderr, "script's parent %lu (%s), this process %lu\n", parent, WideToUtf8(names[parent]).c_str(),
               GetCurrentProcessId());
  ASSERT_NE(parent, 0u) << "the script's process was not found";
  // Wine runs a desktop shell (explorer) as Windows does: the link takes
  // that route, and the script is no child of this process.
  EXPECT_EQ(route, ShellOpenRoute::kDesktopShell) << lines[0];
  EXPECT_NE(parent, GetCurrentProcessId());
  DeleteFileW(script.c_str());
  DeleteFileW(marker.c_str());
}

}  // namespace
