#include "download/range_transfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "base/debug_output.h"
#include "base/text_convert.h"
#include "download/file_ops.h"

namespace {
long ResponseCode(CURL* handle) {
  long status = 0;
  if (handle) curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}
}  // namespace

void RangeRun::Begin(DownloadDelegate* delegate, int64_t fileLength, bool segmented, int64_t kept) {
  this->delegate = delegate;
  this->fileLength = fileLength;
  this->segmented = segmented;
  refused = false;
  received = kept;
  speedSum = 0;
  mergedBytes = kept;
  std::lock_guard<std::mutex> guard(progressSection);
  throttle = ProgressThrottle();
}

void RangeRun::SpeedChanged(double before, double now) {
  speedSum += static_cast<int64_t>(now) - static_cast<int64_t>(before);
}

void RangeRun::Progress(double connectionSpeed) {
  if (!delegate) return;
  std::lock_guard<std::mutex> guard(progressSection);
  DownloadProgress now;
  now.received = received;
  now.total = fileLength;
  now.bytesPerSecond = segmented ? static_cast<double>(speedSum.load()) : connectionSpeed;
  if (throttle.Pass(now.received, now.total, ProgressThrottle::Clock::now())) delegate->OnProgress(now);
}

RangeTransfer::RangeTransfer(RangeRun& run, int64_t start, int64_t end, int nextId,
                             const std::wstring& filePath, int64_t keep)
    : start(start),
      position(start + keep),
      end(end),
      size(end - start + 1),
      path(filePath),
      nextId(nextId),
      mergeOffset(start),
      run(run) {
  handle = CurlHandle::Create();
  file.reset(OpenFileW(filePath, keep > 0 ? "rb+" : "wb+"));
  if (keep > 0 && file && !SeekFile64(file.get(), start + keep, SEEK_SET)) file.reset();
  if (!handle) return;
  CURL* h = handle.get();
  curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteRange);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, ReadHeader);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "gzip");
}

// No exception may leave a libcurl callback (libcurl is C): each one below
// turns it into a failed write, which ends the attempt like any other.
size_t RangeTransfer::ReadHeader(char* data, size_t size, size_t count, void* context) noexcept try {
  auto* range = static_cast<RangeTransfer*>(context);
  const size_t n = size * count;
  std::string line(data, n);
  std::lock_guard<std::mutex> guard(range->lock);
  NoteAnswerHeader(line, range->contentRange);
  if (StartsWithNoCase(line, "http/")) {
    range->encoded = false;  // a new response (after a redirect or 100)
  } else if (StartsWithNoCase(line, "content-encoding:")) {
    range->encoded = line.find_first_not_of(" \t\r\n", 17) != std::string::npos;
  }
  return n;
} catch (...) {
  return 0;
}

// Decides, at the first body bytes of an attempt, whether the answer carries
// the bytes the range expects. Called with `lock` held.
bool RangeTransfer::AcceptAnswer() {
  answerChecked = true;
  const int64_t fileLength = run.FileLength();
  const long status = ResponseCode(handle.get());
  if (status >= 400) {
    // An error page is never written into a range; the status is reported.
    discardBody = true;
    return true;
  }
  int64_t bodyStart = -1;
  if (status == 200) {
    // The whole file, announced with the probed length; another length means
    // the file changed since the probe (or an answer of unknown length). An
    // encoded answer announces the encoded length: libcurl holds it to that,
    // and the writer to the probed length once decoded.
    curl_off_t announced = -1;
    curl_easy_getinfo(handle.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (!encoded && announced != fileLength) {
      DebugOut("KVDown: answer announces " + std::to_string(static_cast<long long>(announced)) +
               " bytes, the probe " + std::to_string(fileLength));
      answerError = DownloadError::Of(DownloadError::Kind::kLengthMismatch);
      return false;
    }
    bodyStart = 0;
  } else if (status == 206) {
    int64_t first = 0, last = 0, total = 0;
    if (ParseContentRange(contentRange, first, last, total)) {
      if (total >= 0 && total != fileLength) {
        DebugOut("KVDown: range answer's total is " + std::to_string(total) + ", the probe " +
                 std::to_string(fileLength));
        answerError = DownloadError::Of(DownloadError::Kind::kLengthMismatch);
        return false;
      }
    }
    bodyStart = AnsweredBodyStart(status, contentRange, fileLength);
  }
  if (bodyStart == requestStart) return true;
  if (bodyStart == 0 && start == 0) {
    // The whole file from its first byte: the range that starts at 0 simply
    // writes it again from the beginning.
    const int64_t written = position - start;
    if (!SeekFile64(file.get(), 0, SEEK_SET)) return false;
    run.mergedBytes -= written;
    run.Received(-written);
    position = 0;
    return true;
  }
  DebugOut("KVDown: range not honoured, status " + std::to_string(status) + ", wanted from " +
           std::to_string(requestStart));
  if (run.Segmented()) run.RefuseRanges();
  return false;
}

size_t RangeTransfer::WriteRange(char* data, size_t size, size_t count, void* context) noexcept try {
  auto* range = static_cast<RangeTransfer*>(context);
  RangeRun& run = range->run;
  if (run.Aborting()) return 0;
  const size_t offered = size * count;
  std::lock_guard<std::mutex> guard(range->lock);
  if (!range->answerChecked && !range->AcceptAnswer()) return 0;
  if (range->discardBody) return offered;
  const int64_t position = range->position;
  const int64_t room = range->end + 1 - position;
  if (room < static_cast<int64_t>(offered) && range->end == run.FileLength() - 1) {
    // More bytes than the file has: it is not the file the probe measured.
    range->answerError = DownloadError::Of(DownloadError::Kind::kLengthMismatch);
    return 0;
  }
  if (room <= 0) return 0;
  const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(offered), room));
  const size_t written = std::fwrite(data, 1, n, range->file.get());
  if (written != n) range->answerError = DownloadError::Of(DownloadError::Kind::kWriteFailed);
  if (range->start == 0) run.mergedBytes += static_cast<int64_t>(written);
  run.Received(static_cast<int64_t>(written));
  range->position = position + static_cast<int64_t>(written);
  return written;
} catch (...) {
  return 0;
}

