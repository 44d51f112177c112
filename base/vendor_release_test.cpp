// A build without test hooks (release) must not let its environment redirect
// where it connects or downloads from.
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/vendor.h"
#include "vendor_hosts.h"

#ifdef QV_TEST_HOOKS
#error "this test is compiled as a release build"
#endif

namespace {
void Set(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}
}  // namespace

TEST(VendorRelease, EnvironmentDoesNotRedirectHosts) {
  Set("QV_DIRECTORY_URL", "http://127.0.0.1:1");
  Set("QV_TEST_DIRECTORY_URL", "http://127.0.0.1:4");
  Set("QV_BUILTIN_DOMAINS", "http://127.0.0.1:2");
  Set("QV_REPORT_URL", "http://127.0.0.1:3");
  Set("QV_CLIENT_SERVICE_URL", "http://127.0.0.1:4");
  Set("QV_CA_FILE", "/tmp/evil.pem");
  Set("QV_PUBLISHER", "Foreign Test Publisher");
  Set("QV_PUBLISHER_NAME", "Foreign Test Publisher");
  const VendorHosts& h = Vendor();
  EXPECT_EQ(h.directoryProd, QV_DIRECTORY_PROD_URL);
  EXPECT_EQ(h.directoryTest, QV_DIRECTORY_TEST_URL);
  ASSERT_EQ(h.builtinDomains.size(), 2u);
  EXPECT_EQ(h.builtinDomains[0], QV_STATIC_DOMAIN);
  EXPECT_EQ(h.builtinDomains[1], QV_APPHUB_DOMAIN);
  EXPECT_EQ(h.report, QV_REPORT_URL);
  EXPECT_EQ(h.clientService, QV_CLIENT_SERVICE_URL);
  EXPECT_TRUE(h.caFile.empty());
  EXPECT_EQ(h.publisher, QV_PUBLISHER_NAME);
  EXPECT_NE(h.publisher, QV_TEST_PUBLISHER_NAME) << "a release build accepts only the vendor";
}
