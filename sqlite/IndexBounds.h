// The part of an index a plan's bounds select, as the engine's range keys, made from the values
// SQLite hands to xFilter.
//
// A text bound is compared as the index compares (the table's locale, the index's case rule), and
// the range is exactly the rows that qualify: nulls (and so empty texts) never do, a value longer
// than the field can hold or with trailing blanks (the engine keeps none) is cut to the stored
// form (= then finds nothing; > and >= go past the cut value, < and <= include it), and an
// exclusive bound leaves out the rows equal to it (Excluded).
// Any other bound only narrows: its range holds every row that SQLite's own comparison lets
// through (a value that is not of the field's kind, such as a date in another form, narrows
// nothing), and SQLite checks the rows itself.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/index/Keys.h"
#include "sqlite/QueryPlan.h"
#include "sqlite/SqlColumns.h"
#include "sqlite/SqliteApi.h"

namespace katalog {
class TDataFile;
}

namespace katalog::sqlite {

class TIndexBounds {
 public:
  // The bounds of the plan on the open table; `codec` turns text into the table's code page.
  // Raises std::runtime_error for a text bound the table's code page cannot hold.
  TIndexBounds(TDataFile& file, const TQueryPlan& plan, const TSqlColumn& column,
               sqlite3_value** arguments, const isamtool::TTextCodec& codec);

  // No row can qualify: the engine need not be asked.
  bool Empty() const { return empty_; }
  // The range keys (full keys, both ends included); empty vectors when nothing narrows.
  const std::vector<std::uint8_t>& Start() const { return start_; }
  const std::vector<std::uint8_t>& End() const { return end_; }
  // Whether every row of the range qualifies, without looking at it.
  bool Exact() const { return excluded_.empty(); }
  // Whether the record (as the table lays it out) qualifies: in the range and equal to no
  // exclusive bound. For rows the walk gives this only matters when !Exact(), or after the
  // record was read again.
  bool Admits(const std::uint8_t* record) const;

 private:
  enum class TSide { Equal, Lower, Upper };
  // The key of the record holding the value of the bound's side in the field, or nothing when
  // that side does not narrow; sets empty_ when no row can qualify.
  std::vector<std::uint8_t> BoundKey(TSide side, sqlite3_value* value, bool& inclusive);
  std::vector<std::uint8_t> TextKey(TSide side, sqlite3_value* value, bool& inclusive);
  std::vector<std::uint8_t> KeyOf(const TFieldValue& value);
  std::vector<std::uint8_t> NarrowingKey(TSide side, sqlite3_value* value);
  std::vector<std::uint8_t> BcdKey(bool lower, sqlite3_value* value);

  TDataFile& file_;
  const TSqlColumn& column_;
  const isamtool::TTextCodec& codec_;
  TKeyContext context_;
  int fieldSlotLength_ = 0;  // presence byte and value of the first field in a key
  bool empty_ = false;
  std::vector<std::uint8_t> start_, end_;
  std::vector<std::vector<std::uint8_t>> excluded_;
  mutable std::vector<std::uint8_t> rowKey_;
};

}  // namespace katalog::sqlite
