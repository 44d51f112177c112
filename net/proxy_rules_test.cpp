// The proxy rules as tables: URL parts, proxy lists, bypass lists, and the
// choice between automatic configuration, manual settings and direct.
#include "net/proxy_rules.h"

#include <gtest/gtest.h>

namespace {

std::string Join(const std::vector<ProxyServer>& servers) {
  std::string out;
  for (const auto& s : servers) out += std::string(out.empty() ? "" : " ") + (s.socks ? "socks:" : "") + s.HostPort();
  return out;
}

UrlTarget Target(const std::string& url) {
  UrlTarget t;
  EXPECT_TRUE(ParseUrlTarget(url, t)) << url;
  return t;
}

TEST(ProxyRules, UrlTargets) {
  struct Case {
    const char* url;
    bool ok;
    const char *scheme, *host;
    int port;
  } cases[] = {
      {"https://Api.Corp.Test/x?y", true, "https", "api.corp.test", 443},
      {"HTTP://h:8080?q", true, "http", "h", 8080},
      {"http://[::1]:81/", true, "http", "::1", 81},
      {"http://user:pw@host/", true, "http", "host", 80},
      {"http://h#frag", true, "http", "h", 80},
      {"ftp://h/", true, "ftp", "h", 0},
      {"host/only", false, "", "", 0},
      {"http://", false, "", "", 0},
      {"http://h:99999/", false, "", "", 0},
      {"http://h:/", false, "", "", 0},
  };
  for (const Case& c : cases) {
    UrlTarget t;
    ASSERT_EQ(ParseUrlTarget(c.url, t), c.ok) << c.url;
    if (!c.ok) continue;
    EXPECT_EQ(t.scheme, c.scheme) << c.url;
    EXPECT_EQ(t.host, c.host) << c.url;
    EXPECT_EQ(t.port, c.port) << c.url;
  }
}

TEST(ProxyRules, ProxyListsPerScheme) {
  struct Case {
    const char *list, *scheme, *expected;
  } cases[] = {
      {"proxy:3128", "https", "proxy:3128"},
      {"proxy", "http", "proxy:80"},
      {"http=h:1;https=h2:2", "http", "h:1"},
      {"http=h:1;https=h2:2", "https", "h2:2"},
      {"http=h:1;ftp=f:3", "https", ""},
      {"HTTPS=http://Secure:8443/", "https", "secure:8443"},
      {"a:1;b:2 c:3", "https", "a:1 b:2 c:3"},          // ';' and blanks both separate
      {"https=s:1;all:2", "https", "s:1 all:2"},         // a scheme-less entry serves every scheme
      {"socks=s:9;http=h:1", "https", "socks:s:9"},      // socks only when nothing else applies
      {"socks=s", "http", "socks:s:1080"},
      {"socks=s:9;http=h:1", "http", "h:1"},
      {"[::1]:8080", "http", "[::1]:8080"},
      {"bad:port;:5;h:0;h:70000;good:8", "http", "good:8"},
      {"DIRECT", "http", ""},
      {" ; ;", "http", ""},
      {"user:pass@proxy:3128", "http", "proxy:3128"},  // credentials, not an IPv6 literal
      {"https=http://u:p@s:1", "https", "s:1"},
      {":p@h:1;@h:2;ok:3", "http", "ok:3"},               // credentials without a user name: skipped
  };
  for (const Case& c : cases)
    EXPECT_EQ(Join(ProxiesForScheme(c.list, c.scheme)), c.expected) << c.list << " for " << c.scheme;
}

// Credentials in an entry are kept beside the address, never in what the
// log shows of a proxy (its address and its URL for libcurl).
TEST(ProxyRules, CredentialsStayOutOfTheProxysAddress) {
  struct Case {
    const char* list;
    const char *user, *password, *hostPort;
  } cases[] = {
      {"corp\\jo:s3cret@proxy:3128", "corp\\jo", "s3cret", "proxy:3128"},
      {"jo:p@ss:w0rd@[::1]:8080", "jo", "p@ss:w0rd", "[::1]:8080"},  // up to the last '@'; the user ends at the first ':'
      {"jo@proxy", "jo", "", "proxy:80"},
      {"socks=jo:s3cret@s:9", "jo", "s3cret", "s:9"},
  };
  for (const Case& c : cases) {
    const std::vector<ProxyServer> servers = ProxiesForScheme(c.list, "http");
    ASSERT_EQ(servers.size(), 1u) << c.list;
    EXPECT_EQ(servers[0].user, c.user) << c.list;
    EXPECT_EQ(servers[0].password, c.password) << c.list;
    EXPECT_EQ(servers[0].HostPort(), c.hostPort) << c.list;
    EXPECT_EQ(servers[0].CurlProxy().find('@'), std::string::npos) << c.list;
  }
}

TEST(ProxyRules, BypassLists) {
  struct Case {
    const char *url, *bypass;
    bool bypassed;
  } cases[] = {
      {"http://intranet/", "<local>", true},
      {"http://intranet.corp/", "<local>", false},
      {"http://10.0.0.1/", "<local>", false},
      {"http://[fe80::1]/", "<local>", false},
      {"http://a.corp.test/", "*.corp.test", true},
      {"http://corp.test/", "*.corp.test", false},
      {"http://a.b.corp.test/", ".corp.test", true},
      {"http://A.Corp.Test/", "*.CORP.test", true},
      {"http://10.1.2.3/", "10.*", true},
      {"http://110.1.2.3/", "10.*", false},
      {"http://www.intra.example/", "*intra*", true},
      {"http://exact.example/", "exact.example", true},
      {"http://sub.exact.example/", "exact.example", false},
      {"https://s.example/", "http://s.example", false},  // the scheme must match
      {"http://s.example/", "http://s.example", true},
      {"http://s.example:8080/", "s.example:8080", true},  // and the port
      {"http://s.example/", "s.example:8080", false},
      {"http://x.example/", "a.example; x.example", true},
      {"http://x.example/", "a.example,x.example", true},
      {"http://x.example/", "", false},
      // Loopback goes direct unless the list says "<-loopback>".
      {"http://127.0.0.1:5000/", "", true},
      {"http://localhost/", "", true},
      {"http://[::1]/", "", true},
      {"http://127.0.0.1/", "<-loopback>", false},
      {"http://127.0.0.1/", "<-loopback>;127.*", true},
      {"http://127.example/", "", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BypassesProxy(Target(c.url), c.bypass), c.bypassed) << c.url << " with \"" << c.bypass << "\"";
}

TEST(ProxyRules, ChoiceBetweenAutomaticManualAndDirect) {
  SystemProxySettings none;
  SystemProxySettings manual;
  manual.proxy = "http=p:1;https=ps:2";
  manual.bypass = "*.direct.test;<local>";
  SystemProxySettings script = manual;
  script.autoConfigUrl = "http://pac.test/proxy.pac";
  SystemProxySettings scriptOnly;
  scriptOnly.autoDetect = true;

  AutoProxyAnswer viaA;
  viaA.ok = true;
  viaA.proxy = "a:8080;b:8081";
  AutoProxyAnswer direct;
  direct.ok = true;
  AutoProxyAnswer failed;
  failed.error = 12167;
  AutoProxyAnswer withBypass = viaA;
  withBypass.bypass = "*.skip.test";

  struct Case {
    const char* name;
    const SystemProxySettings& settings;
    const AutoProxyAnswer* answer;
    const char* url;
    ProxySource source;
    const char* proxies;
    const char* reason;
  } cases[] = {
      {"nothing set", none, nullptr, "https://v.test/", ProxySource::kNone, "", "no proxy configured"},
      {"manual, https", manual, nullptr, "https://v.test/", ProxySource::kManual, "ps:2", "manual settings"},
      {"manual, http", manual, nullptr, "http://v.test/", ProxySource::kManual, "p:1", "manual settings"},
      {"manual, bypassed", manual, nullptr, "https://a.direct.test/", ProxySource::kManual, "", "bypass list"},
      {"manual, <local>", manual, nullptr, "http://intranet/", ProxySource::kManual, "", "bypass list"},
      {"manual, no entry for ftp", manual, nullptr, "ftp://v.test/", ProxySource::kManual, "", "no proxy for ftp"},
      {"script answers proxies", script, &viaA, "https://v.test/", ProxySource::kAutoConfig, "a:8080 b:8081",
       "automatic configuration"},
      {"script answers DIRECT", script, &direct, "https://v.test/", ProxySource::kAutoConfig, "",
       "automatic configuration: DIRECT"},
      {"script ignores the manual bypass", script, &viaA, "https://a.direct.test/", ProxySource::kAutoConfig,
       "a:8080 b:8081", "automatic configuration"},
      {"script's own bypass", script, &withBypass, "https://x.skip.test/", ProxySource::kAutoConfig, "",
       "automatic configuration: bypass list"},
      {"script may proxy loopback", script, &viaA, "http://127.0.0.1/", ProxySource::kAutoConfig, "a:8080 b:8081",
       "automatic configuration"},
      {"script failed: manual", script, &failed, "https://v.test/", ProxySource::kManual, "ps:2",
       "automatic configuration failed (error 12167), manual settings"},
      {"script unavailable: manual", script, nullptr, "http://v.test/", ProxySource::kManual, "p:1",
       "automatic configuration unavailable, manual settings"},
      {"detection failed, nothing manual", scriptOnly, &failed, "https://v.test/", ProxySource::kNone, "",
       "automatic configuration failed (error 12167), no proxy configured"},
      {"answer ignored when not asked for", manual, &viaA, "https://v.test/", ProxySource::kManual, "ps:2",
       "manual settings"},
  };
  for (const Case& c : cases) {
    ProxyChoice choice = ChooseProxies(c.settings, Target(c.url), c.answer);
    EXPECT_EQ(choice.source, c.source) << c.name;
    EXPECT_EQ(Join(choice.proxies), c.proxies) << c.name;
    EXPECT_EQ(choice.reason, c.reason) << c.name;
  }
}

}  // namespace
