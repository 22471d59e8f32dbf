// TSqlCursor: one walk of a query over the table, as its plan says (QueryPlan.h).
//
// Each row is one version of one record: the record is copied when the walk reaches it, and the
// memos and blobs the query reads are read with it. When another program's change is found while
// they are read (the engine then drops its caches), the row is read again whole holding the
// table's read slots, so that no writer can come in between; a record deleted meanwhile is
// passed over. Another program's change between rows is found as the engine finds it, and the
// walk goes on from its place in the index.
//
// In counting mode (a plan that needs no value) the rows are counted from the index and no
// record is read, unless SQLite asks for a value or a rowid after all: the walk then starts and
// goes to the row SQLite stands on.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sqlite/IndexBounds.h"
#include "sqlite/QueryPlan.h"
#include "sqlite/SqlTable.h"
#include "sqlite/SqliteApi.h"

namespace katalog::sqlite {

class TSqlCursor : public sqlite3_vtab_cursor {
 public:
  explicit TSqlCursor(TSqlTable& table);
  ~TSqlCursor();
  TSqlCursor(const TSqlCursor&) = delete;
  TSqlCursor& operator=(const TSqlCursor&) = delete;

  void Filter(const TQueryPlan& plan, sqlite3_value** arguments);
  void Next();
  bool Eof() const { return eof_; }
  void Column(sqlite3_context* context, int column);
  sqlite3_int64 Rowid();

 private:
  // Moves to the next record that qualifies and reads it; eof_ at the end.
  void Advance();
  // The memos and blobs the query reads, for the record in record_, as one version with it;
  // false when the record is gone.
  bool ReadRow();
  void ReadBlobs();
  // Leaves counting mode: the walk starts and stops on the row SQLite counted to.
  void StartWalking();

  TSqlTable& table_;
  std::unique_ptr<TDataFile> own_;  // a handler of our own, when the table's was lent already
  TDataFile& file_;
  TQueryPlan plan_;
  std::optional<TIndexBounds> bounds_;
  bool rangeSet_ = false;
  std::vector<std::uint8_t> record_;
  // Per column: the contents of a memo or blob read with the row (nullopt: null).
  std::vector<std::optional<std::string>> blobs_;
  std::vector<bool> blobRead_;
  std::string text_;  // where text values are converted to UTF-8
  bool eof_ = true;
  bool counting_ = false;
  std::int64_t counted_ = 0;  // counting mode: the row SQLite stands on, from 0
  std::int64_t total_ = 0;    // counting mode: the rows
};

}  // namespace katalog::sqlite
