// TDataFile's record operations: the record cache and the read path, navigation, change
// detection and locks. Inserting, changing and deleting records are in RecordChanges.cpp.
#include <algorithm>
#include <cstring>

#include "engine/storage/Cipher.h"
#include "engine/storage/FileSession.h"
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"
#include "platform/ExceptionReporter.h"
#include "platform/ScopeGuard.h"

namespace katalog {

void TDataFile::MakeRecordCache() {
  cache_ = std::make_unique<TRecordCache>(WorkingRecordSize(), FileName());
  cache_->SetFlushAction([this] { WriteModifiedRecords(); });
  cache_->SetTableLockedQuery([this] { return tableLocked_; });
}

void TDataFile::InitialiseRecordAccess() {
  MakeRecordCache();
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
  cursor_.SetEntryKeySource([this](int slot, std::int32_t r) {
    const TBuffer buffer = GetBuffer(r, 1, TDirection::Forward);
    if (buffer.retry) throw TRestart{};
    const platform::TScopeExit unpin([&] { cache_->Unpin(buffer.record); });
    const std::uint8_t* record = buffer.record->Data();
    return record[0] != 0 ? std::vector<std::uint8_t>{} : EntryKeyOf(slot, record);
  });
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
    // Only the blob file changed: its blocks are dropped (by the block cache that asked), the
    // records and pages stay.
    ++changesFound_;
    return true;
  }
  if (changed) ReloadAfterChange();
  return changed;
}

void TDataFile::ReloadAfterChange() {
  ++changesFound_;
  filterRunCount_ = 0;
  store_.Invalidate();
  if (blobFile_.IsOpen()) blobFile_.Blocks().Invalidate();
  cache_->ForgetAll();
  current_ = nullptr;
  cursor_.Invalidated();
}

