// The record cache of an open table: TRecord, one cached record buffer, and TRecordCache, the
// list of those buffers, most recently used first.
//
// TRecordCache owns its buffers; TRecord pointers it hands out stay valid until the buffer is
// dropped by Trim() or the cache is destroyed (reuse keeps the object and its address).
//
// Capacity: min(131 070 div buffer size, 65 535) buffers, at least one. The list grows one
// buffer at a time up to the capacity, then buffers are recycled, least recently used first.
// Only a table locked by this handler lets the cache grow beyond it (by 1024 at a time), since
// then nothing may be written until the lock ends.
//
// Invariants: at most one buffer carries a given non-zero record number, and Find() knows every
// numbered buffer (numbers change only through SetNumber(), ForgetAll() and reuse); a pin count
// never exceeds kMaxRecordPins; every buffer is exactly BufferSize() bytes.
//
// The cache knows nothing of the data file: the owner installs a flush action (write the
// modified buffers, see ModifiedRuns()) and a query telling whether the table is locked.
//
// Inside a change (BeginChange to CommitChange) the cache writes nothing, as under a table lock,
// and the owner names each record before the change alters it (Preserve), so that
// RollBackChange can put the records back as they were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/storage/UndoLog.h"

namespace katalog {

// Most pins one buffer may carry; one more is error kRecordBuffersCorrupt.
inline constexpr int kMaxRecordPins = 64;
// The bytes of buffers the cache aims at, and its most buffers before any growth.
inline constexpr std::size_t kRecordCacheBytes = 131070;
inline constexpr int kMaxRecordCacheBuffers = 65535;
// Buffers added at once when the cache is exhausted under a table lock.
inline constexpr int kRecordCacheGrowth = 1024;

class TRecordCache;

// One cached record buffer: the record's bytes in memory (plain, never enciphered) and the marks
// the read and write paths keep on it. Number 0 means the buffer is unused.
class TRecord {
 public:
  TRecord(const TRecord&) = delete;
  TRecord& operator=(const TRecord&) = delete;

  std::int32_t Number() const { return number_; }
  int PinCount() const { return pinCount_; }
  bool Pinned() const { return pinCount_ > 0; }

  // Changed in memory and not yet written to the data file.
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }
  // The computed fields of the buffer hold their current values.
  bool ComputedFieldsEvaluated() const { return computedEvaluated_; }
  void SetComputedFieldsEvaluated(bool value) { computedEvaluated_ = value; }
  // Set on the buffers of the run being read, so that taking a free buffer for one record of
  // the run never reuses the buffer of another.
  bool RunMark() const { return runMark_; }
  void SetRunMark(bool value) { runMark_ = value; }

  std::uint8_t* Data() { return buffer_.data(); }
  const std::uint8_t* Data() const { return buffer_.data(); }
  std::size_t Size() const { return buffer_.size(); }

  // Public for the list's in-place construction only; buffers come from TRecordCache::TakeFree.
  explicit TRecord(std::size_t bufferSize);

 private:
  friend class TRecordCache;

  // Back to the state of a new buffer: unused, no marks, zero bytes.
  void Clear();

  bool modified_ = false;
  int pinCount_ = 0;
  bool computedEvaluated_ = false;
  std::int32_t number_ = 0;
  std::vector<std::uint8_t> buffer_;
  bool runMark_ = false;
  std::list<TRecord>::iterator position_;
};

// Modified buffers with consecutive record numbers, in ascending order: one seek and one write.
struct TRecordRun {
  std::int32_t First = 0;
  std::vector<TRecord*> Records;
};

class TRecordCache {
 public:
  // Writes the modified buffers (and clears their modified marks); called when no buffer is free.
  using TFlushAction = std::function<void()>;
  // Whether this handler holds the table lock; no query installed means not locked.
  using TTableLockedQuery = std::function<bool()>;

  // bufferSize: the working record-buffer size; fileName: named by the errors raised.
  TRecordCache(std::size_t bufferSize, std::string fileName);
  TRecordCache(const TRecordCache&) = delete;
  TRecordCache& operator=(const TRecordCache&) = delete;

