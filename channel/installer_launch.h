// Names and the command line with which the stub starts the full installer.
#pragma once
#include <cstdint>
#include <string>

// The downloaded full installer in the temporary folder, and the process name
// that is terminated before the download.
constexpr char kInstallerFileName[] = "ChannelIstaller.exe";
// The command line is formatted into a buffer of this many bytes (NUL included).
constexpr std::size_t kCommandLineBytes = 1024;

// "\\.\pipe\autoupdate_pipe_quorvane_<processId>".
std::wstring ProgressPipeName(uint32_t processId);

// `tempFolder` (ending in a backslash) + "ChannelIstaller" + the first value
// of the standard generator seeded with 0 + ".exe": the same name on every
// run, used when the usual file cannot be deleted. Reseeds the generator.
std::string AlternativeTargetPath(const std::string& tempFolder);
std::wstring AlternativeTargetPath(const std::wstring& tempFolder);

enum class CommandLineFit {
  kWhole,              // everything fits
  kWithoutForwarded,   // the forwarded arguments would not fit and were left out whole
  kTooLong,            // not even the fixed options and the folder fit; nothing built
};

// " -pipename=%s  -silent -auto-start  -launch-by-channel -install-path \"%s\" %s "
// with the pipe name, the folder and the forwarded arguments (all narrow,
// ANSI code page). The folder is quoted so that the receiver's standard
// argument splitting gives it back unchanged: a backslash run before a quote
// (a folder ending in "\", such as a drive root) is doubled, and a quote is
// escaped; an ordinary folder appears verbatim. The text never exceeds kCommandLineBytes - 1 bytes: rather
// than cut it anywhere (a cut folder would install elsewhere), the forwarded
// arguments are left out whole, and with a folder too long for the buffer no
// command line is built at all. `commandLine` is set unless kTooLong.
CommandLineFit BuildInstallerCommandLine(const std::string& pipeName, const std::string& installPath,
                                         const std::string& forwardedArgs, std::string* commandLine);
