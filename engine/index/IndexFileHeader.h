// The index file header (4096 bytes at offset 0) and its 32 index descriptors.
//
//   header offset size      field
//               0    4      change counter, +1 on every header write
//               4    4      reserved, zero
//               8    1      format version, must be 3
//               9    4      end-of-file page offset: where the next page is appended
//              13    1      number of secondary indexes n (slots 1..n)
//              14    32x120 index descriptors, slot i at 14 + 120 i
//            3854  120      reserved, zero
//            3974    4      number of active records
//            3978    1      no-primary-index flag (slot 0 then holds no index)
//            3979    1      header-modified flag of the writer, reset to 0 on reading
//            3980  116      reserved, zero
//
//   descriptor offset size  field
//                   0   31  index name: length byte and up to 30 characters
//                  31    2  key length
//                  33    1  descending (whole index)
//                  34    1  case-insensitive
//                  35    1  unique
//                  36    1  leaf key compression 0 none, 1 leading, 2 trailing, 3 full
//                  37    1  number of key fields, 1..16
//                  38   16  per-field descending flags
//                  54   32  field numbers (uint16 each)
//                  86    4  root page offset, 0 = empty
//                  90    4  head of the free-page list, 0 = empty
//                  94   26  reserved, zero
//
// Slot 0 is the primary index ("Primary" in messages), slots 1-30 the secondary indexes in the
// order they were defined, slot 31 the system index "Sys Deleted" of record status and
// identifier (key length 5, no fields, no compression).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace katalog {

inline constexpr int kIndexHeaderSize = 4096;
inline constexpr int kIndexDescriptorSize = 120;
inline constexpr int kIndexSlots = 32;
inline constexpr int kPrimarySlot = 0;
inline constexpr int kMaxSecondaryIndexes = 30;
inline constexpr int kDeletedSlot = 31;
// Not a slot: the physical (record number) order of a cursor.
inline constexpr int kPhysicalOrder = 255;
inline constexpr int kMaxIndexFields = 16;
inline constexpr int kMaxIndexNameLength = 30;
inline constexpr int kMaxKeyLength = 1036;
inline constexpr std::uint8_t kIndexFormatVersion = 3;
inline constexpr char kPrimaryIndexName[] = "Primary";
inline constexpr char kDeletedIndexName[] = "Sys Deleted";
inline constexpr std::uint16_t kDeletedKeyLength = 5;

struct TIndexDescriptor {
  std::string Name;
  std::uint16_t KeyLength = 0;
  std::uint8_t Descending = 0;
  std::uint8_t CaseInsensitive = 0;
  std::uint8_t Unique = 0;
  std::uint8_t Compression = 0;
  std::uint8_t FieldCount = 0;
  std::array<std::uint8_t, kMaxIndexFields> FieldDescending{};
  std::array<std::uint16_t, kMaxIndexFields> FieldNumbers{};
  std::int32_t RootPage = 0;
  std::int32_t FreePageHead = 0;

  bool operator==(const TIndexDescriptor&) const = default;
};

// The indexes that serve a lookup or comparison on their first field when it is a string: the
// case-sensitive ones, the case-insensitive ones, or either. An index whose first field is not
// a string serves all three.
enum class TIndexCase { Sensitive, Insensitive, Any };

struct TIndexFileHeader {
  std::int32_t ChangeCounter = 0;
  std::uint8_t FormatVersion = kIndexFormatVersion;
  std::int32_t EndOfFile = kIndexHeaderSize;
  std::uint8_t SecondaryCount = 0;
  std::array<TIndexDescriptor, kIndexSlots> Indexes;
  std::int32_t ActiveRecords = 0;
  std::uint8_t NoPrimaryIndex = 0;
  std::uint8_t HeaderModified = 0;
};

TIndexDescriptor DecodeIndexDescriptor(const std::uint8_t* bytes);
void EncodeIndexDescriptor(const TIndexDescriptor& descriptor, std::uint8_t* bytes);
TIndexFileHeader DecodeIndexFileHeader(const std::uint8_t* bytes);
void EncodeIndexFileHeader(const TIndexFileHeader& header, std::uint8_t* bytes);
// The header of a new index file: version 3, first page at 4096, "Sys Deleted" in slot 31.
TIndexFileHeader NewIndexFileHeader();

}  // namespace katalog