// Modified records are never dropped from the cache, so the cache's status byte overrides the
// file's and nothing needs to be written first.
void TDataFile::ScanStatus(TRecordBitmap& active) {
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
  std::vector<std::uint8_t>& slots = runSlots_;
  slots.resize(static_cast<std::size_t>(count) * size);
  const bool tolerate = Exclusive() || tableLocked_;
  const std::int32_t read = ReadSlots(first, count, slots.data(), tolerate);
  std::vector<TRecord*>& marked = runMarked_;
  marked.clear();
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

// Reads the records of the index entries the cursor meets next, which lie anywhere in the file,
// in slot order: consecutive slots in one request, the cursor's record n last so that it is the
// most recently used. Under shared access the whole batch costs one lock and one change check.
void TDataFile::FillAhead(std::int32_t n, std::vector<std::int32_t> records) {
  std::erase_if(records, [&](std::int32_t r) {
    return r == n || r <= 0 || r >= header_.NextRecordNumber || cache_->Find(r) != nullptr;
  });
  std::sort(records.begin(), records.end());
  records.erase(std::unique(records.begin(), records.end()), records.end());
  for (std::size_t i = 0; i < records.size();) {
    std::size_t j = i + 1;
    while (j < records.size() && records[j] == records[j - 1] + 1) ++j;
    FillRun(records[i], static_cast<std::int32_t>(j - i), records[i]);
    i = j;
  }
  FillRun(n, 1, n);
}

TDataFile::TBuffer TDataFile::GetBuffer(std::int32_t n, std::int32_t run, TDirection direction,
                                        TReadAhead readAhead) {
  if (n <= 0) return {};
  if (n == header_.NextRecordNumber) {
    TakeSlot(n, nullptr);
    TRecord* record = cache_->TakeFree();
    cache_->SetNumber(record, n);
    cache_->Pin(record);
    return {record, false};
  }
  const auto evaluated = [this](TRecord* record) {
    if (!computed_.empty() && !record->ComputedFieldsEvaluated()) {
      EvaluateComputedFields(workingFields_, record->Data());
      record->SetComputedFieldsEvaluated(true);
    }
    return TBuffer{record, false};
  };
  if (TRecord* cached = cache_->Find(n)) {
    cache_->Pin(cached);
    cache_->Touch(cached);
    return evaluated(cached);
  }
  if (!strictChangeDetection_ && AcquireReadAccess()) return {nullptr, true};
  if (n >= header_.NextRecordNumber) Raise(ie::kRecordNotFound);
  const std::int32_t limit = std::max(kReadAheadBytes / header_.RecordSize, 1);
  // Which records the cursor meets next is asked only now that disk is read. From a mapped file
  // a record is a copy whichever way it is read: nothing is gained by reading others with it.
  if (run > 1 && readAhead == TReadAhead::CursorOrder && !cursor_.PhysicalOrder() && !Mapped()) {
    // A walk reads further ahead the longer it goes, so that a look at one record reads little.
    FillAhead(n, cursor_.RecordsAhead(std::min({run, limit, walkReadAhead_}), direction));
    walkReadAhead_ = std::min(walkReadAhead_ * 2, limit);
  } else if (run > 1 && readAhead == TReadAhead::CursorOrder) {
    run = cursor_.ConsecutiveRun(std::min(run, limit), direction);
  }
  std::int32_t count = std::clamp(run, 1, limit);
  if (cache_->Find(n)) {
    // Read ahead in index order.
  } else if (direction == TDirection::Forward) {
    count = std::min(count, header_.NextRecordNumber - n);
    FillRun(n, count, n);
  } else {
    count = std::min(count, n);
    FillRun(n - count + 1, count, n);
  }
  TRecord* record = cache_->Find(n);
  if (!record) Raise(ie::kReadError);
  cache_->Pin(record);
  return evaluated(record);
}

void TDataFile::ReleaseCurrent() {
  if (current_) cache_->Unpin(current_);
  current_ = nullptr;
}

void TDataFile::LoadCurrent(std::int32_t run, TDirection direction) {
  ReleaseCurrent();
  if (run <= 1) walkReadAhead_ = 1;
  for (;;) {
    if (cursor_.Bof() || cursor_.Eof() || !cursor_.Positioned()) return;
    const std::int32_t n = cursor_.RecordNumber();
    const TBuffer buffer = GetBuffer(n, run, direction);
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
  walkReadAhead_ = 1;
  cursor_.BeforeFirst();
}

void TDataFile::GoLast() {
  TOperation operation(*this);
  ReleaseCurrent();
  walkReadAhead_ = 1;
  cursor_.AfterLast();
}

// GoNext and GoPrior: from before the first (after the last) record the cursor goes to the
// first (last), else it steps; the record is read with the records ahead in that direction.
int TDataFile::Move(TDirection direction, std::uint8_t* buffer) {
  TOperation operation(*this);
  const bool forward = direction == TDirection::Forward;
  const bool beforeFirst = cursor_.Bof() && !cursor_.Eof();
  const bool afterLast = cursor_.Eof() && !cursor_.Bof();
  const bool atStart = forward ? beforeFirst : afterLast;
  const bool atEnd = forward ? afterLast : beforeFirst;
  if (!cursor_.Positioned() && atEnd) {
    // Already past the end this way: nothing to step over.
  } else if (!cursor_.Positioned() || atStart) {
    forward ? cursor_.First() : cursor_.Last();
  } else {
    cursor_.MoveBy(forward ? 1 : -1);
  }
  LoadCurrent(std::max(kReadAheadBytes / header_.RecordSize, 1), direction);
  if (!current_) {
    if (buffer) BlankRecord(buffer);
    return forward ? ie::kEndOfFile : ie::kBeginningOfFile;
  }
  CopyCurrent(buffer);
  return 0;
}

int TDataFile::GoNext(std::uint8_t* buffer) {
  return Move(TDirection::Forward, buffer);
}

int TDataFile::GoPrior(std::uint8_t* buffer) {
  return Move(TDirection::Backward, buffer);
}

int TDataFile::GetCurrent(std::uint8_t* buffer, bool lock) {
  TOperation operation(*this);
  if (!current_ || current_->Number() != cursor_.RecordNumber()) {
    LoadCurrent(1, TDirection::Forward);
  }
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
  LoadCurrent(1, TDirection::Forward);
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

bool TDataFile::FindKey(const std::uint8_t* key, TKeyMatch match) {
  TOperation operation(*this);
  const bool found = cursor_.FindKey(key, match);
  LoadCurrent(1, TDirection::Forward);
  return found;
}

TFieldValue TDataFile::ReadField(TFieldSet fieldSet, int fieldNumber,
                                 const std::uint8_t* record) const {
  return values_->ReadField(FieldsOf(fieldSet), fieldNumber, record);
}

bool TDataFile::WriteField(TFieldSet fieldSet, int fieldNumber, const TFieldValue& value,
                           std::uint8_t* record) const {
  const std::vector<TFieldDescriptor>& fields = FieldsOf(fieldSet);
  const bool identifier = keepRecordIds_ && fieldNumber >= 1 &&
                          fieldNumber <= static_cast<int>(fields.size()) &&
                          fields[static_cast<std::size_t>(fieldNumber - 1)].IsAutoIncrement();
  if (!identifier) return values_->WriteField(fields, fieldNumber, value, record);
  // The autoincrement field is the record identifier: 0 asks for the next one.
  std::int64_t id = 0;
  if (const auto* given = std::get_if<std::int64_t>(&value)) id = *given;
  if (id < 0 || id > kMaxRecordId || (id == 0 && !std::holds_alternative<std::monostate>(value)))
    return false;
  StoreI32(record + kRecordIdOffset, static_cast<std::int32_t>(id));
  return true;
}

void TDataFile::BlankRecord(std::uint8_t* record) const {
  values_->BlankRecord(workingFields_, record, WorkingRecordSize());
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
        buffer = GetBuffer(n, 1, TDirection::Forward);
      } while (buffer.retry);
      if (buffer.record->Data()[0] == 0) {
        cursor_.FindKey(EntryKeyOf(cursor_.Slot(), buffer.record->Data()).data(),
                        TKeyMatch::Nearest);
      }
      cache_->Unpin(buffer.record);
    }
  }
  LoadCurrent(1, TDirection::Forward);
}

void TDataFile::Refresh() {
  TOperation operation(*this);
  const std::int32_t n = CurrentRecordNumber();
  if (!AcquireReadAccess()) {
    cursor_.Invalidated();
  }
  Reposition(n != 0, n);
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
  {
    if (!known) session.AddPassword(password);
    const platform::TScopeExit forgetPassword([&] {
      if (!known) session.RemovePassword(password);
    });
    clone->Open();
  }
  if (computed_.empty()) {
    clone->workingFields_ = workingFields_;
  } else {
    clone->SetWorkingFields(workingFields_);
  }
  clone->SetIndex(cursor_.Slot());
  if (cursor_.RangeActive()) {
    clone->cursor_.SetRangeStart(cursor_.RangeStart());
    clone->cursor_.SetRangeEnd(cursor_.RangeEnd());
    clone->cursor_.ApplyRange();
  }
  clone->filters_.CopyFrom(filters_, *clone);
  if (const std::int32_t n = CurrentRecordNumber()) clone->Reposition(true, n);
  return clone;
}

}  // namespace katalog
