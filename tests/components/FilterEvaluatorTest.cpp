// The filter evaluator's rules on single records of a real table: comparisons with nulls, IN and
// BETWEEN, arithmetic and its types, dates and times, strings and their order, logic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "dataset/FieldType.h"
#include "engine/components/ExprParser.h"
#include "engine/index/Filter.h"
#include "engine/index/FilterEvaluator.h"
#include "engine/index/FilterList.h"
#include "engine/index/FilterTree.h"
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableCreation.h"
#include "platform/AsciiText.h"
#include "platform/ByteOrder.h"
#include "platform/DateTime.h"
#include "platform/Locale.h"
#include "support/MemoryDataSet.h"
#include "support/TableFixture.h"

namespace katalog::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kCzech = 0x0405;

std::int32_t Day(int year, int month, int day) {
  std::int32_t n = 0;
  EXPECT_TRUE(platform::TryEncodeDate(year, month, day, n));
  return n;
}

// --- The evaluator on single records ---------------------------------------------------------

class EngineFilterEvaluatorTest : public TableTest {
 protected:
  using Node = std::unique_ptr<TFilterNode>;

  void SetUp() override {
    TableTest::SetUp();
    TTableDefinition def;
    def.TableName = TablePath();
    def.Fields = {{"Name", 1, 0, 20},
                  {"Num", 6},
                  {"Small", 5},
                  {"Amount", 7},
                  {"Born", 2},
                  {"Price", 8, 0, 0, 2},
                  {"Flag", 4},
                  {"Stamp", 11},
                  {"Clock", 10},
                  {"Word", 12},
                  // BCD amounts beyond what a double or the four-decimal form holds exactly.
                  {"Large", 8, 0, 0, 2},
                  {"Whole", 8, 0, 0, 0},
                  {"Fine", 8, 0, 0, 6}};
    CreateTable(def);
    table_.SetExclusive(true);
    table_.SetFileName(TablePath());
    table_.Open();
    full_.resize(table_.WorkingRecordSize());
    empty_.resize(table_.WorkingRecordSize());
    table_.BlankRecord(full_.data());
    table_.BlankRecord(empty_.data());
    ASSERT_TRUE(table_.WriteField(TFieldSet::Working, 1, std::string("Hello"), full_.data()));
    ASSERT_TRUE(table_.WriteField(TFieldSet::Working, 2, std::int64_t{7}, full_.data()));
    ASSERT_TRUE(table_.WriteField(TFieldSet::Working, 3, std::int64_t{3}, full_.data()));
    ASSERT_TRUE(table_.WriteField(TFieldSet::Working, 4, 2.5, full_.data()));
    ASSERT_TRUE(table_.WriteField(TFieldSet::Working, 5, std::int64_t{born_}, full_.data()));
    ASSERT_TRUE(table_.WriteField(TFieldSet::Working, 6, 12.34, full_.data()));
    ASSERT_TRUE(table_.WriteField(TFieldSet::Working, 7, true, full_.data()));
    ASSERT_TRUE(table_.WriteField(TFieldSet::Working, 8, stamp_, full_.data()));
    ASSERT_TRUE(table_.WriteField(TFieldSet::Working, 9, std::int64_t{49530000}, full_.data()));
    ASSERT_TRUE(table_.WriteField(TFieldSet::Working, 10, std::int64_t{65535}, full_.data()));
    // 90071992547409.93, 9 000 000 000 000 000 000 and 1.234549.
    ASSERT_TRUE(
        table_.WriteField(TFieldSet::Working, 11, TBcdAmount{9007199254740993}, full_.data()));
    ASSERT_TRUE(
        table_.WriteField(TFieldSet::Working, 12, TBcdAmount{9000000000000000000}, full_.data()));
    ASSERT_TRUE(table_.WriteField(TFieldSet::Working, 13, TBcdAmount{1234549}, full_.data()));
  }

