// The keyboard and the MSAA tree on a real skinned window under Wine: keys
// arrive through SendInput, an MSAA client reads the window as a screen
// reader would.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleacc.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "testing/fixtures/key_input_win.h"
#include "testing/fixtures/msaa_client_win.h"
#include "toolkit/controls.h"
#include "toolkit/window_impl.h"

namespace skinui {
namespace {

const char kMarkup[] = R"(<Window size="360,230" caption="0,0,0,30" focuscolor="#FF4FA3FF">
  <Font id="0" name="Arial" size="13" default="true"/>
  <VerticalLayout name="root" bkcolor="#FF1B2338">
    <TabLayout name="tabs">
      <VerticalLayout inset="20,40,20,0" childpadding="8">
        <HorizontalLayout height="30" childalign="center">
          <Button name="install" width="140" text="Install" bkcolor="#FF2F6FEB" align="center"/>
        </HorizontalLayout>
        <HorizontalLayout height="26">
          <Edit name="path" width="220" accname="Folder" text="C:\Q" bkcolor="#FF141B2B"/>
          <Button name="browse" width="90" text="Browse" bkcolor="#FF2A3550" align="center"/>
        </HorizontalLayout>
        <HorizontalLayout height="26">
          <CheckBox name="shortcut" width="120" text="Shortcut" selected="true"/>
          <Control/>
          <Combo name="lang" width="130" accname="Language" bkcolor="#FF2A3550" dropboxsize="130,90"/>
        </HorizontalLayout>
        <HorizontalLayout height="20">
          <CheckBox name="agree" width="80" text="Agree"/>
          <Link name="terms" width="80" text="Terms" textcolor="#FF4FA3FF"/>
          <Button name="off" width="50" text="Off" enabled="false"/>
        </HorizontalLayout>
      </VerticalLayout>
      <VerticalLayout inset="20,60,20,0" childpadding="8">
        <Label name="status" height="20" text="Installing"/>
        <Progress name="bar" height="6" bkcolor="#FF2A3550"/>
        <Button name="start" height="30" text="Start" bkcolor="#FF2F6FEB" align="center"/>
      </VerticalLayout>
    </TabLayout>
    <Button name="closebtn" float="true" pos="330,6,354,30" accname="Close" bkcolor="#FF3A4560"/>
  </VerticalLayout>
</Window>)";

class TestWnd : public WindowImplBase {
 public:
  std::vector<std::wstring> seen;
  using WindowImplBase::HandleMessage;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"SkinUiKeyTest"; }
  std::wstring GetSkinFile() override { return L""; }
  std::string GetSkinMarkup() override { return kMarkup; }
  void InitWindow() override {
    for (const wchar_t* name : {L"install", L"browse", L"terms", L"closebtn", L"start"})
      Pump().On(L"click", name, [this](const Notification& n) { seen.push_back(L"click:" + n.sender->GetName()); });
    Pump().On(L"itemselect", L"lang", [this](const Notification& n) { seen.push_back(L"itemselect:lang"); });
    auto* lang = Manager().Find<Combo>(L"lang");
    for (const wchar_t* t : {L"English", L"Deutsch", L"Español", L"Русский"})
      lang->AddItem(ComboItem{t, L"", L"", 22, Rect{}});
    lang->SelectItem(0);
    Manager().SetDefaultButton(Manager().Find<Button>(L"install"));
    Manager().SetCancelButton(Manager().Find<Button>(L"closebtn"));
  }
};

