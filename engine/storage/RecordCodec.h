// Field values in a record slot.
//
//   slot offset  size          content
//             0  1             status: 0 in use, non-zero deleted (the engine writes 1)
//             1  4             in use: the slot's record number; deleted: next free slot
//             5  4             record identifier (also the value of an autoincrement field)
//             9  ...           per stored field at its FieldOffset: null flag (1 value, 0 null)
//                              and PhysicalSize data bytes
//
// Data encodings by type code: 1 characters ended by a zero byte, trailing blanks removed, at
// most DeclaredSize of them, empty = null; 2 int32 day number (0001-01-01 = 1); 3 int32 blob
// reference; 4 uint16 0 or 1; 5 int16; 6 int32; 12 uint16; 13 int32; 7 double; 8 int64 holding
// value x 10^PhysicalScale, rounded; 10 int32 milliseconds since midnight; 11 double holding
// day number x 86 400 000 + milliseconds; 9, 14, 15 and others the raw bytes. A null field has
// flag 0 and all data bytes 0. The autoincrement field has no bytes of its own.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "engine/storage/FieldDescriptor.h"

namespace katalog {

// A BCD field's stored amount exactly as the record holds it: the value x 10^PhysicalScale of
// the field it belongs to. Amounts beyond 2^53 units have no exact double, so BCD values travel
// in this form rather than as a floating value.
struct TBcdAmount {
  std::int64_t Scaled = 0;
  friend bool operator==(const TBcdAmount&, const TBcdAmount&) = default;
};

// A field's value: null, a boolean, an integer (also dates, times, blob references), a floating
// value (also date-times), text and raw bytes, or a BCD amount.
using TFieldValue =
    std::variant<std::monostate, bool, std::int64_t, double, std::string, TBcdAmount>;

// Stores the value into the record; false (nothing stored) when the value's kind does not suit
// the field's type or does not fit its range. A BCD field takes a TBcdAmount as it is, an integer
// as whole units and a floating value rounded half away from zero to PhysicalScale decimals.
bool StoreFieldValue(const TFieldDescriptor& field, const TFieldValue& value, std::uint8_t* record);
// The field's value; a BCD field's as a TBcdAmount.
TFieldValue LoadFieldValue(const TFieldDescriptor& field, const std::uint8_t* record);

}  // namespace katalog
