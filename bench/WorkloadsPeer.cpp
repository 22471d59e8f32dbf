// The SQLite side of the workloads, and the peak-memory measurement of both sides.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "bench/CatalogueData.h"
#include "bench/Measure.h"
#include "bench/SqlitePeer.h"
#include "bench/Workloads.h"
#include "dataset/Field.h"
#include "engine/components/IsamTable.h"

namespace katalog::bench {
double InsertPeer(const TCatalogue& c) {
  if (std::filesystem::exists(c.PeerPath())) SetWritable(c, true);
  std::filesystem::remove(c.PeerPath());
  TSqliteDatabase db(c.PeerPath());
  db.Execute("PRAGMA journal_mode=OFF");
  db.Execute("PRAGMA synchronous=OFF");
  db.Execute(
      "CREATE TABLE places (id INTEGER PRIMARY KEY, name TEXT, street TEXT, city TEXT, "
      "region TEXT, phone TEXT, fax TEXT, descr TEXT)");
  db.Execute("CREATE INDEX by_name ON places (name, id)");
  db.Execute("CREATE INDEX by_region ON places (region)");
  const TClock::time_point start = TClock::now();
  {
    TSqliteStatement insert(db.Handle(), "INSERT INTO places VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    db.Execute("BEGIN");
    for (std::int64_t id = 1; id <= c.Count; ++id) {
      const TPlace place = PlaceOf(id);
      insert.Bind(1, id);
      insert.Bind(2, std::string_view(place.Name));
      insert.Bind(3, std::string_view(place.Street));
      insert.Bind(4, std::string_view(place.City));
      insert.Bind(5, std::string_view(place.Region));
      insert.Bind(6, std::string_view(place.Phone));
      insert.Bind(7, std::string_view(place.Fax));
      insert.Bind(8, std::string_view(place.Memo));
      insert.Step();
      insert.Reset();
    }
    db.Execute("COMMIT");
  }
  return SecondsSince(start);  // closing follows with the destructor; it writes nothing more
}

void SetWritable(const TCatalogue& c, bool writable) {
  namespace fs = std::filesystem;
  for (const char* name : {"places.DAT", "places.IDX", "places.BLB", "places.db"}) {
    fs::permissions(c.Directory + "/" + name, fs::perms::owner_write | fs::perms::group_write,
                    writable ? fs::perm_options::add : fs::perm_options::remove);
  }
}

double OpenPeer(const TCatalogue& c) {
  const TClock::time_point start = TClock::now();
  for (int round = 0; round < kOpenRounds; ++round) {
    TSqliteDatabase db(c.PeerPath(), true);
    TSqliteStatement count(db.Handle(), "SELECT count(*) FROM places");
    Expect(count.Step() && count.ColumnInt(0) == c.Count, "record count");
    TSqliteStatement first(db.Handle(), "SELECT * FROM places ORDER BY name, id LIMIT 1");
    Expect(first.Step() && !first.ColumnText(1).empty(), "first name");
  }
  return SecondsSince(start) / kOpenRounds;
}

double BrowsePeer(const TCatalogue& c, const std::function<void()>& atEnd) {
  TSqliteDatabase db(c.PeerPath(), true);
  TSqliteStatement names(db.Handle(), "SELECT name FROM places ORDER BY name, id");
  std::int64_t seen = 0;
  std::size_t bytes = 0;
  const TClock::time_point start = TClock::now();
  while (names.Step()) {
    bytes += names.ColumnText(0).size();
    ++seen;
  }
  const double seconds = SecondsSince(start);
  if (atEnd) atEnd();
  Expect(seen == c.Count && bytes > 0, "rows browsed");
  return seconds;
}

double TimeSqlSearch(sqlite3* db, const std::string& sql, const char* word, std::int64_t expected) {
  const TClock::time_point start = TClock::now();
  TSqliteStatement count(db, sql);
  count.Bind(1, "%" + std::string(word) + "%");
  Expect(count.Step() && count.ColumnInt(0) == expected, "search count");
  return SecondsSince(start);
}

double SearchPeer(const TCatalogue& c, const char* word, std::int64_t expected) {
  TSqliteDatabase db(c.PeerPath(), true);
  return TimeSqlSearch(db.Handle(),
                       "SELECT count(*) FROM places WHERE descr LIKE ?1 OR name LIKE ?1", word,
                       expected);
}

double TimeSqlRegion(sqlite3* db, const std::string& countSql, const std::string& walkSql,
                     std::string_view region, std::int64_t expected) {
  std::int64_t walked = 0;
  const TClock::time_point start = TClock::now();
  TSqliteStatement count(db, countSql);
  count.Bind(1, region);
  Expect(count.Step() && count.ColumnInt(0) == expected, "region count");
  TSqliteStatement rows(db, walkSql);
  rows.Bind(1, region);
  while (rows.Step()) walked += !rows.ColumnText(0).empty();
  const double seconds = SecondsSince(start);
  Expect(walked == expected, "region rows");
  return seconds;
}

double RegionPeer(const TCatalogue& c, const TExpected& e) {
  TSqliteDatabase db(c.PeerPath(), true);
  return TimeSqlRegion(db.Handle(), "SELECT count(*) FROM places WHERE region = ?",
                       "SELECT name FROM places WHERE region = ?", e.Region, e.RegionCount);
}

double FindPeer(const TCatalogue& c, const TExpected& e) {
  TSqliteDatabase db(c.PeerPath(), true);
  TSqliteStatement find(db.Handle(), "SELECT * FROM places WHERE name = ? AND id = ?");
  std::int64_t found = 0;
  const TClock::time_point start = TClock::now();
  for (std::size_t i = 0; i < e.Probes.size(); ++i) {
    find.Bind(1, std::string_view(e.ProbeNames[i]));
    find.Bind(2, e.Probes[i]);
    found += find.Step() && find.ColumnInt(0) == e.Probes[i];
    find.Reset();
  }
  const double seconds = SecondsSince(start);
  Expect(found == static_cast<std::int64_t>(e.Probes.size()), "rows found by key");
  return seconds;
}

// The child measures itself: the parent's accounting of a child would include the parent's
// pages that the child shared until it started the program again.
long PrivateMemory(const TCatalogue& c, const std::string& side, const std::string& self) {
  std::fflush(nullptr);
  const std::string command =
      "'" + self + "' --memory " + side + " '" + c.Directory + "' " + std::to_string(c.Count);
  FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) throw std::runtime_error("cannot start " + command);
  long kib = -1;
  const int read = std::fscanf(child, "%ld", &kib);
  if (pclose(child) != 0 || read != 1 || kib < 0)
    throw std::runtime_error("the browsing process for " + side + " failed");
  return kib;
}

namespace {

long PrivateMemoryKib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("RssAnon:", 0) == 0) return std::strtol(line.c_str() + 8, nullptr, 10);
  }
  return -1;
}

}  // namespace

int BrowseForMemory(const std::string& side, const std::string& directory, std::int64_t count) {
  const TCatalogue c{count, directory};
  long kib = -1;
  const auto measure = [&kib] { kib = PrivateMemoryKib(); };
  if (side == "ours") {
    BrowseTable(c, measure);
  } else if (side == "sqlite") {
    BrowsePeer(c, measure);
  } else if (side == "none") {
    measure();
  } else {
    return 2;
  }
  if (kib < 0) return 1;
  std::printf("%ld\n", kib);
  return 0;
}

}  // namespace katalog::bench