// Pumps until `done` holds or `ms` have passed.
template <typename Done>
bool PumpUntil(Done done, DWORD ms = 5000) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      testsupport::NoteKeyRelease(msg);
      if (WindowImplBase::PreTranslate(&msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    if (GetTickCount() - start >= ms) return false;
    Sleep(5);
  }
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

// Real key strokes through the input queue, with modifiers held around them,
// each done once its releases have come through this pump.
void Press(WORD vk, const std::vector<WORD>& modifiers = {}) {
  testsupport::PressKey(vk, modifiers, [](auto done, DWORD ms) { return PumpUntil(done, ms); });
}

void Type(const std::wstring& text) {
  testsupport::TypeText(text, [](auto done, DWORD ms) { return PumpUntil(done, ms); });
}

bool SavePng(const WindowImplBase& w, const std::string& name) {
  std::wstring dir = L"Z:" + std::wstring(QV_SCREENSHOT_DIR, QV_SCREENSHOT_DIR + strlen(QV_SCREENSHOT_DIR));
  std::replace(dir.begin(), dir.end(), L'/', L'\\');
  SHCreateDirectoryExW(nullptr, dir.c_str(), nullptr);
  int width = 0, height = 0;
  const uint32_t* px = w.SurfacePixels(width, height);
  if (!px) return false;
  std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
    rgb[i * 3] = static_cast<unsigned char>(px[i] >> 16);
    rgb[i * 3 + 1] = static_cast<unsigned char>(px[i] >> 8);
    rgb[i * 3 + 2] = static_cast<unsigned char>(px[i]);
  }
  const std::string path = std::string("Z:") + QV_SCREENSHOT_DIR + "/" + name + ".png";
  return stbi_write_png(path.c_str(), width, height, 3, rgb.data(), width * 3) != 0;
}

class KeyboardAccessTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitialize(nullptr); }
  void SetUp() override {
    wnd_ = new TestWnd;
    hwnd_ = wnd_->Create(nullptr, L"Key test", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0);
    ASSERT_NE(hwnd_, nullptr);
    wnd_->CenterWindow();
    wnd_->ShowWindow(true);
    SetForegroundWindow(hwnd_);
    PumpFor(300);
  }
  void TearDown() override {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    PumpFor(50);
    delete wnd_;
  }
  PaintManager& Pm() { return wnd_->Manager(); }
  Control* C(const wchar_t* name) { return Pm().FindControl(name); }
  std::wstring Focus() { return Pm().GetFocus() ? Pm().GetFocus()->GetName() : L"-"; }
  // The edit's host is activated for typing. X without a window manager
  // cannot give an owned popup the input focus, so here the window takes the
  // keyboard back: it passes typing on to the field that has its focus.
  void KeepKeyboard() {
    PumpFor(200);
    if (GetFocus() != NativeEdit()) {
      SetForegroundWindow(hwnd_);
      PumpFor(200);
    }
  }
  HWND NativeEdit() {
    HWND host = nullptr;
    while ((host = FindWindowExW(nullptr, host, L"SkinUiEditHost", nullptr)) != nullptr)
      if (GetWindow(host, GW_OWNER) == hwnd_) return FindWindowExW(host, nullptr, L"EDIT", nullptr);
    return nullptr;
  }
  // The focus mark's colour (opaque, so premultiplied equals plain) on the
  // dotted line just outside `c` on the presented surface.
  bool MarkAround(Control* c) {
    wnd_->Repaint();
    int w = 0, h = 0;
    const uint32_t* px = wnd_->SurfacePixels(w, h);
    const int t = std::max(1, Pm().ScaleLen(1));
    const Rect r = c->GetPos();
    const int x = r.left - 2 * t, y = r.top - 2 * t;
    return px && x >= 0 && y >= 0 && x < w && y < h && px[static_cast<size_t>(y) * w + x] == 0xFF4FA3FFu;
  }

  TestWnd* wnd_ = nullptr;
  HWND hwnd_ = nullptr;
};

