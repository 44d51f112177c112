#include "ui/text_table.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <set>
#include <string>
#include <vector>

#include "base/text_convert.h"
#include "testing/fixtures/language_test_files.h"
#include "toolkit/zip_archive.h"

namespace {

// The ids of a language file in document order, as the file spells them.
std::vector<std::string> FileIds(const std::string& xml) {
  pugi::xml_document doc;
  std::vector<std::string> ids;
  if (!doc.load_buffer(xml.data(), xml.size())) return ids;
  for (auto text : doc.child("Res").children("Text")) ids.push_back(text.attribute("id").value());
  return ids;
}

const std::vector<std::wstring>& EnglishIds() {
  static const std::vector<std::wstring> ids = [] {
    std::vector<std::wstring> out;
    for (const auto& id : FileIds(SourceLanguageFile(L"en"))) out.push_back(Utf8ToWide(id));
    return out;
  }();
  return ids;
}

// The current text of every English id (the whole table as the windows see it).
std::vector<std::wstring> Snapshot() {
  std::vector<std::wstring> texts;
  for (const auto& id : EnglishIds()) texts.push_back(GetText(id));
  return texts;
}

class TextTable : public ::testing::Test {
 protected:
  void SetUp() override {
    ReleaseTextTable();
    SetCurrentLanguage(L"");
  }
  void TearDown() override { ReleaseTextTable(); }
};

TEST_F(TextTable, EnglishFileCarriesItsIds) {
  const std::set<std::wstring> expected = {L"tt_createdesktop",
                                           L"tt_agree",
                                           L"tt_wizard",
                                           L"tt_choosepath",
                                           L"tt_failed",
                                           L"tt_installover",
                                           L"tt_starter",
                                           L"tt_autostartup",
                                           L"tt_fastinstall",
                                           L"tt_protol",
                                           L"tt_install",
                                           L"tt_install_webview2",
                                           L"tt_brower",
                                           L"tt_pathnotfind",
                                           L"tt_uninstall",
                                           L"tt_ui_language",
                                           L"tt_downstatus_failed",
                                           L"tt_goto_website",
                                           L"tt_download_rejected",
                                           // The progress detail and the accessible names.
                                           L"tt_size_b", L"tt_size_kb", L"tt_size_mb", L"tt_size_gb", L"tt_rate",
                                           L"tt_time_s", L"tt_time_min_s", L"tt_time_h_min",
                                           L"tt_download_received", L"tt_download_received_rate",
                                           L"tt_download_of", L"tt_download_of_rate",
                                           L"tt_download_of_rate_left", L"tt_install_running", L"tt_close",
                                           L"tt_installpath", L"tt_progress_name",
                                           // A proxy that asks for credentials.
                                           L"tt_proxy_auth_required",
                                           // What a screen reader says for actions and the bar's value.
                                           L"tt_acc_press", L"tt_acc_jump", L"tt_acc_check", L"tt_acc_uncheck",
                                           L"tt_acc_select", L"tt_acc_open", L"tt_acc_close", L"tt_acc_percent"};
  EXPECT_EQ(std::set<std::wstring>(EnglishIds().begin(), EnglishIds().end()), expected);
  EXPECT_EQ(EnglishIds().size(), expected.size()) << "an id appears twice";
}

// Each file parses, carries exactly the English ids (Arabic has no
// "tt_uninstall"), leaves no text empty and keeps the product name.
TEST_F(TextTable, EveryLanguageFileCarriesTheEnglishIds) {
  for (const auto& code : AllLanguageCodes()) {
    SCOPED_TRACE(WideToUtf8(code));
    const std::string xml = SourceLanguageFile(code);
    ASSERT_FALSE(xml.empty()) << "missing file";

    std::vector<std::wstring> expected;
    for (const auto& id : EnglishIds()) {
      if (code == L"arabic" && id == L"tt_uninstall") continue;
      expected.push_back(id);
    }
    std::vector<std::wstring> ids;
    for (const auto& id : FileIds(xml)) ids.push_back(Utf8ToWide(id));
    EXPECT_EQ(ids, expected);

    ReleaseTextTable();
    ASSERT_TRUE(LoadLanguageText(xml));
    for (const auto& id : expected) {
      const std::wstring text = GetText(id);
      EXPECT_FALSE(text.empty()) << WideToUtf8(id);
      EXPECT_NE(text, id) << WideToUtf8(id) << " not loaded";
    }
    EXPECT_NE(GetText(L"tt_wizard").find(L"Quorvane"), std::wstring::npos);
    EXPECT_NE(GetText(L"tt_installover").find(L"Quorvane"), std::wstring::npos);
    EXPECT_NE(GetText(L"tt_download_rejected").find(L"Quorvane"), std::wstring::npos);
    if (code == L"arabic") {
      EXPECT_EQ(GetText(L"tt_uninstall"), L"tt_uninstall");
    }
  }
}

// The failed-download status is followed by the error code, so every language
// ends it with a colon: the full-width one (after a full-width comma) where
// the English template's style is the language's own.
TEST_F(TextTable, DownloadFailureTextEndsWithItsLanguagesColon) {
  struct Case {
    const wchar_t* code;
    wchar_t comma;  // 0: the language's own, not checked
    wchar_t colon;
  };
  const Case cases[] = {
      {L"en", L'\xFF0C', L'\xFF1A'},
      {L"zh-tw", L'\xFF0C', L'\xFF1A'},
      {L"zh_cn", L'\xFF0C', L'\xFF1A'},
      {L"ja", L'\xFF0C', L'\xFF1A'},
      {L"arabic", L'\x060C', L':'},
      {L"de", L',', L':'},
      {L"fr", L',', L':'},
      {L"it", L',', L':'},
      {L"ko", L',', L':'},
      {L"ru", L',', L':'},
      {L"es", L',', L':'},
      {L"vi", L',', L':'},
      {L"pt-br", L',', L':'},
      {L"th", 0, L':'},
      {L"tr", L',', L':'},
      {L"uk", L',', L':'},
  };
  std::set<std::wstring> covered;
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.code));
    covered.insert(c.code);
    ReleaseTextTable();
    ASSERT_TRUE(LoadLanguageText(SourceLanguageFile(c.code)));
    const std::wstring text = GetText(L"tt_downstatus_failed");
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.back(), c.colon);
    if (c.comma) {
      EXPECT_NE(text.find(c.comma), std::wstring::npos);
    }
  }
  for (const auto& code : AllLanguageCodes()) EXPECT_TRUE(covered.count(code)) << WideToUtf8(code);
}

