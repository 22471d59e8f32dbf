// TDataFile's record operations: the record cache and the read path, navigation, change
// detection, locks, and inserting, changing and deleting records with their keys.
#include <algorithm>
#include <cstring>

#include "engine/storage/Cipher.h"
#include "engine/storage/DataFile.h"
#include "engine/storage/FileSession.h"
#include "engine/storage/IsamError.h"
#include "platform/ByteOrder.h"
#include "platform/ExceptionReporter.h"

namespace katalog {

namespace {

// Records read in one request: at most this many bytes.
constexpr std::int32_t kReadAheadBytes = 32767;
constexpr std::int32_t kMaxRecordId = 0x7FFFFFFF;

}  // namespace

void TDataFile::InitialiseRecordAccess() {
  cache_ = std::make_unique<TRecordCache>(WorkingRecordSize(), FileName());
  cache_->SetFlushAction([this] { WriteModifiedRecords(); });
  cache_->SetTableLockedQuery([this] { return tableLocked_; });
  values_ = std::make_unique<TRecordValues>(LocaleId(), FileName());
  store_.SetKeyContextSource([this](int slot) { return KeyContextFor(slot); });
  store_.SetMissHandler([this] {
    // A page is about to be read from disk: first make sure the cache is still good.
    return !strictChangeDetection_ && AcquireReadAccess();
  });
  store_.SetToleratesShortReads(Exclusive());
  blobFile_.Blocks().SetMissHandler(
      [this] { return !strictChangeDetection_ && AcquireReadAccess(); });
  blobFile_.Blocks().SetToleratesShortReads(Exclusive());
  cursor_.SetPhysicalRecordsSource([this] { return header_.NextRecordNumber - 1; });
  cursor_.Visibility().SetStatusScan([this](TRecordBitmap& active) { ScanStatus(active); });
  TOperation operation(*this);
  cursor_.Open();
}

void TDataFile::SetStrictChangeDetection(bool value) {
  if (IsOpen() && value != strictChangeDetection_) Raise(ie::kFileInUse);
  strictChangeDetection_ = value;
}

// The change check: another program's write shows in the index file's or the data file's change
// counter (or the blob file's). Everything cached is then dropped.
bool TDataFile::ChangeCheck() {
  bool changed = indexFile_.ReReadHeaderIfChanged();
  if (changed || ReadChangeCounter() != header_.ChangeCounter) {
    ReadHeader();
    if (blobFile_.IsOpen()) blobFile_.ReReadHeaderIfChanged();
    changed = true;
  } else if (blobFile_.IsOpen() && blobFile_.ReReadHeaderIfChanged()) {
    return true;
  }
  if (changed) ReloadAfterChange();
  return changed;
}

void TDataFile::ReloadAfterChange() {
  store_.Invalidate();
  if (blobFile_.IsOpen()) blobFile_.Blocks().Invalidate();
  cache_->ForgetAll();
  current_ = nullptr;
  cursor_.Invalidated();
}

void TDataFile::ScanStatus(TRecordBitmap& active) {
  if (!ReadOnly()) WriteModifiedRecords();
  const std::int32_t records = header_.NextRecordNumber - 1;
  const std::int32_t size = header_.RecordSize;
  const std::int32_t chunk = std::max(kReadAheadBytes / size, 1);
  std::vector<std::uint8_t> slots(static_cast<std::size_t>(chunk) * size);
  for (std::int32_t first = 1; first <= records; first += chunk) {
    const std::int32_t count = std::min(chunk, records - first + 1);
    const std::int32_t read = ReadSlots(first, count, slots.data(), true);
    for (std::int32_t i = 0; i < count; ++i) {
      const TRecord* cached = cache_->Find(first + i);
      const std::uint8_t status = cached ? cached->Data()[0] : (i < read ? slots[i * size] : 0);
      if (status != 0) active.Clear(first + i);
    }
  }
}

// Reads `count` slots from `first` and puts each into a buffer, the far end first and n last,
// so that n is the most recently used; buffers that are pinned or modified keep their content.
void TDataFile::FillRun(std::int32_t first, std::int32_t count, std::int32_t n) {
  const std::int32_t size = header_.RecordSize;
  std::vector<std::uint8_t> slots(static_cast<std::size_t>(count) * size);
  const bool tolerate = Exclusive() || tableLocked_;
  const std::int32_t read = ReadSlots(first, count, slots.data(), tolerate);
  std::vector<TRecord*> marked;
  const bool forward = first == n;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int32_t number = forward ? first + count - 1 - i : first + i;
    const std::int32_t at = number - first;
    if (at >= read) continue;
    TRecord* record = cache_->Find(number);
    if (record && (record->Pinned() || record->Modified())) continue;
    if (!record) {
      record = cache_->TakeFree();
      cache_->SetNumber(record, number);
    }
    std::memcpy(record->Data(), slots.data() + static_cast<std::size_t>(at) * size, size);
    if (record->Data()[0] == 0) StoreI32(record->Data() + 1, number);
    cache_->Touch(record);
    record->SetRunMark(true);
    marked.push_back(record);
  }
  for (TRecord* record : marked) record->SetRunMark(false);
}

