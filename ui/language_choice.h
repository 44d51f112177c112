// The interface language chosen at start: the one named in user.ini, else the
// one of the system's user-interface language.
#pragma once
#include <string>

// The start language for a user.ini value and the system's user-interface
// language identifier (LANGID): the user.ini value when it is not empty, even
// one without a language file (the ids then show themselves); else the table
// entry of the LANGID's primary language, "en" when none matches.
std::wstring StartLanguageCode(const std::wstring& userIniLanguage, unsigned systemLangId);

// The system's default user-interface language identifier (0x0409 natively).
unsigned SystemUiLanguageId();

// Start-up: chooses the start language, makes it current and merges its
// file "language\<code>.xml" from the skin package into the text table. A
// missing or broken file leaves the table as it was. Returns the code.
// Call on the main thread, after the skin package is set.
std::wstring ChooseStartLanguage();
