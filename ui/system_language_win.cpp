#include <windows.h>

#include "ui/text_table.h"

std::wstring SystemLanguageCode() { return LanguageCodeForLangId(GetUserDefaultUILanguage()); }
