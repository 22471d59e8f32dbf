// A SQLite connection for the tests: the extension loaded, statements run, rows as text.
#pragma once

#include <sqlite3.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace katalog::testing {

using TRow = std::vector<std::string>;

class TSqlConnection {
 public:
  TSqlConnection() {
    if (sqlite3_open(":memory:", &db_) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
    sqlite3_enable_load_extension(db_, 1);
    char* error = nullptr;
    if (sqlite3_load_extension(db_, KATALOG_SQLITE, nullptr, &error) != SQLITE_OK) {
      const std::string message = error ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error("loading the extension: " + message);
    }
  }
  ~TSqlConnection() { sqlite3_close_v2(db_); }
  TSqlConnection(const TSqlConnection&) = delete;
  TSqlConnection& operator=(const TSqlConnection&) = delete;

  sqlite3* Handle() const { return db_; }

  // Runs the statements; the error message (empty on success).
  std::string Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return {};
    std::string message = error ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    return message.empty() ? "failed" : message;
  }

  // The rows of a query, each value as "TYPE:text" (blobs in hex); throws with SQLite's message.
  std::vector<TRow> Query(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sqlite3_errmsg(db_) + std::string(" in ") + sql);
    }
    std::vector<TRow> rows;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
      TRow row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) row.push_back(Value(statement, i));
      rows.push_back(std::move(row));
    }
    const std::string message = sqlite3_errmsg(db_);
    sqlite3_finalize(statement);
    if (step != SQLITE_DONE) throw std::runtime_error(message + " in " + sql);
    return rows;
  }

  // The first value of the first row, as text without its type.
  std::string Scalar(const std::string& sql) {
    const std::vector<TRow> rows = Query(sql);
    if (rows.empty() || rows[0].empty()) return "";
    return rows[0][0].substr(rows[0][0].find(':') + 1);
  }

 private:
  static std::string Value(sqlite3_stmt* statement, int i) {
    switch (sqlite3_column_type(statement, i)) {
      case SQLITE_NULL:
        return "NULL:";
      case SQLITE_INTEGER:
        return "INTEGER:" + std::to_string(sqlite3_column_int64(statement, i));
      case SQLITE_FLOAT: {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", sqlite3_column_double(statement, i));
        return std::string("REAL:") + text;
      }
      case SQLITE_BLOB: {
        const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(statement, i));
        std::string hex = "BLOB:";
        for (int k = 0; k < sqlite3_column_bytes(statement, i); ++k) {
          char pair[3];
          std::snprintf(pair, sizeof pair, "%02X", bytes[k]);
          hex += pair;
        }
        return hex;
      }
      default:
        return "TEXT:" +
               std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, i)),
                           static_cast<std::size_t>(sqlite3_column_bytes(statement, i)));
    }
  }

  sqlite3* db_ = nullptr;
};

}  // namespace katalog::testing
