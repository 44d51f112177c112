#include "channel/installer_launch.h"

#include <cstdio>
#include <cstdlib>

#include "base/text_convert.h"

std::wstring ProgressPipeName(uint32_t processId) {
  return L"\\\\.\\pipe\\autoupdate_pipe_quorvane_" + DecimalWide(processId);
}

std::string AlternativeTargetPath(const std::string& tempFolder) {
  std::srand(0);
  return tempFolder + "ChannelIstaller" + std::to_string(std::rand()) + ".exe";
}

std::wstring AlternativeTargetPath(const std::wstring& tempFolder) {
  std::srand(0);
  return tempFolder + L"ChannelIstaller" + DecimalWide(std::rand()) + L".exe";
}

namespace {
// The folder between the quotes, escaped for CommandLineToArgvW-style
// splitting. Done on the UTF-16 form, which is what the receiver splits (a
// double-byte character may end in the byte of a backslash).
std::string QuotedFolderText(const std::string& folder) {
  std::wstring wide = AnsiToWide(folder);
  if (wide.find(L'"') == std::wstring::npos && (wide.empty() || wide.back() != L'\\')) return folder;
  std::wstring out;
  std::size_t backslashes = 0;
  for (wchar_t c : wide) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') backslashes = backslashes * 2 + 1;
    out.append(backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  return WideToAnsi(out);
}

std::string Compose(const std::string& pipeName, const std::string& installPath, const std::string& forwardedArgs) {
  return " -pipename=" + pipeName + "  -silent -auto-start  -launch-by-channel -install-path \"" + QuotedFolderText(installPath) +
         "\" " + forwardedArgs + " ";
}
}  // namespace

CommandLineFit BuildInstallerCommandLine(const std::string& pipeName, const std::string& installPath,
                                         const std::string& forwardedArgs, std::string* commandLine) {
  std::string text = Compose(pipeName, installPath, forwardedArgs);
  if (text.size() < kCommandLineBytes) {
    *commandLine = text;
    return CommandLineFit::kWhole;
  }
  text = Compose(pipeName, installPath, "");
  if (text.size() < kCommandLineBytes) {
    *commandLine = text;
    return CommandLineFit::kWithoutForwarded;
  }
  return CommandLineFit::kTooLong;
}
