// Fields over the in-memory data set: finding them by name, their values and texts by class,
// their events, and how definitions become field objects and bind to the columns.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "dataset/BinaryFields.h"
#include "dataset/BlobFields.h"
#include "dataset/BooleanField.h"
#include "dataset/DatabaseError.h"
#include "dataset/DateTimeFields.h"
#include "dataset/Field.h"
#include "dataset/FieldDefs.h"
#include "dataset/NumericFields.h"
#include "dataset/StringField.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/Locale.h"
#include "support/MemoryDataSet.h"

namespace katalog::testing {
namespace {

using namespace std::string_literals;
using ::testing::EndsWith;

class FieldTest : public ::testing::Test {
 protected:
  // Field names and texts are Windows-1250 bytes.
  static std::string Cp(std::u16string_view text) {
    return platform::CodePage(1250).FromUtf16(text);
  }
  // A number text with '_' standing for the no-break space that groups thousands.
  static std::string Grouped(std::string text) {
    for (char& c : text) c = c == '_' ? '\xA0' : c;
    return text;
  }
  static std::int32_t Day(int year, int month, int day) {
    std::int32_t number = 0;
    EXPECT_TRUE(platform::TryEncodeDate(year, month, day, number));
    return number;
  }
  static std::int64_t Ms(int h, int m, int s, int ms = 0) {
    return ((h * 60LL + m) * 60 + s) * 1000 + ms;
  }
  static double Stamp(std::int32_t day, std::int64_t ms) {
    return static_cast<double>(day) * platform::kMsecsPerDay + static_cast<double>(ms);
  }
  // The message of the E the action raises; other exceptions fail the test.
  template <class E = EDatabaseError, class F>
  static std::string ErrorOf(F&& action) {
    try {
      action();
    } catch (const E& e) {
      return e.what();
    }
    return "(no error)";
  }
  template <class T>
  static T& As(TField* field) {
    auto* typed = dynamic_cast<T*>(field);
    if (!typed) throw std::logic_error("field of an unexpected class");
    return *typed;
  }
};

TEST_F(FieldTest, NamesAreFoundIgnoringCaseAndMissingOnesNamedInTheError) {
  const std::string upper = Cp(u"ČÍSLO");
  TMemoryDataSet dataSet{nullptr, {{"DE_1", ftString, 10}, {upper, ftInteger}}};
  dataSet.SetName("IsamTable1");
  dataSet.Open();

  EXPECT_EQ(dataSet.FieldNamed("de_1")->FieldName(), "DE_1");
  TField* number = dataSet.FieldNamed(Cp(u"číslo"));
  EXPECT_EQ(number->FieldName(), upper);
  EXPECT_EQ(number->FieldNo(), 2);
  EXPECT_EQ(dataSet.FieldDefs().IndexOf(Cp(u"Číslo")), 1);
  // Case is ignored, accents are not; a prefix is not a match.
  EXPECT_EQ(dataSet.TryFieldNamed("CISLO"), nullptr);
  EXPECT_EQ(dataSet.TryFieldNamed("DE"), nullptr);
  EXPECT_EQ(dataSet.TryFieldNamed("DE_2"), nullptr);
  EXPECT_EQ(ErrorOf([&] { dataSet.FieldNamed("DE_2"); }), "IsamTable1: Field 'DE_2' not found");
  EXPECT_EQ(dataSet.GetFieldList("de_1;" + Cp(u"číslo")),
            (std::vector<TField*>{dataSet.FieldNamed("DE_1"), number}));
}

TEST_F(FieldTest, StringsAndIntegersReadFromTheRecordImage) {
  TMemoryDataSet dataSet{
      nullptr, {{"NAME", ftString, 40}, {"EMPTY", ftString, 10}, {"W", ftWord}, {"S", ftSmallint}}};
  dataSet.AddRecord({"abc\0def"s, {}, std::int64_t{65535}, std::int64_t{65535}});
  dataSet.Open();
  TField& name = *dataSet.FieldNamed("NAME");
  TField& empty = *dataSet.FieldNamed("EMPTY");

  // The text ends at the first zero byte, whatever follows it.
  EXPECT_EQ(name.ValueString(), "abc");
  EXPECT_EQ(name.DisplayString(), "abc");
  EXPECT_TRUE(empty.IsBlank());
  EXPECT_EQ(empty.ValueString(), "");
  EXPECT_EQ(empty.DisplayString(), "");
  EXPECT_EQ(empty.ValueVariant(), TVariant{});
  EXPECT_EQ(dataSet.FieldNamed("W")->ValueInteger(), 65535);
  EXPECT_EQ(dataSet.FieldNamed("S")->ValueInteger(), -1);
  EXPECT_EQ(dataSet.FieldNamed("S")->ValueString(), "-1");

  // Typed reads of a string convert its text.
  dataSet.Edit();
  name.SetValueString(std::string(50, 'x'));
  EXPECT_EQ(name.ValueString(), std::string(40, 'x'));
  name.SetValueString("12");
  EXPECT_EQ(name.ValueInteger(), 12);
  EXPECT_EQ(name.ValueCurrency(), 120000);
  name.SetValueString("1,5");
  EXPECT_DOUBLE_EQ(name.ValueFloat(), 1.5);
  name.SetValueString("x");
  EXPECT_EQ(ErrorOf<EConvertError>([&] { name.ValueInteger(); }),
            "'x' is not a valid integer value");
  for (const char* yes : {"Yes", "t", "True", "y"}) {
    name.SetValueString(yes);
    EXPECT_TRUE(name.ValueBoolean()) << yes;
  }
  for (const char* no : {"no", "F", "1", " yes"}) {
    name.SetValueString(no);
    EXPECT_FALSE(name.ValueBoolean()) << no;
  }
  name.SetValueBoolean(true);
  EXPECT_EQ(name.ValueString(), "T");
  dataSet.Cancel();
  EXPECT_EQ(name.ValueString(), "abc");

  // What a class does not support names the field and the type asked for.
  TField& word = *dataSet.FieldNamed("W");
  EXPECT_EQ(ErrorOf([&] { word.ValueBoolean(); }), "Cannot access field 'W' as type Boolean");
  EXPECT_EQ(ErrorOf([&] { word.ValueDateTime(); }), "Cannot access field 'W' as type DateTime");
  word.SetDisplayLabel("Count");
  EXPECT_EQ(ErrorOf([&] { word.ValueBoolean(); }), "Cannot access field 'Count' as type Boolean");
}

TEST_F(FieldTest, BooleanTextsFollowDisplayValues) {
  TMemoryDataSet dataSet{nullptr, {{"YES", ftBoolean}, {"NO", ftBoolean}, {"NONE", ftBoolean}}};
  dataSet.AddRecord({true, false, {}});
  dataSet.Open();
  auto& yes = As<TBooleanField>(dataSet.FieldNamed("YES"));
  auto& no = As<TBooleanField>(dataSet.FieldNamed("NO"));
  TField& none = *dataSet.FieldNamed("NONE");

  EXPECT_EQ(yes.DisplayString(), "True");
  EXPECT_EQ(no.DisplayString(), "False");
  EXPECT_EQ(none.DisplayString(), "");
  EXPECT_FALSE(none.ValueBoolean());
  EXPECT_EQ(yes.DisplayWidth(), 5);

  for (TBooleanField* field : {&yes, &no}) field->SetDisplayValues("Ano;Ne");
  EXPECT_EQ(yes.DisplayString(), "Ano");
  EXPECT_EQ(no.EditString(), "Ne");
  EXPECT_EQ(no.ValueString(), "Ne");
  EXPECT_EQ(yes.DisplayWidth(), 3);

  // After ";" at most 255 characters; without ";" the first 255 are the true text and what
  // follows the 256th the false text.
  for (TBooleanField* field : {&yes, &no}) field->SetDisplayValues("J;" + std::string(300, 'n'));
  EXPECT_EQ(yes.DisplayString(), "J");
  EXPECT_EQ(no.DisplayString(), std::string(255, 'n'));
  EXPECT_EQ(yes.DefaultWidth(), 255);
  const std::string noSeparator = std::string(255, 'a') + "X" + std::string(44, 'b');
  yes.SetDisplayValues(noSeparator);
  no.SetDisplayValues(noSeparator);
  EXPECT_EQ(yes.DisplayString(), std::string(255, 'a'));
  EXPECT_EQ(no.DisplayString(), std::string(44, 'b'));
  EXPECT_EQ(yes.DefaultWidth(), 255);
  yes.SetDisplayValues("Ja");
  EXPECT_EQ(yes.DisplayString(), "Ja");
  EXPECT_EQ(yes.DefaultWidth(), 2);
  yes.SetDisplayValues("");
  EXPECT_EQ(yes.DisplayString(), "True");

  // Text is read back against the two texts, ignoring case.
  no.SetDisplayValues("Ano;Ne");
  dataSet.Edit();
  no.SetValueString("aNO");
  EXPECT_TRUE(no.ValueBoolean());
  EXPECT_EQ(ErrorOf([&] { no.SetValueString("snad"); }),
            "'snad' is not a valid boolean value for field 'NO'");
  EXPECT_TRUE(no.ValueBoolean());
  dataSet.Cancel();
}

TEST_F(FieldTest, DatesAndTimesShowInTheCzechForms) {
  const std::int32_t day = Day(2026, 12, 8);
  TMemoryDataSet dataSet{nullptr,
                         {{"D", ftDate},
                          {"T", ftTime},
                          {"DT", ftDateTime},
                          {"MIDNIGHT", ftDateTime},
                          {"EARLY", ftDateTime},
                          {"NONE", ftDateTime}}};
  dataSet.AddRecord({std::int64_t{day},
                     Ms(9, 5, 3),
                     Stamp(day, Ms(10, 5, 3)),
                     Stamp(day, 0),
                     Stamp(day, 750),
                     {}});
  dataSet.Open();
  auto& stamp = As<TDateTimeField>(dataSet.FieldNamed("DT"));

  EXPECT_EQ(dataSet.FieldNamed("D")->DisplayString(), "8.12.2026");
  EXPECT_EQ(dataSet.FieldNamed("T")->DisplayString(), "9:05:03");
  EXPECT_EQ(stamp.DisplayString(), "8.12.2026 10:05:03");
  EXPECT_EQ(dataSet.FieldNamed("MIDNIGHT")->DisplayString(), "8.12.2026");
  // Hours, minutes and seconds all zero: the milliseconds alone do not bring the time back.
  EXPECT_EQ(dataSet.FieldNamed("EARLY")->DisplayString(), "8.12.2026");
  EXPECT_EQ(dataSet.FieldNamed("NONE")->DisplayString(), "");

  // The field form counts days from 30 December 1899.
  const double days = day - platform::kDateDelta;
  EXPECT_DOUBLE_EQ(dataSet.FieldNamed("D")->ValueDateTime(), days);
  EXPECT_NEAR(stamp.ValueFloat(), days + static_cast<double>(Ms(10, 5, 3)) / 86400000.0, 1e-9);
  EXPECT_DOUBLE_EQ(dataSet.FieldNamed("T")->ValueDateTime(),
                   static_cast<double>(Ms(9, 5, 3)) / 86400000.0);

  // DisplayFormat is for display only.
  stamp.SetDisplayFormat("yyyy-mm-dd hh:nn");
  EXPECT_EQ(stamp.DisplayString(), "2026-12-08 10:05");
  EXPECT_EQ(stamp.EditString(), "8.12.2026 10:05:03");
  EXPECT_EQ(stamp.ValueString(), "8.12.2026 10:05:03");

  // Text goes back through the same forms into the native values.
  dataSet.Edit();
  dataSet.FieldNamed("D")->SetValueString("1.2.2027");
  EXPECT_EQ(dataSet.FieldNamed("D")->DisplayString(), "1.2.2027");
  stamp.SetValueString("31.12.1999 23:59:59");
  EXPECT_EQ(stamp.EditString(), "31.12.1999 23:59:59");
  dataSet.FieldNamed("T")->SetValueString("7:08");
  EXPECT_EQ(dataSet.FieldNamed("T")->EditString(), "7:08:00");
  EXPECT_EQ(ErrorOf<EConvertError>([&] { dataSet.FieldNamed("T")->SetValueString("25:00"); }),
            "'25:00' is not a valid date and time");
  dataSet.Cancel();
  EXPECT_EQ(dataSet.FieldNamed("D")->DisplayString(), "8.12.2026");
}

TEST_F(FieldTest, BlobAndBinaryFieldsShowTheirClassDescription) {
  std::string longText;
  for (int i = 0; longText.size() <= 12000; ++i) longText += "line " + std::to_string(i) + "\n";
  TMemoryDataSet dataSet{nullptr,
                         {{"M", ftMemo},
                          {"EMPTY", ftMemo},
                          {"FM", ftFmtMemo},
                          {"BY", ftBytes, 4},
                          {"NOBY", ftBytes, 4},
                          {"VB", ftVarBytes, 8}}};
  dataSet.AddRecord({longText, {}, "rich"s, "ab"s, {}, "xyz"s});
  dataSet.Open();
  TField& memo = *dataSet.FieldNamed("M");
  TField& empty = *dataSet.FieldNamed("EMPTY");

  EXPECT_EQ(memo.ValueString(), longText);
  EXPECT_EQ(memo.DisplayString(), "(MEMO)");
  EXPECT_EQ(memo.EditString(), "(MEMO)");
  EXPECT_EQ(empty.DisplayString(), "(Memo)");
  EXPECT_EQ(empty.ValueString(), "");

  TField* rich = dataSet.FieldNamed("FM");
  EXPECT_EQ(dynamic_cast<TMemoField*>(rich), nullptr);
  EXPECT_EQ(As<TBlobField>(rich).BlobType(), ftFmtMemo);
  EXPECT_EQ(rich->DataType(), ftFmtMemo);
  EXPECT_EQ(rich->DisplayString(), "(FMTMEMO)");
  EXPECT_EQ(rich->ValueString(), "rich");

  EXPECT_EQ(dataSet.FieldNamed("BY")->ValueString(), "ab\0\0"s);
  EXPECT_EQ(dataSet.FieldNamed("BY")->DisplayString(), "(BYTES)");
  EXPECT_EQ(dataSet.FieldNamed("NOBY")->DisplayString(), "(Bytes)");
  EXPECT_EQ(dataSet.FieldNamed("NOBY")->ValueString(), "");
  EXPECT_EQ(dataSet.FieldNamed("VB")->ValueString(), "xyz");
  EXPECT_EQ(dataSet.FieldNamed("VB")->DisplayString(), "(VARBYTES)");

  // Contents written during an edit decide blankness until the record is stored.
  dataSet.Edit();
  empty.SetValueString("new");
  memo.SetValueString("");
  EXPECT_EQ(empty.DisplayString(), "(MEMO)");
  EXPECT_EQ(memo.DisplayString(), "(Memo)");
  dataSet.Post();
  EXPECT_TRUE(memo.IsBlank());
  EXPECT_EQ(empty.ValueString(), "new");
  EXPECT_EQ(dataSet.StoredValue(0, 1), TVariant{"new"s});
}

TEST_F(FieldTest, FloatsAndCurrencyFollowPrecisionAndFormats) {
  TMemoryDataSet dataSet{nullptr, {{"F", ftFloat}, {"C", ftCurrency}, {"P", ftFloat}}};
  dataSet.AddRecord({1234.5, 1234.5, 1234.5678});
  dataSet.Open();
  auto& plain = As<TFloatField>(dataSet.FieldNamed("F"));
  auto& money = As<TFloatField>(dataSet.FieldNamed("C"));
  auto& precise = As<TFloatField>(dataSet.FieldNamed("P"));

  EXPECT_EQ(plain.DisplayString(), "1234,5");
  EXPECT_EQ(plain.ValueString(), "1234,5");
  EXPECT_EQ(plain.ValueInteger(), 1234);  // halves to even
  EXPECT_EQ(money.DisplayString(), Grouped("1_234,50") + Cp(u" Kč"));
  EXPECT_EQ(money.EditString(), "1234,50");
  EXPECT_EQ(money.ValueString(), "1234,5");
  EXPECT_EQ(money.ValueCurrency(), 12345000);

  plain.SetDisplayFormat("#,##0.00");
  EXPECT_EQ(plain.DisplayString(), Grouped("1_234,50"));
  EXPECT_EQ(plain.EditString(), Grouped("1_234,50"));
  plain.SetEditFormat("0.000");
  EXPECT_EQ(plain.EditString(), "1234,500");
  EXPECT_EQ(plain.DisplayString(), Grouped("1_234,50"));

  precise.SetPrecision(4);
  EXPECT_EQ(precise.DisplayString(), "1235");
  EXPECT_EQ(precise.EditString(), "1235");
  EXPECT_EQ(precise.ValueString(), "1234,5678");
  precise.SetPrecision(1);
  EXPECT_EQ(precise.Precision(), 2);
  precise.SetPrecision(40);
  EXPECT_EQ(precise.Precision(), 15);

  dataSet.Edit();
  plain.SetValueString("2,25");
  EXPECT_DOUBLE_EQ(plain.ValueFloat(), 2.25);
  plain.SetMinValue(0);
  plain.SetMaxValue(10);
  EXPECT_EQ(ErrorOf([&] { plain.SetValueFloat(10.5); }),
            "10,5 is not a valid value for field 'F'. The allowed range is 0 to 10");
  EXPECT_EQ(ErrorOf([&] { plain.SetValueString("abc"); }),
            "'abc' is not a valid floating point value for field 'F'");
  EXPECT_DOUBLE_EQ(plain.ValueFloat(), 2.25);
  dataSet.Cancel();
}

TEST_F(FieldTest, BcdValuesKeepTheirDecimalsAndOverflowShowsInText) {
  TMemoryDataSet dataSet{nullptr, {{"B", ftBCD, 2}, {"HUGE", ftBCD, 0}, {"WIDE", ftBCD, 32}}};
  // No decimals: the largest currency amount rounds up to a whole number beyond its range.
  dataSet.AddRecord({std::int64_t{12345000}, std::numeric_limits<std::int64_t>::max(), {}});
  dataSet.Open();
  auto& amount = As<TBCDField>(dataSet.FieldNamed("B"));
  auto& huge = As<TBCDField>(dataSet.FieldNamed("HUGE"));

  EXPECT_EQ(amount.Size(), 2);
  EXPECT_EQ(amount.ValueString(), "1234,5");
  EXPECT_EQ(amount.DisplayString(), "1234,5");
  EXPECT_EQ(amount.ValueCurrency(), 12345000);
  EXPECT_DOUBLE_EQ(amount.ValueFloat(), 1234.5);
  EXPECT_EQ(amount.ValueInteger(), 1234);
  amount.SetCurrency(true);
  EXPECT_EQ(amount.DisplayString(), Grouped("1_234,50") + Cp(u" Kč"));
  EXPECT_EQ(amount.EditString(), "1234,50");
  amount.SetDisplayFormat("#,##0.0");
  EXPECT_EQ(amount.DisplayString(), Grouped("1_234,5"));

  EXPECT_EQ(huge.DisplayString(), "(Overflow)");
  EXPECT_EQ(huge.EditString(), "(Overflow)");
  huge.SetCurrency(true);
  EXPECT_EQ(huge.DisplayString(), "(Overflow)");
  EXPECT_EQ(ErrorOf<EOverflow>([&] { huge.ValueCurrency(); }),
            "Value of field 'HUGE' is out of range");

  // Writing rounds to the column's decimals, half away from zero.
  dataSet.Edit();
  amount.SetValueCurrency(12350);
  EXPECT_EQ(amount.ValueCurrency(), 12400);
  amount.SetValueCurrency(-12350);
  EXPECT_EQ(amount.ValueCurrency(), -12400);
  amount.SetValueString("7,004");
  EXPECT_EQ(amount.ValueCurrency(), 70000);
  // 32 digits all after the point leave no room for a whole unit.
  EXPECT_EQ(ErrorOf<EOverflow>([&] { dataSet.FieldNamed("WIDE")->SetValueCurrency(10000); }),
            "Value of field 'WIDE' is out of range");
  EXPECT_TRUE(dataSet.FieldNamed("WIDE")->IsBlank());
  dataSet.Cancel();
}

TEST_F(FieldTest, IntegerFormatsAndRangeChecks) {
  TMemoryDataSet dataSet{nullptr,
                         {{"NUM", ftInteger}, {"S", ftSmallint}, {"W", ftWord}, {"L", ftLargeint}}};
  dataSet.AddRecord(
      {std::int64_t{42}, std::int64_t{7}, std::int64_t{7}, std::int64_t{9'000'000'000}});
  dataSet.Open();
  auto& num = As<TIntegerField>(dataSet.FieldNamed("NUM"));
  TField& small = *dataSet.FieldNamed("S");
  TField& word = *dataSet.FieldNamed("W");
  auto& large = As<TLargeintField>(dataSet.FieldNamed("L"));

  num.SetDisplayFormat("0000");
  EXPECT_EQ(num.DisplayString(), "0042");
  EXPECT_EQ(num.EditString(), "0042");
  EXPECT_EQ(num.ValueString(), "42");
  num.SetEditFormat("0.0");
  EXPECT_EQ(num.EditString(), "42,0");
  EXPECT_EQ(large.ValueString(), "9000000000");
  large.SetDisplayFormat("#,##0");
  EXPECT_EQ(large.DisplayString(), Grouped("9_000_000_000"));

  dataSet.Edit();
  EXPECT_EQ(ErrorOf([&] { num.SetValueString("abc"); }),
            "'abc' is not a valid integer value for field 'NUM'");
  EXPECT_EQ(ErrorOf([&] { small.SetValueInteger(40000); }),
            "40000 is not a valid value for field 'S'. The allowed range is -32768 to 32767");
  EXPECT_EQ(ErrorOf([&] { word.SetValueInteger(-1); }),
            "-1 is not a valid value for field 'W'. The allowed range is 0 to 65535");
  EXPECT_EQ(ErrorOf([&] { num.SetValueInteger(std::int64_t{1} << 31); }),
            "2147483648 is not a valid value for field 'NUM'. The allowed range is -2147483648 to "
            "2147483647");
  EXPECT_EQ(num.ValueInteger(), 42);
  EXPECT_EQ(small.ValueInteger(), 7);
  word.SetValueInteger(65535);
  EXPECT_EQ(word.ValueInteger(), 65535);
  small.SetValueInteger(-32768);
  EXPECT_EQ(small.ValueInteger(), -32768);
  // Limits wider than the type still leave no room for values the type cannot hold.
  auto& limited = As<TIntegerField>(&small);
  limited.SetMinValue(-100000);
  limited.SetMaxValue(100000);
  EXPECT_THROW(small.SetValueInteger(40000), EDatabaseError);
  EXPECT_EQ(small.ValueInteger(), -32768);

  num.SetMinValue(1);
  num.SetMaxValue(100);
  EXPECT_EQ(ErrorOf([&] { num.SetValueInteger(101); }),
            "101 is not a valid value for field 'NUM'. The allowed range is 1 to 100");
  num.SetValueFloat(2.5);
  EXPECT_EQ(num.ValueInteger(), 2);
  num.SetValueCurrency(35000);
  EXPECT_EQ(num.ValueInteger(), 4);
  num.SetValueString("");
  EXPECT_TRUE(num.IsBlank());
  EXPECT_EQ(num.DisplayString(), "");
  dataSet.Cancel();
  EXPECT_EQ(num.ValueInteger(), 42);
}

TEST_F(FieldTest, EventsSeeTheTextFlagAndThePendingValue) {
  TMemoryDataSet dataSet{nullptr, {{"NUM", ftInteger}, {"NAME", ftString, 20}}};
  dataSet.AddRecord({std::int64_t{7}, "x"s});
  dataSet.Open();
  TField& num = *dataSet.FieldNamed("NUM");

  std::vector<bool> flags;
  num.SetOnGetText([&](TField& sender, std::string& text, bool displayText) {
    flags.push_back(displayText);
    text += (displayText ? "show " : "edit ") + sender.ValueString();
  });
  EXPECT_EQ(num.DisplayString(), "show 7");
  EXPECT_EQ(num.EditString(), "edit 7");
  EXPECT_EQ(flags, (std::vector<bool>{true, false}));
  EXPECT_EQ(num.ValueString(), "7");

  std::vector<std::string> seen;
  int changes = 0;
  num.SetOnValidate([&](TField& sender) {
    seen.push_back(sender.IsBlank() ? "blank" : sender.ValueString());
    if (!sender.IsBlank() && sender.ValueInteger() == 13) throw EDatabaseError("unlucky");
  });
  num.SetOnChange([&](TField& sender) {
    EXPECT_EQ(&sender, &num);
    ++changes;
  });
  num.SetOnSetText([](TField& sender, std::string_view text) {
    sender.SetValueInteger(static_cast<std::int64_t>(text.size()));
  });

  dataSet.Edit();
  num.SetValueInteger(5);
  EXPECT_EQ(num.ValueInteger(), 5);
  EXPECT_EQ(ErrorOf([&] { num.SetValueInteger(13); }), "unlucky");
  EXPECT_EQ(num.ValueInteger(), 5);  // refused: neither stored nor still pending
  num.SetEditString("abc");
  EXPECT_EQ(num.ValueInteger(), 3);
  dataSet.FieldNamed("NAME")->SetValueString("y");  // another field's change is not ours
  num.Clear();
  EXPECT_TRUE(num.IsBlank());
  EXPECT_EQ(seen, (std::vector<std::string>{"5", "13", "3", "blank"}));
  EXPECT_EQ(changes, 3);
  dataSet.Cancel();
  EXPECT_EQ(num.ValueInteger(), 7);
}

TEST_F(FieldTest, DefinitionsBecomeFieldsOfTheirClass) {
  TFieldDefs defs{nullptr};
  EXPECT_EQ(ErrorOf([&] { defs.AddDef("S", ftString, 9000); }), "Invalid field size");
  EXPECT_EQ(ErrorOf([&] { defs.AddDef("B", ftBytes, 0); }), "Invalid field size");
  EXPECT_EQ(ErrorOf([&] { defs.AddDef("I", ftInteger, 4); }), "Invalid field size");
  EXPECT_EQ(ErrorOf([&] { defs.AddDef("D", ftBCD, 33); }), "Invalid field size");
  EXPECT_EQ(defs.Count(), 0);
  defs.AddDef("S", ftString, 8192);
  defs.AddDef("M", ftMemo, 240, true);
  EXPECT_EQ(defs.Count(), 2);
  EXPECT_EQ(defs.Find("m")->FieldNo(), 2);
  EXPECT_TRUE(defs.Items(1).Required());

  struct TExpected {
    TColumn Column;
    std::string_view ClassName;
  };
  const std::vector<TExpected> expected = {{{"NAME", ftString, 30, true}, "TStringField"},
                                           {{"SMALL", ftSmallint}, "TSmallintField"},
                                           {{"NUM", ftInteger}, "TIntegerField"},
                                           {{"W", ftWord}, "TWordField"},
                                           {{"OK", ftBoolean}, "TBooleanField"},
                                           {{"F", ftFloat}, "TFloatField"},
                                           {{"C", ftCurrency}, "TCurrencyField"},
                                           {{"B", ftBCD, 2}, "TBCDField"},
                                           {{"D", ftDate}, "TDateField"},
                                           {{"T", ftTime}, "TTimeField"},
                                           {{"DT", ftDateTime}, "TDateTimeField"},
                                           {{"BY", ftBytes, 8}, "TBytesField"},
                                           {{"VB", ftVarBytes, 8}, "TVarBytesField"},
                                           {{"AI", ftAutoInc}, "TAutoIncField"},
                                           {{"BL", ftBlob}, "TBlobField"},
                                           {{"M", ftMemo, 0, true}, "TMemoField"},
                                           {{"FM", ftFmtMemo}, "TBlobField"},
                                           {{"G", ftGraphic}, "TGraphicField"},
                                           {{"L", ftLargeint}, "TLargeintField"}};
  std::vector<TColumn> columns;
  for (const TExpected& e : expected) columns.push_back(e.Column);
  TMemoryDataSet dataSet{nullptr, columns};
  dataSet.Open();
  ASSERT_EQ(dataSet.Fields().Count(), static_cast<int>(expected.size()));
  EXPECT_TRUE(dataSet.DefaultFields());
  for (int i = 0; i < dataSet.Fields().Count(); ++i) {
    const TField* field = dataSet.Fields().Fields(i);
    const TExpected& e = expected[static_cast<std::size_t>(i)];
    EXPECT_EQ(field->ClassName(), e.ClassName) << i;
    EXPECT_EQ(field->FieldName(), e.Column.Name);
    EXPECT_EQ(field->FieldNo(), i + 1);
    EXPECT_EQ(field->Index(), i);
    EXPECT_EQ(field->Required(), e.Column.Required) << i;
    EXPECT_EQ(field->DataSet(), &dataSet);
  }
  // The class tree, as callers test it.
  EXPECT_NE(dynamic_cast<TFloatField*>(dataSet.FieldNamed("C")), nullptr);
  EXPECT_NE(dynamic_cast<TIntegerField*>(dataSet.FieldNamed("AI")), nullptr);
  EXPECT_NE(dynamic_cast<TBytesField*>(dataSet.FieldNamed("VB")), nullptr);
  EXPECT_NE(dynamic_cast<TBlobField*>(dataSet.FieldNamed("G")), nullptr);
  EXPECT_EQ(dynamic_cast<TCurrencyField*>(dataSet.FieldNamed("F")), nullptr);
  EXPECT_EQ(dataSet.FieldNamed("FM")->DataType(), ftFmtMemo);
  EXPECT_EQ(dataSet.FieldNamed("M")->DataType(), ftMemo);
  EXPECT_EQ(dataSet.FieldNamed("AI")->DataType(), ftAutoInc);
  // Sizes and value sizes.
  EXPECT_EQ(dataSet.FieldNamed("NAME")->Size(), 30);
  EXPECT_EQ(dataSet.FieldNamed("NAME")->DataSize(), 31);
  EXPECT_EQ(dataSet.FieldNamed("B")->Size(), 2);
  EXPECT_EQ(dataSet.FieldNamed("B")->DataSize(), 34);
  EXPECT_EQ(dataSet.FieldNamed("BY")->DataSize(), 8);
  EXPECT_EQ(dataSet.FieldNamed("VB")->DataSize(), 10);
  EXPECT_EQ(dataSet.FieldNamed("D")->DataSize(), 4);
  EXPECT_EQ(dataSet.FieldNamed("DT")->DataSize(), 8);
  EXPECT_EQ(dataSet.FieldNamed("OK")->DataSize(), 2);
  EXPECT_TRUE(dataSet.FieldNamed("BL")->IsBlobField());
  EXPECT_FALSE(dataSet.FieldNamed("BY")->IsBlobField());

  dataSet.Close();
  EXPECT_EQ(dataSet.Fields().Count(), 0);
}

TEST_F(FieldTest, BindingRefusesFieldsThatDoNotFitTheColumns) {
  TMemoryDataSet dataSet{nullptr, {{"NAME", ftString, 20}, {"NUM", ftInteger}, {"B", ftBCD, 2}}};
  dataSet.SetName("People");
  auto failingOpen = [&](TField* field, const std::string& name) {
    field->SetFieldName(name);
    field->SetDataSet(&dataSet);
    const std::string message = ErrorOf([&] { dataSet.Open(); });
    EXPECT_FALSE(dataSet.Active());
    delete field;
    return message;
  };
  EXPECT_EQ(failingOpen(new TIntegerField(&dataSet), "X"), "People: Field 'X' not found");
  EXPECT_EQ(failingOpen(new TIntegerField(&dataSet), "NAME"),
            "Type mismatch for field 'NAME', expecting: Integer actual: String");
  EXPECT_EQ(failingOpen(new TBCDField(&dataSet), "B"),
            "Size mismatch for field 'B', expecting: 4 actual: 2");
  auto* calculated = new TBlobField(&dataSet);
  calculated->SetFieldKind(fkCalculated);
  EXPECT_THAT(failingOpen(calculated, "C"),
              EndsWith("Field 'C' cannot be a calculated or lookup field"));

  // A persistent field binds by name whatever its case, and stays after closing.
  auto* name = new TStringField(&dataSet);
  name->SetFieldName("name");
  name->SetDataSet(&dataSet);
  dataSet.AddRecord({"Eva"s, std::int64_t{1}, {}});
  dataSet.Open();
  EXPECT_EQ(name->FieldNo(), 1);
  EXPECT_EQ(name->ValueString(), "Eva");
  EXPECT_EQ(dataSet.Fields().Count(), 1);
  EXPECT_EQ(dataSet.TryFieldNamed("NUM"), nullptr);
  dataSet.Close();
  EXPECT_EQ(name->FieldNo(), 0);

  // The list refuses a second field of the same name, and a field without a name.
  auto* twin = new TStringField(&dataSet);
  twin->SetFieldName("NAME");
  EXPECT_EQ(ErrorOf([&] { twin->SetDataSet(&dataSet); }), "People: Duplicate field name 'NAME'");
  EXPECT_EQ(twin->DataSet(), nullptr);
  twin->SetFieldName("");
  EXPECT_EQ(ErrorOf([&] { twin->SetDataSet(&dataSet); }), "People: Field name missing");
  EXPECT_EQ(dataSet.Fields().Count(), 1);

  // A field of no data set cannot read.
  TStringField loose{nullptr};
  loose.SetFieldName("X");
  EXPECT_EQ(ErrorOf([&] { loose.ValueString(); }), "Field 'X' has no dataset");
  EXPECT_EQ(ErrorOf([&] { loose.DisplayString(); }), "Field 'X' has no dataset");
}

TEST_F(FieldTest, DisplayNamesAndDefaultWidths) {
  TIntegerField num{nullptr};
  num.SetFieldName("NUM");
  EXPECT_EQ(num.DisplayName(), "NUM");
  num.SetDisplayLabel("Count");
  EXPECT_EQ(num.DisplayName(), "Count");
  EXPECT_EQ(num.FieldName(), "NUM");
  num.SetFieldName("Count");  // a label equal to the new name is dropped
  EXPECT_EQ(num.DisplayLabel(), "");
  EXPECT_EQ(num.DisplayName(), "Count");

  EXPECT_EQ(num.DisplayWidth(), 10);
  num.SetDisplayWidth(4);
  EXPECT_EQ(num.DisplayWidth(), 4);
  num.SetDisplayWidth(0);
  EXPECT_EQ(num.DisplayWidth(), 10);
  EXPECT_EQ(num.Alignment(), taRightJustify);
  EXPECT_EQ(ErrorOf([&] { num.SetSize(4); }), "Invalid field size");

  TStringField text{nullptr};
  EXPECT_EQ(text.Size(), 20);
  EXPECT_EQ(text.DisplayWidth(), 20);
  text.SetSize(33);
  EXPECT_EQ(text.DisplayWidth(), 33);
  EXPECT_EQ(ErrorOf([&] { text.SetSize(8193); }), "Invalid field size");
  EXPECT_EQ(text.Size(), 33);
  EXPECT_EQ(text.Alignment(), taLeftJustify);

  EXPECT_EQ(TLargeintField{nullptr}.DisplayWidth(), 15);
  EXPECT_EQ(TDateTimeField{nullptr}.DisplayWidth(), 18);
  EXPECT_EQ(TDateField{nullptr}.DisplayWidth(), 10);
  EXPECT_EQ(TTimeField{nullptr}.DisplayWidth(), 10);
  EXPECT_EQ(TFloatField{nullptr}.DisplayWidth(), 10);
  EXPECT_EQ(TBlobField{nullptr}.DisplayWidth(), 10);
  EXPECT_EQ(TBytesField{nullptr}.DisplayWidth(), 10);
  EXPECT_EQ(TBytesField{nullptr}.Size(), 16);
  TBCDField bcd{nullptr};
  EXPECT_EQ(bcd.Size(), 4);
  EXPECT_EQ(bcd.DisplayWidth(), 10);
  bcd.SetPrecision(8);
  EXPECT_EQ(bcd.DisplayWidth(), 9);
}

}  // namespace
}  // namespace katalog::testing

namespace katalog::testing {
namespace {

// Field names compare as the user's locale compares them ignoring case; plain ASCII names take a
// shortcut that must agree with the locale for every pair.
TEST(FieldNameTest, PlainNamesAgreeWithTheLocale) {
  const std::string alphabet = "AaBbCcHhZz019_";
  std::uint32_t state = 12345;
  auto next = [&state] { return state = state * 1103515245u + 12345u; };
  for (int i = 0; i < 3000; ++i) {
    std::string a, b;
    for (std::uint32_t n = next() % 5; n > 0; --n) a += alphabet[next() % alphabet.size()];
    b = a;
    if (next() % 2 == 0) {
      for (char& c : b)
        if (next() % 2 == 0 && std::isalpha(static_cast<unsigned char>(c))) c ^= 0x20;
    } else if (!b.empty()) {
      b[next() % b.size()] = alphabet[next() % alphabet.size()];
    }
    const bool locale = platform::CompareStringA(
                            platform::kLocaleUserDefault, platform::kNormIgnoreCase, a.data(),
                            static_cast<int>(a.size()), b.data(), static_cast<int>(b.size())) == 2;
    EXPECT_EQ(SameFieldName(a, b), locale) << "'" << a << "' and '" << b << "'";
  }
  // Not plain: the locale decides.
  EXPECT_FALSE(SameFieldName("DE-1", "de1"));
  EXPECT_TRUE(
      SameFieldName("\xC8"
                    "as",
                    "\xE8"
                    "AS"));  // "Čas", "čAS" in code page 1250
}

}  // namespace
}  // namespace katalog::testing
