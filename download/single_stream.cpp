#include "download/single_stream.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdio>

#include "base/debug_output.h"
#include "base/system_info.h"
#include "download/file_ops.h"
#include "download/range_plan.h"
#include "net/curl_handle.h"

namespace {

constexpr long kConnectTimeoutMs = 10000;

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// The value of a header line, without blanks and the line end.
std::string HeaderValue(const std::string& line, size_t nameLength) {
  const size_t from = line.find_first_not_of(" \t", nameLength);
  if (from == std::string::npos) return std::string();
  const size_t to = line.find_last_not_of(" \t\r\n");
  return to == std::string::npos || to < from ? std::string() : line.substr(from, to - from + 1);
}

// One request's state, shared with libcurl's callbacks.
struct Transfer {
  const std::wstring* path = nullptr;
  const ContinuePoint* from = nullptr;
  const StreamProgress* progress = nullptr;
  ProgressThrottle throttle;
  CURL* handle = nullptr;
  FILE* file = nullptr;
  bool ranged = false;
  // From the headers of the final response.
  std::string contentRange;
  FileValidators validators;
  bool encoded = false;
  // Decided at the first body bytes.
  bool checked = false;
  bool discard = false;   // an error page: never written
  bool misfit = false;    // a 206 that does not continue the part
  bool continued = false;
  bool writeFailed = false;
  int64_t bodyStart = 0;
};

size_t OnHeader(char* data, size_t size, size_t count, void* context) noexcept try {
  auto* t = static_cast<Transfer*>(context);
  const size_t n = size * count;
  const std::string line(data, n);
  NoteAnswerHeader(line, t->contentRange);
  if (StartsWithNoCase(line, "http/")) {  // a new response (after a redirect or a 100)
    t->validators = FileValidators();
    t->encoded = false;
  } else if (StartsWithNoCase(line, "etag:")) {
    t->validators.etag = HeaderValue(line, 5);
  } else if (StartsWithNoCase(line, "last-modified:")) {
    t->validators.lastModified = HeaderValue(line, 14);
  } else if (StartsWithNoCase(line, "content-encoding:")) {
    t->encoded = !HeaderValue(line, 17).empty();
  } else if (t->ranged && (line == "\r\n" || line == "\n")) {
    // The end of a response's headers: a 206 that is not the rest of the
    // part is left before its body is read.
    long status = 0;
    curl_easy_getinfo(t->handle, CURLINFO_RESPONSE_CODE, &status);
    if (status == 206 && !AnswerContinues(*t->from, t->contentRange, t->validators)) {
      DebugOut("the answer does not continue the file: status 206, Content-Range " + t->contentRange);
      t->misfit = true;
      return 0;
    }
  }
  return n;
} catch (...) {
  return 0;  // libcurl is C: nothing may unwind through it
}

// At the first body bytes: where they go, if anywhere.
bool CheckAnswer(Transfer& t) {
  t.checked = true;
  long status = 0;
  curl_easy_getinfo(t.handle, CURLINFO_RESPONSE_CODE, &status);
  if (status < 200 || status > 299) {
    t.discard = true;
    return true;
  }
  if (status == 206 && t.ranged && AnswerContinues(*t.from, t.contentRange, t.validators)) {
    t.continued = true;
    t.bodyStart = t.from->have;
    return SeekFile64(t.file, t.bodyStart, SEEK_SET);
  }
  if (status == 206 && !t.ranged) {
    // Part of a file nobody asked a part of: nothing of it is written.
    t.discard = true;
    return true;
  }
  if (status == 206) {
    DebugOut("the answer does not continue the file: status 206, Content-Range " + t.contentRange);
    t.misfit = true;
    return false;
  }
  // The whole file (a 200 to a range: the server ignores it): from byte 0.
  if (t.ranged) {
    std::fclose(t.file);
    t.file = OpenFileW(*t.path, "wb+");
    if (!t.file) {
      t.writeFailed = true;
      return false;
    }
  }
  t.bodyStart = 0;
  return true;
}

size_t OnBody(char* data, size_t size, size_t count, void* context) noexcept try {
  auto* t = static_cast<Transfer*>(context);
  const size_t n = size * count;
  if (!t->checked && !CheckAnswer(*t)) return 0;
  if (t->discard) return n;
  const size_t written = std::fwrite(data, 1, n, t->file);
  if (written != n) t->writeFailed = true;
  return written;
} catch (...) {
  return 0;
}

int OnProgress(void* context, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t, curl_off_t) noexcept try {
  auto* t = static_cast<Transfer*>(context);
  if (dlTotal == 0 || !*t->progress || !t->checked || t->discard) return 0;
  DownloadProgress now;
  now.received = t->bodyStart + dlNow;
  now.total = t->bodyStart + dlTotal;
  if (!t->throttle.Pass(now.received, now.total, ProgressThrottle::Clock::now())) return 0;
  curl_off_t speed = 0;
  curl_easy_getinfo(t->handle, CURLINFO_SPEED_DOWNLOAD_T, &speed);
  now.bytesPerSecond = static_cast<double>(speed);
  (*t->progress)(now);
  return 0;
} catch (...) {
  return 0;  // a progress that could not be shown ends nothing
}

int64_t InfoBytes(CURL* handle, CURLINFO info) {
  curl_off_t value = -1;
  if (curl_easy_getinfo(handle, info, &value) != CURLE_OK) return -1;
  return static_cast<int64_t>(value);
}

double ConnectSeconds(CURL* handle) {
  double seconds = 0;
  curl_easy_getinfo(handle, CURLINFO_APPCONNECT_TIME, &seconds);
  if (seconds <= 0) curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME, &seconds);
  return seconds;
}

}  // namespace

