#include "engine/table/RepairDataFile.h"

#include <algorithm>
#include <numeric>

#include "engine/index/BlobFile.h"
#include "engine/storage/Cipher.h"
#include "engine/storage/EngineMemory.h"
#include "engine/storage/FileSession.h"
#include "engine/storage/IsamError.h"
#include "engine/storage/TableFileNames.h"
#include "engine/table/DataFile.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "platform/ScopeGuard.h"

namespace katalog {

void TRepairDataFile::Open(const std::string& tableName, const TPasswordAsk& askPassword,
                           std::int32_t indexed) {
  file_.SetExclusive(true);
  file_.SetFileName(DataFileNameOf(tableName));
  file_.Open();
  const platform::TScopeFail closeOnFailure([&] { Close(); });
  // A file nobody may write cannot be repaired.
  if (file_.ReadOnlyMedia()) RaiseOsError(platform::kErrorAccessDenied, file_.FileName());
  std::array<std::uint8_t, kDataFileHeaderSize> bytes;
  file_.Seek(0, 0);
  file_.Read(bytes.data(), kDataFileHeaderSize);
  header_ = DecodeDataFileHeader(bytes.data());
  const std::string& name = file_.FileName();
  if (header_.FormatVersion != kDataFormatVersion) RaiseIsamError(ie::kWrongVersion, name);
  if (header_.LanguageId != 0 && !platform::IsValidLocale(header_.LocaleId())) {
    RaiseIsamError(ie::kLanguageDriver, name);
  }
  if (header_.FieldCount > kMaxFields) RaiseIsamError(ie::kHeaderCorrupt, name);
  if (header_.Encrypted) {
    const std::string password = DecodeStoredPassword(header_.StoredPassword);
    while (!CurrentFileSession().HasPassword(password)) {
      if (!askPassword || !askPassword()) RaiseIsamError(ie::kPasswordRequired, name);
    }
  }
  ReadDescriptors();
  CheckLayout();
  const std::uint32_t blockSize =
      header_.BlobBlockSize == 0 ? kDefaultBlobBlockSize : header_.BlobBlockSize;
  if (HasBlobFields() &&
      (blockSize % kDefaultBlobBlockSize != 0 || blockSize > kMaxBlobBlockSize)) {
    RaiseIsamError(ie::kBlobDefinition, name);
  }
  const platform::TLocale* locale = platform::FindLocale(header_.LocaleId());
  if (header_.LanguageId != 0 && locale) {
    collationOrder_ = locale->CollationOrder();
  } else {
    std::iota(collationOrder_.begin(), collationOrder_.end(), 0);
  }
  const std::int64_t slotBytes = std::max<std::int64_t>(file_.GetSize() - header_.DataStart(), 0);
  if (slotBytes / header_.RecordSize >= kMaxRecordNumber) RaiseIsamError(ie::kTableFull, name);
  slots_ = static_cast<std::int32_t>(slotBytes / header_.RecordSize);
  // Slots past the count the header gives were appended by a change whose header write never
  // came: one killed half way, or one the engine refused and took back. Such a change never
  // happened for its program, the engine writes over those bytes, and so does the repair;
  // unless an index names them: then the change went on to its keys, and the count is what
  // is damaged.
  const std::int32_t counted = header_.NextRecordNumber - 1;
  if (counted >= 0 && counted < slots_) slots_ = std::max(counted, std::min(indexed, slots_));
  partialBytes_ = slotBytes - std::int64_t{slots_} * header_.RecordSize;
}

void TRepairDataFile::Close() {
  file_.Close();
}

bool TRepairDataFile::HasBlobFields() const {
  return std::any_of(fields_.begin(), fields_.end(), [](const TFieldDescriptor& f) {
    return f.FieldTypeCode == ft::kBlob && f.Expression.empty();
  });
}

void TRepairDataFile::ReadDescriptors() {
  const std::size_t size = std::size_t{kFieldDescriptorSize} * header_.FieldCount;
  std::vector<std::uint8_t> block = AllocateZeroed(size);
  file_.Seek(kDataFileHeaderSize, 0);
  file_.Read(block.data(), static_cast<std::int32_t>(size));
  if (header_.Encrypted) ApplyCipher(block.data(), size, kRecordSeeds);
  fields_.clear();
  for (std::size_t i = 0; i < header_.FieldCount; ++i) {
    TFieldDescriptor field = DecodeFieldDescriptor(block.data() + i * kFieldDescriptorSize);
    field.PhysicalSize = PhysicalSizeOf(field.FieldTypeCode, field.DeclaredSize);
    field.PhysicalScale = field.DeclaredScale;
    fields_.push_back(std::move(field));
  }
}

// The same rule as at a normal open: stored fields follow one another from the slot header on
// and end at RecordSize; the autoincrement field lies on the record identifier.
void TRepairDataFile::CheckLayout() const {
  int running = kSlotHeaderSize;
  for (std::size_t j = 0; j < fields_.size(); ++j) {
    const TFieldDescriptor& field = fields_[j];
    const bool sized = field.FieldTypeCode != ft::kString || field.DeclaredSize <= kMaxDeclaredSize;
    bool placed;
    if (field.IsAutoIncrement()) {
      placed = field.FieldOffset == kRecordIdOffset;
    } else if (!field.Expression.empty()) {
      placed = field.FieldOffset == 0;
    } else {
      placed = field.FieldOffset == running;
      running += field.PhysicalSize + 1;
    }
    if (!sized || !placed || field.FieldNumber != static_cast<int>(j + 1)) {
      RaiseIsamError(ie::kHeaderCorrupt, file_.FileName());
    }
  }
  if (header_.RecordSize != running) RaiseIsamError(ie::kHeaderCorrupt, file_.FileName());
}

void TRepairDataFile::ReadSlots(std::int32_t first, std::int32_t count, std::uint8_t* buffer) {
  const int size = header_.RecordSize;
  file_.Seek(header_.SlotOffset(first), 0);
  file_.Read(buffer, count * size);
  if (header_.Encrypted) {
    for (std::int32_t i = 0; i < count; ++i) ApplyCipher(buffer + i * size, size, kRecordSeeds);
  }
}

void TRepairDataFile::WriteSlots(std::int32_t first, std::int32_t count,
                                 const std::uint8_t* buffer) {
  const std::size_t size = header_.RecordSize;
  std::vector<std::uint8_t> copy(buffer, buffer + size * static_cast<std::size_t>(count));
  if (header_.Encrypted) {
    for (std::int32_t i = 0; i < count; ++i)
      ApplyCipher(copy.data() + size * i, size, kRecordSeeds);
  }
  file_.Seek(header_.SlotOffset(first), 0);
  file_.Write(copy.data(), static_cast<std::int32_t>(copy.size()));
}

void TRepairDataFile::WriteHeader() {
  ++header_.ChangeCounter;
  header_.LastWriteStamp = CurrentWriteStamp();
  header_.HeaderModified = 1;
  std::array<std::uint8_t, kDataFileHeaderSize> bytes;
  EncodeDataFileHeader(header_, bytes.data());
  file_.Seek(0, 0);
  file_.Write(bytes.data(), kDataFileHeaderSize);
}

void TRepairDataFile::CutPartialSlot() {
  file_.Seek(header_.SlotOffset(slots_ + 1), 0);
  file_.Write(nullptr, 0);
  partialBytes_ = 0;
}

}  // namespace katalog
