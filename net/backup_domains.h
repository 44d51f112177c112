// The backup domain directory: which download domains are in service now.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "net/domains.h"
#include "net/transfer_policy.h"

struct VendorHosts;

// One element of the directory's "domain_list".
struct BackupDomain {
  std::string domainKey;                // "domain_key"; "OSS_DOMAIN" for the download CDN
  bool hasMainUrl = false;              // "main_url" was present as a string
  std::string mainUrl;                  // "main_url"
  std::vector<std::string> backupUrls;  // the string elements of "backup_urls", in order

  // mainUrl (when present) followed by backupUrls.
  DomainList Urls() const;
};

// Asks the directory (test host when `testEndpoint`) for the download
// domains. Returns the built-in list when the directory cannot be reached or
// its answer holds no "OSS_DOMAIN" element; an "OSS_DOMAIN" element is
// authoritative, even one that yields no URL (the result is then empty).
// `userAgentLine` is a complete header line, sent after the fixed headers.
// Blocks for at most about 8 s; never throws.
DomainList FetchBackupDomains(const std::string& userAgentLine, bool testEndpoint,
                              const TransferPolicy& policy);

// The same request against explicit endpoints (tried in order until one
// answers 200), starting from `builtin`.
DomainList FetchBackupDomainsFrom(const std::vector<std::string>& endpoints, const DomainList& builtin,
                                  const std::string& userAgentLine, const TransferPolicy& policy);

// The directory URLs for the given hosts, in the order they are tried.
std::vector<std::string> DirectoryEndpoints(const VendorHosts& hosts, bool testEndpoint);

// The domains an answer names, or `builtin` when it names none. Any text is
// accepted: non-JSON, truncated, deeply nested or oddly typed input gives
// `builtin` (or what a usable "OSS_DOMAIN" element says).
DomainList ParseBackupDomains(const std::string& answer, const DomainList& builtin);

// name + ":" + value for each entry (map order), `separator` between entries.
std::string JoinHeaderLines(const std::map<std::string, std::string>& map, const std::string& separator);
// key + "=" + value for each entry with a non-empty value (percent-encoded when
// `encode`), with "&" in front of every entry except the map's first.
std::string BuildQueryString(const std::map<std::string, std::string>& map, bool encode);
// Letters, digits and "-_.~" unchanged; every other byte as "%XX" (upper case).
std::string PercentEncode(const std::string& text);
