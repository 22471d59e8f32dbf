#include "bench/SqlitePeer.h"

#include <stdexcept>

namespace katalog::bench {

namespace {

[[noreturn]] void Fail(sqlite3* db, std::string_view what) {
  throw std::runtime_error("SQLite: " + std::string(what) + ": " +
                           (db ? sqlite3_errmsg(db) : "out of memory"));
}

}  // namespace

TSqliteStatement::TSqliteStatement(sqlite3* db, std::string_view sql) : db_(db) {
  if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr) !=
      SQLITE_OK) {
    Fail(db_, sql);
  }
}

TSqliteStatement::~TSqliteStatement() {
  sqlite3_finalize(statement_);
}

void TSqliteStatement::Check(int rc) const {
  if (rc != SQLITE_OK) Fail(db_, sqlite3_sql(statement_));
}

void TSqliteStatement::Bind(int index, std::int64_t value) {
  Check(sqlite3_bind_int64(statement_, index, value));
}

void TSqliteStatement::Bind(int index, double value) {
  Check(sqlite3_bind_double(statement_, index, value));
}

void TSqliteStatement::Bind(int index, std::string_view value) {
  Check(sqlite3_bind_text(statement_, index, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT));
}

bool TSqliteStatement::Step() {
  const int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Fail(db_, sqlite3_sql(statement_));
}

void TSqliteStatement::Reset() {
  Check(sqlite3_reset(statement_));
}

std::string_view TSqliteStatement::ColumnText(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  if (!text) return {};
  return {text, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
}

TSqliteDatabase::TSqliteDatabase(const std::string& path, bool readOnly) {
  const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    throw std::runtime_error("SQLite: open " + path + ": " + message);
  }
}

TSqliteDatabase::~TSqliteDatabase() {
  sqlite3_close(db_);
}

void TSqliteDatabase::Execute(std::string_view sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error("SQLite: " + std::string(sql) + ": " + message);
  }
}

}  // namespace katalog::bench
