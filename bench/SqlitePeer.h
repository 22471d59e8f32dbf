// The SQLite side of the benchmarks: a database connection and prepared statements, thin enough
// that what is measured is SQLite's own work. Every failure throws std::runtime_error with
// SQLite's message.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace katalog::bench {

class TSqliteStatement {
 public:
  TSqliteStatement(sqlite3* db, std::string_view sql);
  ~TSqliteStatement();
  TSqliteStatement(const TSqliteStatement&) = delete;
  TSqliteStatement& operator=(const TSqliteStatement&) = delete;

  void Bind(int index, std::int64_t value);
  void Bind(int index, double value);
  // The text is copied by SQLite when bound.
  void Bind(int index, std::string_view value);
  // True while there is a row, false when done; throws on an error.
  bool Step();
  // Ready for the next binding and step.
  void Reset();

  std::int64_t ColumnInt(int column) const { return sqlite3_column_int64(statement_, column); }
  double ColumnDouble(int column) const { return sqlite3_column_double(statement_, column); }
  std::string_view ColumnText(int column) const;

 private:
  void Check(int rc) const;

  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

class TSqliteDatabase {
 public:
  // Opens (creating when missing) the database file; read-only opens an existing one for
  // reading only.
  explicit TSqliteDatabase(const std::string& path, bool readOnly = false);
  ~TSqliteDatabase();
  TSqliteDatabase(const TSqliteDatabase&) = delete;
  TSqliteDatabase& operator=(const TSqliteDatabase&) = delete;

  void Execute(std::string_view sql);
  sqlite3* Handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace katalog::bench
