// The channel controller: on the window's channel thread it fetches and ranks
// the download domains, downloads the full installer into the temporary
// folder, starts it silently with a progress pipe, waits for it, and tells
// the window through posted messages how far the install has come and how it
// ended.
//
// Threads: constructed, configured and asked for StatusText on the UI thread;
// Run on the channel thread; the pipe reader on its own thread; the
// delegate operations on the segmented downloader's threads.
#pragma once
#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/manual_reset_event.h"
#include "base/win_handle.h"
#include "channel/pipe_reader_win.h"
#include "download/package_download.h"
#include "install/channel_controller.h"

class ChannelManger : public PackageDownloadHost, public PipeReaderHost, public ChannelController {
 public:
  ChannelManger();
  ~ChannelManger() override;

  // ChannelController
  void Configure(const ChannelSettings& settings) override;
  void Run() override;
  // The text the window shows after WM_CHANNEL_FAILED (a copy taken before
  // that message was posted).
  std::wstring StatusText() override;
  // The attempt id and the records of the download (a copy taken when the
  // download ended; before that, the id alone).
  CdnAttemptStats AttemptStats() override;

  // Downloader::Delegate
  void OnProgress(double downloaded, double total, double bytesPerSecond) override;

  // PipeReaderHost
  void SetStatusText(const std::wstring& text) override;

  // The progress function of `httpClient`: 0..70 while the single stream runs.
  static int HttpProgress(void* context, double downloadTotal, double downloadedNow, double uploadTotal,
                          double uploadedNow);

  // Starts the full installer with its command line and waits for it to end;
  // true when it ran and ended with exit code 0. Releases `heldInstaller`
  // right after the start.
  bool LaunchInstaller(const std::string& path, const std::wstring& pipeName);

  // Creates the progress pipe and starts the reader on it; false (and an
  // empty name) when the pipe cannot be created.
  bool StartPipeReader(std::wstring* pipeName);
  // After the full installer has ended: ends the reader, letting it first
  // read what a connected installer wrote before it ended, then closes the
  // pipe and its event. Sets `stopped`.
  void StopPipeReader();

  // How long, after the full installer has ended, the reader may go on
  // reading what it wrote before the reader is stopped.
  DWORD readerDrainMs = 5000;

  bool test = false;
  std::wstring forwardedArgs;
  std::string userAgentLine;
  std::string installPath;  // ANSI code page
  UniqueHandle pipe;
  std::shared_ptr<std::thread> pipeReader;
  // The downloaded file, held against changes from the end of the download
  // until the full installer has been started from it.
  UniqueHandle heldInstaller;

 private:
  void PostProgress(unsigned value);
  void PostFailure();
  bool ClientCameToPipe();

  ManualResetEvent readerEnded;
  std::mutex publishedLock;
  std::wstring publishedStatus;         // guarded by publishedLock
  CdnAttemptStats publishedAttempts;    // guarded by publishedLock
};