TDataFile::TBuffer TDataFile::GetBuffer(std::int32_t n, std::int32_t run, bool forward) {
  if (n <= 0) return {};
  if (n == header_.NextRecordNumber) {
    TakeSlot(n, nullptr);
    TRecord* record = cache_->TakeFree();
    cache_->SetNumber(record, n);
    cache_->Pin(record);
    return {record, false};
  }
  if (TRecord* cached = cache_->Find(n)) {
    cache_->Pin(cached);
    cache_->Touch(cached);
    return {cached, false};
  }
  if (!strictChangeDetection_ && AcquireReadAccess()) return {nullptr, true};
  if (n >= header_.NextRecordNumber) Raise(ie::kRecordNotFound);
  const std::int32_t limit = std::max(kReadAheadBytes / header_.RecordSize, 1);
  std::int32_t count = std::clamp(run, 1, limit);
  if (forward) {
    count = std::min(count, header_.NextRecordNumber - n);
    FillRun(n, count, n);
  } else {
    count = std::min(count, n);
    FillRun(n - count + 1, count, n);
  }
  TRecord* record = cache_->Find(n);
  if (!record) Raise(ie::kReadError);
  cache_->Pin(record);
  return {record, false};
}

void TDataFile::ReleaseCurrent() {
  if (current_) cache_->Unpin(current_);
  current_ = nullptr;
}

void TDataFile::LoadCurrent(std::int32_t run, bool forward) {
  ReleaseCurrent();
  for (;;) {
    if (cursor_.Bof() || cursor_.Eof() || !cursor_.Positioned()) return;
    const std::int32_t n = cursor_.RecordNumber();
    const std::int32_t ahead = run > 1 ? cursor_.ConsecutiveRun(run, forward) : 1;
    const TBuffer buffer = GetBuffer(n, ahead, forward);
    if (!buffer.retry) {
      current_ = buffer.record;
      return;
    }
  }
}

void TDataFile::CopyCurrent(std::uint8_t* buffer) const {
  if (buffer && current_) std::memcpy(buffer, current_->Data(), WorkingRecordSize());
}

// The cursor goes to the first entry and steps back once: it stands before the first record, and
// a following GoNext goes to it.
void TDataFile::GoFirst() {
  TOperation operation(*this);
  ReleaseCurrent();
  cursor_.First();
  if (cursor_.Positioned()) cursor_.MoveBy(-1);
}

void TDataFile::GoLast() {
  TOperation operation(*this);
  ReleaseCurrent();
  cursor_.Last();
  if (cursor_.Positioned()) cursor_.MoveBy(1);
}

// GoNext and GoPrior: from before the first (after the last) record the cursor goes to the
// first (last), else it steps; the record is read with the records ahead in that direction.
int TDataFile::Move(bool forward, std::uint8_t* buffer) {
  TOperation operation(*this);
  const bool atStart = forward ? cursor_.Bof() && !cursor_.Eof() : cursor_.Eof() && !cursor_.Bof();
  if (!cursor_.Positioned() || atStart) {
    forward ? cursor_.First() : cursor_.Last();
  } else {
    cursor_.MoveBy(forward ? 1 : -1);
  }
  LoadCurrent(std::max(kReadAheadBytes / header_.RecordSize, 1), forward);
  if (!current_) {
    if (buffer) BlankRecord(buffer);
    return forward ? ie::kEndOfFile : ie::kBeginningOfFile;
  }
  CopyCurrent(buffer);
  return 0;
}

