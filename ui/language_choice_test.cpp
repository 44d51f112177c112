#include "ui/language_choice.h"

#include <gtest/gtest.h>

#include <memory>

#include "base/text_convert.h"
#include "testing/fixtures/language_test_files.h"
#include "testing/fixtures/user_ini_test_file.h"
#include "toolkit/zip_archive.h"
#include "ui/text_table.h"

namespace {

TEST(StartLanguage, UserIniValueElseSystemLanguage) {
  struct Case {
    const char* name;
    const wchar_t* iniValue;
    unsigned systemLangId;
    const wchar_t* code;
  };
  const Case cases[] = {
      {"German system, no user.ini", L"", 0x0407, L"de"},
      {"Brazilian Portuguese system", L"", 0x0416, L"pt-br"},
      {"European Portuguese shares the entry", L"", 0x0816, L"pt-br"},
      {"Dutch is not in the table", L"", 0x0413, L"en"},
      {"Traditional Chinese", L"", 0x0404, L"zh-tw"},
      {"Simplified Chinese system", L"", 0x0804, L"zh-tw"},
      {"Hong Kong Chinese", L"", 0x0C04, L"zh-tw"},
      {"Arabic", L"", 0x0401, L"arabic"},
      {"English", L"", 0x0409, L"en"},
      {"user.ini names a code outside the table", L"zh_cn", 0x0409, L"zh_cn"},
      {"user.ini wins over the system", L"ru", 0x0407, L"ru"},
      {"a code without a file is still taken", L"nl", 0x0407, L"nl"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StartLanguageCode(c.iniValue, c.systemLangId), c.code) << c.name;
  }
}

#ifdef _WIN32
class StartLanguageChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(BuiltSkinZip().empty());
    SetSkinArchive(BuiltSkinZip().data(), BuiltSkinZip().size());
    ReleaseTextTable();
    SetCurrentLanguage(L"");
  }
  void TearDown() override {
    ReleaseTextTable();
    SetCurrentLanguage(L"");
    SetSkinArchive(nullptr, 0);
  }
};

TEST_F(StartLanguageChoice, UserIniSelectsSimplifiedChinese) {
  ScopedUserIni ini("[AppInfo]\r\nlanguage=zh_cn\r\n");
  ASSERT_TRUE(ini.ok());
  EXPECT_EQ(ChooseStartLanguage(), L"zh_cn");
  EXPECT_EQ(CurrentLanguage(), L"zh_cn");
  EXPECT_EQ(GetText(L"tt_fastinstall"), L"\x5FEB\x901F\x5B89\x88C5");  // "fast install"
  EXPECT_EQ(GetText(L"tt_downstatus_failed").back(), L'\xFF1A');
}

TEST_F(StartLanguageChoice, LanguageWithoutFileLeavesIdsShowing) {
  ScopedUserIni ini("[AppInfo]\r\nlanguage=nl\r\n");
  ASSERT_TRUE(ini.ok());
  EXPECT_EQ(ChooseStartLanguage(), L"nl");
  EXPECT_EQ(CurrentLanguage(), L"nl");
  EXPECT_EQ(GetText(L"tt_wizard"), L"tt_wizard");
  EXPECT_EQ(GetText(L"tt_fastinstall"), L"tt_fastinstall");
}

TEST_F(StartLanguageChoice, WithoutValueTheSystemLanguageIsLoaded) {
  struct Case {
    const char* name;
    const char* ini;  // nullptr: no user.ini at all
  };
  const Case cases[] = {
      {"no file", nullptr},
      {"empty value", "[AppInfo]\r\nlanguage=\r\n"},
      {"other section", "[Settings]\r\nlanguage=de\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReleaseTextTable();
    std::unique_ptr<ScopedUserIni> ini;
    DeleteFileW(UserIniPath().c_str());  // left over by an interrupted run
    if (c.ini) {
      ini = std::make_unique<ScopedUserIni>(c.ini);
      ASSERT_TRUE(ini->ok());
    }
    const std::wstring code = ChooseStartLanguage();
    EXPECT_EQ(code, SystemLanguageCode());
    EXPECT_EQ(CurrentLanguage(), code);
    EXPECT_NE(GetText(L"tt_wizard"), L"tt_wizard")
        << "language file of " << WideToUtf8(code) << " not loaded";
  }
}

TEST_F(StartLanguageChoice, WithoutSkinPackageIdsShow) {
  SetSkinArchive(nullptr, 0);
  ScopedUserIni ini("[AppInfo]\r\nlanguage=de\r\n");
  ASSERT_TRUE(ini.ok());
  EXPECT_EQ(ChooseStartLanguage(), L"de");
  EXPECT_EQ(GetText(L"tt_wizard"), L"tt_wizard");
}
#endif

}  // namespace
