// Downloader: the length probe, one range's transfer with its writer and its
// progress, and the single-connection run.
#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "base/debug_output.h"
#include "download/downloader.h"
#include "download/file_ops.h"

namespace {
constexpr long kConnectTimeoutMs = 50000;

long ResponseCode(CURL* handle) {
  long status = 0;
  if (handle) curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

size_t DiscardHeader(char*, size_t size, size_t count, void*) { return size * count; }

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

std::atomic<unsigned> progressCalls{0};  // process-wide, as every 4th call reports
}  // namespace

TransferLimits Downloader::Limits() const {
  TransferLimits limits;
  limits.connectTimeoutMs = kConnectTimeoutMs;
  // No limit on the whole transfer, but a stalled one ends as an error; a
  // server that accepts the connection and never answers must not hold the
  // start for ever either.
  limits.lowSpeedSeconds = lowSpeedSeconds;
  return limits;
}

double Downloader::GetDownloadFileLenth(const std::string& probeUrl) {
  for (;;) {
    double length = -1;
    int code = CURLE_FAILED_INIT;
    CurlHandle handle = CurlHandle::Create();
    if (handle) {
      curl_easy_setopt(handle.get(), CURLOPT_NOBODY, 1L);
      curl_easy_setopt(handle.get(), CURLOPT_HEADERFUNCTION, DiscardHeader);
      code = PerformTransfer(handle.get(), probeUrl, policy, Limits());
    }
    if (code != CURLE_OK) {
      DebugOut("KVDown:___GetDownloadFileLenth ret is :" + std::to_string(code));
    } else if (const long status = ResponseCode(handle.get()); status < 200 || status > 299) {
      // The length of an error page is not the file's; asking again changes nothing.
      DebugOut("KVDown: length probe answered " + std::to_string(status));
      startError = DownloadError::Of(DownloadError::Kind::kProbeStatus);
      return -1;
    } else {
      curl_off_t value = -1;
      if (curl_easy_getinfo(handle.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &value) == CURLE_OK) {
        length = static_cast<double>(value);
      }
    }
    handle.reset();
    char line[128];
    std::snprintf(line, sizeof(line), "KVDown:___GetDownloadFileLenth:%f", length);
    DebugOut(line);
    if (code == CURLE_OK || probeRetries < 1) return length;
    --probeRetries;
    if (code == CURLE_PEER_FAILED_VERIFICATION && !peerFailureSeen) {
      peerFailureSeen = true;
      DebugOut("KVDown: CURLE_PEER_FAILED_VERIFICATION change--------");
    }
    DebugOut("KVDown: GetDownloadFileLenth try agine--------");
  }
}

void Downloader::SetTransferOptions(tNode& node, bool segmented) {
  CURL* h = node.handle.get();
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &node);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteRange);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &node);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, ReadHeader);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &node);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, segmented ? SegmentedProgress : SingleProgress);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "gzip");
}

// No exception may leave a libcurl callback (libcurl is C): each one below
// turns it into a failed write, which ends the attempt like any other.
size_t Downloader::ReadHeader(char* data, size_t size, size_t count, void* context) noexcept try {
  auto* node = static_cast<tNode*>(context);
  const size_t n = size * count;
  std::string line(data, n);
  std::lock_guard<std::mutex> guard(node->lock);
  NoteAnswerHeader(line, node->contentRange);
  if (StartsWithNoCase(line, "http/")) {
    node->encoded = false;  // a new response (after a redirect or 100)
  } else if (StartsWithNoCase(line, "content-encoding:")) {
    node->encoded = line.find_first_not_of(" \t\r\n", 17) != std::string::npos;
  }
  return n;
} catch (...) {
  return 0;
}

