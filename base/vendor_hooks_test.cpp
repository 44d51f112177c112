// Test and demo builds may point the vendor hosts at local servers.
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/vendor.h"
#include "vendor_hosts.h"

TEST(VendorTestHooks, EnvironmentRedirectsHosts) {
#ifdef _WIN32
  _putenv_s("QV_DIRECTORY_URL", "http://127.0.0.1:1");
  _putenv_s("QV_TEST_DIRECTORY_URL", "http://localhost:4");
  _putenv_s("QV_BUILTIN_DOMAINS", "http://127.0.0.1:2,,http://127.0.0.1:3");
#else
  setenv("QV_DIRECTORY_URL", "http://127.0.0.1:1", 1);
  setenv("QV_TEST_DIRECTORY_URL", "http://localhost:4", 1);
  setenv("QV_BUILTIN_DOMAINS", "http://127.0.0.1:2,,http://127.0.0.1:3", 1);
#endif
  const VendorHosts& h = Vendor();
  EXPECT_EQ(h.directoryProd, "http://127.0.0.1:1");
  EXPECT_EQ(h.directoryTest, "http://localhost:4");
  EXPECT_EQ(h.builtinDomains, (std::vector<std::string>{"http://127.0.0.1:2", "http://127.0.0.1:3"}));
}

// The test publisher is fixed at build time even here: the environment does
// not choose whose signature is accepted.
TEST(VendorTestHooks, PublisherIsTheBuildsTestPublisher) {
#ifdef _WIN32
  _putenv_s("QV_PUBLISHER_NAME", "Foreign Test Publisher");
#else
  setenv("QV_PUBLISHER_NAME", "Foreign Test Publisher", 1);
#endif
  EXPECT_EQ(Vendor().publisher, QV_TEST_PUBLISHER_NAME);
}
