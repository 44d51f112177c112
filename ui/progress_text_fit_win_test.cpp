// The progress page's status row holds the download and installer texts at
// every DPI in every language (Windows, under Wine, with the real skin). The
// prefix's stand-in for Arial is wider than Arial, so a text that fits here
// fits on Windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "base/text_convert.h"
#include "toolkit/controls.h"
#include "toolkit/zip_archive.h"
#include "ui/kv_window_base.h"
#include "ui/progress_text.h"
#include "ui/text_table.h"

namespace {

class FitWnd : public KvWindowBase {
 protected:
  const wchar_t* GetWindowClassName() const override { return L"ProgressFitFrame"; }
  std::wstring GetSkinFile() override { return L"InstallMainWnd.xml"; }
};

TEST(ProgressTextFit, StatusRowHoldsTheLongestTextsInEveryLanguageAndDpi) {
  static std::string zip;
  std::ifstream in(QV_SKIN_ZIP_FILE, std::ios::binary);
  zip.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  SetSkinArchive(zip.data(), zip.size());
  ASSERT_TRUE(HasSkinArchive());

  std::vector<std::wstring> codes;
  for (const LanguageEntry& l : LanguageTable()) codes.push_back(l.code);
  codes.push_back(L"zh_cn");
  ASSERT_EQ(codes.size(), 16u);

  // The widest a real download shows: grouped sizes just under a unit step,
  // a grouped rate, and both forms of the time left.
  TransferRate steady;
  for (int i = 0; i <= 10; ++i) steady.Add(i, static_cast<uint64_t>(i) * 1047000);  // ~1,022 KB/s
  ASSERT_TRUE(steady.IsSteady());
  const uint64_t received = 1047000000ull, total = 1073000000ull;  // 998.5 MB of 1,023.3 MB

  FitWnd wnd;
  wnd.Manager().SetTextResolver([](const std::wstring& id) { return GetText(id); });
  ASSERT_NE(wnd.Create(nullptr, L"fit", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0), nullptr);
  wnd.Manager().Find<skinui::TabLayout>(L"InstallStatusLayout")->SelectItem(1);
  auto* status = wnd.Manager().Find<skinui::Label>(L"install_status");
  ASSERT_NE(status, nullptr);
  for (const std::wstring& code : codes) {
    ReleaseTextTable();
    ASSERT_TRUE(LoadLanguage(L"language\\en.xml"));
    SetCurrentLanguage(code);
    ASSERT_TRUE(LoadLanguage(L"language\\" + code + L".xml")) << WideToUtf8(code);
    ASSERT_NE(GetText(L"tt_download_of_rate_left"), L"tt_download_of_rate_left");
    wnd.ApplyLanguage();
    const std::wstring texts[] = {
        DownloadStatusText(received, total, steady, code, GetText),
        DownloadStatusText(received, 0, steady, code, GetText),
        InstallerRunningText(GetText),
        FillPattern(GetText(L"tt_download_of_rate_left"),
                    {FormatSize(received, code, GetText), FormatSize(total, code, GetText),
                     FormatRate(1047000, code, GetText), FormatTimeLeft(99 * 3600.0 + 59 * 60, GetText)}),
    };
    for (int dpi : {96, 120, 144, 168, 192}) {
      wnd.SetDpi(dpi);
      wnd.Repaint();
      skinui::PaintManager& pm = wnd.Manager();
      const int room = status->GetPos().Width() - pm.ScaleLen(status->GetTextPadding().left +
                                                              status->GetTextPadding().right);
      for (const std::wstring& t : texts) {
        const int need = pm.GetTextMeasurer()->Measure(t, status->GetFont(), pm.GetScale()).cx;
        EXPECT_LE(need, room) << WideToUtf8(code) << " at " << dpi << " DPI: " << WideToUtf8(t);
      }
      // The measure is real: the download text takes a good part of the row.
      EXPECT_GT(pm.GetTextMeasurer()->Measure(texts[0], status->GetFont(), pm.GetScale()).cx, room / 4);
    }
  }
  ReleaseTextTable();
  DestroyWindow(wnd.GetHWND());
}

}  // namespace
