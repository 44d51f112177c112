// The web pages the main window opens in the browser. The hosts are build
// configuration (Vendor()); only the paths and the query are fixed here.
#pragma once
#include <string>

// The terms-of-use page (link "protocol").
std::string AgreementPageUrl();

// The download page offered after a failed install (link
// "installfailed_towebsit"): for Russian the direct download of the full
// client installer, for every other language the home page.
std::string DownloadPageUrl(const std::wstring& language);