TEST_F(KeyboardAccessTest, TheWholePageWorksWithKeysAlone) {
  ASSERT_TRUE(Pm().SetFocus(C(L"install")));
  EXPECT_FALSE(MarkAround(C(L"install"))) << "no mark before the keyboard is used";
  Press(VK_TAB);
  EXPECT_EQ(Focus(), L"path");
  ASSERT_NE(NativeEdit(), nullptr);
  KeepKeyboard();
  Type(L"xy");
  EXPECT_EQ(C(L"path")->GetText(), L"xy") << "the field's text was selected on entry, as in a dialog";
  Press(VK_TAB);  // out of the field
  EXPECT_EQ(Focus(), L"browse");
  EXPECT_EQ(GetFocus(), hwnd_);
  EXPECT_TRUE(MarkAround(C(L"browse")));
  Press(VK_TAB, {VK_SHIFT});
  EXPECT_EQ(Focus(), L"path");
  Press(VK_TAB);
  Press(VK_TAB);
  EXPECT_EQ(Focus(), L"shortcut");
  Press(VK_SPACE);
  EXPECT_FALSE(Pm().Find<Option>(L"shortcut")->IsSelected()) << "Space toggles";
  Press(VK_TAB);
  EXPECT_EQ(Focus(), L"lang");
  Press(VK_DOWN);
  EXPECT_EQ(Pm().Find<Combo>(L"lang")->GetCurSel(), 1);
  // The open list: type-to-select, arrows, End, Enter picks.
  Press(VK_SPACE);
  HWND list = FindWindowW(L"SkinUiDropList", nullptr);
  ASSERT_TRUE(list && IsWindowVisible(list));
  Type(L"р");
  Press(VK_RETURN);
  EXPECT_FALSE(IsWindowVisible(list));
  EXPECT_EQ(Pm().Find<Combo>(L"lang")->GetCurSel(), 3) << "typed the first letter of Русский";
  EXPECT_EQ(GetFocus(), hwnd_) << "the keyboard is back on the window";
  Press(VK_DOWN, {VK_MENU});
  ASSERT_TRUE(IsWindowVisible(list)) << "Alt+Down opens";
  Press(VK_HOME);
  Press(VK_DOWN);
  Press(VK_ESCAPE);
  EXPECT_FALSE(IsWindowVisible(list));
  EXPECT_EQ(Pm().Find<Combo>(L"lang")->GetCurSel(), 3) << "Escape keeps the choice";
  EXPECT_TRUE(IsWindow(hwnd_)) << "Escape in the list closes only the list";
  Press(VK_TAB);
  Press(VK_TAB);
  EXPECT_EQ(Focus(), L"terms");
  wnd_->seen.clear();
  Press(VK_RETURN);
  Press(VK_SPACE);
  Press(VK_TAB, {VK_SHIFT});
  Press(VK_RETURN);  // on a check box: the default button
  for (int i = 0; i < 4; ++i) Press(VK_TAB, {VK_SHIFT});
  EXPECT_EQ(Focus(), L"path");
  Press(VK_RETURN);  // in the edit: the default button
  EXPECT_EQ(wnd_->seen, (std::vector<std::wstring>{L"click:terms", L"click:terms", L"click:install", L"click:install"}));
}

TEST_F(KeyboardAccessTest, EscapeAndAltF4FollowTheCloseButton) {
  Pm().SetFocus(C(L"browse"));
  C(L"closebtn")->SetEnabled(false);
  Press(VK_ESCAPE);
  Press(VK_F4, {VK_MENU});
  Press('X', {VK_MENU});
  Pm().SetFocus(C(L"path"));
  KeepKeyboard();
  Press(VK_F4, {VK_MENU});
  ASSERT_NE(NativeEdit(), nullptr);
  SendMessageW(GetParent(NativeEdit()), WM_SYSCOMMAND, SC_CLOSE, 0);  // Alt+F4 in the field
  PumpFor(100);
  EXPECT_TRUE(IsWindow(hwnd_));
  EXPECT_NE(NativeEdit(), nullptr) << "Alt+F4 in the edit does not close its host";
  EXPECT_TRUE(wnd_->seen.empty());
  C(L"closebtn")->SetEnabled(true);
  Press(VK_ESCAPE);
  Press(VK_F4, {VK_MENU});
  EXPECT_EQ(wnd_->seen, (std::vector<std::wstring>{L"click:closebtn", L"click:closebtn"}));
}

