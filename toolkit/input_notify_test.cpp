#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/fixtures/toolkit_fixtures.h"
#include "toolkit/controls.h"
#include "toolkit/notify_pump.h"
#include "toolkit/paint_manager.h"

namespace skinui {
namespace {

const char kMarkup[] = R"(<Window size="200,100">
  <TabLayout name="tabs">
    <VerticalLayout>
      <Button name="go" height="20"/>
      <Option name="agree" height="20"/>
      <Button name="off" height="20" enabled="false"/>
      <Edit name="path" height="20"/>
      <Label name="plain" height="20"/>
    </VerticalLayout>
    <VerticalLayout><Button name="page1btn" height="20"/></VerticalLayout>
  </TabLayout>
</Window>)";

struct Recorder : NotifyListener {
  void Notify(const Notification& n) override {
    std::wstring line = n.type + L":" + n.sender->GetName();
    if (auto* o = dynamic_cast<Option*>(n.sender)) line += o->IsSelected() ? L"(on)" : L"(off)";
    seen.push_back(line);
  }
  std::vector<std::wstring> seen;
};

struct Fixture {
  Fixture() {
    EXPECT_TRUE(pm.LoadMarkup(kMarkup));
    pm.AddNotifier(&rec);
    pm.Layout(Size{200, 100});
  }
  PaintManager pm;
  Recorder rec;
};

struct ClickCase {
  const char* what;
  Point down, up;
  std::vector<std::wstring> expected;
};

TEST(Input, ClicksBecomeNotifications) {
  const ClickCase cases[] = {
      {"button", {5, 5}, {6, 6}, {L"click:go"}},
      // The check box reports its old state, then toggles.
      {"option", {5, 25}, {5, 25}, {L"click:agree(off)", L"selectchanged:agree(on)"}},
      {"released elsewhere", {5, 5}, {5, 90}, {}},
      {"disabled", {5, 45}, {5, 45}, {}},
      {"label is not interactive", {5, 85}, {5, 85}, {}},
      {"outside", {250, 5}, {250, 5}, {}},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.pm.MouseMove(c.down);
    f.pm.MouseDown(c.down);
    f.pm.MouseMove(c.up);
    f.pm.MouseUp(c.up);
    EXPECT_EQ(f.rec.seen, c.expected) << c.what;
  }
}

TEST(Input, HotStateFollowsTheMouseAndPages) {
  Fixture f;
  EXPECT_TRUE(f.pm.MouseMove(Point{5, 5}));
  EXPECT_EQ(f.pm.GetHot(), f.pm.FindControl(L"go"));
  EXPECT_EQ(f.pm.FindControl(L"go")->GetState(), Control::State::Hot);
  EXPECT_FALSE(f.pm.MouseMove(Point{6, 6}));  // same control: nothing to repaint
  auto* tabs = f.pm.Find<TabLayout>(L"tabs");
  ASSERT_TRUE(tabs->SelectItem(1));
  EXPECT_EQ(f.pm.GetHot(), nullptr);  // the page went away under the mouse
  EXPECT_EQ(f.pm.FindControl(L"go")->GetState(), Control::State::Normal);
  f.pm.Layout(Size{200, 100});
  EXPECT_EQ(f.pm.FindInteractiveAt(Point{5, 5}), f.pm.FindControl(L"page1btn"));
  EXPECT_FALSE(f.pm.FindControl(L"go")->IsVisibleInTree());
  EXPECT_FALSE(tabs->SelectItem(2));
  EXPECT_FALSE(tabs->SelectItem(-1));
  EXPECT_EQ(tabs->GetCurSel(), 1);
}

TEST(Notify, PumpDispatchesByTypeAndName) {
  Fixture f;
  NotifyPump pump;
  std::vector<std::wstring> calls;
  pump.On(L"click", L"go", [&](const Notification& n) { calls.push_back(L"go"); });
  pump.On(L"textchanged", L"path", [&](const Notification& n) {
    calls.push_back(L"path=" + n.sender->GetText());
  });
  f.pm.AddNotifier(&pump);
  EXPECT_TRUE(f.pm.SendNotify(L"click", L"go"));
  EXPECT_TRUE(f.pm.SendNotify(L"click", L"agree"));   // no handler: ignored
  EXPECT_FALSE(f.pm.SendNotify(L"click", L"missing"));  // no such control
  f.pm.Find<Edit>(L"path")->TextTyped(L"C:\\Games");
  EXPECT_EQ(calls, (std::vector<std::wstring>{L"go", L"path=C:\\Games"}));
  EXPECT_TRUE(pump.Has(L"click", L"go"));
  EXPECT_FALSE(pump.Has(L"itemselect", L"go"));
}

TEST(Notify, ComboSelectionNotifiesOnlyOnChange) {
  PaintManager pm;
  Recorder rec;
  ASSERT_TRUE(pm.LoadMarkup(R"(<Window size="100,40"><Combo name="lang"/></Window>)"));
  pm.AddNotifier(&rec);
  auto* combo = pm.Find<Combo>(L"lang");
  auto item = [](const wchar_t* text, const wchar_t* data) {
    ComboItem i;
    i.text = text;
    i.userData = data;
    return i;
  };
  combo->AddItem(item(L"English", L"en"));
  combo->AddItem(item(L"Deutsch", L"de"));
  EXPECT_TRUE(combo->SelectItem(1, true));
  EXPECT_TRUE(combo->SelectItem(1, true));
  EXPECT_FALSE(combo->SelectItem(2, true));
  EXPECT_TRUE(combo->SelectItem(-1));
  EXPECT_EQ(rec.seen, (std::vector<std::wstring>{L"itemselect:lang"}));
  EXPECT_EQ(combo->GetCurSel(), -1);
}

}  // namespace
}  // namespace skinui
