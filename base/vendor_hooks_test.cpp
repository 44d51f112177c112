// Test and demo builds may point the vendor hosts at local servers.
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/vendor.h"

TEST(VendorTestHooks, EnvironmentRedirectsHosts) {
#ifdef _WIN32
  _putenv_s("QV_DIRECTORY_URL", "http://127.0.0.1:1");
  _putenv_s("QV_BUILTIN_DOMAINS", "http://127.0.0.1:2,,http://127.0.0.1:3");
#else
  setenv("QV_DIRECTORY_URL", "http://127.0.0.1:1", 1);
  setenv("QV_BUILTIN_DOMAINS", "http://127.0.0.1:2,,http://127.0.0.1:3", 1);
#endif
  const VendorHosts& h = Vendor();
  EXPECT_EQ(h.directoryProd, "http://127.0.0.1:1");
  EXPECT_EQ(h.directoryTest, "http://127.0.0.1:1");
  EXPECT_EQ(h.builtinDomains, (std::vector<std::string>{"http://127.0.0.1:2", "http://127.0.0.1:3"}));
}
