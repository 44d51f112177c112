// One byte range of a download and its transfer: the range's file, its
// libcurl handle and callbacks, and the checks of each answer before a byte
// of it is written. The callbacks reach what they need through their own
// range and the run it belongs to (RangeRun), never through the Downloader.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/unique_file.h"
#include "download/download_delegate.h"
#include "download/download_error.h"
#include "download/download_progress.h"
#include "download/range_plan.h"
#include "net/curl_handle.h"
#include "net/transfer_policy.h"

// What the ranges of one run share, read and written by their callbacks. Its
// owner keeps it while any transfer of the run can call back and sets it up
// with Begin while none runs.
class RangeRun {
 public:
  // A run over a file of `fileLength` bytes whose first `kept` bytes are in
  // the target already; segmented or over one connection. Leaves alone
  // whether the run goes on (the fallback over one connection is planned
  // inside a running run, which a stop may end meanwhile).
  void Begin(DownloadDelegate* delegate, int64_t fileLength, bool segmented, int64_t kept);
  int64_t FileLength() const { return fileLength; }
  bool Segmented() const { return segmented; }

  // The transfers may run; until End.
  void Go() { ended = false; }
  // The run is over for its transfers (failed, stopping, or finished): each
  // ends at its next callback.
  void End() { ended = true; }
  // A range answered without honouring its byte range: every transfer stops,
  // and the file is fetched over one connection instead.
  void RefuseRanges() { refused = true; }
  bool RangesRefused() const { return refused; }
  bool Aborting() const { return ended || refused; }

  // Bytes a range wrote into its file; negative when a range starts again.
  void Received(int64_t bytes) { received += bytes; }
  // A range's transfer speed changed from `before` to `now` (bytes a second).
  void SpeedChanged(double before, double now);
  // From a range's progress callback: tells the delegate what all ranges
  // received and their summed speed (over one connection, that
  // connection's), one report at a time and no more often than
  // ProgressThrottle lets through.
  void Progress(double connectionSpeed);

  // Bytes in the target so far: what the range at offset 0 wrote plus the
  // chunks appended to it.
  std::atomic<int64_t> mergedBytes{0};

 private:
  DownloadDelegate* delegate = nullptr;
  int64_t fileLength = 0;
  bool segmented = false;
  std::atomic<bool> ended{true};
  std::atomic<bool> refused{false};
  std::atomic<int64_t> received{0};      // the kept bytes and all that ranges wrote
  std::atomic<int64_t> speedSum{0};      // over the ranges, bytes a second
  std::mutex progressSection;            // one report at a time, in order
  ProgressThrottle throttle;             // guarded by progressSection
};

// One byte range (Downloader::tNode). `position` and `end` change under
// `lock` only (a split lowers `end` while the transfer runs); any thread may
// read them at any time.
class RangeTransfer {
 public:
  // Opens `filePath` ("wb+", or "rb+" keeping its first `keep` bytes) and
  // makes the handle; see Ready.
  RangeTransfer(RangeRun& run, int64_t start, int64_t end, int nextId, const std::wstring& filePath,
                int64_t keep = 0);
  RangeTransfer(const RangeTransfer&) = delete;
  RangeTransfer& operator=(const RangeTransfer&) = delete;

  // The file is open and the handle made, with every option set.
  bool Ready() const { return file && handle; }

  // Up to three attempts while the run goes on; each asks from `position`
  // (always as a range when `alwaysRanged`, else once the range has begun).
  // 0 when the range is complete or the server answered an error status
  // (Failure tells); otherwise the last libcurl code.
  int RunAttempts(const std::string& url, const TransferPolicy& policy, const TransferLimits& limits,
                  bool alwaysRanged);
  // What RunAttempts' result means for the range: none when it is complete;
  // else the answer's fault, the transfer's code, the server's error status,
  // or a short answer.
  DownloadError Failure(int curlResult) const;
  // Why the last attempt must not go on whatever libcurl said: a length
  // that disagrees with the probe, a failed write or flush.
  DownloadError AnswerError() const;
  // Closes the file and checks that the file holds the run's whole length.
  DownloadError CloseAndMeasure();
  // The transfer ended: its speed counts no more.
  void ClearSpeed();

  // Under `lock`, cuts off the second half as range `newId` when CutRange
  // allows; `add` makes and registers the new range and says whether it
  // could, and only then does this range end before it.
  template <typename Add>
  bool Split(int newId, Add add);

  RangeProgress Snapshot(int id) const;
  // "KVDown: thread <id>:<start>--<end>,currentpos is <position>,nextid is <nextId>"
  void LogLine(int id) const;
  bool Complete() const { return position.load() == end.load() + 1; }
  // Closes the file (flushing it) and releases the handle.
  void Release();

  UniqueFile file;
  const int64_t start;
  std::atomic<int64_t> position;
  std::atomic<int64_t> end;
  int64_t size;
  CurlHandle handle;
  std::atomic<double> speed{0};
  const std::wstring path;
  std::atomic<int> nextId;
  int64_t mergeOffset;
  std::atomic<RangeState> state{RangeState::kDownloading};

 private:
  static size_t WriteRange(char* data, size_t size, size_t count, void* context) noexcept;
  static size_t ReadHeader(char* data, size_t size, size_t count, void* context) noexcept;
  static int OnProgress(void* context, int64_t dlTotal, int64_t dlNow, int64_t ulTotal,
                        int64_t ulNow) noexcept;
  bool AcceptAnswer();

  RangeRun& run;
  mutable std::mutex lock;
  // The current attempt: where its body must begin, whether its answer has
  // been checked, and the Content-Range of its final response.
  int64_t requestStart = 0;
  bool answerChecked = false;
  bool discardBody = false;
  std::string contentRange;
  bool encoded = false;  // the answer names a Content-Encoding: its length is the encoded one
  DownloadError answerError;
};

template <typename Add>
bool RangeTransfer::Split(int newId, Add add) {
  // Holding the lock keeps the writer from moving `position` past the new
  // end while the end is lowered.
  std::lock_guard<std::mutex> guard(lock);
  RangeSplit cut;
  const RangeProgress now{-1, state.load(), position.load(), end.load(), start, nextId.load(), 0};
  if (!CutRange(now, newId, &cut) || !add(cut)) return false;
  end = cut.newStart - 1;
  nextId = newId;
  size = end - start + 1;
  return true;
}
