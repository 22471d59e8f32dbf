// Tests of the record-level rules: reading and writing fields by number (bad numbers, the
// autoincrement and computed fields, the evaluator seam), the blank record with the defaults of
// every type under the table locale, and the validity checks with the table's comparison of
// each type.
#include "engine/storage/RecordValues.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "dataset/DatabaseError.h"
#include "platform/DateTime.h"
#include "support/EngineFixture.h"
#include "support/FieldLayout.h"

namespace katalog {
namespace {

using testing::EngineErrorOf;

constexpr std::uint32_t kCzech = 0x0405;
constexpr double kMsecsPerDay = platform::kMsecsPerDay;

// A hand-made table whose fields carry names; computed fields sit after the stored record.
class TLayout {
 public:
  TFieldDescriptor& Add(std::string name, std::uint8_t type, std::uint8_t declared = 0,
                        std::uint8_t scale = 0, std::uint8_t subType = 0) {
    return layout_.Add(type, declared, scale, subType, std::move(name));
  }
  TFieldDescriptor& AddComputed(std::string name, std::uint8_t type) {
    TFieldDescriptor& field = Add(std::move(name), type);
    field.Expression = "Qty * 2";
    return field;
  }
  const TFieldList& Fields() const { return layout_.Fields(); }
  std::vector<std::uint8_t> Record() const { return layout_.EmptyRecord(); }
  std::size_t Size() const { return static_cast<std::size_t>(layout_.RecordSize()); }

 private:
  katalog::testing::TFieldLayout layout_;
};

std::int64_t DayOf(int year, int month, int day) {
  std::int32_t n = 0;
  EXPECT_TRUE(platform::TryEncodeDate(year, month, day, n));
  return n;
}

std::int64_t MsOf(int h, int m, int s = 0) {
  std::int32_t ms = 0;
  EXPECT_TRUE(platform::TryEncodeTime(h, m, s, 0, ms));
  return ms;
}

// The text of the EDatabaseError an action raises, or "" when it raises none.
std::string ConversionErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EDatabaseError& e) {
    return e.Message();
  }
  return "";
}

class RecordValuesTest : public testing::EngineTest {};

// Reading and writing by number.

TEST_F(RecordValuesTest, ReadsNullAsMonostateAndTheAutoincrementFromTheRecordIdentifier) {
  TLayout layout;
  layout.Add("Name", ft::kString, 10);
  layout.Add("Id", ft::kInteger, 0, 0, st::kAutoIncrement);
  std::vector<std::uint8_t> record = layout.Record();
  TRecordValues values(0, "PEOPLE.DAT");
  EXPECT_TRUE(
      std::holds_alternative<std::monostate>(values.ReadField(layout.Fields(), 1, record.data())));
  EXPECT_EQ(values.ReadField(layout.Fields(), 2, record.data()), TFieldValue(std::int64_t{0}));
  record[5] = 0x2A;
  record[6] = 0x01;
  EXPECT_EQ(values.ReadField(layout.Fields(), 2, record.data()), TFieldValue(std::int64_t{298}));
}

TEST_F(RecordValuesTest, AFieldNumberOutsideTheListIs9985NamingTheNumber) {
  TLayout layout;
  layout.Add("Name", ft::kString, 10);
  layout.Add("Qty", ft::kInteger);
  std::vector<std::uint8_t> record = layout.Record();
  TRecordValues values(0, "PEOPLE.DAT");
  std::string message;
  EXPECT_EQ(EngineErrorOf([&] { values.ReadField(layout.Fields(), 3, record.data()); }, &message),
            ie::kInvalidField);
  EXPECT_NE(message.find("number or name 3 specified for data file PEOPLE.DAT"), std::string::npos)
      << message;
  EXPECT_EQ(EngineErrorOf([&] { values.ReadField(layout.Fields(), 0, record.data()); }, &message),
            ie::kInvalidField);
  EXPECT_NE(message.find(" 0 "), std::string::npos) << message;
  EXPECT_EQ(EngineErrorOf([&] { values.WriteField(layout.Fields(), -1, {}, record.data()); }),
            ie::kInvalidField);
}

