// The byte-range lock protocol by which several programs share one table. Every program that
// opens the same files uses these offsets; they lie beyond any real data.
//
//   file              purpose                        offset                      length
//   data file         write lock / table lock        0x7FFFFFFF                  1
//   data file         lock of record n (1..1e8)      0x7FFFFFFE - n              1
//   index, blob file  read slot r (1..65534, random) 0x7FFFFFFF - r              1
//   index, blob file  write range                    0x7FFF0000                  65 535
//
// The write range covers every read slot, so one writer excludes all readers and any reader
// excludes a writer, while readers (on different slots) coexist.
//
// TDataFileLocks and TPageFileLocks take these locks on one file handler with the retry policy
// and remember what they hold (a held lock is not taken again). They do not own the handler,
// which must outlive them; when the handler closes, its locks go and Forget() clears the marks.
#pragma once

#include <cstdint>
#include <list>
#include <unordered_map>
#include <vector>

#include "engine/storage/FileHandler.h"

namespace katalog {

inline constexpr std::uint32_t kDataWriteLockOffset = 0x7FFFFFFF;
inline constexpr std::uint32_t kRecordLockBase = 0x7FFFFFFE;
inline constexpr std::uint32_t kMaxLockableRecord = 100000000;
inline constexpr std::uint32_t kReadSlotBase = 0x7FFFFFFF;
inline constexpr std::uint32_t kReadSlotCount = 65534;
inline constexpr std::uint32_t kWriteRangeOffset = 0x7FFF0000;
inline constexpr std::uint32_t kWriteRangeLength = 65535;

// How often and how long a refused write, read or table lock is tried again.
struct TLockRetryPolicy {
  std::uint32_t MaxWaits = 8192;  // so at most MaxWaits + 1 attempts
  std::uint32_t WaitMilliseconds = 3;
};

class TDataFileLocks {
 public:
  explicit TDataFileLocks(TFileHandler& file, TLockRetryPolicy policy = {})
      : file_(file), policy_(policy) {}

  // The write lock (also the table lock); the wait polls the millisecond tick.
  bool AcquireWriteLock();
  bool ReleaseWriteLock();
  bool WriteLockHeld() const { return writeLockHeld_; }

  // Tries the lock byte of record n up to retryCount + 1 times, waiting waitMilliseconds between
  // attempts. Records beyond the lockable numbers are refused.
  bool LockRecord(std::uint32_t n, int retryCount, std::uint32_t waitMilliseconds);
  bool UnlockRecord(std::uint32_t n);
  bool RecordLocked(std::uint32_t n) const;
  // The records locked, in the order they were locked.
  std::vector<std::uint32_t> LockedRecords() const {
    return {lockedRecords_.begin(), lockedRecords_.end()};
  }
  // Releases every record lock; false when one could not be released.
  bool UnlockAllRecords();

  void Forget();

 private:
  TFileHandler& file_;
  TLockRetryPolicy policy_;
  bool writeLockHeld_ = false;
  // In locking order, with an index by record number: an update batch holds every record it
  // wrote, and finding one must not cost a walk through all of them.
  std::list<std::uint32_t> lockedRecords_;
  std::unordered_map<std::uint32_t, std::list<std::uint32_t>::iterator> lockedIndex_;
};

class TPageFileLocks {
 public:
  explicit TPageFileLocks(TFileHandler& file, TLockRetryPolicy policy = {})
      : file_(file), policy_(policy) {}

  // A read slot chosen at random, a fresh one for every attempt; the wait sleeps.
  bool AcquireRead();
  bool ReleaseRead();
  bool ReadHeld() const { return readSlot_ != 0; }
  std::uint32_t ReadSlot() const { return readSlot_; }

  bool AcquireWrite();
  bool ReleaseWrite();
  bool WriteHeld() const { return writeHeld_; }

  void Forget();

 private:
  TFileHandler& file_;
  TLockRetryPolicy policy_;
  std::uint32_t readSlot_ = 0;
  bool writeHeld_ = false;
};

}  // namespace katalog
