// Points the vendor hosts of this test process at local servers and files.
// Vendor() computes its hosts once, so all of this happens before any test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "testing/servers/local_servers.h"

const char kBuiltinStatic[] = "https://static.builtin.invalid";
const char kBuiltinAppHub[] = "https://apphub.builtin.invalid";

namespace {

std::unique_ptr<RawServer> directory;

class NetTestEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/qv-net-tests-XXXXXX";
    if (const char* dir = mkdtemp(pattern)) dir_ = dir;
    setenv("QV_CA_FILE", (dir_ + "/ca.pem").c_str(), 1);
    setenv("QV_BUILTIN_DOMAINS", (std::string(kBuiltinStatic) + "," + kBuiltinAppHub).c_str(), 1);
    directory = std::make_unique<RawServer>();
    setenv("QV_DIRECTORY_URL", directory->Url().c_str(), 1);
    // The "-test" directory: the same server under another host name.
    std::string testUrl = directory->Url();
    testUrl.replace(testUrl.find("127.0.0.1"), 9, "localhost");
    setenv("QV_TEST_DIRECTORY_URL", testUrl.c_str(), 1);
    // Loopback tests must not be sent through a proxy of the machine.
    for (const char* name :
         {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
      unsetenv(name);
  }
  void TearDown() override {
    directory.reset();
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }

 private:
  std::string dir_;
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new NetTestEnvironment);

}  // namespace

RawServer& DirectoryServer() { return *directory; }