  // The capacity a cache of buffers of this size starts with.
  static int CapacityFor(std::size_t bufferSize);

  void SetFlushAction(TFlushAction action) { flush_ = std::move(action); }
  void SetTableLockedQuery(TTableLockedQuery query) { tableLocked_ = std::move(query); }

  std::size_t BufferSize() const { return bufferSize_; }
  int Capacity() const { return capacity_; }
  int Count() const { return static_cast<int>(records_.size()); }

  // The buffer of record n, or nullptr when none is cached (always for n = 0). Does not touch.
  TRecord* Find(std::int32_t n) const;
  // Makes the buffer the most recently used.
  void Touch(TRecord* record);
  // Gives the buffer record number n (0: unused); a buffer that held n before loses it.
  void SetNumber(TRecord* record, std::int32_t n);

  // An unused, unpinned, cleared buffer at the front of the list (see the file comment);
  // kRecordBuffersCorrupt when none can be had.
  TRecord* TakeFree();

  // kRecordBuffersCorrupt beyond kMaxRecordPins pins (the count stays at the limit).
  void Pin(TRecord* record);
  // Unpinning an unpinned buffer does nothing.
  void Unpin(TRecord* record);

  // Every buffer becomes unused: number 0, no pins, no marks. The buffers stay allocated.
  void ForgetAll();
  // Back to the starting capacity: the growth under a table lock is given up and unpinned,
  // unmodified, unmarked buffers are dropped from the least recently used end until the count
  // fits. Buffers still in use stay, so the count may remain above the capacity for a while.
  void Trim();

  // The modified buffers that may be written now (not pinned, not run-marked), grouped into
  // runs of consecutive record numbers in ascending order. Nothing is cleared.
  std::vector<TRecordRun> ModifiedRuns();
  // Clears the modified mark of every buffer of the run, once it is written.
  static void ClearModified(const TRecordRun& run);

  void BeginChange() { undo_.Begin(); }
  // Keeps the state of record n (or that it is not cached) from before the change.
  void Preserve(std::int32_t n);
  void CommitChange() { undo_.Commit(); }
  // Puts back every preserved record (pins stay with their holders; a record that was not cached
  // is dropped); with `rewrite` the restored ones are marked modified, so that the next flush
  // writes them over whatever the change wrote.
  void RollBackChange(bool rewrite);

  // The buffers, most recently used first.
  std::vector<TRecord*> InOrder();

 private:
  [[noreturn]] void RaiseExhausted() const;
  TRecord* CreateAtFront();
  TRecord* ReuseLeastRecentlyUsed(std::size_t maxLook);
  static constexpr std::size_t kLookUnderTableLock = 64;
  // Under a table lock and inside a change the modified buffers cannot be written yet.
  bool NoWrites() const { return (tableLocked_ && tableLocked_()) || undo_.Active(); }
  struct TSaved {
    std::vector<std::uint8_t> Bytes;
    bool Modified;
    bool ComputedEvaluated;
  };

  std::size_t bufferSize_;
  std::string fileName_;
  int baseCapacity_;
  int capacity_;
  std::list<TRecord> records_;
  std::unordered_map<std::int32_t, TRecord*> byNumber_;
  TFlushAction flush_;
  TTableLockedQuery tableLocked_;
  TUndoLog<std::int32_t, TSaved> undo_;
};

// Holds one pin on a buffer (or none) and gives it back when it goes.
class TPinnedRecord {
 public:
  // Takes over the pin already taken on `record`.
  TPinnedRecord(TRecordCache& cache, TRecord* record) : cache_(cache), record_(record) {}
  ~TPinnedRecord() { Reset(nullptr); }
  TPinnedRecord(const TPinnedRecord&) = delete;
  TPinnedRecord& operator=(const TPinnedRecord&) = delete;

  TRecord* Get() const { return record_; }
  // Gives back the pin held and takes over the one already taken on `record`.
  void Reset(TRecord* record) {
    if (record_) cache_.Unpin(record_);
    record_ = record;
  }

 private:
  TRecordCache& cache_;
  TRecord* record_;
};

}  // namespace katalog
