// Engine filters on real tables: what the indexes answer against what reading every record gives
// (and against the test's own evaluation of the records it inserted), the evaluator's rules on
// single records, the limits of the filter list, damaged compiled conditions, and filters that
// follow record changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
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
#include "engine/storage/DataFile.h"
#include "engine/storage/IsamError.h"
#include "engine/storage/TableCreation.h"
#include "platform/ByteOrder.h"
#include "platform/DateTime.h"
#include "platform/Locale.h"
#include "support/MemoryDataSet.h"
#include "support/TableFixture.h"

namespace katalog::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Ids = std::vector<std::int32_t>;

constexpr std::uint32_t kCzech = 0x0405;

// Field numbers of the tables the filters run on.
enum : int { kId = 1, kNum, kSmall, kName, kAmount, kBorn, kPrice, kFlag, kExtra };
const char* const kFieldNames[] = {"",       "Id",   "Num",   "Small", "Name",
                                   "Amount", "Born", "Price", "Flag",  "Extra"};

std::int32_t Day(int year, int month, int day) {
  std::int32_t n = 0;
  EXPECT_TRUE(platform::TryEncodeDate(year, month, day, n));
  return n;
}

// One record as the test inserted it; an absent value is null.
struct TRow {
  std::int32_t Id = 0;
  std::optional<std::int64_t> Num, Small;
  std::optional<std::string> Name;
  std::optional<double> Amount;
  std::optional<std::int64_t> Born;
  std::optional<std::int64_t> Cents;  // Price x 100
  std::optional<bool> Flag;
  std::optional<std::int64_t> Extra;
};

// A comparison of one field with a constant, as the generator made it.
struct TLeaf {
  int Field = kNum;
  int Op = fo::kEqual;
  enum { kValue, kNullKeyword, kEmptyText, kBareFlag } Kind = kValue;
  std::int64_t Integer = 0;  // Num, Small, Born (day), Price (cents), Flag, Extra
  double Float = 0;          // Amount
  std::string Text;          // Name
  int Partial = 0;           // Name with a trailing "*"
  bool Swapped = false;      // written constant first
};

// A generated condition: a leaf, or NOT / AND / OR of sub-conditions.
struct TExpr {
  enum { kLeaf, kNot, kAnd, kOr } Kind = kLeaf;
  TLeaf Leaf;
  std::vector<TExpr> Operands;
};

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// The string order the filters promise: with a locale its string sort (ignoring case when
// asked), without one unsigned bytes (a-z upper-cased first when asked); a partial length
// compares only that many leading characters.
int ModelCompare(const std::string& a, const std::string& b, bool caseInsensitive, int partial,
                 std::uint32_t locale) {
  std::string x = a, y = b;
  if (partial > 0) {
    x.resize(std::min<std::size_t>(x.size(), static_cast<std::size_t>(partial)));
    y.resize(std::min<std::size_t>(y.size(), static_cast<std::size_t>(partial)));
  }
  if (locale != 0) {
    const std::uint32_t flags =
        platform::kSortStringSort | (caseInsensitive ? platform::kNormIgnoreCase : 0);
    return platform::CompareStringA(locale, flags, x.data(), static_cast<int>(x.size()), y.data(),
                                    static_cast<int>(y.size())) -
           2;
  }
  if (caseInsensitive) {
    x = UpperAscii(x);
    y = UpperAscii(y);
  }
  const int c = x.compare(y);  // char_traits<char> compares as unsigned char
  return (c > 0) - (c < 0);
}

template <typename T>
int Order(T a, T b) {
  return (a > b) - (a < b);
}

bool Holds(int op, int c) {
  switch (op) {
    case fo::kEqual:
      return c == 0;
    case fo::kNotEqual:
      return c != 0;
    case fo::kGreater:
      return c > 0;
    case fo::kLess:
      return c < 0;
    case fo::kGreaterEqual:
      return c >= 0;
    default:
      return c <= 0;
  }
}

// Whether the leaf holds for the row: = and <> see two nulls as equal and one null as
// different, every other comparison with a null is false, and the empty text is null.
bool LeafHolds(const TLeaf& leaf, const TRow& row, bool caseInsensitive, std::uint32_t locale) {
  if (leaf.Kind == TLeaf::kBareFlag) return row.Flag.value_or(false);
  bool present = false;
  switch (leaf.Field) {
    case kNum:
      present = row.Num.has_value();
      break;
    case kSmall:
      present = row.Small.has_value();
      break;
    case kName:
      present = row.Name.has_value();
      break;
    case kAmount:
      present = row.Amount.has_value();
      break;
    case kBorn:
      present = row.Born.has_value();
      break;
    case kPrice:
      present = row.Cents.has_value();
      break;
    case kFlag:
      present = row.Flag.has_value();
      break;
    default:
      present = row.Extra.has_value();
      break;
  }
  if (leaf.Kind == TLeaf::kNullKeyword || leaf.Kind == TLeaf::kEmptyText || !present) {
    const bool constantNull = leaf.Kind != TLeaf::kValue;
    if (leaf.Op == fo::kEqual) return !present && constantNull;
    if (leaf.Op == fo::kNotEqual) return !present != constantNull;
    return false;
  }
  int c = 0;
  switch (leaf.Field) {
    case kNum:
      c = Order(*row.Num, leaf.Integer);
      break;
    case kSmall:
      c = Order(*row.Small, leaf.Integer);
      break;
    case kName: {
      const bool equality = leaf.Op == fo::kEqual || leaf.Op == fo::kNotEqual;
      c = ModelCompare(*row.Name, leaf.Text, equality && caseInsensitive,
                       equality ? leaf.Partial : 0, locale);
      break;
    }
    case kAmount:
      c = Order(*row.Amount, leaf.Float);
      break;
    case kBorn:
      c = Order(*row.Born, leaf.Integer);
      break;
    case kPrice:
      c = Order(*row.Cents, leaf.Integer);
      break;
    case kFlag:
      c = Order<int>(*row.Flag, leaf.Integer != 0);
      break;
    default:
      c = Order(*row.Extra, leaf.Integer);
      break;
  }
  return Holds(leaf.Op, c);
}

bool ExprHolds(const TExpr& e, const TRow& row, bool caseInsensitive, std::uint32_t locale) {
  switch (e.Kind) {
    case TExpr::kLeaf:
      return LeafHolds(e.Leaf, row, caseInsensitive, locale);
    case TExpr::kNot:
      return !ExprHolds(e.Operands[0], row, caseInsensitive, locale);
    case TExpr::kAnd:
      return ExprHolds(e.Operands[0], row, caseInsensitive, locale) &&
             ExprHolds(e.Operands[1], row, caseInsensitive, locale);
    default:
      return ExprHolds(e.Operands[0], row, caseInsensitive, locale) ||
             ExprHolds(e.Operands[1], row, caseInsensitive, locale);
  }
}

