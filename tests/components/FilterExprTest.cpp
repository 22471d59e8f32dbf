// Filter expressions: the tokenizer and grammar, and the compiled condition, byte for byte
// against answers written by hand from the layout in FilterExpr.h.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dataset/BooleanField.h"
#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "dataset/NumericFields.h"
#include "dataset/StringField.h"
#include "engine/components/ExprParser.h"
#include "engine/components/FilterError.h"
#include "engine/components/FilterExpr.h"
#include "platform/ByteOrder.h"
#include "support/MemoryDataSet.h"

namespace katalog::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One node of a compiled condition, read back from its bytes.
struct TNodeView {
  std::uint32_t Class;
  std::uint32_t Operator;
  std::vector<std::uint16_t> Operands;
};

class FilterExprTest : public ::testing::Test {
 protected:
  FilterExprTest() {
    dataSet_.SetName("Items");
    dataSet_.Open();
  }

  Bytes Compile(std::string_view text, TFilterOptions options = 0,
                TConstantForms forms = TConstantForms::Locale) {
    return TExprParser(dataSet_, options, text, forms).Condition();
  }
  std::string Error(std::string_view text, TConstantForms forms = TConstantForms::Locale) {
    return ErrorIn(dataSet_, text, forms);
  }
  // The message of the EDatabaseError or EConvertError compiling the text raises.
  static std::string ErrorIn(TDataSet& dataSet, std::string_view text,
                             TConstantForms forms = TConstantForms::Locale) {
    try {
      TExprParser parser(dataSet, 0, text, forms);
    } catch (const EDatabaseError& e) {
      return "db: " + e.Message();
    } catch (const EConvertError& e) {
      return std::string("convert: ") + e.what();
    }
    return "no error";
  }
  // The node at a node offset (0 = the root).
  static TNodeView Node(const Bytes& condition, std::size_t offset) {
    const std::uint8_t* p = condition.data() + LoadU16(&condition[6]) + offset;
    TNodeView node{LoadU32(p), LoadU32(p + 4), {}};
    static const int kOperands[] = {0, 1, 2, 4, 2, 3};
    for (int i = 0; i < kOperands[node.Class]; ++i) node.Operands.push_back(LoadU16(p + 8 + 2 * i));
    return node;
  }
  // The data of the constant node at a node offset.
  static Bytes Constant(const Bytes& condition, std::size_t offset) {
    const TNodeView node = Node(condition, offset);
    const auto* data = condition.data() + LoadU16(&condition[8]) + node.Operands[2];
    return Bytes(data, data + node.Operands[1]);
  }
  // Where in the text the error compiling it says the fault lies.
  std::optional<std::size_t> ErrorPosition(std::string_view text, TConstantForms forms) {
    try {
      TExprParser parser(dataSet_, 0, text, forms);
    } catch (const std::exception& e) {
      return FilterErrorPosition(e);
    }
    ADD_FAILURE() << "no error: " << text;
    return std::nullopt;
  }
  // The constant of a comparison's right operand, and its type code.
  Bytes RightConstant(std::string_view text, std::uint16_t expectedType,
                      TConstantForms forms = TConstantForms::Locale) {
    const Bytes condition = Compile(text, 0, forms);
    const TNodeView root = Node(condition, 0);
    EXPECT_EQ(root.Class, 2u) << text;
    EXPECT_EQ(Node(condition, root.Operands[1]).Operands[0], expectedType) << text;
    return Constant(condition, root.Operands[1]);
  }

  TMemoryDataSet dataSet_{nullptr,
                          {{"DE_1", ftString, 60},
                           {"Name", ftString, 20},
                           {"Amount", ftInteger},
                           {"A", ftInteger},
                           {"B", ftInteger},
                           {"C", ftInteger},
                           {"Active", ftBoolean},
                           {"First Name", ftString, 20},
                           {"Small", ftSmallint},
                           {"Count", ftWord},
                           {"Price", ftFloat},
                           {"Cost", ftCurrency},
                           {"Rate", ftBCD, 2},
                           {"Day", ftDate},
                           {"At", ftTime},
                           {"Stamp", ftDateTime},
                           {"Notes", ftMemo},
                           {"Id", ftAutoInc},
                           {"Flight Date", ftDate}}};
};

