#include "engine/storage/DataFileHeader.h"

#include <cstring>

#include "engine/storage/FieldDescriptor.h"
#include "platform/ByteOrder.h"
#include "platform/DateTime.h"

namespace katalog {

std::int64_t TDataFileHeader::DataStart() const {
  return kDataFileHeaderSize + std::int64_t{kFieldDescriptorSize} * FieldCount;
}

std::int64_t TDataFileHeader::SlotOffset(std::int32_t n) const {
  return DataStart() + std::int64_t{n - 1} * RecordSize;
}

TDataFileHeader DecodeDataFileHeader(const std::uint8_t* b) {
  TDataFileHeader h;
  std::memcpy(h.Raw.data(), b, kDataFileHeaderSize);
  h.ChangeCounter = LoadI32(b + 0);
  h.BlobBlockSize = LoadU32(b + 4);
  h.FormatVersion = b[8];
  h.FreeSlotHead = LoadI32(b + 9);
  h.NextRecordNumber = LoadI32(b + 13);
  h.LastRecordId = LoadI32(b + 17);
  h.RecordSize = LoadU16(b + 21);
  h.FieldCount = LoadU16(b + 23);
  h.BlobIndicator = LoadI16(b + 25);
  h.LastWriteStamp = LoadDouble(b + 27);
  h.Encrypted = b[86];
  std::memcpy(h.StoredPassword.data(), b + 87, kStoredPasswordWidth);
  h.LanguageId = LoadU16(b + 103);
  h.SortId = LoadU16(b + 105);
  h.ComputedAreaSize = LoadI16(b + 111);
  h.HeaderModified = b[113];
  return h;
}

void EncodeDataFileHeader(const TDataFileHeader& h, std::uint8_t* b) {
  std::memcpy(b, h.Raw.data(), kDataFileHeaderSize);
  StoreI32(b + 0, h.ChangeCounter);
  StoreU32(b + 4, h.BlobBlockSize);
  b[8] = h.FormatVersion;
  StoreI32(b + 9, h.FreeSlotHead);
  StoreI32(b + 13, h.NextRecordNumber);
  StoreI32(b + 17, h.LastRecordId);
  StoreU16(b + 21, h.RecordSize);
  StoreU16(b + 23, h.FieldCount);
  StoreI16(b + 25, h.BlobIndicator);
  StoreDouble(b + 27, h.LastWriteStamp);
  b[86] = h.Encrypted;
  std::memcpy(b + 87, h.StoredPassword.data(), kStoredPasswordWidth);
  StoreU16(b + 103, h.LanguageId);
  StoreU16(b + 105, h.SortId);
  StoreI16(b + 111, h.ComputedAreaSize);
  b[113] = h.HeaderModified;
}

double CurrentWriteStamp() {
  return platform::Now() - platform::kDateDelta;
}

}  // namespace katalog
