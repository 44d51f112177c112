// Command-line configuration of the vendor simulator.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One fault of a download domain. `from` is the number of the first download
// GET on that domain it affects (1 = every request), so a domain can serve the
// ranking probe well and then fail the real download.
struct Fault {
  enum Kind {
    kReset, kStatus, kStall, kDrop, kCut, kNoRanges, kNoLength,
    // What is served instead of the file (HEAD announces its length too).
    kUnsigned, kTamper, kForeign, kShort, kHtml,
    // The length probe (HEAD) disagrees with the download (GET).
    kHeadLength, kHeadStatus
  };
  Kind kind = kStatus;
  // status code; bytes sent before a stall or drop; the file offset a cut
  // stops at; offset of the changed
  // byte; length kept or announced (-1 = default)
  int64_t arg = -1;
  int from = 1;
};

struct DomainConfig {
  int64_t rate = 0;     // bytes per second per connection, 0 = unlimited
  bool refuse = false;  // nothing listens on the port
  std::vector<Fault> faults;
};

struct SimConfig {
  std::string file;   // the file served as the full installer
  std::string foreignFile;  // served by the "foreign" fault (the installer signed by someone else)
  int64_t size = -1;  // or generated content of this size
  std::vector<DomainConfig> domains;
  bool gzip = true;  // compress whole-file answers when the client accepts gzip
  std::string recordFile;
  std::string bytesFile;  // body bytes handed out per domain, JSON
  std::string portFile;
  std::string envFile;  // shell "export" lines of the environment
  int apiPort = 0;
  std::string directoryFile;  // raw directory answer
  std::string pacFile;        // proxy auto-configuration script served as kPacPath
  int directoryStatus = 200;
  bool directoryDomainsSet = false;
  std::vector<int> directoryDomains;        // indexes listed in the OSS_DOMAIN entry
  std::vector<std::string> directoryExtra;  // further backup URLs
  int reportStatus = 200;
  int activeStatus = 200;
  int maxLifetimeSeconds = 900;
  bool exitOnStdinEof = false;
};

// Parses argv; on a bad flag returns false with a message in `error`.
bool ParseSimConfig(int argc, char** argv, SimConfig& config, std::string& error);
// "2m" -> 2 MiB, "500k" -> 500 KiB, "123" -> 123; -1 when malformed.
int64_t ParseByteCount(const std::string& text);
// "stall=1000@2" and the like; false when malformed.
bool ParseFault(const std::string& text, Fault& fault, bool& refuse);

extern const char kSimUsage[];
