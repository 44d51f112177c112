#include "ui/language_choice.h"

// No Windows user-interface language natively: English (United States).
unsigned SystemUiLanguageId() { return 0x0409; }