// Leaves whose level the checks leave open: the index cannot answer them as it stands (an
// ordering against the empty text; a partial compare under a locale's collation), and a repair
// may as well read the records as mend the ranges.
bool LevelOpen(const TExpr& e, std::uint32_t locale) {
  if (e.Kind != TExpr::kLeaf) {
    return std::any_of(e.Operands.begin(), e.Operands.end(),
                       [&](const TExpr& o) { return LevelOpen(o, locale); });
  }
  const TLeaf& leaf = e.Leaf;
  return (leaf.Kind == TLeaf::kEmptyText && leaf.Op != fo::kEqual && leaf.Op != fo::kNotEqual) ||
         (leaf.Partial > 0 && locale != 0);
}

// The level the engine should give the condition on table A, where every field but Extra has an
// index; -1 when the checks leave it open.
int ExpectedLevel(const TExpr& e, std::uint32_t locale) {
  if (LevelOpen(e, locale)) return -1;
  switch (e.Kind) {
    case TExpr::kLeaf:
      return e.Leaf.Field != kExtra ? 0 : 2;
    case TExpr::kNot:
      return ExpectedLevel(e.Operands[0], locale);
    case TExpr::kAnd: {
      const int l = ExpectedLevel(e.Operands[0], locale);
      const int r = ExpectedLevel(e.Operands[1], locale);
      return l == 0 && r == 0 ? 0 : l == 2 && r == 2 ? 2 : 1;
    }
    default:
      return ExpectedLevel(e.Operands[0], locale) == 0 && ExpectedLevel(e.Operands[1], locale) == 0
                 ? 0
                 : 2;
  }
}

std::string DateText(std::int64_t day) {
  int y = 0, m = 0, d = 0;
  platform::DecodeDate(static_cast<std::int32_t>(day), y, m, d);
  return "'" + std::to_string(d) + "." + std::to_string(m) + "." + std::to_string(y) + "'";
}

std::string CentsText(std::int64_t cents) {
  const std::int64_t a = cents < 0 ? -cents : cents;
  const std::string fraction = (a % 100 < 10 ? "0" : "") + std::to_string(a % 100);
  return (cents < 0 ? "-" : "") + std::to_string(a / 100) + "." + fraction;
}