Bytes Text(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

// --- The compiled layout -------------------------------------------------------------------

TEST_F(FilterExprTest, TheMainWindowFilterCompilesToKnownBytes) {
  TExprParser parser(dataSet_, foCaseInsensitive, "DE_1 <> 'profilterit'");
  const Bytes expected = {
      0,   0,   69,  0,   0xFF, 0xFF, 10,  0,   52,  0,  // header
      3,   0,   0,   0,   4,    0,    0,   0,   1,   0,   0,   0, 16, 0,
      28,  0,                                                             // compare: <>, ci, whole
      4,   0,   0,   0,   13,   0,    0,   0,   1,   0,   0,   0,         // field 1, name at 0
      5,   0,   0,   0,   14,   0,    0,   0,   1,   0,   12,  0, 5,  0,  // string, 12 bytes at 5
      'D', 'E', '_', '1', 0,                                              // literals
      'p', 'r', 'o', 'f', 'i',  'l',  't', 'e', 'r', 'i', 't', 0};
  EXPECT_EQ(parser.Condition(), expected);
  EXPECT_EQ(parser.ConditionSize(), 69u);
}

TEST_F(FilterExprTest, ATrailingStarComparesTheLeadingCharacters) {
  Bytes c = Compile("Name = 'Ab*'");
  EXPECT_EQ(Node(c, 0).Class, 3u);
  EXPECT_EQ(Node(c, 0).Operands, (std::vector<std::uint16_t>{0, 2, 16, 28}));
  EXPECT_EQ(Constant(c, 28), Text(std::string_view("Ab\0", 3)));
  EXPECT_EQ(Node(c, 16).Operands[0], 2);  // the field number of Name

  c = Compile("Name = 'Ab*'", foNoPartialCompare);
  EXPECT_EQ(Node(c, 0).Class, 2u);
  EXPECT_EQ(Constant(c, Node(c, 0).Operands[1]), Text(std::string_view("Ab*\0", 4)));

  c = Compile("Name <> '*'");
  EXPECT_EQ(Node(c, 0).Class, 2u);
  EXPECT_EQ(Node(c, 0).Operator, 4u);
  EXPECT_EQ(Constant(c, Node(c, 0).Operands[1]), Text(std::string_view("*\0", 2)));
}

TEST_F(FilterExprTest, CaseInsensitivityOnlyTouchesEqualityWithAText) {
  EXPECT_EQ(Node(Compile("Name > 'ab'", foCaseInsensitive), 0).Class, 2u);
  const Bytes empty = Compile("Name = ''", foCaseInsensitive);
  EXPECT_EQ(Node(empty, 0).Class, 2u);
  EXPECT_EQ(Constant(empty, Node(empty, 0).Operands[1]), Bytes{0});
  EXPECT_EQ(Compile("Name = 12"), Compile("Name = '12'"));
}

TEST_F(FilterExprTest, AFieldOnTheRightSwapsTheComparison) {
  EXPECT_EQ(Compile("3 < Amount"), Compile("Amount > 3"));
  EXPECT_EQ(Compile("3 >= Amount"), Compile("Amount <= 3"));
  EXPECT_EQ(Compile("3 <> Amount"), Compile("Amount <> 3"));
  const Bytes both = Compile("A < B");
  EXPECT_EQ(Node(both, 0).Operator, 6u);
  EXPECT_EQ(Node(both, Node(both, 0).Operands[1]).Class, 4u);
}

TEST_F(FilterExprTest, NullMakesBlankTests) {
  const Bytes blank = Compile("Amount = NULL");
  EXPECT_EQ(blank.size(), 10u + 10 + 12 + 7);
  EXPECT_EQ(Node(blank, 0).Class, 1u);
  EXPECT_EQ(Node(blank, 0).Operator, 1u);
  EXPECT_EQ(Node(blank, 0).Operands[0], 10);
  EXPECT_EQ(Node(Compile("null <> Amount"), 0).Operator, 2u);
  EXPECT_EQ(Error("Amount > NULL"), "db: NULL only allowed with '=' and '<>'");
  EXPECT_EQ(Node(Compile("Notes = NULL"), 0).Operator, 1u);
}

TEST_F(FilterExprTest, OrIsLooserThanAndAndBothGroupToTheLeft) {
  Bytes c = Compile("A = 1 OR B = 2 AND C = 3");
  TNodeView root = Node(c, 0);
  EXPECT_EQ(root.Operator, 11u);
  EXPECT_EQ(Node(c, root.Operands[0]).Operator, 3u);
  EXPECT_EQ(Node(c, root.Operands[1]).Operator, 10u);
  EXPECT_EQ(c, Compile("a = 1 or (b = 2 and c = 3)"));

  c = Compile("A = 1 AND B = 2 AND C = 3");
  root = Node(c, 0);
  EXPECT_EQ(Node(c, root.Operands[0]).Operator, 10u);
  EXPECT_EQ(Node(c, root.Operands[1]).Operator, 3u);
  EXPECT_EQ(Node(Compile("(A = 1 OR B = 2) AND C = 3"), 0).Operator, 10u);
  EXPECT_EQ(Node(Compile("NOT A = 1 AND B = 2"), 0).Operator, 10u);
}

TEST_F(FilterExprTest, LiteralsFollowInTheOrderTheyAreMade) {
  const Bytes c = Compile("A = 1 OR B = 2");
  const Bytes literals(c.begin() + LoadU16(&c[8]), c.end());
  EXPECT_EQ(literals, (Bytes{'A', 0, 1, 0, 0, 0, 'B', 0, 2, 0, 0, 0}));
  EXPECT_EQ(LoadU16(&c[2]), c.size());
}

TEST_F(FilterExprTest, ABareBooleanFieldTestsForAllBitsSet) {
  const Bytes c = Compile("Active");
  EXPECT_EQ(Node(c, 0).Class, 2u);
  EXPECT_EQ(Node(c, 0).Operator, 3u);
  EXPECT_EQ(Node(c, Node(c, 0).Operands[1]).Operands[0], 4);
  EXPECT_EQ(Constant(c, Node(c, 0).Operands[1]), (Bytes{0xFF, 0xFF}));
  const Bytes negated = Compile("not ACTIVE");
  EXPECT_EQ(Node(negated, 0).Class, 1u);
  EXPECT_EQ(Node(negated, 0).Operator, 9u);
  EXPECT_EQ(Node(negated, 0).Operands[0], 10);
  EXPECT_EQ(Node(negated, 10).Operands, (std::vector<std::uint16_t>{22, 34}));
  EXPECT_EQ(Bytes(negated.end() - 9, negated.end()), Bytes(c.end() - 9, c.end()));
  EXPECT_EQ(Error("Amount"), "db: Field 'Amount' is not of type Boolean");
  EXPECT_EQ(Error("5"), "db: Incorrectly formed filter expression");
  EXPECT_EQ(Error("Active AND 'x'"), "db: Incorrectly formed filter expression");
  EXPECT_EQ(Error("1 = 2"), "db: Incorrectly formed filter expression");
  EXPECT_EQ(Error("(A = 1) = 2"), "db: Incorrectly formed filter expression");
}

// --- Tokens and grammar --------------------------------------------------------------------

TEST_F(FilterExprTest, ParserMessagesNameTheOffendingToken) {
  const std::pair<const char*, const char*> cases[] = {
      {"Name = 'abc", "Unterminated string constant"},
      {"[Name = 'x'", "Unterminated field name"},
      {"A = #", "Invalid filter expression character: '#'"},
      {"Price = 2,5", "Invalid filter expression character: ','"},
      {"(A = 1", "')' expected but nothing found"},
      {"(A = 1 B", "')' expected but 'B' found"},
      {"(A = 1 'x'", "')' expected but ''x'' found"},
      {"   \t", "Expression expected but nothing found"},
      {"A =", "Expression expected but nothing found"},
      {"A = <>", "Expression expected but '<>' found"},
      {"A = 1 2", "Filter expression incorrectly terminated"},
      {"A = 1 = 2", "Filter expression incorrectly terminated"},
      {"First Name = 'x'", "Filter expression incorrectly terminated"},
      {"NOT NOT Active", "Filter expression incorrectly terminated"},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(Error(text), std::string("db: ") + message);
}

TEST_F(FilterExprTest, BracketsNameAFieldWithBlanks) {
  const Bytes c = Compile("[First Name] = 'x'");
  EXPECT_EQ(Node(c, Node(c, 0).Operands[0]).Operands[0], 8);
  EXPECT_EQ(Bytes(c.begin() + LoadU16(&c[8]), c.begin() + LoadU16(&c[8]) + 11),
            Text(std::string_view("First Name\0", 11)));
}

TEST_F(FilterExprTest, StringLiterals) {
  TExprParser quote(dataSet_, 0, "Name = 'it''s'");
  EXPECT_EQ(std::get<std::string>(quote.Root()->Right->Value), "it's");
  EXPECT_FALSE(quote.Root()->Right->UnquotedNumber);

  const std::string text = "Name = '" + std::string(300, 'x') + "'";
  TExprParser longText(dataSet_, 0, text);
  EXPECT_EQ(std::get<std::string>(longText.Root()->Right->Value).size(), 256u);
  const Bytes& c = longText.Condition();
  EXPECT_EQ(Constant(c, Node(c, 0).Operands[1]), Text(std::string(255, 'x') + '\0'));
}

TEST_F(FilterExprTest, BlanksControlCharactersAndTheEndOfText) {
  EXPECT_EQ(Compile("\tAmount\r\n>=\x01-5 "), Compile("Amount >= -5"));
  EXPECT_EQ(Compile(std::string_view("Amount = 3\0 junk", 16)), Compile("Amount = 3"));
  EXPECT_EQ(Compile("aMoUnT = 3 oR a = 1"), Compile("Amount = 3 OR A = 1"));
  TExprParser number(dataSet_, 0, "Price > 2.5E1");
  EXPECT_TRUE(number.Root()->Right->UnquotedNumber);
  EXPECT_EQ(std::get<std::string>(number.Root()->Right->Value), "2.5E1");
}

TEST_F(FilterExprTest, NestingIsBounded) {
  EXPECT_EQ(Compile(std::string(100, '(') + "A = 1" + std::string(100, ')')), Compile("A = 1"));
  EXPECT_EQ(Error(std::string(100000, '(')), "db: Incorrectly formed filter expression");
}

// --- Constants by field type ---------------------------------------------------------------

TEST_F(FilterExprTest, DatesAndTimesReadInTheLocaleShortFormats) {
  EXPECT_EQ(LoadI32(RightConstant("Day = '8.12.2026'", 2).data()), 739958);
  EXPECT_EQ(LoadI32(RightConstant("At = '13:45:30'", 10).data()), 49530000);
  EXPECT_EQ(LoadDouble(RightConstant("Stamp = '8.12.2026 13:45:30'", 11).data()), 63932420730000.0);
  EXPECT_EQ(Error("Day = '2026-12-08'"), "convert: '2026-12-08' is not a valid date");
  EXPECT_EQ(Error("At = '25:00'"), "convert: '25:00' is not a valid time");
  EXPECT_EQ(Error("Stamp = 'x'"), "convert: 'x' is not a valid date and time");
}

TEST_F(FilterExprTest, UnquotedNumbersUseAPointAndQuotedOnesTheLocale) {
  EXPECT_EQ(LoadDouble(RightConstant("Price = 2.5", 7).data()), 2.5);
  EXPECT_EQ(LoadDouble(RightConstant("Price = '2,5'", 7).data()), 2.5);
  EXPECT_EQ(LoadDouble(RightConstant("Cost < 1e3", 7).data()), 1000.0);
  EXPECT_EQ(Error("Price = '2.5'"), "convert: '2.5' is not a valid floating point value");
}

TEST_F(FilterExprTest, IntegersKeepTheirWidthAndRange) {
  EXPECT_EQ(RightConstant("Small = -32768", 5), (Bytes{0x00, 0x80}));
  EXPECT_EQ(RightConstant("Count = '65535'", 12), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(RightConstant("Amount = -2", 6), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(RightConstant("Id > 7", 6), (Bytes{7, 0, 0, 0}));
  EXPECT_EQ(Error("Small = 40000"), "db: Constant out of range");
  EXPECT_EQ(Error("Count = -1"), "db: Constant out of range");
  EXPECT_EQ(Error("Amount = 'abc'"), "convert: 'abc' is not a valid integer value");
  EXPECT_EQ(Error("Amount = 2.5"), "convert: '2.5' is not a valid integer value");
  EXPECT_EQ(Error("Amount = 3000000000"), "convert: '3000000000' is not a valid integer value");
}

TEST_F(FilterExprTest, BcdAmountsAreRoundedToTheFieldDecimals) {
  Bytes c = RightConstant("Rate = 1.235", 8);
  ASSERT_EQ(c.size(), 18u);
  EXPECT_EQ(LoadI64(c.data()), 12400);
  EXPECT_EQ(Bytes(c.begin() + 8, c.end()), Bytes(10, 0));
  EXPECT_EQ(LoadI64(RightConstant("Rate = '-1,235'", 8).data()), -12400);
  EXPECT_EQ(LoadI64(RightConstant("Rate = 1.2349", 8).data()), 12300);
  EXPECT_EQ(Error("Rate = 'x'"), "convert: 'x' is not a valid floating point value");
  // Locate's whole numbers are whole units exactly: a double holds no more than 2^53 of the
  // 1/10 000 units.
  TFilterExpr expr(dataSet_, 0);
  const auto amount = [&](const TVariant& value) {
    const Bytes compiled = expr.Compile(expr.NewCompareNode(*dataSet_.FieldNamed("Rate"), value));
    return LoadI64(Constant(compiled, Node(compiled, 0).Operands[1]).data());
  };
  EXPECT_EQ(amount(std::int64_t{900719925474099}), 9007199254740990000);
  EXPECT_EQ(amount(std::int64_t{-922337203685477}), -9223372036854770000);
  EXPECT_EQ(amount(2.5), 25000);
  EXPECT_THROW(amount(std::int64_t{922337203685478}), EDatabaseError);
  // Nothing of Locate's comes from a text: no position.
  try {
    amount(std::int64_t{922337203685478});
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(FilterErrorPosition(e), std::nullopt);
  }
}

TEST_F(FilterExprTest, BooleansFromKeywordsNumbersAndTexts) {
  EXPECT_EQ(RightConstant("Active = True", 4), (Bytes{1, 0}));
  EXPECT_EQ(RightConstant("Active <> FALSE", 4), (Bytes{0, 0}));
  EXPECT_EQ(RightConstant("Active = 'true'", 4), (Bytes{1, 0}));
  EXPECT_EQ(RightConstant("Active = 5", 4), (Bytes{1, 0}));
  EXPECT_EQ(Error("Active = 'yes'"), "convert: 'yes' is not a valid boolean value");
}

// --- Constants in the ISO forms ----------------------------------------------------------

constexpr TConstantForms kIso = TConstantForms::Iso;

TEST_F(FilterExprTest, IsoFormsCompileToWhatTheLocaleFormsOfTheSameValuesDo) {
  const std::pair<const char*, const char*> cases[] = {
      {"Day = '2026-12-08'", "Day = '8.12.2026'"},
      {"At = '13:45:30'", "At = '13:45:30'"},
      {"At = '13:45:30.25'", "At = '13:45:30,250'"},
      {"Stamp = '2026-12-08 13:45:30.125'", "Stamp = '8.12.2026 13:45:30,125'"},
      {"Stamp = '2026-12-08T13:45:30'", "Stamp = '8.12.2026 13:45:30'"},
      {"Stamp = '2026-12-08'", "Stamp = '8.12.2026'"},
      {"Price = '50.5'", "Price = '50,5'"},
      {"Price = '-5.05E1'", "Price = '-50,5'"},
      {"Cost = '12.34'", "Cost = '12,34'"},
      {"Rate = '12.345'", "Rate = '12,345'"},
      {"Amount = '-42'", "Amount = '-42'"},
      {"Active = 'false'", "Active = 'false'"},
      {"Price = 2.5", "Price = 2.5"},
  };
  for (const auto& [iso, locale] : cases) {
    EXPECT_EQ(Compile(iso, 0, kIso), Compile(locale)) << iso;
  }
  EXPECT_EQ(LoadI32(RightConstant("At = '13:45:30.25'", 10, kIso).data()), 49530250);
  EXPECT_EQ(LoadDouble(RightConstant("Stamp = '2026-12-08T00:00:01.5'", 11, kIso).data()),
            739958.0 * 86400000 + 1500);
}

TEST_F(FilterExprTest, IsoFormsRefuseTheLocaleFormsThatTheViewerReads) {
  const std::pair<const char*, const char*> cases[] = {
      {"Day = '8.12.2026'", "'8.12.2026' is not a valid date"},
      {"At = '13:45'", "'13:45' is not a valid time"},
      {"Stamp = '8.12.2026 13:45:30'", "'8.12.2026 13:45:30' is not a valid date and time"},
      {"Price = '50,5'", "'50,5' is not a valid floating point value"},
      {"Cost = '12,34'", "'12,34' is not a valid floating point value"},
      {"Rate = '12,34'", "'12,34' is not a valid floating point value"},
  };
  for (const auto& [text, message] : cases) {
    EXPECT_EQ(Error(text, kIso), std::string("convert: ") + message);
    EXPECT_EQ(Error(text), "no error") << text;
  }
  for (const char* text : {"At = '13:45:30.1234'", "Stamp = '2026-12-08 13:45:30 '",
                           "Stamp = '2026-12-08 13:45'", "Day = '2026-02-30'"}) {
    EXPECT_NE(Error(text, kIso).find("convert: "), std::string::npos) << text;
  }
}

// --- Positions of errors -------------------------------------------------------------------

TEST_F(FilterExprTest, ErrorsSayWhereInTheTextTheFaultLies) {
  struct TCase {
    const char* Text;
    std::size_t Position;
    TConstantForms Forms = TConstantForms::Locale;
  };
  const TCase cases[] = {
      {"M\xECsto = 'Plze\xF2'", 1},  // code page 1250: the letter stops the name M
      {"A == 1", 3},
      {"A != 1", 2},
      {"A = \"x\"", 4},
      {"[Flight Date] >= '1.1.2000'", 17, kIso},
      {"Day = '2026-12-08' AND Price = '2,5'", 31, kIso},
      {"A = 1 OR Name = 'abc", 16},
      {"A = 1 OR [Name = 'x'", 9},
      {"(A = 1", 6},
      {"(A = 1 B", 7},
      {"A = 1 2", 6},
      {"A = 1 AND [No such] = 2", 10},
      {"A = 1 OR Notes = 'x'", 9},
      {"Small = 40000", 8},
      {"Amount = 2.5", 9},
      {"Amount > NULL", 7},
      {"Active AND 5", 11},
  };
  for (const TCase& c : cases) EXPECT_EQ(ErrorPosition(c.Text, c.Forms), c.Position) << c.Text;
}

// --- Fields --------------------------------------------------------------------------------

TEST_F(FilterExprTest, OnlyDataFieldsOfKnownTypesCanBeCompared) {
  EXPECT_EQ(Error("Nope = 1"), "db: Items: Field 'Nope' not found");
  EXPECT_EQ(Error("Notes = 'x'"), "db: Field 'Notes' cannot be used in a filter expression");

  TMemoryDataSet other{nullptr, {{"NAME", ftString, 20}}};
  auto* name = new TStringField(&other);
  name->SetFieldName("NAME");
  name->SetDataSet(&other);
  auto* calculated = new TBooleanField(&other);
  calculated->SetFieldName("C");
  calculated->SetFieldKind(fkCalculated);
  calculated->SetDataSet(&other);
  other.Open();
  EXPECT_EQ(ErrorIn(other, "C = 1"), "db: Field 'C' cannot be used in a filter expression");
  EXPECT_EQ(ErrorIn(other, "NAME = 'x' OR NOT C"),
            "db: Field 'C' cannot be used in a filter expression");
  EXPECT_EQ(ErrorIn(other, "NAME = 'x' AND NOT NAME = NULL"), "no error");
}

// --- Trees built for Locate ----------------------------------------------------------------

TEST_F(FilterExprTest, CompareNodesForLocate) {
  TFilterExpr expr(dataSet_, 0);
  TExprNode* partial = expr.NewCompareNode(*dataSet_.FieldNamed("Name"), std::string("Ab*"));
  partial->Partial = true;
  Bytes c = expr.Compile(partial);
  EXPECT_EQ(Node(c, 0).Operands, (std::vector<std::uint16_t>{0, 3, 16, 28}));
  EXPECT_EQ(Constant(c, 28), Text(std::string_view("Ab*\0", 4)));

  c = expr.Compile(expr.NewCompareNode(*dataSet_.FieldNamed("Amount"), std::int64_t{7}));
  EXPECT_EQ(Constant(c, Node(c, 0).Operands[1]), (Bytes{7, 0, 0, 0}));
  c = expr.Compile(expr.NewCompareNode(*dataSet_.FieldNamed("Day"), 0.0));
  EXPECT_EQ(LoadI32(Constant(c, Node(c, 0).Operands[1]).data()), 693594);
  c = expr.Compile(expr.NewCompareNode(*dataSet_.FieldNamed("Name"), TVariant{}));
  EXPECT_EQ(Node(c, 0).Operator, 1u);
  EXPECT_THROW(expr.Compile(nullptr), EDatabaseError);
}

TEST_F(FilterExprTest, AConditionBeyondSixtyFourKilobytesIsRefused) {
  TFilterExpr expr(dataSet_, 0);
  TExprNode* root = expr.NewCompareNode(*dataSet_.FieldNamed("Amount"), std::int64_t{0});
  for (int i = 1; i < 1400; ++i) {
    TExprNode* next = expr.NewCompareNode(*dataSet_.FieldNamed("Amount"), std::int64_t{i});
    root = expr.NewNode(TExprNodeKind::Operator, opOr, {}, root, next);
  }
  EXPECT_THROW(expr.Compile(root), EDatabaseError);
}

}  // namespace
}  // namespace katalog::testing
