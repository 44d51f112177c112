// The end of a segmented run: once every range but range 0 is done, their
// files are read back in byte order into a MergeQueue by one thread while
// range 0's thread appends the queued chunks to the target (range 0's file).
#pragma once
#include <cstddef>
#include <vector>

#include "download/download_delegate.h"
#include "download/download_error.h"
#include "download/merge_queue.h"
#include "download/range_table.h"
#include "download/range_transfer.h"

// Reads the files of the ranges in `chain` (MergeChain's order) into `queue`
// in chunks of `chunkSize` bytes; a range read to its end is marked merged
// and its file deleted. Stops early when the queue is cancelled; finishes it
// when done.
void ReadBackRanges(const RangeTable& ranges, const std::vector<int>& chain, size_t chunkSize,
                    MergeQueue& queue);

// Appends the queued chunks to `target` behind its own bytes, counting them
// in the run's mergedBytes, until those reach the file's length. None when
// they did, or when the queue was cancelled; otherwise the error to report (a
// short append cancels the queue, so the reader stops too).
DownloadError AppendMerged(RangeTransfer& target, RangeRun& run, MergeQueue& queue, DownloadDelegate* delegate);
