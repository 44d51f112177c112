#include <windows.h>

#include "ui/language_choice.h"

unsigned SystemUiLanguageId() { return GetUserDefaultUILanguage(); }
