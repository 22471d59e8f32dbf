// The extension's entry point and the "katalog" module's methods. Every method runs under one
// process-wide lock (the engine keeps its sessions and error context per process) and turns any
// exception into an SQLite error carrying its message: nothing thrown ever reaches SQLite's C
// code, and a damaged table fails the statement, not the program.
//
//   .load libkatalog_sqlite
//   CREATE VIRTUAL TABLE places USING katalog('/path/to/RESTAURACE', password='...');
//
// The tables are read-only (the module has no xUpdate) and may be used only directly in
// statements, not from triggers or views, as they read files the schema names.
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "dataset/DatabaseError.h"
#include "engine/storage/IsamError.h"
#include "sqlite/QueryPlan.h"
#include "sqlite/SqlCursor.h"
#include "sqlite/SqlTable.h"

SQLITE_EXTENSION_INIT1

namespace katalog::sqlite {

namespace {

std::recursive_mutex& EngineLock() {
  static std::recursive_mutex lock;
  return lock;
}

// Sets `*to` to the message of the exception being handled, in UTF-8 (the engine's and the data
// set's texts are in code page 1250, the extension's own in UTF-8), and returns the SQLite
// result code that goes with it. Never throws: without memory for the message, SQLITE_NOMEM.
int Describe(char** to) noexcept {
  int code = SQLITE_ERROR;
  std::string message;
  try {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      code = SQLITE_NOMEM;
      message = "out of memory";
    } catch (const EDatabaseError& e) {
      if (const auto* engine = dynamic_cast<const EIsamEngineError*>(&e)) {
        if (engine->ErrorCode() == ie::kLockFailure) code = SQLITE_BUSY;
      }
      message = isamtool::Utf8Of(e.what(), isamtool::TEncoding::Cp1250);
    } catch (const std::exception& e) {
      message = e.what();
    } catch (...) {
      message = "unknown failure";
    }
  } catch (...) {
    code = SQLITE_NOMEM;
    message.clear();
  }
  sqlite3_free(*to);
  *to = sqlite3_mprintf("katalog: %s", message.c_str());
  return *to ? code : SQLITE_NOMEM;
}

// Runs `body` for a method of the table `vtab`: SQLITE_OK, or the error with its message.
template <class F>
int Guarded(sqlite3_vtab* vtab, F&& body) {
  std::lock_guard lock(EngineLock());
  try {
    body();
    return SQLITE_OK;
  } catch (...) {
    return Describe(&vtab->zErrMsg);
  }
}

TSqlTable& TableOf(sqlite3_vtab* vtab) {
  return *static_cast<TSqlTable*>(vtab);
}
TSqlCursor& CursorOf(sqlite3_vtab_cursor* cursor) {
  return *static_cast<TSqlCursor*>(cursor);
}

int Connect(sqlite3* db, void* /*aux*/, int argc, const char* const* argv, sqlite3_vtab** vtab,
            char** error) {
  std::lock_guard lock(EngineLock());
  try {
    auto table = std::make_unique<TSqlTable>(argc, argv);
    const int declared = sqlite3_declare_vtab(db, table->Declaration().c_str());
    if (declared != SQLITE_OK) return declared;
    sqlite3_vtab_config(db, SQLITE_VTAB_DIRECTONLY);
    *vtab = table.release();
    return SQLITE_OK;
  } catch (...) {
    return Describe(error);
  }
}

int Disconnect(sqlite3_vtab* vtab) {
  std::lock_guard lock(EngineLock());
  delete &TableOf(vtab);
  return SQLITE_OK;
}

int BestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
  return Guarded(vtab, [&] { TableOf(vtab).BestIndex(*info); });
}

int Open(sqlite3_vtab* vtab, sqlite3_vtab_cursor** cursor) {
  return Guarded(vtab, [&] { *cursor = new TSqlCursor(TableOf(vtab)); });
}

int Close(sqlite3_vtab_cursor* cursor) {
  std::lock_guard lock(EngineLock());
  delete &CursorOf(cursor);
  return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* cursor, int /*idxNum*/, const char* idxStr, int /*argc*/,
           sqlite3_value** argv) {
  return Guarded(cursor->pVtab, [&] {
    const std::optional<TQueryPlan> plan = TQueryPlan::Decode(idxStr ? idxStr : "");
    if (!plan) throw std::runtime_error("a query plan this module did not make");
    CursorOf(cursor).Filter(*plan, argv);
  });
}

int Next(sqlite3_vtab_cursor* cursor) {
  return Guarded(cursor->pVtab, [&] { CursorOf(cursor).Next(); });
}

int Eof(sqlite3_vtab_cursor* cursor) {
  return CursorOf(cursor).Eof();
}

int Column(sqlite3_vtab_cursor* cursor, sqlite3_context* context, int column) {
  return Guarded(cursor->pVtab, [&] { CursorOf(cursor).Column(context, column); });
}

int Rowid(sqlite3_vtab_cursor* cursor, sqlite3_int64* rowid) {
  return Guarded(cursor->pVtab, [&] { *rowid = CursorOf(cursor).Rowid(); });
}

const sqlite3_module kModule = {
    /* iVersion */ 0,
    /* xCreate */ Connect,
    /* xConnect */ Connect,
    /* xBestIndex */ BestIndex,
    /* xDisconnect */ Disconnect,
    /* xDestroy */ Disconnect,
    /* xOpen */ Open,
    /* xClose */ Close,
    /* xFilter */ Filter,
    /* xNext */ Next,
    /* xEof */ Eof,
    /* xColumn */ Column,
    /* xRowid */ Rowid,
    /* xUpdate */ nullptr,
    /* xBegin */ nullptr,
    /* xSync */ nullptr,
    /* xCommit */ nullptr,
    /* xRollback */ nullptr,
    /* xFindFunction */ nullptr,
    /* xRename */ nullptr,
    /* xSavepoint */ nullptr,
    /* xRelease */ nullptr,
    /* xRollbackTo */ nullptr,
    /* xShadowName */ nullptr,
};

}  // namespace

}  // namespace katalog::sqlite

// The name SQLite looks for when loading "libkatalog_sqlite" without naming an entry point.
extern "C" __attribute__((visibility("default"))) int sqlite3_katalogsqlite_init(
    sqlite3* db, char** error, const sqlite3_api_routines* api) {
  SQLITE_EXTENSION_INIT2(api);
  // The module asks SQLite what older libraries cannot answer (sqlite3_vtab_distinct).
  if (sqlite3_libversion_number() < 3038000) {
    *error = sqlite3_mprintf("katalog: needs SQLite 3.38 or later, not %s", sqlite3_libversion());
    return SQLITE_ERROR;
  }
  return sqlite3_create_module(db, "katalog", &katalog::sqlite::kModule, nullptr);
}