TEST_F(RecordValuesTest, WritesAreStoredAndMisfitsRefusedWithTheRecordUnchanged) {
  TLayout layout;
  layout.Add("Name", ft::kString, 10);
  layout.Add("Small", ft::kSmallInt);
  std::vector<std::uint8_t> record = layout.Record();
  TRecordValues values(0, "PEOPLE.DAT");
  EXPECT_TRUE(values.WriteField(layout.Fields(), 1, std::string("Novak"), record.data()));
  EXPECT_TRUE(values.WriteField(layout.Fields(), 2, std::int64_t{-7}, record.data()));
  const std::vector<std::uint8_t> before = record;
  EXPECT_FALSE(values.WriteField(layout.Fields(), 1, std::int64_t{5}, record.data()));
  EXPECT_FALSE(values.WriteField(layout.Fields(), 2, std::int64_t{40000}, record.data()));
  EXPECT_FALSE(values.WriteField(layout.Fields(), 2, std::string("3"), record.data()));
  EXPECT_EQ(record, before);
  EXPECT_EQ(values.ReadField(layout.Fields(), 1, record.data()), TFieldValue(std::string("Novak")));
  EXPECT_TRUE(values.WriteField(layout.Fields(), 1, std::monostate{}, record.data()));
  EXPECT_TRUE(
      std::holds_alternative<std::monostate>(values.ReadField(layout.Fields(), 1, record.data())));
}

TEST_F(RecordValuesTest, EngineOwnedFieldsIgnoreDirectWrites) {
  TLayout layout;
  layout.Add("Id", ft::kInteger, 0, 0, st::kAutoIncrement);
  layout.Add("Qty", ft::kInteger);
  layout.AddComputed("Double", ft::kInteger);
  std::vector<std::uint8_t> record = layout.Record();
  TRecordValues values(0, "PEOPLE.DAT");
  EXPECT_TRUE(values.WriteField(layout.Fields(), 1, std::int64_t{99}, record.data()));
  EXPECT_TRUE(values.WriteField(layout.Fields(), 3, std::int64_t{99}, record.data()));
  EXPECT_EQ(record, layout.Record());
  // The evaluator's own write goes in; it is refused for a stored field.
  EXPECT_TRUE(values.WriteComputedField(layout.Fields(), 3, std::int64_t{99}, record.data()));
  EXPECT_EQ(values.ReadField(layout.Fields(), 3, record.data()), TFieldValue(std::int64_t{99}));
  EXPECT_FALSE(values.WriteComputedField(layout.Fields(), 2, std::int64_t{1}, record.data()));
}

TEST_F(RecordValuesTest, AComputedFieldNotYetPlacedReadsAsNull) {
  TLayout layout;
  layout.Add("Qty", ft::kInteger);
  TFieldList fields = layout.Fields();
  TFieldDescriptor computed;
  computed.FieldNumber = 2;
  computed.Name = "Double";
  computed.FieldTypeCode = ft::kInteger;
  computed.PhysicalSize = 4;
  computed.Expression = "Qty * 2";
  fields.push_back(computed);  // offset 0: the physical list's form
  std::vector<std::uint8_t> record = layout.Record();
  record[0] = 1;
  TRecordValues values(0, "PEOPLE.DAT");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(values.ReadField(fields, 2, record.data())));
  EXPECT_FALSE(values.WriteComputedField(fields, 2, std::int64_t{4}, record.data()));
  EXPECT_EQ(record[0], 1);
}

TEST_F(RecordValuesTest, TheEvaluatorRunsAfterEveryStoredWriteOnly) {
  TLayout layout;
  layout.Add("Qty", ft::kInteger);
  layout.AddComputed("Double", ft::kInteger);
  std::vector<std::uint8_t> record = layout.Record();
  TRecordValues values(0, "PEOPLE.DAT");
  int runs = 0;
  values.SetComputedFieldEvaluator([&](const TFieldList& fields, std::uint8_t* buffer) {
    ++runs;
    const TFieldValue qty = values.ReadField(fields, 1, buffer);
    const std::int64_t* q = std::get_if<std::int64_t>(&qty);
    values.WriteComputedField(fields, 2, q ? TFieldValue(*q * 2) : TFieldValue(), buffer);
  });
  EXPECT_TRUE(values.WriteField(layout.Fields(), 1, std::int64_t{21}, record.data()));
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(values.ReadField(layout.Fields(), 2, record.data()), TFieldValue(std::int64_t{42}));
  EXPECT_FALSE(values.WriteField(layout.Fields(), 1, std::string("x"), record.data()));
  EXPECT_TRUE(values.WriteField(layout.Fields(), 2, std::int64_t{5}, record.data()));
  EXPECT_EQ(runs, 1);
}

