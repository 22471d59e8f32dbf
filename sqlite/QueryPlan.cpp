#include "sqlite/QueryPlan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "engine/table/DataFile.h"
#include "platform/AsciiText.h"

namespace katalog::sqlite {

namespace {

// A candidate walk with the constraints it takes (their place in info.aConstraint).
struct TCandidate {
  TQueryPlan Plan;
  int EqualConstraint = -1;
  int LowerConstraint = -1;
  int UpperConstraint = -1;
  bool OrderConsumed = false;
  double Rows = 0;
  double Cost = 0;
};

// Whether an index's order on the column is the order of the column's values: not for memos,
// blobs and bytes, nor for longwords, whose keys hold their bytes as stored (low byte first).
bool IsComparable(const TSqlColumn& column) {
  return !column.InBlobFile() && column.Kind != TColumnKind::Bytes &&
         column.Kind != TColumnKind::VarBytes && column.Field->FieldTypeCode != ft::kLongWord;
}

// Whether walking an index on the column gives SQLite's order of its values: not for floats
// (a NaN comes back as NULL, which SQLite puts first and the index last) nor for BCD amounts
// with decimals (those beyond 15 digits come back as TEXT, which SQLite puts after every number).
bool IsOrderable(const TSqlColumn& column) {
  return IsComparable(column) && column.Kind != TColumnKind::Real &&
         !(column.Kind == TColumnKind::Bcd && column.Field->PhysicalScale > 0);
}

int ColumnOfField(const std::vector<TSqlColumn>& columns, int fieldNumber) {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].Field->FieldNumber == fieldNumber) return static_cast<int>(i);
  }
  return -1;
}

// Whether walking the index (forwards or backwards) gives the ORDER BY; sets `backward`.
bool GivesOrder(const sqlite3_index_info& info, const TIndexDescriptor& index,
                const std::vector<TSqlColumn>& columns, bool& backward) {
  if (info.nOrderBy == 0 || info.nOrderBy > index.FieldCount) return false;
  const bool descending = info.aOrderBy[0].desc != 0;
  // GROUP BY and DISTINCT take rows with the same value as neighbours; in the index's order
  // texts that only the locale holds equal ("co-op", "coop") or that differ in case could
  // alternate, so for text fields only a plain ORDER BY is left to the index.
  const bool plainOrder = sqlite3_vtab_distinct(const_cast<sqlite3_index_info*>(&info)) == 0;
  for (int i = 0; i < info.nOrderBy; ++i) {
    const auto& term = info.aOrderBy[i];
    const int column = ColumnOfField(columns, index.FieldNumbers[static_cast<std::size_t>(i)]);
    if (column < 0 || term.iColumn != column || (term.desc != 0) != descending) return false;
    if (index.FieldDescending[static_cast<std::size_t>(i)]) return false;
    const TSqlColumn& c = columns[static_cast<std::size_t>(column)];
    if (!IsOrderable(c) || (c.IsText() && !plainOrder)) return false;
  }
  backward = descending;
  return true;
}

