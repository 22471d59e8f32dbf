// Tests of index keys: hand-written key bytes for every value encoding, the order those bytes
// give (nulls, descending fields, the record identifier suffix), comparison under a table locale
// (Czech, where "ch" sorts after "h"), the deleted-records index, and the range helpers that turn
// a partial key into its lowest and highest completion.
#include "engine/index/Keys.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/RecordCodec.h"
#include "platform/CodePage.h"
#include "platform/Locale.h"
#include "support/FieldLayout.h"

namespace katalog {
namespace {

using TBytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kCzech = 0x0405;

TBytes BytesOf(std::initializer_list<int> bytes) {
  TBytes out;
  for (int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
  return out;
}

// Text in the Czech code page.
std::string Cz(std::u16string_view text) {
  return platform::CodePage(1250).FromUtf16(text);
}

const std::array<std::uint8_t, 256>& CzechOrder() {
  static const std::array<std::uint8_t, 256> order = platform::FindLocale(kCzech)->CollationOrder();
  return order;
}

// A hand-made table with one index over some of its fields. Stored fields are laid out from
// offset 9, each a null-flag byte and its data; an autoincrement field is the record identifier.
class TKeyBench {
 public:
  int Add(std::uint8_t type, std::uint8_t declared = 0, std::uint8_t scale = 0,
          std::uint8_t subType = 0) {
    return layout_.Add(type, declared, scale, subType).FieldNumber;
  }

  // The index over the given fields in the given slot; the key length is summed by hand here.
  TIndexDescriptor& Index(std::initializer_list<int> numbers, int slot = kPrimarySlot,
                          bool unique = false) {
    slot_ = slot;
    index_ = TIndexDescriptor{};
    index_.Unique = unique ? 1 : 0;
    int length = 0;
    for (int number : numbers) {
      index_.FieldNumbers[index_.FieldCount++] = static_cast<std::uint16_t>(number);
      length += 1 + layout_[number].PhysicalSize;
    }
    if (slot != kPrimarySlot && slot != kDeletedSlot && !unique) length += 4;
    if (slot == kDeletedSlot) length = kDeletedKeyLength;
    index_.KeyLength = static_cast<std::uint16_t>(length);
    return index_;
  }

  TKeyContext Context(std::uint32_t localeId = 0) const {
    TKeyContext context;
    context.Index = &index_;
    context.Slot = slot_;
    context.Fields = &layout_.Fields();
    context.LocaleId = localeId;
    context.CollationOrder = localeId != 0 ? &CzechOrder() : nullptr;
    return context;
  }

  TBytes Record(std::int32_t recordId = 1) const {
    TBytes record = layout_.EmptyRecord();
    record[5] = static_cast<std::uint8_t>(recordId);
    record[6] = static_cast<std::uint8_t>(recordId >> 8);
    record[7] = static_cast<std::uint8_t>(recordId >> 16);
    record[8] = static_cast<std::uint8_t>(recordId >> 24);
    return record;
  }
  // A record holding one value in field `number` (the others null).
  TBytes RecordWith(int number, const TFieldValue& value, std::int32_t recordId = 1) const {
    TBytes record = Record(recordId);
    EXPECT_TRUE(StoreFieldValue(layout_[number], value, record.data()));
    return record;
  }

  // The key of a record, built into a buffer of garbage.
  TBytes Key(const TBytes& record, std::uint32_t localeId = 0) const {
    TBytes key(index_.KeyLength, 0xAA);
    BuildKey(Context(localeId), record.data(), key.data());
    return key;
  }
  // The key of a record holding one value in field 1.
  TBytes KeyOf(const TFieldValue& value, std::uint32_t localeId = 0,
               std::int32_t recordId = 1) const {
    return Key(RecordWith(1, value, recordId), localeId);
  }

  int Compare(const TBytes& a, const TBytes& b, std::uint32_t localeId = 0) const {
    return CompareKeys(Context(localeId), a.data(), b.data(), index_.KeyLength);
  }

  const TFieldDescriptor& Field(int number) const { return layout_[number]; }

 private:
  katalog::testing::TFieldLayout layout_;
  TIndexDescriptor index_;
  int slot_ = kPrimarySlot;
};

// --- Key length -------------------------------------------------------------------------------

TEST(KeysLengthTest, SumsSlotsAndTheSuffix) {
  TKeyBench bench;
  const int id = bench.Add(ft::kInteger);
  const int name = bench.Add(ft::kString, 10);
  const int small = bench.Add(ft::kSmallInt);
  const std::vector<const TFieldDescriptor*> fields = {&bench.Field(id), &bench.Field(name),
                                                       &bench.Field(small)};
  EXPECT_EQ(KeyLengthOf(fields, false), 5 + 12 + 3);
  EXPECT_EQ(KeyLengthOf(fields, true), 5 + 12 + 3 + 4);
  EXPECT_EQ(KeyLengthOf({}, true), 4);
  EXPECT_EQ(KeyLengthOf({}, false), 0);
}

TEST(KeysLengthTest, SuffixOnlyForNonUniqueSecondaryIndexes) {
  TKeyBench bench;
  bench.Add(ft::kInteger);
  bench.Index({1}, kPrimarySlot);
  EXPECT_FALSE(bench.Context().HasSuffix());
  bench.Index({1}, 1);
  EXPECT_TRUE(bench.Context().HasSuffix());
  bench.Index({1}, 30);
  EXPECT_TRUE(bench.Context().HasSuffix());
  bench.Index({1}, 1, /*unique=*/true);
  EXPECT_FALSE(bench.Context().HasSuffix());
  bench.Index({}, kDeletedSlot);
  EXPECT_FALSE(bench.Context().HasSuffix());
}

// --- Value encodings --------------------------------------------------------------------------

TEST(KeysIntegerEncodingTest, Int32IsBigEndianWithTheSignBitInverted) {
  TKeyBench bench;
  bench.Add(ft::kInteger);
  bench.Index({1});
  EXPECT_EQ(bench.KeyOf(std::int64_t{-1}), BytesOf({0x01, 0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(bench.KeyOf(std::int64_t{0}), BytesOf({0x01, 0x80, 0x00, 0x00, 0x00}));
  EXPECT_EQ(bench.KeyOf(std::int64_t{1}), BytesOf({0x01, 0x80, 0x00, 0x00, 0x01}));
  EXPECT_EQ(bench.KeyOf(std::int64_t{0x12345678}), BytesOf({0x01, 0x92, 0x34, 0x56, 0x78}));
  EXPECT_EQ(bench.KeyOf(std::int64_t{std::numeric_limits<std::int32_t>::min()}),
            BytesOf({0x01, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(bench.KeyOf(std::int64_t{std::numeric_limits<std::int32_t>::max()}),
            BytesOf({0x01, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(KeysIntegerEncodingTest, DatesAndTimesEncodeAsInt32) {
  TKeyBench bench;
  bench.Add(ft::kDate);
  bench.Add(ft::kTime);
  bench.Index({1, 2});
  TBytes record = bench.Record();
  // 1899-12-30 = day 693594 = 0x000A955A; 12:00 = 43 200 000 ms = 0x02932E00.
  ASSERT_TRUE(StoreFieldValue(bench.Field(1), std::int64_t{693594}, record.data()));
  ASSERT_TRUE(StoreFieldValue(bench.Field(2), std::int64_t{43200000}, record.data()));
  EXPECT_EQ(bench.Key(record),
            BytesOf({0x01, 0x80, 0x0A, 0x95, 0x5A, 0x01, 0x82, 0x93, 0x2E, 0x00}));
}

TEST(KeysIntegerEncodingTest, SmallIntIsTwoBytes) {
  TKeyBench bench;
  bench.Add(ft::kSmallInt);
  bench.Index({1});
  EXPECT_EQ(bench.KeyOf(std::int64_t{-32768}), BytesOf({0x01, 0x00, 0x00}));
  EXPECT_EQ(bench.KeyOf(std::int64_t{-1}), BytesOf({0x01, 0x7F, 0xFF}));
  EXPECT_EQ(bench.KeyOf(std::int64_t{1}), BytesOf({0x01, 0x80, 0x01}));
  EXPECT_EQ(bench.KeyOf(std::int64_t{32767}), BytesOf({0x01, 0xFF, 0xFF}));
}

TEST(KeysIntegerEncodingTest, BcdIsTheScaledInt64) {
  TKeyBench bench;
  bench.Add(ft::kBcd, 0, 2);
  bench.Index({1});
  // 1.5 x 100 = 150 = 0x96; -0.01 x 100 = -1.
  EXPECT_EQ(bench.KeyOf(1.5), BytesOf({0x01, 0x80, 0, 0, 0, 0, 0, 0, 0x96}));
  EXPECT_EQ(bench.KeyOf(-0.01), BytesOf({0x01, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_LT(bench.Compare(bench.KeyOf(-0.01), bench.KeyOf(0.0)), 0);
  EXPECT_LT(bench.Compare(bench.KeyOf(-1000.0), bench.KeyOf(-0.01)), 0);
}

TEST(KeysIntegerEncodingTest, BooleanAndWordAreUnsignedBigEndian) {
  TKeyBench bench;
  bench.Add(ft::kBoolean);
  bench.Add(ft::kWord);
  bench.Index({1, 2});
  TBytes record = bench.Record();
  ASSERT_TRUE(StoreFieldValue(bench.Field(1), true, record.data()));
  ASSERT_TRUE(StoreFieldValue(bench.Field(2), std::int64_t{0xABCD}, record.data()));
  EXPECT_EQ(bench.Key(record), BytesOf({0x01, 0x00, 0x01, 0x01, 0xAB, 0xCD}));
  ASSERT_TRUE(StoreFieldValue(bench.Field(1), false, record.data()));
  ASSERT_TRUE(StoreFieldValue(bench.Field(2), std::int64_t{1}, record.data()));
  EXPECT_EQ(bench.Key(record), BytesOf({0x01, 0x00, 0x00, 0x01, 0x00, 0x01}));
}

TEST(KeysDoubleEncodingTest, PositiveGetsTheTopBitNegativeIsComplemented) {
  TKeyBench bench;
  bench.Add(ft::kFloat);
  bench.Index({1});
  EXPECT_EQ(bench.KeyOf(1.0), BytesOf({0x01, 0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bench.KeyOf(-1.0), BytesOf({0x01, 0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(bench.KeyOf(0.0), BytesOf({0x01, 0x80, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bench.KeyOf(-0.0), BytesOf({0x01, 0x80, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(KeysDoubleEncodingTest, DateTimeEncodesAsDouble) {
  TKeyBench bench;
  bench.Add(ft::kDateTime);
  bench.Index({1});
  // 0001-01-01 00:00 = 86 400 000.0 = 0x4194997000000000.
  EXPECT_EQ(bench.KeyOf(86400000.0), BytesOf({0x01, 0xC1, 0x94, 0x99, 0x70, 0, 0, 0, 0}));
}

TEST(KeysDoubleEncodingTest, ByteOrderFollowsValueOrder) {
  TKeyBench bench;
  bench.Add(ft::kFloat);
  bench.Index({1});
  const double values[] = {-std::numeric_limits<double>::infinity(),
                           -1e300,
                           -2.5,
                           -1.0,
                           -1e-300,
                           0.0,
                           1e-300,
                           1.0,
                           2.5,
                           1e300,
                           std::numeric_limits<double>::infinity()};
  for (std::size_t i = 1; i < std::size(values); ++i) {
    EXPECT_LT(bench.Compare(bench.KeyOf(values[i - 1]), bench.KeyOf(values[i])), 0)
        << values[i - 1] << " vs " << values[i];
  }
}

TEST(KeysRawEncodingTest, RawFieldsAreCopied) {
  TKeyBench bench;
  bench.Add(ft::kBytes, 3);
  bench.Add(ft::kTenBytes);
  bench.Index({1, 2});
  TBytes record = bench.Record();
  ASSERT_TRUE(StoreFieldValue(bench.Field(1), std::string("\x01\x00\xFF", 3), record.data()));
  ASSERT_TRUE(StoreFieldValue(bench.Field(2), std::string("0123456789"), record.data()));
  EXPECT_EQ(bench.Key(record), BytesOf({0x01, 0x01, 0x00, 0xFF, 0x01, '0', '1', '2', '3', '4', '5',
                                        '6', '7', '8', '9'}));
}

TEST(KeysStringEncodingTest, CharactersAreCopiedAndTheRestZeroed) {
  TKeyBench bench;
  bench.Add(ft::kString, 5);
  bench.Index({1});
  EXPECT_EQ(bench.KeyOf(std::string("abc")), BytesOf({0x01, 'a', 'b', 'c', 0, 0, 0}));
  EXPECT_EQ(bench.KeyOf(std::string("abcde")), BytesOf({0x01, 'a', 'b', 'c', 'd', 'e', 0}));
  EXPECT_EQ(bench.KeyOf(std::monostate{}), BytesOf({0, 0, 0, 0, 0, 0, 0}));
}

TEST(KeysStringEncodingTest, CaseInsensitiveWithoutLocaleUpperCasesOnlyAsciiLetters) {
  TKeyBench bench;
  bench.Add(ft::kString, 5);
  bench.Index({1}).CaseInsensitive = 1;
  const TBytes expected = BytesOf({0x01, 'A', 'B', 'C', 0, 0, 0});
  EXPECT_EQ(bench.KeyOf(std::string("abc")), expected);
  EXPECT_EQ(bench.KeyOf(std::string("ABC")), expected);
  EXPECT_EQ(bench.KeyOf(std::string("aBc")), expected);
  // č (0xE8 in the Czech code page) is not an ASCII letter; digits and symbols stay too.
  EXPECT_EQ(bench.KeyOf(Cz(u"čaj{1")), BytesOf({0x01, 0xE8, 'A', 'J', '{', '1', 0}));
}

TEST(KeysStringEncodingTest, CaseSensitiveWithoutLocaleKeepsCase) {
  TKeyBench bench;
  bench.Add(ft::kString, 5);
  bench.Index({1});
  EXPECT_NE(bench.KeyOf(std::string("abc")), bench.KeyOf(std::string("ABC")));
  EXPECT_LT(bench.Compare(bench.KeyOf(std::string("ABC")), bench.KeyOf(std::string("abc"))), 0);
}

TEST(KeysStringEncodingTest, CaseInsensitiveWithLocaleMapsUnderTheLocale) {
  TKeyBench bench;
  bench.Add(ft::kString, 5);
  bench.Index({1}).CaseInsensitive = 1;
  ASSERT_EQ(Cz(u"ČAJ"), std::string("\xC8"
                                    "AJ"));
  const TBytes expected = BytesOf({0x01, 0xC8, 'A', 'J', 0, 0, 0});
  EXPECT_EQ(bench.KeyOf(Cz(u"čaj"), kCzech), expected);
  EXPECT_EQ(bench.KeyOf(Cz(u"ČaJ"), kCzech), expected);
  EXPECT_EQ(bench.Compare(bench.KeyOf(Cz(u"čaj"), kCzech), bench.KeyOf(Cz(u"ČAJ"), kCzech), kCzech),
            0);
}

TEST(KeysStringEncodingTest, CaseSensitiveWithLocaleKeepsCase) {
  TKeyBench bench;
  bench.Add(ft::kString, 5);
  bench.Index({1});
  EXPECT_EQ(bench.KeyOf(Cz(u"čaj"), kCzech), BytesOf({0x01, 0xE8, 'a', 'j', 0, 0, 0}));
}

// --- Nulls and descending fields --------------------------------------------------------------

TEST(KeysNullOrderTest, NullSortsFirstInAnAscendingField) {
  TKeyBench bench;
  bench.Add(ft::kInteger);
  bench.Index({1});
  const TBytes null = bench.KeyOf(std::monostate{});
  EXPECT_EQ(null[0], 0x00);
  const TBytes lowest = bench.KeyOf(std::int64_t{std::numeric_limits<std::int32_t>::min()});
  EXPECT_LT(bench.Compare(null, lowest), 0);
  EXPECT_LT(bench.Compare(null, bench.KeyOf(std::int64_t{0})), 0);
}

TEST(KeysNullOrderTest, NullSortsFirstInAnAscendingFieldUnderALocale) {
  TKeyBench bench;
  bench.Add(ft::kString, 5);
  bench.Add(ft::kInteger);
  bench.Index({1, 2});
  TBytes withString = bench.RecordWith(1, std::string("a"));
  TBytes withoutString = bench.RecordWith(2, std::int64_t{5});
  EXPECT_LT(bench.Compare(bench.Key(withoutString, kCzech), bench.Key(withString, kCzech), kCzech),
            0);
}

TEST(KeysDescendingFieldTest, WithoutLocaleTheSlotIsComplemented) {
  TKeyBench bench;
  bench.Add(ft::kInteger);
  bench.Index({1}).FieldDescending[0] = 1;
  const TBytes null = bench.KeyOf(std::monostate{});
  EXPECT_EQ(null[0], 0xFF);
  EXPECT_EQ(bench.KeyOf(std::int64_t{-1}), BytesOf({0xFE, 0x80, 0x00, 0x00, 0x00}));
  EXPECT_EQ(bench.KeyOf(std::int64_t{0}), BytesOf({0xFE, 0x7F, 0xFF, 0xFF, 0xFF}));
  // Larger values first, null last.
  EXPECT_GT(bench.Compare(bench.KeyOf(std::int64_t{5}), bench.KeyOf(std::int64_t{7})), 0);
  EXPECT_GT(bench.Compare(null, bench.KeyOf(std::int64_t{-1})), 0);
  EXPECT_GT(
      bench.Compare(null, bench.KeyOf(std::int64_t{std::numeric_limits<std::int32_t>::min()})), 0);
}

TEST(KeysDescendingFieldTest, StringSlotKeepsItsLastByteUncomplemented) {
  TKeyBench bench;
  bench.Add(ft::kString, 3);
  bench.Index({1}).FieldDescending[0] = 1;
  // Slot 01 'a' 'b' 00 00: the presence byte and three value bytes are complemented.
  EXPECT_EQ(bench.KeyOf(std::string("ab")), BytesOf({0xFE, 0x9E, 0x9D, 0xFF, 0x00}));
  EXPECT_EQ(bench.KeyOf(std::string("abc")), BytesOf({0xFE, 0x9E, 0x9D, 0x9C, 0x00}));
  EXPECT_EQ(bench.KeyOf(std::monostate{}), BytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
  EXPECT_GT(bench.Compare(bench.KeyOf(std::string("ab")), bench.KeyOf(std::string("abc"))), 0);
  EXPECT_GT(bench.Compare(bench.KeyOf(std::string("a")), bench.KeyOf(std::string("b"))), 0);
}

TEST(KeysDescendingFieldTest, OnlyTheDescendingFieldIsComplemented) {
  TKeyBench bench;
  bench.Add(ft::kSmallInt);
  bench.Add(ft::kSmallInt);
  TIndexDescriptor& index = bench.Index({1, 2});
  index.FieldDescending[1] = 1;
  TBytes record = bench.Record();
  ASSERT_TRUE(StoreFieldValue(bench.Field(1), std::int64_t{1}, record.data()));
  ASSERT_TRUE(StoreFieldValue(bench.Field(2), std::int64_t{1}, record.data()));
  EXPECT_EQ(bench.Key(record), BytesOf({0x01, 0x80, 0x01, 0xFE, 0x7F, 0xFE}));
}

TEST(KeysDescendingFieldTest, WithLocaleNothingIsComplementedAndComparisonInverts) {
  TKeyBench bench;
  bench.Add(ft::kInteger);
  bench.Index({1}).FieldDescending[0] = 1;
  const TBytes minusOne = bench.KeyOf(std::int64_t{-1}, kCzech);
  const TBytes zero = bench.KeyOf(std::int64_t{0}, kCzech);
  const TBytes null = bench.KeyOf(std::monostate{}, kCzech);
  EXPECT_EQ(minusOne, BytesOf({0x01, 0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(null[0], 0x00);
  EXPECT_GT(bench.Compare(minusOne, zero, kCzech), 0);
  EXPECT_GT(bench.Compare(null, minusOne, kCzech), 0);
}

TEST(KeysDescendingFieldTest, DescendingStringFieldUnderALocaleInvertsTheCollation) {
  TKeyBench bench;
  bench.Add(ft::kString, 8);
  bench.Index({1}).FieldDescending[0] = 1;
  EXPECT_EQ(bench.KeyOf(std::string("hrad"), kCzech),
            BytesOf({0x01, 'h', 'r', 'a', 'd', 0, 0, 0, 0, 0}));
  EXPECT_GT(bench.Compare(bench.KeyOf(std::string("hrad"), kCzech),
                          bench.KeyOf(std::string("chata"), kCzech), kCzech),
            0);
}

TEST(KeysDescendingIndexTest, NothingIsComplementedAndComparisonInverts) {
  TKeyBench bench;
  bench.Add(ft::kInteger);
  TIndexDescriptor& index = bench.Index({1});
  index.Descending = 1;
  index.FieldDescending[0] = 1;
  const TBytes minusOne = bench.KeyOf(std::int64_t{-1});
  EXPECT_EQ(minusOne, BytesOf({0x01, 0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(bench.KeyOf(std::monostate{})[0], 0x00);
  EXPECT_GT(bench.Compare(minusOne, bench.KeyOf(std::int64_t{0})), 0);
  EXPECT_EQ(bench.Compare(minusOne, minusOne), 0);
}

// --- Comparison under a locale ----------------------------------------------------------------

TEST(KeysCollationTest, CzechSortsChAfterH) {
  TKeyBench bench;
  bench.Add(ft::kString, 8);
  bench.Index({1});
  const TBytes hrad = bench.KeyOf(std::string("hrad"), kCzech);
  const TBytes chata = bench.KeyOf(std::string("chata"), kCzech);
  const TBytes ivan = bench.KeyOf(std::string("ivan"), kCzech);
  EXPECT_LT(bench.Compare(hrad, chata, kCzech), 0);
  EXPECT_LT(bench.Compare(chata, ivan, kCzech), 0);
  EXPECT_LT(bench.Compare(hrad, ivan, kCzech), 0);
  EXPECT_GT(bench.Compare(chata, hrad, kCzech), 0);
  // The same bytes without a locale compare as bytes.
  EXPECT_LT(bench.Compare(chata, hrad), 0);
}

TEST(KeysCollationTest, CzechLettersSortBetweenTheirBaseAndTheNextLetter) {
  TKeyBench bench;
  bench.Add(ft::kString, 8);
  bench.Index({1});
  const TBytes cihla = bench.KeyOf(Cz(u"cihla"), kCzech);
  const TBytes cas = bench.KeyOf(Cz(u"čas"), kCzech);
  const TBytes dum = bench.KeyOf(Cz(u"dům"), kCzech);
  EXPECT_LT(bench.Compare(cihla, cas, kCzech), 0);
  EXPECT_LT(bench.Compare(cas, dum, kCzech), 0);
  // Bytewise č (0xE8) is after d.
  EXPECT_GT(bench.Compare(cas, dum), 0);
}

TEST(KeysCollationTest, DescendingIndexInvertsTheCollation) {
  TKeyBench bench;
  bench.Add(ft::kString, 8);
  bench.Index({1}).Descending = 1;
  EXPECT_GT(bench.Compare(bench.KeyOf(std::string("hrad"), kCzech),
                          bench.KeyOf(std::string("chata"), kCzech), kCzech),
            0);
  EXPECT_EQ(bench.Compare(bench.KeyOf(std::string("hrad"), kCzech),
                          bench.KeyOf(std::string("hrad"), kCzech), kCzech),
            0);
}

TEST(KeysCollationTest, LaterFieldsDecideOnlyBetweenEqualEarlierFields) {
  TKeyBench bench;
  bench.Add(ft::kString, 8);
  bench.Add(ft::kInteger);
  bench.Index({1, 2});
  const auto key = [&](const std::string& text, std::int64_t number) {
    TBytes record = bench.Record();
    EXPECT_TRUE(StoreFieldValue(bench.Field(1), text, record.data()));
    EXPECT_TRUE(StoreFieldValue(bench.Field(2), number, record.data()));
    return bench.Key(record, kCzech);
  };
  EXPECT_LT(bench.Compare(key("hrad", 9), key("chata", 1), kCzech), 0);
  EXPECT_LT(bench.Compare(key("hrad", 1), key("hrad", 9), kCzech), 0);
  EXPECT_LT(bench.Compare(key("hrad", -1), key("hrad", 0), kCzech), 0);
}

TEST(KeysCollationTest, APrefixLengthComparesOnlyThoseBytes) {
  TKeyBench bench;
  bench.Add(ft::kInteger);
  bench.Add(ft::kString, 8);
  bench.Index({1, 2});
  const auto key = [&](std::int64_t number, const std::string& text, std::uint32_t locale) {
    TBytes record = bench.Record();
    EXPECT_TRUE(StoreFieldValue(bench.Field(1), number, record.data()));
    EXPECT_TRUE(StoreFieldValue(bench.Field(2), text, record.data()));
    return bench.Key(record, locale);
  };
  for (std::uint32_t locale : {0u, kCzech}) {
    const TBytes a = key(3, "hrad", locale);
    const TBytes b = key(3, "ivan", locale);
    EXPECT_EQ(CompareKeys(bench.Context(locale), a.data(), b.data(), 5), 0) << locale;
    EXPECT_LT(CompareKeys(bench.Context(locale), a.data(), b.data(), 15), 0) << locale;
    const TBytes c = key(4, "chata", locale);
    EXPECT_LT(CompareKeys(bench.Context(locale), a.data(), c.data(), 5), 0) << locale;
    EXPECT_EQ(CompareKeys(bench.Context(locale), a.data(), c.data(), 0), 0) << locale;
  }
}

// --- The record identifier suffix and the autoincrement field --------------------------------

TEST(KeysSuffixTest, NonUniqueSecondaryIndexEndsWithTheRecordIdentifier) {
  TKeyBench bench;
  bench.Add(ft::kSmallInt);
  bench.Index({1}, 1);
  const TBytes first = bench.KeyOf(std::int64_t{7}, 0, 5);
  const TBytes second = bench.KeyOf(std::int64_t{7}, 0, 300);
  EXPECT_EQ(first, BytesOf({0x01, 0x80, 0x07, 0x80, 0x00, 0x00, 0x05}));
  EXPECT_EQ(second, BytesOf({0x01, 0x80, 0x07, 0x80, 0x00, 0x01, 0x2C}));
  EXPECT_LT(bench.Compare(first, second), 0);
  EXPECT_EQ(bench.KeyOf(std::int64_t{7}, 0, -1),
            BytesOf({0x01, 0x80, 0x07, 0x7F, 0xFF, 0xFF, 0xFF}));
}

TEST(KeysSuffixTest, EqualValuesOrderByRecordIdentifierUnderALocale) {
  TKeyBench bench;
  bench.Add(ft::kString, 6);
  bench.Index({1}, 2);
  const TBytes first = bench.KeyOf(std::string("hrad"), kCzech, 5);
  const TBytes second = bench.KeyOf(std::string("hrad"), kCzech, 300);
  EXPECT_EQ(first, BytesOf({0x01, 'h', 'r', 'a', 'd', 0, 0, 0, 0x80, 0x00, 0x00, 0x05}));
  EXPECT_LT(bench.Compare(first, second, kCzech), 0);
  EXPECT_GT(bench.Compare(second, first, kCzech), 0);
  // The value still decides first.
  EXPECT_LT(bench.Compare(bench.KeyOf(std::string("hrad"), kCzech, 300),
                          bench.KeyOf(std::string("chata"), kCzech, 5), kCzech),
            0);
}

TEST(KeysSuffixTest, DescendingIndexInvertsTheSuffixToo) {
  TKeyBench bench;
  bench.Add(ft::kString, 6);
  bench.Index({1}, 1).Descending = 1;
  for (std::uint32_t locale : {0u, kCzech}) {
    EXPECT_GT(bench.Compare(bench.KeyOf(std::string("x"), locale, 5),
                            bench.KeyOf(std::string("x"), locale, 300), locale),
              0)
        << locale;
  }
}

TEST(KeysSuffixTest, DescendingFieldLeavesTheSuffixAscending) {
  TKeyBench bench;
  bench.Add(ft::kSmallInt);
  bench.Index({1}, 1).FieldDescending[0] = 1;
  for (std::uint32_t locale : {0u, kCzech}) {
    EXPECT_LT(bench.Compare(bench.KeyOf(std::int64_t{7}, locale, 5),
                            bench.KeyOf(std::int64_t{7}, locale, 300), locale),
              0)
        << locale;
  }
}

TEST(KeysSuffixTest, UniqueSecondaryAndPrimaryIndexesHaveNoSuffix) {
  for (int slot : {kPrimarySlot, 1}) {
    TKeyBench bench;
    bench.Add(ft::kSmallInt);
    bench.Index({1}, slot, /*unique=*/slot != kPrimarySlot);
    ASSERT_EQ(bench.Context().Index->KeyLength, 3);
    // A buffer longer than the key: nothing past the key length is written.
    TBytes key(8, 0xAA);
    BuildKey(bench.Context(), bench.RecordWith(1, std::int64_t{7}, 5).data(), key.data());
    EXPECT_EQ(key, BytesOf({0x01, 0x80, 0x07, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA})) << slot;
  }
}

TEST(KeysSuffixTest, KeyBufferIsZeroFilledFirst) {
  TKeyBench bench;
  bench.Add(ft::kString, 5);
  bench.Add(ft::kString, 2);
  bench.Index({1, 2}, 1);
  // Built into a buffer of 0xAA: nothing of it may survive.
  EXPECT_EQ(bench.Key(bench.RecordWith(1, std::string("ab"), 1)),
            BytesOf({0x01, 'a', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0x01}));
  EXPECT_EQ(bench.Key(bench.RecordWith(1, std::string("ab"), 1), kCzech),
            BytesOf({0x01, 'a', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0x01}));
}

TEST(KeysAutoIncrementTest, KeyIsTheRecordIdentifierAndAlwaysPresent) {
  TKeyBench bench;
  bench.Add(ft::kInteger, 0, 0, st::kAutoIncrement);
  bench.Add(ft::kSmallInt);
  bench.Index({1, 2});
  EXPECT_EQ(bench.Key(bench.RecordWith(2, std::int64_t{1}, 0x12345678)),
            BytesOf({0x01, 0x92, 0x34, 0x56, 0x78, 0x01, 0x80, 0x01}));
  EXPECT_EQ(bench.Key(bench.RecordWith(2, std::int64_t{1}, -2)),
            BytesOf({0x01, 0x7F, 0xFF, 0xFF, 0xFE, 0x01, 0x80, 0x01}));
  EXPECT_EQ(bench.Key(bench.RecordWith(2, std::int64_t{1}, 0x12345678), kCzech),
            BytesOf({0x01, 0x92, 0x34, 0x56, 0x78, 0x01, 0x80, 0x01}));
}

TEST(KeysAutoIncrementTest, DescendingAutoIncrementIsComplementedWithoutLocale) {
  TKeyBench bench;
  bench.Add(ft::kInteger, 0, 0, st::kAutoIncrement);
  bench.Index({1}).FieldDescending[0] = 1;
  EXPECT_EQ(bench.Key(bench.Record(1)), BytesOf({0xFE, 0x7F, 0xFF, 0xFF, 0xFE}));
}

// --- The deleted-records index ----------------------------------------------------------------

TEST(KeysDeletedIndexTest, KeyIsStatusThenRecordIdentifier) {
  TKeyBench bench;
  bench.Add(ft::kString, 5);
  bench.Index({}, kDeletedSlot);
  TBytes record = bench.Record(7);
  record[0] = 1;
  record[1] = 0x33;  // the free-list link takes no part
  EXPECT_EQ(bench.Key(record), BytesOf({0x01, 0x80, 0x00, 0x00, 0x07}));
  EXPECT_EQ(bench.Key(record, kCzech), BytesOf({0x01, 0x80, 0x00, 0x00, 0x07}));
  TBytes key(5, 0xAA);
  BuildDeletedKey(record.data(), key.data());
  EXPECT_EQ(key, BytesOf({0x01, 0x80, 0x00, 0x00, 0x07}));
  TBytes live = bench.Record(-1);
  EXPECT_EQ(bench.Key(live), BytesOf({0x00, 0x7F, 0xFF, 0xFF, 0xFF}));
}

TEST(KeysDeletedIndexTest, ComparesAsBytesEvenUnderALocale) {
  TKeyBench bench;
  bench.Add(ft::kString, 5);
  bench.Index({}, kDeletedSlot);
  const TBytes a = BytesOf({0x00, 0xFF, 0xFF, 0xFF, 0xFF});
  const TBytes b = BytesOf({0x01, 0x00, 0x00, 0x00, 0x00});
  const TBytes c = BytesOf({0x01, 0x00, 0x00, 0x00, 0x01});
  for (std::uint32_t locale : {0u, kCzech}) {
    EXPECT_LT(bench.Compare(a, b, locale), 0) << locale;
    EXPECT_LT(bench.Compare(b, c, locale), 0) << locale;
    EXPECT_EQ(bench.Compare(c, c, locale), 0) << locale;
  }
}

// --- Range helpers ----------------------------------------------------------------------------

TEST(KeysPrefixArithmeticTest, IncrementCarriesAndStopsAtAllOnes) {
  TBytes key = BytesOf({0x00, 0xFF, 0x77});
  IncrementPrefix(key.data(), 2);
  EXPECT_EQ(key, BytesOf({0x01, 0x00, 0x77}));
  key = BytesOf({0xFF, 0xFF});
  IncrementPrefix(key.data(), 2);
  EXPECT_EQ(key, BytesOf({0xFF, 0xFF}));
  key = BytesOf({0x12, 0x34});
  IncrementPrefix(key.data(), 2);
  EXPECT_EQ(key, BytesOf({0x12, 0x35}));
  key = BytesOf({0x00, 0xFF, 0xFF});
  IncrementPrefix(key.data(), 3);
  EXPECT_EQ(key, BytesOf({0x01, 0x00, 0x00}));
  key = BytesOf({0xFF, 0x00});
  IncrementPrefix(key.data(), 1);
  EXPECT_EQ(key, BytesOf({0xFF, 0x00}));
}

TEST(KeysPrefixArithmeticTest, DecrementBorrowsAndStopsAtAllZeros) {
  TBytes key = BytesOf({0x01, 0x00});
  DecrementPrefix(key.data(), 2);
  EXPECT_EQ(key, BytesOf({0x00, 0xFF}));
  key = BytesOf({0x00, 0x00});
  DecrementPrefix(key.data(), 2);
  EXPECT_EQ(key, BytesOf({0x00, 0x00}));
  key = BytesOf({0x12, 0x00, 0x00, 0x55});
  DecrementPrefix(key.data(), 3);
  EXPECT_EQ(key, BytesOf({0x11, 0xFF, 0xFF, 0x55}));
  key = BytesOf({0x00, 0x09});
  DecrementPrefix(key.data(), 1);
  EXPECT_EQ(key, BytesOf({0x00, 0x09}));
}

// An index over an integer and a three-character string with the suffix:
//   bytes 0-4 integer slot, 5-9 string slot, 10-13 record identifier.
class KeysFillTest : public ::testing::Test {
 protected:
  KeysFillTest() {
    bench_.Add(ft::kInteger);
    bench_.Add(ft::kString, 3);
    bench_.Index({1, 2}, 1);
  }
  static TBytes Pattern() { return TBytes(14, 0x55); }
  TKeyBench bench_;
};

TEST_F(KeysFillTest, WithoutLocaleTheWholeTailIsZerosOrOnes) {
  TBytes key = Pattern();
  FillLow(bench_.Context(), key.data(), 2);
  EXPECT_EQ(key, BytesOf({0x55, 0x55, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  key = Pattern();
  FillHigh(bench_.Context(), key.data(), 7);
  EXPECT_EQ(key, BytesOf({0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                          0xFF, 0xFF}));
  key = Pattern();
  FillHigh(bench_.Context(), key.data(), 14);
  EXPECT_EQ(key, Pattern());
}

TEST_F(KeysFillTest, WithLocaleStringSlotsTakeTheCollationEnds) {
  const std::uint8_t first = CzechOrder()[0];
  const std::uint8_t last = CzechOrder()[255];
  // Otherwise the test could not tell a string slot from the others.
  ASSERT_NE(last, 0xFF);
  TBytes key = Pattern();
  FillLow(bench_.Context(kCzech), key.data(), 2);
  EXPECT_EQ(key, BytesOf({0x55, 0x55, 0, 0, 0, first, first, first, first, first, 0, 0, 0, 0}));
  key = Pattern();
  FillHigh(bench_.Context(kCzech), key.data(), 2);
  EXPECT_EQ(key, BytesOf({0x55, 0x55, 0xFF, 0xFF, 0xFF, last, last, last, last, last, 0xFF, 0xFF,
                          0xFF, 0xFF}));
  // From the middle of the string slot.
  key = Pattern();
  FillHigh(bench_.Context(kCzech), key.data(), 7);
  EXPECT_EQ(key, BytesOf({0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, last, last, last, 0xFF, 0xFF,
                          0xFF, 0xFF}));
  // From inside the suffix only suffix bytes change.
  key = Pattern();
  FillLow(bench_.Context(kCzech), key.data(), 12);
  EXPECT_EQ(
      key, BytesOf({0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0, 0}));
}

TEST_F(KeysFillTest, WithLocaleTheBoundsEncloseEveryKeyWithTheSamePrefix) {
  const auto key = [&](const TFieldValue& text, std::int32_t recordId) {
    TBytes record = bench_.RecordWith(1, std::int64_t{3}, recordId);
    EXPECT_TRUE(StoreFieldValue(bench_.Field(2), text, record.data()));
    return bench_.Key(record, kCzech);
  };
  const TBytes prefix = key(std::monostate{}, 1);
  TBytes low = prefix;
  TBytes high = prefix;
  FillLow(bench_.Context(kCzech), low.data(), 5);
  FillHigh(bench_.Context(kCzech), high.data(), 5);
  const TFieldValue texts[] = {std::monostate{}, std::string("a"),   std::string("zzz"),
                               Cz(u"ŽŽŽ"),       Cz(u"žžž"),         std::string("ch"),
                               std::string("0"), std::string("\x01")};
  for (const TFieldValue& text : texts) {
    for (std::int32_t id :
         {std::numeric_limits<std::int32_t>::min(), 1, std::numeric_limits<std::int32_t>::max()}) {
      const TBytes k = key(text, id);
      EXPECT_LE(bench_.Compare(low, k, kCzech), 0) << id;
      EXPECT_GE(bench_.Compare(high, k, kCzech), 0) << id;
    }
  }
}

TEST(KeysFillDeletedTest, DeletedIndexFillsTheWholeTailUnderALocale) {
  TKeyBench bench;
  bench.Add(ft::kString, 5);
  bench.Index({}, kDeletedSlot);
  TBytes key = BytesOf({0x01, 0x55, 0x55, 0x55, 0x55});
  FillHigh(bench.Context(kCzech), key.data(), 1);
  EXPECT_EQ(key, BytesOf({0x01, 0xFF, 0xFF, 0xFF, 0xFF}));
  FillLow(bench.Context(kCzech), key.data(), 3);
  EXPECT_EQ(key, BytesOf({0x01, 0xFF, 0xFF, 0x00, 0x00}));
}

}  // namespace
}  // namespace katalog
