#include "engine/storage/RecordCache.h"

#include <algorithm>
#include <utility>

#include "engine/storage/EngineMemory.h"
#include "engine/storage/IsamError.h"

namespace katalog {

TRecord::TRecord(std::size_t bufferSize) : buffer_(AllocateZeroed(bufferSize)) {}

void TRecord::Clear() {
  modified_ = false;
  pinCount_ = 0;
  computedEvaluated_ = false;
  number_ = 0;
  std::fill(buffer_.begin(), buffer_.end(), std::uint8_t{0});
  runMark_ = false;
}

TRecordCache::TRecordCache(std::size_t bufferSize, std::string fileName)
    : bufferSize_(bufferSize),
      fileName_(std::move(fileName)),
      baseCapacity_(CapacityFor(bufferSize)),
      capacity_(baseCapacity_) {}

int TRecordCache::CapacityFor(std::size_t bufferSize) {
  const std::size_t fitting = kRecordCacheBytes / std::max<std::size_t>(bufferSize, 1);
  const std::size_t capped = std::min<std::size_t>(fitting, kMaxRecordCacheBuffers);
  return static_cast<int>(std::max<std::size_t>(capped, 1));
}

void TRecordCache::RaiseExhausted() const {
  RaiseIsamError(ie::kRecordBuffersCorrupt, fileName_);
}

TRecord* TRecordCache::Find(std::int32_t n) const {
  if (n == 0) return nullptr;
  const auto found = byNumber_.find(n);
  return found == byNumber_.end() ? nullptr : found->second;
}

void TRecordCache::Touch(TRecord* record) {
  records_.splice(records_.begin(), records_, record->position_);
}

void TRecordCache::SetNumber(TRecord* record, std::int32_t n) {
  if (record->number_ == n) return;
  WithEngineMemory([&] {
    if (n != 0) {
      TRecord*& slot = byNumber_[n];
      if (slot) slot->number_ = 0;
      slot = record;
    }
    if (record->number_ != 0) byNumber_.erase(record->number_);
    record->number_ = n;
  });
}

TRecord* TRecordCache::CreateAtFront() {
  return WithEngineMemory([this] {
    TRecord& record = records_.emplace_front(bufferSize_);
    record.position_ = records_.begin();
    return &record;
  });
}

// Scans from the least recently used end for a buffer nobody holds on to.
TRecord* TRecordCache::ReuseLeastRecentlyUsed(std::size_t maxLook) {
  std::size_t looked = 0;
  for (auto it = records_.rbegin(); it != records_.rend() && looked++ < maxLook; ++it) {
    TRecord& record = *it;
    if (record.Pinned() || record.modified_ || record.runMark_) continue;
    SetNumber(&record, 0);
    record.Clear();
    Touch(&record);
    return &record;
  }
  return nullptr;
}

TRecord* TRecordCache::TakeFree() {
  if (Count() < capacity_) return CreateAtFront();
  // Under a table lock the buffers fill up with changes that cannot be written yet; looking
  // through all of them for every new record would make a long batch quadratic, so only the
  // oldest few are looked at before the cache grows.
  const std::size_t look = NoWrites() ? kLookUnderTableLock : records_.size();
  if (TRecord* record = ReuseLeastRecentlyUsed(look)) return record;
  if (!NoWrites()) {
    // Writing the modified buffers makes them reusable.
    if (flush_) flush_();
    if (TRecord* record = ReuseLeastRecentlyUsed(records_.size())) return record;
    RaiseExhausted();
  }
  // Nothing may be written yet, so the cache grows instead.
  capacity_ += kRecordCacheGrowth;
  return CreateAtFront();
}

void TRecordCache::Pin(TRecord* record) {
  if (record->pinCount_ >= kMaxRecordPins) RaiseExhausted();
  ++record->pinCount_;
}

void TRecordCache::Unpin(TRecord* record) {
  if (record->pinCount_ > 0) --record->pinCount_;
}

void TRecordCache::ForgetAll() {
  byNumber_.clear();
  for (TRecord& record : records_) {
    record.number_ = 0;
    record.pinCount_ = 0;
    record.modified_ = false;
    record.computedEvaluated_ = false;
    record.runMark_ = false;
  }
}

void TRecordCache::Trim() {
  capacity_ = baseCapacity_;
  auto it = records_.end();
  while (Count() > capacity_ && it != records_.begin()) {
    --it;
    TRecord& record = *it;
    if (record.Pinned() || record.modified_ || record.runMark_) continue;
    SetNumber(&record, 0);
    it = records_.erase(it);
  }
}

void TRecordCache::Preserve(std::int32_t n) {
  // The owner names each record once per change, so no mark is kept on the buffers.
  std::uint64_t unmarked = 0;
  undo_.Record(n, unmarked, [this, n](std::optional<TSaved>& before) {
    const TRecord* record = Find(n);
    if (!record) return before.reset();
    before = TSaved{record->buffer_, record->modified_, record->computedEvaluated_};
  });
}

void TRecordCache::RollBackChange(bool rewrite) {
  undo_.RollBack([&](std::int32_t n, std::optional<TSaved>& before) {
    TRecord* record = Find(n);
    if (!before) {
      if (!record) return;
      SetNumber(record, 0);
      record->Clear();
      return;
    }
    if (!record) {
      record = CreateAtFront();
      capacity_ = std::max(capacity_, Count());
      SetNumber(record, n);
    }
    record->buffer_ = std::move(before->Bytes);
    record->modified_ = before->Modified || rewrite;
    record->computedEvaluated_ = before->ComputedEvaluated;
    record->runMark_ = false;
  });
}

std::vector<TRecordRun> TRecordCache::ModifiedRuns() {
  return WithEngineMemory([this] {
    std::vector<TRecord*> writable;
    for (TRecord& record : records_) {
      if (record.modified_ && !record.Pinned() && !record.runMark_ && record.number_ != 0) {
        writable.push_back(&record);
      }
    }
    std::sort(writable.begin(), writable.end(),
              [](const TRecord* a, const TRecord* b) { return a->number_ < b->number_; });
    std::vector<TRecordRun> runs;
    for (TRecord* record : writable) {
      if (runs.empty() || record->number_ != runs.back().First + static_cast<std::int32_t>(
                                                                     runs.back().Records.size())) {
        runs.push_back({record->number_, {}});
      }
      runs.back().Records.push_back(record);
    }
    return runs;
  });
}

void TRecordCache::ClearModified(const TRecordRun& run) {
  for (TRecord* record : run.Records) record->modified_ = false;
}

std::vector<TRecord*> TRecordCache::InOrder() {
  return WithEngineMemory([this] {
    std::vector<TRecord*> order;
    order.reserve(records_.size());
    for (TRecord& record : records_) order.push_back(&record);
    return order;
  });
}

}  // namespace katalog