TCandidate IndexCandidate(const sqlite3_index_info& info, int slot, const TIndexDescriptor& index,
                          const std::vector<TSqlColumn>& columns, double records) {
  TCandidate candidate;
  candidate.Plan.Slot = slot;
  const int column = ColumnOfField(columns, index.FieldNumbers[0]);
  candidate.Plan.Column = column;
  const bool text = columns[static_cast<std::size_t>(column)].IsText();
  for (int i = 0; i < info.nConstraint; ++i) {
    const auto& c = info.aConstraint[i];
    if (!c.usable || c.iColumn != column) continue;
    // A text comparison under a collation the query names is SQLite's to make.
    if (text && !platform::EqualsIgnoringAsciiCase(
                    sqlite3_vtab_collation(const_cast<sqlite3_index_info*>(&info), i), "BINARY")) {
      continue;
    }
    switch (c.op) {
      case SQLITE_INDEX_CONSTRAINT_EQ:
        if (candidate.EqualConstraint < 0) candidate.EqualConstraint = i;
        break;
      case SQLITE_INDEX_CONSTRAINT_GT:
      case SQLITE_INDEX_CONSTRAINT_GE:
        if (candidate.LowerConstraint < 0) candidate.LowerConstraint = i;
        break;
      case SQLITE_INDEX_CONSTRAINT_LT:
      case SQLITE_INDEX_CONSTRAINT_LE:
        if (candidate.UpperConstraint < 0) candidate.UpperConstraint = i;
        break;
      default:
        break;
    }
  }
  if (candidate.EqualConstraint >= 0) candidate.LowerConstraint = candidate.UpperConstraint = -1;
  candidate.OrderConsumed = GivesOrder(info, index, columns, candidate.Plan.Backward);
  // Estimates in the manner of SQLite's own for an index without statistics.
  double rows = records;
  if (candidate.EqualConstraint >= 0) {
    rows = index.Unique && index.FieldCount == 1 ? 1 : std::max(1.0, records / 20);
  } else if (candidate.LowerConstraint >= 0 && candidate.UpperConstraint >= 0) {
    rows = records / 10;
  } else if (candidate.LowerConstraint >= 0 || candidate.UpperConstraint >= 0) {
    rows = records / 4;
  }
  candidate.Rows = std::max(1.0, rows);
  // An index walk reads its records out of physical order; a case-insensitive index is taken
  // last, as it answers fewer questions the way SQLite would.
  candidate.Cost = std::log2(records + 1) + candidate.Rows * 1.5 + (index.CaseInsensitive ? 1 : 0);
  return candidate;
}

bool TakesText(const TCandidate& candidate, const std::vector<TSqlColumn>& columns) {
  return candidate.Plan.Column >= 0 &&
         columns[static_cast<std::size_t>(candidate.Plan.Column)].IsText() &&
         (candidate.EqualConstraint >= 0 || candidate.LowerConstraint >= 0 ||
          candidate.UpperConstraint >= 0);
}

// The cost with SQLite's sort added when the walk does not give the order.
double CostWithOrder(const sqlite3_index_info& info, const TCandidate& candidate) {
  if (info.nOrderBy == 0 || candidate.OrderConsumed) return candidate.Cost;
  return candidate.Cost + candidate.Rows * std::log2(candidate.Rows + 1) * 0.5;
}

std::string Describe(const TQueryPlan& plan, TIndexFile& indexes,
                     const std::vector<TSqlColumn>& columns, const isamtool::TTextCodec& codec) {
  std::string text = "physical order";
  if (plan.Slot >= 0) {
    const std::string& name = indexes.Descriptor(plan.Slot).Name;
    text = name.empty() ? "primary index" : "index " + codec.FromTable(name);
  }
  if (plan.Backward) text += " backwards";
  if (plan.Equal >= 0 || plan.Lower >= 0 || plan.Upper >= 0) {
    text += ", " + columns[static_cast<std::size_t>(plan.Column)].Name;
    if (plan.Equal >= 0) text += " =";
    if (plan.Lower >= 0) text += plan.LowerInclusive ? " >=" : " >";
    if (plan.Upper >= 0) text += plan.UpperInclusive ? " <=" : " <";
  }
  if (plan.CountOnly) text += ", counting from the index until a value is read";
  return text;
}

}  // namespace

std::string TQueryPlan::Encode() const {
  char text[128];
  std::snprintf(text, sizeof text, " | %d %d %d %d %d %d %d %d %d %llu", Slot, Backward, CountOnly,
                Column, Equal, Lower, Upper, LowerInclusive, UpperInclusive,
                static_cast<unsigned long long>(UsedColumns));
  return Description + text;
}

std::optional<TQueryPlan> TQueryPlan::Decode(std::string_view text) {
  TQueryPlan plan;
  int backward = 0, count = 0, lowerInclusive = 0, upperInclusive = 0;
  unsigned long long used = 0;
  const std::size_t bar = text.rfind('|');
  if (bar == std::string_view::npos) return std::nullopt;
  const std::string copy(text.substr(bar + 1));
  if (std::sscanf(copy.c_str(), "%d %d %d %d %d %d %d %d %d %llu", &plan.Slot, &backward, &count,
                  &plan.Column, &plan.Equal, &plan.Lower, &plan.Upper, &lowerInclusive,
                  &upperInclusive, &used) != 10) {
    return std::nullopt;
  }
  plan.UsedColumns = used;
  plan.Backward = backward != 0;
  plan.CountOnly = count != 0;
  plan.LowerInclusive = lowerInclusive != 0;
  plan.UpperInclusive = upperInclusive != 0;
  return plan;
}

