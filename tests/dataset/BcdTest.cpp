#include "dataset/Bcd.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace katalog {
namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

// A BCD written by hand: digits most significant first, one per character.
TBcd MakeBcd(const char* digits, int places, bool negative = false) {
  TBcd bcd{};
  int count = 0;
  for (const char* p = digits; *p; ++p, ++count) {
    const int digit = *p >= 'A' ? *p - 'A' + 10 : *p - '0';
    auto& byte = bcd.Fraction[static_cast<std::size_t>(count / 2)];
    byte = static_cast<std::uint8_t>(count % 2 == 0 ? digit << 4 : byte | digit);
  }
  bcd.Precision = static_cast<std::uint8_t>(count);
  bcd.SignSpecialPlaces = static_cast<std::uint8_t>(places | (negative ? kBcdSignBit : 0));
  return bcd;
}

std::int64_t ReadBack(const TBcd& bcd) {
  std::int64_t value = 42;
  EXPECT_TRUE(BcdToCurr(bcd, value));
  return value;
}

TEST(BcdRoundTripTest, KeepsEveryCurrencyValue) {
  const std::int64_t values[] = {0,     1,     -1,   10000, -10000,   123456789,
                                 -5000, 99999, kMax, kMin,  kMax - 1, kMin + 1};
  for (const std::int64_t value : values) {
    TBcd bcd{};
    ASSERT_TRUE(CurrToBcd(value, bcd)) << value;
    EXPECT_EQ(ReadBack(bcd), value) << value;
    // More decimals than the currency form keeps are zeros and read back the same.
    ASSERT_TRUE(CurrToBcd(value, bcd, 64, 30)) << value;
    EXPECT_EQ(ReadBack(bcd), value) << value;
  }
}

TEST(BcdLayoutTest, KnownValueNibbles) {
  TBcd bcd{};
  bcd.Fraction.fill(0xEE);
  ASSERT_TRUE(CurrToBcd(1234500, bcd, 32, 2));  // 123.45
  EXPECT_EQ(bcd.Precision, 32);
  EXPECT_EQ(bcd.SignSpecialPlaces, 2);
  // 27 leading zeros, then 1 2 3 4 5: digit 27 is the low nibble of byte 13.
  for (std::size_t i = 0; i < 13; ++i) EXPECT_EQ(bcd.Fraction[i], 0) << i;
  EXPECT_EQ(bcd.Fraction[13], 0x01);
  EXPECT_EQ(bcd.Fraction[14], 0x23);
  EXPECT_EQ(bcd.Fraction[15], 0x45);
  for (std::size_t i = 16; i < 32; ++i) EXPECT_EQ(bcd.Fraction[i], 0) << i;
}

TEST(BcdLayoutTest, OddPrecisionSignAndTrailingZeroDecimals) {
  TBcd bcd{};
  EXPECT_FALSE(CurrToBcd(-15000, bcd, 5, 5));  // 1.50000 needs six digits
  ASSERT_TRUE(CurrToBcd(-15000, bcd, 7, 6));   // -1.500000
  EXPECT_EQ(bcd.Precision, 7);
  EXPECT_EQ(bcd.SignSpecialPlaces, kBcdSignBit | 6);
  EXPECT_EQ(bcd.Fraction[0], 0x15);
  EXPECT_EQ(bcd.Fraction[1], 0x00);
  EXPECT_EQ(bcd.Fraction[2], 0x00);
  EXPECT_EQ(bcd.Fraction[3], 0x00);  // the unused nibble after digit 7
  EXPECT_EQ(ReadBack(bcd), -15000);

  ASSERT_TRUE(CurrToBcd(1, bcd, 4, 4));  // 0.0001
  EXPECT_EQ(bcd.Fraction[0], 0x00);
  EXPECT_EQ(bcd.Fraction[1], 0x01);
  ASSERT_TRUE(CurrToBcd(-1, bcd, 4, 4));
  EXPECT_EQ(bcd.SignSpecialPlaces, kBcdSignBit | 4);
  EXPECT_EQ(ReadBack(bcd), -1);
}

TEST(BcdWriteTest, RefusesValuesWithTooManyIntegerDigits) {
  TBcd bcd = MakeBcd("777", 1);
  const TBcd before = bcd;
  EXPECT_TRUE(CurrToBcd(999990000, bcd, 7, 2));    // 99999.00
  EXPECT_FALSE(CurrToBcd(1000000000, bcd, 7, 2));  // 100000.00
  EXPECT_FALSE(CurrToBcd(-1000000000, bcd, 7, 2));
  EXPECT_FALSE(CurrToBcd(10000, bcd, 4, 4));  // 1.0000 has no room
  EXPECT_FALSE(CurrToBcd(kMin, bcd, 14, 0));  // 922337203685477.5808 rounds to 15 digits
  EXPECT_TRUE(CurrToBcd(kMin, bcd, 15, 0));
  std::int64_t value = 42;  // -922337203685478 is beyond the currency range
  EXPECT_FALSE(BcdToCurr(bcd, value));
  bcd = before;
  EXPECT_FALSE(CurrToBcd(10000, bcd, 1, 1));
  EXPECT_EQ(bcd.Precision, before.Precision);
  EXPECT_EQ(bcd.Fraction, before.Fraction);
}

