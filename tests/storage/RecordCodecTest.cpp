// Tests of the record codec: a hand-written record slot holding one field of every type, the
// string rules (trimming, truncation, blank = null), null fields, and refusal of values of the
// wrong kind or out of the type's range (which must leave the record as it was).
#include "engine/storage/RecordCodec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "support/FieldLayout.h"

namespace katalog {
namespace {

using TBytes = std::vector<std::uint8_t>;

TBytes BytesOf(std::initializer_list<int> bytes) {
  TBytes out;
  for (int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
  return out;
}

using TTableLayout = katalog::testing::TFieldLayout;

TEST(RecordCodecPhysicalSizeTest, FollowsTheTypeCode) {
  EXPECT_EQ(PhysicalSizeOf(ft::kString, 10), 11);
  EXPECT_EQ(PhysicalSizeOf(ft::kString, 1), 2);
  EXPECT_EQ(PhysicalSizeOf(ft::kDate, 0), 4);
  EXPECT_EQ(PhysicalSizeOf(ft::kBlob, 0), 4);
  EXPECT_EQ(PhysicalSizeOf(ft::kBoolean, 0), 2);
  EXPECT_EQ(PhysicalSizeOf(ft::kSmallInt, 0), 2);
  EXPECT_EQ(PhysicalSizeOf(ft::kInteger, 0), 4);
  EXPECT_EQ(PhysicalSizeOf(ft::kFloat, 0), 8);
  EXPECT_EQ(PhysicalSizeOf(ft::kBcd, 0), 8);
  EXPECT_EQ(PhysicalSizeOf(ft::kBytes, 7), 7);
  EXPECT_EQ(PhysicalSizeOf(ft::kTime, 0), 4);
  EXPECT_EQ(PhysicalSizeOf(ft::kDateTime, 0), 8);
  EXPECT_EQ(PhysicalSizeOf(ft::kWord, 0), 2);
  EXPECT_EQ(PhysicalSizeOf(ft::kLongWord, 0), 4);
  EXPECT_EQ(PhysicalSizeOf(ft::kTenBytes, 0), 10);
  EXPECT_EQ(PhysicalSizeOf(ft::kVarBytes, 5), 5);
}

// One field of every type; offsets from 9 as the layout places them.
class RecordCodecEveryTypeTest : public ::testing::Test {
 protected:
  RecordCodecEveryTypeTest() {
    layout_.Add(ft::kString, 5);                          // 1: flag  9, data 10-15
    layout_.Add(ft::kDate);                               // 2: flag 16, data 17-20
    layout_.Add(ft::kBlob);                               // 3: flag 21, data 22-25
    layout_.Add(ft::kBoolean);                            // 4: flag 26, data 27-28
    layout_.Add(ft::kSmallInt);                           // 5: flag 29, data 30-31
    layout_.Add(ft::kInteger);                            // 6: flag 32, data 33-36
    layout_.Add(ft::kFloat);                              // 7: flag 37, data 38-45
    layout_.Add(ft::kBcd, 0, 2);                          // 8: flag 46, data 47-54
    layout_.Add(ft::kBytes, 3);                           // 9: flag 55, data 56-58
    layout_.Add(ft::kTime);                               // 10: flag 59, data 60-63
    layout_.Add(ft::kDateTime);                           // 11: flag 64, data 65-72
    layout_.Add(ft::kWord);                               // 12: flag 73, data 74-75
    layout_.Add(ft::kLongWord);                           // 13: flag 76, data 77-80
    layout_.Add(ft::kTenBytes);                           // 14: flag 81, data 82-91
    layout_.Add(ft::kVarBytes, 4);                        // 15: flag 92, data 93-96
    layout_.Add(ft::kInteger, 0, 0, st::kAutoIncrement);  // 16: the record identifier
  }

  // The slot with the values of StoresEveryTypeLittleEndian, written out by hand.
  static TBytes ExpectedSlot() {
    return BytesOf({
        0x00,                                                  // status: in use
        0x01, 0x00, 0x00, 0x00,                                // record number 1
        0x2A, 0x00, 0x00, 0x00,                                // record identifier 42
        0x01, 'H',  'i',  0x00, 0x00, 0x00, 0x00,              // string "Hi  "
        0x01, 0x5A, 0x95, 0x0A, 0x00,                          // date 1899-12-30 = day 693594
        0x01, 0x04, 0x03, 0x02, 0x01,                          // blob reference 0x01020304
        0x01, 0x01, 0x00,                                      // boolean true
        0x01, 0xFE, 0xFF,                                      // smallint -2
        0x01, 0xA0, 0x86, 0x01, 0x00,                          // integer 100000
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F,  // float 1.5
        0x01, 0xD2, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // bcd 12.34 scale 2 = 1234
        0x01, 0x01, 0x00, 0xFF,                                // bytes 01 00 FF
        0x01, 0x00, 0x2E, 0x93, 0x02,                          // time 12:00:00 = 43 200 000 ms
        0x01, 0x00, 0x00, 0x00, 0x00, 0x70, 0x99, 0x94, 0x41,  // date-time 0001-01-01 00:00
        0x01, 0xFF, 0xFF,                                      // word 65535
        0x01, 0x07, 0x00, 0x00, 0x00,                          // long word 7
        0x01, '0',  '1',  '2',  '3',  '4',  '5',  '6',  '7',  '8', '9',  // ten bytes
        0x01, 'a',  'b',  'c',  'd',                                     // variable bytes
    });
  }

  TTableLayout layout_;
};

TEST_F(RecordCodecEveryTypeTest, StoresEveryTypeLittleEndian) {
  ASSERT_EQ(layout_.RecordSize(), 97);
  TBytes record = layout_.EmptyRecord();
  record[1] = 0x01;
  record[5] = 0x2A;
  EXPECT_TRUE(StoreFieldValue(layout_[1], std::string("Hi  "), record.data()));
  EXPECT_TRUE(StoreFieldValue(layout_[2], std::int64_t{693594}, record.data()));
  EXPECT_TRUE(StoreFieldValue(layout_[3], std::int64_t{0x01020304}, record.data()));
  EXPECT_TRUE(StoreFieldValue(layout_[4], true, record.data()));
  EXPECT_TRUE(StoreFieldValue(layout_[5], std::int64_t{-2}, record.data()));
  EXPECT_TRUE(StoreFieldValue(layout_[6], std::int64_t{100000}, record.data()));
  EXPECT_TRUE(StoreFieldValue(layout_[7], 1.5, record.data()));
  EXPECT_TRUE(StoreFieldValue(layout_[8], 12.34, record.data()));
  EXPECT_TRUE(StoreFieldValue(layout_[9], std::string("\x01\x00\xFF", 3), record.data()));
  EXPECT_TRUE(StoreFieldValue(layout_[10], std::int64_t{43200000}, record.data()));
  EXPECT_TRUE(StoreFieldValue(layout_[11], 86400000.0, record.data()));
  EXPECT_TRUE(StoreFieldValue(layout_[12], std::int64_t{65535}, record.data()));
  EXPECT_TRUE(StoreFieldValue(layout_[13], std::int64_t{7}, record.data()));
  EXPECT_TRUE(StoreFieldValue(layout_[14], std::string("0123456789"), record.data()));
  EXPECT_TRUE(StoreFieldValue(layout_[15], std::string("abcd"), record.data()));
  EXPECT_EQ(record, ExpectedSlot());
}

TEST_F(RecordCodecEveryTypeTest, LoadsEveryTypeFromAHandWrittenSlot) {
  const TBytes record = ExpectedSlot();
  const std::uint8_t* r = record.data();
  EXPECT_EQ(LoadFieldValue(layout_[1], r), TFieldValue(std::string("Hi")));
  EXPECT_EQ(LoadFieldValue(layout_[2], r), TFieldValue(std::int64_t{693594}));
  EXPECT_EQ(LoadFieldValue(layout_[3], r), TFieldValue(std::int64_t{0x01020304}));
  EXPECT_EQ(LoadFieldValue(layout_[4], r), TFieldValue(true));
  EXPECT_EQ(LoadFieldValue(layout_[5], r), TFieldValue(std::int64_t{-2}));
  EXPECT_EQ(LoadFieldValue(layout_[6], r), TFieldValue(std::int64_t{100000}));
  EXPECT_EQ(LoadFieldValue(layout_[7], r), TFieldValue(1.5));
  EXPECT_EQ(LoadFieldValue(layout_[8], r), TFieldValue(TBcdAmount{1234}));
  EXPECT_EQ(LoadFieldValue(layout_[9], r), TFieldValue(std::string("\x01\x00\xFF", 3)));
  EXPECT_EQ(LoadFieldValue(layout_[10], r), TFieldValue(std::int64_t{43200000}));
  EXPECT_EQ(LoadFieldValue(layout_[11], r), TFieldValue(86400000.0));
  EXPECT_EQ(LoadFieldValue(layout_[12], r), TFieldValue(std::int64_t{65535}));
  EXPECT_EQ(LoadFieldValue(layout_[13], r), TFieldValue(std::int64_t{7}));
  EXPECT_EQ(LoadFieldValue(layout_[14], r), TFieldValue(std::string("0123456789")));
  EXPECT_EQ(LoadFieldValue(layout_[15], r), TFieldValue(std::string("abcd")));
  EXPECT_EQ(LoadFieldValue(layout_[16], r), TFieldValue(std::int64_t{42}));
}

TEST_F(RecordCodecEveryTypeTest, NullFieldsLoadAsNullWhateverTheirType) {
  const TBytes record = layout_.EmptyRecord();
  for (int number = 1; number <= 15; ++number) {
    EXPECT_TRUE(
        std::holds_alternative<std::monostate>(LoadFieldValue(layout_[number], record.data())))
        << "field " << number;
  }
}

TEST_F(RecordCodecEveryTypeTest, StoringNullClearsFlagAndData) {
  TBytes record = ExpectedSlot();
  for (int number = 1; number <= 15; ++number) {
    EXPECT_TRUE(StoreFieldValue(layout_[number], std::monostate{}, record.data()))
        << "field " << number;
  }
  // Only the slot header survives.
  TBytes expected = layout_.EmptyRecord();
  expected[1] = 0x01;
  expected[5] = 0x2A;
  EXPECT_EQ(record, expected);
}

TEST_F(RecordCodecEveryTypeTest, AutoIncrementValueIsTheRecordIdentifier) {
  TBytes record = layout_.EmptyRecord();
  record[5] = 0x78;
  record[6] = 0x56;
  record[7] = 0x34;
  record[8] = 0x12;
  EXPECT_EQ(LoadFieldValue(layout_[16], record.data()), TFieldValue(std::int64_t{0x12345678}));
}

class RecordCodecStringTest : public ::testing::Test {
 protected:
  RecordCodecStringTest() {
    layout_.Add(ft::kString, 10);  // flag 9, data 10-20
    layout_.Add(ft::kInteger);     // flag 21, data 22-25: must never be touched by the string
  }
  TTableLayout layout_;
};

TEST_F(RecordCodecStringTest, TrailingBlanksAreRemovedAndTheTextEndsWithZero) {
  TBytes record = layout_.EmptyRecord();
  ASSERT_TRUE(StoreFieldValue(layout_[1], std::string("abc   "), record.data()));
  TBytes expected = layout_.EmptyRecord();
  expected[9] = 1;
  expected[10] = 'a';
  expected[11] = 'b';
  expected[12] = 'c';
  EXPECT_EQ(record, expected);
  EXPECT_EQ(LoadFieldValue(layout_[1], record.data()), TFieldValue(std::string("abc")));
}

TEST_F(RecordCodecStringTest, LeadingAndInnerBlanksStay) {
  TBytes record = layout_.EmptyRecord();
  ASSERT_TRUE(StoreFieldValue(layout_[1], std::string(" a b "), record.data()));
  EXPECT_EQ(TBytes(record.begin() + 9, record.begin() + 16),
            BytesOf({1, ' ', 'a', ' ', 'b', 0, 0}));
}

TEST_F(RecordCodecStringTest, BlankTextIsStoredAsNull) {
  TBytes record = layout_.EmptyRecord();
  ASSERT_TRUE(StoreFieldValue(layout_[1], std::string("xyz"), record.data()));
  ASSERT_TRUE(StoreFieldValue(layout_[1], std::string("   "), record.data()));
  EXPECT_EQ(record, layout_.EmptyRecord());
  EXPECT_TRUE(std::holds_alternative<std::monostate>(LoadFieldValue(layout_[1], record.data())));
  ASSERT_TRUE(StoreFieldValue(layout_[1], std::string("xyz"), record.data()));
  ASSERT_TRUE(StoreFieldValue(layout_[1], std::string(), record.data()));
  EXPECT_EQ(record, layout_.EmptyRecord());
}

TEST_F(RecordCodecStringTest, ShorterTextLeavesNoRemainsOfALongerOne) {
  TBytes record = layout_.EmptyRecord();
  ASSERT_TRUE(StoreFieldValue(layout_[1], std::string("abcdefghij"), record.data()));
  ASSERT_TRUE(StoreFieldValue(layout_[1], std::string("xy"), record.data()));
  TBytes expected = layout_.EmptyRecord();
  expected[9] = 1;
  expected[10] = 'x';
  expected[11] = 'y';
  EXPECT_EQ(record, expected);
}

TEST_F(RecordCodecStringTest, FullLengthTextKeepsTheTerminatingZero) {
  TBytes record = layout_.EmptyRecord();
  ASSERT_TRUE(StoreFieldValue(layout_[1], std::string("abcdefghij"), record.data()));
  EXPECT_EQ(TBytes(record.begin() + 9, record.begin() + 21),
            BytesOf({1, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 0}));
}

TEST_F(RecordCodecStringTest, LongerTextIsCutToTheDeclaredSize) {
  TBytes record = layout_.EmptyRecord();
  ASSERT_TRUE(StoreFieldValue(layout_[1], std::string("abcdefghijKLMNOP"), record.data()));
  TBytes expected = layout_.EmptyRecord();
  expected[9] = 1;
  for (int i = 0; i < 10; ++i) expected[10 + i] = static_cast<std::uint8_t>('a' + i);
  EXPECT_EQ(record, expected);
  EXPECT_EQ(LoadFieldValue(layout_[1], record.data()), TFieldValue(std::string("abcdefghij")));
}

TEST_F(RecordCodecStringTest, TextIsRefusedByNonTextFieldsAndNumbersByTextFields) {
  TBytes record = layout_.EmptyRecord();
  ASSERT_TRUE(StoreFieldValue(layout_[1], std::string("keep"), record.data()));
  ASSERT_TRUE(StoreFieldValue(layout_[2], std::int64_t{5}, record.data()));
  const TBytes before = record;
  EXPECT_FALSE(StoreFieldValue(layout_[1], std::int64_t{12}, record.data()));
  EXPECT_FALSE(StoreFieldValue(layout_[1], 1.5, record.data()));
  EXPECT_FALSE(StoreFieldValue(layout_[2], std::string("12"), record.data()));
  EXPECT_EQ(record, before);
}

// Stores into a record of a recognisable pattern; a refused value must leave it as it was.
void ExpectRefused(const TTableLayout& layout, const TFieldDescriptor& field,
                   const TFieldValue& value) {
  TBytes record = layout.EmptyRecord();
  for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(i * 7);
  const TBytes before = record;
  EXPECT_FALSE(StoreFieldValue(field, value, record.data())) << "type " << int{field.FieldTypeCode};
  EXPECT_EQ(record, before) << "type " << int{field.FieldTypeCode};
}

TEST(RecordCodecRangeTest, SmallIntTakesOnlyInt16Values) {
  TTableLayout layout;
  const TFieldDescriptor field = layout.Add(ft::kSmallInt);
  ExpectRefused(layout, field, std::int64_t{70000});
  ExpectRefused(layout, field, std::int64_t{32768});
  ExpectRefused(layout, field, std::int64_t{-32769});
  TBytes record = layout.EmptyRecord();
  ASSERT_TRUE(StoreFieldValue(field, std::int64_t{-32768}, record.data()));
  EXPECT_EQ(TBytes(record.begin() + 9, record.end()), BytesOf({1, 0x00, 0x80}));
  ASSERT_TRUE(StoreFieldValue(field, std::int64_t{32767}, record.data()));
  EXPECT_EQ(TBytes(record.begin() + 9, record.end()), BytesOf({1, 0xFF, 0x7F}));
}

TEST(RecordCodecRangeTest, WordTakesOnlyUint16Values) {
  TTableLayout layout;
  const TFieldDescriptor field = layout.Add(ft::kWord);
  ExpectRefused(layout, field, std::int64_t{-1});
  ExpectRefused(layout, field, std::int64_t{65536});
  TBytes record = layout.EmptyRecord();
  ASSERT_TRUE(StoreFieldValue(field, std::int64_t{0x1234}, record.data()));
  EXPECT_EQ(TBytes(record.begin() + 9, record.end()), BytesOf({1, 0x34, 0x12}));
}

TEST(RecordCodecRangeTest, Int32FieldsTakeOnlyInt32Values) {
  for (std::uint8_t type : {ft::kInteger, ft::kDate, ft::kTime, ft::kBlob, ft::kLongWord}) {
    TTableLayout layout;
    const TFieldDescriptor field = layout.Add(type);
    ExpectRefused(layout, field, std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1);
    ExpectRefused(layout, field, std::int64_t{std::numeric_limits<std::int32_t>::min()} - 1);
    TBytes record = layout.EmptyRecord();
    ASSERT_TRUE(StoreFieldValue(field, std::int64_t{-2147483648LL}, record.data()));
    EXPECT_EQ(TBytes(record.begin() + 9, record.end()), BytesOf({1, 0x00, 0x00, 0x00, 0x80}))
        << int{type};
  }
}

TEST(RecordCodecRangeTest, NumbersRefuseText) {
  for (std::uint8_t type : {ft::kDate, ft::kBoolean, ft::kSmallInt, ft::kInteger, ft::kFloat,
                            ft::kBcd, ft::kTime, ft::kDateTime, ft::kWord}) {
    TTableLayout layout;
    const TFieldDescriptor field = layout.Add(type);
    ExpectRefused(layout, field, std::string("1"));
  }
}

TEST(RecordCodecRangeTest, IntegersRefuseFractions) {
  TTableLayout layout;
  const TFieldDescriptor field = layout.Add(ft::kInteger);
  ExpectRefused(layout, field, 2.5);
}

TEST(RecordCodecRangeTest, RawFieldsRefuseNumbers) {
  for (std::uint8_t type : {ft::kBytes, ft::kTenBytes, ft::kVarBytes}) {
    TTableLayout layout;
    const TFieldDescriptor field = layout.Add(type, 4);
    ExpectRefused(layout, field, std::int64_t{1});
  }
}

TEST(RecordCodecBooleanTest, AnyNonZeroIntegerIsStoredAsOne) {
  TTableLayout layout;
  const TFieldDescriptor field = layout.Add(ft::kBoolean);
  TBytes record = layout.EmptyRecord();
  ASSERT_TRUE(StoreFieldValue(field, std::int64_t{5}, record.data()));
  EXPECT_EQ(TBytes(record.begin() + 9, record.end()), BytesOf({1, 0x01, 0x00}));
  ASSERT_TRUE(StoreFieldValue(field, std::int64_t{-1}, record.data()));
  EXPECT_EQ(TBytes(record.begin() + 9, record.end()), BytesOf({1, 0x01, 0x00}));
  ASSERT_TRUE(StoreFieldValue(field, false, record.data()));
  EXPECT_EQ(TBytes(record.begin() + 9, record.end()), BytesOf({1, 0x00, 0x00}));
  EXPECT_EQ(LoadFieldValue(field, record.data()), TFieldValue(false));
}

TEST(RecordCodecBcdTest, ValueIsScaledAndRounded) {
  TTableLayout layout;
  const TFieldDescriptor field = layout.Add(ft::kBcd, 0, 3);
  TBytes record = layout.EmptyRecord();
  // 1.2346 x 1000 = 1234.6, rounded 1235 = 0x04D3.
  ASSERT_TRUE(StoreFieldValue(field, 1.2346, record.data()));
  EXPECT_EQ(TBytes(record.begin() + 9, record.end()), BytesOf({1, 0xD3, 0x04, 0, 0, 0, 0, 0, 0}));
  // -0.0026 x 1000 = -2.6, rounded -3.
  ASSERT_TRUE(StoreFieldValue(field, -0.0026, record.data()));
  EXPECT_EQ(TBytes(record.begin() + 9, record.end()),
            BytesOf({1, 0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  // Integers are values too: 7 x 1000 = 7000 = 0x1B58.
  ASSERT_TRUE(StoreFieldValue(field, std::int64_t{7}, record.data()));
  EXPECT_EQ(TBytes(record.begin() + 9, record.end()), BytesOf({1, 0x58, 0x1B, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(LoadFieldValue(field, record.data()), TFieldValue(TBcdAmount{7000}));
}

// The stored amount survives the codec whole: as an amount, and as whole units, up to the ends
// of the 64-bit range and past 2^53 units, where a double holds no more than every other value.
TEST(RecordCodecBcdTest, AmountsRoundTripExactly) {
  struct TCase {
    std::uint8_t Scale;
    TFieldValue Value;
    std::int64_t Stored;
  };
  const TCase cases[] = {
      {2, TBcdAmount{9007199254740993}, 9007199254740993},  // 90071992547409.93
      {4, TBcdAmount{9223372036854775807}, 9223372036854775807},
      {2, TBcdAmount{-12345678901234567}, -12345678901234567},
      {0, TBcdAmount{std::numeric_limits<std::int64_t>::min()},
       std::numeric_limits<std::int64_t>::min()},
      {0, std::int64_t{9007199254740993}, 9007199254740993},
      {2, std::int64_t{-92233720368547758}, -9223372036854775800},
      {18, std::int64_t{-9}, -9000000000000000000},
  };
  for (const TCase& c : cases) {
    TTableLayout layout;
    const TFieldDescriptor field = layout.Add(ft::kBcd, 0, c.Scale);
    TBytes record = layout.EmptyRecord();
    ASSERT_TRUE(StoreFieldValue(field, c.Value, record.data())) << c.Stored;
    EXPECT_EQ(LoadFieldValue(field, record.data()), TFieldValue(TBcdAmount{c.Stored}));
  }
  // Whole units beyond the range at the field's scale are refused, not wrapped.
  TTableLayout layout;
  const TFieldDescriptor field = layout.Add(ft::kBcd, 0, 2);
  ExpectRefused(layout, field, std::int64_t{92233720368547759});
  ExpectRefused(layout, field, 1e17);
}

TEST(RecordCodecBcdTest, ScaleZeroStoresWholeNumbers) {
  TTableLayout layout;
  const TFieldDescriptor field = layout.Add(ft::kBcd, 0, 0);
  TBytes record = layout.EmptyRecord();
  ASSERT_TRUE(StoreFieldValue(field, 299.7, record.data()));
  EXPECT_EQ(TBytes(record.begin() + 9, record.end()), BytesOf({1, 0x2C, 0x01, 0, 0, 0, 0, 0, 0}));
}

TEST(RecordCodecDateTimeTest, DateTimeIsDayNumberTimesADayInMillisecondsPlusTime) {
  TTableLayout layout;
  const TFieldDescriptor field = layout.Add(ft::kDateTime);
  TBytes record = layout.EmptyRecord();
  // 1899-12-30 12:00 = 693594 x 86 400 000 + 43 200 000 = 59 926 564 800 000.
  ASSERT_TRUE(StoreFieldValue(field, 59926564800000.0, record.data()));
  EXPECT_EQ(TBytes(record.begin() + 9, record.end()),
            BytesOf({1, 0x00, 0x00, 0xC3, 0xCD, 0x5E, 0x40, 0xCB, 0x42}));
}

TEST(RecordCodecRawBytesTest, RawFieldsKeepEveryByteIncludingZeros) {
  TTableLayout layout;
  const TFieldDescriptor field = layout.Add(ft::kBytes, 4);
  TBytes record = layout.EmptyRecord();
  const std::string raw("\x00\x20\x00\x20", 4);
  ASSERT_TRUE(StoreFieldValue(field, raw, record.data()));
  EXPECT_EQ(TBytes(record.begin() + 9, record.end()), BytesOf({1, 0x00, 0x20, 0x00, 0x20}));
  EXPECT_EQ(LoadFieldValue(field, record.data()), TFieldValue(raw));
}

}  // namespace
}  // namespace katalog