bool AnswerContinues(const ContinuePoint& from, const std::string& contentRange, const FileValidators& answer) {
  int64_t first = 0, last = 0, total = 0;
  if (!ParseContentRange(contentRange, first, last, total)) return false;
  if (first != from.have || total != from.total || last != total - 1) return false;
  if (!from.sameDomain) return true;
  const FileValidators& part = from.validators;
  if (!part.etag.empty() && !answer.etag.empty() && part.etag != answer.etag) return false;
  if (!part.lastModified.empty() && !answer.lastModified.empty() && part.lastModified != answer.lastModified)
    return false;
  return true;
}

StreamAnswer FetchIntoFile(const std::string& url, const std::wstring& path, const ContinuePoint& from,
                           long timeLimitSeconds, const TransferPolicy& policy, const StreamProgress& progress) {
  StreamAnswer answer;
  CurlHandle owner = CurlHandle::Create();
  if (!owner) {
    answer.result = CURLE_FAILED_INIT;
    return answer;
  }
  const bool continuable = from.have > 0 && from.total > from.have;
  const uint64_t started = TickCount64();
  bool ranged = continuable;
  for (;;) {
    CURL* h = owner.get();
    Transfer t;
    t.path = &path;
    t.from = &from;
    t.progress = &progress;
    t.handle = h;
    t.ranged = ranged;
    // The part stays untouched until an answer has shown where its bytes go.
    t.file = OpenFileW(path, ranged ? "rb+" : "wb+");
    if (!t.file) return answer;
    answer.opened = true;

    CurlHeaderList headers;
    if (ranged) {
      DebugOut("continuing at " + std::to_string(from.have) + " of " + std::to_string(from.total) + " bytes");
      // A strong validator lets the server itself send the whole file when
      // its copy is not the one the part came from.
      if (from.sameDomain && !from.validators.etag.empty() && from.validators.etag.compare(0, 2, "W/") != 0)
        headers.Append(("If-Range: " + from.validators.etag).c_str());
      else if (from.sameDomain && !from.validators.lastModified.empty())
        headers.Append(("If-Range: " + from.validators.lastModified).c_str());
    }
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    const std::string range = std::to_string(from.have) + "-";
    curl_easy_setopt(h, CURLOPT_RANGE, ranged ? range.c_str() : nullptr);
    // A ranged answer counts bytes of the file itself, never of an encoding.
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, ranged ? nullptr : "gzip");
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &t);
    TransferLimits limits;
    limits.connectTimeoutMs = kConnectTimeoutMs;
    limits.timeoutSeconds = timeLimitSeconds;
    if (timeLimitSeconds > 0) {
      const long spent = static_cast<long>((TickCount64() - started) / 1000);
      limits.timeoutSeconds = timeLimitSeconds > spent ? timeLimitSeconds - spent : 1;
    }
    const int rc = PerformTransfer(h, url, policy, limits);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
    const bool closed = t.file ? CloseFileChecked(t.file) : false;
    answer.connectSeconds = ConnectSeconds(h);
    if (t.misfit) {
      // Asked once more from the first byte: the part is not this file's.
      answer.restarted = true;
      ranged = false;
      continue;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    answer.continued = t.continued;
    answer.fromStart = t.checked && !t.discard && !t.continued;
    answer.validators = t.validators;
    answer.writeFailed = t.writeFailed || (!closed && !t.discard);
    answer.announced = InfoBytes(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T);
    answer.received = InfoBytes(h, CURLINFO_SIZE_DOWNLOAD_T);
    if (t.continued) {
      answer.total = from.total;
    } else if (status == 200 && !t.encoded) {
      answer.total = answer.announced;
    }
    if (rc != CURLE_OK) {
      answer.result = rc;
    } else if (status == 206 && t.continued) {
      answer.result = 200;
    } else {
      answer.result = static_cast<int>(status);
    }
    return answer;
  }
}