std::string FloatText(double value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

// The constant as a filter text writes it.
std::string ConstantText(const TLeaf& leaf) {
  if (leaf.Kind == TLeaf::kNullKeyword) return "NULL";
  if (leaf.Kind == TLeaf::kEmptyText) return "''";
  switch (leaf.Field) {
    case kName:
      return "'" + leaf.Text + (leaf.Partial > 0 ? "*" : "") + "'";
    case kAmount:
      return FloatText(leaf.Float);
    case kBorn:
      return DateText(leaf.Integer);
    case kPrice:
      return CentsText(leaf.Integer);
    case kFlag:
      return leaf.Integer != 0 ? "True" : "False";
    default:
      return std::to_string(leaf.Integer);
  }
}

std::string OperatorText(int op) {
  static const char* const kTexts[] = {"", "", "", "=", "<>", ">", "<", ">=", "<="};
  return kTexts[op];
}

int SwappedOperator(int op) {
  switch (op) {
    case fo::kGreater:
      return fo::kLess;
    case fo::kLess:
      return fo::kGreater;
    case fo::kGreaterEqual:
      return fo::kLessEqual;
    case fo::kLessEqual:
      return fo::kGreaterEqual;
    default:
      return op;
  }
}

std::string LeafText(const TLeaf& leaf) {
  if (leaf.Kind == TLeaf::kBareFlag) return "Flag";
  if (leaf.Swapped) {
    return ConstantText(leaf) + " " + OperatorText(SwappedOperator(leaf.Op)) + " " +
           kFieldNames[leaf.Field];
  }
  return std::string(kFieldNames[leaf.Field]) + " " + OperatorText(leaf.Op) + " " +
         ConstantText(leaf);
}

std::string ExprText(const TExpr& e) {
  switch (e.Kind) {
    case TExpr::kLeaf:
      return LeafText(e.Leaf);
    case TExpr::kNot:
      return "NOT (" + ExprText(e.Operands[0]) + ")";
    case TExpr::kAnd:
      return "(" + ExprText(e.Operands[0]) + ") AND (" + ExprText(e.Operands[1]) + ")";
    default:
      return "(" + ExprText(e.Operands[0]) + ") OR (" + ExprText(e.Operands[1]) + ")";
  }
}

// Names chosen so that case, prefixes and the Czech "ch" (a letter of its own, after "h") all
// meet in the comparisons.
const char* const kNames[] = {"Cha",  "chata", "Chata", "CHATA", "cibule", "hrad", "Hrad", "HRAD",
                              "ab",   "Ab",    "aB",    "AB",    "abc",    "Abc",  "b",    "B",
                              "c",    "C",     "h",     "H",     "zz",     "Z",    "ach",  "acH",
                              "Cizi", "czech", "Hotel", "hc",    "ca",     "Ch"};

class TGenerator {
 public:
  explicit TGenerator(std::uint32_t seed) : random_(seed) {}

  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  bool Chance(int percent) { return Uniform(1, 100) <= percent; }

  std::string Name() {
    if (Chance(60)) return kNames[Uniform(0, static_cast<int>(std::size(kNames)) - 1)];
    std::string text;
    const int length = Uniform(1, 8);
    for (int i = 0; i < length; ++i) {
      const char c = static_cast<char>('a' + Uniform(0, 25));
      text += Chance(30) ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return text;
  }
  std::int64_t Born() { return base_ + Uniform(0, 30); }

  TRow Row(std::int32_t id) {
    TRow row;
    row.Id = id;
    if (!Chance(10)) row.Num = Uniform(-20, 20);
    if (!Chance(10)) row.Small = Uniform(-10, 10);
    if (!Chance(12)) row.Name = Name();
    if (!Chance(10)) row.Amount = Uniform(-12, 12) * 0.25;
    if (!Chance(10)) row.Born = Born();
    if (!Chance(10)) row.Cents = Uniform(-12, 12) * 25 + (Chance(30) ? Uniform(1, 24) : 0);
    if (!Chance(10)) row.Flag = Chance(50);
    if (!Chance(10)) row.Extra = Uniform(0, 50);
    return row;
  }

  TLeaf Leaf() {
    TLeaf leaf;
    const int fields[] = {kNum, kSmall, kName, kName, kAmount, kBorn, kPrice, kFlag, kExtra};
    leaf.Field = fields[Uniform(0, static_cast<int>(std::size(fields)) - 1)];
    leaf.Op = Uniform(fo::kEqual, fo::kLessEqual);
    if (leaf.Field == kFlag && Chance(30)) {
      leaf.Kind = TLeaf::kBareFlag;
      return leaf;
    }
    if (Chance(8)) {
      leaf.Kind = TLeaf::kNullKeyword;
      leaf.Op = Chance(50) ? fo::kEqual : fo::kNotEqual;
      leaf.Swapped = Chance(10);
      return leaf;
    }
    leaf.Swapped = Chance(10);
    switch (leaf.Field) {
      case kNum:
        leaf.Integer = Uniform(-22, 22);
        break;
      case kSmall:
        leaf.Integer = Uniform(-12, 12);
        break;
      case kName:
        if (Chance(12)) {
          leaf.Kind = TLeaf::kEmptyText;
        } else if (Chance(25)) {
          leaf.Op = Chance(60) ? fo::kEqual : fo::kNotEqual;
          leaf.Text = Name();
          leaf.Text.resize(
              static_cast<std::size_t>(Uniform(1, static_cast<int>(leaf.Text.size()))));
          leaf.Partial = static_cast<int>(leaf.Text.size());
        } else {
          leaf.Text = Name();
        }
        break;
      case kAmount:
        leaf.Float = Uniform(-13, 13) * 0.25;
        break;
      case kBorn:
        leaf.Integer = base_ + Uniform(-1, 31);
        break;
      case kPrice:
        leaf.Integer = Uniform(-13, 13) * 25 + (Chance(20) ? Uniform(1, 24) : 0);
        break;
      case kFlag:
        leaf.Op = Chance(50) ? fo::kEqual : fo::kNotEqual;
        leaf.Integer = Chance(50);
        break;
      default:
        leaf.Integer = Uniform(-1, 51);
        break;
    }
    return leaf;
  }

  TExpr Expr(int depth) {
    TExpr e;
    const int pick = depth >= 3 ? 0 : Uniform(0, 9);
    if (pick < 4) {
      e.Leaf = Leaf();
      return e;
    }
    if (pick < 6) {
      e.Kind = TExpr::kNot;
      e.Operands.push_back(Expr(depth + 1));
      return e;
    }
    e.Kind = pick < 8 ? TExpr::kAnd : TExpr::kOr;
    e.Operands.push_back(Expr(depth + 1));
    e.Operands.push_back(Expr(depth + 1));
    return e;
  }

 private:
  std::mt19937 random_;
  std::int32_t base_ = Day(2024, 2, 14);
};

// The columns a filter text is compiled against: the tables' names and matching types.
std::vector<TColumn> Columns() {
  return {{"Id", ftInteger},      {"Num", ftInteger},  {"Small", ftSmallint},
          {"Name", ftString, 12}, {"Amount", ftFloat}, {"Born", ftDate},
          {"Price", ftBCD, 2},    {"Flag", ftBoolean}, {"Extra", ftInteger}};
}

std::vector<TFieldDefinition> TableFields() {
  return {{"Id", 6},     {"Num", 6},  {"Small", 5},          {"Name", 1, 0, 12},
          {"Amount", 7}, {"Born", 2}, {"Price", 8, 0, 0, 2}, {"Flag", 4},
          {"Extra", 6}};
}

// Tables with the same records: "A" has an index starting with every field but Extra (the
// string both case-sensitive and not; a descending one on Small placed before the ascending one,
// which filters must pass over), "B" only its primary index on Id.
class EngineFilterTest : public TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    dataSet_.Open();
  }

  void CreateTables(std::uint32_t locale) {
    TTableDefinition a;
    a.TableName = TablePath("A");
    a.Fields = TableFields();
    a.LocaleId = locale;
    a.Indexes = {{"", {"Id"}, {}, true},
                 {"ByNum", {"Num"}},
                 {"BySmallDown", {"Small"}, {}, false, false, true},
                 {"BySmall", {"Small"}},
                 {"ByName", {"Name"}},
                 {"ByNameCi", {"Name"}, {}, false, false, false, true},
                 {"ByAmount", {"Amount"}},
                 {"ByBorn", {"Born"}},
                 {"ByPrice", {"Price"}},
                 {"ByFlag", {"Flag", "Num"}}};
    CreateTable(a);
    TTableDefinition b = a;
    b.TableName = TablePath("B");
    b.Indexes.resize(1);
    CreateTable(b);
    a_ = OpenTable("A");
    b_ = OpenTable("B");
    locale_ = locale;
  }

  std::unique_ptr<TDataFile> OpenTable(const std::string& name) {
    auto table = std::make_unique<TDataFile>();
    table->SetExclusive(true);
    table->SetFileName(TablePath(name));
    table->Open();
    return table;
  }

  static void Store(TDataFile& table, const TRow& row, Bytes& record) {
    table.BlankRecord(record.data());
    const auto write = [&](int field, const TFieldValue& value) {
      EXPECT_TRUE(table.WriteField(true, field, value, record.data())) << "field " << field;
    };
    write(kId, std::int64_t{row.Id});
    if (row.Num) write(kNum, *row.Num);
    if (row.Small) write(kSmall, *row.Small);
    if (row.Name) write(kName, *row.Name);
    if (row.Amount) write(kAmount, *row.Amount);
    if (row.Born) write(kBorn, *row.Born);
    if (row.Cents) write(kPrice, static_cast<double>(*row.Cents) / 100.0);
    if (row.Flag) write(kFlag, *row.Flag);
    if (row.Extra) write(kExtra, *row.Extra);
  }

  void Insert(TDataFile& table, const TRow& row) {
    Bytes record(table.WorkingRecordSize());
    Store(table, row, record);
    table.Insert(record.data(), false);
  }

  void Fill(TGenerator& generator, int count) {
    for (int i = 1; i <= count; ++i) {
      rows_.push_back(generator.Row(i));
      Insert(*a_, rows_.back());
      Insert(*b_, rows_.back());
    }
  }

  Bytes Compile(const std::string& text, TFilterOptions options = 0) {
    return TExprParser(dataSet_, options, text).Condition();
  }

  static std::int32_t IdOf(TDataFile& table, const Bytes& record) {
    return static_cast<std::int32_t>(
        std::get<std::int64_t>(table.ReadField(true, kId, record.data())));
  }

  // The Ids the cursor shows, first to last (primary order).
  static Ids Visible(TDataFile& table) {
    Ids ids;
    Bytes record(table.WorkingRecordSize());
    table.GoFirst();
    while (table.GoNext(record.data()) == 0) ids.push_back(IdOf(table, record));
    return ids;
  }

  struct TOutcome {
    Ids Visible;
    std::int32_t Count = -1;
    int Level = -1;
    std::int64_t Evaluations = -1;
  };

  // Adds the filter, activates it, looks at what the cursor shows, and removes it again.
  template <typename TCondition>
  static TOutcome Run(TDataFile& table, TCondition condition) {
    TOutcome outcome;
    TFilter* filter = nullptr;
    EXPECT_EQ(table.AddFilter(std::move(condition), &filter), 0);
    if (!filter) return outcome;
    EXPECT_EQ(table.Filters().Activate(filter), 0);
    outcome.Level = filter->Level();
    outcome.Visible = Visible(table);
    outcome.Count = table.RecordCount();
    outcome.Evaluations = filter->Evaluations();
    EXPECT_EQ(table.Filters().Remove(filter), 0);
    return outcome;
  }

  template <typename TPredicate>
  Ids Expected(TPredicate holds) const {
    Ids ids;
    for (const TRow& row : rows_) {
      if (holds(row)) ids.push_back(row.Id);
    }
    return ids;
  }

  // A record as the test inserted it, for failure messages.
  std::string Describe(std::int32_t id) const {
    for (const TRow& r : rows_) {
      if (r.Id != id) continue;
      std::ostringstream out;
      const auto put = [&](const char* name, const auto& value) {
        out << " " << name << "=";
        if (value) {
          out << *value;
        } else {
          out << "null";
        }
      };
      out << "#" << id;
      put("Num", r.Num);
      put("Small", r.Small);
      put("Name", r.Name);
      put("Amount", r.Amount);
      put("Born", r.Born);
      put("Cents", r.Cents);
      put("Flag", r.Flag);
      put("Extra", r.Extra);
      return out.str();
    }
    return "#" + std::to_string(id);
  }

  // The records `got` has and `want` lacks (extra) and the other way round (missing), the first
  // few described.
  std::string Difference(const Ids& got, const Ids& want) const {
    std::vector<std::int32_t> extra, missing;
    std::set_difference(got.begin(), got.end(), want.begin(), want.end(),
                        std::back_inserter(extra));
    std::set_difference(want.begin(), want.end(), got.begin(), got.end(),
                        std::back_inserter(missing));
    const auto list = [&](const std::vector<std::int32_t>& ids) {
      std::string text = std::to_string(ids.size()) + " records";
      for (std::size_t i = 0; i < ids.size() && i < 3; ++i) text += "\n      " + Describe(ids[i]);
      return text;
    };
    return "extra " + list(extra) + "\n    missing " + list(missing);
  }

  // Runs one condition on both tables and holds the results against each other, the test's own
  // evaluation and the expected levels (A's unchecked when levelA is -1); false (after reporting)
  // when anything differs.
  template <typename TMake, typename TPredicate>
  bool Agree(const std::string& text, TMake make, TPredicate holds, int levelA) {
    const TOutcome a = Run(*a_, make(*a_));
    const TOutcome b = Run(*b_, make(*b_));
    const Ids want = Expected(holds);
    bool same = true;
    const auto check = [&](bool ok, const std::string& what) {
      if (!ok && reported_++ < 20) {
        ADD_FAILURE() << what << "\n  filter: " << text << (locale_ ? "  [Czech]" : "");
      }
      same = same && ok;
    };
    check(a.Visible == b.Visible,
          "A (indexed) against B (scanned): " + Difference(a.Visible, b.Visible));
    check(a.Visible == want, "A against the records: " + Difference(a.Visible, want));
    check(b.Visible == want, "B against the records: " + Difference(b.Visible, want));
    check(a.Count == static_cast<std::int32_t>(a.Visible.size()),
          "A RecordCount " + std::to_string(a.Count));
    check(b.Count == static_cast<std::int32_t>(b.Visible.size()),
          "B RecordCount " + std::to_string(b.Count));
    check(levelA < 0 || a.Level == levelA, "A level " + std::to_string(a.Level));
    check(b.Level == 2, "B level " + std::to_string(b.Level));
    return same;
  }

  // The field and constant nodes of "Field = constant" compiled for this table.
  std::unique_ptr<TFilterNode> EqualityTree(TDataFile& table, const std::string& text) {
    auto root = ConvertCondition(Compile(text), table.WorkingFields(), "T");
    EXPECT_EQ(root->Class, fc::kBinary) << text;
    return root;
  }

  TMemoryDataSet dataSet_{nullptr, Columns()};
  std::unique_ptr<TDataFile> a_, b_;
  std::vector<TRow> rows_;
  std::uint32_t locale_ = 0;
  int reported_ = 0;
};

