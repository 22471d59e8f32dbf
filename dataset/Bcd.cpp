#include "dataset/Bcd.h"

#include <limits>

namespace katalog {

namespace {

constexpr int kCurrencyDecimals = 4;

int Digit(const TBcd& bcd, int index) {
  const std::uint8_t byte = bcd.Fraction[static_cast<std::size_t>(index / 2)];
  return index % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

void SetDigit(TBcd& bcd, int index, int digit) {
  std::uint8_t& byte = bcd.Fraction[static_cast<std::size_t>(index / 2)];
  byte = static_cast<std::uint8_t>(index % 2 == 0 ? (byte & 0x0F) | digit << 4
                                                  : (byte & 0xF0) | digit);
}

}  // namespace

bool CurrToBcd(std::int64_t scaledBy10000, TBcd& bcd, int precision, int decimals) {
  if (precision < 1 || precision > kBcdMaxPrecision) return false;
  if (decimals < 0 || decimals > kBcdPlacesMask || decimals > precision) return false;

  // The magnitude as an unsigned number, so that INT64_MIN needs no special case.
  const bool negative = scaledBy10000 < 0;
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(scaledBy10000)
                                     : static_cast<std::uint64_t>(scaledBy10000);

  // `magnitude` carries `kept` decimals; any further decimals the BCD holds are zeros. Dropping
  // decimals rounds half away from zero (on the magnitude); 2^63 + 5000 still fits the type.
  const int kept = decimals < kCurrencyDecimals ? decimals : kCurrencyDecimals;
  std::uint64_t divisor = 1;
  for (int i = kept; i < kCurrencyDecimals; ++i) divisor *= 10;
  magnitude = (magnitude + divisor / 2) / divisor;

  TBcd result{};
  result.Precision = static_cast<std::uint8_t>(precision);
  result.SignSpecialPlaces = static_cast<std::uint8_t>(decimals);
  if (negative && magnitude != 0) result.SignSpecialPlaces |= kBcdSignBit;

  // Digits are placed from the last one backwards: first the trailing zero decimals, then the
  // magnitude's digits. Digits left over when the front is reached do not fit.
  int index = precision - 1;
  for (int i = kept; i < decimals; ++i) SetDigit(result, index--, 0);
  while (magnitude != 0) {
    if (index < 0) return false;
    SetDigit(result, index--, static_cast<int>(magnitude % 10));
    magnitude /= 10;
  }
  bcd = result;
  return true;
}

bool BcdToCurr(const TBcd& bcd, std::int64_t& scaledBy10000) {
  const int precision = bcd.Precision;
  const int places = bcd.SignSpecialPlaces & kBcdPlacesMask;
  const bool negative = (bcd.SignSpecialPlaces & kBcdSignBit) != 0;
  if (precision < 1 || precision > kBcdMaxPrecision || places > precision) return false;
  for (int i = 0; i < precision; ++i) {
    if (Digit(bcd, i) > 9) return false;
  }

  // The largest magnitude the sign allows; 2^63 is INT64_MIN's.
  const std::uint64_t limit =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
  std::uint64_t magnitude = 0;
  // Appends one digit; false once the magnitude passes the limit. Later digits and the rounding
  // only make it larger, so passing it at any point means the value does not fit.
  auto append = [&](int digit) {
    const auto d = static_cast<std::uint64_t>(digit);
    if (magnitude > (limit - d) / 10) return false;
    magnitude = magnitude * 10 + d;
    return true;
  };

  // Integer digits and up to four decimals, then zeros for decimals the BCD lacks.
  const int keptEnd =
      precision - places + (places < kCurrencyDecimals ? places : kCurrencyDecimals);
  for (int i = 0; i < keptEnd; ++i) {
    if (!append(Digit(bcd, i))) return false;
  }
  for (int i = places; i < kCurrencyDecimals; ++i) {
    if (!append(0)) return false;
  }
  // The first dropped decimal decides the rounding, away from zero on the magnitude.
  if (keptEnd < precision && Digit(bcd, keptEnd) >= 5) {
    if (magnitude == limit) return false;
    ++magnitude;
  }

  scaledBy10000 =
      negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  return true;
}

}  // namespace katalog