  Node F(const std::string& name) const {
    for (const TFieldDescriptor& field : table_.WorkingFields()) {
      if (field.Name == name) {
        auto node = std::make_unique<TFilterNode>();
        node->Class = fc::kField;
        node->FieldName = field.Name;
        node->FieldNumber = field.FieldNumber;
        node->Value.Type = field.FieldTypeCode;
        node->Value.Decimals = field.PhysicalScale;
        return node;
      }
    }
    ADD_FAILURE() << "no field " << name;
    return nullptr;
  }
  static Node Constant(TFilterValue value) {
    auto node = std::make_unique<TFilterNode>();
    node->Class = fc::kConstant;
    node->Value = std::move(value);
    return node;
  }
  static TFilterValue Value(std::uint8_t type, std::int64_t integer, double floating = 0) {
    TFilterValue v;
    v.Type = type;
    v.Null = false;
    v.Integer = integer;
    v.Float = floating;
    return v;
  }
  static Node I(std::int64_t v, std::uint8_t type = ft::kInteger) {
    return Constant(Value(type, v));
  }
  static Node D(double v, std::uint8_t type = ft::kFloat) { return Constant(Value(type, 0, v)); }
  // A BCD constant in units of 1/10 000 with the given digits after the point.
  static Node Bcd(std::int64_t amount, std::uint8_t decimals) {
    TFilterValue v = Value(ft::kBcd, amount);
    v.Decimals = decimals;
    return Constant(v);
  }
  static Node S(const std::string& text) {
    TFilterValue v;
    v.Type = ft::kString;
    v.Null = false;
    v.Text = text;
    return Constant(v);
  }
  // The empty text as the compiled condition gives it: the null constant.
  static Node EmptyText() {
    TFilterValue v;
    v.Type = ft::kString;
    Node node = Constant(v);
    node->NullConstant = true;
    return node;
  }
  static Node Untyped() { return Constant(TFilterValue{}); }
  static Node Op(int cls, int op, Node left, Node right = nullptr) {
    auto node = std::make_unique<TFilterNode>();
    node->Class = cls;
    node->Operator = op;
    node->Left = std::move(left);
    node->Right = std::move(right);
    return node;
  }
  static Node B(int op, Node left, Node right) {
    return Op(fc::kBinary, op, std::move(left), std::move(right));
  }
  static Node Fn(int op, Node argument, Node second = nullptr, Node third = nullptr) {
    if (second && third) second->Right = std::move(third);
    return Op(fc::kFunction, op, std::move(argument), std::move(second));
  }
  static Node Compare(int op, Node left, Node right, bool caseInsensitive, int partial = 0) {
    Node node = Op(fc::kCompare, op, std::move(left), std::move(right));
    node->CaseInsensitive = caseInsensitive;
    node->PartialLength = static_cast<std::uint8_t>(partial);
    return node;
  }
  static Node Chain(int op, Node left, std::vector<Node> items) {
    for (std::size_t k = items.size() - 1; k > 0; --k) items[k - 1]->Right = std::move(items[k]);
    return Op(fc::kExtended, op, std::move(left), std::move(items[0]));
  }

  TFilterValue Eval(const Node& node, bool full = true, std::uint32_t locale = 0) const {
    const TEvaluationContext context{locale, &table_.WorkingFields()};
    return Evaluate(*node, full ? full_.data() : empty_.data(), context);
  }
  bool Holds(const Node& node, bool full = true, std::uint32_t locale = 0) const {
    const TEvaluationContext context{locale, &table_.WorkingFields()};
    return ConditionHolds(*node, full ? full_.data() : empty_.data(), context);
  }

  TDataFile table_;
  Bytes full_, empty_;
  std::int32_t born_ = Day(2024, 2, 29);
  double stamp_ = Day(2024, 3, 1) * 86'400'000.0 + 49'530'000.0;  // 1.3.2024 13:45:30
};