// --- Index and scan agree --------------------------------------------------------------------

class EngineFilterAgreementTest : public EngineFilterTest,
                                  public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(EngineFilterAgreementTest, RandomConditionsGiveTheSameRecordsByIndexAndByScan) {
  CreateTables(GetParam());
  TGenerator generator(20240214u + GetParam());
  Fill(generator, 240);
  int failed = 0;
  for (int i = 0; i < 200; ++i) {
    const TExpr e = generator.Expr(0);
    const bool caseInsensitive = generator.Chance(35);
    const std::string text = ExprText(e);
    Bytes condition;
    try {
      condition = Compile(text, caseInsensitive ? TFilterOptions{foCaseInsensitive} : 0u);
    } catch (const std::exception& error) {
      ADD_FAILURE() << "does not compile: " << text << ": " << error.what();
      continue;
    }
    const auto holds = [&](const TRow& row) { return ExprHolds(e, row, caseInsensitive, locale_); };
    const std::string shown = text + (caseInsensitive ? "  [case-insensitive]" : "");
    if (!Agree(
            shown, [&](TDataFile&) { return condition; }, holds, ExpectedLevel(e, locale_))) {
      ++failed;
    }
  }
  EXPECT_EQ(failed, 0) << "conditions that disagree (the first are shown above)";
}

