// The workloads of catalogue_bench, each on Katalog and on SQLite over the same catalogue
// records (CatalogueData.h). Every function returns the seconds of its timed part and throws
// std::runtime_error when what it saw is wrong, so that a fast wrong answer never counts.
//
// Katalog's table: ID, DE_1, DE_3, DE_4, DE_5, DE_7, DE_9 (strings) and DE_11 (memo), Czech
// locale, primary index on (DE_1, ID), secondary index "ByRegion" on DE_5. SQLite's: places (id
// INTEGER PRIMARY KEY, name, street, city, region, phone, fax, descr) with the indexes by_name
// (name, id) and by_region (region).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace katalog {
class TIsamTable;
}  // namespace katalog

namespace katalog::bench {

struct TCatalogue {
  std::int64_t Count = 0;
  std::string Directory;  // Katalog's table "places" is in it, SQLite's file places.db too
  std::string PeerPath() const { return Directory + "/places.db"; }
};

// What the generated data should give, counted from the records themselves.
struct TExpected {
  std::int64_t FrequentMatches = 0;  // records whose name or memo holds kFrequentWord
  std::string Region;                // the region W4 filters on
  std::int64_t RegionCount = 0;
  std::vector<std::int64_t> Probes;  // 100 000 ids for W6, uniform, fixed seed
  std::vector<std::string> ProbeNames;
  std::vector<std::string> Names;  // W3's memmem baseline: every name …
  std::vector<std::string> Memos;  // … and every memo, in memory
};

TExpected ExpectedOf(std::int64_t count);

// W5: a new table filled with every record (the tables the other workloads read).
double InsertOurs(const TCatalogue& c);
double InsertPeer(const TCatalogue& c);
// Takes the write permission from both sides' files (as on a CD, as the bundled catalogue is
// generated), or gives it back. Katalog reads files without write permission without locks or
// change checks; SQLite opens them read-only as it does any file in these workloads.
void SetWritable(const TCatalogue& c, bool writable);
// W1: open read-only and shared, the first record in index order and the count, close; the mean
// of kOpenRounds rounds.
inline constexpr int kOpenRounds = 20;
double OpenOurs(const TCatalogue& c);
double OpenPeer(const TCatalogue& c);
// W2: every name in index order, through the engine cursor, through TIsamTable, through SQLite.
double BrowseEngine(const TCatalogue& c);
// `atEnd` runs after the last record, before the table or connection closes.
double BrowseTable(const TCatalogue& c, const std::function<void()>& atEnd = {});
double BrowsePeer(const TCatalogue& c, const std::function<void()>& atEnd = {});
// The viewer's search on an open table, timed from setting the filter to its count: the filter
// expression with the main window's record-filter handler, as W3 describes.
double TimeViewerSearch(TIsamTable& table, const std::string& word, std::int64_t expected);
// W3: the viewer's search for a word in names and descriptions, then the count.
double SearchOurs(const TCatalogue& c, const char* word, std::int64_t expected);
double SearchPeer(const TCatalogue& c, const char* word, std::int64_t expected);
double SearchMemory(const TExpected& e, const char* word, std::int64_t expected);
// W4: the equality filter on the region, its count, and walking its records: Katalog in the
// order of the region's index (as SQLite walks them) or in the order of the names (the
// viewer's order, which passes every entry of the name index).
double RegionOurs(const TCatalogue& c, const TExpected& e, bool inRegionOrder);
double RegionPeer(const TCatalogue& c, const TExpected& e);
// W3's and W4's SQL timed on an open connection: the count of `sql` with ?1 bound to the word
// in '%' wildcards; the count of `countSql` and the walk of the names `walkSql` gives, both with
// the region bound (as the database holds its text).
double TimeSqlSearch(sqlite3* db, const std::string& sql, const char* word, std::int64_t expected);
double TimeSqlRegion(sqlite3* db, const std::string& countSql, const std::string& walkSql,
                     std::string_view region, std::int64_t expected);
// S3 and S4: W3 and W4 as SQL on Katalog's table through the SQLite extension, and the same SQL
// on the copy `isamtool export --format sql` makes of it (made once, kept as DIR/export.db).
enum class TSqlSide { Bridge, Copy };
void MakeExportCopy(const TCatalogue& c);
double SqlSearch(const TCatalogue& c, TSqlSide side, const char* word, std::int64_t expected);
double SqlRegion(const TCatalogue& c, TSqlSide side, const TExpected& e);
// W6: the probes found by their primary key (name and id).
double FindOurs(const TCatalogue& c, const TExpected& e);
double FindPeer(const TCatalogue& c, const TExpected& e);
// W8: the catalogue as a CSV file in UTF-8 (places.csv), with isamtool's schema of W5's table and
// the sqlite3 shell's script for it; then imported by `isamtool create` + `isamtool import`
// (both indexes kept up while importing, as isamtool does), and by the sqlite3 shell's
// `.import` into W5's SQLite table followed by creating its two indexes.
void WriteImportFiles(const TCatalogue& c);
double ImportOurs(const TCatalogue& c);
double ImportPeer(const TCatalogue& c);
// The viewer on N entries that data/generate.py wrote (made once in DIR/viewer, kept like the
// tables): the whole program run with --screenshot on its first section, from start to exit; and
// its word search there, exactly as W3, against memmem over the same texts in memory, cut and
// folded as the search compares them.
struct TViewerExpected {
  std::int64_t Entries = 0;
  std::int64_t Matches = 0;
  std::vector<std::string> Texts;  // per entry: the description, a line feed, the name
};
inline constexpr const char* kViewerWord = "kapr";
void MakeViewerCatalogue(const TCatalogue& c);
TViewerExpected ViewerExpectedOf(const TCatalogue& c, const std::string& word);
double ViewerFirstPaint(const TCatalogue& c);
double ViewerSearch(const TCatalogue& c, const TViewerExpected& e, const std::string& word);
double ViewerSearchMemory(const TViewerExpected& e, const std::string& word);
// W7: the private memory in KiB (resident and not backed by a file) that a fresh process holds
// after browsing every record, before it closes the table ("ours", "sqlite"), or after it only
// starts ("none"). Pages of a mapped table file are the system's file cache, shared with every
// process reading the file, as the pages SQLite reads with read() are: neither is counted.
long PrivateMemory(const TCatalogue& c, const std::string& side, const std::string& self);
// The child's side of PrivateMemory.
int BrowseForMemory(const std::string& side, const std::string& directory, std::int64_t count);

}  // namespace katalog::bench
