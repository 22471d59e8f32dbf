#include "engine/table/DataFile.h"

#include <numeric>

#include "engine/storage/Cipher.h"
#include "engine/storage/EngineMemory.h"
#include "engine/storage/FileSession.h"
#include "engine/storage/IsamError.h"
#include "engine/storage/TableFileNames.h"
#include "platform/ByteOrder.h"
#include "platform/ExceptionReporter.h"
#include "platform/Locale.h"
#include "platform/ScopeGuard.h"

namespace katalog {
namespace {

constexpr int kCompiledExpressionOffset = 504;

}  // namespace

TDataFile::TDataFile(TFileHandler* owner) : TFileHandler(owner) {}

TDataFile::~TDataFile() {
  // Closing may write headers; a failure here has nobody to go to but the reporter.
  if (IsOpen()) platform::RunReported([this] { TDataFile::Close(); });
}

std::string TDataFile::NormalizeName(std::string_view name) const {
  return DataFileNameOf(name);
}

void TDataFile::SetForceBufferFlush(bool value) {
  SetWriteThrough(value);
}

void TDataFile::Open() {
  if (IsOpen()) return;
  readAccess_ = false;
  physicalFields_.clear();
  workingFields_.clear();
  TFileHandler::Open();
  {
    const platform::TScopeFail closeOnFailure([&] { TDataFile::Close(); });
    OpenSteps();
  }
  // A table is writable only when all of its files are: an index or blob file that cannot be
  // written would refuse a change half way, after the data file took it. Such a table opens
  // read-only, and every change is refused (kAccessDenied) before anything is touched.
  if (!ReadOnly() && (indexFile_.ReadOnly() || (blobFile_.IsOpen() && blobFile_.ReadOnly()))) {
    TDataFile::Close();
    SetReadOnly(true);
    Open();
  }
}

void TDataFile::OpenSteps() {
  ReadHeader();
  if (header_.FormatVersion != kDataFormatVersion) Raise(ie::kWrongVersion);
  if (header_.LanguageId != 0 && !platform::IsValidLocale(header_.LocaleId())) {
    Raise(ie::kLanguageDriver);
  }
  if (header_.FieldCount > kMaxFields) Raise(ie::kHeaderCorrupt);
  if (header_.Encrypted) CheckPassword();
  ReadDescriptors();
  workingFields_ = physicalFields_;
  CheckLayout();
  BuildCollationOrder();
  OpenCompanionFiles();
  CheckFileLength();
  InitialiseRecordAccess();
}

void TDataFile::ReadHeader() {
  std::array<std::uint8_t, kDataFileHeaderSize> bytes;
  Seek(0, 0);
  Read(bytes.data(), kDataFileHeaderSize);
  header_ = DecodeDataFileHeader(bytes.data());
  headerChanged_ = false;
}

std::int32_t TDataFile::ReadChangeCounter() {
  std::uint8_t counter[4];
  Seek(0, 0);
  Read(counter, 4);
  return LoadI32(counter);
}

void TDataFile::WriteHeader(bool force) {
  if (!headerChanged_ && !force) return;
  ++header_.ChangeCounter;
  header_.LastWriteStamp = CurrentWriteStamp();
  header_.HeaderModified = headerChanged_ ? 1 : 0;
  std::array<std::uint8_t, kDataFileHeaderSize> bytes;
  EncodeDataFileHeader(header_, bytes.data());
  Seek(0, 0);
  Write(bytes.data(), kDataFileHeaderSize);
  headerChanged_ = false;
}

void TDataFile::CheckPassword() {
  const std::string password = DecodeStoredPassword(header_.StoredPassword);
  while (!CurrentFileSession().HasPassword(password)) {
    if (!passwordCallback_ || !passwordCallback_()) Raise(ie::kPasswordRequired);
  }
}

void TDataFile::ReadDescriptors() {
  const std::size_t size = std::size_t{kFieldDescriptorSize} * header_.FieldCount;
  std::vector<std::uint8_t> block = AllocateZeroed(size);
  Seek(kDataFileHeaderSize, 0);
  Read(block.data(), static_cast<std::int32_t>(size));
  if (header_.Encrypted) ApplyCipher(block.data(), size, kRecordSeeds);
  physicalFields_.reserve(header_.FieldCount);
  for (std::size_t i = 0; i < header_.FieldCount; ++i) {
    std::uint8_t* bytes = block.data() + i * kFieldDescriptorSize;
    std::fill_n(bytes + kCompiledExpressionOffset, 4, 0);
    TFieldDescriptor field = DecodeFieldDescriptor(bytes);
    hasValidityChecks_ = hasValidityChecks_ || field.HasValidityChecks();
    hasDefaults_ = hasDefaults_ || !field.DefaultValue.empty();
    hasComputedFields_ = hasComputedFields_ || !field.Expression.empty();
    physicalFields_.push_back(std::move(field));
  }
}

// Recomputes every field's sizes and checks that the offsets follow one another from the slot
// header on and add up to the record size.
void TDataFile::CheckLayout() {
  int running = kSlotHeaderSize;
  const int computed = 0;
  for (std::size_t j = 0; j < physicalFields_.size(); ++j) {
    for (TFieldDescriptor* field : {&physicalFields_[j], &workingFields_[j]}) {
      field->PhysicalSize = PhysicalSizeOf(field->FieldTypeCode, field->DeclaredSize);
      field->PhysicalScale = field->DeclaredScale;
    }
    const TFieldDescriptor& field = physicalFields_[j];
    // A declared size the physical size byte cannot follow would put data beyond the slot.
    const bool sized = field.FieldTypeCode != ft::kString || field.DeclaredSize <= kMaxDeclaredSize;
    bool placed;
    if (field.IsAutoIncrement()) {
      placed = field.FieldOffset == kRecordIdOffset;
    } else if (!field.Expression.empty()) {
      placed = field.FieldOffset == computed;
    } else {
      placed = field.FieldOffset == running;
      running += field.PhysicalSize + 1;
    }
    if (!sized || !placed || field.FieldNumber != static_cast<int>(j + 1)) {
      Raise(ie::kHeaderCorrupt);
    }
  }
  if (header_.RecordSize != running) Raise(ie::kHeaderCorrupt);
}

void TDataFile::BuildCollationOrder() {
  if (const platform::TLocale* locale = platform::FindLocale(LocaleId());
      header_.LanguageId != 0 && locale) {
    collationOrder_ = locale->CollationOrder();
  } else {
    std::iota(collationOrder_.begin(), collationOrder_.end(), 0);
  }
}

void TDataFile::OpenCompanionFiles() {
  for (THeaderFile* file :
       {static_cast<THeaderFile*>(&indexFile_), static_cast<THeaderFile*>(&blobFile_)}) {
    if (file == &blobFile_ && header_.BlobIndicator == 0) continue;
    file->SetInMemory(InMemory());
    file->SetExclusive(Exclusive());
    file->SetReadOnly(ReadOnly());
    file->SetWriteThrough(WriteThrough());
    file->SetEncrypted(header_.Encrypted != 0);
    file->SetFileName(FileName());
  }
  indexFile_.SetFields(&physicalFields_);
  indexFile_.Open();
  if (header_.BlobIndicator != 0) {
    // A damaged size would make every block read huge: only what a table can be made with.
    const std::uint32_t blockSize =
        header_.BlobBlockSize == 0 ? kDefaultBlobBlockSize : header_.BlobBlockSize;
    if (blockSize % kDefaultBlobBlockSize != 0 || blockSize > kMaxBlobBlockSize)
      Raise(ie::kBlobDefinition);
    blobFile_.SetBlockSize(header_.BlobBlockSize);
    blobFile_.Open();
  }
}

// Another program may have appended records since the header was read without a lock: the
// header is read again under read access, so that it and the length are compared as they stand
// together. Bytes past the last slot the header records are left by an append whose header write
// never came (a killed writer, a failed write taken back); the next append writes over them. A
// file too short for its slots is damage.
void TDataFile::CheckFileLength() {
  const bool shared = AcquireReadAccess() || ReadAccessHeld();
  std::int64_t length = 0;
  {
    const platform::TScopeExit release([&] { ReleaseReadAccess(); });
    if (shared) ReadHeader();
    length = GetSize();
  }
  const std::int64_t dataBytes = std::max<std::int64_t>(length - header_.DataStart(), 0);
  if (dataBytes / header_.RecordSize + 1 < header_.NextRecordNumber) Raise(ie::kHeaderCorrupt);
}

void TDataFile::Close() {
  if (IsOpen()) {
    ReleaseCurrent();  // a pinned buffer would not be written
    if (tableLocked_) {
      platform::RunReported([this] { EndBatch(); });
      platform::RunReported([this] { UnlockTable(); });
    } else if (Exclusive() && !ReadOnly()) {
      WriteEverything(THeaderWrite::IfChanged, TCacheTrim::Trim);
    }
    if (!Exclusive() && !ReadOnlyMedia()) {
      locks_.UnlockAllRecords();
      indexFile_.Locks().ReleaseRead();
      indexFile_.Locks().ReleaseWrite();
      if (blobFile_.IsOpen()) {
        blobFile_.Locks().ReleaseRead();
        blobFile_.Locks().ReleaseWrite();
      }
      locks_.ReleaseWriteLock();
    }
  }
  locks_.Forget();
  readAccess_ = writeAccess_ = tableLocked_ = batchActive_ = false;
  filters_.Clear();
  computed_.clear();
  computedAreaSize_ = 0;
  cursor_.Close();
  current_ = nullptr;
  cache_.reset();
  filterRunCount_ = 0;
  store_.Cache().DiscardAll();
  blobFile_.Close();
  indexFile_.Close();
  physicalFields_.clear();
  workingFields_.clear();
  hasValidityChecks_ = hasDefaults_ = hasComputedFields_ = false;
  TFileHandler::Close();
}

std::int32_t TDataFile::ReadSlots(std::int32_t first, std::int32_t count, std::uint8_t* buffer,
                                  bool tolerateShortRead) {
  const int size = header_.RecordSize;
  Seek(header_.SlotOffset(first), 0);
  const std::int32_t bytes = Read(buffer, count * size, tolerateShortRead);
  const std::int32_t slots = bytes / size;
  if (header_.Encrypted) {
    for (std::int32_t i = 0; i < slots; ++i) ApplyCipher(buffer + i * size, size, kRecordSeeds);
  }
  return slots;
}

void TDataFile::WriteSlots(std::int32_t first, std::int32_t count, const std::uint8_t* buffer) {
  filterRunCount_ = 0;
  const std::size_t bytes = std::size_t{header_.RecordSize} * static_cast<std::size_t>(count);
  std::vector<std::uint8_t> copy(buffer, buffer + bytes);
  if (header_.Encrypted) {
    for (std::int32_t i = 0; i < count; ++i) {
      ApplyCipher(copy.data() + std::size_t{header_.RecordSize} * i, header_.RecordSize,
                  kRecordSeeds);
    }
  }
  Seek(header_.SlotOffset(first), 0);
  Write(copy.data(), static_cast<std::int32_t>(bytes));
}

TKeyContext TDataFile::KeyContextFor(int slot) const {
  return {&indexFile_.Descriptor(slot), slot, &physicalFields_, LocaleId(), &collationOrder_};
}

std::int32_t TDataFile::IssueRecordId() {
  if (header_.LastRecordId == kMaxRecordId) header_.LastRecordId = 0;
  ++header_.LastRecordId;
  MarkHeaderChanged();
  return header_.LastRecordId;
}

std::int32_t TDataFile::ChooseSlot() const {
  if (header_.FreeSlotHead == 0 || indexFile_.NoPrimaryIndex()) return header_.NextRecordNumber;
  return header_.FreeSlotHead;
}

bool TDataFile::CanAppend() const {
  const std::int32_t n = header_.NextRecordNumber;
  return std::int64_t{n} + 1 <= kMaxRecordNumber &&
         std::int64_t{n} * header_.RecordSize <= kMaxDataBytes;
}

void TDataFile::TakeSlot(std::int32_t n, const std::uint8_t* slot) {
  if (n == header_.NextRecordNumber) {
    if (!CanAppend()) Raise(ie::kTableFull);
    ++header_.NextRecordNumber;
  } else {
    header_.FreeSlotHead = LoadI32(slot + 1);
  }
  MarkHeaderChanged();
}

void TDataFile::DeleteSlot(std::int32_t n, std::uint8_t* slot) {
  const std::int32_t next = ChooseSlot();
  slot[0] = 1;
  StoreI32(slot + 1, next == header_.NextRecordNumber ? 0 : next);
  header_.FreeSlotHead = n;
  MarkHeaderChanged();
}

bool TDataFile::AcquireReadAccess() {
  if (readAccess_ || writeAccess_ || tableLocked_ || Exclusive() || ReadOnlyMedia()) return false;
  if (!indexFile_.Locks().AcquireRead()) Raise(ie::kLockFailure);
  if (blobFile_.IsOpen() && !blobFile_.Locks().AcquireRead()) {
    indexFile_.Locks().ReleaseRead();
    Raise(ie::kLockFailure);
  }
  readAccess_ = true;
  return cache_ ? ChangeCheck() : false;
}

void TDataFile::ReleaseReadAccess() {
  if (!readAccess_) return;
  readAccess_ = false;
  const bool blobReleased = !blobFile_.IsOpen() || blobFile_.Locks().ReleaseRead();
  if (!indexFile_.Locks().ReleaseRead() || !blobReleased) Raise(ie::kLockFailure);
}

}  // namespace katalog