// IN, NOT IN, BETWEEN and NOT BETWEEN come only as ready-made trees: the field node on the left,
// the first element (or the low bound) on the right, further elements (the high bound) chained
// on its Right.
TEST_P(EngineFilterAgreementTest, InAndBetweenTreesGiveTheSameRecordsByIndexAndByScan) {
  CreateTables(GetParam());
  TGenerator generator(7u + GetParam());
  Fill(generator, 240);
  int failed = 0;
  const int ops[] = {fo::kIn, fo::kNotIn, fo::kBetween, fo::kNotBetween};
  for (int i = 0; i < 60; ++i) {
    const int op = ops[i % 4];
    const bool in = op == fo::kIn || op == fo::kNotIn;
    // A list of constants of one field's type (the empty text only in lists).
    const auto usable = [&](const TLeaf& leaf) {
      return leaf.Kind != TLeaf::kNullKeyword && leaf.Kind != TLeaf::kBareFlag &&
             leaf.Partial == 0 && (in || leaf.Kind != TLeaf::kEmptyText);
    };
    std::vector<TLeaf> items;
    const int count = in ? generator.Uniform(1, 4) : 2;
    while (static_cast<int>(items.size()) < count) {
      TLeaf item = generator.Leaf();
      if (!usable(item) || (!items.empty() && item.Field != items[0].Field)) continue;
      item.Swapped = false;
      items.push_back(item);
    }
    const TLeaf& first = items[0];
    std::string text =
        std::string(kFieldNames[first.Field]) + (op == fo::kIn        ? " IN ("
                                                 : op == fo::kNotIn   ? " NOT IN ("
                                                 : op == fo::kBetween ? " BETWEEN ("
                                                                      : " NOT BETWEEN (");
    for (std::size_t k = 0; k < items.size(); ++k) {
      text += (k ? ", " : "") + ConstantText(items[k]);
    }
    text += ")";
    const auto make = [&](TDataFile& table) {
      auto node = std::make_unique<TFilterNode>();
      node->Class = fc::kExtended;
      node->Operator = op;
      TFilterNode* tail = nullptr;
      for (const TLeaf& item : items) {
        TLeaf equal = item;
        equal.Op = fo::kEqual;
        auto tree = EqualityTree(table, LeafText(equal));
        if (!node->Left) node->Left = std::move(tree->Left);
        if (tail) {
          tail->Right = std::move(tree->Right);
          tail = tail->Right.get();
        } else {
          node->Right = std::move(tree->Right);
          tail = node->Right.get();
        }
      }
      return node;
    };
    const auto holds = [&](const TRow& row) {
      bool result = false;
      if (in) {
        for (const TLeaf& item : items) {
          TLeaf equal = item;
          equal.Op = fo::kEqual;
          result = result || LeafHolds(equal, row, false, locale_);
        }
        return op == fo::kIn ? result : !result;
      }
      TLeaf low = items[0], high = items[1];
      low.Op = fo::kGreaterEqual;
      high.Op = fo::kLessEqual;
      result = LeafHolds(low, row, false, locale_) && LeafHolds(high, row, false, locale_);
      return op == fo::kBetween ? result : !result;
    };
    if (!Agree(text, make, holds, first.Field == kExtra ? 2 : 0)) ++failed;
  }
  EXPECT_EQ(failed, 0) << "lists and ranges that disagree (the first are shown above)";
}

std::string LocaleName(const ::testing::TestParamInfo<std::uint32_t>& locale) {
  return locale.param == 0 ? "NoLocale" : "Czech";
}

INSTANTIATE_TEST_SUITE_P(EngineFilter, EngineFilterAgreementTest, ::testing::Values(0u, kCzech),
                         LocaleName);

// The empty text stands for null whether an index or the records answer.
TEST_F(EngineFilterTest, TheEmptyTextSelectsNullNamesByIndexAndByScan) {
  for (const std::uint32_t locale : {0u, kCzech}) {
    CreateTables(locale);
    rows_.clear();
    TGenerator generator(99);
    Fill(generator, 60);
    const auto isNull = [](const TRow& row) { return !row.Name; };
    const auto notNull = [](const TRow& row) { return row.Name.has_value(); };
    const auto none = [](const TRow&) { return false; };
    for (const TFilterOptions options : {0u, unsigned{foCaseInsensitive}}) {
      const Bytes equal = Compile("Name = ''", options);
      const Bytes different = Compile("Name <> ''", options);
      const std::string suffix = options ? "  [case-insensitive]" : "";
      Agree(
          "Name = ''" + suffix, [&](TDataFile&) { return equal; }, isNull, 0);
      Agree(
          "Name <> ''" + suffix, [&](TDataFile&) { return different; }, notNull, 0);
    }
    // Compare nodes with the empty text, as a caller may build them.
    for (const bool caseInsensitive : {false, true}) {
      for (const int op : {fo::kEqual, fo::kNotEqual}) {
        const auto make = [&](TDataFile& table) {
          auto node = EqualityTree(table, "Name = ''");
          node->Class = fc::kCompare;
          node->Operator = op;
          node->CaseInsensitive = caseInsensitive;
          return node;
        };
        Agree(std::string("compare node Name ") + (op == fo::kEqual ? "=" : "<>") + " ''" +
                  (caseInsensitive ? "  [case-insensitive]" : ""),
              make, op == fo::kEqual ? isNull : notNull, 0);
      }
    }
    // Ordering against null holds for no record, however the condition is answered.
    for (const char* text : {"Name > ''", "Name >= ''", "Name < ''", "Name <= ''", "'' < Name"}) {
      const Bytes condition = Compile(text);
      Agree(
          text, [&](TDataFile&) { return condition; }, none, -1);
    }
    for (const int op : {fo::kBetween, fo::kNotBetween}) {
      const auto make = [&](TDataFile& table) {
        auto node = std::make_unique<TFilterNode>();
        node->Class = fc::kExtended;
        node->Operator = op;
        auto low = EqualityTree(table, "Name = ''");
        node->Left = std::move(low->Left);
        node->Right = std::move(low->Right);
        node->Right->Right = std::move(EqualityTree(table, "Name = 'zz'")->Right);
        return node;
      };
      const auto all = [](const TRow&) { return true; };
      Agree(op == fo::kBetween ? "Name BETWEEN ('', 'zz')" : "Name NOT BETWEEN ('', 'zz')", make,
            op == fo::kBetween ? none : all, -1);
    }
    a_.reset();
    b_.reset();
  }
}