TEST_F(EngineFilterEvaluatorTest, ComparisonsWithNulls) {
  // left null?, right null?, then = <> > < >= <=
  struct TCase {
    bool leftNull, rightNull;
    bool expected[6];
  };
  const TCase cases[] = {
      {true, true, {true, false, false, false, false, false}},
      {true, false, {false, true, false, false, false, false}},
      {false, true, {false, true, false, false, false, false}},
      {false, false, {true, false, false, false, true, true}},  // 7 against 7
  };
  for (const TCase& c : cases) {
    for (int op = fo::kEqual; op <= fo::kLessEqual; ++op) {
      // The record's null is the blank record's Num; the constant's null an untyped constant.
      Node node = B(op, F("Num"), c.rightNull ? Untyped() : I(7));
      EXPECT_EQ(Holds(node, !c.leftNull), c.expected[op - fo::kEqual])
          << "op " << op << " left null " << c.leftNull << " right null " << c.rightNull;
      // A null typed constant behaves as the untyped one.
      TFilterValue typedNull;
      typedNull.Type = ft::kInteger;
      Node typed = B(op, F("Num"), c.rightNull ? Constant(typedNull) : I(7));
      EXPECT_EQ(Holds(typed, !c.leftNull), c.expected[op - fo::kEqual]) << "typed, op " << op;
    }
  }
  // Compare nodes follow the same rule for = and <>.
  EXPECT_TRUE(Holds(Compare(fo::kEqual, F("Name"), EmptyText(), true), false));
  EXPECT_FALSE(Holds(Compare(fo::kNotEqual, F("Name"), EmptyText(), true), false));
  EXPECT_FALSE(Holds(Compare(fo::kEqual, F("Name"), EmptyText(), true), true));
  EXPECT_TRUE(Holds(Compare(fo::kNotEqual, F("Name"), EmptyText(), true), true));
  EXPECT_FALSE(Holds(Compare(fo::kEqual, F("Name"), S("hello"), false), false));
  EXPECT_TRUE(Holds(Compare(fo::kNotEqual, F("Name"), S("hello"), false), false));
  // The empty text in a binary node: = and <> test for null, the orderings are false.
  EXPECT_TRUE(Holds(B(fo::kEqual, F("Name"), EmptyText()), false));
  EXPECT_FALSE(Holds(B(fo::kEqual, F("Name"), EmptyText()), true));
  EXPECT_TRUE(Holds(B(fo::kNotEqual, F("Name"), EmptyText()), true));
  for (int op = fo::kGreater; op <= fo::kLessEqual; ++op) {
    EXPECT_FALSE(Holds(B(op, F("Name"), EmptyText()), true)) << op;
    EXPECT_FALSE(Holds(B(op, F("Name"), EmptyText()), false)) << op;
  }
  // IS NULL / IS NOT NULL.
  EXPECT_TRUE(Holds(Op(fc::kUnary, fo::kIsNull, F("Price")), false));
  EXPECT_FALSE(Holds(Op(fc::kUnary, fo::kIsNull, F("Price")), true));
  EXPECT_TRUE(Holds(Op(fc::kUnary, fo::kIsNotNull, F("Price")), true));
  // IN, BETWEEN and LIKE are false with a null operand; their negations true.
  std::vector<Node> items;
  items.push_back(I(7));
  items.push_back(I(8));
  EXPECT_FALSE(Holds(Chain(fo::kIn, F("Num"), std::move(items)), false));
  items.clear();
  items.push_back(I(1));
  EXPECT_TRUE(Holds(Chain(fo::kNotIn, F("Num"), std::move(items)), false));
  items.clear();
  items.push_back(I(1));
  items.push_back(I(10));
  EXPECT_FALSE(Holds(Chain(fo::kBetween, F("Num"), std::move(items)), false));
  items.clear();
  items.push_back(I(1));
  items.push_back(I(10));
  EXPECT_TRUE(Holds(Chain(fo::kNotBetween, F("Num"), std::move(items)), false));
  items.clear();
  items.push_back(Untyped());
  items.push_back(I(10));
  EXPECT_FALSE(Holds(Chain(fo::kBetween, F("Num"), std::move(items)), true));
  EXPECT_FALSE(Holds(Op(fc::kExtended, fo::kLike, F("Name"), S("%")), false));
  EXPECT_TRUE(Holds(Op(fc::kExtended, fo::kNotLike, F("Name"), S("%")), false));
  EXPECT_FALSE(Holds(Op(fc::kExtended, fo::kLike, F("Name"), Untyped()), true));
}

TEST_F(EngineFilterEvaluatorTest, InAndBetweenOnValues) {
  const auto in = [&](std::vector<std::int64_t> values, int op = fo::kIn) {
    std::vector<Node> items;
    for (std::int64_t v : values) items.push_back(I(v));
    return Holds(Chain(op, F("Num"), std::move(items)));
  };
  EXPECT_TRUE(in({1, 7, 9}));
  EXPECT_TRUE(in({7}));
  EXPECT_FALSE(in({1, 2}));
  EXPECT_TRUE(in({1, 2}, fo::kNotIn));
  EXPECT_FALSE(in({2, 7}, fo::kNotIn));
  const auto between = [&](std::int64_t low, std::int64_t high, int op = fo::kBetween) {
    std::vector<Node> items;
    items.push_back(I(low));
    items.push_back(I(high));
    return Holds(Chain(op, F("Num"), std::move(items)));
  };
  EXPECT_TRUE(between(7, 7));
  EXPECT_TRUE(between(1, 10));
  EXPECT_FALSE(between(8, 10));
  EXPECT_FALSE(between(10, 1));
  EXPECT_TRUE(between(8, 10, fo::kNotBetween));
  EXPECT_FALSE(between(1, 10, fo::kNotBetween));
  // A string list compares exactly, a BCD range by amount.
  std::vector<Node> names;
  names.push_back(S("hello"));
  names.push_back(S("Hello"));
  EXPECT_TRUE(Holds(Chain(fo::kIn, F("Name"), std::move(names))));
  std::vector<Node> prices;
  prices.push_back(Bcd(123400, 4));
  prices.push_back(Bcd(123400, 4));
  EXPECT_TRUE(Holds(Chain(fo::kBetween, F("Price"), std::move(prices))));
}

