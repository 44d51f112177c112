#include "base/vendor.h"

#include <cstdlib>

#include "vendor_hosts.h"

namespace {

#ifdef QV_TEST_HOOKS
void Override(std::string& value, const char* name) {
  if (const char* v = std::getenv(name); v && *v) value = v;
}
#endif

VendorHosts Build() {
  VendorHosts h;
  h.directoryTest = QV_DIRECTORY_TEST_URL;
  h.directoryProd = QV_DIRECTORY_PROD_URL;
  h.builtinDomains = {QV_STATIC_DOMAIN, QV_APPHUB_DOMAIN};
  h.report = QV_REPORT_URL;
  h.clientService = QV_CLIENT_SERVICE_URL;
  h.web = QV_WEB_URL;
  h.app = QV_APP_URL;
  h.publisher = QV_PUBLISHER_NAME;
#ifdef QV_TEST_HOOKS
  h.publisher = QV_TEST_PUBLISHER_NAME;
  // One variable each, so a run shows which of the two endpoints it asked.
  Override(h.directoryTest, "QV_TEST_DIRECTORY_URL");
  Override(h.directoryProd, "QV_DIRECTORY_URL");
  if (const char* v = std::getenv("QV_BUILTIN_DOMAINS"); v && *v) {
    h.builtinDomains.clear();
    std::string all = v;
    size_t from = 0;
    while (from <= all.size()) {
      size_t comma = all.find(',', from);
      if (comma == std::string::npos) comma = all.size();
      if (comma > from) h.builtinDomains.push_back(all.substr(from, comma - from));
      from = comma + 1;
    }
  }
  Override(h.report, "QV_REPORT_URL");
  Override(h.clientService, "QV_CLIENT_SERVICE_URL");
  Override(h.web, "QV_WEB_URL");
  Override(h.app, "QV_APP_URL");
  Override(h.caFile, "QV_CA_FILE");
#endif
  return h;
}

}  // namespace

const VendorHosts& Vendor() {
  static const VendorHosts hosts = Build();
  return hosts;
}
