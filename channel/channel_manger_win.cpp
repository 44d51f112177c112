#include "channel/channel_manger_win.h"

#include <cstdio>

#include "base/debug_output.h"
#include "base/text_convert.h"
#include "base/vendor.h"
#include "download/file_ops.h"
#include "install/authenticode_win.h"
#include "channel/installer_launch.h"
#include "channel/process_ops_win.h"
#include "channel/run_folder_win.h"
#include "net/backup_domains.h"
#include "net/throughput_ranking.h"

namespace {
// Seconds of the parallel throughput probe.
constexpr int kRankingSeconds = 2;
}  // namespace

ChannelManger::ChannelManger(PackageDownloadSettings downloadSettings)
    : download(std::move(downloadSettings), [this](double downloaded, double total) {
        if (settings.events) settings.events->OnDownloadProgress(downloaded, total);
      }) {
  publishedAttempts = download.AttemptStats();
}

ChannelManger::~ChannelManger() {
  // No downloader thread may call into a half-destroyed controller.
  download.StopDownload();
  reader.Stop(0);
}

void ChannelManger::Configure(const ChannelSettings& s) {
  settings = s;
  download.SetTransferPolicy(s.transfer);
}

CdnAttemptStats ChannelManger::AttemptStats() {
  std::lock_guard<std::mutex> lock(publishedLock);
  return publishedAttempts;
}

void ChannelManger::Fail(InstallFailureKind kind, const std::wstring& rejectionReason) {
  InstallFailure failure;
  failure.kind = kind;
  failure.rejectionReason = rejectionReason;
  Report(failure);
}

void ChannelManger::Report(InstallFailure failure) {
  failure.lastDownloadFailure = download.LastFailure();
  if (settings.events) settings.events->OnFailed(failure);
}

std::wstring ChannelManger::PrepareTarget(const std::wstring& folder) {
  std::wstring target = folder + AnsiToWide(kInstallerFileName);
  const bool killed = KillProcessByName(AnsiToWide(kInstallerFileName));
  bool deleted = DeleteFileW(target.c_str()) != FALSE;
  // A process just terminated may hold its file a moment longer.
  for (int i = 0; killed && !deleted && i < 20; ++i) {
    Sleep(100);
    deleted = DeleteFileW(target.c_str()) != FALSE;
  }
  if (!deleted && GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES)
    target = AlternativeTargetPath(folder);
  return target;
}

void ChannelManger::Reject(const std::wstring& target, const std::wstring& reason) {
  DebugOutW(L"the downloaded installer is rejected: " + reason);
  DeleteFileAt(target);
  Fail(InstallFailureKind::kPackageRejected, reason);
}