TEST_F(EngineFilterEvaluatorTest, ArithmeticKeepsItsTypes) {
  // Integer kinds give int32.
  TFilterValue v = Eval(B(fo::kAdd, F("Small"), F("Num")));
  EXPECT_EQ(v.Type, ft::kInteger);
  EXPECT_FALSE(v.Null);
  EXPECT_EQ(v.Integer, 10);
  v = Eval(B(fo::kMultiply, F("Small"), I(5, ft::kSmallInt)));
  EXPECT_EQ(v.Type, ft::kInteger);
  EXPECT_EQ(v.Integer, 15);
  v = Eval(B(fo::kSubtract, F("Word"), I(65536)));
  EXPECT_EQ(v.Type, ft::kInteger);
  EXPECT_EQ(v.Integer, -1);
  v = Eval(B(fo::kAdd, I(2147483647), I(1)));
  EXPECT_EQ(v.Type, ft::kInteger);
  EXPECT_EQ(v.Integer, -2147483647 - 1);  // int32 arithmetic wraps
  // Division of numbers is a double.
  v = Eval(B(fo::kDivide, F("Num"), I(2)));
  EXPECT_EQ(v.Type, ft::kFloat);
  EXPECT_DOUBLE_EQ(v.Float, 3.5);
  // With a float: a double.
  v = Eval(B(fo::kAdd, F("Amount"), F("Num")));
  EXPECT_EQ(v.Type, ft::kFloat);
  EXPECT_DOUBLE_EQ(v.Float, 9.5);
  v = Eval(B(fo::kMultiply, F("Price"), F("Amount")));
  EXPECT_EQ(v.Type, ft::kFloat);
  EXPECT_DOUBLE_EQ(v.Float, 30.85);
  // With a BCD and an integer kind or BCD: BCD rounded, half away from zero, to the BCD
  // operand's decimals.
  v = Eval(B(fo::kAdd, F("Price"), I(1)));
  EXPECT_EQ(v.Type, ft::kBcd);
  EXPECT_EQ(v.Integer, 133400);
  EXPECT_EQ(v.Decimals, 2);
  v = Eval(B(fo::kMultiply, Bcd(11500, 2), Bcd(11000, 2)));  // 1.15 x 1.10 = 1.265
  EXPECT_EQ(v.Type, ft::kBcd);
  EXPECT_EQ(v.Integer, 12700);
  v = Eval(B(fo::kMultiply, Bcd(-11500, 2), Bcd(11000, 2)));
  EXPECT_EQ(v.Integer, -12700);
  v = Eval(B(fo::kDivide, Bcd(100000, 2), I(3)));  // 10.00 / 3
  EXPECT_EQ(v.Type, ft::kBcd);
  EXPECT_EQ(v.Integer, 33300);
  v = Eval(B(fo::kDivide, Bcd(200000, 2), I(3)));  // 20.00 / 3 = 6.666...
  EXPECT_EQ(v.Integer, 66700);
  v = Eval(B(fo::kSubtract, I(1), F("Price")));
  EXPECT_EQ(v.Type, ft::kBcd);
  EXPECT_EQ(v.Integer, -113400);
  // Negation.
  v = Eval(Op(fc::kUnary, fo::kNegate, F("Price")));
  EXPECT_EQ(v.Type, ft::kBcd);
  EXPECT_EQ(v.Integer, -123400);
  v = Eval(Op(fc::kUnary, fo::kNegate, F("Amount")));
  EXPECT_DOUBLE_EQ(v.Float, -2.5);
  v = Eval(Op(fc::kUnary, fo::kPlus, F("Num")));
  EXPECT_EQ(v.Integer, 7);
  // Null operands give null.
  EXPECT_TRUE(Eval(B(fo::kAdd, F("Num"), I(1)), false).Null);
  EXPECT_TRUE(Eval(Op(fc::kUnary, fo::kNegate, F("Num")), false).Null);
}

