// KvWindowBase on a real (hidden) window under Wine, with the skin package
// built from skin/.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "toolkit/controls.h"
#include "toolkit/zip_archive.h"
#include "ui/kv_window_base.h"
#include "ui/text_table.h"

namespace {

class TestWnd : public KvWindowBase {
 public:
  int dpiChangedWith = 0;
  void DpiChanged(int dpi) override { dpiChangedWith = dpi; }
  using KvWindowBase::HandleMessage;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"KvTestFrame"; }
  std::wstring GetSkinFile() override { return L"InstallMainWnd.xml"; }
};

class KvWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::ifstream f(QV_SKIN_ZIP_FILE, std::ios::binary);
    zip_.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    ASSERT_FALSE(zip_.empty()) << QV_SKIN_ZIP_FILE;
    SetSkinArchive(zip_.data(), zip_.size());
  }
  void SetUp() override {
    SetCurrentLanguage(L"en");
    wnd_.Manager().SetTextResolver([this](const std::wstring& id) {
      auto it = texts_.find(id);
      return it == texts_.end() ? id : it->second;
    });
    ASSERT_NE(wnd_.Create(nullptr, L"test", WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_WINDOWEDGE), nullptr);
  }
  void TearDown() override { SetCurrentLanguage(L"en"); }
  static void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  LONG_PTR ExStyle() { return GetWindowLongPtrW(wnd_.GetHWND(), GWL_EXSTYLE); }

  static std::string zip_;
  std::map<std::wstring, std::wstring> texts_{{L"tt_createdesktop", L"Create Shortcut"}};
  TestWnd wnd_;
};
std::string KvWindowTest::zip_;

TEST_F(KvWindowTest, StartsAtTheMonitorScaleWithTheMarkupShadow) {
  const int scale = wnd_.GetScale();
  EXPECT_EQ(scale, skinui::ScaleForDpi(MonitorDpi(MonitorFromWindow(wnd_.GetHWND(), MONITOR_DEFAULTTONEAREST))));
  SavedShadow want = ShadowForScale(SavedShadow{38, skinui::Rect{54, 54, 54, 54}, L"window_shadow.png"}, scale);
  EXPECT_EQ(wnd_.Manager().Shadow().image, want.image);
  EXPECT_EQ(wnd_.Manager().Shadow().size, want.size);
  RECT wr;
  GetWindowRect(wnd_.GetHWND(), &wr);
  EXPECT_EQ(wr.right - wr.left, skinui::ScaleLength(550, scale));
  EXPECT_EQ(wr.bottom - wr.top, skinui::ScaleLength(365, scale));
  EXPECT_EQ(GetWindowLongPtrW(wnd_.GetHWND(), GWL_STYLE) & WS_CAPTION, 0);
  EXPECT_NE(ExStyle() & WS_EX_LAYERED, 0);
}

TEST_F(KvWindowTest, DpiChangeRescalesMovesAndKeepsDirection) {
  struct Case {
    const wchar_t* language;
    int dpi;
    int scale;
    const wchar_t* shadow;
    int size, corner;
  } cases[] = {
      {L"en", 144, 150, L"window_shadow@150.png", 57, 81},
      {L"arabic", 120, 125, L"window_shadow@125.png", 48, 68},
      {L"arabic", 240, 200, L"window_shadow@200.png", 76, 108},  // above 192: as 192
      {L"en", 96, 100, L"window_shadow.png", 38, 54},
  };
  for (const auto& c : cases) {
    SetCurrentLanguage(c.language);
    wnd_.ApplyDirection();
    const bool rtl = std::wstring(c.language) == L"arabic";
    RECT suggested = {40, 30, 40 + skinui::ScaleLength(550, c.scale), 30 + skinui::ScaleLength(365, c.scale)};
    SendMessageW(wnd_.GetHWND(), WM_DPICHANGED, MAKEWPARAM(c.dpi, c.dpi), reinterpret_cast<LPARAM>(&suggested));
    Pump();
    EXPECT_EQ(wnd_.GetScale(), c.scale) << c.dpi;
    EXPECT_EQ(wnd_.dpiChangedWith, std::min(c.dpi, 192)) << c.dpi;
    EXPECT_EQ(wnd_.Manager().Shadow().image, c.shadow) << c.dpi;
    EXPECT_EQ(wnd_.Manager().Shadow().size, c.size) << c.dpi;
    EXPECT_EQ(wnd_.Manager().Shadow().corner, (skinui::Rect{c.corner, c.corner, c.corner, c.corner})) << c.dpi;
    RECT wr;
    GetWindowRect(wnd_.GetHWND(), &wr);
    EXPECT_TRUE(EqualRect(&wr, &suggested)) << c.dpi << ": " << wr.left << "," << wr.top << "," << wr.right << ","
                                            << wr.bottom;
    EXPECT_EQ(wnd_.IsLayoutRtl(), rtl) << c.dpi;
    EXPECT_EQ((ExStyle() & WS_EX_LAYOUTRTL) != 0, rtl) << c.dpi;
    EXPECT_EQ(wnd_.Manager().GetRoot()->GetUserData(), rtl ? L"LAYOUT_RTL" : L"") << c.dpi;
    // The surface was drawn at the new size, images of the new scale.
    wnd_.Repaint();
    int w = 0, h = 0;
    const uint32_t* px = wnd_.SurfacePixels(w, h);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(w, suggested.right - suggested.left);
    EXPECT_EQ(px[static_cast<size_t>(h / 2) * w + w / 20] >> 24, 0xFFu) << "background drawn at " << c.dpi;
    EXPECT_EQ(px[0] >> 24, 0u) << "rounded corner stays clear at " << c.dpi;
  }
}

