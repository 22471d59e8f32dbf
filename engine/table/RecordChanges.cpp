// TDataFile's changes: write access and the record and table locks, inserting, changing and
// deleting records with their keys and blobs, update batches, and writing what changed.
#include <cstring>

#include "engine/storage/IsamError.h"
#include "engine/table/ChangeScope.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"
#include "platform/ExceptionReporter.h"
#include "platform/ScopeGuard.h"

namespace katalog {
void TDataFile::WriteModifiedRecords() {
  const std::int32_t size = header_.RecordSize;
  for (const TRecordRun& run : cache_->ModifiedRuns()) {
    std::vector<std::uint8_t> bytes(run.Records.size() * static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < run.Records.size(); ++i) {
      std::memcpy(bytes.data() + i * size, run.Records[i]->Data(), size);
    }
    WriteSlots(run.First, static_cast<std::int32_t>(run.Records.size()), bytes.data());
    TRecordCache::ClearModified(run);
  }
}

void TDataFile::WriteEverything(THeaderWrite header, TCacheTrim trim) {
  if (ReadOnly()) return;
  WriteModifiedRecords();
  WriteHeader(header == THeaderWrite::Always);
  if (trim == TCacheTrim::Trim) cache_->Trim();
  store_.Flush();
  if (blobFile_.IsOpen()) {
    blobFile_.Blocks().Flush();
    blobFile_.WriteHeader();
  }
}

// Writes what the table lock (or an exclusive open) kept in memory, holding the index and blob
// write ranges as a single change does, so that readers never see a half-written tree or chain.
void TDataFile::WriteHeldChanges(TCacheTrim trim) {
  const bool held = writeAccess_;
  AcquireWriteAccess();
  const platform::TScopeExit release([&] {
    if (!held) ReleaseWriteAccess();
  });
  WriteEverything(THeaderWrite::Always, trim);
}

// A change kept in memory needs no locks of its own: under the table lock no other program
// writes, readers go on reading the files, which the change does not touch, and
// WriteHeldChanges takes the write ranges when it writes. Only a change written at its end
// takes write access; the table lock's change check already ran when the lock was taken.
void TDataFile::AcquireChangeAccess() {
  if (WritesEachChange()) AcquireWriteAccess();
}

void TDataFile::AcquireWriteAccess() {
  if (writeAccess_ || Exclusive() || ReadOnlyMedia()) return;
  ReleaseReadAccess();  // a read slot would stand in the way of this handler's own write range
  if (!tableLocked_ && !locks_.AcquireWriteLock()) Raise(ie::kLockFailure);
  const bool blob = blobFile_.IsOpen();
  if (!indexFile_.Locks().AcquireWrite() || (blob && !blobFile_.Locks().AcquireWrite())) {
    indexFile_.Locks().ReleaseWrite();
    if (!tableLocked_) locks_.ReleaseWriteLock();
    Raise(ie::kLockFailure);
  }
  writeAccess_ = true;
  if (!tableLocked_) {
    readAccess_ = false;
    if (ChangeCheck()) {
      // Fresh headers and pages: the change goes on from them.
    }
  }
}

void TDataFile::ReleaseWriteAccess() {
  if (!writeAccess_) return;
  writeAccess_ = false;
  const bool blob = !blobFile_.IsOpen() || blobFile_.Locks().ReleaseWrite();
  const bool index = indexFile_.Locks().ReleaseWrite();
  const bool data = tableLocked_ || locks_.ReleaseWriteLock();
  if (!blob || !index || !data) Raise(ie::kLockFailure);
}

void TDataFile::CheckWritable() const {
  if (ReadOnly()) Raise(ie::kAccessDenied);
}

std::vector<int> TDataFile::MaintainedSlots() const {
  std::vector<int> slots;
  if (!indexFile_.NoPrimaryIndex()) slots.push_back(kPrimarySlot);
  for (int slot = 1; slot <= indexFile_.SecondaryCount(); ++slot) slots.push_back(slot);
  return slots;
}

std::vector<std::uint8_t> TDataFile::KeyOf(int slot, const std::uint8_t* record) const {
  std::vector<std::uint8_t> key(indexFile_.Descriptor(slot).KeyLength);
  BuildKey(KeyContextFor(slot), record, key.data());
  return key;
}

// A record with a null key field may have its entry in either form of null slot (Keys.h): the
// one this engine writes, or the one other writers leave. The other is looked for only when it
// differs and the first is not there.
std::vector<std::uint8_t> TDataFile::EntryKeyOf(int slot, const std::uint8_t* record) {
  std::vector<std::uint8_t> key = KeyOf(slot, record);
  std::vector<std::uint8_t> stored(key.size());
  BuildKey(KeyContextFor(slot), record, stored.data(), TNullSlots::StoredBytes);
  if (stored == key) return key;
  TIndexTree tree(store_, slot);
  return !tree.Exists(key.data()) && tree.Exists(stored.data()) ? stored : key;
}

void TDataFile::BatchFirstWrite() {
  if (!batchActive_ || tableLocked_) return;
  if (Exclusive()) {
    WriteEverything(THeaderWrite::IfChanged, TCacheTrim::Keep);
    Flush();
    indexFile_.Flush();
    if (blobFile_.IsOpen()) blobFile_.Flush();
  }
  LockTable();
}

// A new record, in three steps: everything that can refuse it (validity, duplicate keys, the
// chosen slot, the table's limits) is checked first; then the record, its keys and its blobs go
// in under a change scope, which takes all of it back if a later step fails; last the cursor
// learns of it.
void TDataFile::Insert(std::uint8_t* record, TChangeOptions options) {
  TOperation operation(*this);
  CheckWritable();
  BatchFirstWrite();
  AcquireChangeAccess();
  // The identifier the record was given (SetKeepRecordIds), else 0: the next one.
  const std::int32_t given = keepRecordIds_ ? LoadI32(record + kRecordIdOffset) : 0;
  const std::int32_t n = ChooseSlot();
  bool locked = false;
  {
    const platform::TScopeFail abandon([&] { AbandonChange(locked ? n : 0); });
    // Under the table lock the new record stays in memory until the lock ends and no other
    // program can change the table, so there is nothing its record lock would guard.
    if (!tableLocked_) {
      LockRecord(n);
      locked = true;
    }
    if (hasValidityChecks_) values_->CheckValidity(physicalFields_, record);
    record[0] = 0;
    StoreI32(record + 1, n);
    if (given == 0) {
      StoreI32(record + 5, header_.LastRecordId == kMaxRecordId ? 1 : header_.LastRecordId + 1);
    }
    const std::vector<int> slots = MaintainedSlots();
    std::vector<std::vector<std::uint8_t>> keys;
    for (int slot : slots) {
      keys.push_back(KeyOf(slot, record));
      TIndexTree(store_, slot).CheckDuplicate(keys.back().data());
    }
    const bool reused = n != header_.NextRecordNumber;
    if (!reused && !CanAppend()) Raise(ie::kTableFull);
    TPinnedRecord slot(*cache_, reused ? FreeSlot(n) : nullptr);
    TRecord* buffer = slot.Get();
    {
      TChangeScope change(*this);
      cache_->Preserve(n);
      for (std::size_t i = 0; i < slots.size(); ++i) {
        TIndexTree(store_, slots[i]).Insert(keys[i].data(), n);
      }
      if (!indexFile_.NoPrimaryIndex()) {
        std::uint8_t newKey[kDeletedKeyLength];
        BuildDeletedKey(record, newKey);
        TIndexTree deleted(store_, kDeletedSlot);
        if (reused) {
          std::uint8_t oldKey[kDeletedKeyLength];
          BuildDeletedKey(buffer->Data(), oldKey);
          deleted.Replace(oldKey, newKey, n);
        } else {
          deleted.Insert(newKey, n);
        }
      }
      if (reused) {
        TakeSlot(n, buffer->Data());  // unlinks it from the free chain
      } else {
        buffer = GetBuffer(n, 1, TDirection::Forward).record;  // appends the slot, pinned
        slot.Reset(buffer);
      }
      std::uint8_t* data = buffer->Data();
      std::memset(data, 0, WorkingRecordSize());
      // The header's last identifier follows the one record + 5 holds.
      if (given == 0) {
        static_cast<void>(IssueRecordId());  // the one record + 5 holds already
      } else if (given > header_.LastRecordId) {
        header_.LastRecordId = given;
        MarkHeaderChanged();
      }
      StoreI32(data + 1, n);
      std::memcpy(data + kSlotHeaderSize, record + kSlotHeaderSize,
                  WorkingRecordSize() - kSlotHeaderSize);
      StoreI32(data + 5, LoadI32(record + 5));
      AttachBlobs(n, data);
      buffer->SetModified(true);
      slot.Reset(nullptr);  // a pinned buffer is not written
      indexFile_.IncrementRecordCount();
      WriteChange(change);
    }
    cursor_.RecordWritten(n, buffer->Data());
    FinishChange(n);
  }
  Reposition(options.Reposition, n);
}

// The slot at the head of the chain of deleted slots, pinned; the header may name anything
// there, and a slot that is not a deleted one would overwrite a live record: kHeaderCorrupt.
TRecord* TDataFile::FreeSlot(std::int32_t n) {
  if (n < 1 || n >= header_.NextRecordNumber) Raise(ie::kHeaderCorrupt);
  TBuffer slot;
  do {
    slot = GetBuffer(n, 1, TDirection::Forward);
  } while (slot.retry);
  if (slot.record->Data()[0] != 1) {
    cache_->Unpin(slot.record);
    Raise(ie::kHeaderCorrupt);
  }
  return slot.record;
}

void TDataFile::Update(std::uint8_t* record, TChangeOptions options) {
  TOperation operation(*this);
  CheckWritable();
  BatchFirstWrite();
  if (!current_) Raise(ie::kRecordNotFound);
  const std::int32_t n = current_->Number();
  const std::int32_t id = LoadI32(current_->Data() + kRecordIdOffset);
  AcquireChangeAccess();
  {
    const platform::TScopeFail abandon([&] { AbandonChange(0); });
    KeepCurrent(n, id);
    if (hasValidityChecks_) values_->CheckValidity(physicalFields_, record);
    std::memcpy(record, current_->Data(), kSlotHeaderSize);
    const std::vector<int> slots = MaintainedSlots();
    std::vector<std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>>> changes;
    for (int slot : slots) {
      auto oldKey = EntryKeyOf(slot, current_->Data());
      auto newKey = KeyOf(slot, record);
      if (oldKey != newKey) TIndexTree(store_, slot).CheckDuplicate(newKey.data());
      changes.emplace_back(std::move(oldKey), std::move(newKey));
    }
    TRecord* buffer = current_;
    {
      TChangeScope change(*this);
      cache_->Preserve(n);
      for (std::size_t i = 0; i < slots.size(); ++i) {
        if (changes[i].first != changes[i].second) {
          TIndexTree(store_, slots[i])
              .Replace(changes[i].first.data(), changes[i].second.data(), n);
        }
      }
      std::memcpy(buffer->Data() + kSlotHeaderSize, record + kSlotHeaderSize,
                  WorkingRecordSize() - kSlotHeaderSize);
      AttachBlobs(n, buffer->Data());
      buffer->SetModified(true);
      ReleaseCurrent();  // a pinned buffer is not written
      WriteChange(change);
    }
    cursor_.RecordWritten(n, buffer->Data());
    FinishChange(options.Unlock ? n : 0);
  }
  Reposition(options.Reposition, n);
}

// The change is in memory: the batch notes it; unless the table keeps its changes in memory
// (exclusive, on read-only media, or locked) everything is written now, under the write access
// the change holds. Then nothing of it goes back.
void TDataFile::WriteChange(TChangeScope& change) {
  if (WritesEachChange()) {
    change.Writing();
    WriteEverything(THeaderWrite::Always, TCacheTrim::Keep);
  }
  change.Commit();
}

// The end of a change that went through: the record lock (when `unlock` is not 0) and write
// access are given back.
void TDataFile::FinishChange(std::int32_t unlock) {
  if (unlock != 0) UnlockRecord(unlock);
  ReleaseWriteAccess();
}

// The error path of a change: gives back the record lock (when `locked` is not 0) and write
// access; a failure there is reported, the original error goes on.
void TDataFile::AbandonChange(std::int32_t locked) noexcept {
  platform::RunReported([&] {
    if (locked != 0) UnlockRecord(locked);
  });
  platform::RunReported([this] { ReleaseWriteAccess(); });
}

// Write access may have found another program's change and dropped the current record: the
// change goes on only when slot n still holds the same live record (identifier `id`), else
// kRecordNotFound.
void TDataFile::KeepCurrent(std::int32_t n, std::int32_t id) {
  if (current_ && current_->Number() == n) return;
  ReleaseCurrent();
  TBuffer buffer;
  do {
    buffer = GetBuffer(n, 1, TDirection::Forward);
  } while (buffer.retry);
  const std::uint8_t* data = buffer.record->Data();
  if (data[0] != 0 || LoadI32(data + kRecordIdOffset) != id) {
    cache_->Unpin(buffer.record);
    Raise(ie::kRecordNotFound);
  }
  current_ = buffer.record;
}

void TDataFile::Delete(TChangeOptions /*options*/) {
  TOperation operation(*this);
  CheckWritable();
  BatchFirstWrite();
  if (!current_) Raise(ie::kRecordInUse);
  const std::int32_t n = current_->Number();
  const std::int32_t id = LoadI32(current_->Data() + kRecordIdOffset);
  AcquireChangeAccess();
  bool locked = false;
  {
    const platform::TScopeFail abandon([&] { AbandonChange(locked ? n : 0); });
    KeepCurrent(n, id);
    LockRecord(n);
    locked = true;
    TRecord* buffer = current_;
    std::uint8_t* data = buffer->Data();
    const std::vector<std::int32_t> chains = BlobChains(n, data);  // a damaged one refuses here
    {
      TChangeScope change(*this);
      cache_->Preserve(n);
      for (int slot : MaintainedSlots()) {
        TIndexTree(store_, slot).Delete(EntryKeyOf(slot, data).data());
      }
      if (!indexFile_.NoPrimaryIndex()) {
        std::uint8_t oldKey[kDeletedKeyLength];
        BuildDeletedKey(data, oldKey);
        std::uint8_t newKey[kDeletedKeyLength];
        std::copy_n(oldKey, kDeletedKeyLength, newKey);
        newKey[0] = 1;
        TIndexTree(store_, kDeletedSlot).Replace(oldKey, newKey, n);
      }
      for (std::int32_t first : chains) blobFile_.ReleaseChain(first, n);
      DeleteSlot(n, data);
      buffer->SetModified(true);
      indexFile_.DecrementRecordCount();
      ReleaseCurrent();  // a pinned buffer is not written
      WriteChange(change);
    }
    cursor_.RecordDeleted(n);
    cursor_.SettleAfterDelete();
    FinishChange(n);
  }
  // The deleted record has no position: the cursor stays on the record that took its place, so
  // Reposition does not apply, and the lock was taken for the change alone, so Unlock does not.
  Reposition(false, 0);
}

void TDataFile::LockRecord(std::int32_t n) {
  if (n == 0) {
    if (!current_) Raise(ie::kRecordInUse);
    n = current_->Number();
  }
  if (Exclusive() || ReadOnlyMedia()) return;
  if (!strictChangeDetection_) AcquireReadAccess();
  if (locks_.RecordLocked(n)) return;
  if (!locks_.LockRecord(static_cast<std::uint32_t>(n), lockRetryCount_, lockWaitTime_)) {
    Raise(ie::kRecordInUse);
  }
}

void TDataFile::UnlockRecord(std::int32_t n) {
  if (n == 0) {
    if (!current_) Raise(ie::kUnlockFailed);
    n = current_->Number();
  }
  if (tableLocked_ || Exclusive() || ReadOnlyMedia() || !locks_.RecordLocked(n)) return;
  if (!locks_.UnlockRecord(static_cast<std::uint32_t>(n))) Raise(ie::kUnlockFailed);
}

void TDataFile::LockTable() {
  if (ReadOnlyMedia() || tableLocked_) return;
  ReleaseReadAccess();
  if (!Exclusive() && !locks_.AcquireWriteLock()) Raise(ie::kLockFailure);
  tableLocked_ = true;
  store_.SetTableLocked(true);
  store_.SetToleratesShortReads(true);
  blobFile_.Blocks().SetTableLocked(true);
  blobFile_.Blocks().SetToleratesShortReads(true);
  if (!Exclusive()) ChangeCheck();
}

void TDataFile::UnlockTable() {
  if (ReadOnlyMedia() || !tableLocked_) return;
  // Changes made under the table lock were kept in memory: they go to the files before others
  // may look.
  if (!ReadOnly()) {
    const std::int32_t n = CurrentRecordNumber();
    ReleaseCurrent();
    WriteHeldChanges(TCacheTrim::Trim);
    if (n != 0) Reposition(true, n);
  }
  tableLocked_ = false;
  store_.SetTableLocked(false);
  store_.SetToleratesShortReads(Exclusive());
  blobFile_.Blocks().SetTableLocked(false);
  blobFile_.Blocks().SetToleratesShortReads(Exclusive());
  if (!Exclusive() && !locks_.ReleaseWriteLock()) Raise(ie::kLockFailure);
  if (!Exclusive() && !locks_.UnlockAllRecords()) Raise(ie::kUnlockFailed);
}

void TDataFile::BeginBatch() {
  if (ReadOnly()) return;
  batchActive_ = true;
}

// Ending the table lock writes what the batch kept in memory. The caches stay: they hold what
// was just written, and the next lock's change check drops them if another program writes
// meanwhile.
void TDataFile::EndBatch() {
  if (!batchActive_) return;
  batchActive_ = false;
  UnlockTable();
}

}  // namespace katalog
