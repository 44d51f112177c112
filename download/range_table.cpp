#include "download/range_table.h"

#include <utility>

void RangeTable::Add(int id, std::shared_ptr<RangeTransfer> range) {
  std::lock_guard<std::mutex> guard(tableLock);
  ranges[id] = std::move(range);
}

std::shared_ptr<RangeTransfer> RangeTable::Find(int id) const {
  std::lock_guard<std::mutex> guard(tableLock);
  auto it = ranges.find(id);
  return it == ranges.end() ? nullptr : it->second;
}

int RangeTable::Count() const {
  std::lock_guard<std::mutex> guard(tableLock);
  return static_cast<int>(ranges.size());
}

std::vector<RangeProgress> RangeTable::Snapshot() const {
  std::lock_guard<std::mutex> guard(tableLock);
  std::vector<RangeProgress> view;
  view.reserve(ranges.size());
  for (const auto& entry : ranges) view.push_back(entry.second->Snapshot(entry.first));
  return view;
}

std::vector<std::wstring> RangeTable::RangeFiles() const {
  std::lock_guard<std::mutex> guard(tableLock);
  std::vector<std::wstring> files;
  for (const auto& entry : ranges) {
    if (entry.first != 0) files.push_back(entry.second->path);
  }
  return files;
}

void RangeTable::ReleaseAll() {
  std::map<int, std::shared_ptr<RangeTransfer>> released;
  {
    std::lock_guard<std::mutex> guard(tableLock);
    released.swap(ranges);
  }
  for (auto& entry : released) entry.second->Release();
}
