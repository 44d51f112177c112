// The text table: every visible text is a "tt_" id looked up in the current
// language. Safe to use from any thread (worker threads read status texts).
#pragma once
#include <string>
#include <vector>

struct LanguageEntry {
  const wchar_t* displayName;
  const wchar_t* code;
  int primaryLangId;  // Windows primary language identifier
};

// The fifteen languages in combo-box order.
const std::vector<LanguageEntry>& LanguageTable();

// The text for `id`; an id not in the table comes back unchanged.
std::wstring GetText(const std::wstring& id);
// Parses one language file of the skin package ("language\en.xml") and merges
// it into the table (existing ids take the new value; the table is never
// cleared). False, with the table unchanged, when the file is missing or not
// a well-formed language file.
bool LoadLanguage(const std::wstring& fileName);
// Same, from the file's bytes (UTF-8 XML).
bool LoadLanguageText(const std::string& xml);
void SetCurrentLanguage(const std::wstring& code);
std::wstring CurrentLanguage();
// Empties the table (start-up releases it at the end; tests start clean).
void ReleaseTextTable();

// The table code whose primary id equals the low byte of `langId`; "en" when none.
std::wstring LanguageCodeForLangId(unsigned langId);
// LanguageCodeForLangId of the system's default user-interface language.
std::wstring SystemLanguageCode();