int TDataFile::GoNext(std::uint8_t* buffer) {
  return Move(true, buffer);
}

int TDataFile::GoPrior(std::uint8_t* buffer) {
  return Move(false, buffer);
}

int TDataFile::GetCurrent(std::uint8_t* buffer, bool lock) {
  TOperation operation(*this);
  if (!current_ || current_->Number() != cursor_.RecordNumber()) LoadCurrent(1, true);
  if (lock && current_) LockRecord(0);
  if (!current_) {
    if (buffer) BlankRecord(buffer);
    return cursor_.Bof() && !cursor_.Eof() ? ie::kBeginningOfFile : ie::kEndOfFile;
  }
  CopyCurrent(buffer);
  return 0;
}

void TDataFile::GoToPosition(std::int32_t n) {
  TOperation operation(*this);
  cursor_.PhysicalOrder() ? cursor_.GoToRecord(n) : cursor_.GoToLogical(n);
  LoadCurrent(1, true);
}

std::int32_t TDataFile::RecordCount() {
  TOperation operation(*this);
  return cursor_.RecordCount();
}

std::int32_t TDataFile::CurrentPosition() {
  TOperation operation(*this);
  return cursor_.LogicalNumber();
}

void TDataFile::SetIndex(int slot) {
  TOperation operation(*this);
  const std::int32_t n = CurrentRecordNumber();
  cursor_.SelectSlot(slot);
  Reposition(n != 0, n);
}

void TDataFile::SetIndexByName(std::string_view name) {
  TOperation operation(*this);
  const std::int32_t n = CurrentRecordNumber();
  cursor_.SelectByName(name);
  Reposition(n != 0, n);
}

bool TDataFile::FindKey(const std::uint8_t* key, bool nearest) {
  TOperation operation(*this);
  const bool found = cursor_.FindKey(key, nearest, false);
  LoadCurrent(1, true);
  return found;
}

TFieldValue TDataFile::ReadField(bool working, int fieldNumber, const std::uint8_t* record) const {
  return values_->ReadField(working ? workingFields_ : physicalFields_, fieldNumber, record);
}

bool TDataFile::WriteField(bool working, int fieldNumber, const TFieldValue& value,
                           std::uint8_t* record) const {
  return values_->WriteField(working ? workingFields_ : physicalFields_, fieldNumber, value,
                             record);
}

void TDataFile::BlankRecord(std::uint8_t* record) const {
  values_->BlankRecord(workingFields_, record, WorkingRecordSize());
}

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

