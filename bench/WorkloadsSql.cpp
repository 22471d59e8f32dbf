// S3 and S4: the viewer's search (W3) and the region filter (W4) written as SQL, the same
// statements run through the SQLite extension on Katalog's table and on the copy that isamtool's
// SQL export makes of it. Both have the table "places" with the fields as columns and the same
// indexes (the primary key DE_1, ID and ByRegion on DE_5).
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench/Measure.h"
#include "bench/SqlitePeer.h"
#include "bench/Workloads.h"
#include "platform/CodePage.h"

namespace katalog::bench {

namespace {

std::string ExportPath(const TCatalogue& c) {
  return c.Directory + "/export.db";
}

// The statements' database: the extension's virtual table over Katalog's table in memory, or
// the exported copy read-only.
std::unique_ptr<TSqliteDatabase> Open(const TCatalogue& c, TSqlSide side) {
  if (side == TSqlSide::Copy) return std::make_unique<TSqliteDatabase>(ExportPath(c), true);
  auto db = std::make_unique<TSqliteDatabase>(":memory:");
  sqlite3_enable_load_extension(db->Handle(), 1);
  char* error = nullptr;
  if (sqlite3_load_extension(db->Handle(), KATALOG_SQLITE, nullptr, &error) != SQLITE_OK) {
    const std::string message = error ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error("loading the extension: " + message);
  }
  db->Execute("CREATE VIRTUAL TABLE places USING katalog(" + Quoted(c.Directory + "/places") + ")");
  return db;
}

}  // namespace

void MakeExportCopy(const TCatalogue& c) {
  if (std::filesystem::exists(ExportPath(c))) return;
  const std::string partial = ExportPath(c) + ".partial";
  std::filesystem::remove(partial);
  RunCommand(std::string(Quoted(KATALOG_ISAMTOOL)) + " export " + Quoted(c.Directory + "/places") +
             " --format sql --quiet | " + Quoted(KATALOG_SQLITE3_SHELL) + " " + Quoted(partial));
  std::filesystem::rename(partial, ExportPath(c));
}

double SqlSearch(const TCatalogue& c, TSqlSide side, const char* word, std::int64_t expected) {
  const auto db = Open(c, side);
  return TimeSqlSearch(db->Handle(),
                       "SELECT count(*) FROM places WHERE DE_11 LIKE ?1 OR DE_1 LIKE ?1", word,
                       expected);
}

double SqlRegion(const TCatalogue& c, TSqlSide side, const TExpected& e) {
  const auto db = Open(c, side);
  // The records' text is in code page 1250; SQL has it in UTF-8 on both sides.
  std::string region;
  region.resize(platform::CodePage(1250).ToUtf8(e.Region, region));
  return TimeSqlRegion(db->Handle(), "SELECT count(*) FROM places WHERE DE_5 = ?",
                       "SELECT DE_1 FROM places WHERE DE_5 = ?", region, e.RegionCount);
}

}  // namespace katalog::bench
