// Engine filters on real tables: what the indexes answer against what reading every record gives
// (and against the test's own evaluation of the records it inserted), the limits of the filter
// list, damaged compiled conditions, and filters that follow record changes.
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
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableCreation.h"
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
  // The tables close while the engine still runs: they write on closing.
  void TearDown() override {
    a_.reset();
    b_.reset();
    TableTest::TearDown();
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
      EXPECT_TRUE(table.WriteField(TFieldSet::Working, field, value, record.data()))
          << "field " << field;
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
    table.Insert(record.data(), {});
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
        std::get<std::int64_t>(table.ReadField(TFieldSet::Working, kId, record.data())));
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

// A BCD field with more decimals than the four the filters compare with: its values are
// compared rounded to four decimals (once), so that many stored values equal one constant. An
// index on the field answers as the records do.
TEST_F(EngineFilterTest, BcdWithMoreThanFourDecimalsComparesAlikeByIndexAndByScan) {
  TTableDefinition a;
  a.TableName = TablePath("A");
  a.Fields = {{"Id", 6}, {"Rate", 8, 0, 0, 6}};
  a.Indexes = {{"", {"Id"}, {}, true}, {"ByRate", {"Rate"}}};
  CreateTable(a);
  TTableDefinition b = a;
  b.TableName = TablePath("B");
  b.Indexes.resize(1);
  CreateTable(b);
  a_ = OpenTable("A");
  b_ = OpenTable("B");
  // Id and Rate x 10^6: 1, 1.00004, 0.99995, 1.00005, 1.000049, 2.
  const std::vector<std::pair<std::int32_t, std::int64_t>> rates = {
      {1, 1000000}, {2, 1000040}, {3, 999950}, {4, 1000050}, {5, 1000049}, {6, 2000000}};
  for (TDataFile* table : {a_.get(), b_.get()}) {
    for (const auto& [id, rate] : rates) {
      Bytes record(table->WorkingRecordSize());
      table->BlankRecord(record.data());
      ASSERT_TRUE(table->WriteField(TFieldSet::Working, 1, std::int64_t{id}, record.data()));
      ASSERT_TRUE(table->WriteField(TFieldSet::Working, 2, TBcdAmount{rate}, record.data()));
      table->Insert(record.data(), {});
    }
  }
  TMemoryDataSet columns(nullptr, {{"Id", ftInteger}, {"Rate", ftBCD, 6}});
  columns.Open();
  const std::vector<std::pair<std::string, Ids>> cases = {
      {"Rate = 1", {1, 2, 3, 5}},
      {"Rate <> 1", {4, 6}},
      {"Rate > 1", {4, 6}},
      {"Rate >= 1", {1, 2, 3, 4, 5, 6}},
      {"Rate < 1.0001", {1, 2, 3, 5}},
      {"Rate <= 1.0001", {1, 2, 3, 4, 5}},
  };
  for (const auto& [text, ids] : cases) {
    const Bytes condition = TExprParser(columns, 0, text).Condition();
    const TOutcome indexed = Run(*a_, condition);
    const TOutcome scanned = Run(*b_, condition);
    EXPECT_EQ(indexed.Visible, ids) << text;
    EXPECT_EQ(scanned.Visible, ids) << text;
  }
}

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
    return EngineErrorOf([&] { EXPECT_EQ(a_->AddFilter(condition), 0); });
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
  EXPECT_EQ(
      EngineErrorOf(
          [&] { static_cast<void>(a_->AddFilter(TExprParser(other, 0, "Nope > 1").Condition())); },
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
        table->WriteField(TFieldSet::Working, kNum, std::int64_t{-1}, record.data());
        table->WriteField(TFieldSet::Working, kName, std::string("AAA"), record.data());
        table->Update(record.data(), {.Unlock = true});
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
        table->WriteField(TFieldSet::Working, kSmall, std::int64_t{9}, record.data());
        table->Update(record.data(), {.Unlock = true});
        for (TRow& r : rows) {
          if (r.Id == kept) r.Small = 9;
        }
        expect("updating " + std::to_string(kept));

        // The last visible record is deleted.
        table->GoLast();
        ASSERT_EQ(table->GoPrior(record.data()), 0);
        const std::int32_t deleted = IdOf(*table, record);
        table->Delete({});
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