TEST_F(KvWindowTest, LanguageChangeRemeasuresLabelsAndSwapsFaces) {
  wnd_.Repaint();
  skinui::Control* box = wnd_.Manager().FindControl(L"createshortcut");
  skinui::Control* spacer = wnd_.Manager().FindControl(L"spacer");
  ASSERT_NE(box, nullptr);
  ASSERT_NE(spacer, nullptr);
  const int before = box->GetPos().Width();
  const int spacerBefore = spacer->GetPos().Width();
  texts_[L"tt_createdesktop"] = L"Create a desktop shortcut for every user";
  SetCurrentLanguage(L"ja");
  wnd_.ApplyLanguage();
  EXPECT_GT(box->GetPos().Width(), before + 40);
  EXPECT_LT(spacer->GetPos().Width(), spacerBefore - 40);
  EXPECT_EQ(wnd_.Manager().GetFont(0)->face, L"Yu Gothic UI");
  EXPECT_EQ(wnd_.Manager().GetFont(0)->size, 13);
  EXPECT_EQ(wnd_.Manager().GetDefaultFont().face, L"Yu Gothic UI");
  EXPECT_FALSE(wnd_.IsLayoutRtl());
  SetCurrentLanguage(L"de");
  wnd_.ApplyLanguage();
  EXPECT_EQ(wnd_.Manager().GetFont(0)->face, L"Arial");
}

TEST_F(KvWindowTest, SizeLimitsAndDisplayChange) {
  MINMAXINFO mmi = {};
  SendMessageW(wnd_.GetHWND(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
  EXPECT_EQ(mmi.ptMinTrackSize.x, skinui::ScaleLength(550, wnd_.GetScale()));
  EXPECT_EQ(mmi.ptMinTrackSize.y, skinui::ScaleLength(365, wnd_.GetScale()));
  EXPECT_GT(mmi.ptMaxTrackSize.x, 0);
  // A display change while visible makes the next request use the system's defaults.
  wnd_.ShowWindow(true, false);
  SendMessageW(wnd_.GetHWND(), WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 800));
  MINMAXINFO untouched = {};
  untouched.ptMinTrackSize = POINT{7, 7};
  wnd_.HandleMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&untouched));
  EXPECT_EQ(untouched.ptMinTrackSize.x, 7);
  MINMAXINFO again = {};
  wnd_.HandleMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&again));
  EXPECT_EQ(again.ptMinTrackSize.x, skinui::ScaleLength(550, wnd_.GetScale()));
  wnd_.ShowWindow(false);
}

TEST_F(KvWindowTest, NotificationsEditAndCloseButton) {
  std::wstring typed;
  int installs = 0;
  wnd_.Pump().On(L"click", L"install", [&](const skinui::Notification&) { ++installs; });
  wnd_.Pump().On(L"textchanged", L"installPath", [&](const skinui::Notification& n) { typed = n.sender->GetText(); });
  EXPECT_TRUE(wnd_.Manager().SendNotify(L"click", L"install"));
  EXPECT_EQ(installs, 1);

  // The hosted native edit: text set by the program shows there without a
  // notification; text typed there reaches the control with one.
  wnd_.ShowWindow(true, false);
  auto* edit = wnd_.Manager().Find<skinui::Edit>(L"installPath");
  ASSERT_NE(edit, nullptr);
  edit->SetText(L"C:\\Games");
  wnd_.Repaint();
  Pump();
  HWND host = nullptr;
  while ((host = FindWindowExW(nullptr, host, L"SkinUiEditHost", nullptr)) != nullptr)
    if (GetWindow(host, GW_OWNER) == wnd_.GetHWND()) break;
  ASSERT_NE(host, nullptr);
  HWND native = FindWindowExW(host, nullptr, L"EDIT", nullptr);
  ASSERT_NE(native, nullptr);
  wchar_t buf[64] = {};
  GetWindowTextW(native, buf, 64);
  EXPECT_STREQ(buf, L"C:\\Games");
  EXPECT_EQ(typed, L"");
  SetWindowTextW(native, L"D:\\Play");
  EXPECT_EQ(typed, L"D:\\Play");
  EXPECT_EQ(edit->GetText(), L"D:\\Play");

  // The language list: a click on the combo box opens it, a click on an
  // item selects that item, notifies and closes the list.
  int selects = 0;
  wnd_.Pump().On(L"itemselect", L"language_combo", [&](const skinui::Notification&) { ++selects; });
  auto* combo = wnd_.Manager().Find<skinui::Combo>(L"language_combo");
  ASSERT_NE(combo, nullptr);
  for (const wchar_t* code : {L"en", L"de", L"fr"}) combo->AddItem(skinui::ComboItem{code, code, code, 26, {6, 0, 6, 0}});
  combo->SelectItem(0);
  combo->Activate();
  Pump();
  HWND list = FindWindowExW(nullptr, nullptr, L"SkinUiDropList", nullptr);
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(IsWindowVisible(list));
  EXPECT_TRUE(combo->IsDropped());
  const int itemY = skinui::ScaleLength(4 + 26 + 13, wnd_.GetScale());  // the middle of the second item
  SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(20, itemY));
  Pump();
  EXPECT_EQ(combo->GetCurSel(), 1);
  EXPECT_EQ(selects, 1);
  EXPECT_FALSE(IsWindowVisible(list));
  EXPECT_FALSE(combo->IsDropped());

  // The close button's default: close with code 1.
  EXPECT_TRUE(wnd_.Manager().SendNotify(L"click", L"closebtn"));
  for (int i = 0; i < 200 && wnd_.GetHWND(); ++i) {
    Pump();
    Sleep(5);
  }
  EXPECT_EQ(wnd_.GetHWND(), nullptr);
  EXPECT_EQ(wnd_.GetCloseCode(), 1u);
}

}  // namespace