void ChannelManger::Run() {
  // The run's own folder, and with it everything downloaded, goes when the
  // run ends, however it ends; the download lets go of its files first.
  RunFolder folder = RunFolder::Create();
  struct DownloadEnd {
    PackageDownload& download;
    ~DownloadEnd() { download.StopDownload(); }
  } downloadEnd{download};
  if (!folder) {
    DebugOut("no folder of its own for the full installer, error " + std::to_string(GetLastError()));
    Fail(InstallFailureKind::kInstallerNotStarted);
    return;
  }
  const std::wstring target = PrepareTarget(folder.Path());
  // A part an earlier run kept is continued from here, and a part this run
  // could not finish goes back for the next one.
  std::string storeProblem;
  PartStore parts = PartStore::Open(folder, &storeProblem);
  if (parts)
    parts.Lend(target);
  else
    DebugOut("partial downloads are not kept between runs: " + storeProblem);
  const DomainList domains = FetchBackupDomains(settings.userAgentLine, settings.test, settings.transfer);
  const RankedDomains ranked = CheckThroughputAndSortDomains(domains, kPackagePath, kRankingSeconds, settings.transfer);
  // A file continued from more than one answer may mix two builds of equal
  // length, and only the publisher check of the whole file can tell: such a
  // file gets one more download from the first byte before it is rejected.
  UniqueHandle held;
  for (bool retried = false;; retried = true) {
    const bool downloaded = download.DownloadPackage(ranked, target);
    {
      std::lock_guard<std::mutex> lock(publishedLock);
      publishedAttempts = download.AttemptStats();
    }
    if (!downloaded) {
      // Nothing partial stays at the target: the fallback lets go of its
      // files first, and a part worth continuing is set aside for the next run.
      download.StopDownload();
      download.SetAsidePartial(target);
      parts.Keep(target);
      for (int range = 1; range <= 32; ++range) DeleteFileAt(target + DecimalWide(range));
      // Not the download's fault: the only way out wants credentials.
      const ProxyRouting* routing = settings.transfer.routing.get();
      if (routing && routing->ProxyAuthFailed()) {
        DebugOut("down load up grade file failed: a proxy needs authentication");
        Fail(InstallFailureKind::kProxyAuthRequired);
        return;
      }
      Fail(InstallFailureKind::kDownloadFailed);
      DebugOut("down load up grade file failed");
      return;
    }

    // From here until the full installer has started from it, nobody else may
    // change or replace the file: it runs with the stub's rights. The bytes
    // checked are the bytes started, so the hold begins before the check.
    held = HoldFileForCheck(target);
    if (!held) {
      const DWORD error = GetLastError();
      DebugOut("the downloaded installer cannot be held against changes, error " + std::to_string(error));
      Reject(target, L"not held " + DecimalWide(error));
      return;
    }
    const PublisherVerdict verdict = VerifyPublisher(target, Utf8ToWide(Vendor().publisher), held.get());
    if (PublisherAccepted(verdict.result)) break;
    held.reset();  // the file can only be deleted once nobody holds it
    if (!retried && download.FileIsContinued()) {
      DebugOut("the continued download failed the publisher check; downloading it once more from the first byte");
      download.DiscardPartial(target);
      continue;
    }
    char status[16];
    std::snprintf(status, sizeof status, "0x%08lX", static_cast<unsigned long>(verdict.status));
    Reject(target, AnsiToWide(PublisherCheckName(verdict.result)) + L" " + AnsiToWide(status));
    return;
  }

  std::wstring pipeName;
  if (reader.Start(settings.events, settings.installerFailedText, &pipeName) == PipeReaderStart::kNoThread) {
    Fail(InstallFailureKind::kInternalError);
    return;
  }
  const LaunchResult launch =
      LaunchInstaller(target, pipeName, settings.installPath, settings.forwardedArgs, std::move(held));

  if (launch.Succeeded()) {
    reader.Stop(kReaderDrainMs);
    if (settings.events) settings.events->OnFinished();
    return;
  }
  DebugOut("execute installer failed with error: " + std::to_string(launch.error));
  // The reader ends first, so a failure text the installer sent just before
  // it ended is not lost; it travels on in the failure.
  InstallFailure failure;
  failure.kind = launch.started ? InstallFailureKind::kInstallerFailed : InstallFailureKind::kInstallerNotStarted;
  failure.installerText = reader.Stop(kReaderDrainMs);
  Report(failure);
}

LaunchResult LaunchInstaller(const std::string& path, const std::wstring& pipeName,
                             const std::string& installPath, const std::wstring& forwardedArgs,
                             UniqueHandle heldInstaller) {
  return LaunchInstaller(AnsiToWide(path), pipeName, installPath, forwardedArgs, std::move(heldInstaller));
}

LaunchResult LaunchInstaller(const std::wstring& path, const std::wstring& pipeName,
                             const std::string& installPath, const std::wstring& forwardedArgs,
                             UniqueHandle heldInstaller) {
  LaunchResult result;
  std::string commandLine;
  switch (BuildInstallerCommandLine(WideToAnsi(pipeName), installPath, WideToAnsi(forwardedArgs), &commandLine)) {
    case CommandLineFit::kWhole:
      break;
    case CommandLineFit::kWithoutForwarded:
      DebugOut("forwarded arguments left out: the command line would exceed " + std::to_string(kCommandLineBytes) +
               " bytes");
      break;
    case CommandLineFit::kTooLong:
      DebugOut("CreateProcess failed, command line is  " + WideToAnsi(path) + ",params is (install folder too long),error: is " +
               std::to_string(ERROR_FILENAME_EXCED_RANGE));
      heldInstaller.reset();
      result.error = ERROR_FILENAME_EXCED_RANGE;
      return result;
  }
  const ProcessRun run = RunProcessAndWait(path, commandLine, std::move(heldInstaller));
  if (!run.started) {
    DebugOut("CreateProcess failed, command line is  " + WideToAnsi(path) + ",params is " + commandLine + ",error: is " +
             std::to_string(run.error));
    result.error = run.error;
    return result;
  }
  result.started = true;
  result.exitCode = run.exitCode;
  result.error = GetLastError();
  return result;
}
