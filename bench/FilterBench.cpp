// The engine's filters against SQLite's WHERE clauses, on the tables and data of EngineBench.cpp
// (Id = id, Name = 20 upper-case letters, Value = id * 0.5; an index on Name, none on Value):
//
//   FilterIndexed   Name = v, a name with a handful of records: adding and activating the
//                   filter, RecordCount, and every visible record walked in the order of Name's
//                   index, reading Name; SQLite: SELECT count(*) … WHERE name = ?, then every
//                   row of SELECT name … WHERE name = ? (through its index on name)
//   FilterScan      Value > x, the top 1 % of the ids: the same three steps in primary-key
//                   order, reading Id; SQLite: count(*) and SELECT id with that WHERE, which
//                   reads the whole table (no index on value)
//   FilterCount     Name >= 'M', about half of the records: adding and activating the filter and
//                   RecordCount only; SQLite: SELECT count(*) … WHERE name >= ?
//   FilterWalk      with the filter Name >= 'M' already active (untimed) in the order of Name's
//                   index: GoFirst, then GoNext through every visible record, reading Id;
//                   SQLite: every row of SELECT id … WHERE name >= ? ORDER BY name
//
// The engine's filters are condition trees handed over ready-made, as a compiled expression
// would give them; building a tree, like preparing a statement, is not timed. Every run checks
// what it saw against counts taken from the generated data, and the label of each engine
// benchmark names the level its filter was answered at (0 from an index, 2 by reading records)
// and how many records it let through.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "bench/BenchTable.h"
#include "bench/SqlitePeer.h"
#include "engine/index/Filter.h"
#include "engine/index/FilterTree.h"
#include "engine/table/DataFile.h"