int RangeTransfer::OnProgress(void* context, int64_t dlTotal, int64_t, int64_t, int64_t) noexcept try {
  auto* range = static_cast<RangeTransfer*>(context);
  RangeRun& run = range->run;
  if (run.Aborting()) return 1;
  if (dlTotal == 0) return 0;
  curl_off_t speed = 0;
  curl_easy_getinfo(range->handle.get(), CURLINFO_SPEED_DOWNLOAD_T, &speed);
  const double now = static_cast<double>(speed);
  if (run.Segmented()) run.SpeedChanged(range->speed.exchange(now), now);
  run.Progress(now);
  return 0;
} catch (...) {
  return 0;  // a progress that could not be shown ends nothing
}

int RangeTransfer::RunAttempts(const std::string& url, const TransferPolicy& policy,
                               const TransferLimits& limits, bool alwaysRanged) {
  int result = CURLE_OK;
  for (int attempt = 0; attempt < 3 && !run.Aborting(); ++attempt) {
    {
      std::lock_guard<std::mutex> guard(lock);
      const int64_t from = position;
      if (from > start || alwaysRanged) {
        char range[64];
        std::snprintf(range, sizeof(range), "%lld-%lld", static_cast<long long>(from),
                      static_cast<long long>(end.load()));
        curl_easy_setopt(handle.get(), CURLOPT_RANGE, range);
      } else {
        curl_easy_setopt(handle.get(), CURLOPT_RANGE, nullptr);
      }
      requestStart = from;
      answerChecked = false;
      discardBody = false;
      contentRange.clear();
      encoded = false;
    }
    result = PerformTransfer(handle.get(), url, policy, limits);
    {
      std::lock_guard<std::mutex> guard(lock);
      if (std::fflush(file.get()) != 0 && !answerError)
        answerError = DownloadError::Of(DownloadError::Kind::kWriteFailed);
      // Neither a changed file nor a full disk gets better by asking again.
      if (answerError) return result;
    }
    if (Complete()) return CURLE_OK;
    if (result == CURLE_OK) {
      if (ResponseCode(handle.get()) >= 400) return CURLE_OK;
      result = CURLE_PARTIAL_FILE;  // the answer ended before the range did
    }
    DebugOut("KVDown: attempt " + std::to_string(attempt + 1) + " ended with " + std::to_string(result) +
             " at " + std::to_string(position.load()));
  }
  return result;
}

DownloadError RangeTransfer::AnswerError() const {
  std::lock_guard<std::mutex> guard(lock);
  return answerError;
}

DownloadError RangeTransfer::Failure(int curlResult) const {
  if (const DownloadError error = AnswerError()) return error;
  if (curlResult != CURLE_OK) return DownloadError::Transfer(curlResult);
  const long status = ResponseCode(handle.get());
  if (status >= 400) return DownloadError::HttpStatus(status);
  if (!Complete()) return DownloadError::Transfer(CURLE_PARTIAL_FILE);
  return DownloadError();
}

DownloadError RangeTransfer::CloseAndMeasure() {
  FILE* closing = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock);
    closing = file.release();
  }
  if (!closing || !CloseFileChecked(closing)) {
    DebugOut("KVDown: closing the target failed, error " + std::to_string(LastSystemError()));
    return DownloadError::Of(DownloadError::Kind::kWriteFailed);
  }
  const int64_t bytes = FileSizeW(path);
  if (bytes != run.FileLength()) {
    DebugOut("KVDown: target holds " + std::to_string(bytes) + " of " + std::to_string(run.FileLength()));
    return DownloadError::Of(DownloadError::Kind::kSizeMismatch);
  }
  return DownloadError();
}

void RangeTransfer::ClearSpeed() { run.SpeedChanged(speed.exchange(0), 0); }

RangeProgress RangeTransfer::Snapshot(int id) const {
  return {id, state.load(), position.load(), end.load(), start, nextId.load(), speed.load()};
}

void RangeTransfer::LogLine(int id) const {
  DebugOutW(L"KVDown: thread " + DecimalWide(id) + L":" + DecimalWide(start) + L"--" +
            DecimalWide(end.load()) + L",currentpos is " + DecimalWide(position.load()) +
            L",nextid is " + DecimalWide(nextId.load()));
}

void RangeTransfer::Release() {
  file.reset();  // flushes
  handle.reset();
}
