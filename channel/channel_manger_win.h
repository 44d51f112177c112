// The channel controller: on the window's channel thread it fetches and ranks
// the download domains, downloads the full installer into a folder of the
// run's own that only administrators may write (channel/run_folder_win.h),
// checks it, starts it silently with a progress pipe, waits for it, and reports
// through the configured InstallEvents how far the install has come and how
// it ended.
//
// It owns its parts: the package download (with the HTTP client and the
// segmented fallback) and the progress-pipe reader. Their state is private;
// only the attempt records are published, under a lock.
//
// Threads: constructed and configured on the UI thread; Run on the channel
// thread; the reader on its own thread; the download's fallback on the
// segmented downloader's threads. AttemptStats on any thread.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>

#include "base/win_handle.h"
#include "channel/channel_controller.h"
#include "channel/pipe_reader_win.h"
#include "download/package_download.h"

// How a launch of the full installer went.
struct LaunchResult {
  bool started = false;  // the process ran and was waited for
  DWORD exitCode = 0;    // when started
  // Why it did not start (the system's error code); after a run, the
  // thread's last error as the run left it.
  DWORD error = 0;
  bool Succeeded() const { return started && exitCode == 0; }
};

// Starts the full installer at `path` with its command line (`pipeName`,
// `installPath` in the ANSI code page, `forwardedArgs`) and waits for it to
// end. `heldInstaller` is the file held against changes; it is released
// right after the start (or on any failure before).
LaunchResult LaunchInstaller(const std::string& path, const std::wstring& pipeName,
                             const std::string& installPath, const std::wstring& forwardedArgs,
                             UniqueHandle heldInstaller);
LaunchResult LaunchInstaller(const std::wstring& path, const std::wstring& pipeName,
                             const std::string& installPath, const std::wstring& forwardedArgs,
                             UniqueHandle heldInstaller);

class ChannelManger : public ChannelController {
 public:
  explicit ChannelManger(PackageDownloadSettings downloadSettings = {});
  ~ChannelManger() override;

  void Configure(const ChannelSettings& settings) override;
  void Run() override;
  CdnAttemptStats AttemptStats() override;

  // How long, after the full installer has ended, the reader may go on
  // reading what it wrote before it is stopped.
  static constexpr DWORD kReaderDrainMs = 5000;

 private:
  // The target file in the run's own folder `folder` (ending in a
  // backslash), after ending a running installer and removing its file.
  // Everything the run downloads lives beside it.
  std::wstring PrepareTarget(const std::wstring& folder);
  void Fail(InstallFailureKind kind, const std::wstring& rejectionReason = std::wstring());
  // Reports `failure` with the download's last failed attempt added.
  void Report(InstallFailure failure);
  // The download is not the vendor's whole program: it goes, unstarted.
  void Reject(const std::wstring& target, const std::wstring& reason);

  ChannelSettings settings;
  PackageDownload download;
  ProgressPipeReader reader;
  std::mutex publishedLock;
  CdnAttemptStats publishedAttempts;  // guarded by publishedLock
};