void ChoosePlan(sqlite3_index_info& info, TDataFile& file, const std::vector<TSqlColumn>& columns,
                const isamtool::TTextCodec& codec) {
  // The count the index file's header held when last read: an estimate, never a range's.
  const double records = std::max(1, file.IndexFile().Header().ActiveRecords);
  TCandidate best;  // physical order
  best.Rows = records;
  best.Cost = records;
  TIndexFile& indexes = file.IndexFile();
  for (int slot = 0; slot <= indexes.SecondaryCount(); ++slot) {
    const TIndexDescriptor& index = indexes.Descriptor(slot);
    if (index.FieldCount == 0 || index.Descending || index.FieldDescending[0]) continue;
    if (slot == 0 && indexes.NoPrimaryIndex()) continue;
    const int column = ColumnOfField(columns, index.FieldNumbers[0]);
    if (column < 0 || !IsComparable(columns[static_cast<std::size_t>(column)])) continue;
    const TCandidate candidate = IndexCandidate(info, slot, index, columns, records);
    // A walk that answers a text condition wins whatever the costs: the condition's meaning
    // (the index's comparison) must not depend on the table's size.
    const bool text = TakesText(candidate, columns), bestText = TakesText(best, columns);
    if (text != bestText ? text : CostWithOrder(info, candidate) < CostWithOrder(info, best)) {
      best = candidate;
    }
  }

  TQueryPlan& plan = best.Plan;
  const bool text = plan.Column >= 0 && columns[static_cast<std::size_t>(plan.Column)].IsText();
  int argument = 0;
  const auto take = [&](int constraint, int& position) {
    if (constraint < 0) return;
    position = argument++;
    info.aConstraintUsage[constraint].argvIndex = position + 1;
    info.aConstraintUsage[constraint].omit = text;
  };
  take(best.EqualConstraint, plan.Equal);
  take(best.LowerConstraint, plan.Lower);
  take(best.UpperConstraint, plan.Upper);
  if (best.LowerConstraint >= 0) {
    plan.LowerInclusive = info.aConstraint[best.LowerConstraint].op == SQLITE_INDEX_CONSTRAINT_GE;
  }
  if (best.UpperConstraint >= 0) {
    plan.UpperInclusive = info.aConstraint[best.UpperConstraint].op == SQLITE_INDEX_CONSTRAINT_LE;
  }
  // When SQLite need read no column but those of the conditions the walk answers, counting the
  // walk's rows may be all it needs (count(*)); the cursor reads records only if asked for a
  // value after all, as colUsed cannot tell a column of the condition from one of the result.
  sqlite3_uint64 answered = 0;
  if (text && argument > 0 && plan.Column < 63) answered = sqlite3_uint64{1} << plan.Column;
  plan.CountOnly = (info.colUsed & ~answered) == 0 && plan.LowerInclusive && plan.UpperInclusive;
  if (plan.CountOnly) best.Cost = std::log2(records + 1);
  plan.UsedColumns = info.colUsed;
  plan.Description = Describe(plan, indexes, columns, codec);
  info.orderByConsumed = best.OrderConsumed;
  if (best.EqualConstraint >= 0 && best.Rows <= 1) info.idxFlags |= SQLITE_INDEX_SCAN_UNIQUE;
  info.estimatedCost = best.Cost;
  info.estimatedRows = static_cast<sqlite3_int64>(best.Rows);
  const std::string encoded = plan.Encode();
  info.idxStr = sqlite3_mprintf("%s", encoded.c_str());
  if (!info.idxStr) throw std::bad_alloc();
  info.needToFreeIdxStr = 1;
}

}  // namespace katalog::sqlite