void TDataFile::WriteEverything(bool forceHeader, bool trim) {
  if (ReadOnly()) return;
  WriteModifiedRecords();
  WriteHeader(forceHeader);
  if (trim) cache_->Trim();
  store_.Flush();
  if (blobFile_.IsOpen()) {
    blobFile_.Blocks().Flush();
    blobFile_.WriteHeader();
  }
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

// After a change: on the changed record when asked, else where the cursor stood.
void TDataFile::Reposition(bool onRecord, std::int32_t n) {
  ReleaseCurrent();
  if (onRecord && n > 0 && n < header_.NextRecordNumber) {
    if (cursor_.PhysicalOrder()) {
      cursor_.GoToRecord(n);
    } else {
      TBuffer buffer;
      do {
        buffer = GetBuffer(n, 1, true);
      } while (buffer.retry);
      if (buffer.record->Data()[0] == 0) {
        cursor_.FindKey(KeyOf(cursor_.Slot(), buffer.record->Data()).data(), true, false);
      }
      cache_->Unpin(buffer.record);
    }
  }
  LoadCurrent(1, true);
}

void TDataFile::BatchFirstWrite() {
  if (!batchActive_ || tableLocked_) return;
  if (Exclusive()) {
    WriteEverything(false, false);
    Flush();
    indexFile_.Flush();
    if (blobFile_.IsOpen()) blobFile_.Flush();
  }
  LockTable();
}

void TDataFile::Insert(std::uint8_t* record, bool reposition) {
  TOperation operation(*this);
  CheckWritable();
  BatchFirstWrite();
  AcquireWriteAccess();
  const std::int32_t n = ChooseSlot();
  bool locked = false;
  try {
    LockRecord(n);
    locked = true;
    if (hasValidityChecks_) values_->CheckValidity(physicalFields_, record);
    record[0] = 0;
    StoreI32(record + 1, n);
    StoreI32(record + 5, header_.LastRecordId == kMaxRecordId ? 1 : header_.LastRecordId + 1);
    const std::vector<int> slots = MaintainedSlots();
    std::vector<std::vector<std::uint8_t>> keys;
    for (int slot : slots) {
      keys.push_back(KeyOf(slot, record));
      TIndexTree(store_, slot).CheckDuplicate(keys.back().data());
    }
    const bool reused = n != header_.NextRecordNumber;
    if (!reused && !CanAppend()) Raise(ie::kTableFull);
    TRecord* buffer = nullptr;
    if (reused) {
      TBuffer slot;
      do {
        slot = GetBuffer(n, 1, true);
      } while (slot.retry);
      buffer = slot.record;
    }
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
    if (!reused) buffer = GetBuffer(n, 1, true).record;
    if (reused) TakeSlot(n, buffer->Data());  // unlinks it from the free chain
    std::uint8_t* data = buffer->Data();
    std::memset(data, 0, WorkingRecordSize());
    StoreI32(data + 5, IssueRecordId());
    StoreI32(data + 1, n);
    std::memcpy(data + kSlotHeaderSize, record + kSlotHeaderSize,
                WorkingRecordSize() - kSlotHeaderSize);
    StoreI32(data + 5, LoadI32(record + 5));
    AttachBlobs(n, data);
    buffer->SetModified(true);
    cache_->Unpin(buffer);
    indexFile_.IncrementRecordCount();
    if (batchActive_) batchChanged_ = true;
    cursor_.RecordWritten(n, data);
    if (!Exclusive() && !ReadOnlyMedia() && !tableLocked_) WriteEverything(true, false);
    UnlockRecord(n);
    locked = false;
    ReleaseWriteAccess();
  } catch (...) {
    AbandonChange(locked ? n : 0);
    throw;
  }
  Reposition(reposition, n);
}

void TDataFile::Update(std::uint8_t* record, bool unlock, bool reposition) {
  TOperation operation(*this);
  CheckWritable();
  BatchFirstWrite();
  if (!current_) Raise(ie::kRecordNotFound);
  const std::int32_t n = current_->Number();
  const std::int32_t id = LoadI32(current_->Data() + kRecordIdOffset);
  AcquireWriteAccess();
  try {
    KeepCurrent(n, id);
    if (hasValidityChecks_) values_->CheckValidity(physicalFields_, record);
    std::memcpy(record, current_->Data(), kSlotHeaderSize);
    const std::vector<int> slots = MaintainedSlots();
    std::vector<std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>>> changes;
    for (int slot : slots) {
      auto oldKey = KeyOf(slot, current_->Data());
      auto newKey = KeyOf(slot, record);
      if (oldKey != newKey) TIndexTree(store_, slot).CheckDuplicate(newKey.data());
      changes.emplace_back(std::move(oldKey), std::move(newKey));
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
      if (changes[i].first != changes[i].second) {
        TIndexTree(store_, slots[i]).Replace(changes[i].first.data(), changes[i].second.data(), n);
      }
    }
    std::memcpy(current_->Data() + kSlotHeaderSize, record + kSlotHeaderSize,
                WorkingRecordSize() - kSlotHeaderSize);
    AttachBlobs(n, current_->Data());
    current_->SetModified(true);
    if (batchActive_) batchChanged_ = true;
    cursor_.RecordWritten(n, current_->Data());
    ReleaseCurrent();  // a pinned buffer is not written
    if (!Exclusive() && !ReadOnlyMedia() && !tableLocked_) WriteEverything(true, false);
    if (unlock) UnlockRecord(n);
    ReleaseWriteAccess();
  } catch (...) {
    AbandonChange(0);
    throw;
  }
  Reposition(reposition, n);
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
// change goes on only when slot n still holds the same live record (identifier `id`), else 8710.
void TDataFile::KeepCurrent(std::int32_t n, std::int32_t id) {
  if (current_ && current_->Number() == n) return;
  ReleaseCurrent();
  TBuffer buffer;
  do {
    buffer = GetBuffer(n, 1, true);
  } while (buffer.retry);
  const std::uint8_t* data = buffer.record->Data();
  if (data[0] != 0 || LoadI32(data + kRecordIdOffset) != id) {
    cache_->Unpin(buffer.record);
    Raise(ie::kRecordNotFound);
  }
  current_ = buffer.record;
}

void TDataFile::Delete(bool reposition) {
  TOperation operation(*this);
  CheckWritable();
  BatchFirstWrite();
  if (!current_) Raise(ie::kRecordInUse);
  const std::int32_t n = current_->Number();
  const std::int32_t id = LoadI32(current_->Data() + kRecordIdOffset);
  AcquireWriteAccess();
  bool locked = false;
  try {
    KeepCurrent(n, id);
    LockRecord(n);
    locked = true;
    std::uint8_t* data = current_->Data();
    FreeBlobs(n, data);  // first: a damaged chain refuses the delete before anything changed
    for (int slot : MaintainedSlots()) TIndexTree(store_, slot).Delete(KeyOf(slot, data).data());
    if (!indexFile_.NoPrimaryIndex()) {
      std::uint8_t oldKey[kDeletedKeyLength];
      BuildDeletedKey(data, oldKey);
      std::uint8_t newKey[kDeletedKeyLength];
      std::copy_n(oldKey, kDeletedKeyLength, newKey);
      newKey[0] = 1;
      TIndexTree(store_, kDeletedSlot).Replace(oldKey, newKey, n);
    }
    DeleteSlot(n, data);
    current_->SetModified(true);
    indexFile_.DecrementRecordCount();
    if (batchActive_) batchChanged_ = true;
    cursor_.RecordDeleted(n);
    ReleaseCurrent();
    if (!Exclusive() && !ReadOnlyMedia() && !tableLocked_) WriteEverything(true, false);
    UnlockRecord(n);
    locked = false;
    ReleaseWriteAccess();
  } catch (...) {
    AbandonChange(locked ? n : 0);
    throw;
  }
  Reposition(false, 0);
  (void)reposition;  // the deleted record has no position; the cursor stands where it was found
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
    WriteEverything(true, true);
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

void TDataFile::Refresh() {
  TOperation operation(*this);
  const std::int32_t n = CurrentRecordNumber();
  if (!AcquireReadAccess()) {
    cursor_.Invalidated();
  }
  Reposition(n != 0, n);
}

void TDataFile::BeginBatch() {
  if (ReadOnly()) return;
  batchActive_ = true;
  batchChanged_ = false;
}

void TDataFile::EndBatch() {
  if (!batchActive_) return;
  batchActive_ = false;
  if (batchChanged_) {
    const std::int32_t n = CurrentRecordNumber();
    ReleaseCurrent();  // a pinned buffer would not be written
    WriteEverything(true, true);
    ReloadAfterChange();
    ReadHeader();
    Reposition(n != 0, n);
  }
  batchChanged_ = false;
  UnlockTable();
}

std::unique_ptr<TDataFile> TDataFile::Clone() {
  if (Exclusive()) Raise(ie::kAccessDenied);
  auto clone = std::make_unique<TDataFile>(Owner());
  clone->SetInMemory(InMemory());
  clone->SetReadOnly(ReadOnly());
  clone->SetForceBufferFlush(ForceBufferFlush());
  clone->SetStrictChangeDetection(strictChangeDetection_);
  clone->SetLockRetryCount(lockRetryCount_);
  clone->SetLockWaitTime(lockWaitTime_);
  clone->SetFileName(FileName());
  TFileSession& session = CurrentFileSession();
  const std::string password =
      header_.Encrypted ? DecodeStoredPassword(header_.StoredPassword) : "";
  const bool known = password.empty() || session.HasPassword(password);
  if (!known) session.AddPassword(password);
  try {
    clone->Open();
  } catch (...) {
    if (!known) session.RemovePassword(password);
    throw;
  }
  if (!known) session.RemovePassword(password);
  clone->workingFields_ = workingFields_;
  clone->SetIndex(cursor_.Slot());
  if (const std::int32_t n = CurrentRecordNumber()) clone->Reposition(true, n);
  return clone;
}

}  // namespace katalog
