#include "engine/storage/TableLocks.h"

#include <unistd.h>

#include <algorithm>
#include <random>

#include "platform/Clock.h"

namespace katalog {
namespace {

std::uint32_t RandomReadSlot() {
  thread_local std::minstd_rand generator(std::random_device{}() ^
                                          static_cast<std::uint32_t>(::getpid()));
  return std::uniform_int_distribution<std::uint32_t>(1, kReadSlotCount)(generator);
}

// Runs attempt up to maxWaits + 1 times, calling wait between attempts.
template <class Attempt, class Wait>
bool Retry(std::uint32_t maxWaits, Attempt attempt, Wait wait) {
  for (std::uint32_t waits = 0;; ++waits) {
    if (attempt()) return true;
    if (waits == maxWaits) return false;
    wait();
  }
}

}  // namespace

bool TDataFileLocks::AcquireWriteLock() {
  if (writeLockHeld_) return true;
  writeLockHeld_ = Retry(
      policy_.MaxWaits, [&] { return file_.LockRegion(kDataWriteLockOffset, 1); },
      [&] { platform::WaitUntilTickPasses(platform::TickCount(), policy_.WaitMilliseconds); });
  return writeLockHeld_;
}

bool TDataFileLocks::ReleaseWriteLock() {
  if (!writeLockHeld_) return true;
  if (!file_.UnlockRegion(kDataWriteLockOffset, 1)) return false;
  writeLockHeld_ = false;
  return true;
}

bool TDataFileLocks::LockRecord(std::uint32_t n, int retryCount, std::uint32_t waitMilliseconds) {
  if (RecordLocked(n)) return true;
  if (n < 1 || n > kMaxLockableRecord) return false;
  const bool locked = Retry(
      static_cast<std::uint32_t>(std::max(retryCount, 0)),
      [&] { return file_.LockRegion(kRecordLockBase - n, 1); },
      [&] { platform::WaitUntilTickPasses(platform::TickCount(), waitMilliseconds); });
  if (locked) lockedIndex_[n] = lockedRecords_.insert(lockedRecords_.end(), n);
  return locked;
}

bool TDataFileLocks::UnlockRecord(std::uint32_t n) {
  const auto it = lockedIndex_.find(n);
  if (it == lockedIndex_.end()) return true;
  if (!file_.UnlockRegion(kRecordLockBase - n, 1)) return false;
  lockedRecords_.erase(it->second);
  lockedIndex_.erase(it);
  return true;
}

bool TDataFileLocks::RecordLocked(std::uint32_t n) const {
  return lockedIndex_.count(n) != 0;
}

bool TDataFileLocks::UnlockAllRecords() {
  bool all = true;
  for (const std::uint32_t n : LockedRecords()) {
    all = UnlockRecord(n) && all;
  }
  return all;
}

void TDataFileLocks::Forget() {
  writeLockHeld_ = false;
  lockedRecords_.clear();
  lockedIndex_.clear();
}

bool TPageFileLocks::AcquireRead() {
  if (readSlot_ != 0) return true;
  std::uint32_t slot = 0;
  const bool locked = Retry(
      policy_.MaxWaits,
      [&] {
        slot = RandomReadSlot();
        return file_.LockRegion(kReadSlotBase - slot, 1);
      },
      [&] { platform::Sleep(policy_.WaitMilliseconds); });
  if (locked) readSlot_ = slot;
  return locked;
}

bool TPageFileLocks::ReleaseRead() {
  if (readSlot_ == 0) return true;
  if (!file_.UnlockRegion(kReadSlotBase - readSlot_, 1)) return false;
  readSlot_ = 0;
  return true;
}

bool TPageFileLocks::AcquireWrite() {
  if (writeHeld_) return true;
  writeHeld_ = Retry(
      policy_.MaxWaits, [&] { return file_.LockRegion(kWriteRangeOffset, kWriteRangeLength); },
      [&] { platform::Sleep(policy_.WaitMilliseconds); });
  return writeHeld_;
}

bool TPageFileLocks::ReleaseWrite() {
  if (!writeHeld_) return true;
  if (!file_.UnlockRegion(kWriteRangeOffset, kWriteRangeLength)) return false;
  writeHeld_ = false;
  return true;
}

void TPageFileLocks::Forget() {
  readSlot_ = 0;
  writeHeld_ = false;
}

}  // namespace katalog
