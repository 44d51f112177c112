#include "ui/text_table.h"

// No Windows user-interface language natively: the table's fallback.
std::wstring SystemLanguageCode() { return L"en"; }