TEST(BcdWriteTest, RefusesBadPrecisionAndDecimals) {
  TBcd bcd{};
  EXPECT_FALSE(CurrToBcd(0, bcd, 0, 0));
  EXPECT_FALSE(CurrToBcd(0, bcd, 65, 4));
  EXPECT_FALSE(CurrToBcd(0, bcd, 64, 64));  // places hold at most 63
  EXPECT_FALSE(CurrToBcd(0, bcd, 10, -1));
  EXPECT_FALSE(CurrToBcd(0, bcd, 3, 4));
  EXPECT_TRUE(CurrToBcd(0, bcd, 64, 63));
  EXPECT_TRUE(CurrToBcd(0, bcd, 1, 0));
}

TEST(BcdWriteTest, RoundsHalfAwayFromZeroBelowFourDecimals) {
  TBcd bcd{};
  const struct {
    std::int64_t in;
    int decimals;
    std::int64_t out;
  } cases[] = {{12345, 3, 12350},     {12344, 3, 12340},   {-12345, 3, -12350},
               {15000, 0, 20000},     {-15000, 0, -20000}, {14999, 0, 10000},
               {1234567, 2, 1234600}, {5, 3, 10},          {4, 3, 0}};
  for (const auto& c : cases) {
    ASSERT_TRUE(CurrToBcd(c.in, bcd, 20, c.decimals)) << c.in;
    EXPECT_EQ(bcd.SignSpecialPlaces & kBcdPlacesMask, c.decimals);
    EXPECT_EQ(ReadBack(bcd), c.out) << c.in << " with " << c.decimals;
  }
  // Rounding can add an integer digit that no longer fits.
  EXPECT_TRUE(CurrToBcd(99994999, bcd, 4, 0));   // 9999.4999 -> 9999
  EXPECT_FALSE(CurrToBcd(99995000, bcd, 4, 0));  // 9999.5 -> 10000
  // A value that rounds to zero carries no sign.
  ASSERT_TRUE(CurrToBcd(-4, bcd, 5, 3));
  EXPECT_EQ(bcd.SignSpecialPlaces, 3);
}

TEST(BcdReadTest, RoundsDecimalsBeyondFour) {
  EXPECT_EQ(ReadBack(MakeBcd("123456", 5)), 123456 / 10 + 1);  // 1.23456 -> 1.2346
  EXPECT_EQ(ReadBack(MakeBcd("123454", 5)), 12345);
  EXPECT_EQ(ReadBack(MakeBcd("123456", 5, true)), -12346);
  EXPECT_EQ(ReadBack(MakeBcd("000049999", 9)), 0);  // 0.000049999
  EXPECT_EQ(ReadBack(MakeBcd("000050000", 9)), 1);
  EXPECT_EQ(ReadBack(MakeBcd("000050000", 9, true)), -1);
  EXPECT_EQ(ReadBack(MakeBcd("12", 0)), 120000);
  EXPECT_EQ(ReadBack(MakeBcd("12", 2)), 1200);  // 0.12
}

TEST(BcdReadTest, NegativeZeroIsZero) {
  EXPECT_EQ(ReadBack(MakeBcd("0000", 2, true)), 0);
  EXPECT_EQ(ReadBack(MakeBcd("000004", 6, true)), 0);  // rounds to zero
}

TEST(BcdReadTest, RefusesInvalidBcds) {
  std::int64_t value = 42;
  EXPECT_FALSE(BcdToCurr(MakeBcd("12A4", 2), value));
  EXPECT_FALSE(BcdToCurr(MakeBcd("F", 0), value));
  EXPECT_FALSE(BcdToCurr(MakeBcd("123", 4), value));  // more places than digits
  TBcd bcd = MakeBcd("1", 0);
  bcd.Precision = 0;
  EXPECT_FALSE(BcdToCurr(bcd, value));
  bcd.Precision = 65;
  EXPECT_FALSE(BcdToCurr(bcd, value));
  EXPECT_EQ(value, 42);

  // Nibbles after the last digit and the special bit are not looked at.
  bcd = MakeBcd("123", 0);
  bcd.Fraction[1] |= 0x0F;
  bcd.Fraction[31] = 0xFF;
  bcd.SignSpecialPlaces |= kBcdSpecialBit;
  EXPECT_EQ(ReadBack(bcd), 1230000);
  bcd.Precision = 64;  // now the 0xF nibbles are digits
  EXPECT_FALSE(BcdToCurr(bcd, value));
}

TEST(BcdReadTest, RefusesValuesBeyondInt64) {
  std::int64_t value = 42;
  EXPECT_EQ(ReadBack(MakeBcd("922337203685477", 0)), 9223372036854770000);
  EXPECT_EQ(ReadBack(MakeBcd("9223372036854775807", 4)), kMax);
  EXPECT_EQ(ReadBack(MakeBcd("9223372036854775808", 4, true)), kMin);
  EXPECT_FALSE(BcdToCurr(MakeBcd("9223372036854775808", 4), value));
  EXPECT_FALSE(BcdToCurr(MakeBcd("9223372036854775809", 4, true), value));
  EXPECT_FALSE(BcdToCurr(MakeBcd("922337203685478", 0), value));
  // The rounding digit pushes the largest magnitude over.
  EXPECT_EQ(ReadBack(MakeBcd("92233720368547758074", 5)), kMax);
  EXPECT_FALSE(BcdToCurr(MakeBcd("92233720368547758075", 5), value));
  EXPECT_FALSE(BcdToCurr(MakeBcd("92233720368547758085", 5, true), value));
  // Many leading zeros do not count against the range.
  EXPECT_EQ(
      ReadBack(MakeBcd("0000000000000000000000000000000000000000000000000000000000001234", 2)),
      123400);
  EXPECT_EQ(value, 42);
}

}  // namespace
}  // namespace katalog
