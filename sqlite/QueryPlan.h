// How a query reads the table: chosen when SQLite asks (xBestIndex), carried to the cursor as
// the plan's text (idxStr) and read back there (xFilter).
//
// A plan walks physical order, or one index forwards or backwards, optionally within bounds on
// the index's first field:
//   - equality and ranges (=, <, <=, >, >=) on the first field of an index narrow the walk to
//     that index's range;
//   - an ORDER BY that the index's fields give, all ascending or all descending, is left to the
//     walk, and SQLite does not sort;
//   - when the query needs no column at all (count(*)) and every condition was taken by the
//     index, the rows are counted from the index's counts, without reading a record.
// Comparisons with text bounds and the order of text fields follow the index: the table's
// locale, and its case rule; SQLite does not check those conditions again. A plan that answers
// such a comparison is always preferred over one that answers none, so that its meaning does
// not depend on the table's size; when several indexes could answer text comparisons, the one
// the plan takes answers its own and SQLite compares the others (EXPLAIN QUERY PLAN names it).
// A comparison is answered only when its value is known as the walk starts (a constant, a
// parameter, a column of a table joined before). Bounds on other
// fields only narrow the walk: SQLite still checks each row with its own comparison, so their
// meaning stays SQLite's whatever the value's type. Everything else SQLite does itself on the
// rows the walk gives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sqlite/SqlColumns.h"
#include "sqlite/SqliteApi.h"

namespace katalog {
class TDataFile;
}

namespace katalog::sqlite {

struct TQueryPlan {
  int Slot = -1;  // an index slot; -1: physical order
  bool Backward = false;
  bool CountOnly = false;
  int Column = -1;  // the column of the index's first field, which the bounds apply to
  // The bounds: the position of their value among xFilter's arguments, -1 for none.
  int Equal = -1;
  int Lower = -1;
  int Upper = -1;
  bool LowerInclusive = true;
  bool UpperInclusive = true;
  // The columns the query reads, as SQLite's colUsed: bit i for column i, bit 63 for any
  // column from 63 on. The cursor reads memos and blobs among them with each row.
  std::uint64_t UsedColumns = 0;

  bool Uses(int column) const { return (UsedColumns >> (column < 63 ? column : 63) & 1) != 0; }

  // What the plan does, in words, for EXPLAIN QUERY PLAN: "index ByRegion, DE_5 =, counting
  // from the index until a value is read". Not read back.
  std::string Description;

  // The description, then the plan's numbers.
  std::string Encode() const;
  // nullopt for a text that no plan wrote.
  static std::optional<TQueryPlan> Decode(std::string_view text);
};

// Chooses the plan for what SQLite offers in `info` and fills the answer into it: which
// constraints come to xFilter (argvIndex, omit), whether the order is consumed, the cost and row
// estimate, and the plan's text (index names converted with `codec`).
void ChoosePlan(sqlite3_index_info& info, TDataFile& file, const std::vector<TSqlColumn>& columns,
                const isamtool::TTextCodec& codec);

}  // namespace katalog::sqlite
