// The ranges of one segmented run by id, under a lock of their own: a split
// adds a range while other threads look ranges up.
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/range_plan.h"
#include "download/range_transfer.h"

class RangeTable {
 public:
  void Add(int id, std::shared_ptr<RangeTransfer> range);
  // Null when there is no range `id`.
  std::shared_ptr<RangeTransfer> Find(int id) const;
  int Count() const;
  std::vector<RangeProgress> Snapshot() const;
  // The files of every range but range 0 (the target).
  std::vector<std::wstring> RangeFiles() const;
  // Closes every range's file and releases its handle, then forgets them.
  void ReleaseAll();

 private:
  mutable std::mutex tableLock;
  std::map<int, std::shared_ptr<RangeTransfer>> ranges;  // guarded by tableLock
};