// A partial compare takes the leading characters of the value, whatever the collation makes of
// the rest: under the Czech locale "ch" is one letter after "h", yet "chata" starts with "c";
// and case still counts unless the comparison ignores it.
TEST_F(EngineFilterTest, PartialComparesTakeTheLeadingCharacters) {
  const char* const names[] = {"chata", "Chata",  "CHATA", "Cha", "ch",  "c",   "C",
                               "ca",    "cibule", "cz",    "b",   "B",   "Bob", "bob",
                               "aB",    "Ab",     "AB",    "ab",  "abc", "h",   "hrad"};
  for (const std::uint32_t locale : {0u, kCzech}) {
    CreateTables(locale);
    rows_.clear();
    for (const char* name : names) {
      TRow row;
      row.Id = static_cast<std::int32_t>(rows_.size()) + 1;
      row.Name = name;
      rows_.push_back(row);
      Insert(*a_, row);
      Insert(*b_, row);
    }
    for (const char* prefix : {"c", "C", "ch", "Ch", "b", "aB", "h"}) {
      for (const bool caseInsensitive : {false, true}) {
        for (const int op : {fo::kEqual, fo::kNotEqual}) {
          TLeaf leaf;
          leaf.Field = kName;
          leaf.Op = op;
          leaf.Text = prefix;
          leaf.Partial = static_cast<int>(leaf.Text.size());
          const std::string text = LeafText(leaf);
          const Bytes condition =
              Compile(text, caseInsensitive ? TFilterOptions{foCaseInsensitive} : 0u);
          const auto holds = [&](const TRow& row) {
            return LeafHolds(leaf, row, caseInsensitive, locale);
          };
          Agree(
              text + (caseInsensitive ? "  [case-insensitive]" : ""),
              [&](TDataFile&) { return condition; }, holds, locale ? -1 : 0);
        }
      }
    }
    a_.reset();
    b_.reset();
  }
}

// --- AND evaluates its scanned side only on what the index side kept --------------------------

TEST_F(EngineFilterTest, AndScansOnlyTheSurvivorsOfItsIndexedSide) {
  CreateTables(0);
  TGenerator generator(5);
  Fill(generator, 240);
  const std::int64_t withThree =
      std::count_if(rows_.begin(), rows_.end(), [](const TRow& r) { return r.Num == 3; });
  ASSERT_GT(withThree, 0);
  const auto holds = [](const TRow& r) { return r.Num == 3 && r.Extra && *r.Extra > 20; };
  for (const char* text : {"Num = 3 AND Extra > 20", "Extra > 20 AND Num = 3"}) {
    const TOutcome a = Run(*a_, Compile(text));
    EXPECT_EQ(a.Level, 1) << text;
    EXPECT_EQ(a.Evaluations, withThree) << text;
    EXPECT_EQ(a.Visible, Expected(holds)) << text;
    const TOutcome b = Run(*b_, Compile(text));
    EXPECT_EQ(b.Evaluations, 240) << text;
    EXPECT_EQ(b.Visible, Expected(holds)) << text;
  }
  // Wholly indexed: no record is read.
  const TOutcome indexed = Run(*a_, Compile("Num = 3 AND Small > 0"));
  EXPECT_EQ(indexed.Level, 0);
  EXPECT_EQ(indexed.Evaluations, 0);
  // An OR with a scanned side reads every record.
  const TOutcome either = Run(*a_, Compile("Num = 3 OR Extra > 20"));
  EXPECT_EQ(either.Level, 2);
  EXPECT_EQ(either.Evaluations, 240);
  EXPECT_EQ(either.Visible,
            Expected([](const TRow& r) { return r.Num == 3 || (r.Extra && *r.Extra > 20); }));
}

// A case-insensitive comparison cannot use a case-sensitive index: without a case-insensitive
// one it reads the records. Descending indexes and tables without a primary index serve no
// filter either.
TEST_F(EngineFilterTest, TheIndexMustMatchTheComparisonsCase) {
  TTableDefinition def;
  def.TableName = TablePath("C");
  def.Fields = TableFields();
  def.Indexes = {
      {"", {"Id"}, {}, true}, {"ByName", {"Name"}}, {"ByNumDown", {"Num"}, {}, false, false, true}};
  CreateTable(def);
  auto table = OpenTable("C");
  TGenerator generator(11);
  for (int i = 1; i <= 50; ++i) {
    rows_.push_back(generator.Row(i));
    Insert(*table, rows_.back());
  }
  const TOutcome exact = Run(*table, Compile("Name <> 'hrad'"));
  EXPECT_EQ(exact.Level, 0);
  EXPECT_EQ(exact.Evaluations, 0);
  const TOutcome anyCase = Run(*table, Compile("Name <> 'hrad'", foCaseInsensitive));
  EXPECT_EQ(anyCase.Level, 2);
  EXPECT_EQ(anyCase.Evaluations, 50);
  EXPECT_EQ(anyCase.Visible,
            Expected([](const TRow& r) { return !r.Name || UpperAscii(*r.Name) != "HRAD"; }));
  // A descending index is no index for a filter.
  const TOutcome down = Run(*table, Compile("Num > 3"));
  EXPECT_EQ(down.Level, 2);
  EXPECT_EQ(down.Visible, Expected([](const TRow& r) { return r.Num && *r.Num > 3; }));
  // Without a primary index no index serves a filter.
  def.TableName = TablePath("D");
  def.Indexes = {{"ByName", {"Name"}}};
  CreateTable(def);
  auto bare = OpenTable("D");
  for (const TRow& row : rows_) Insert(*bare, row);
  const TOutcome scanned = Run(*bare, Compile("Name = 'hrad'"));
  EXPECT_EQ(scanned.Level, 2);
  EXPECT_EQ(scanned.Visible, Expected([](const TRow& r) { return r.Name == "hrad"; }));
}

// --- The evaluator on single records ---------------------------------------------------------

class EngineFilterEvaluatorTest : public TableTest {
 protected:
  using Node = std::unique_ptr<TFilterNode>;