TEST_F(TextTable, MissingIdsShowThemselves) {
  EXPECT_EQ(GetText(L"tt_wizard"), L"tt_wizard");
  EXPECT_EQ(GetText(L""), L"");
  ASSERT_TRUE(LoadLanguageText(SourceLanguageFile(L"en")));
  EXPECT_EQ(GetText(L"tt_wizard"), L"Quorvane Installation Guide");
  EXPECT_EQ(GetText(L"tt_not_there"), L"tt_not_there");
  EXPECT_EQ(GetText(L"Failed to connect to the server"), L"Failed to connect to the server");
}

// Switching languages merges: Arabic lacks "tt_uninstall", so the English text
// stays, while every text Arabic has is replaced.
TEST_F(TextTable, LaterFileMergesIntoTheTable) {
  ASSERT_TRUE(LoadLanguageText(SourceLanguageFile(L"en")));
  ASSERT_TRUE(LoadLanguageText(SourceLanguageFile(L"arabic")));
  EXPECT_EQ(GetText(L"tt_uninstall"), L"Uninstall");
  EXPECT_EQ(GetText(L"tt_fastinstall"), L"\x062A\x062B\x0628\x064A\x062A \x0633\x0631\x064A\x0639");
  ASSERT_TRUE(LoadLanguageText(SourceLanguageFile(L"de")));
  EXPECT_EQ(GetText(L"tt_uninstall"), L"Deinstallieren");
  EXPECT_EQ(GetText(L"tt_fastinstall"), L"Schnellinstallation");
}

