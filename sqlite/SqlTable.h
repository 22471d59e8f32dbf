// TSqlTable: one virtual table of the "katalog" module, over one table opened read-only and
// shared, as any other program opens it:
//
//   CREATE VIRTUAL TABLE places USING katalog('/path/to/RESTAURACE', password='...')
//
// The first argument is the table's path (with or without ".DAT"); `password` names the
// password of an enciphered table. Values may be quoted as SQL strings.
//
// Owns the open table, which gives the columns and the plans, and which the first cursor reads
// through; further cursors open at the same time read through a second handler each.
// Invariants: the table is open while the object lives; Columns() point into its descriptors.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sqlite/SqlColumns.h"
#include "sqlite/SqliteApi.h"
#include "tools/isamtool/Encoding.h"

namespace katalog {
class TDataFile;
}

namespace katalog::sqlite {

class TSqlTable : public sqlite3_vtab {
 public:
  // Opens the table the module's arguments name (argv of xCreate / xConnect). Raises the
  // engine's error, or std::runtime_error for arguments that do not read.
  TSqlTable(int argc, const char* const* argv);
  ~TSqlTable();
  TSqlTable(const TSqlTable&) = delete;
  TSqlTable& operator=(const TSqlTable&) = delete;

  const std::vector<TSqlColumn>& Columns() const { return columns_; }
  const isamtool::TTextCodec& Codec() const { return *codec_; }
  std::string Declaration() const { return DeclarationOf(columns_); }
  void BestIndex(sqlite3_index_info& info);

  // A handler for a cursor: the table's own when no cursor has it, else a new one, kept in
  // `own`. Given back with Release.
  TDataFile& Lend(std::unique_ptr<TDataFile>& own);
  void Release(const TDataFile& file);

 private:
  std::unique_ptr<TDataFile> file_;
  bool lent_ = false;
  std::optional<isamtool::TTextCodec> codec_;
  std::vector<TSqlColumn> columns_;
};

}  // namespace katalog::sqlite
