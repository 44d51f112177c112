#include "app/install_wiring.h"

InstallOptions ToInstallOptions(const LaunchOptions& o) {
  InstallOptions i;
  i.installPath = o.installPath;
  i.autoStart = o.autoStart;
  i.autoInstall = o.autoInstall;
  i.silent = o.silent;
  i.channelId = o.channelId;
  i.seoSourceId = o.seoSourceId;
  i.platformId = o.platformId;
  i.aid = o.aid;
  i.thirdType = o.thirdType;
  i.forwardedArgs = o.forwardedArgs;
  i.pipeName = o.pipeName;
  i.test = o.test;
  i.launchedByChannel = o.launchedByChannel;
  i.transfer = o.transfer;
  return i;
}