// Decides, at the first body bytes of an attempt, whether the answer carries
// the bytes the range expects. Called with node.lock held.
bool Downloader::AcceptAnswer(tNode& node) {
  node.answerChecked = true;
  const long status = ResponseCode(node.handle.get());
  if (status >= 400) {
    // An error page is never written into a range; the status is reported.
    node.discardBody = true;
    return true;
  }
  int64_t bodyStart = -1;
  if (status == 200) {
    // The whole file, announced with the probed length; another length means
    // the file changed since the probe (or an answer of unknown length). An
    // encoded answer announces the encoded length: libcurl holds it to that,
    // and the writer to the probed length once decoded.
    curl_off_t announced = -1;
    curl_easy_getinfo(node.handle.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (!node.encoded && announced != fileLength) {
      DebugOut("KVDown: answer announces " + std::to_string(static_cast<long long>(announced)) +
               " bytes, the probe " + std::to_string(fileLength));
      node.answerError = DownloadError::Of(DownloadError::Kind::kLengthMismatch);
      return false;
    }
    bodyStart = 0;
  } else if (status == 206) {
    int64_t first = 0, last = 0, total = 0;
    if (ParseContentRange(node.contentRange, first, last, total)) {
      if (total >= 0 && total != fileLength) {
        DebugOut("KVDown: range answer's total is " + std::to_string(total) + ", the probe " +
                 std::to_string(fileLength));
        node.answerError = DownloadError::Of(DownloadError::Kind::kLengthMismatch);
        return false;
      }
    }
    bodyStart = AnsweredBodyStart(status, node.contentRange, fileLength);
  }
  if (bodyStart == node.requestStart) return true;
  if (bodyStart == 0 && node.start == 0) {
    // The whole file from its first byte: the range that starts at 0 simply
    // writes it again from the beginning.
    const int64_t written = node.position - node.start;
    if (!SeekFile64(node.file.get(), 0, SEEK_SET)) return false;
    mergedBytes -= written;
    node.position = 0;
    return true;
  }
  DebugOut("KVDown: range not honoured, status " + std::to_string(status) + ", wanted from " +
           std::to_string(node.requestStart));
  if (mode == Mode::kSegmented) {
    rangeRefused = true;
    WakeMergeWaits();
  }
  return false;
}

size_t Downloader::WriteRange(char* data, size_t size, size_t count, void* context) noexcept try {
  auto* node = static_cast<tNode*>(context);
  Downloader* owner = node->owner;
  if (owner->Aborting()) return 0;
  const size_t offered = size * count;
  std::lock_guard<std::mutex> guard(node->lock);
  if (!node->answerChecked && !owner->AcceptAnswer(*node)) return 0;
  if (node->discardBody) return offered;
  const int64_t position = node->position;
  const int64_t room = node->end + 1 - position;
  if (room < static_cast<int64_t>(offered) && node->end == owner->fileLength - 1) {
    // More bytes than the file has: it is not the file the probe measured.
    node->answerError = DownloadError::Of(DownloadError::Kind::kLengthMismatch);
    return 0;
  }
  if (room <= 0) return 0;
  const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(offered), room));
  const size_t written = std::fwrite(data, 1, n, node->file.get());
  if (written != n) node->answerError = DownloadError::Of(DownloadError::Kind::kWriteFailed);
  if (node->start == 0) owner->mergedBytes += static_cast<int64_t>(written);
  node->position = position + static_cast<int64_t>(written);
  return written;
} catch (...) {
  return 0;
}

int Downloader::SingleProgress(void* context, int64_t dlTotal, int64_t, int64_t, int64_t) noexcept try {
  auto* node = static_cast<tNode*>(context);
  Downloader* owner = node->owner;
  if (owner->Aborting()) return 1;
  if (dlTotal == 0 || !owner->delegate) return 0;
  curl_off_t speed = 0;
  curl_easy_getinfo(node->handle.get(), CURLINFO_SPEED_DOWNLOAD_T, &speed);
  owner->delegate->OnProgress(static_cast<double>(node->position.load()),
                              static_cast<double>(owner->fileLength), static_cast<double>(speed));
  return 0;
} catch (...) {
  return 0;  // a progress that could not be shown ends nothing
}

int Downloader::SegmentedProgress(void* context, int64_t dlTotal, int64_t, int64_t, int64_t) noexcept try {
  auto* node = static_cast<tNode*>(context);
  Downloader* owner = node->owner;
  if (owner->Aborting()) return 1;
  if (dlTotal == 0 || !owner->delegate) return 0;
  curl_off_t speed = 0;
  curl_easy_getinfo(node->handle.get(), CURLINFO_SPEED_DOWNLOAD_T, &speed);
  node->speed = static_cast<double>(speed);
  std::lock_guard<std::mutex> guard(owner->progressSection);
  if (++progressCalls % 4 != 0) return 0;
  progressCalls = 0;
  const ProgressSum sum = SumProgress(owner->RangesLocked());
  owner->delegate->OnProgress(sum.downloaded, static_cast<double>(owner->fileLength), sum.bytesPerSecond);
  return 0;
} catch (...) {
  return 0;
}

