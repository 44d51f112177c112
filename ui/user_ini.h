// The per-user settings file "user.ini". The installer only reads it: the
// interface language in key "language" of section "AppInfo". It never
// writes the file.
#pragma once
#include <string>

// The per-user data folder for a local application data folder given in its
// short form: the path up to its last "\" extended by "\Local" (a trailing
// "\" ignored, a drive root kept). An empty path gives "\Local".
std::wstring UserDataFolderFrom(const std::wstring& shortLocalAppData);

#ifdef _WIN32
// UserDataFolderFrom of the short (8.3) form of `localAppData`; a path the
// system cannot shorten (for example one that does not exist) is taken as it
// stands.
std::wstring UserDataFolderFor(const std::wstring& localAppData);
#endif

// The per-user data folder of the current user, from the system's local
// application data folder; "\Local" when the system gives none. Computed on
// the first call and kept for the process; safe from any thread.
std::wstring UserDataFolder();

// UserDataFolder() + "\Quorvane\user.ini".
std::wstring UserIniPath();

// The "language" value of section "AppInfo" in user.ini (at most 1023
// UTF-16 units); empty when the file, the section or the key is missing.
// Natively there is no user.ini and the result is always empty.
std::wstring UserIniLanguage();
