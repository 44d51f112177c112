// The command line of the sample full installer: what the channel stub passes
// (" -pipename=NAME  -silent -auto-start  -launch-by-channel -install-path
// "FOLDER" FORWARDED ") and the "-sample-..." switches a test forwards through
// the stub to choose the installer's behaviour.
#pragma once
#include <string>
#include <vector>

struct InstallerArgs {
  std::wstring commandLine;          // as received
  std::vector<std::wstring> tokens;  // every argument but the quoted folder
  std::wstring pipeName;
  std::wstring installPath;
  bool silent = false;
  bool autoStart = false;
  bool launchByChannel = false;

  bool fail = false;  // -sample-fail[=DETAIL]
  std::wstring failDetail;
  std::wstring failText = L"Failed to install";  // -sample-failtext=TEXT
  bool noConnect = false;                        // -sample-noconnect
  bool joined = false;                           // -sample-joined
  int pauseMs = 100;                             // -sample-slow=MS
  bool stepsSet = false;                         // -sample-steps=A,B,...
  std::vector<std::wstring> steps;
  bool exitSet = false;  // -sample-exit=CODE
  int exitCode = 0;
  std::wstring argsFile;  // -sample-args-file=PATH
};

// Values of "-sample-..." switches may hold %XX escapes (UTF-8 bytes), since
// the stub forwards its arguments unquoted and a blank would split them.
std::wstring PercentDecode(const std::wstring& text);

// Parses the process's command line. The folder after "-install-path" is
// taken from between its double quotes as the stub writes it, so a folder
// that ends in a backslash is not misread as an escaped quote.
InstallerArgs ParseInstallerArgs(const std::wstring& commandLine);