// Up to three attempts while running; each resumes from `position`. Returns 0
// when the range is complete, or when the server answered an error status
// (AttemptFailure tells); otherwise the last libcurl code.
int Downloader::RunAttempts(tNode& node, bool alwaysRanged) {
  int result = CURLE_OK;
  for (int attempt = 0; attempt < 3 && !Aborting(); ++attempt) {
    {
      std::lock_guard<std::mutex> guard(node.lock);
      const int64_t position = node.position;
      if (position > node.start || alwaysRanged) {
        char range[64];
        std::snprintf(range, sizeof(range), "%lld-%lld", static_cast<long long>(position),
                      static_cast<long long>(node.end.load()));
        curl_easy_setopt(node.handle.get(), CURLOPT_RANGE, range);
      } else {
        curl_easy_setopt(node.handle.get(), CURLOPT_RANGE, nullptr);
      }
      node.requestStart = position;
      node.answerChecked = false;
      node.discardBody = false;
      node.contentRange.clear();
      node.encoded = false;
    }
    result = PerformTransfer(node.handle.get(), url, policy, Limits());
    {
      std::lock_guard<std::mutex> guard(node.lock);
      if (std::fflush(node.file.get()) != 0 && !node.answerError)
        node.answerError = DownloadError::Of(DownloadError::Kind::kWriteFailed);
      // Neither a changed file nor a full disk gets better by asking again.
      if (node.answerError) return result;
    }
    if (node.Complete()) return CURLE_OK;
    if (result == CURLE_OK) {
      if (ResponseCode(node.handle.get()) >= 400) return CURLE_OK;
      result = CURLE_PARTIAL_FILE;  // the answer ended before the range did
    }
    DebugOut("KVDown: attempt " + std::to_string(attempt + 1) + " ended with " + std::to_string(result) +
             " at " + std::to_string(node.position.load()));
  }
  return result;
}

// What RunAttempts' result means for the range: none when it is complete;
// else the transfer's code, the server's error status, or a short answer.
DownloadError Downloader::AttemptFailure(const tNode& node, int curlResult) const {
  if (node.answerError) return node.answerError;
  if (curlResult != CURLE_OK) return DownloadError::Transfer(curlResult);
  const long status = ResponseCode(node.handle.get());
  if (status >= 400) return DownloadError::HttpStatus(status);
  if (!node.Complete()) return DownloadError::Transfer(CURLE_PARTIAL_FILE);
  return DownloadError();
}

void Downloader::RunSingle() {
  try {
    std::shared_ptr<tNode> node = singleNode;
    const int result = RunAttempts(*node, false);
    if (state != RunState::kRunning) return;
    if (const DownloadError failure = AttemptFailure(*node, result)) {
      Fail(failure);
      return;
    }
    // The target is closed before the delegate hears of it, so it may be used
    // at once; it is whole only when the close succeeded and the disk holds
    // the announced length.
    if (const DownloadError failure = CloseAndMeasure(*node)) {
      Fail(failure);
      return;
    }
    Cleanup();
    state = RunState::kIdle;
    if (delegate) delegate->OnComplete();
  } catch (const std::exception& e) {
    DebugOut(std::string("KVDown: single download stopped: ") + e.what());
    Fail(DownloadError::Transfer(CURLE_OUT_OF_MEMORY));
  }
}

DownloadError Downloader::CloseAndMeasure(tNode& node) {
  FILE* file = nullptr;
  {
    std::lock_guard<std::mutex> guard(node.lock);
    file = node.file.release();
  }
  if (!file || !CloseFileChecked(file)) {
    DebugOut("KVDown: closing the target failed, error " + std::to_string(LastSystemError()));
    return DownloadError::Of(DownloadError::Kind::kWriteFailed);
  }
  const int64_t size = FileSizeW(node.path);
  if (size != fileLength) {
    DebugOut("KVDown: target holds " + std::to_string(size) + " of " + std::to_string(fileLength));
    return DownloadError::Of(DownloadError::Kind::kSizeMismatch);
  }
  return DownloadError();
}