// Blank records and defaults.

class RecordValuesDefaultsTest : public RecordValuesTest {
 protected:
  // The field's value in a blank record of a one-field table with the default.
  TFieldValue DefaultOf(std::uint8_t type, const std::string& text, std::uint32_t locale = kCzech,
                        std::uint8_t declared = 0, std::uint8_t scale = 0) {
    TLayout layout;
    layout.Add("F", type, declared, scale).DefaultValue = text;
    std::vector<std::uint8_t> record(layout.Size(), 0xAA);
    TRecordValues values(locale, "PEOPLE.DAT");
    values.BlankRecord(layout.Fields(), record.data(), record.size());
    return values.ReadField(layout.Fields(), 1, record.data());
  }
  // The stored scaled integer of a BCD default.
  std::int64_t ScaledBcdDefault(const std::string& text, std::uint8_t scale) {
    TLayout layout;
    layout.Add("F", ft::kBcd, 0, scale).DefaultValue = text;
    std::vector<std::uint8_t> record = layout.Record();
    TRecordValues(kCzech, "PEOPLE.DAT").BlankRecord(layout.Fields(), record.data(), record.size());
    EXPECT_EQ(record[kSlotHeaderSize], 1);
    std::int64_t scaled = 0;
    for (int i = 7; i >= 0; --i) scaled = (scaled << 8) | record[kSlotHeaderSize + 1 + i];
    return scaled;
  }
};

