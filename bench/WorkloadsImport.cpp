// W8 on both sides: the catalogue as a CSV file imported by the programs a user runs, isamtool
// and the sqlite3 shell, each as its own process, timed from start to exit.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "bench/CatalogueData.h"
#include "bench/Measure.h"
#include "bench/SqlitePeer.h"
#include "bench/Workloads.h"
#include "engine/components/IsamTable.h"
#include "platform/CodePage.h"
#include "platform/Utf8.h"

namespace katalog::bench {
namespace {

// The catalogue's table as isamtool creates it: the fields and both indexes of W5's table.
constexpr const char* kSchema = R"({"locale": 1029,
 "fields": [{"name": "ID", "type": "integer"},
            {"name": "DE_1", "type": "string", "size": 60},
            {"name": "DE_3", "type": "string", "size": 60},
            {"name": "DE_4", "type": "string", "size": 60},
            {"name": "DE_5", "type": "string", "size": 60},
            {"name": "DE_7", "type": "string", "size": 30},
            {"name": "DE_9", "type": "string", "size": 30},
            {"name": "DE_11", "type": "memo"}],
 "primaryIndex": {"fields": ["DE_1", "ID"]},
 "indexes": [{"name": "ByRegion", "fields": ["DE_5"]}]}
)";

// W5's SQLite table filled by the shell's .import, the indexes made afterwards.
std::string PeerScript(const std::string& csv) {
  return "PRAGMA journal_mode=OFF;\n"
         "PRAGMA synchronous=OFF;\n"
         "CREATE TABLE places (id INTEGER PRIMARY KEY, name TEXT, street TEXT, city TEXT, "
         "region TEXT, phone TEXT, fax TEXT, descr TEXT);\n"
         ".import --csv --skip 1 '" +
         csv +
         "' places\n"
         "CREATE INDEX by_name ON places (name, id);\n"
         "CREATE INDEX by_region ON places (region);\n";
}

std::string CsvPath(const TCatalogue& c) {
  return c.Directory + "/places.csv";
}
std::string ImportedTable(const TCatalogue& c) {
  return c.Directory + "/imported";
}
std::string ImportedPeer(const TCatalogue& c) {
  return c.Directory + "/imported.db";
}

void RemoveImportedTable(const TCatalogue& c) {
  for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
    std::filesystem::remove(ImportedTable(c) + extension);
  }
}

// A text field in double quotes, quotes inside doubled, converted from code page 1250 to UTF-8.
void AppendField(std::string& line, const std::string& text) {
  static const platform::TCodePage& page = platform::CodePage(1250);
  line += '"';
  for (const char c : platform::Utf16ToUtf8(page.ToUtf16(text))) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

}  // namespace

void WriteImportFiles(const TCatalogue& c) {
  std::ofstream(c.Directory + "/places.schema.json", std::ios::trunc) << kSchema;
  std::ofstream(c.Directory + "/import.sql", std::ios::trunc) << PeerScript(CsvPath(c));
  std::ofstream csv(CsvPath(c), std::ios::trunc | std::ios::binary);
  csv << "ID,DE_1,DE_3,DE_4,DE_5,DE_7,DE_9,DE_11\n";
  std::string line;
  for (std::int64_t id = 1; id <= c.Count; ++id) {
    const TPlace place = PlaceOf(id);
    line = std::to_string(id);
    for (const std::string* text : {&place.Name, &place.Street, &place.City, &place.Region,
                                    &place.Phone, &place.Fax, &place.Memo}) {
      line += ',';
      AppendField(line, *text);
    }
    line += '\n';
    csv << line;
  }
  if (!csv.flush()) throw std::runtime_error("cannot write " + CsvPath(c));
}

double ImportOurs(const TCatalogue& c) {
  RemoveImportedTable(c);
  const std::string table = Quoted(ImportedTable(c));
  const TClock::time_point start = TClock::now();
  RunCommand(Quoted(KATALOG_ISAMTOOL) + " create " + table + " --schema " +
             Quoted(c.Directory + "/places.schema.json") + " --quiet");
  RunCommand(Quoted(KATALOG_ISAMTOOL) + " import " + table + " " + Quoted(CsvPath(c)) + " --quiet");
  const double seconds = SecondsSince(start);
  {
    TIsamTable imported(nullptr);
    imported.SetDatabaseName(c.Directory);
    imported.SetTableName("imported");
    imported.SetReadOnly(true);
    imported.Open();
    Expect(imported.RecordCount() == c.Count, "rows imported by isamtool");
  }
  RemoveImportedTable(c);
  return seconds;
}

double ImportPeer(const TCatalogue& c) {
  std::filesystem::remove(ImportedPeer(c));
  const TClock::time_point start = TClock::now();
  // Its standard output only echoes the journal mode.
  RunCommand(Quoted(KATALOG_SQLITE3_SHELL) + " " + Quoted(ImportedPeer(c)) + " < " +
             Quoted(c.Directory + "/import.sql") + " > /dev/null");
  const double seconds = SecondsSince(start);
  {
    TSqliteDatabase db(ImportedPeer(c), true);
    TSqliteStatement count(db.Handle(), "SELECT count(*) FROM places INDEXED BY by_region");
    Expect(count.Step() && count.ColumnInt(0) == c.Count, "rows imported by the sqlite3 shell");
  }
  std::filesystem::remove(ImportedPeer(c));
  return seconds;
}

}  // namespace katalog::bench
