#include "tools/vendor_sim/sim_config.h"

#include <cstdlib>

const char kSimUsage[] =
    "usage: vendor_sim (--file PATH | --size BYTES) [options]\n"
    "  --domains N              download domains, one port each (default 3)\n"
    "  --rate I:R[,I:R...]      per-connection rate of domain I (R like 500k, 2m; I may be *)\n"
    "  --fault I:KIND[@N][,...] fault of domain I from its N-th download GET on; KIND is\n"
    "                           refuse | reset | 404 | status=CODE | stall[=BYTES] |\n"
    "                           drop[=BYTES] | cut=OFFSET | noranges | nolength | unsigned |\n"
    "                           tamper[=OFFSET] | foreign | short=BYTES | html |\n"
    "                           headlength=BYTES | headstatus=CODE\n"
    "  --foreign-file PATH      the file the 'foreign' fault serves\n"
    "  --no-gzip                never compress\n"
    "  --record FILE            every request received, as JSON lines\n"
    "  --bytes-file FILE        body bytes of the file handed out per domain, as JSON\n"
    "  --port-file FILE         ports and base URLs as JSON, written once listening\n"
    "  --env-file FILE          the same environment as shell export lines, written before the port file\n"
    "  --api-port N             port of the directory/report/activation server (default any)\n"
    "  --directory-file FILE    raw directory answer; {domainN} stands for domain N's URL\n"
    "  --pac-file FILE          serve this proxy auto-configuration script as /proxy.pac\n"
    "  --directory-status CODE  status of the directory answer (default 200)\n"
    "  --directory-domains LIST domain indexes in the OSS_DOMAIN entry, in order, or 'none'\n"
    "  --directory-extra URL    one more backup URL in the OSS_DOMAIN entry (repeatable)\n"
    "  --report-status CODE     status of the report endpoint (default 200)\n"
    "  --active-status CODE     status of the activation endpoint (default 200)\n"
    "  --max-lifetime SECONDS   stop after this long (default 900)\n"
    "  --exit-on-stdin-eof      stop when standard input reaches its end\n";

namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t from = 0;
  while (from <= text.size()) {
    size_t at = text.find(sep, from);
    if (at == std::string::npos) at = text.size();
    if (at > from) parts.push_back(text.substr(from, at - from));
    from = at + 1;
  }
  return parts;
}

bool ParseInt(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || v < 0) return false;
  value = v;
  return true;
}

// Applies `fn` to the domain(s) named by "I" or "*".
template <typename Fn>
bool ForDomains(SimConfig& config, const std::string& index, Fn fn) {
  if (index == "*") {
    for (auto& d : config.domains) fn(d);
    return true;
  }
  int64_t i = 0;
  if (!ParseInt(index, i) || i >= static_cast<int64_t>(config.domains.size())) return false;
  fn(config.domains[static_cast<size_t>(i)]);
  return true;
}

}  // namespace

int64_t ParseByteCount(const std::string& text) {
  if (text.empty()) return -1;
  int64_t scale = 1;
  std::string digits = text;
  char last = text.back();
  if (last == 'k' || last == 'K') scale = 1024;
  if (last == 'm' || last == 'M') scale = 1024 * 1024;
  if (last == 'g' || last == 'G') scale = 1024 * 1024 * 1024;
  if (scale != 1) digits.pop_back();
  int64_t v = 0;
  if (!ParseInt(digits, v)) return -1;
  return v * scale;
}

bool ParseFault(const std::string& text, Fault& fault, bool& refuse) {
  refuse = false;
  fault = Fault();
  std::string words = text;
  size_t at = words.find('@');
  if (at != std::string::npos) {
    int64_t from = 0;
    if (!ParseInt(words.substr(at + 1), from) || from < 1) return false;
    fault.from = static_cast<int>(from);
    words.resize(at);
  }
  std::string kind = words, arg;
  size_t eq = words.find('=');
  if (eq != std::string::npos) {
    kind = words.substr(0, eq);
    arg = words.substr(eq + 1);
  }
  if (kind == "refuse" && arg.empty()) {
    refuse = true;
    return true;
  }
  if (kind == "reset" && arg.empty()) {
    fault.kind = Fault::kReset;
    return true;
  }
  if (kind == "noranges" && arg.empty()) {
    fault.kind = Fault::kNoRanges;
    return true;
  }
  if (kind == "nolength" && arg.empty()) {
    fault.kind = Fault::kNoLength;
    return true;
  }
  struct Plain {
    const char* name;
    Fault::Kind kind;
  };
  for (const Plain& p : {Plain{"unsigned", Fault::kUnsigned}, Plain{"foreign", Fault::kForeign},
                         Plain{"html", Fault::kHtml}}) {
    if (kind == p.name && arg.empty()) {
      fault.kind = p.kind;
      return true;
    }
  }
  if (kind == "tamper") {
    fault.kind = Fault::kTamper;
    return arg.empty() || ParseInt(arg, fault.arg);
  }
  if (kind == "short" || kind == "headlength") {
    fault.kind = kind == "short" ? Fault::kShort : Fault::kHeadLength;
    fault.arg = ParseByteCount(arg);
    return fault.arg >= 0;
  }
  if (kind == "headstatus") {
    fault.kind = Fault::kHeadStatus;
    return ParseInt(arg, fault.arg) && fault.arg >= 100 && fault.arg <= 999;
  }
  if (kind == "404" && arg.empty()) {
    fault.kind = Fault::kStatus;
    fault.arg = 404;
    return true;
  }
  if (kind == "status") {
    fault.kind = Fault::kStatus;
    return ParseInt(arg, fault.arg) && fault.arg >= 100 && fault.arg <= 999;
  }
  if (kind == "cut") {
    fault.kind = Fault::kCut;
    fault.arg = ParseByteCount(arg);
    return fault.arg >= 0;
  }
  if (kind == "stall" || kind == "drop") {
    fault.kind = kind == "stall" ? Fault::kStall : Fault::kDrop;
    if (arg.empty()) return true;
    fault.arg = ParseByteCount(arg);
    return fault.arg >= 0;
  }
  return false;
}

