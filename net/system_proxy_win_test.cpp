// The system proxy resolver under Wine, against the prefix's real per-user
// settings (written here as Windows keeps them) and a real configuration
// script served by system_proxy_wine_check.sh (QV_TEST_PAC_URL).
#include "net/system_proxy_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/win_handle.h"

namespace {

const wchar_t kConnections[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

void PutDword(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutText(std::vector<uint8_t>& out, const std::string& text) {
  PutDword(out, static_cast<uint32_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

// Writes "DefaultConnectionSettings" as Windows does: 0x46, a counter, the
// flags (1 direct, 2 proxy, 4 script, 8 detect), then the proxy list, bypass
// list and script URL, each length-prefixed.
void WriteSettings(const std::string& proxy, const std::string& bypass, const std::string& script,
                   bool proxyOn = true) {
  static uint32_t counter = 100;
  std::vector<uint8_t> data;
  PutDword(data, 0x46);
  PutDword(data, ++counter);
  PutDword(data, 1u | (proxyOn && !proxy.empty() ? 2u : 0u) | (script.empty() ? 0u : 4u));
  PutText(data, proxy);
  PutText(data, bypass);
  PutText(data, script);
  data.resize(data.size() + 32, 0);
  RegKey key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kConnections, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.get(), L"DefaultConnectionSettings", 0, REG_BINARY, data.data(),
                           static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
}

std::string Proxies(const ProxyChoice& choice) {
  std::string out;
  for (const auto& p : choice.proxies) out += (out.empty() ? "" : " ") + p.HostPort();
  return out;
}

struct UrlCase {
  const char* url;
  ProxySource source;
  const char* proxies;
  const char* reason;
};

void ExpectChoices(SystemProxyResolver& resolver, const std::vector<UrlCase>& cases) {
  for (const UrlCase& c : cases) {
    ProxyChoice choice = resolver.ForUrl(c.url);
    EXPECT_EQ(choice.source, c.source) << c.url;
    EXPECT_EQ(Proxies(choice), c.proxies) << c.url;
    EXPECT_EQ(choice.reason, c.reason) << c.url;
  }
}

TEST(SystemProxyWine, SettingsWrittenByTheScriptHelperAreRead) {
  // Written by testing/proxy/connection_settings.py before this process began.
  SystemProxyResolver resolver;
  EXPECT_EQ(resolver.Settings().proxy, Env("QV_TEST_WRITTEN_PROXY"));
  EXPECT_EQ(resolver.Settings().bypass, Env("QV_TEST_WRITTEN_BYPASS"));
  EXPECT_FALSE(resolver.Settings().WantsAutoConfig());
  ExpectChoices(resolver, {{"https://v.test/", ProxySource::kManual, "127.0.0.1:3130", "manual settings"},
                           {"https://a.written.test/", ProxySource::kManual, "", "bypass list"}});
}

TEST(SystemProxyWine, ManualProxyWithBypassListAndLocal) {
  WriteSettings("http=127.0.0.1:3128;https=127.0.0.1:3129", "*.direct.test;<local>", "");
  SystemProxyResolver resolver;
  EXPECT_EQ(resolver.Settings().proxy, "http=127.0.0.1:3128;https=127.0.0.1:3129");
  EXPECT_EQ(resolver.Settings().bypass, "*.direct.test;<local>");
  ExpectChoices(resolver, {
                              {"https://api.corp.test/x", ProxySource::kManual, "127.0.0.1:3129", "manual settings"},
                              {"http://api.corp.test/x", ProxySource::kManual, "127.0.0.1:3128", "manual settings"},
                              {"https://a.direct.test/", ProxySource::kManual, "", "bypass list"},
                              {"http://intranet/", ProxySource::kManual, "", "bypass list"},
                              {"http://127.0.0.1:8080/", ProxySource::kManual, "", "bypass list"},
                          });
}

TEST(SystemProxyWine, ProxyStringWithoutTheProxyFlagIsNotInEffect) {
  WriteSettings("127.0.0.1:3128", "", "", /*proxyOn=*/false);
  SystemProxyResolver resolver;
  EXPECT_EQ(resolver.Settings().proxy, "");
  ExpectChoices(resolver, {{"https://api.corp.test/", ProxySource::kNone, "", "no proxy configured"}});
}

TEST(SystemProxyWine, ScriptChoosesOneHostViaProxyAndOneDirect) {
  const std::string pac = Env("QV_TEST_PAC_URL");
  ASSERT_FALSE(pac.empty()) << "run through system_proxy_wine_check.sh";
  WriteSettings("", "", pac);
  SystemProxyResolver resolver;
  EXPECT_EQ(resolver.Settings().autoConfigUrl, pac);
  const std::vector<UrlCase> cases = {
      {"https://dl.viaproxy.test/file", ProxySource::kAutoConfig, "127.0.0.1:3128", "automatic configuration"},
      {"https://api.other.test/x", ProxySource::kAutoConfig, "", "automatic configuration: DIRECT"},
  };
  // Worker threads ask at once; every answer is the script's.
  std::vector<std::thread> threads;
  std::vector<ProxyChoice> answers(8);
  for (size_t i = 0; i < answers.size(); ++i)
    threads.emplace_back([&, i] { answers[i] = resolver.ForUrl(cases[i % 2].url); });
  for (auto& t : threads) t.join();
  for (size_t i = 0; i < answers.size(); ++i) {
    EXPECT_EQ(Proxies(answers[i]), cases[i % 2].proxies) << i;
    EXPECT_EQ(answers[i].reason, cases[i % 2].reason) << i;
  }
  ExpectChoices(resolver, cases);
}

// The requests the script server answered for PATH so far.
int ScriptRequests(const std::string& path) {
  const std::string log = Env("QV_TEST_SCRIPT_REQUESTS");
  EXPECT_FALSE(log.empty()) << "run through system_proxy_wine_check.sh";
  std::ifstream in(log);
  int n = 0;
  for (std::string line; std::getline(in, line);) n += line == path;
  return n;
}

TEST(SystemProxyWine, FailingScriptFallsBackToTheManualProxyAndIsNotAskedAgain) {
  const std::string pac = Env("QV_TEST_PAC_URL");
  ASSERT_FALSE(pac.empty()) << "run through system_proxy_wine_check.sh";
  const std::string dead = pac.substr(0, pac.rfind('/')) + "/dead.pac";
  const int before = ScriptRequests("/dead.pac");
  WriteSettings("127.0.0.1:3128", "", dead);
  SystemProxyResolver resolver;
  ProxyChoice first = resolver.ForUrl("https://api.corp.test/");
  EXPECT_EQ(first.source, ProxySource::kManual);
  EXPECT_EQ(Proxies(first), "127.0.0.1:3128");
  EXPECT_EQ(first.reason.rfind("automatic configuration failed (error ", 0), 0u) << first.reason;
  const int asked = ScriptRequests("/dead.pac") - before;
  EXPECT_GE(asked, 1) << "the script was never asked for";
  // Another host does not ask the dead script again, and says why. (Wine's
  // WinHTTP does not fetch a script that failed again either, whatever the
  // session: under Wine the count holds even without the resolver's memory.)
  ProxyChoice second = resolver.ForUrl("https://other.corp.test/");
  EXPECT_EQ(second.reason, first.reason);
  EXPECT_EQ(Proxies(second), "127.0.0.1:3128");
  EXPECT_EQ(ScriptRequests("/dead.pac") - before, asked);
}

// Without any stored settings WinHTTP reports "automatically detect", as
// Windows' defaults are; with nothing to detect every URL goes direct.
TEST(SystemProxyWine, NoSettingsMeanDetectionThenDirect) {
  RegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kConnections, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
    RegDeleteValueW(key.get(), L"DefaultConnectionSettings");
  SystemProxyResolver resolver;
  EXPECT_TRUE(resolver.Settings().autoDetect);
  EXPECT_EQ(resolver.Settings().proxy, "");
  ProxyChoice choice = resolver.ForUrl("https://api.corp.test/");
  EXPECT_EQ(choice.source, ProxySource::kNone);
  EXPECT_TRUE(choice.proxies.empty());
  const std::string tail = "), no proxy configured";
  EXPECT_EQ(choice.reason.rfind("automatic configuration failed (error ", 0), 0u) << choice.reason;
  EXPECT_EQ(choice.reason.substr(choice.reason.size() - tail.size()), tail) << choice.reason;
  ExpectChoices(resolver, {{"not a url", ProxySource::kNone, "", "not a URL"}});
}

}  // namespace