TEST_F(KeyboardAccessTest, FocusMarkAtEveryScaleAndFocusMovesWithThePage) {
  for (int dpi : {96, 144, 192}) {
    wnd_->SetDpi(dpi);
    PumpFor(100);
    Pm().SetFocus(C(L"install"));
    Press(VK_TAB);
    KeepKeyboard();
    Press(VK_TAB);
    EXPECT_EQ(Focus(), L"browse") << dpi;
    EXPECT_TRUE(MarkAround(C(L"browse"))) << dpi;
    EXPECT_TRUE(SavePng(*wnd_, "focus-mark-" + std::to_string(dpi * 100 / 96)));
  }
  Pm().Find<TabLayout>(L"tabs")->SelectItem(1);
  PumpFor(100);
  EXPECT_EQ(Focus(), L"start") << "focus left with its page";
  wnd_->seen.clear();
  Press(VK_RETURN);
  EXPECT_EQ(wnd_->seen, std::vector<std::wstring>{L"click:start"});
}

using Child = testsupport::AccChild;
using testsupport::ReadChild;

std::vector<Child> Children(IAccessible* acc) { return testsupport::ReadChildren(acc); }

std::vector<std::pair<DWORD, LONG>> g_events;
void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND, LONG obj, LONG child, DWORD, DWORD) {
  if (obj == OBJID_CLIENT) g_events.push_back({event, child});
}