// BCD amounts are worked with exactly in units of 1/10 000, also past 2^53 of them: a field
// with more decimals rounds once, a field beyond those units stays above every constant, and a
// result beyond them has no value.
TEST_F(EngineFilterEvaluatorTest, BcdAmountsAreExact) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  struct TCase {
    const char* What;
    Node Expression;
    std::optional<std::int64_t> Amount;  // none: null
  };
  TCase cases[] = {
      {"a field of six decimals, rounded once", F("Fine"), 12345},
      {"a whole number beyond the amounts", F("Whole"), kMax},
      {"a field past 2^53 units", F("Large"), 900719925474099300},
      {"plus one cent", B(fo::kAdd, F("Large"), Bcd(100, 2)), 900719925474099400},
      {"minus a neighbour", B(fo::kSubtract, F("Large"), Bcd(900719925474099200, 2)), 100},
      {"times one", B(fo::kMultiply, F("Large"), I(1)), 900719925474099300},
      {"divided by one", B(fo::kDivide, F("Large"), I(1)), 900719925474099300},
      {"divided by minus one", B(fo::kDivide, F("Large"), I(-1)), -900719925474099300},
      {"a product beyond the amounts", B(fo::kMultiply, F("Large"), I(100000)), std::nullopt},
      {"a sum beyond the amounts", B(fo::kAdd, F("Whole"), Bcd(10000, 4)), std::nullopt},
      {"negated", Op(fc::kUnary, fo::kNegate, F("Large")), -900719925474099300},
      // In whole units, as the field holds them; rounding away from zero would leave the range.
      {"negated at the end of the range", Op(fc::kUnary, fo::kNegate, F("Whole")),
       -9223372036854770000},
      {"the amount without a negative", Op(fc::kUnary, fo::kNegate, Bcd(kMin, 4)), std::nullopt},
  };
  for (const TCase& c : cases) {
    const TFilterValue v = Eval(c.Expression);
    EXPECT_EQ(v.Null, !c.Amount.has_value()) << c.What;
    if (!c.Amount) continue;
    EXPECT_EQ(v.Type, ft::kBcd) << c.What;
    EXPECT_EQ(v.Integer, *c.Amount) << c.What;
  }
  EXPECT_TRUE(Holds(B(fo::kEqual, F("Fine"), Bcd(12345, 4))));
  EXPECT_TRUE(Holds(B(fo::kGreater, F("Whole"), Bcd(kMax - 1, 4))));
  EXPECT_TRUE(Holds(B(fo::kGreater, F("Whole"), I(2147483647))));
  EXPECT_TRUE(Holds(B(fo::kGreater, F("Large"), Bcd(900719925474099200, 2))));
  EXPECT_TRUE(Holds(B(fo::kLess, F("Large"), Bcd(900719925474099400, 2))));
}

TEST_F(EngineFilterEvaluatorTest, DivisionByZeroIsNullSoComparisonsFail) {
  for (auto divisor : {0, 1, 2}) {
    Node zero = divisor == 0 ? I(0) : divisor == 1 ? D(0.0) : Bcd(0, 2);
    EXPECT_TRUE(Eval(B(fo::kDivide, F("Num"), zero->Copy())).Null) << divisor;
    EXPECT_TRUE(Eval(B(fo::kDivide, F("Price"), zero->Copy())).Null) << divisor;
    EXPECT_TRUE(Eval(B(fo::kDivide, F("Amount"), zero->Copy())).Null) << divisor;
    for (int op = fo::kEqual; op <= fo::kLessEqual; ++op) {
      const bool expected = op == fo::kNotEqual;  // one null: different
      EXPECT_EQ(Holds(B(op, B(fo::kDivide, F("Num"), zero->Copy()), I(0))), expected)
          << divisor << " op " << op;
    }
  }
  // A zero field value as the divisor.
  ASSERT_TRUE(table_.WriteField(TFieldSet::Working, 3, std::int64_t{0}, full_.data()));
  EXPECT_FALSE(Holds(B(fo::kGreater, B(fo::kDivide, F("Num"), F("Small")), I(-1000))));
  EXPECT_TRUE(Holds(B(fo::kEqual, B(fo::kDivide, F("Num"), F("Small")), Untyped())));
}