TEST_F(TextTable, BrokenFilesLeaveTheTableAsItWas) {
  const std::string ja = SourceLanguageFile(L"ja");
  ASSERT_FALSE(ja.empty());
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"not xml", "language=de\r\n"},
      {"binary", std::string("PK\x03\x04\x00\xff\xfe", 7)},
      {"other root", "<Strings><Text id=\"tt_wizard\" value=\"x\"/></Strings>"},
      {"declaration only", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"},
      {"unclosed root", "<Res><Text id=\"tt_wizard\" value=\"x\"/>"},
      {"unclosed attribute", "<Res><Text id=\"tt_wizard\" value=\"x/></Res>"},
      {"mismatched end", "<Res><Text id=\"tt_wizard\" value=\"x\"></Res>"},
  };
  ASSERT_TRUE(LoadLanguageText(SourceLanguageFile(L"en")));
  const std::vector<std::wstring> before = Snapshot();
  for (const auto& c : cases) {
    EXPECT_FALSE(LoadLanguageText(c.bytes)) << c.name;
    EXPECT_EQ(Snapshot(), before) << c.name;
  }
  // Every cut of a real file before its root element closes, including cuts
  // inside a multi-byte character.
  const size_t end = ja.find("</Res>");
  ASSERT_NE(end, std::string::npos);
  for (size_t cut = 0; cut < end + 6; ++cut) {
    EXPECT_FALSE(LoadLanguageText(ja.substr(0, cut))) << "cut at " << cut;
    ASSERT_EQ(Snapshot(), before) << "cut at " << cut;
  }
}

TEST_F(TextTable, TextWithoutIdOrValueIsSkipped) {
  ASSERT_TRUE(LoadLanguageText(
      "<res><TEXT ID=\"tt_starter\" VALUE=\"Go\"/><Text id=\"tt_agree\"/><Text value=\"orphan\"/>"
      "<Other id=\"tt_brower\" value=\"x\"/><Text id=\"tt_install\" value=\"\"/></res>"));
  EXPECT_EQ(GetText(L"tt_starter"), L"Go");
  EXPECT_EQ(GetText(L"tt_agree"), L"tt_agree");
  EXPECT_EQ(GetText(L"tt_brower"), L"tt_brower");
  EXPECT_EQ(GetText(L"tt_install"), L"");
}

// The package built from skin/ holds a file for every language and
// LoadLanguage finds it by the name start-up and the window use.
TEST_F(TextTable, SkinPackageHoldsEveryLanguage) {
  const std::string& zip = BuiltSkinZip();
  ASSERT_FALSE(zip.empty());
  SetSkinArchive(nullptr, 0);
  EXPECT_FALSE(LoadLanguage(L"language\\en.xml")) << "no package";
  SetSkinArchive(zip.data(), zip.size());
  for (const auto& code : AllLanguageCodes()) {
    SCOPED_TRACE(WideToUtf8(code));
    ReleaseTextTable();
    EXPECT_TRUE(LoadLanguage(L"language\\" + code + L".xml"));
    EXPECT_NE(GetText(L"tt_fastinstall"), L"tt_fastinstall");
    // A screen reader's words: each language has them, and the bar's value
    // pattern has its number exactly once.
    for (const wchar_t* id : {L"tt_acc_press", L"tt_acc_jump", L"tt_acc_check", L"tt_acc_uncheck", L"tt_acc_select",
                              L"tt_acc_open", L"tt_acc_close", L"tt_acc_percent"})
      EXPECT_NE(GetText(id), id);
    const std::wstring percent = GetText(L"tt_acc_percent");
    EXPECT_EQ(percent.find(L"%1"), percent.rfind(L"%1")) << WideToUtf8(percent);
    EXPECT_NE(percent.find(L"%1"), std::wstring::npos) << WideToUtf8(percent);
  }
  const std::vector<std::wstring> before = Snapshot();
  EXPECT_FALSE(LoadLanguage(L"language\\nl.xml"));
  EXPECT_FALSE(LoadLanguage(L""));
  EXPECT_EQ(Snapshot(), before);
  SetSkinArchive(nullptr, 0);
}