namespace katalog::bench {
namespace {

// Field numbers; Id (1) is read through IdOf.
constexpr int kNameField = 2, kValueField = 3;
// The equality filter looks for the first name (by id) that this many records or more carry.
constexpr int kHandful = 5;
// The broad condition: Name >= kFrom.
const char* const kFrom = "M";

// What the conditions select in one data set, counted from the data alone.
struct TExpected {
  std::string HandfulName;
  std::int64_t HandfulCount = 0;
  // Value > ValueAbove: the ids above 99 % of the count.
  double ValueAbove = 0;
  std::int64_t ValueCount = 0;
  std::int64_t FromCount = 0;
};

TExpected Expect(const TDataSet& data) {
  TExpected e;
  std::unordered_map<std::string, std::int64_t> perName;
  for (std::int64_t id = 1; id <= data.Count; ++id) {
    ++perName[data.Names[id]];
    e.FromCount += data.Names[id] >= kFrom;
  }
  for (std::int64_t id = 1; id <= data.Count && e.HandfulName.empty(); ++id) {
    if (perName[data.Names[id]] >= kHandful) {
      e.HandfulName = data.Names[id];
      e.HandfulCount = perName[e.HandfulName];
    }
  }
  e.ValueAbove = static_cast<double>(data.Count - data.Count / 100) * 0.5;
  for (std::int64_t id = 1; id <= data.Count; ++id) {
    e.ValueCount += static_cast<double>(id) * 0.5 > e.ValueAbove;
  }
  return e;
}

const TExpected& ExpectedOf(std::int64_t count) {
  static std::map<std::int64_t, TExpected> cache;
  auto it = cache.find(count);
  if (it == cache.end()) it = cache.emplace(count, Expect(DataSetOf(count))).first;
  return it->second;
}

// What one run saw: the count reported (-1 when the case asks for none) and the walk's reads.
struct TSeen {
  std::int64_t Count = -1;
  std::vector<std::int64_t> Ids;
  std::vector<std::string> Names;
};

// ---- The cases ----

enum TWalk { wkNone, wkIds, wkNames };

struct TFilterCase {
  const char* Name;
  // The engine: the index the cursor uses, the condition, and whether adding and activating
  // the filter and RecordCount are timed (otherwise only the walk is).
  const char* Index;
  int FieldNumber;
  int Operator;
  bool FilterTimed;
  // SQLite: the count and the walk; an empty text for none.
  const char* CountSql;
  const char* WalkSql;
  TWalk Walk;
  // The condition's constant for both sides, from the expectations.
  std::function<std::variant<std::string, double>(const TExpected&)> Constant;
  // Whether the run saw what the data holds.
  std::function<bool(const TSeen&, const TDataSet&, const TExpected&)> Right;
};

// Every walked id once, each meeting the condition, none missing.
bool IdsRight(const TSeen& seen, std::int64_t expected, const TDataSet& data,
              const std::function<bool(std::int64_t)>& meets) {
  if (static_cast<std::int64_t>(seen.Ids.size()) != expected) return false;
  std::vector<bool> met(static_cast<std::size_t>(data.Count) + 1);
  for (const std::int64_t id : seen.Ids) {
    if (id < 1 || id > data.Count || met[id] || !meets(id)) return false;
    met[id] = true;
  }
  return true;
}

const TFilterCase kFilterCases[] = {
    {"FilterIndexed", "ByName", kNameField, fo::kEqual, true,
     "SELECT count(*) FROM bench WHERE name = ?", "SELECT name FROM bench WHERE name = ?", wkNames,
     [](const TExpected& e) { return e.HandfulName; },
     [](const TSeen& seen, const TDataSet&, const TExpected& e) {
       return seen.Count == e.HandfulCount &&
              static_cast<std::int64_t>(seen.Names.size()) == e.HandfulCount &&
              std::all_of(seen.Names.begin(), seen.Names.end(),
                          [&](const std::string& name) { return name == e.HandfulName; });
     }},
    {"FilterScan", "", kValueField, fo::kGreater, true,
     "SELECT count(*) FROM bench WHERE value > ?", "SELECT id FROM bench WHERE value > ?", wkIds,
     [](const TExpected& e) { return e.ValueAbove; },
     [](const TSeen& seen, const TDataSet& data, const TExpected& e) {
       // In primary-key order, as SQLite's rowid order.
       return seen.Count == e.ValueCount && std::is_sorted(seen.Ids.begin(), seen.Ids.end()) &&
              IdsRight(seen, e.ValueCount, data, [&](std::int64_t id) {
                return static_cast<double>(id) * 0.5 > e.ValueAbove;
              });
     }},
    {"FilterCount", "", kNameField, fo::kGreaterEqual, true,
     "SELECT count(*) FROM bench WHERE name >= ?", "", wkNone,
     [](const TExpected&) { return std::string(kFrom); },
     [](const TSeen& seen, const TDataSet&, const TExpected& e) {
       return seen.Count == e.FromCount;
     }},
    {"FilterWalk", "ByName", kNameField, fo::kGreaterEqual, false, "",
     "SELECT id FROM bench WHERE name >= ? ORDER BY name", wkIds,
     [](const TExpected&) { return std::string(kFrom); },
     [](const TSeen& seen, const TDataSet& data, const TExpected& e) {
       const auto byName = [&](std::int64_t a, std::int64_t b) {
         return data.Names[a] < data.Names[b];
       };
       return std::is_sorted(seen.Ids.begin(), seen.Ids.end(), byName) &&
              IdsRight(seen, e.FromCount, data,
                       [&](std::int64_t id) { return data.Names[id] >= kFrom; });
     }},
};

// The operations of one run: one query, or the records walked when only the walk is timed.
std::int64_t OperationsOf(const TFilterCase& c, const TSeen& seen) {
  return c.FilterTimed ? 1 : static_cast<std::int64_t>(seen.Ids.size() + seen.Names.size());
}

// ---- The engine ----

// Field `fieldNumber` compared by `op` with `constant`, as the expression compiler builds it.
std::unique_ptr<TFilterNode> Comparison(const TDataFile& table, int fieldNumber, int op,
                                        const std::variant<std::string, double>& constant) {
  const TFieldDescriptor& field = table.WorkingFields().at(fieldNumber - 1);
  auto node = std::make_unique<TFilterNode>();
  node->Class = fc::kBinary;
  node->Operator = op;
  node->Left = std::make_unique<TFilterNode>();
  node->Left->Class = fc::kField;
  node->Left->FieldName = field.Name;
  node->Left->FieldNumber = field.FieldNumber;
  node->Left->Value.Type = field.FieldTypeCode;
  node->Left->Value.Decimals = field.PhysicalScale;
  node->Right = std::make_unique<TFilterNode>();
  node->Right->Class = fc::kConstant;
  TFilterValue& value = node->Right->Value;
  value.Null = false;
  if (const auto* text = std::get_if<std::string>(&constant)) {
    value.Type = ft::kString;
    value.Text = *text;
  } else {
    value.Type = ft::kFloat;
    value.Float = std::get<double>(constant);
  }
  return node;
}

// Adds the filter and makes it active; throws when the engine refuses.
TFilter* AddActiveFilter(TDataFile& table, std::unique_ptr<TFilterNode> tree) {
  TFilter* filter = nullptr;
  if (const int code = table.AddFilter(std::move(tree), &filter)) {
    throw std::runtime_error("AddFilter: " + std::to_string(code));
  }
  if (const int code = table.Filters().Activate(filter)) {
    throw std::runtime_error("Activate: " + std::to_string(code));
  }
  return filter;
}

void OursFilter(benchmark::State& state, std::int64_t count, const TFilterCase& c) {
  EnsureOurs(count);
  const TDataSet& data = DataSetOf(count);
  const TExpected& expected = ExpectedOf(count);
  for (auto _ : state) {
    TDataFile table;
    OpenOurs(table, count);
    table.SetIndexByName(c.Index);
    std::vector<std::uint8_t> record(table.WorkingRecordSize());
    auto tree = Comparison(table, c.FieldNumber, c.Operator, c.Constant(expected));
    TSeen seen;
    if (c.Walk == wkIds) seen.Ids.reserve(static_cast<std::size_t>(count));
    TFilter* filter = c.FilterTimed ? nullptr : AddActiveFilter(table, std::move(tree));
    int code = kEndOfTable;
    const TClock::time_point start = TClock::now();
    if (c.FilterTimed) {
      filter = AddActiveFilter(table, std::move(tree));
      seen.Count = table.RecordCount();
    }
    if (c.Walk != wkNone) {
      table.GoFirst();
      while ((code = table.GoNext(record.data())) == 0) {
        if (c.Walk == wkIds) {
          seen.Ids.push_back(IdOf(table, record.data()));
        } else {
          seen.Names.push_back(std::get<std::string>(
              table.ReadField(TFieldSet::Working, kNameField, record.data())));
        }
      }
    }
    const double seconds = SecondsSince(start);
    const int level = filter->Level();
    table.Close();
    if (code != kEndOfTable || !c.Right(seen, data, expected)) {
      state.SkipWithError("the filter did not show the records the data holds");
      return;
    }
    const std::int64_t visible =
        c.FilterTimed ? seen.Count : static_cast<std::int64_t>(seen.Ids.size());
    state.SetLabel("level " + std::to_string(level) + ", " + std::to_string(visible) + " visible");
    Record(state, c.Name, sdOurs, count, seconds, OperationsOf(c, seen));
  }
}

// ---- SQLite ----

void Bind(TSqliteStatement& statement, const std::variant<std::string, double>& constant) {
  if (const auto* text = std::get_if<std::string>(&constant)) {
    statement.Bind(1, std::string_view(*text));
  } else {
    statement.Bind(1, std::get<double>(constant));
  }
}

void PeerFilter(benchmark::State& state, std::int64_t count, const TFilterCase& c) {
  EnsurePeer(count);
  const TDataSet& data = DataSetOf(count);
  const TExpected& expected = ExpectedOf(count);
  const auto constant = c.Constant(expected);
  for (auto _ : state) {
    TSqliteDatabase db(PeerPath(count));
    std::unique_ptr<TSqliteStatement> counting, walking;
    if (*c.CountSql) counting = std::make_unique<TSqliteStatement>(db.Handle(), c.CountSql);
    if (*c.WalkSql) walking = std::make_unique<TSqliteStatement>(db.Handle(), c.WalkSql);
    TSeen seen;
    if (c.Walk == wkIds) seen.Ids.reserve(static_cast<std::size_t>(count));
    const TClock::time_point start = TClock::now();
    if (counting) {
      Bind(*counting, constant);
      seen.Count = counting->Step() ? counting->ColumnInt(0) : -1;
      counting->Reset();
    }
    if (walking) {
      Bind(*walking, constant);
      while (walking->Step()) {
        if (c.Walk == wkIds) {
          seen.Ids.push_back(walking->ColumnInt(0));
        } else {
          seen.Names.emplace_back(walking->ColumnText(0));
        }
      }
      walking->Reset();
    }
    const double seconds = SecondsSince(start);
    if (!c.Right(seen, data, expected)) {
      state.SkipWithError("the query did not give the rows the data holds");
      return;
    }
    Record(state, c.Name, sdPeer, count, seconds, OperationsOf(c, seen));
  }
}

}  // namespace

void RegisterFilterCases(std::int64_t count) {
  for (const TFilterCase& c : kFilterCases) {
    const std::string name = c.Name;
    Register(name + "/ours", count, kReadRuns,
             [count, &c](benchmark::State& s) { OursFilter(s, count, c); });
    Register(name + "/sqlite", count, kReadRuns,
             [count, &c](benchmark::State& s) { PeerFilter(s, count, c); });
  }
}

}  // namespace katalog::bench
