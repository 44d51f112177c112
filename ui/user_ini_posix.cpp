#include "ui/user_ini.h"

// No per-user local application data folder natively: the system "gives none".
std::wstring UserDataFolder() { return UserDataFolderFrom(std::wstring()); }

std::wstring UserIniLanguage() { return std::wstring(); }
