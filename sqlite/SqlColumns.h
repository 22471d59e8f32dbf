// A table's fields as the columns of an SQLite virtual table, and their values as SQLite values:
//
//   field type                            SQLite type and value
//   string                                TEXT: UTF-8 from the table's code page; the engine
//                                         keeps no empty text, so '' never comes back: NULL does
//   memo, formatted memo                  TEXT, as strings
//   smallint, integer, word, longword,    INTEGER
//   autoincrement
//   boolean                               INTEGER 0 or 1
//   float, currency                       REAL (NaN is NULL)
//   BCD                                   NUMERIC, the stored decimal kept exact: a whole amount
//                                         is an INTEGER; an amount with decimals is a REAL when
//                                         its decimal has at most 15 significant digits (the
//                                         REAL then reads and prints back as that decimal),
//                                         else the exact decimal as TEXT
//   date, time, date-time                 TEXT: YYYY-MM-DD, HH:MM:SS[.mmm],
//                                         YYYY-MM-DD HH:MM:SS[.mmm]
//   bytes, varbytes (without its length), BLOB
//   blob, graphic, typed binary
//   a null field                          NULL
//
// These are the values the table's own SQL export stores in SQLite (isamtool export --format
// sql), so a query gives the same rows on the table and on such a copy. Fields of other types
// are left out.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/storage/FieldDescriptor.h"
#include "engine/storage/RecordCodec.h"
#include "sqlite/SqliteApi.h"
#include "tools/isamtool/Encoding.h"

namespace katalog {
class TDataFile;
}

namespace katalog::sqlite {

enum class TColumnKind {
  Text,
  Memo,
  Integer,
  Boolean,
  Real,
  Bcd,
  Date,
  Time,
  DateTime,
  Bytes,
  VarBytes,
  Blob
};

struct TSqlColumn {
  const TFieldDescriptor* Field = nullptr;  // the open table's descriptor
  TColumnKind Kind = TColumnKind::Text;
  std::string Name;  // UTF-8

  // Memos and blobs: kept in the blob file, read with their own request.
  bool InBlobFile() const { return Kind == TColumnKind::Memo || Kind == TColumnKind::Blob; }
  bool IsText() const { return Kind == TColumnKind::Text || Kind == TColumnKind::Memo; }
};

// The columns of the open table's physical fields, in field order. Field names converted from
// the table's code page; a name met before (SQLite folds ASCII case) gets "_1", "_2", ... as the
// table component names it.
std::vector<TSqlColumn> ColumnsOf(const TDataFile& file, const isamtool::TTextCodec& codec);

// "CREATE TABLE x(...)" for sqlite3_declare_vtab.
std::string DeclarationOf(const std::vector<TSqlColumn>& columns);

// Sets the SQLite result to the column's value in the record (a field kept in the record).
// `buffer` is where text is converted, kept by the caller for the next value.
void SetResult(sqlite3_context* context, const TSqlColumn& column, const TFieldValue& value,
               const isamtool::TTextCodec& codec, std::string& buffer);
// Sets the SQLite result to a memo's or blob's contents; nullopt is NULL.
void SetBlobResult(sqlite3_context* context, const TSqlColumn& column,
                   const std::optional<std::string>& contents, const isamtool::TTextCodec& codec,
                   std::string& buffer);

}  // namespace katalog::sqlite