TEST_F(KeyboardAccessTest, AnMsaaClientReadsAndDrivesTheWindow) {
  Pm().SetFocus(C(L"install"));
  IAccessible* acc = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(hwnd_, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                       reinterpret_cast<void**>(&acc)),
            S_OK);
  ASSERT_NE(acc, nullptr);
  std::vector<Child> kids = Children(acc);
  struct Want {
    const wchar_t* name;
    long role;
    long stateOn, stateOff;
    const wchar_t* value;
  };
  const long F = STATE_SYSTEM_FOCUSABLE, U = STATE_SYSTEM_UNAVAILABLE;
  const Want want[] = {
      {L"Close", ROLE_SYSTEM_PUSHBUTTON, F, U, L""},
      {L"Install", ROLE_SYSTEM_PUSHBUTTON, F | STATE_SYSTEM_FOCUSED | STATE_SYSTEM_DEFAULT, U, L""},
      {L"Folder", ROLE_SYSTEM_TEXT, F, U | STATE_SYSTEM_FOCUSED, L"C:\\Q"},
      {L"Browse", ROLE_SYSTEM_PUSHBUTTON, F, U, L""},
      {L"Shortcut", ROLE_SYSTEM_CHECKBUTTON, F | STATE_SYSTEM_CHECKED, U, L""},
      {L"Language", ROLE_SYSTEM_COMBOBOX, F | STATE_SYSTEM_COLLAPSED, U, L"English"},
      {L"Agree", ROLE_SYSTEM_CHECKBUTTON, F, STATE_SYSTEM_CHECKED, L""},
      {L"Terms", ROLE_SYSTEM_LINK, F | STATE_SYSTEM_LINKED, U, L""},
      {L"Off", ROLE_SYSTEM_PUSHBUTTON, U, F, L""},
  };
  ASSERT_EQ(kids.size(), std::size(want));
  for (size_t i = 0; i < kids.size(); ++i) {
    EXPECT_EQ(kids[i].name, want[i].name) << i;
    EXPECT_EQ(kids[i].role, want[i].role) << want[i].name;
    EXPECT_EQ(kids[i].state & want[i].stateOn, want[i].stateOn) << want[i].name;
    EXPECT_EQ(kids[i].state & want[i].stateOff, 0) << want[i].name;
    EXPECT_EQ(kids[i].value, want[i].value) << want[i].name;
  }

  // The combo is an object of its own with its list items.
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = 6;
  IDispatch* disp = nullptr;
  ASSERT_EQ(acc->get_accChild(v, &disp), S_OK);
  IAccessible* combo = nullptr;
  ASSERT_EQ(disp->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(&combo)), S_OK);
  disp->Release();
  std::vector<Child> items = Children(combo);
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[3].name, L"Русский");
  EXPECT_EQ(items[0].role, ROLE_SYSTEM_LISTITEM);
  EXPECT_TRUE(items[0].state & STATE_SYSTEM_SELECTED);

  // Locations are screen pixels at the window's DPI.
  for (int dpi : {96, 192}) {
    wnd_->SetDpi(dpi);
    PumpFor(100);
    wnd_->Repaint();
    RECT wr;
    GetWindowRect(hwnd_, &wr);
    long x = 0, y = 0, w = 0, h = 0;
    v.lVal = 4;
    ASSERT_EQ(acc->accLocation(&x, &y, &w, &h, v), S_OK);
    const Rect r = C(L"browse")->GetPos();
    EXPECT_EQ(x, wr.left + r.left) << dpi;
    EXPECT_EQ(y, wr.top + r.top) << dpi;
    EXPECT_EQ(w, r.Width()) << dpi;
    EXPECT_EQ(w, MulDiv(90, dpi, 96)) << dpi;
    VARIANT hit;
    VariantInit(&hit);
    ASSERT_EQ(acc->accHitTest(x + w / 2, y + h / 2, &hit), S_OK);
    EXPECT_EQ(hit.vt, VT_I4);
    EXPECT_EQ(hit.lVal, 4);
  }

  // Default actions: the check box toggles (and says so), the button presses.
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, OnWinEvent, GetCurrentProcessId(), 0,
                                       WINEVENT_OUTOFCONTEXT);
  g_events.clear();
  v.lVal = 7;
  EXPECT_EQ(acc->accDoDefaultAction(v), S_OK);
  PumpFor(100);
  EXPECT_TRUE(ReadChild(acc, 7).state & STATE_SYSTEM_CHECKED);
  v.lVal = 2;
  EXPECT_EQ(acc->accDoDefaultAction(v), S_OK);
  EXPECT_EQ(wnd_->seen, std::vector<std::wstring>{L"click:install"});
  v.lVal = 9;
  EXPECT_NE(acc->accDoDefaultAction(v), S_OK) << "an unavailable button is not pressed";
  // Focus through the client.
  v.lVal = 4;
  EXPECT_EQ(acc->accSelect(SELFLAG_TAKEFOCUS, v), S_OK);
  EXPECT_EQ(Focus(), L"browse");
  VARIANT focus;
  VariantInit(&focus);
  ASSERT_EQ(acc->get_accFocus(&focus), S_OK);
  EXPECT_EQ(focus.lVal, 4);

  // Page 1: the progress value, and the structure change is announced.
  Pm().Find<TabLayout>(L"tabs")->SelectItem(1);
  Pm().Find<Progress>(L"bar")->SetValue(57);
  PumpFor(150);
  kids = Children(acc);
  ASSERT_EQ(kids.size(), 4u);
  EXPECT_EQ(kids[2].role, ROLE_SYSTEM_PROGRESSBAR);
  EXPECT_EQ(kids[2].value, L"57%");
  EXPECT_EQ(kids[1].name, L"Installing");
  C(L"status")->SetText(L"Downloading");
  PumpFor(100);
  EXPECT_EQ(ReadChild(acc, 2).name, L"Downloading");
  if (hook) {
    auto has = [](DWORD e, LONG child) {
      return std::find(g_events.begin(), g_events.end(), std::make_pair(e, child)) != g_events.end();
    };
    // Out-of-context events arrive as messages: wait (bounded) for the last.
    PumpUntil([&] { return has(EVENT_OBJECT_NAMECHANGE, 2); }, 3000);
    UnhookWinEvent(hook);
    EXPECT_TRUE(has(EVENT_OBJECT_STATECHANGE, 7)) << "the check box";
    EXPECT_TRUE(has(EVENT_OBJECT_FOCUS, 4)) << "focus on browse";
    EXPECT_TRUE(has(EVENT_OBJECT_REORDER, CHILDID_SELF)) << "the page";
    EXPECT_TRUE(has(EVENT_OBJECT_VALUECHANGE, 3)) << "the progress bar";
    EXPECT_TRUE(has(EVENT_OBJECT_NAMECHANGE, 2)) << "the status text";
  } else {
    ADD_FAILURE() << "SetWinEventHook failed";
  }

  // A client that outlives the window gets errors, not a crash.
  DestroyWindow(hwnd_);
  PumpFor(50);
  long n = 0;
  EXPECT_NE(acc->get_accChildCount(&n), S_OK);
  EXPECT_NE(combo->get_accChildCount(&n), S_OK);
  combo->Release();
  acc->Release();
}

}  // namespace
}  // namespace skinui