TEST_F(EngineFilterEvaluatorTest, DatesAndTimes) {
  TFilterValue v = Eval(B(fo::kAdd, F("Born"), I(1)));
  EXPECT_EQ(v.Type, ft::kDate);
  EXPECT_EQ(v.Integer, Day(2024, 3, 1));
  v = Eval(B(fo::kSubtract, F("Born"), I(29, ft::kSmallInt)));
  EXPECT_EQ(v.Type, ft::kDate);
  EXPECT_EQ(v.Integer, Day(2024, 1, 31));
  v = Eval(B(fo::kSubtract, F("Born"), I(Day(2023, 2, 28), ft::kDate)));
  EXPECT_EQ(v.Type, ft::kInteger);
  EXPECT_EQ(v.Integer, 366);
  v = Eval(B(fo::kAdd, F("Clock"), I(1000)));
  EXPECT_EQ(v.Type, ft::kTime);
  EXPECT_EQ(v.Integer, 49531000);
  // Date-times: days added to the date part, differences in days or milliseconds.
  v = Eval(B(fo::kAdd, F("Stamp"), I(2)));
  EXPECT_EQ(v.Type, ft::kDateTime);
  EXPECT_DOUBLE_EQ(v.Float, stamp_ + 2 * 86'400'000.0);
  v = Eval(B(fo::kSubtract, F("Stamp"), F("Born")));
  EXPECT_EQ(v.Type, ft::kInteger);
  EXPECT_EQ(v.Integer, 1);
  v = Eval(B(fo::kSubtract, F("Stamp"), D(stamp_ - 1500.0, ft::kDateTime)));
  EXPECT_EQ(v.Type, ft::kFloat);
  EXPECT_DOUBLE_EQ(v.Float, 1500.0);
  v = Eval(B(fo::kSubtract, F("Stamp"), I(49'000'000, ft::kTime)));
  EXPECT_EQ(v.Type, ft::kInteger);
  EXPECT_EQ(v.Integer, 530'000);
  // A date against a date-time: the date at midnight.
  EXPECT_TRUE(Holds(B(fo::kLess, F("Born"), F("Stamp"))));
  EXPECT_TRUE(Holds(B(fo::kEqual, I(Day(2024, 3, 1), ft::kDate),
                      D(Day(2024, 3, 1) * 86'400'000.0, ft::kDateTime))));
  // Combinations without a meaning give nothing, and compare false.
  EXPECT_TRUE(Eval(B(fo::kAdd, F("Born"), F("Born"))).Null);
  EXPECT_TRUE(Eval(B(fo::kMultiply, F("Born"), I(2))).Null);
  EXPECT_FALSE(Holds(B(fo::kEqual, F("Born"), F("Num"))));
  // Year, month and day of a date and of a date-time.
  const auto part = [&](int op, const char* field) { return Eval(Fn(op, F(field))).Integer; };
  EXPECT_EQ(part(fo::kYear, "Born"), 2024);
  EXPECT_EQ(part(fo::kMonth, "Born"), 2);
  EXPECT_EQ(part(fo::kDay, "Born"), 29);
  EXPECT_EQ(part(fo::kYear, "Stamp"), 2024);
  EXPECT_EQ(part(fo::kMonth, "Stamp"), 3);
  EXPECT_EQ(part(fo::kDay, "Stamp"), 1);
  EXPECT_EQ(Eval(Fn(fo::kYear, F("Born"))).Type, ft::kInteger);
  EXPECT_TRUE(Eval(Fn(fo::kYear, F("Born")), false).Null);
  EXPECT_TRUE(Eval(Fn(fo::kYear, F("Num"))).Null);
}

TEST_F(EngineFilterEvaluatorTest, Strings) {
  TFilterValue v = Eval(B(fo::kAdd, F("Name"), S(", world")));
  EXPECT_EQ(v.Type, ft::kString);
  EXPECT_EQ(v.Text, "Hello, world");
  EXPECT_TRUE(Eval(B(fo::kAdd, F("Name"), S("x")), false).Null);
  EXPECT_TRUE(Eval(B(fo::kSubtract, F("Name"), S("x"))).Null);

  const auto like = [&](const std::string& text, const std::string& pattern) {
    return Holds(Op(fc::kExtended, fo::kLike, S(text), S(pattern)));
  };
  EXPECT_TRUE(like("Hello", "H%"));
  EXPECT_TRUE(like("Hello", "%llo"));
  EXPECT_TRUE(like("Hello", "%l%"));
  EXPECT_TRUE(like("Hello", "H_llo"));
  EXPECT_TRUE(like("Hello", "_____"));
  EXPECT_FALSE(like("Hello", "____"));
  EXPECT_FALSE(like("Hello", "h%"));  // case-sensitive
  EXPECT_TRUE(like("Hello", "%"));
  EXPECT_TRUE(like("", "%"));
  EXPECT_TRUE(like("", "%%"));
  EXPECT_FALSE(like("", "_"));
  EXPECT_TRUE(like("a%b", "a%b"));
  EXPECT_TRUE(like("ab", "a%%b"));
  EXPECT_FALSE(like("abc", "a%b"));
  EXPECT_TRUE(Holds(Op(fc::kExtended, fo::kLike, F("Name"), S("He%o"))));
  EXPECT_TRUE(Holds(Op(fc::kExtended, fo::kNotLike, F("Name"), S("he%"))));

  // Case mapping: a-z only without a locale, the locale's letters with one.
  EXPECT_EQ(Eval(Fn(fo::kUpper, S("aBc\xE9"))).Text, "ABC\xE9");
  EXPECT_EQ(Eval(Fn(fo::kLower, S("aBC\xC8"))).Text, "abc\xC8");
  EXPECT_EQ(Eval(Fn(fo::kUpper, S("aBc\xE9")), true, kCzech).Text, "ABC\xC9");
  EXPECT_EQ(Eval(Fn(fo::kLower, S("aBC\xC8")), true, kCzech).Text, "abc\xE8");
  EXPECT_TRUE(Eval(Fn(fo::kUpper, F("Name")), false).Null);
  EXPECT_TRUE(Eval(Fn(fo::kUpper, F("Num"))).Null);
  EXPECT_TRUE(Holds(B(fo::kEqual, Fn(fo::kUpper, F("Name")), S("HELLO"))));

  // Substring: 1-based start, optional length.
  EXPECT_EQ(Eval(Fn(fo::kSubstring, S("abcdef"), I(2), I(3))).Text, "bcd");
  EXPECT_EQ(Eval(Fn(fo::kSubstring, S("abcdef"), I(2))).Text, "bcdef");
  EXPECT_EQ(Eval(Fn(fo::kSubstring, S("abcdef"), I(5), I(10))).Text, "ef");
  EXPECT_EQ(Eval(Fn(fo::kSubstring, S("abcdef"), I(7), I(1))).Text, "");
  EXPECT_EQ(Eval(Fn(fo::kSubstring, S("abcdef"), I(1), I(0))).Text, "");
  EXPECT_EQ(Eval(Fn(fo::kSubstring, F("Name"), I(1), I(4))).Text, "Hell");

  // Trims: the given character (its first byte), or blanks without one.
  EXPECT_EQ(Eval(Fn(fo::kTrimLeading, S("xxabcxx"), S("x"))).Text, "abcxx");
  EXPECT_EQ(Eval(Fn(fo::kTrimTrailing, S("xxabcxx"), S("x"))).Text, "xxabc");
  EXPECT_EQ(Eval(Fn(fo::kTrimBoth, S("xxabcxx"), S("xy"))).Text, "abc");
  EXPECT_EQ(Eval(Fn(fo::kTrimBoth, S("  ab c  "))).Text, "ab c");
  EXPECT_EQ(Eval(Fn(fo::kTrimBoth, S("xxxx"), S("x"))).Text, "");
  EXPECT_EQ(Eval(Fn(fo::kTrimLeading, S("abc"), S("x"))).Text, "abc");
}

TEST_F(EngineFilterEvaluatorTest, StringOrderFollowsTheLocale) {
  const auto less = [&](const std::string& a, const std::string& b, std::uint32_t locale) {
    return Holds(B(fo::kLess, S(a), S(b)), true, locale);
  };
  // Unsigned bytes without a locale.
  EXPECT_FALSE(less("a", "B", 0));
  EXPECT_TRUE(less("B", "a", 0));
  EXPECT_TRUE(less("ch", "h", 0));
  EXPECT_TRUE(less("z", "\xE1", 0));
  EXPECT_TRUE(less("ab", "abc", 0));
  // The collation with one: "ch" is a letter after "h", case decides last.
  EXPECT_TRUE(less("a", "B", kCzech));
  EXPECT_FALSE(less("B", "a", kCzech));
  EXPECT_TRUE(less("h", "ch", kCzech));
  EXPECT_TRUE(less("\xE1", "z", kCzech));
  EXPECT_TRUE(less("ab", "abc", kCzech));
  EXPECT_FALSE(Holds(B(fo::kEqual, S("abc"), S("ABC")), true, kCzech));
  // Compare nodes: case-insensitive and partial.
  for (const std::uint32_t locale : {0u, kCzech}) {
    EXPECT_TRUE(Holds(Compare(fo::kEqual, S("Hello"), S("hELLO"), true), true, locale));
    EXPECT_FALSE(Holds(Compare(fo::kEqual, S("Hello"), S("hELLO"), false), true, locale));
    EXPECT_TRUE(Holds(Compare(fo::kEqual, S("Hello"), S("Help"), false, 3), true, locale));
    EXPECT_FALSE(Holds(Compare(fo::kEqual, S("Hello"), S("Help"), false, 4), true, locale));
    EXPECT_TRUE(Holds(Compare(fo::kEqual, S("Hello"), S("hEL"), true, 3), true, locale));
    EXPECT_FALSE(Holds(Compare(fo::kEqual, S("He"), S("Hel"), false, 3), true, locale));
    EXPECT_TRUE(Holds(Compare(fo::kNotEqual, S("He"), S("Hel"), false, 3), true, locale));
    EXPECT_EQ(CompareFilterStrings("abc", "abd", false, 2, locale), 0) << locale;
    EXPECT_EQ(CompareFilterStrings("abc", "ABD", true, 3, locale), -1) << locale;
  }
  // Comparing different kinds gives false both ways.
  EXPECT_FALSE(Holds(B(fo::kEqual, F("Name"), I(1))));
  EXPECT_FALSE(Holds(B(fo::kNotEqual, F("Name"), I(1))));
}

// Equality of printable ASCII skips the locale: it must agree with the locale's comparison on
// texts that differ only in case, in letters the Czech order tailors ("ch"), in punctuation and
// blanks, and in length.
TEST(FilterStringsEqualTest, AgreesWithTheLocaleComparison) {
  const std::string alphabet = "aAcChHzZ -.,'!~0";
  std::mt19937 random(2026);
  std::uniform_int_distribution<std::size_t> letter(0, alphabet.size() - 1), length(0, 5);
  const auto text = [&] {
    std::string t(length(random), ' ');
    for (char& c : t) c = alphabet[letter(random)];
    return t;
  };
  for (int i = 0; i < 20000; ++i) {
    const std::string a = text();
    const std::string b = i % 3 == 0 ? platform::AsciiLowercased(a) : text();
    for (const std::uint32_t locale : {0x405u, 0x409u, 0u}) {
      for (const bool ignoreCase : {false, true}) {
        for (const int partial : {0, 2}) {
          ASSERT_EQ(FilterStringsEqual(a, b, ignoreCase, partial, locale),
                    CompareFilterStrings(a, b, ignoreCase, partial, locale) == 0)
              << "'" << a << "' '" << b << "' " << locale << ignoreCase << partial;
        }
      }
    }
  }
}

TEST_F(EngineFilterEvaluatorTest, NumbersCompareAcrossKinds) {
  EXPECT_TRUE(Holds(B(fo::kEqual, F("Price"), Bcd(123400, 4))));
  EXPECT_TRUE(Holds(B(fo::kGreater, F("Price"), I(12))));
  EXPECT_TRUE(Holds(B(fo::kLess, F("Price"), I(13, ft::kSmallInt))));
  EXPECT_TRUE(Holds(B(fo::kEqual, B(fo::kSubtract, F("Price"), Bcd(3400, 2)), I(12))));
  EXPECT_TRUE(Holds(B(fo::kGreater, F("Price"), D(12.3))));
  EXPECT_TRUE(Holds(B(fo::kEqual, F("Amount"), Bcd(25000, 1))));
  EXPECT_TRUE(Holds(B(fo::kGreaterEqual, F("Word"), I(65535))));
  EXPECT_TRUE(Holds(B(fo::kLess, F("Small"), F("Num"))));
  // Booleans compare by truth: the all-bits-set constant of a bare field test equals True.
  EXPECT_TRUE(Holds(B(fo::kEqual, F("Flag"), I(65535, ft::kBoolean))));
  EXPECT_TRUE(Holds(B(fo::kEqual, F("Flag"), I(1, ft::kBoolean))));
  EXPECT_TRUE(Holds(B(fo::kNotEqual, F("Flag"), I(0, ft::kBoolean))));
}

TEST_F(EngineFilterEvaluatorTest, LogicAndNot) {
  const auto t = [] { return B(fo::kEqual, I(1), I(1)); };
  const auto f = [] { return B(fo::kEqual, I(1), I(2)); };
  EXPECT_TRUE(Holds(B(fo::kAnd, t(), t())));
  EXPECT_FALSE(Holds(B(fo::kAnd, t(), f())));
  EXPECT_FALSE(Holds(B(fo::kAnd, f(), t())));
  EXPECT_TRUE(Holds(B(fo::kOr, f(), t())));
  EXPECT_TRUE(Holds(B(fo::kOr, t(), f())));
  EXPECT_FALSE(Holds(B(fo::kOr, f(), f())));
  EXPECT_FALSE(Holds(Op(fc::kUnary, fo::kNot, t())));
  EXPECT_TRUE(Holds(Op(fc::kUnary, fo::kNot, f())));
  // A comparison with a null is false, so its negation holds.
  EXPECT_TRUE(Holds(Op(fc::kUnary, fo::kNot, B(fo::kGreater, F("Num"), I(0))), false));
  // A null operand of AND / OR counts as false; the result is a boolean, never null.
  const TFilterValue v = Eval(B(fo::kOr, F("Flag"), f()), false);
  EXPECT_EQ(v.Type, ft::kBoolean);
  EXPECT_FALSE(v.Null);
  EXPECT_EQ(v.Integer, 0);
  EXPECT_TRUE(Holds(B(fo::kOr, F("Flag"), t()), false));
  EXPECT_FALSE(Holds(B(fo::kAnd, t(), F("Flag")), false));
  EXPECT_TRUE(Holds(B(fo::kAnd, F("Flag"), t())));
  // Once one side decides the result the other does not matter, even an operand that gives no
  // value at all (a function without an argument).
  EXPECT_FALSE(Holds(B(fo::kAnd, Op(fc::kFunction, fo::kUpper, nullptr), f())));
  EXPECT_TRUE(Holds(B(fo::kOr, Op(fc::kFunction, fo::kUpper, nullptr), t())));
}

}  // namespace
}  // namespace katalog::testing