  void SetUp() override {
    TableTest::SetUp();
    TTableDefinition def;
    def.TableName = TablePath();
    def.Fields = {{"Name", 1, 0, 20},    {"Num", 6},  {"Small", 5},  {"Amount", 7}, {"Born", 2},
                  {"Price", 8, 0, 0, 2}, {"Flag", 4}, {"Stamp", 11}, {"Clock", 10}, {"Word", 12}};
    CreateTable(def);
    table_.SetExclusive(true);
    table_.SetFileName(TablePath());
    table_.Open();
    full_.resize(table_.WorkingRecordSize());
    empty_.resize(table_.WorkingRecordSize());
    table_.BlankRecord(full_.data());
    table_.BlankRecord(empty_.data());
    ASSERT_TRUE(table_.WriteField(true, 1, std::string("Hello"), full_.data()));
    ASSERT_TRUE(table_.WriteField(true, 2, std::int64_t{7}, full_.data()));
    ASSERT_TRUE(table_.WriteField(true, 3, std::int64_t{3}, full_.data()));
    ASSERT_TRUE(table_.WriteField(true, 4, 2.5, full_.data()));
    ASSERT_TRUE(table_.WriteField(true, 5, std::int64_t{born_}, full_.data()));
    ASSERT_TRUE(table_.WriteField(true, 6, 12.34, full_.data()));
    ASSERT_TRUE(table_.WriteField(true, 7, true, full_.data()));
    ASSERT_TRUE(table_.WriteField(true, 8, stamp_, full_.data()));
    ASSERT_TRUE(table_.WriteField(true, 9, std::int64_t{49530000}, full_.data()));
    ASSERT_TRUE(table_.WriteField(true, 10, std::int64_t{65535}, full_.data()));
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
  ASSERT_TRUE(table_.WriteField(true, 3, std::int64_t{0}, full_.data()));
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

// --- The filter list, damaged conditions ------------------------------------------------------

TEST_F(EngineFilterTest, TheHundredAndTwentyNinthFilterIsRefused) {
  CreateTables(0);
  TGenerator generator(3);
  Fill(generator, 20);
  const Bytes condition = Compile("Num > 0");
  std::vector<TFilter*> added;
  for (int i = 0; i < kMaxFilters; ++i) {
    TFilter* filter = nullptr;
    ASSERT_EQ(a_->AddFilter(condition, &filter), 0) << i;
    added.push_back(filter);
  }
  TFilter* extra = nullptr;
  EXPECT_EQ(a_->AddFilter(condition, &extra), ie::kTooManyFilters);
  EXPECT_EQ(extra, nullptr);
  EXPECT_EQ(a_->AddFilter([](const std::uint8_t*, std::int32_t) { return true; }),
            ie::kTooManyFilters);
  EXPECT_EQ(a_->Filters().Count(), kMaxFilters);
  for (int i = 0; i < kMaxFilters; ++i) EXPECT_EQ(a_->Filters().At(i), added[i]);
  // They all still work.
  EXPECT_EQ(a_->Filters().Activate(nullptr), 0);
  EXPECT_EQ(Visible(*a_), Expected([](const TRow& r) { return r.Num && *r.Num > 0; }));
  // Removing one makes room for one.
  EXPECT_EQ(a_->Filters().Remove(added[5]), 0);
  EXPECT_EQ(a_->AddFilter(condition), 0);
  EXPECT_EQ(a_->AddFilter(condition), ie::kTooManyFilters);
  EXPECT_EQ(a_->Filters().Remove(nullptr), 0);
  EXPECT_EQ(a_->Filters().Count(), 0);
  EXPECT_EQ(Visible(*a_).size(), rows_.size());
}

TEST_F(EngineFilterTest, AForeignOrRemovedFilterIsAnInvalidHandle) {
  CreateTables(0);
  TGenerator generator(4);
  Fill(generator, 20);
  TFilter* mine = nullptr;
  TFilter* foreign = nullptr;
  ASSERT_EQ(a_->AddFilter(Compile("Num > 0"), &mine), 0);
  ASSERT_EQ(b_->AddFilter(Compile("Num > 0"), &foreign), 0);
  EXPECT_EQ(a_->Filters().Remove(foreign), ie::kInvalidFilterHandle);
  EXPECT_EQ(a_->Filters().Activate(foreign), ie::kInvalidFilterHandle);
  EXPECT_EQ(a_->Filters().Deactivate(foreign), ie::kInvalidFilterHandle);
  EXPECT_EQ(a_->Filters().Count(), 1);
  EXPECT_EQ(b_->Filters().Count(), 1);
  EXPECT_EQ(a_->Filters().Activate(mine), 0);
  EXPECT_EQ(a_->Filters().Remove(mine), 0);
  const TFilter* removed = mine;
  EXPECT_EQ(a_->Filters().Remove(const_cast<TFilter*>(removed)), ie::kInvalidFilterHandle);
  EXPECT_EQ(a_->Filters().Count(), 0);
  EXPECT_EQ(Visible(*a_).size(), rows_.size());
  // An add with nothing to filter by.
  EXPECT_EQ(a_->AddFilter(Bytes{}), ie::kInvalidFilterExpression);
  EXPECT_EQ(a_->AddFilter(std::unique_ptr<TFilterNode>()), ie::kInvalidFilterExpression);
  EXPECT_EQ(a_->AddFilter(TFilter::TCallback()), ie::kInvalidFilterExpression);
  EXPECT_EQ(a_->Filters().Count(), 0);
}

TEST_F(EngineFilterTest, DamagedConditionsAreRefusedWithoutHarm) {
  CreateTables(0);
  TGenerator generator(6);
  Fill(generator, 20);
  // Root AND at node offset 0 (binary: left at +8, right at +10); its left comparison at 12.
  const Bytes good = Compile("Num > 5 AND Name = 'x'");
  ASSERT_EQ(LoadU16(&good[6]), 10);
  ASSERT_EQ(LoadU32(&good[10]), 2u);
  ASSERT_EQ(LoadU16(&good[18]), 12);
  const auto code = [&](const Bytes& condition) {
    return EngineErrorOf([&] { a_->AddFilter(condition); });
  };
  EXPECT_EQ(code(good), 0);
  EXPECT_EQ(a_->Filters().Remove(nullptr), 0);

  Bytes c(good.begin(), good.begin() + 9);
  EXPECT_EQ(code(c), ie::kInvalidFilterExpression) << "shorter than the header";
  c.assign(good.begin(), good.end() - 1);
  EXPECT_EQ(code(c), ie::kInvalidFilterExpression) << "the last literal cut";
  c.assign(good.begin(), good.begin() + 30);
  EXPECT_EQ(code(c), ie::kInvalidFilterExpression) << "nodes cut";
  c = good;
  StoreU16(&c[6], static_cast<std::uint16_t>(good.size() + 10));
  EXPECT_EQ(code(c), ie::kInvalidFilterExpression) << "node area outside";
  c = good;
  StoreU16(&c[8], 0xFFF0);
  EXPECT_EQ(code(c), ie::kInvalidFilterExpression) << "literal area outside";
  c = good;
  StoreU16(&c[18], 0xFFF0);
  EXPECT_EQ(code(c), ie::kInvalidFilterExpression) << "operand outside";
  c = good;
  StoreU16(&c[10 + 12 + 8], 12);
  EXPECT_EQ(code(c), ie::kInvalidFilterExpression) << "a node its own operand";
  c = good;
  StoreU16(&c[10 + 12 + 10], 0);
  EXPECT_EQ(code(c), ie::kInvalidFilterExpression) << "an operand the root";
  c = good;
  StoreU32(&c[10], 99);
  EXPECT_EQ(code(c), ie::kInvalidFilterExpression) << "unknown class";
  EXPECT_EQ(a_->Filters().Count(), 0);

  // A name no field carries.
  TMemoryDataSet other{nullptr, {{"Nope", ftInteger}}};
  other.Open();
  std::string message;
  EXPECT_EQ(EngineErrorOf([&] { a_->AddFilter(TExprParser(other, 0, "Nope > 1").Condition()); },
                          &message),
            ie::kInvalidField);
  EXPECT_NE(message.find("Nope"), std::string::npos) << message;
  EXPECT_EQ(a_->Filters().Count(), 0);

  // Every byte changed to a few values: refused with one of the two codes, or accepted and then
  // usable.
  int accepted = 0;
  for (std::size_t at = 0; at < good.size(); ++at) {
    for (const std::uint8_t value : {0x00, 0x01, 0x07, 0x0C, 0x80, 0xFF}) {
      c = good;
      c[at] = value;
      try {
        TFilter* filter = nullptr;
        if (a_->AddFilter(c, &filter) != 0) continue;
        ++accepted;
        EXPECT_EQ(a_->Filters().Activate(filter), 0);
        EXPECT_LE(Visible(*a_).size(), rows_.size());
        EXPECT_EQ(a_->Filters().Remove(filter), 0);
      } catch (const EIsamEngineError& e) {
        EXPECT_TRUE(e.ErrorCode() == ie::kInvalidFilterExpression ||
                    e.ErrorCode() == ie::kInvalidField)
            << "byte " << at << " = " << int{value} << ": " << e.ErrorCode();
      }
    }
  }
  EXPECT_GT(accepted, 0);
  EXPECT_EQ(a_->Filters().Count(), 0);
}

// --- Record changes under an active filter ----------------------------------------------------

TEST_F(EngineFilterTest, FiltersFollowInsertsUpdatesAndDeletes) {
  for (const std::uint32_t locale : {0u, kCzech}) {
    CreateTables(locale);
    rows_.clear();
    TGenerator generator(8);
    Fill(generator, 30);
    // Level 0 on A and 2 on B; half indexed on A; a string order under the table's locale.
    struct TCondition {
      const char* Text;
      std::function<bool(const TRow&)> Passes;
    };
    const TCondition conditions[] = {
        {"Num > 0", [](const TRow& r) { return r.Num && *r.Num > 0; }},
        {"Num > 0 AND Extra < 40",
         [](const TRow& r) { return r.Num && *r.Num > 0 && r.Extra && *r.Extra < 40; }},
        {"Name >= 'c'",
         [&](const TRow& r) {
           return r.Name && ModelCompare(*r.Name, "c", false, 0, locale) >= 0;
         }},
    };
    for (const TCondition& condition : conditions) {
      const char* text = condition.Text;
      const auto& passes = condition.Passes;
      for (TDataFile* table : {a_.get(), b_.get()}) {
        std::vector<TRow> rows = rows_;
        TFilter* filter = nullptr;
        ASSERT_EQ(table->AddFilter(Compile(text), &filter), 0);
        ASSERT_EQ(table->Filters().Activate(filter), 0);
        const auto expect = [&](const std::string& step) {
          Ids want;
          for (const TRow& r : rows) {
            if (passes(r)) want.push_back(r.Id);
          }
          std::sort(want.begin(), want.end());
          EXPECT_EQ(Visible(*table), want) << text << " after " << step;
          EXPECT_EQ(table->RecordCount(), static_cast<std::int32_t>(want.size()))
              << text << " after " << step;
        };
        expect("activating");

        TRow in;
        in.Id = 1000;
        in.Num = 5;
        in.Extra = 1;
        in.Name = "dum";
        TRow out;
        out.Id = 1001;
        out.Num = -5;
        out.Extra = 45;
        out.Name = "abc";
        Insert(*table, in);
        rows.push_back(in);
        Insert(*table, out);
        rows.push_back(out);
        expect("inserting");

        // The first visible record stops passing.
        Bytes record(table->WorkingRecordSize());
        table->GoFirst();
        ASSERT_EQ(table->GoNext(record.data()), 0);
        const std::int32_t changed = IdOf(*table, record);
        ASSERT_EQ(table->GetCurrent(record.data(), true), 0);
        table->WriteField(true, kNum, std::int64_t{-1}, record.data());
        table->WriteField(true, kName, std::string("AAA"), record.data());
        table->Update(record.data(), true, false);
        for (TRow& r : rows) {
          if (r.Id == changed) {
            r.Num = -1;
            r.Name = "AAA";
          }
        }
        expect("updating " + std::to_string(changed));

        // A visible record keeps passing with other values.
        table->GoFirst();
        ASSERT_EQ(table->GoNext(record.data()), 0);
        const std::int32_t kept = IdOf(*table, record);
        ASSERT_EQ(table->GetCurrent(record.data(), true), 0);
        table->WriteField(true, kSmall, std::int64_t{9}, record.data());
        table->Update(record.data(), true, false);
        for (TRow& r : rows) {
          if (r.Id == kept) r.Small = 9;
        }
        expect("updating " + std::to_string(kept));

        // The last visible record is deleted.
        table->GoLast();
        ASSERT_EQ(table->GoPrior(record.data()), 0);
        const std::int32_t deleted = IdOf(*table, record);
        table->Delete(false);
        std::erase_if(rows, [&](const TRow& r) { return r.Id == deleted; });
        expect("deleting " + std::to_string(deleted));

        // Without the filter everything is there again.
        ASSERT_EQ(table->Filters().Remove(filter), 0);
        EXPECT_EQ(table->RecordCount(), static_cast<std::int32_t>(rows.size())) << text;
      }
      // The next condition starts from the same records on both tables.
      a_.reset();
      b_.reset();
      CreateTables(locale);
      for (const TRow& row : rows_) {
        Insert(*a_, row);
        Insert(*b_, row);
      }
    }
    a_.reset();
    b_.reset();
  }
}

}  // namespace
}  // namespace katalog::testing
