#include "ui/language_choice.h"

#include "ui/text_table.h"
#include "ui/user_ini.h"

std::wstring StartLanguageCode(const std::wstring& userIniLanguage, unsigned systemLangId) {
  if (!userIniLanguage.empty()) return userIniLanguage;
  return LanguageCodeForLangId(systemLangId);
}

std::wstring ChooseStartLanguage() {
  const std::wstring code = StartLanguageCode(UserIniLanguage(), SystemUiLanguageId());
  SetCurrentLanguage(code);
  LoadLanguage(L"language\\" + code + L".xml");
  return code;
}