// The built package with one 32-bit field of the entry "language/en.xml"
// overwritten in both its headers (offsets of the field in the central and in
// the local header), so that the two still agree.
std::string PackageWithEnglishField(size_t centralAt, size_t localAt, uint32_t value) {
  std::string zip = BuiltSkinZip();
  const std::string name = "language/en.xml";
  auto read16 = [&](size_t at) { return uint32_t(uint8_t(zip[at])) | uint32_t(uint8_t(zip[at + 1])) << 8; };
  auto read32 = [&](size_t at) { return read16(at) | read16(at + 2) << 16; };
  auto write32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) zip[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  for (size_t at = zip.find("PK\x01\x02"); at != std::string::npos; at = zip.find("PK\x01\x02", at + 1)) {
    if (read16(at + 28) != name.size() || zip.compare(at + 46, name.size(), name) != 0) continue;
    write32(at + centralAt, value);
    write32(read32(at + 42) + localAt, value);
    return zip;
  }
  return std::string();
}

// A corrupted package fails like a missing file: no crash, no allocation of
// whatever size a header claims, and the table stays as it was.
TEST_F(TextTable, CorruptedPackageFailsLikeAMissingFile) {
  const std::string& zip = BuiltSkinZip();
  ASSERT_FALSE(zip.empty());
  struct Case {
    const char* name;
    std::string package;
  };
  const Case cases[] = {
      {"claims 4 GiB uncompressed", PackageWithEnglishField(24, 22, 0xFFFFFFF0u)},
      {"claims one byte more", PackageWithEnglishField(24, 22, uint32_t(SourceLanguageFile(L"en").size()) + 1)},
      {"claims one byte less", PackageWithEnglishField(24, 22, uint32_t(SourceLanguageFile(L"en").size()) - 1)},
      {"wrong checksum", PackageWithEnglishField(16, 14, 0x12345678u)},
      {"cut in half", zip.substr(0, zip.size() / 2)},
  };
  ASSERT_TRUE(LoadLanguageText(SourceLanguageFile(L"de")));
  const std::vector<std::wstring> before = Snapshot();
  for (const auto& c : cases) {
    ASSERT_FALSE(c.package.empty()) << c.name;
    SetSkinArchive(c.package.data(), c.package.size());
    EXPECT_FALSE(LoadLanguage(L"language\\en.xml")) << c.name;
    EXPECT_EQ(Snapshot(), before) << c.name;
    SetSkinArchive(nullptr, 0);
  }
}

TEST(LanguageTableCodes, LangIdsSelectTheirEntry) {
  struct Case {
    unsigned langId;
    const wchar_t* code;
  };
  const Case cases[] = {
      {0x0409, L"en"}, {0x0809, L"en"},    {0x0401, L"arabic"}, {0x3801, L"arabic"}, {0x0407, L"de"},
      {0x0C07, L"de"}, {0x040C, L"fr"},    {0x0410, L"it"},     {0x0411, L"ja"},     {0x0412, L"ko"},
      {0x0419, L"ru"}, {0x0404, L"zh-tw"}, {0x0804, L"zh-tw"},  {0x0C04, L"zh-tw"},  {0x1004, L"zh-tw"},
      {0x0C0A, L"es"}, {0x042A, L"vi"},    {0x0416, L"pt-br"},  {0x0816, L"pt-br"},  {0x041E, L"th"},
      {0x041F, L"tr"}, {0x0422, L"uk"},    {0x0413, L"en"},     {0x0415, L"en"},     {0x0000, L"en"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LanguageCodeForLangId(c.langId), c.code) << std::hex << "0x" << c.langId;
  }
}

}  // namespace
