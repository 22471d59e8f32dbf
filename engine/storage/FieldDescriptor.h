// The field descriptor: one 768-byte block per stored field, after the data file header.
//
//   offset size  field
//        0    2  FieldNumber     int16, 1-based, equals the descriptor's position
//        2   82  StoredName      short string, blank-trimmed, at most 30 characters
//       84    1  FieldTypeCode   engine type code (below)
//       85    1  SubTypeCode     21 currency (code 7), 29 autoincrement (code 6), 22-28 blob kind
//       86    1  DeclaredSize    1-250 for codes 1, 9, 15; 0 otherwise
//       87    1  DeclaredScale   decimal places for code 8
//       88    1  PhysicalSize    data bytes in the record (recomputed at open)
//       89    1  PhysicalScale   copy of DeclaredScale (recomputed at open)
//       90    2  FieldOffset     int16, slot position of the null-flag byte (5 for autoincrement)
//       92    1  RequiredFlag    non-zero: a value must be provided
//       93    1  (unused)
//       94   51  MinValue        short string, minimum validity check, empty = none
//      145   51  MaxValue        short string, maximum validity check
//      196   51  DefaultValue    short string, default value
//      247  256  Expression      short string, expression of a computed field
//      503    1  (unused)
//      504    4  (the engine's compiled expression in memory; cleared at open)
//      508  260  (kept as read)
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/AsciiText.h"

namespace katalog {

inline constexpr int kFieldDescriptorSize = 768;
inline constexpr int kMaxFieldNameLength = 30;
inline constexpr int kMaxCheckTextLength = 50;
inline constexpr int kMaxDeclaredSize = 250;
// A field name starts with an ASCII letter or a letter of the code page (bytes 129-254).
inline bool IsFieldNameStart(char c) {
  const auto b = static_cast<std::uint8_t>(c);
  return platform::IsAsciiLetter(c) || (b >= 129 && b <= 254);
}
// Offset of the first field in a record slot: status byte, record number, record identifier.
inline constexpr int kSlotHeaderSize = 9;
inline constexpr int kRecordIdOffset = 5;

// Engine type codes.
namespace ft {
inline constexpr std::uint8_t kNone = 0;
inline constexpr std::uint8_t kString = 1;
inline constexpr std::uint8_t kDate = 2;
inline constexpr std::uint8_t kBlob = 3;
inline constexpr std::uint8_t kBoolean = 4;
inline constexpr std::uint8_t kSmallInt = 5;
inline constexpr std::uint8_t kInteger = 6;
inline constexpr std::uint8_t kFloat = 7;
inline constexpr std::uint8_t kBcd = 8;
inline constexpr std::uint8_t kBytes = 9;
inline constexpr std::uint8_t kTime = 10;
inline constexpr std::uint8_t kDateTime = 11;
inline constexpr std::uint8_t kWord = 12;
inline constexpr std::uint8_t kLongWord = 13;
inline constexpr std::uint8_t kTenBytes = 14;
inline constexpr std::uint8_t kVarBytes = 15;
}  // namespace ft

// Subtype codes with a meaning to the engine.
namespace st {
inline constexpr std::uint8_t kCurrency = 21;  // with a float
inline constexpr std::uint8_t kMemo = 22;      // 22-28: blob kinds
inline constexpr std::uint8_t kBinary = 23;
inline constexpr std::uint8_t kFormattedMemo = 24;
inline constexpr std::uint8_t kOle = 25;
inline constexpr std::uint8_t kGraphic = 26;
inline constexpr std::uint8_t kDBaseOle = 27;
inline constexpr std::uint8_t kTypedBinary = 28;
inline constexpr std::uint8_t kAutoIncrement = 29;  // with an integer
}  // namespace st

struct TFieldDescriptor {
  std::int16_t FieldNumber = 0;
  std::string Name;
  std::uint8_t FieldTypeCode = 0;
  std::uint8_t SubTypeCode = 0;
  std::uint8_t DeclaredSize = 0;
  std::uint8_t DeclaredScale = 0;
  std::uint8_t PhysicalSize = 0;
  std::uint8_t PhysicalScale = 0;
  std::int16_t FieldOffset = 0;
  std::uint8_t RequiredFlag = 0;
  std::string MinValue;
  std::string MaxValue;
  std::string DefaultValue;
  std::string Expression;
  std::array<std::uint8_t, kFieldDescriptorSize> Raw{};

  bool IsAutoIncrement() const {
    return FieldTypeCode == ft::kInteger && SubTypeCode == st::kAutoIncrement;
  }
  bool HasValidityChecks() const { return RequiredFlag || !MinValue.empty() || !MaxValue.empty(); }
};

// The number of data bytes a field of the type takes in a record.
std::uint8_t PhysicalSizeOf(std::uint8_t typeCode, std::uint8_t declaredSize);

TFieldDescriptor DecodeFieldDescriptor(const std::uint8_t* bytes);
void EncodeFieldDescriptor(const TFieldDescriptor& descriptor, std::uint8_t* bytes);

}  // namespace katalog
