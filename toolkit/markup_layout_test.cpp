#include <gtest/gtest.h>

#include "testing/fixtures/toolkit_fixtures.h"
#include "toolkit/controls.h"
#include "toolkit/markup.h"
#include "toolkit/paint_manager.h"

namespace skinui {
namespace {

const char kFlowMarkup[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<Window size="200,100" caption="0,0,0,20">
  <Font id="0" name="Arial" size="12" default="true"/>
  <VerticalLayout inset="10,10,10,10">
    <Button name="a" height="20" padding="0,0,0,5"/>
    <HorizontalLayout name="row" height="30" childpadding="4">
      <Label name="l" width="40"/>
      <Control name="spacer"/>
      <Button name="b" width="50"/>
    </HorizontalLayout>
    <Control name="rest"/>
    <Button name="close" float="true" pos="170,5,190,25"/>
  </VerticalLayout>
</Window>)";

const char kTabMarkup[] = R"(<Window size="300,200">
  <Font id="1" name="Arial" size="10"/>
  <TabLayout name="tabs" selectedid="1">
    <Control name="logo" float="true" pos="100,10,200,30"/>
    <VerticalLayout name="page0"><Button name="p0" height="30"/></VerticalLayout>
    <VerticalLayout name="page1" inset="40,100,40,0" childalign="center">
      <HorizontalLayout name="hrow" height="16" childvalign="center">
        <Label name="auto" autocalcwidth="true" font="1" text="abcdef" textpadding="2,0,2,0"/>
        <Label name="hidden" width="30" visible="false"/>
        <Label name="icon" width="10" height="10"/>
      </HorizontalLayout>
      <Button name="centred" width="100" height="20" padding="0,6,0,0"/>
    </VerticalLayout>
  </TabLayout>
</Window>)";

struct LayoutCase {
  const char* markup;
  int scale;
  bool rtl;
  const wchar_t* control;
  Rect expected;
};

TEST(Layout, ControlRectanglesAtScaleAndDirection) {
  const LayoutCase cases[] = {
      {kFlowMarkup, 100, false, L"a", {10, 10, 190, 30}},
      {kFlowMarkup, 100, false, L"row", {10, 35, 190, 65}},
      {kFlowMarkup, 100, false, L"l", {10, 35, 50, 65}},
      {kFlowMarkup, 100, false, L"spacer", {54, 35, 136, 65}},
      {kFlowMarkup, 100, false, L"b", {140, 35, 190, 65}},
      {kFlowMarkup, 100, false, L"rest", {10, 65, 190, 90}},
      {kFlowMarkup, 100, false, L"close", {170, 5, 190, 25}},
      {kFlowMarkup, 150, false, L"a", {15, 15, 285, 45}},
      {kFlowMarkup, 150, false, L"row", {15, 53, 285, 98}},
      {kFlowMarkup, 150, false, L"spacer", {81, 53, 204, 98}},
      {kFlowMarkup, 150, false, L"b", {210, 53, 285, 98}},
      {kFlowMarkup, 150, false, L"close", {255, 8, 285, 38}},
      {kFlowMarkup, 100, true, L"l", {150, 35, 190, 65}},
      {kFlowMarkup, 100, true, L"spacer", {64, 35, 146, 65}},
      {kFlowMarkup, 100, true, L"b", {10, 35, 60, 65}},
      {kFlowMarkup, 100, true, L"close", {10, 5, 30, 25}},
      {kFlowMarkup, 150, true, L"close", {15, 8, 45, 38}},
      {kFlowMarkup, 150, true, L"b", {15, 53, 90, 98}},
      {kTabMarkup, 100, false, L"logo", {100, 10, 200, 30}},
      {kTabMarkup, 100, false, L"hrow", {40, 100, 260, 116}},
      // auto width: 6 chars x 5 px + padding 4 = 34, then the icon; the
      // hidden label takes no room.
      {kTabMarkup, 100, false, L"auto", {40, 100, 74, 116}},
      {kTabMarkup, 100, false, L"icon", {74, 103, 84, 113}},
      {kTabMarkup, 100, false, L"centred", {100, 122, 200, 142}},
      {kTabMarkup, 200, false, L"auto", {80, 200, 148, 232}},
      {kTabMarkup, 200, false, L"centred", {200, 244, 400, 284}},
      {kTabMarkup, 100, true, L"auto", {226, 100, 260, 116}},
      {kTabMarkup, 100, true, L"centred", {100, 122, 200, 142}},
  };
  for (const auto& c : cases) {
    PaintManager pm;
    FixedTextRenderer text;
    RendererMeasurer measurer(pm, text);
    pm.SetTextMeasurer(&measurer);
    ASSERT_TRUE(pm.LoadMarkup(c.markup));
    pm.SetScale(c.scale);
    pm.SetLayoutRtl(c.rtl);
    pm.Layout(pm.Scale(pm.GetInitSize()));
    Control* ctl = pm.FindControl(c.control);
    ASSERT_NE(ctl, nullptr) << c.control;
    EXPECT_EQ(ctl->GetPos(), c.expected) << "control " << std::string(c.control, c.control + wcslen(c.control))
                                         << " scale " << c.scale << (c.rtl ? " rtl" : " ltr");
  }
}

TEST(Layout, AutoWidthFollowsNewTextAndReset) {
  PaintManager pm;
  FixedTextRenderer text;
  RendererMeasurer measurer(pm, text);
  pm.SetTextMeasurer(&measurer);
  std::wstring language = L"short";
  pm.SetTextResolver([&](const std::wstring& id) { return id == L"tt_x" ? language : id; });
  ASSERT_TRUE(pm.LoadMarkup(R"(<Window size="300,50"><Font id="1" name="Arial" size="10"/>
    <HorizontalLayout><Label name="x" autocalcwidth="true" font="1" text="tt_x"/><Control name="sp"/>
    <Label name="fixed" width="20"/></HorizontalLayout></Window>)"));
  pm.Layout(Size{300, 50});
  EXPECT_EQ(pm.FindControl(L"x")->GetPos().Width(), 25);
  EXPECT_EQ(pm.FindControl(L"sp")->GetPos().Width(), 255);
  language = L"a much longer text";  // the language changed underneath
  pm.FindControl(L"x")->ResetTextSize();
  pm.Layout(Size{300, 50});
  EXPECT_EQ(pm.FindControl(L"x")->GetPos().Width(), 90);
  EXPECT_EQ(pm.FindControl(L"sp")->GetPos().Width(), 190);
}

TEST(Markup, WindowAttributesFontsAndStyles) {
  PaintManager pm;
  ASSERT_TRUE(pm.LoadMarkup(R"(<Window size="550,365" mininfo="550,365" maxinfo="800,0" caption="0,0,0,44"
      showshadow="true" shadowimage="window_shadow.png" shadowsize="38" shadowcorner="54,54,54,54" futureattr="1">
    <Font id="0" name="Arial" size="13"/>
    <Font id="5" name="Arial" size="18" bold="true"/>
    <Font id="9" name="Arial" size="12" shared="true" default="true"/>
    <Font id="212" name="Arial" size="12" underline="true" italic="true"/>
    <Style name="blue" value="normalimage=&quot;blue_normal.svg&quot; textcolor=&quot;#FF112233&quot; width=&quot;10&quot;"/>
    <VerticalLayout>
      <Gadget name="unknown"><Button name="insideUnknown"/></Gadget>
      <Button name="styled" style="blue" width="160" sparkle="yes" text="tt_fastinstall"/>
      <Option name="opt" selected="true"/>
      <Combo name="combo" dropboxsize="180,160">
        <ListLabelElement text="English" userdata="en" height="26" padding="6,0,6,0"/>
        <ListLabelElement text="Deutsch" userdata="de" selected="true"/>
      </Combo>
      <Progress name="prog" min="0" max="100" value="150"/>
    </VerticalLayout>
  </Window>)"));
  EXPECT_EQ(pm.GetInitSize(), (Size{550, 365}));
  EXPECT_EQ(pm.GetMinInfo(), (Size{550, 365}));
  EXPECT_EQ(pm.GetMaxInfo(), (Size{800, 0}));
  EXPECT_EQ(pm.GetCaptionRect(), (Rect{0, 0, 0, 44}));
  EXPECT_TRUE(pm.Shadow().show);
  EXPECT_EQ(pm.Shadow().size, 38);
  EXPECT_EQ(pm.Shadow().corner, (Rect{54, 54, 54, 54}));
  EXPECT_EQ(pm.Shadow().image, L"window_shadow.png");
  ASSERT_NE(pm.GetFont(5), nullptr);
  EXPECT_TRUE(pm.GetFont(5)->bold);
  EXPECT_EQ(pm.GetFont(5)->size, 18);
  EXPECT_TRUE(pm.GetFont(212)->underline);
  EXPECT_TRUE(pm.GetFont(212)->italic);
  EXPECT_TRUE(pm.GetFont(9)->shared);
  EXPECT_EQ(pm.GetDefaultFont().size, 12);
  EXPECT_EQ(pm.ResolveFont(-1).size, 12);
  EXPECT_EQ(pm.ResolveFont(77).size, 12);  // unknown ids draw with the default
  EXPECT_EQ(pm.FindControl(L"unknown"), nullptr);
  EXPECT_EQ(pm.FindControl(L"insideUnknown"), nullptr);
  auto* styled = pm.Find<Button>(L"styled");
  ASSERT_NE(styled, nullptr);
  EXPECT_EQ(styled->GetFixedWidth(), 160);  // own attribute beats the style
  EXPECT_EQ(styled->GetTextColor(), 0xFF112233u);
  EXPECT_EQ(styled->GetText(), L"tt_fastinstall");
  EXPECT_TRUE(pm.Find<Option>(L"opt")->IsSelected());
  auto* combo = pm.Find<Combo>(L"combo");
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->GetCount(), 2);
  EXPECT_EQ(combo->GetItem(0)->userData, L"en");
  EXPECT_EQ(combo->GetItem(0)->height, 26);
  EXPECT_EQ(combo->GetItem(0)->margin, (Rect{6, 0, 6, 0}));
  EXPECT_EQ(combo->GetCurSel(), 1);
  EXPECT_EQ(combo->GetDropBoxSize(), (Size{180, 160}));
  EXPECT_EQ(pm.Find<Progress>(L"prog")->GetValue(), 150);
  pm.Find<Progress>(L"prog")->SetValue(150);
  EXPECT_EQ(pm.Find<Progress>(L"prog")->GetValue(), 100);  // clamped on set
}

TEST(Markup, UnreadableMarkupFailsCleanly) {
  const char* bad[] = {"", "<Window", "<NotAWindow/>", "\xff\xfe<<<"};
  for (const char* xml : bad) {
    PaintManager pm;
    EXPECT_FALSE(pm.LoadMarkup(xml)) << xml;
    EXPECT_EQ(pm.GetRoot(), nullptr);
    pm.Layout(Size{10, 10});  // no tree: nothing to do, no crash
  }
  PaintManager empty;
  EXPECT_TRUE(empty.LoadMarkup("<Window size=\"10,10\"/>"));
  EXPECT_EQ(empty.GetRoot(), nullptr);
}

TEST(Markup, DeepNestingIsCutOffNotFollowed) {
  std::string xml = "<Window size=\"10,10\">";
  for (int i = 0; i < 5000; ++i) xml += "<VerticalLayout>";
  xml += "<Button name=\"deep\"/>";
  for (int i = 0; i < 5000; ++i) xml += "</VerticalLayout>";
  xml += "</Window>";
  PaintManager pm;
  ASSERT_TRUE(pm.LoadMarkup(xml));
  ASSERT_NE(pm.GetRoot(), nullptr);
  EXPECT_EQ(pm.FindControl(L"deep"), nullptr);
  pm.Layout(Size{10, 10});
}

TEST(Markup, ReadFontElements) {
  std::vector<FontElement> fonts;
  ASSERT_TRUE(ReadFontElements(R"(<Window><FONT ID="3" Name="Tahoma" size="14" BOLD="true" default="true"/>
      <VerticalLayout/><Font id="4" size="9"/></Window>)", fonts));
  ASSERT_EQ(fonts.size(), 2u);
  EXPECT_EQ(fonts[0].id, 3);
  EXPECT_EQ(fonts[0].desc.face, L"Tahoma");
  EXPECT_TRUE(fonts[0].desc.bold);
  EXPECT_TRUE(fonts[0].isDefault);
  EXPECT_EQ(fonts[1].desc.size, 9);
  std::vector<FontElement> untouched{FontElement{}};
  EXPECT_FALSE(ReadFontElements("<Window><Font", untouched));
  EXPECT_EQ(untouched.size(), 1u);
}

}  // namespace
}  // namespace skinui
