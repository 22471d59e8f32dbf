// The data file header: the first 127 bytes of a table's data file.
//
//   offset size  field
//        0    4  ChangeCounter      int32, +1 on every header write
//        4    4  BlobBlockSize      uint32, 0 means 512
//        8    1  FormatVersion      must be 3
//        9    4  FreeSlotHead       int32, first deleted slot to reuse, 0 = none
//       13    4  NextRecordNumber   int32, slots in the file + 1
//       17    4  LastRecordId       int32, last record identifier issued
//       21    2  RecordSize         uint16, bytes per slot including the 9-byte slot header
//       23    2  FieldCount         uint16, number of 768-byte field descriptors
//       25    2  BlobIndicator      int16, non-zero when the table has a blob file
//       27    8  LastWriteStamp     double, see below
//       35   51  (kept as read)
//       86    1  Encrypted          non-zero: descriptors, records, index and blob enciphered
//       87   16  StoredPassword     short string of up to 15 enciphered characters
//      103    2  LanguageId         uint16, language of the table locale, 0 = none
//      105    2  SortId             uint16, sort of the table locale
//      107    4  (kept as read)
//      111    2  ComputedAreaSize   int16
//      113    1  HeaderModified     1 when the last write came from a change
//      114   13  (kept as read)
//
// LastWriteStamp is the local time of the last write as a day count since 1899-12-30 (fraction =
// time of day) minus 693594. The subtraction gives a large negative number, but it is what every
// program sharing a table writes, so it is kept.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace katalog {

inline constexpr int kDataFileHeaderSize = 127;
inline constexpr std::uint8_t kDataFormatVersion = 3;
inline constexpr int kStoredPasswordWidth = 16;
inline constexpr int kMaxPasswordLength = 15;

struct TDataFileHeader {
  std::int32_t ChangeCounter = 0;
  std::uint32_t BlobBlockSize = 0;
  std::uint8_t FormatVersion = kDataFormatVersion;
  std::int32_t FreeSlotHead = 0;
  std::int32_t NextRecordNumber = 1;
  std::int32_t LastRecordId = 0;
  std::uint16_t RecordSize = 9;
  std::uint16_t FieldCount = 0;
  std::int16_t BlobIndicator = 0;
  double LastWriteStamp = 0;
  std::uint8_t Encrypted = 0;
  // The 16 bytes as stored: length byte, then enciphered characters.
  std::array<std::uint8_t, kStoredPasswordWidth> StoredPassword{};
  std::uint16_t LanguageId = 0;
  std::uint16_t SortId = 0;
  std::int16_t ComputedAreaSize = 0;
  std::uint8_t HeaderModified = 0;
  // The bytes as read, so that what this engine does not interpret is written back unchanged.
  std::array<std::uint8_t, kDataFileHeaderSize> Raw{};

  // The table locale's identifier (0 = none).
  std::uint32_t LocaleId() const {
    return LanguageId == 0 ? 0 : std::uint32_t{SortId} << 16 | LanguageId;
  }
  // The byte offset of record slot n (1-based).
  std::int64_t SlotOffset(std::int32_t n) const;
  std::int64_t DataStart() const;
};

TDataFileHeader DecodeDataFileHeader(const std::uint8_t* bytes);
void EncodeDataFileHeader(const TDataFileHeader& header, std::uint8_t* bytes);

// The stamp for a header written now.
double CurrentWriteStamp();

}  // namespace katalog