bool ParseSimConfig(int argc, char** argv, SimConfig& config, std::string& error) {
  std::vector<std::string> rates, faults;
  int64_t domainCount = 3;
  for (int i = 1; i < argc; ++i) {
    std::string flag = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = flag + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    auto number = [&](int64_t& out) {
      std::string v;
      if (!value(v)) return false;
      if (!ParseInt(v, out)) {
        error = flag + ": not a number: " + v;
        return false;
      }
      return true;
    };
    std::string v;
    int64_t n = 0;
    if (flag == "--file") {
      if (!value(config.file)) return false;
    } else if (flag == "--foreign-file") {
      if (!value(config.foreignFile)) return false;
    } else if (flag == "--size") {
      if (!value(v)) return false;
      config.size = ParseByteCount(v);
      if (config.size < 0) return error = "--size: bad size " + v, false;
    } else if (flag == "--domains") {
      if (!number(domainCount)) return false;
      if (domainCount < 1 || domainCount > 32) return error = "--domains: 1 to 32", false;
    } else if (flag == "--rate") {
      if (!value(v)) return false;
      rates.push_back(v);
    } else if (flag == "--fault") {
      if (!value(v)) return false;
      faults.push_back(v);
    } else if (flag == "--no-gzip") {
      config.gzip = false;
    } else if (flag == "--record") {
      if (!value(config.recordFile)) return false;
    } else if (flag == "--bytes-file") {
      if (!value(config.bytesFile)) return false;
    } else if (flag == "--port-file") {
      if (!value(config.portFile)) return false;
    } else if (flag == "--env-file") {
      if (!value(config.envFile)) return false;
    } else if (flag == "--api-port") {
      if (!number(n)) return false;
      config.apiPort = static_cast<int>(n);
    } else if (flag == "--directory-file") {
      if (!value(config.directoryFile)) return false;
    } else if (flag == "--pac-file") {
      if (!value(config.pacFile)) return false;
    } else if (flag == "--directory-status") {
      if (!number(n)) return false;
      config.directoryStatus = static_cast<int>(n);
    } else if (flag == "--directory-domains") {
      if (!value(v)) return false;
      config.directoryDomainsSet = true;
      if (v != "none") {
        for (const auto& part : Split(v, ',')) {
          int64_t idx = 0;
          if (!ParseInt(part, idx)) return error = "--directory-domains: bad index " + part, false;
          config.directoryDomains.push_back(static_cast<int>(idx));
        }
      }
    } else if (flag == "--directory-extra") {
      if (!value(v)) return false;
      config.directoryExtra.push_back(v);
    } else if (flag == "--report-status") {
      if (!number(n)) return false;
      config.reportStatus = static_cast<int>(n);
    } else if (flag == "--active-status") {
      if (!number(n)) return false;
      config.activeStatus = static_cast<int>(n);
    } else if (flag == "--max-lifetime") {
      if (!number(n)) return false;
      config.maxLifetimeSeconds = static_cast<int>(n);
    } else if (flag == "--exit-on-stdin-eof") {
      config.exitOnStdinEof = true;
    } else {
      error = "unknown flag " + flag;
      return false;
    }
  }
  if (config.file.empty() == (config.size < 0)) return error = "give exactly one of --file and --size", false;
  config.domains.assign(static_cast<size_t>(domainCount), DomainConfig());
  for (const auto& list : rates) {
    for (const auto& item : Split(list, ',')) {
      size_t colon = item.find(':');
      int64_t rate = colon == std::string::npos ? -1 : ParseByteCount(item.substr(colon + 1));
      if (rate < 0 || !ForDomains(config, item.substr(0, colon), [&](DomainConfig& d) { d.rate = rate; }))
        return error = "--rate: bad item " + item, false;
    }
  }
  for (const auto& list : faults) {
    for (const auto& item : Split(list, ',')) {
      size_t colon = item.find(':');
      Fault fault;
      bool refuse = false;
      if (colon == std::string::npos || !ParseFault(item.substr(colon + 1), fault, refuse) ||
          !ForDomains(config, item.substr(0, colon), [&](DomainConfig& d) {
            if (refuse)
              d.refuse = true;
            else
              d.faults.push_back(fault);
          }))
        return error = "--fault: bad item " + item, false;
    }
  }
  for (const auto& d : config.domains)
    for (const auto& f : d.faults)
      if (f.kind == Fault::kForeign && config.foreignFile.empty())
        return error = "--fault foreign needs --foreign-file", false;
  for (int idx : config.directoryDomains)
    if (idx >= static_cast<int>(config.domains.size()))
      return error = "--directory-domains: no domain " + std::to_string(idx), false;
  return true;
}
