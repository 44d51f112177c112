#include "net/backup_domains.h"

#include <rapidjson/document.h>

#include <cstdio>
#include <memory>

#include "base/build_version.h"
#include "base/vendor.h"
#include "net/http_client.h"

namespace {

const char kDirectoryPath[] = "/api/multi_platform_manage_bff/v1/disaster/backup_domain/list";
const char kCdnKey[] = "OSS_DOMAIN";
const long kDirectoryTimeoutSeconds = 8;

// Reads one "domain_list" element; false when it is not an object.
bool ReadBackupDomain(const rapidjson::Value& element, BackupDomain* out) {
  if (!element.IsObject()) return false;
  auto key = element.FindMember("domain_key");
  if (key != element.MemberEnd() && key->value.IsString())
    out->domainKey.assign(key->value.GetString(), key->value.GetStringLength());
  auto main = element.FindMember("main_url");
  if (main != element.MemberEnd() && main->value.IsString()) {
    out->hasMainUrl = true;
    out->mainUrl.assign(main->value.GetString(), main->value.GetStringLength());
  }
  auto backups = element.FindMember("backup_urls");
  if (backups != element.MemberEnd() && backups->value.IsArray()) {
    for (const auto& url : backups->value.GetArray())
      if (url.IsString()) out->backupUrls.emplace_back(url.GetString(), url.GetStringLength());
  }
  return true;
}

}  // namespace

DomainList BackupDomain::Urls() const {
  DomainList urls;
  if (hasMainUrl) urls.push_back(mainUrl);
  urls.insert(urls.end(), backupUrls.begin(), backupUrls.end());
  return urls;
}

std::string JoinHeaderLines(const std::map<std::string, std::string>& map, const std::string& separator) {
  std::string text;
  for (auto it = map.begin(); it != map.end(); ++it) {
    if (it != map.begin()) text += separator;
    text += it->first + ":" + it->second;
  }
  return text;
}

std::string BuildQueryString(const std::map<std::string, std::string>& map, bool encode) {
  std::string text;
  for (auto it = map.begin(); it != map.end(); ++it) {
    if (it->second.empty()) continue;
    if (it != map.begin()) text += "&";
    text += it->first + "=" + (encode ? PercentEncode(it->second) : it->second);
  }
  return text;
}

std::string PercentEncode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '_' || c == '.' || c == '~';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out;
}

DomainList ParseBackupDomains(const std::string& answer, const DomainList& builtin) {
  // The iterative parser keeps its own heap stack, so deep nesting cannot
  // exhaust the thread's stack; the pool allocator frees without recursion.
  rapidjson::Document doc;
  doc.Parse<rapidjson::kParseIterativeFlag>(answer.data(), answer.size());
  if (doc.HasParseError() || !doc.IsObject()) return builtin;
  auto list = doc.FindMember("domain_list");
  if (list == doc.MemberEnd() || !list->value.IsArray()) return builtin;
  for (const auto& element : list->value.GetArray()) {
    BackupDomain domain;
    if (!ReadBackupDomain(element, &domain) || domain.domainKey != kCdnKey) continue;
    return domain.Urls();  // the first OSS_DOMAIN element decides, even when empty
  }
  return builtin;
}

std::vector<std::string> DirectoryEndpoints(const VendorHosts& hosts, bool testEndpoint) {
  return {(testEndpoint ? hosts.directoryTest : hosts.directoryProd) + kDirectoryPath};
}

DomainList FetchBackupDomainsFrom(const std::vector<std::string>& endpoints, const DomainList& builtin,
                                  const std::string& userAgentLine, const TransferPolicy& policy) {
  std::map<std::string, std::string> headers = {
      {"Accept", "application/json"},
      {"Client-Build-Version", ClientBuildVersion()},
      {"Saas-App-Id", "QV_PC"},
      {"Saas-Product-Line", "QV"},
  };
  std::map<std::string, std::string> query = {{"version", "3.0.0"}};
  if (query.find("client_type") == query.end()) query["client_type"] = "10";
  const std::string queryString = BuildQueryString(query, false);
  const std::string headerText = JoinHeaderLines(headers, "\r\n") + "\r\n" + userAgentLine;

  std::string response;
  for (const std::string& endpoint : endpoints) {
    HttpClient client(policy);
    if (client.Get(endpoint + "?" + queryString, headerText, response, nullptr, kDirectoryTimeoutSeconds) ==
        200)
      break;
  }
  // A non-200 answer is still read: its body may name the domains.
  return ParseBackupDomains(response, builtin);
}

DomainList FetchBackupDomains(const std::string& userAgentLine, bool testEndpoint,
                              const TransferPolicy& policy) {
  try {
    const VendorHosts& hosts = Vendor();
    return FetchBackupDomainsFrom(DirectoryEndpoints(hosts, testEndpoint), hosts.builtinDomains,
                                  userAgentLine, policy);
  } catch (...) {
    // Out of memory on a huge answer: the built-in list still serves.
    try {
      return Vendor().builtinDomains;
    } catch (...) {
      return {};
    }
  }
}
