#include "app/launch_options.h"

#include <gtest/gtest.h>

#include "net/http_client.h"

namespace {

struct ArgCase {
  const char* name;
  std::vector<std::wstring> args;
  LaunchOptions expected;
};

LaunchOptions With(void (*set)(LaunchOptions&)) {
  LaunchOptions o;
  set(o);
  return o;
}

void ExpectSame(const LaunchOptions& want, const LaunchOptions& got, const char* name) {
  EXPECT_EQ(want.installPath, got.installPath) << name;
  EXPECT_EQ(want.autoStart, got.autoStart) << name;
  EXPECT_EQ(want.silent, got.silent) << name;
  EXPECT_EQ(want.autoInstall, got.autoInstall) << name;
  EXPECT_EQ(want.checkAndRunning, got.checkAndRunning) << name;
  EXPECT_EQ(want.channelId, got.channelId) << name;
  EXPECT_EQ(want.thirdType, got.thirdType) << name;
  EXPECT_EQ(want.forwardedArgs, got.forwardedArgs) << name;
  EXPECT_EQ(want.pipeName, got.pipeName) << name;
  EXPECT_EQ(want.test, got.test) << name;
  EXPECT_EQ(want.launchedByChannel, got.launchedByChannel) << name;
  EXPECT_EQ(want.transfer.debugProxy, got.transfer.debugProxy) << name;
}

TEST(ParseArguments, WalksArgumentsAsTheInstallerAndFullInstallerExpect) {
  const ArgCase cases[] = {
      {"program path only", {L"C:\\dl\\QuorvaneSetup.exe"},
       With([](LaunchOptions& o) { o.forwardedArgs = L"C:\\dl\\QuorvaneSetup.exe"; })},
      {"silent auto-start are set and forwarded", {L"-silent", L"-auto-start"}, With([](LaunchOptions& o) {
         o.silent = o.autoStart = true;
         o.forwardedArgs = L"-silent -auto-start";
       })},
      {"install-path swallows the next argument", {L"-install-path", L"-silent"},
       With([](LaunchOptions& o) { o.installPath = L"-silent"; })},
      {"install-path last changes nothing", {L"-install-path"}, LaunchOptions{}},
      {"auto_install and chenk_and_runing are consumed", {L"-auto_install", L"-chenk_and_runing"},
       With([](LaunchOptions& o) { o.autoInstall = o.checkAndRunning = true; })},
      {"ChannID value", {L"-ChannID=42"}, With([](LaunchOptions& o) { o.channelId = L"42"; })},
      {"ChannID without = is forwarded", {L"-ChannID"}, With([](LaunchOptions& o) { o.forwardedArgs = L"-ChannID"; })},
      {"ChannID empty value", {L"-ChannID="}, LaunchOptions{}},
      {"ChannID with two = is forwarded", {L"-ChannID=1=2"},
       With([](LaunchOptions& o) { o.forwardedArgs = L"-ChannID=1=2"; })},
      {"third_type", {L"-third_type=steam"}, With([](LaunchOptions& o) { o.thirdType = L"steam"; })},
      {"pipename is stored and forwarded", {L"-pipename=\\\\.\\pipe\\x"}, With([](LaunchOptions& o) {
         o.pipeName = L"\\\\.\\pipe\\x";
         o.forwardedArgs = L"-pipename=\\\\.\\pipe\\x";
       })},
      {"other case and values are forwarded untouched", {L"-Silent", L"-silent=1"},
       With([](LaunchOptions& o) { o.forwardedArgs = L"-Silent -silent=1"; })},
      {"quoted argument with a blank loses its quotes", {L"a b"},
       With([](LaunchOptions& o) { o.forwardedArgs = L"a b"; })},
      {"later value wins, flags stay on", {L"-ChannID=1", L"-test", L"-ChannID=2", L"-launch-by-channel"},
       With([](LaunchOptions& o) {
         o.channelId = L"2";
         o.test = o.launchedByChannel = true;
         o.forwardedArgs = L"-test -launch-by-channel";
       })},
  };
  for (const auto& c : cases) ExpectSame(c.expected, ParseArguments(c.args), c.name);
}

TEST(ParseArguments, ProxySwitchGoesIntoTheTransferPolicy) {
  LaunchOptions o = ParseArguments({L"-enable-http-proxy"});
  EXPECT_TRUE(o.transfer.debugProxy);
  EXPECT_EQ(o.forwardedArgs, L"-enable-http-proxy");
  EXPECT_FALSE(ParseArguments({L"-enable-http-proxy2", L"-test"}).transfer.debugProxy);
}

TEST(OwnFileName, ScannersReadMarkersFromTheFileName) {
  struct Case {
    const wchar_t* file;
    bool channelOk;
    const wchar_t* cid;
    const wchar_t* seo;
    bool platformOk;
    const wchar_t* platform;
    const wchar_t* aid;
  };
  const Case cases[] = {
      {L"QuorvaneSetup_cid12_seosourceid77_platformid3_aid901.exe", true, L"12", L"77", true, L"3", L"901"},
      {L"QuorvaneSetup.exe", false, L"", L"", false, L"", L""},
      {L"Setup_seosourceid77_cid12_x.exe", false, L"", L"", false, L"", L""},
      {L"Setup_cid_seosourceid5_.exe", true, L"", L"5", false, L"", L""},
      {L"Setup_cid9_seosourceid.exe", true, L"9", L"", false, L"", L""},
      {L"Setup_cid9_seosourceid7", false, L"", L"", false, L"", L""},
      {L"Setup_platformid3_aid901", false, L"", L"", false, L"", L""},
      {L"Setup_platformid_aid.exe", false, L"", L"", true, L"", L""},
  };
  for (const auto& c : cases) {
    std::wstring a = L"old", b = L"old";
    EXPECT_EQ(c.channelOk, ScanChannelPair(c.file, a, b)) << c.file;
    if (c.channelOk) {
      EXPECT_EQ(a, c.cid) << c.file;
      EXPECT_EQ(b, c.seo) << c.file;
    } else {
      EXPECT_EQ(a, L"old") << c.file;
    }
    a = b = L"old";
    EXPECT_EQ(c.platformOk, ScanPlatformPair(c.file, a, b)) << c.file;
    if (c.platformOk) {
      EXPECT_EQ(a, c.platform) << c.file;
      EXPECT_EQ(b, c.aid) << c.file;
    }
  }
}

TEST(OwnFileName, FileNameOverridesCommandLineChannel) {
  LaunchOptions o = ParseArguments({L"-ChannID=42"});
  ApplyOwnFileName(L"QuorvaneSetup_cid12_seosourceid77.exe", o);
  EXPECT_EQ(o.channelId, L"12");
  EXPECT_EQ(o.seoSourceId, L"77");
  LaunchOptions p = ParseArguments({L"-ChannID=42"});
  ApplyOwnFileName(L"QuorvaneSetup_seosourceid77_cid12.exe", p);
  EXPECT_EQ(p.channelId, L"42");
  EXPECT_EQ(p.seoSourceId, L"");
}

}  // namespace
