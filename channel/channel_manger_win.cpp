#include "channel/channel_manger_win.h"

#include "base/debug_output.h"
#include "base/text_convert.h"
#include "channel/installer_launch.h"
#include "channel/process_ops_win.h"
#include "install/messages.h"
#include "net/backup_domains.h"
#include "net/http_client.h"
#include "net/throughput_ranking.h"

namespace {
// Seconds of the parallel throughput probe.
constexpr int kRankingSeconds = 2;
}  // namespace

ChannelManger::ChannelManger() {
  // The base made httpClient and the attempt id.
  publishedAttempts = attemptStats;
}

ChannelManger::~ChannelManger() {
  // No downloader thread may call into a half-destroyed controller.
  StopDownload();
  if (pipeReader && pipeReader->joinable()) pipeReader->join();
}

void ChannelManger::Configure(const ChannelSettings& settings) {
  test = settings.test;
  forwardedArgs = settings.forwardedArgs;
  userAgentLine = settings.userAgentLine;
  window = static_cast<HWND>(settings.window);
  installPath = settings.installPath;
  transferPolicy = settings.transfer;
}

std::wstring ChannelManger::StatusText() {
  std::lock_guard<std::mutex> lock(publishedLock);
  return publishedStatus;
}

CdnAttemptStats ChannelManger::AttemptStats() {
  std::lock_guard<std::mutex> lock(publishedLock);
  return publishedAttempts;
}

void ChannelManger::SetStatusText(const std::wstring& text) { statusText = text; }

void ChannelManger::PostProgress(unsigned value) { PostMessageW(window, WM_CHANNEL_PROGRESS, value, 0); }

void ChannelManger::OnProgress(double downloaded, double total, double bytesPerSecond) {
  PackageDownloadHost::OnProgress(downloaded, total, bytesPerSecond);
  if (total != 0) PostProgress(static_cast<unsigned>(downloaded / total * 70));
}

int ChannelManger::HttpProgress(void* context, double downloadTotal, double downloadedNow, double, double) {
  auto* self = static_cast<ChannelManger*>(context);
  if (downloadTotal != 0) self->PostProgress(static_cast<unsigned>(downloadedNow / downloadTotal * 70));
  return 0;
}

void ChannelManger::PostFailure() {
  {
    std::lock_guard<std::mutex> lock(publishedLock);
    publishedStatus = statusText;
  }
  DebugOutW(L"channel install failed, status text: " + statusText);
  PostMessageW(window, WM_CHANNEL_FAILED, 0, 0);
}

void ChannelManger::Run() {
  const std::string tempFolder = TemporaryFolder();
  std::string target = tempFolder + kInstallerFileName;
  const bool killed = KillProcessByName(AnsiToWide(kInstallerFileName));
  bool deleted = DeleteFileA(target.c_str()) != FALSE;
  // A process just terminated may hold its file a moment longer.
  for (int i = 0; killed && !deleted && i < 20; ++i) {
    Sleep(100);
    deleted = DeleteFileA(target.c_str()) != FALSE;
  }
  if (!deleted && GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES)
    target = AlternativeTargetPath(tempFolder);

  httpClient->progressCallback = &ChannelManger::HttpProgress;
  httpClient->progressContext = this;
  DomainList domains = FetchBackupDomains(userAgentLine, test, transferPolicy);
  SpeedSamples samples;
  CheckThroughputAndSortDomains(&domains, kInstallerDownloadPath, kRankingSeconds, &samples, transferPolicy);
  const bool downloaded = DownloadPackage(domains, samples, target);
  {
    std::lock_guard<std::mutex> lock(publishedLock);
    publishedAttempts = attemptStats;
  }
  if (!downloaded) {
    PostFailure();
    DebugOut("down load up grade file failed");
    return;
  }

  // From here until the full installer has started from it, nobody else may
  // change or replace the file: it runs with the stub's rights.
  bool launched = false;
  DWORD error = 0;
  heldInstaller = HoldFileAgainstChanges(target);
  if (!heldInstaller) {
    error = GetLastError();
    DebugOut("the downloaded installer cannot be held against changes, error " + std::to_string(error));
  } else {
    std::wstring pipeName;
    StartPipeReader(&pipeName);
    launched = LaunchInstaller(target, pipeName);
    error = GetLastError();
  }
  heldInstaller.reset();

  if (launched) {
    StopPipeReader();
    PostProgress(100);
    Sleep(5);
    PostProgress(101);
    return;
  }
  DebugOut("execute installer failed with error: " + std::to_string(error));
  // The reader ends first, so a failure text the installer sent just before
  // it ended is not lost.
  StopPipeReader();
  if (statusText.empty()) statusText = L"tt_failed";
  PostFailure();
}

bool ChannelManger::StartPipeReader(std::wstring* pipeName) {
  std::wstring name = ProgressPipeName(GetCurrentProcessId());
  pipe = CreateProgressPipe(name);
  if (!pipe) return false;
  DebugOutW(L"__update namepipestr " + name);
  if (pipeReader && pipeReader->joinable()) pipeReader->join();
  // The event exists before the reader runs, so a stop can never miss it.
  pipeEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!pipeEvent) {
    pipe.reset();
    return false;
  }
  readerEnded.Reset();
  clientConnected = false;
  HANDLE handle = pipe.get();
  pipeReader = std::make_shared<std::thread>([this, handle] {
    PipeReaderLoop(*this, handle);
    readerEnded.Set();
  });
  *pipeName = name;
  return true;
}

// True when a client has connected to the pipe, even if the reader has not
// woken up to that yet: the pipe then holds data or reports its closed end.
bool ChannelManger::ClientCameToPipe() {
  if (clientConnected) return true;
  DWORD available = 0;
  if (PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, &available, nullptr)) return true;
  return GetLastError() == ERROR_BROKEN_PIPE;
}

void ChannelManger::StopPipeReader() {
  if (pipeReader && pipeReader->joinable()) {
    // The installer has ended, so its end is closed: a connected reader reads
    // what is left and ends by itself (unless a process it started kept the
    // end open).
    if (ClientCameToPipe()) readerEnded.WaitFor(std::chrono::milliseconds(readerDrainMs));
    stopped = true;
    if (pipeEvent) SetEvent(pipeEvent.get());
    pipeReader->join();
  }
  stopped = true;
  pipeEvent.reset();
  pipe.reset();
}

bool ChannelManger::LaunchInstaller(const std::string& path, const std::wstring& pipeName) {
  std::string commandLine;
  switch (BuildInstallerCommandLine(WideToAnsi(pipeName), installPath, WideToAnsi(forwardedArgs), &commandLine)) {
    case CommandLineFit::kWhole:
      break;
    case CommandLineFit::kWithoutForwarded:
      DebugOut("forwarded arguments left out: the command line would exceed " + std::to_string(kCommandLineBytes) +
               " bytes");
      break;
    case CommandLineFit::kTooLong:
      DebugOut("CreateProcess failed, command line is  " + path + ",params is (install folder too long),error: is " +
               std::to_string(ERROR_FILENAME_EXCED_RANGE));
      heldInstaller.reset();
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return false;
  }
  ProcessRun run = RunProcessAndWait(path, commandLine, std::move(heldInstaller));
  if (!run.started) {
    DebugOut("CreateProcess failed, command line is  " + path + ",params is " + commandLine + ",error: is " +
             std::to_string(run.error));
    SetLastError(run.error);
    return false;
  }
  return run.exitCode == 0;
}