TEST_F(RecordValuesDefaultsTest, WithoutDefaultsTheWholeBufferIsZero) {
  TLayout layout;
  layout.Add("Name", ft::kString, 10);
  layout.Add("Qty", ft::kInteger);
  std::vector<std::uint8_t> record(layout.Size() + 16, 0xAA);  // with a computed area
  TRecordValues(kCzech, "PEOPLE.DAT").BlankRecord(layout.Fields(), record.data(), record.size());
  EXPECT_TRUE(std::all_of(record.begin(), record.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(RecordValuesDefaultsTest, TextsNumbersAndBooleans) {
  EXPECT_EQ(DefaultOf(ft::kString, "Praha", kCzech, 10), TFieldValue(std::string("Praha")));
  EXPECT_EQ(DefaultOf(ft::kString, "Brno a okoli", kCzech, 4), TFieldValue(std::string("Brno")));
  EXPECT_EQ(DefaultOf(ft::kBoolean, "tRuE"), TFieldValue(true));
  EXPECT_EQ(DefaultOf(ft::kBoolean, "False"), TFieldValue(false));
  EXPECT_EQ(DefaultOf(ft::kSmallInt, "-32768"), TFieldValue(std::int64_t{-32768}));
  EXPECT_EQ(DefaultOf(ft::kInteger, "123456"), TFieldValue(std::int64_t{123456}));
  EXPECT_EQ(DefaultOf(ft::kWord, "65535"), TFieldValue(std::int64_t{65535}));
  EXPECT_EQ(DefaultOf(ft::kFloat, "2,5"), TFieldValue(2.5));
  EXPECT_EQ(DefaultOf(ft::kFloat, "2.5", 0), TFieldValue(2.5));
}

TEST_F(RecordValuesDefaultsTest, BcdDefaultsAreReadAtThePhysicalScale) {
  struct TCase {
    const char* Text;
    std::uint8_t Scale;
    std::int64_t Stored;
  };
  const TCase cases[] = {
      {"12,345", 2, 1235},  // half away from zero
      {"-12,345", 2, -1235},
      {"12,3456", 4, 123456},
      {"12,3456", 6, 12345600},
      {"7", 0, 7},
      // Every decimal the field holds, also past the fourth.
      {"0,123456", 6, 123456},
      // Rounded once: 12,34449 is 12,34, not 12,3445 and then 12,35.
      {"12,34449", 2, 1234},
      // Past 2^53 units and at the ends of the range.
      {"90071992547409,93", 2, 9007199254740993},
      {"922337203685,4775807", 7, 9223372036854775807},
      {"-9223372036854775808", 0, std::numeric_limits<std::int64_t>::min()},
  };
  for (const TCase& c : cases) EXPECT_EQ(ScaledBcdDefault(c.Text, c.Scale), c.Stored) << c.Text;
  // Beyond what the stored integer holds at this scale.
  EXPECT_EQ(ConversionErrorOf([&] { ScaledBcdDefault("900000000000000", 10); }),
            "'900000000000000' is not a valid floating point value");
  EXPECT_EQ(ConversionErrorOf([&] { ScaledBcdDefault("9223372036854775808", 0); }),
            "'9223372036854775808' is not a valid floating point value");
}

TEST_F(RecordValuesDefaultsTest, DatesAndTimesFromTextUnderTheTableLocale) {
  EXPECT_EQ(DefaultOf(ft::kDate, "1.2.2024"), TFieldValue(DayOf(2024, 2, 1)));
  EXPECT_EQ(DefaultOf(ft::kDate, "2/1/2024", 0), TFieldValue(DayOf(2024, 2, 1)));
  EXPECT_EQ(DefaultOf(ft::kTime, "13:45"), TFieldValue(MsOf(13, 45)));
  EXPECT_EQ(DefaultOf(ft::kDateTime, "1.2.2024 10:30"),
            TFieldValue(static_cast<double>(DayOf(2024, 2, 1)) * kMsecsPerDay + MsOf(10, 30)));
}

TEST_F(RecordValuesDefaultsTest, DateTimeAndNowKeywords) {
  const std::int64_t today = platform::Today();
  const std::int64_t dateDefault = std::get<std::int64_t>(DefaultOf(ft::kDate, "date"));
  EXPECT_TRUE(dateDefault == today || dateDefault == today + 1);

  const std::int64_t before = platform::CurrentTimeOfDay();
  const std::int64_t time = std::get<std::int64_t>(DefaultOf(ft::kTime, "Time"));
  const std::int64_t after = platform::CurrentTimeOfDay();
  if (after >= before) {  // not across midnight
    EXPECT_TRUE(time >= before && time <= after) << time;
  }

  const double startNow = static_cast<double>(today) * kMsecsPerDay + before;
  const double now = std::get<double>(DefaultOf(ft::kDateTime, "NOW"));
  EXPECT_GE(now, startNow - 1);
  EXPECT_LT(now, startNow + 60000);
  const double midnight = std::get<double>(DefaultOf(ft::kDateTime, "date"));
  EXPECT_TRUE(midnight == today * kMsecsPerDay || midnight == (today + 1) * kMsecsPerDay);
  const double timeOnly = std::get<double>(DefaultOf(ft::kDateTime, "TIME"));
  EXPECT_GE(timeOnly, platform::kDateDelta * kMsecsPerDay);
  EXPECT_LT(timeOnly, (platform::kDateDelta + 1) * kMsecsPerDay);
}

TEST_F(RecordValuesDefaultsTest, TextsThatDoNotConvertAreConversionErrors) {
  EXPECT_EQ(ConversionErrorOf([&] { DefaultOf(ft::kBoolean, "yes"); }),
            "'yes' is not a valid boolean value");
  EXPECT_EQ(ConversionErrorOf([&] { DefaultOf(ft::kDate, "31.2.2024"); }),
            "'31.2.2024' is not a valid date");
  EXPECT_EQ(ConversionErrorOf([&] { DefaultOf(ft::kTime, "25:00"); }),
            "'25:00' is not a valid time");
  EXPECT_EQ(ConversionErrorOf([&] { DefaultOf(ft::kDateTime, "tomorrow"); }),
            "'tomorrow' is not a valid date and time");
  EXPECT_EQ(ConversionErrorOf([&] { DefaultOf(ft::kInteger, "12a"); }),
            "'12a' is not a valid integer value");
  EXPECT_EQ(ConversionErrorOf([&] { DefaultOf(ft::kSmallInt, "40000"); }),
            "'40000' is not a valid integer value");
  // The decimal point is not the Czech separator.
  EXPECT_EQ(ConversionErrorOf([&] { DefaultOf(ft::kFloat, "2.5"); }),
            "'2.5' is not a valid floating point value");
}

TEST_F(RecordValuesDefaultsTest, OtherTypesAndEngineOwnedFieldsGetNoDefault) {
  TLayout layout;
  layout.Add("Raw", ft::kBytes, 4).DefaultValue = "ABCD";
  layout.Add("Notes", ft::kBlob, 0, 0, st::kMemo).DefaultValue = "x";
  layout.Add("Id", ft::kInteger, 0, 0, st::kAutoIncrement).DefaultValue = "5";
  layout.AddComputed("Double", ft::kInteger).DefaultValue = "5";
  layout.Add("Qty", ft::kInteger).DefaultValue = "3";
  std::vector<std::uint8_t> record = layout.Record();
  TRecordValues values(kCzech, "PEOPLE.DAT");
  values.BlankRecord(layout.Fields(), record.data(), record.size());
  for (int n = 1; n <= 4; ++n) {
    const TFieldValue value = values.ReadField(layout.Fields(), n, record.data());
    if (n == 3) {
      EXPECT_EQ(value, TFieldValue(std::int64_t{0}));
    } else {
      EXPECT_TRUE(std::holds_alternative<std::monostate>(value)) << n;
    }
  }
  EXPECT_EQ(values.ReadField(layout.Fields(), 5, record.data()), TFieldValue(std::int64_t{3}));
}

// Validity checks.

class RecordValuesValidityTest : public RecordValuesTest {
 protected:
  // The engine error of checking a one-field record holding the value (0 when it passes), and
  // the message in `message_`.
  int Check(TFieldDescriptor field, const TFieldValue& value, std::uint32_t locale = kCzech) {
    TLayout layout;
    TFieldDescriptor& placed = layout.Add(field.Name, field.FieldTypeCode, field.DeclaredSize,
                                          field.DeclaredScale, field.SubTypeCode);
    placed.RequiredFlag = field.RequiredFlag;
    placed.MinValue = field.MinValue;
    placed.MaxValue = field.MaxValue;
    std::vector<std::uint8_t> record = layout.Record();
    TRecordValues values(locale, "PEOPLE.DAT");
    EXPECT_TRUE(values.WriteField(layout.Fields(), 1, value, record.data()));
    message_.clear();
    return EngineErrorOf([&] { values.CheckValidity(layout.Fields(), record.data()); }, &message_);
  }
  static TFieldDescriptor Limited(std::string name, std::uint8_t type, std::string min,
                                  std::string max, std::uint8_t declared = 0,
                                  std::uint8_t scale = 0) {
    TFieldDescriptor field;
    field.Name = std::move(name);
    field.FieldTypeCode = type;
    field.DeclaredSize = declared;
    field.DeclaredScale = scale;
    field.MinValue = std::move(min);
    field.MaxValue = std::move(max);
    return field;
  }

  std::string message_;
};

TEST_F(RecordValuesValidityTest, ARequiredFieldMustHoldAValue) {
  TFieldDescriptor name = Limited("Surname", ft::kString, "", "", 20);
  name.RequiredFlag = 1;
  EXPECT_EQ(Check(name, std::monostate{}), ie::kValueRequired);
  EXPECT_NE(message_.find("for the field Surname in data file PEOPLE.DAT"), std::string::npos)
      << message_;
  // A blank string is stored as null.
  EXPECT_EQ(Check(name, std::string("   ")), ie::kValueRequired);
  EXPECT_EQ(Check(name, std::string("Novak")), 0);
  TFieldDescriptor id = Limited("Id", ft::kInteger, "", "");
  id.SubTypeCode = st::kAutoIncrement;
  id.RequiredFlag = 1;
  EXPECT_EQ(Check(id, std::monostate{}), 0);
}

TEST_F(RecordValuesValidityTest, ANullFieldBreaksNoLimit) {
  EXPECT_EQ(Check(Limited("Qty", ft::kInteger, "10", "20"), std::monostate{}), 0);
}

TEST_F(RecordValuesValidityTest, StringsCompareUnderTheTableLocaleCaseSensitively) {
  const TFieldDescriptor town = Limited("Town", ft::kString, "", "hrad", 20);
  // Czech sorts "ch" after "h"; byte order puts it before.
  EXPECT_EQ(Check(town, std::string("chata")), ie::kAboveMaximum);
  EXPECT_NE(message_.find("for the field Town in data file PEOPLE.DAT is above"), std::string::npos)
      << message_;
  EXPECT_EQ(Check(town, std::string("chata"), 0), 0);
  EXPECT_EQ(Check(town, std::string("hrad")), 0);
  // Case counts: "Hrad" sorts after "hrad" under the locale, and before it in byte order.
  EXPECT_EQ(Check(town, std::string("Hrad")), ie::kAboveMaximum);
  EXPECT_EQ(Check(town, std::string("Hrad"), 0), 0);
  const TFieldDescriptor from = Limited("Town", ft::kString, "b", "", 20);
  EXPECT_EQ(Check(from, std::string("abc")), ie::kBelowMinimum);
  EXPECT_NE(message_.find("for the field Town in data file PEOPLE.DAT is below"), std::string::npos)
      << message_;
  EXPECT_EQ(Check(from, std::string("b")), 0);
}

TEST_F(RecordValuesValidityTest, IntegersOfEveryWidth) {
  for (std::uint8_t type : {ft::kSmallInt, ft::kInteger, ft::kWord}) {
    const TFieldDescriptor qty = Limited("Qty", type, "10", "20");
    EXPECT_EQ(Check(qty, std::int64_t{9}), ie::kBelowMinimum) << int(type);
    EXPECT_EQ(Check(qty, std::int64_t{10}), 0) << int(type);
    EXPECT_EQ(Check(qty, std::int64_t{20}), 0) << int(type);
    EXPECT_EQ(Check(qty, std::int64_t{21}), ie::kAboveMaximum) << int(type);
    EXPECT_NE(message_.find("field Qty"), std::string::npos) << message_;
  }
  // Compared as numbers, not as texts: "9" < "10" only numerically.
  EXPECT_EQ(Check(Limited("Qty", ft::kInteger, "-5", "100"), std::int64_t{-6}), ie::kBelowMinimum);
}

TEST_F(RecordValuesValidityTest, FloatsWithTheLocaleDecimalSeparator) {
  const TFieldDescriptor rate = Limited("Rate", ft::kFloat, "1,5", "2,25");
  EXPECT_EQ(Check(rate, 1.49), ie::kBelowMinimum);
  EXPECT_EQ(Check(rate, 1.5), 0);
  EXPECT_EQ(Check(rate, 2.25), 0);
  EXPECT_EQ(Check(rate, 2.2500001), ie::kAboveMaximum);
  EXPECT_EQ(Check(Limited("Rate", ft::kFloat, "1.5", "", 0), 1.4, 0), ie::kBelowMinimum);
}

TEST_F(RecordValuesValidityTest, BcdComparesTheScaledValueWithTheLimitAtTheFieldScale) {
  const TFieldDescriptor price = Limited("Price", ft::kBcd, "0,01", "10,005", 0, 2);
  EXPECT_EQ(Check(price, 0.0), ie::kBelowMinimum);
  EXPECT_EQ(Check(price, 0.01), 0);
  // The maximum 10,005 is 10,01 at two decimals.
  EXPECT_EQ(Check(price, 10.01), 0);
  EXPECT_EQ(Check(price, 10.02), ie::kAboveMaximum);
  // Limits read with the field's own decimals: every digit the field holds counts.
  const TFieldDescriptor fine = Limited("Fine", ft::kBcd, "", "0,000001", 0, 6);
  EXPECT_EQ(Check(fine, TBcdAmount{1}), 0);
  EXPECT_EQ(Check(fine, TBcdAmount{2}), ie::kAboveMaximum);
  EXPECT_EQ(Check(Limited("Fine", ft::kBcd, "", "0,0001", 0, 6), TBcdAmount{101}),
            ie::kAboveMaximum);
  // Beyond 2^53 units, where neighbouring amounts share one double.
  const TFieldDescriptor large =
      Limited("Large", ft::kBcd, "-90071992547409,93", "90071992547409,93", 0, 2);
  EXPECT_EQ(Check(large, TBcdAmount{9007199254740993}), 0);
  EXPECT_EQ(Check(large, TBcdAmount{9007199254740994}), ie::kAboveMaximum);
  EXPECT_EQ(Check(large, TBcdAmount{-9007199254740993}), 0);
  EXPECT_EQ(Check(large, TBcdAmount{-9007199254740994}), ie::kBelowMinimum);
  // A whole-number field holds more than the four-decimal currency form reaches.
  const TFieldDescriptor whole = Limited("Whole", ft::kBcd, "", "9000000000000000000", 0, 0);
  EXPECT_EQ(Check(whole, TBcdAmount{9000000000000000000}), 0);
  EXPECT_EQ(Check(whole, TBcdAmount{9000000000000000001}), ie::kAboveMaximum);
}

TEST_F(RecordValuesValidityTest, DatesTimesAndDateTimes) {
  const TFieldDescriptor born = Limited("Born", ft::kDate, "1.1.2000", "31.12.2009");
  EXPECT_EQ(Check(born, DayOf(1999, 12, 31)), ie::kBelowMinimum);
  EXPECT_EQ(Check(born, DayOf(2000, 1, 1)), 0);
  EXPECT_EQ(Check(born, DayOf(2010, 1, 1)), ie::kAboveMaximum);
  EXPECT_EQ(Check(Limited("Born", ft::kDate, "", "12/31/2009"), DayOf(2010, 1, 1), 0),
            ie::kAboveMaximum);

  const TFieldDescriptor opens = Limited("Opens", ft::kTime, "8:00", "17:30");
  EXPECT_EQ(Check(opens, MsOf(7, 59, 59)), ie::kBelowMinimum);
  EXPECT_EQ(Check(opens, MsOf(17, 30)), 0);
  EXPECT_EQ(Check(opens, MsOf(17, 30, 1)), ie::kAboveMaximum);

  const double noon = static_cast<double>(DayOf(2000, 1, 1)) * kMsecsPerDay + MsOf(12, 0);
  const TFieldDescriptor stamp = Limited("Stamp", ft::kDateTime, "", "1.1.2000 12:00");
  EXPECT_EQ(Check(stamp, noon), 0);
  EXPECT_EQ(Check(stamp, noon + 1000), ie::kAboveMaximum);
}

TEST_F(RecordValuesValidityTest, KeywordLimitsMeanTheMomentOfTheCheck) {
  const std::int64_t today = platform::Today();
  const TFieldDescriptor due = Limited("Due", ft::kDate, "", "DATE");
  EXPECT_EQ(Check(due, today - 1), 0);
  EXPECT_EQ(Check(due, today + 2), ie::kAboveMaximum);
  const TFieldDescriptor since = Limited("Since", ft::kDateTime, "now", "");
  EXPECT_EQ(Check(since, static_cast<double>(today - 1) * kMsecsPerDay), ie::kBelowMinimum);
  EXPECT_EQ(Check(since, static_cast<double>(today + 2) * kMsecsPerDay), 0);
}

TEST_F(RecordValuesValidityTest, TypesWithoutOrderAreNotChecked) {
  EXPECT_EQ(Check(Limited("Flag", ft::kBoolean, "TRUE", "TRUE"), false), 0);
  EXPECT_EQ(Check(Limited("Raw", ft::kBytes, "zz", "zz", 2), std::string("aa")), 0);
}

TEST_F(RecordValuesValidityTest, ALimitThatDoesNotConvertIsAConversionError) {
  const TFieldDescriptor qty = Limited("Qty", ft::kInteger, "", "many");
  EXPECT_EQ(ConversionErrorOf([&] { Check(qty, std::int64_t{1}); }),
            "'many' is not a valid integer value");
  const TFieldDescriptor born = Limited("Born", ft::kDate, "soon", "");
  EXPECT_EQ(ConversionErrorOf([&] { Check(born, DayOf(2000, 1, 1)); }),
            "'soon' is not a valid date");
}

}  // namespace
}  // namespace katalog
