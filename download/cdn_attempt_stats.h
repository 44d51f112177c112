// The record of one package download: an id for the whole run and one entry
// per attempt, sent with every install report.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct CdnAttempt {
  std::string selectedCdn;   // the domain (base URL) of the attempt
  std::string cdnErrorMsg;   // empty on success, else "curl_easy_perform() failed:%s\n"
  int32_t rttSpeedMs = 0;    // connectMs of the domain's ranking sample, 0 when none
  int32_t timeConnectMs = 0; // connectMs of the attempt
  int64_t downloadByte = 0;  // file size after the attempt
  int32_t downloadMs = 0;    // duration of the attempt
};

struct CdnAttemptStats {
  std::string attemptId;            // 32 upper-case hex digits from a fresh GUID
  std::vector<CdnAttempt> attempts; // in attempt order
};
