#include "engine/index/IndexFileHeader.h"

#include <cstring>

#include "engine/storage/ShortString.h"
#include "platform/ByteOrder.h"

namespace katalog {
namespace {

constexpr int kNameWidth = 31;
constexpr int kDescriptorsOffset = 14;

}  // namespace

TIndexDescriptor DecodeIndexDescriptor(const std::uint8_t* b) {
  TIndexDescriptor d;
  d.Name = LoadShortString(b, kNameWidth);
  d.KeyLength = LoadU16(b + 31);
  d.Descending = b[33];
  d.CaseInsensitive = b[34];
  d.Unique = b[35];
  d.Compression = b[36];
  d.FieldCount = b[37];
  for (int i = 0; i < kMaxIndexFields; ++i) {
    d.FieldDescending[i] = b[38 + i];
    d.FieldNumbers[i] = LoadU16(b + 54 + 2 * i);
  }
  d.RootPage = LoadI32(b + 86);
  d.FreePageHead = LoadI32(b + 90);
  return d;
}

void EncodeIndexDescriptor(const TIndexDescriptor& d, std::uint8_t* b) {
  std::memset(b, 0, kIndexDescriptorSize);
  StoreShortString(b, kNameWidth, d.Name);
  StoreU16(b + 31, d.KeyLength);
  b[33] = d.Descending;
  b[34] = d.CaseInsensitive;
  b[35] = d.Unique;
  b[36] = d.Compression;
  b[37] = d.FieldCount;
  for (int i = 0; i < kMaxIndexFields; ++i) {
    b[38 + i] = d.FieldDescending[i];
    StoreU16(b + 54 + 2 * i, d.FieldNumbers[i]);
  }
  StoreI32(b + 86, d.RootPage);
  StoreI32(b + 90, d.FreePageHead);
}

TIndexFileHeader DecodeIndexFileHeader(const std::uint8_t* b) {
  TIndexFileHeader h;
  h.ChangeCounter = LoadI32(b);
  h.FormatVersion = b[8];
  h.EndOfFile = LoadI32(b + 9);
  h.SecondaryCount = b[13];
  for (int i = 0; i < kIndexSlots; ++i) {
    h.Indexes[i] = DecodeIndexDescriptor(b + kDescriptorsOffset + kIndexDescriptorSize * i);
  }
  h.ActiveRecords = LoadI32(b + 3974);
  h.NoPrimaryIndex = b[3978];
  h.HeaderModified = 0;  // the writer's flag means nothing to a reader
  return h;
}

void EncodeIndexFileHeader(const TIndexFileHeader& h, std::uint8_t* b) {
  std::memset(b, 0, kIndexHeaderSize);
  StoreI32(b, h.ChangeCounter);
  b[8] = h.FormatVersion;
  StoreI32(b + 9, h.EndOfFile);
  b[13] = h.SecondaryCount;
  for (int i = 0; i < kIndexSlots; ++i) {
    EncodeIndexDescriptor(h.Indexes[i], b + kDescriptorsOffset + kIndexDescriptorSize * i);
  }
  StoreI32(b + 3974, h.ActiveRecords);
  b[3978] = h.NoPrimaryIndex;
  b[3979] = h.HeaderModified;
}

TIndexFileHeader NewIndexFileHeader() {
  TIndexFileHeader h;
  TIndexDescriptor& deleted = h.Indexes[kDeletedSlot];
  deleted.Name = kDeletedIndexName;
  deleted.KeyLength = kDeletedKeyLength;
  h.HeaderModified = 1;
  return h;
}

}  // namespace katalog
