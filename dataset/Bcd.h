// TBcd: the binary-coded decimal value in which a BCD field hands its contents to and from the
// data set, and its conversion to and from the currency form (a value times 10 000 in an int64).
#pragma once

#include <array>
#include <cstdint>

namespace katalog {

// 34 bytes:
//   Precision          number of digits held, 1..64
//   SignSpecialPlaces  bit 7 the sign (1 = negative), bit 6 "special" (unused, 0),
//                      bits 0-5 the number of decimal places (at most Precision)
//   Fraction           Precision digits, most significant first, two per byte with the high
//                      nibble first; the last "places" digits follow the decimal point; nibbles
//                      after the last digit are 0
struct TBcd {
  std::uint8_t Precision;
  std::uint8_t SignSpecialPlaces;
  std::array<std::uint8_t, 32> Fraction;
};
static_assert(sizeof(TBcd) == 34);

inline constexpr std::uint8_t kBcdSignBit = 0x80;
inline constexpr std::uint8_t kBcdSpecialBit = 0x40;
inline constexpr std::uint8_t kBcdPlacesMask = 0x3F;
inline constexpr int kBcdMaxPrecision = 64;

// Writes scaledBy10000 / 10 000 as a BCD of `precision` digits, `decimals` of them after the
// decimal point. With fewer than 4 decimals the value is rounded half away from zero. A value
// that is zero after rounding is written without the sign bit. Returns false, leaving bcd alone,
// when precision is outside 1..64, decimals outside 0..63 or above precision, or the value has
// more integer digits than precision - decimals.
bool CurrToBcd(std::int64_t scaledBy10000, TBcd& bcd, int precision = 32, int decimals = 4);

// Reads a BCD into the currency form, rounding digits beyond the fourth decimal half away from
// zero. Returns false, leaving scaledBy10000 alone, on an invalid BCD (precision 0 or above 64,
// more places than digits, a digit nibble above 9) or a value outside the std::int64_t range.
// The special bit and the nibbles after the last digit are not looked at; a negative zero is 0.
bool BcdToCurr(const TBcd& bcd, std::int64_t& scaledBy10000);

}  // namespace katalog
