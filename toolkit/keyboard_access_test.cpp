// Tab order, focus movement, the keys and the accessibility tree on the
// portable model (no window).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "toolkit/accessible.h"
#include "toolkit/canvas.h"
#include "toolkit/controls.h"
#include "toolkit/focus.h"
#include "toolkit/paint_manager.h"
#include "testing/fixtures/toolkit_fixtures.h"

namespace skinui {
namespace {

TEST(VisualOrder, RowsTopToBottomThenReadingDirection) {
  struct Case {
    const char* what;
    std::vector<Rect> rects;
    bool rtl;
    std::vector<size_t> expected;
  };
  const Case cases[] = {
      {"column", {{0, 40, 10, 50}, {0, 0, 10, 10}, {0, 20, 10, 30}}, false, {1, 2, 0}},
      {"row left to right", {{50, 0, 60, 10}, {0, 0, 10, 10}, {20, 0, 30, 10}}, false, {1, 2, 0}},
      {"row mirrored", {{50, 0, 60, 10}, {0, 0, 10, 10}, {20, 0, 30, 10}}, true, {0, 2, 1}},
      // A short check box centred beside a tall combo is on the combo's row.
      {"centred in a taller row", {{300, 0, 480, 35}, {0, 7, 100, 27}, {0, 45, 100, 65}}, false, {1, 0, 2}},
      {"taller row mirrored", {{70, 0, 250, 35}, {450, 7, 550, 27}, {450, 45, 550, 65}}, true, {1, 0, 2}},
      // The row is its first control's band: a tall control further down the
      // band does not pull the next row in.
      {"no chaining", {{0, 0, 10, 20}, {20, 10, 30, 60}, {0, 30, 10, 50}}, false, {0, 2, 1}},
      {"same place keeps markup order", {{0, 0, 10, 10}, {0, 0, 10, 10}}, false, {0, 1}},
      {"empty", {}, false, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(VisualOrder(c.rects, c.rtl), c.expected) << c.what;
}

TEST(StepInOrder, CyclesBothWays) {
  struct Case { int count, current; bool backward; int expected; };
  const Case cases[] = {{3, 0, false, 1}, {3, 2, false, 0}, {3, 0, true, 2}, {3, -1, false, 0},
                        {3, -1, true, 2}, {3, 7, false, 0}, {0, -1, false, -1}, {1, 0, true, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(StepInOrder(c.count, c.current, c.backward), c.expected) << c.count << " " << c.current;
}

TEST(TypeToSelect, PrefixesAndRepeatedLetters) {
  const std::vector<std::wstring> items = {L"Deutsch", L"English", L"Español", L"Français", L"Русский", L"español"};
  struct Case { int current; const wchar_t* typed; int expected; };
  const Case cases[] = {
      {0, L"e", 1},      // the next item with "e"
      {1, L"e", 2},      // again: cycles through the "e" items
      {2, L"ee", 5},     // a repeated letter keeps cycling (case ignored)
      {5, L"e", 1},      // wraps
      {1, L"es", 2},     // a longer prefix
      {2, L"esp", 2},    // still matching: stays
      {0, L"р", 4},      // Cyrillic, case ignored
      {0, L"x", -1},
      {-1, L"d", 0},
      {0, L"", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(TypeToSelect(items, c.current, c.typed), c.expected) << c.current;
  EXPECT_EQ(TypeToSelect({}, -1, L"a"), -1);
}

const char kPage[] = R"(<Window size="300,200" focuscolor="#FF112233">
  <VerticalLayout>
    <TabLayout name="tabs">
      <VerticalLayout inset="10,40,10,0">
        <Button name="install" height="30" text="Install"/>
        <HorizontalLayout height="30">
          <Edit name="path" width="150" accname="Folder" text="C:\Q"/>
          <Button name="browse" width="60" text="Browse"/>
          <Button name="hidden" width="30" text="H" visible="false"/>
        </HorizontalLayout>
        <HorizontalLayout height="30">
          <CheckBox name="shortcut" width="100" height="20" text="Shortcut" selected="true"/>
          <Control/>
          <Combo name="lang" width="100" accname="Language"/>
        </HorizontalLayout>
        <HorizontalLayout height="20">
          <CheckBox name="agree" width="60" text="Agree"/>
          <Link name="terms" width="60" text="Terms"/>
          <Button name="off" width="40" text="Off" enabled="false"/>
        </HorizontalLayout>
      </VerticalLayout>
      <VerticalLayout inset="10,40,10,0">
        <Label name="status" height="20" text="Installing"/>
        <Progress name="bar" height="6" value="42"/>
        <Button name="start" height="30" text="Start"/>
      </VerticalLayout>
    </TabLayout>
    <Button name="closebtn" float="true" pos="270,5,290,25" accname="Close"/>
    <Control name="logo" float="true" pos="10,5,60,25" accname="Logo"/>
    <Control name="spacer" float="true" pos="70,5,80,25"/>
  </VerticalLayout>
</Window>)";

struct Events : ManagerHost {
  void InvalidateWindow() override {}
  void OpenDropDown(Combo* c) override { seen.push_back(L"open:" + c->GetName()); }
  void FocusEdit(Edit* e) override {}
  void EditTextSet(Edit*) override {}
  void FontsChanged() override {}
  void FocusChanged(Control* now) override { seen.push_back(L"native:" + (now ? now->GetName() : L"-")); }
  void AccessibleEvent(Control* c, AccEvent e) override {
    static const wchar_t* const kNames[] = {L"focus", L"state", L"value", L"name", L"reorder"};
    seen.push_back(std::wstring(kNames[static_cast<int>(e)]) + L":" + c->GetName());
  }
  std::vector<std::wstring> seen;
};

struct Recorder : NotifyListener {
  void Notify(const Notification& n) override { clicks.push_back(n.type + L":" + n.sender->GetName()); }
  std::vector<std::wstring> clicks;
};

struct Window {
  explicit Window(bool rtl = false) {
    EXPECT_TRUE(pm.LoadMarkup(kPage));
    pm.AddNotifier(&rec);
    pm.SetHost(&host);
    auto* lang = pm.Find<Combo>(L"lang");
    for (const wchar_t* t : {L"English", L"Deutsch", L"Русский"}) lang->AddItem(ComboItem{t, L"", L"", 24, Rect{}});
    lang->SelectItem(0);
    pm.SetLayoutRtl(rtl);
    pm.Layout(Size{300, 200});
    host.seen.clear();
  }
  std::vector<std::wstring> Order() {
    std::vector<std::wstring> names;
    for (Control* c : TabOrder(pm)) names.push_back(c->GetName());
    return names;
  }
  std::wstring Focus() { return pm.GetFocus() ? pm.GetFocus()->GetName() : L"-"; }
  ~Window() { pm.SetHost(nullptr); }
  PaintManager pm;
  Events host;
  Recorder rec;
};

TEST(TabOrder, FollowsThePageSkipsWhatCannotTakeFocusAndMirrors) {
  const std::vector<std::wstring> ltr = {L"closebtn", L"install", L"path", L"browse", L"shortcut",
                                         L"lang",     L"agree",   L"terms"};
  EXPECT_EQ(Window().Order(), ltr);
  // Mirrored, the page reads the same way from its right edge: the edit is
  // now right of the browse button and still comes first.
  const std::vector<std::wstring> rtl = ltr;
  Window mirrored(true);
  EXPECT_GT(mirrored.pm.FindControl(L"path")->GetPos().left, mirrored.pm.FindControl(L"browse")->GetPos().left);
  EXPECT_EQ(mirrored.Order(), rtl);

  Window page1;
  page1.pm.Find<TabLayout>(L"tabs")->SelectItem(1);
  page1.pm.Layout(Size{300, 200});
  EXPECT_EQ(page1.Order(), (std::vector<std::wstring>{L"closebtn", L"start"}));
  page1.pm.FindControl(L"closebtn")->SetEnabled(false);
  EXPECT_EQ(page1.Order(), std::vector<std::wstring>{L"start"});
}

TEST(Focus, TabAndShiftTabCycleAndOnlyFocusableControlsTakeIt) {
  Window w;
  EXPECT_FALSE(w.pm.IsFocusMarkShown());
  EXPECT_FALSE(w.pm.SetFocus(w.pm.FindControl(L"off"))) << "disabled";
  EXPECT_FALSE(w.pm.SetFocus(w.pm.FindControl(L"hidden"))) << "hidden";
  EXPECT_FALSE(w.pm.SetFocus(w.pm.FindControl(L"start"))) << "on a hidden page";
  EXPECT_FALSE(w.pm.SetFocus(w.pm.FindControl(L"logo"))) << "not interactive";
  EXPECT_EQ(w.Focus(), L"-");
  ASSERT_TRUE(w.pm.SetFocus(w.pm.FindControl(L"install")));
  EXPECT_EQ(w.host.seen, (std::vector<std::wstring>{L"native:install", L"focus:install"}));

  std::vector<std::wstring> forward;
  for (int i = 0; i < 8; ++i) {
    EXPECT_TRUE(w.pm.KeyDown(Key::Tab));
    forward.push_back(w.Focus());
  }
  EXPECT_EQ(forward, (std::vector<std::wstring>{L"path", L"browse", L"shortcut", L"lang", L"agree", L"terms",
                                                L"closebtn", L"install"}));
  EXPECT_TRUE(w.pm.IsFocusMarkShown()) << "the keyboard was used";
  EXPECT_TRUE(w.pm.KeyDown(Key::Tab, /*shift=*/true));
  EXPECT_EQ(w.Focus(), L"closebtn");
  EXPECT_TRUE(w.pm.KeyDown(Key::Tab, true));
  EXPECT_EQ(w.Focus(), L"terms");
  // With no focus, Tab starts at the first control and Shift+Tab at the last.
  w.pm.SetFocus(nullptr);
  w.pm.KeyDown(Key::Tab, true);
  EXPECT_EQ(w.Focus(), L"terms");
}

TEST(Focus, MovesOnWhenItsControlGoes) {
  struct Case {
    const char* what;
    const wchar_t* focused;
    void (*change)(PaintManager&);
    const wchar_t* expected;
  };
  const Case cases[] = {
      {"hidden", L"browse", [](PaintManager& pm) { pm.FindControl(L"browse")->SetVisible(false); }, L"shortcut"},
      {"disabled", L"agree", [](PaintManager& pm) { pm.FindControl(L"agree")->SetEnabled(false); }, L"terms"},
      {"last one goes: wraps", L"terms", [](PaintManager& pm) { pm.FindControl(L"terms")->SetEnabled(false); },
       L"closebtn"},
      {"its row hides", L"lang",
       [](PaintManager& pm) { pm.FindControl(L"lang")->GetParent()->SetVisible(false); }, L"agree"},
      {"its page goes", L"install", [](PaintManager& pm) { pm.Find<TabLayout>(L"tabs")->SelectItem(1); }, L"start"},
      {"nothing left", L"install",
       [](PaintManager& pm) {
         pm.Find<TabLayout>(L"tabs")->SelectItem(1);
         pm.FindControl(L"start")->SetEnabled(false);
         pm.FindControl(L"closebtn")->SetVisible(false);
       },
       L"-"},
  };
  for (const Case& c : cases) {
    Window w;
    ASSERT_TRUE(w.pm.SetFocus(w.pm.FindControl(c.focused))) << c.what;
    c.change(w.pm);
    EXPECT_NE(w.Focus(), c.focused) << c.what << ": never rests on it";
    w.pm.Layout(Size{300, 200});
    EXPECT_EQ(w.Focus(), c.expected) << c.what;
  }
  // Disabling needs no new layout: the next key finds the next control.
  Window w;
  w.pm.SetFocus(w.pm.FindControl(L"install"));
  w.pm.FindControl(L"install")->SetEnabled(false);
  EXPECT_EQ(w.Focus(), L"-");
  w.pm.KeyDown(Key::Tab);
  EXPECT_EQ(w.Focus(), L"browse") << "the lost control resolves to the path, Tab goes on";
}

TEST(Keys, EnterSpaceEscapeAndTheCombo) {
  struct Case {
    const char* what;
    const wchar_t* focused;  // null: none
    Key key;
    bool alt;
    std::vector<std::wstring> clicks;
    bool used;
  };
  const Case cases[] = {
      {"enter presses a button", L"browse", Key::Enter, false, {L"click:browse"}, true},
      {"space presses a button", L"browse", Key::Space, false, {L"click:browse"}, true},
      {"enter follows a link", L"terms", Key::Enter, false, {L"click:terms"}, true},
      {"space follows a link", L"terms", Key::Space, false, {L"click:terms"}, true},
      {"space toggles a check box", L"agree", Key::Space, false, {L"click:agree", L"selectchanged:agree"}, true},
      {"enter on a check box: default button", L"agree", Key::Enter, false, {L"click:install"}, true},
      {"enter in the edit: default button", L"path", Key::Enter, false, {L"click:install"}, true},
      {"enter with no focus: default button", nullptr, Key::Enter, false, {L"click:install"}, true},
      {"space with no focus", nullptr, Key::Space, false, {}, false},
      {"down picks the next language", L"lang", Key::Down, false, {L"itemselect:lang"}, true},
      {"up at the first stays", L"lang", Key::Up, false, {}, true},
      {"end picks the last", L"lang", Key::End, false, {L"itemselect:lang"}, true},
      {"arrows elsewhere do nothing", L"browse", Key::Down, false, {}, false},
      {"escape runs the cancel hook", L"browse", Key::Escape, false, {L"click:closebtn"}, true},
  };
  for (const Case& c : cases) {
    Window w;
    w.pm.SetDefaultButton(w.pm.Find<Button>(L"install"));
    w.pm.SetCancelButton(w.pm.Find<Button>(L"closebtn"));
    if (c.focused) {
      ASSERT_TRUE(w.pm.SetFocus(w.pm.FindControl(c.focused))) << c.what;
    }
    EXPECT_EQ(w.pm.KeyDown(c.key, false, c.alt), c.used) << c.what;
    EXPECT_EQ(w.rec.clicks, c.clicks) << c.what;
  }
  Window w;
  w.pm.SetFocus(w.pm.FindControl(L"lang"));
  for (Key k : {Key::Space, Key::F4}) EXPECT_TRUE(w.pm.KeyDown(k));
  EXPECT_TRUE(w.pm.KeyDown(Key::Down, false, /*alt=*/true));
  EXPECT_EQ(std::count(w.host.seen.begin(), w.host.seen.end(), L"open:lang"), 3);
  EXPECT_EQ(w.pm.Find<Combo>(L"lang")->GetCurSel(), 0) << "opening picks nothing";
}

TEST(Keys, DisabledDefaultAndCancelButtonsDoNothing) {
  Window w;
  auto* install = w.pm.Find<Button>(L"install");
  auto* close = w.pm.Find<Button>(L"closebtn");
  EXPECT_FALSE(w.pm.KeyDown(Key::Enter)) << "no default button";
  EXPECT_FALSE(w.pm.KeyDown(Key::Escape)) << "no cancel hook: the window may close as usual";
  EXPECT_FALSE(w.pm.Cancel());
  w.pm.SetDefaultButton(install);
  w.pm.SetCancelButton(close);
  install->SetEnabled(false);
  close->SetEnabled(false);
  EXPECT_FALSE(w.pm.KeyDown(Key::Enter));
  EXPECT_TRUE(w.pm.KeyDown(Key::Escape)) << "the hook decides: nothing happens";
  EXPECT_TRUE(w.rec.clicks.empty());
  close->SetEnabled(true);
  close->SetVisible(false);
  EXPECT_TRUE(w.pm.Cancel());
  EXPECT_TRUE(w.rec.clicks.empty()) << "a hidden close button is not pressed";
  install->SetEnabled(true);
  w.pm.Find<TabLayout>(L"tabs")->SelectItem(1);
  w.pm.Layout(Size{300, 200});
  EXPECT_FALSE(w.pm.KeyDown(Key::Enter)) << "the default button's page is not shown";
  // A custom hook.
  int cancelled = 0;
  w.pm.SetCancelHandler([&] { ++cancelled; });
  EXPECT_TRUE(w.pm.KeyDown(Key::Escape));
  EXPECT_EQ(cancelled, 1);
}

// While a modal dialog owns the window its input is held: no key, click,
// cancel or screen-reader press acts, every control reads as unavailable;
// released, all works as before.
TEST(Keys, HeldInputActsOnNothing) {
  Window w;
  w.pm.SetDefaultButton(w.pm.Find<Button>(L"install"));
  w.pm.SetCancelButton(w.pm.Find<Button>(L"closebtn"));
  const Rect browse = w.pm.FindControl(L"browse")->GetPos();
  const Point inBrowse{(browse.left + browse.right) / 2, (browse.top + browse.bottom) / 2};
  // A press begun before the hold (it focuses the button) is not completed
  // by its release.
  EXPECT_TRUE(w.pm.MouseDown(inBrowse));
  ASSERT_EQ(w.Focus(), L"browse");
  w.pm.HoldInput(true);
  EXPECT_TRUE(w.pm.IsInputHeld());
  EXPECT_FALSE(w.pm.MouseUp(inBrowse));
  EXPECT_FALSE(w.pm.MouseDown(inBrowse));
  EXPECT_FALSE(w.pm.MouseUp(inBrowse));
  for (Key k : {Key::Enter, Key::Tab, Key::Space, Key::Down, Key::Escape}) EXPECT_FALSE(w.pm.KeyDown(k));
  EXPECT_TRUE(w.pm.Cancel()) << "the window must not close by itself either";
  EXPECT_EQ(w.Focus(), L"browse") << "Tab moved nothing";
  EXPECT_TRUE(w.rec.clicks.empty());
  const std::vector<AccNode> nodes = DescribeAccessible(w.pm);
  ASSERT_FALSE(nodes.empty());
  for (const AccNode& n : nodes) EXPECT_TRUE(n.state & kAccUnavailable) << AccNodeLine(n);

  w.pm.HoldInput(false);
  for (const AccNode& n : DescribeAccessible(w.pm))
    if (n.control->IsEnabled()) EXPECT_FALSE(n.state & kAccUnavailable) << AccNodeLine(n);
  ASSERT_TRUE(w.pm.SetFocus(w.pm.FindControl(L"path")));
  EXPECT_TRUE(w.pm.KeyDown(Key::Enter));
  EXPECT_TRUE(w.pm.MouseDown(inBrowse));
  EXPECT_TRUE(w.pm.MouseUp(inBrowse));
  EXPECT_EQ(w.rec.clicks, (std::vector<std::wstring>{L"click:install", L"click:browse"}));
}

TEST(FocusMark, DrawnAroundTheFocusedControlAtEveryScaleInTheMarkupColour) {
  for (int scale : {100, 150, 200}) {
    Window w;
    w.pm.SetScale(scale);
    const Size size{ScaleLength(300, scale), ScaleLength(200, scale)};
    w.pm.Layout(size);
    EXPECT_EQ(w.pm.GetFocusColor(), 0xFF112233u);
    w.pm.SetFocus(w.pm.FindControl(L"browse"));
    ImageCache images;
    FixedTextRenderer text;
    Bitmap bmp(size.cx, size.cy);
    Canvas canvas = bmp.MakeCanvas();
    RenderTree(canvas, images, w.pm, &text);
    const Rect r = w.pm.FindControl(L"browse")->GetPos();
    const int t = ScaleLength(1, scale);
    EXPECT_EQ(canvas.Pixel(r.left - 2 * t, r.top - 2 * t), 0u) << scale << ": no mark before a key";
    w.pm.KeyDown(Key::Tab, true);
    w.pm.KeyDown(Key::Tab);
    ASSERT_EQ(w.Focus(), L"browse");
    RenderTree(canvas, images, w.pm, &text);
    // Opaque 0x112233, premultiplied BGRA; dots t px wide with t px gaps.
    EXPECT_EQ(canvas.Pixel(r.left - 2 * t, r.top - 2 * t), 0xFF112233u) << scale;
    EXPECT_EQ(canvas.Pixel(r.left - 2 * t + t - 1, r.bottom + t), 0xFF112233u) << scale;
    EXPECT_NE(canvas.Pixel(r.left - 2 * t + t, r.top - 2 * t), 0xFF112233u) << scale << ": a gap";
    EXPECT_EQ(canvas.Pixel(r.right + t, r.top + 2 * t - 2 * t + 2 * t), 0xFF112233u) << scale;
    EXPECT_NE(canvas.Pixel(r.left + 2 * t, r.top + r.Height() / 2), 0xFF112233u) << scale << ": inside is free";
  }
}

std::vector<std::wstring> Lines(const PaintManager& pm) {
  std::vector<std::wstring> out;
  for (const AccNode& n : DescribeAccessible(pm)) out.push_back(n.control->GetName() + L"=" + AccNodeLine(n));
  return out;
}

TEST(AccessibleTree, NamesRolesStatesAndValuesOfTheShownControls) {
  Window w;
  w.pm.SetDefaultButton(w.pm.Find<Button>(L"install"));
  w.pm.SetTextResolver([](const std::wstring& id) { return id == L"Close" ? L"Schließen" : id; });
  w.pm.SetFocus(w.pm.FindControl(L"install"));
  const std::vector<std::wstring> page0 = {
      L"logo=graphic|Logo||",
      L"closebtn=button|Schließen||focusable",
      L"install=button|Install||focused focusable default",
      L"path=edit|Folder|C:\\Q|focusable",
      L"browse=button|Browse||focusable",
      L"shortcut=check|Shortcut||focusable checked",
      L"lang=combo|Language|English|focusable collapsed",
      L"agree=check|Agree||focusable",
      L"terms=link|Terms||focusable linked",
      L"off=button|Off||unavailable",
  };
  EXPECT_EQ(Lines(w.pm), page0);
  const std::vector<AccNode> nodes = DescribeAccessible(w.pm);
  const AccNode& lang = nodes[static_cast<size_t>(FindAccNode(nodes, w.pm.FindControl(L"lang")))];
  EXPECT_EQ(lang.items, (std::vector<std::wstring>{L"English", L"Deutsch", L"Русский"}));
  EXPECT_EQ(lang.selectedItem, 0);
  EXPECT_EQ(lang.rect, w.pm.FindControl(L"lang")->GetPos());
  EXPECT_EQ(nodes[static_cast<size_t>(FindAccNode(nodes, w.pm.FindControl(L"shortcut")))].defaultAction,
            L"Uncheck");
  EXPECT_EQ(FindAccNode(nodes, w.pm.FindControl(L"hidden")), -1);
  EXPECT_EQ(FindAccNode(nodes, w.pm.FindControl(L"spacer")), -1) << "a nameless plain control says nothing";

  w.pm.Find<TabLayout>(L"tabs")->SelectItem(1);
  w.pm.FindControl(L"closebtn")->SetEnabled(false);
  w.pm.Find<Progress>(L"bar")->SetValue(57);
  w.pm.Layout(Size{300, 200});
  const std::vector<std::wstring> page1 = {
      L"logo=graphic|Logo||",
      L"closebtn=button|Schließen||unavailable",
      L"status=text|Installing||",
      L"bar=progress||57%|",
      L"start=button|Start||focused focusable",
  };
  EXPECT_EQ(Lines(w.pm), page1);

  // The window's own action words and percent pattern, through its resolver;
  // one it does not know stays English.
  w.pm.SetTextResolver([](const std::wstring& id) -> std::wstring {
    if (id == L"acc_press") return L"Drücken";
    if (id == L"acc_percent") return L"%1\u00a0%";
    return id;
  });
  AccTexts ids;
  ids.press = L"acc_press";
  ids.percent = L"acc_percent";
  ids.jump = L"acc_jump";
  w.pm.SetAccTexts(ids);
  w.pm.FindControl(L"closebtn")->SetEnabled(true);
  std::vector<AccNode> german = DescribeAccessible(w.pm);
  EXPECT_EQ(german[static_cast<size_t>(FindAccNode(german, w.pm.FindControl(L"start")))].defaultAction, L"Drücken");
  EXPECT_EQ(german[static_cast<size_t>(FindAccNode(german, w.pm.FindControl(L"bar")))].value, L"57\u00a0%");
  w.pm.Find<TabLayout>(L"tabs")->SelectItem(0);
  w.pm.Layout(Size{300, 200});
  german = DescribeAccessible(w.pm);
  EXPECT_EQ(german[static_cast<size_t>(FindAccNode(german, w.pm.FindControl(L"terms")))].defaultAction, L"Jump");
  EXPECT_EQ(german[static_cast<size_t>(FindAccNode(german, w.pm.FindControl(L"lang")))].itemAction, L"Select");

  Window rtl(true);
  std::vector<std::wstring> names;
  for (const AccNode& n : DescribeAccessible(rtl.pm)) names.push_back(n.control->GetName());
  // The logo (left) and the close button (right) share the top row: mirrored,
  // the logo is on the right and comes first.
  EXPECT_EQ(names, (std::vector<std::wstring>{L"logo", L"closebtn", L"install", L"path", L"browse", L"shortcut",
                                              L"lang", L"agree", L"terms", L"off"}));
}

TEST(AccessibleTree, ChangesAreAnnounced) {
  Window w;
  auto* agree = w.pm.Find<Option>(L"agree");
  w.pm.SetFocus(agree);
  w.host.seen.clear();
  w.pm.KeyDown(Key::Space);
  w.pm.Find<Progress>(L"bar")->SetValue(10);
  w.pm.FindControl(L"status")->SetText(L"Downloading");
  w.pm.Find<Edit>(L"path")->TextTyped(L"D:\\");
  w.pm.Find<Combo>(L"lang")->SelectItem(2, true);
  w.pm.FindControl(L"install")->SetEnabled(false);
  w.pm.Find<TabLayout>(L"tabs")->SelectItem(1);
  w.pm.TextsChanged();
  EXPECT_EQ(w.host.seen, (std::vector<std::wstring>{L"state:agree", L"value:bar", L"name:status", L"value:path",
                                                    L"value:lang", L"state:install", L"reorder:tabs",
                                                    L"reorder:" + w.pm.GetRoot()->GetName()}));
}

}  // namespace
}  // namespace skinui
