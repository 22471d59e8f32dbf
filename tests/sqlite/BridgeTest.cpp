// The SQLite extension, loaded through the SQLite API into this process: a table with a field of
// every kind, made and filled by isamtool, is queried through the extension and, with the same
// SQL, in the copy its own SQL export makes. Text conditions and orders that the index answers
// (the table's locale) are checked against isamtool's filters and index order instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "isamtool/ToolRunner.h"
#include "sqlite/SqlConnection.h"
#include "support/TempDir.h"

namespace katalog::testing {
namespace {

constexpr const char* kSchema = R"({"locale": 1029,
 "fields": [{"name": "Id", "type": "autoinc"}, {"name": "Name", "type": "string", "size": 24},
  {"name": "City", "type": "string", "size": 16}, {"name": "Notes", "type": "memo"},
  {"name": "Picture", "type": "blob"}, {"name": "Count", "type": "integer"},
  {"name": "Small", "type": "smallint"}, {"name": "Word", "type": "word"},
  {"name": "Flag", "type": "boolean"}, {"name": "Price", "type": "float"},
  {"name": "Cash", "type": "currency"}, {"name": "Amount", "type": "bcd", "scale": 2},
  {"name": "Day", "type": "date"}, {"name": "At", "type": "time"},
  {"name": "Stamp", "type": "datetime"}, {"name": "Code", "type": "bytes", "size": 4},
  {"name": "Tag", "type": "varbytes", "size": 8}],
 "primaryIndex": {"fields": ["Id"]},
 "indexes": [{"name": "ByName", "fields": ["Name"]},
  {"name": "ByCity", "fields": ["City"], "caseInsensitive": true},
  {"name": "ByCount", "fields": ["Count"]}, {"name": "BySmall", "fields": ["Small"]},
  {"name": "ByWord", "fields": ["Word"]}, {"name": "ByFlag", "fields": ["Flag"]},
  {"name": "ByPrice", "fields": ["Price"]}, {"name": "ByCash", "fields": ["Cash"]},
  {"name": "ByAmount", "fields": ["Amount"]}, {"name": "ByDay", "fields": ["Day"]},
  {"name": "ByAt", "fields": ["At"]}, {"name": "ByStamp", "fields": ["Stamp"]}]})";

constexpr const char* kHeader =
    "Name,City,Notes,Picture,Count,Small,Word,Flag,Price,Cash,Amount,Day,At,Stamp,Code,Tag\n";

const std::vector<std::string> kNames = {"Hospoda",  "hospoda",   "Čajovna", "Chata", "chalupa",
                                         "Cukrárna", "Žabka",     "Hotel",   "hotel", "Bistro",
                                         "Šenk",     "Řeznictví", "Ábel",    "Zlatý", "Vinárna"};
const std::vector<std::string> kCities = {"Praha", "praha", "PRAHA", "Brno",       "brno",
                                          "Ústí",  "ústí",  "Zlín",  "Česká Lípa", "česká lípa"};

// Rows of the CSV file: names, memos that repeat the name (so a row shows whether its memo
// belongs to it), and values of every kind, some of them null.
class TRowMaker {
 public:
  explicit TRowMaker(unsigned seed) : random_(seed) {}

  std::string Rows(int count) {
    std::string csv;
    for (int i = 0; i < count; ++i) csv += Row();
    return csv;
  }

 private:
  int Next(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
  bool Null() { return Next(10) == 0; }
  std::string Two(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }
  std::string Hex(int bytes) {
    std::string hex;
    for (int i = 0; i < bytes; ++i)
      hex += "0123456789ABCDEF"[Next(16)], hex += "0123456789ABCDEF"[Next(16)];
    return hex;
  }
  std::string Date() {
    return std::to_string(1990 + Next(40)) + "-" + Two(1 + Next(12)) + "-" + Two(1 + Next(28));
  }
  std::string Time() {
    std::string time = Two(Next(24)) + ":" + Two(Next(60)) + ":" + Two(Next(60));
    if (Next(3) == 0) time += "." + std::to_string(100 + Next(900));
    return time;
  }
  // Up to 12 whole digits and 2 decimals: within the 15 digits a REAL prints back exactly.
  std::string Amount() {
    const long long whole = Next(2) ? Next(200001) - 100000 : (Next(1000000) - 500000) * 1000000LL;
    return std::to_string(whole) + "." + Two(Next(4) ? Next(100) : 0);
  }
  std::string Row() {
    const std::string name =
        Null() ? "" : kNames[Next(kNames.size())] + (Next(3) ? " " + std::to_string(Next(30)) : "");
    std::vector<std::string> v = {
        name,
        Null() ? "" : kCities[Next(kCities.size())],
        name.empty() ? "" : "\"Popis " + name + " " + std::string(Next(3000), 'x') + "\"",
        Null() ? "" : Hex(1 + Next(40)),
        Null() ? "" : std::to_string(Next(1001) - 500),
        Null() ? "" : std::to_string(Next(601) - 300),
        Null() ? "" : std::to_string(Next(60000)),
        Null() ? "" : (Next(2) ? "true" : "false"),
        Null() ? "" : std::to_string((Next(2001) - 1000) / 4.0),
        Null() ? "" : std::to_string(Next(100000) / 100.0),
        Null() ? "" : Amount(),
        Null() ? "" : Date(),
        Null() ? "" : Time(),
        Null() ? "" : Date() + " " + Time(),
        Null() ? "" : Hex(4),
        Null() ? "" : Hex(1 + Next(6)),  // size 8 holds its length and 6 bytes
    };
    std::string line;
    for (std::size_t i = 0; i < v.size(); ++i) line += (i ? "," : "") + v[i];
    return line + "\n";
  }

  std::mt19937 random_;
};

class BridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(dir_.File("schema.json")) << kSchema;
    std::ofstream(dir_.File("rows.csv")) << kHeader << TRowMaker(7).Rows(400);
    ASSERT_EQ(RunTool(dir_, {"create", Table(), "--schema", dir_.File("schema.json")}).Status, 0);
    const TToolResult import = RunTool(dir_, {"import", Table(), dir_.File("rows.csv"), "--quiet"});
    ASSERT_EQ(import.Status, 0) << import.Err;
    const TToolResult sql = RunTool(dir_, {"export", Table(), "--format", "sql"});
    ASSERT_EQ(sql.Status, 0) << sql.Err;
    ASSERT_EQ(db_.Exec(sql.Out), "");
    ASSERT_EQ(db_.Exec("CREATE VIRTUAL TABLE b USING katalog('" + Table() + "')"), "");
  }

  std::string Table() const { return dir_.File("places"); }

  // The same query on the bridge ("{T}" is "b") and on the exported copy ("places").
  void ExpectSameRows(const std::string& query) {
    const auto on = [&](const std::string& table) {
      std::string sql = query;
      for (std::size_t at; (at = sql.find("{T}")) != std::string::npos;) sql.replace(at, 3, table);
      return db_.Query(sql);
    };
    const std::vector<TRow> bridge = on("b"), copy = on("places");
    if (bridge == copy) return;
    std::size_t row = 0;
    while (row < bridge.size() && row < copy.size() && bridge[row] == copy[row]) ++row;
    const auto shown = [&](const std::vector<TRow>& rows) {
      std::string text;
      if (row < rows.size()) {
        for (const std::string& value : rows[row]) text += value.substr(0, 40) + " | ";
      }
      return text;
    };
    ADD_FAILURE() << query << "\n"
                  << bridge.size() << " rows from the bridge, " << copy.size()
                  << " from the copy; row " << row << ":\n  bridge " << shown(bridge)
                  << "\n  copy   " << shown(copy);
  }

  // The Ids of isamtool's export with these options, in its order.
  std::vector<TRow> ToolIds(std::vector<std::string> options) {
    options.insert(options.begin(), {"export", Table(), "--fields", "Id"});
    const TToolResult result = RunTool(dir_, options);
    EXPECT_EQ(result.Status, 0) << result.Err;
    std::vector<TRow> ids;
    std::size_t line = result.Out.find('\n');  // after the header
    while (line != std::string::npos && line + 1 < result.Out.size()) {
      const std::size_t end = result.Out.find_first_of("\r\n", line + 1);
      ids.push_back({"INTEGER:" + result.Out.substr(line + 1, end - line - 1)});
      line = result.Out.find('\n', end);
    }
    return ids;
  }

  std::string Plan(const std::string& query) {
    std::string details;
    for (const TRow& row : db_.Query("EXPLAIN QUERY PLAN " + query)) details += row[3] + "\n";
    return details;
  }

  TempDir dir_;
  TSqlConnection db_;
};

// A literal for SQL from a "TYPE:text" value.
std::string Literal(const std::string& value) {
  const std::string text = value.substr(value.find(':') + 1);
  if (value.rfind("TEXT:", 0) != 0) return text;
  return "'" + text + "'";
}

TEST_F(BridgeTest, EveryFieldComesBackAsTheSqlExportStoresIt) {
  ExpectSameRows("SELECT * FROM {T} ORDER BY Id");
  ExpectSameRows("SELECT typeof(Amount), count(*) FROM {T} GROUP BY 1 ORDER BY 1");
  EXPECT_EQ(db_.Scalar("SELECT count(*) FROM b WHERE Notes IS NOT NULL AND "
                       "Notes NOT LIKE 'Popis ' || Name || ' %'"),
            "0");
}

// Random conditions on every indexed field that is not text, with values found in the table and
// values of other SQLite types: the index narrows the walk, SQLite's own comparison decides.
TEST_F(BridgeTest, RandomConditionsGiveTheRowsOfTheCopy) {
  const std::vector<std::string> columns = {"Id",   "Count",  "Small", "Word", "Flag", "Price",
                                            "Cash", "Amount", "Day",   "At",   "Stamp"};
  const std::vector<std::string> operators = {"=", "<", "<=", ">", ">="};
  std::mt19937 random(11);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  for (int round = 0; round < 150; ++round) {
    const std::string column = columns[pick(columns.size())];
    const std::string value =
        db_.Query("SELECT " + column + " FROM places WHERE " + column +
                  " IS NOT NULL LIMIT 1 OFFSET " + std::to_string(pick(300)))[0][0];
    std::string literal = Literal(value);
    switch (pick(5)) {  // the same value in other forms
      case 0:
        literal = value.rfind("TEXT:", 0) == 0 ? literal.substr(0, 8) + "'" : literal + " + 0.5";
        break;
      case 1:
        literal = "'" + value.substr(value.find(':') + 1) + "'";
        break;
      default:
        break;
    }
    const std::string condition =
        pick(4) == 0 ? column + " BETWEEN " + literal + " AND " + literal + " || '9'"
                     : column + " " + operators[pick(operators.size())] + " " + literal;
    const std::string where = " FROM {T} WHERE " + condition;
    ExpectSameRows("SELECT *" + where + " ORDER BY Id");
    ExpectSameRows("SELECT count(*)" + where);
    ExpectSameRows("SELECT " + column + where + " ORDER BY " + column + (pick(2) ? " DESC" : ""));
  }
}

// Text comparisons the index answers follow the table's locale and the index's case rule, as
// isamtool's filters do: Czech order ("Ch" after "H"), and City's index ignores case (the
// filters ignore it in equality only, so City's range avoids bounds that differ from a value
// only in case).
TEST_F(BridgeTest, TextConditionsFollowTheIndexAsTheTablesFiltersDo) {
  struct TCase {
    std::string Condition, Filter;
    bool IgnoreCase;
  };
  const std::vector<TCase> cases = {
      {"Name = 'Chata 3'", "Name = 'Chata 3'", false},
      {"Name >= 'Ch' AND Name < 'I'", "(Name >= 'Ch') and (Name < 'I')", false},
      {"Name > 'hospoda'", "Name > 'hospoda'", false},
      {"Name <= 'Cukrárna 2'", "Name <= 'Cukrárna 2'", false},
      {"Name < 'Žabka'", "Name < 'Žabka'", false},
      {"Name > 'Ř'", "Name > 'Ř'", false},
      {"City = 'praha'", "City = 'praha'", true},
      {"City > 'c' AND City <= 'p'", "(City > 'c') and (City <= 'p')", false},
  };
  for (const TCase& c : cases) {
    std::vector<TRow> expected =
        ToolIds({"--filter", c.Filter, c.IgnoreCase ? "--ignore-case" : "--quiet"});
    std::vector<TRow> ids = db_.Query("SELECT Id FROM b WHERE " + c.Condition);
    std::sort(expected.begin(), expected.end());
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, expected) << c.Condition;
    EXPECT_EQ(db_.Scalar("SELECT count(*) FROM b WHERE " + c.Condition),
              std::to_string(expected.size()))
        << c.Condition;
  }
  // Equality agrees with SQLite's own on the case-sensitive index.
  ExpectSameRows("SELECT * FROM {T} WHERE Name = 'Hospoda' ORDER BY Id");
  // Ordered by the index: its order, backwards too; nulls first as SQLite puts them.
  std::vector<TRow> byName = ToolIds({"--index", "ByName"});
  EXPECT_EQ(db_.Query("SELECT Id FROM b ORDER BY Name"), byName);
  std::reverse(byName.begin(), byName.end());
  EXPECT_EQ(db_.Query("SELECT Id FROM b ORDER BY Name DESC"), byName);
}

TEST_F(BridgeTest, PlansUseTheIndexesForConditionsOrdersAndCounts) {
  struct TCase {
    std::string Query, Expected;
  };
  const std::vector<TCase> cases = {
      {"SELECT * FROM b WHERE Count = 5", "index ByCount, Count ="},
      {"SELECT * FROM b WHERE Day BETWEEN '2000-01-01' AND '2001-01-01'", "index ByDay, Day >= <="},
      {"SELECT Name FROM b WHERE Name > 'K' ORDER BY Name", "index ByName, Name >"},
      {"SELECT * FROM b ORDER BY Day DESC", "index ByDay backwards"},
      {"SELECT count(*) FROM b", "counting from the index"},
      {"SELECT count(*) FROM b WHERE City = 'Praha'", "index ByCity, City =, counting"},
      {"SELECT * FROM b WHERE Notes LIKE '%x%'", "physical order"},
  };
  for (const TCase& c : cases) {
    const std::string plan = Plan(c.Query);
    EXPECT_NE(plan.find(c.Expected), std::string::npos) << c.Query << "\n" << plan;
    EXPECT_EQ(plan.find("USE TEMP B-TREE"), std::string::npos) << c.Query << "\n" << plan;
  }
  // GROUP BY on text is left to SQLite: the locale holds some different texts equal.
  EXPECT_NE(Plan("SELECT Name, count(*) FROM b GROUP BY Name").find("USE TEMP B-TREE"),
            std::string::npos);
  EXPECT_EQ(db_.Scalar("SELECT count(*) FROM b"), "400");
  EXPECT_EQ(db_.Scalar("SELECT count(*) FROM b WHERE City = 'PRAHA'"),
            db_.Scalar("SELECT count(*) FROM places WHERE City = 'Praha' COLLATE NOCASE"));
  // A counting walk asked for a value or a rowid after all reads the rows it counted.
  ExpectSameRows("SELECT Name FROM {T} WHERE Name = 'Hospoda'");
  EXPECT_EQ(db_.Query("SELECT rowid FROM b WHERE Name = 'Hotel'"),
            db_.Query("SELECT Id FROM places WHERE Name = 'Hotel'"));
  // Text in a form the engine never stores (trailing blanks, blanks only) equals nothing and
  // orders as its stored form.
  for (const char* condition : {"Name = 'Hotel '", "Name = ' '", "Name <= '  '", "Name < ''"}) {
    EXPECT_EQ(db_.Scalar(std::string("SELECT count(*) FROM b WHERE ") + condition), "0")
        << condition;
  }
  EXPECT_EQ(db_.Scalar("SELECT count(*) FROM b WHERE Name >= ' '"),
            db_.Scalar("SELECT count(*) FROM b WHERE Name IS NOT NULL"));
  EXPECT_EQ(db_.Scalar("SELECT count(*) FROM b WHERE Name > 'Hotel '"),
            db_.Scalar("SELECT count(*) FROM b WHERE Name > 'Hotel'"));
  EXPECT_EQ(db_.Scalar("SELECT count(*) FROM b WHERE Name <= 'Hotel '"),
            db_.Scalar("SELECT count(*) FROM b WHERE Name <= 'Hotel'"));
  // Floats are not ordered by their index: a NaN comes back as NULL, which SQLite puts first.
  EXPECT_NE(Plan("SELECT * FROM b ORDER BY Price").find("USE TEMP B-TREE"), std::string::npos);
}

TEST_F(BridgeTest, ErrorsArriveAsSqliteErrorsWithTheEnginesMessage) {
  EXPECT_NE(db_.Exec("CREATE VIRTUAL TABLE m USING katalog('" + dir_.File("missing") + "')")
                .find("katalog: "),
            std::string::npos);
  EXPECT_NE(db_.Exec("CREATE VIRTUAL TABLE u USING katalog('" + Table() + "', colour='red')")
                .find("unknown argument \"colour\""),
            std::string::npos);
  EXPECT_NE(db_.Exec("INSERT INTO b(Name) VALUES('x')").find("may not be modified"),
            std::string::npos);
  // A bound the table's code page cannot hold: nothing equals it, a range cannot be compared.
  EXPECT_EQ(db_.Scalar("SELECT count(*) FROM b WHERE Name = '中'"), "0");
  EXPECT_THROW(db_.Query("SELECT * FROM b WHERE Name > '中'"), std::runtime_error);

  // Enciphered: the password opens it, without one the engine's refusal comes back.
  std::ofstream(dir_.File("secret.json"))
      << R"({"password": "tajné", "fields": [{"name": "A", "type": "string", "size": 8}]})";
  ASSERT_EQ(
      RunTool(dir_, {"create", dir_.File("secret"), "--schema", dir_.File("secret.json")}).Status,
      0);
  EXPECT_NE(db_.Exec("CREATE VIRTUAL TABLE s1 USING katalog('" + dir_.File("secret") + "')"), "");
  EXPECT_EQ(db_.Exec("CREATE VIRTUAL TABLE s2 USING katalog('" + dir_.File("secret.DAT") +
                     "', password='tajné')"),
            "");
  EXPECT_EQ(db_.Scalar("SELECT count(*) FROM s2"), "0");
}

// Damage in each file fails queries with the engine's error, never this process.
TEST_F(BridgeTest, ADamagedTableFailsTheQueryNotTheProcess) {
  for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
    for (const long offset : {0L, 600L, 3000L, 20000L}) {
      TempDir copy;
      for (const char* e : {".DAT", ".IDX", ".BLB"}) {
        std::ifstream in(Table() + e, std::ios::binary);
        std::ofstream(copy.File(std::string("places") + e), std::ios::binary) << in.rdbuf();
      }
      {
        std::fstream file(copy.File(std::string("places") + extension),
                          std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(offset);
        const std::string garbage(700, '\xA5');
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
      }
      TSqlConnection db;
      if (!db.Exec("CREATE VIRTUAL TABLE d USING katalog('" + copy.File("places") + "')").empty()) {
        continue;
      }
      for (const char* query : {"SELECT * FROM d", "SELECT count(*) FROM d WHERE Count > 0",
                                "SELECT Name, Notes FROM d ORDER BY Name DESC"}) {
        try {
          db.Query(query);
        } catch (const std::runtime_error& e) {
          EXPECT_NE(std::string(e.what()).find("katalog: "), std::string::npos) << e.what();
        }
      }
    }
  }
}

// Another process adds and deletes records while queries run: every row is one version of one
// record (its memo repeats its name), every count lies between the writer's states, and neither
// side fails.
TEST_F(BridgeTest, AWriterInAnotherProcessLeavesEveryRowWhole) {
  std::ofstream(dir_.File("more.csv")) << kHeader << TRowMaker(99).Rows(60);
  std::atomic<bool> stop = false;
  std::atomic<int> writes = 0, failedWrites = 0;
  std::thread writer([&] {
    TempDir scratch;
    while (!stop) {
      const bool added =
          RunTool(scratch, {"import", Table(), dir_.File("more.csv"), "--quiet"}).Status == 0;
      const bool deleted =
          RunTool(scratch, {"delete", Table(), "--filter", "Id > 400"}).Status == 0;
      failedWrites += !added + !deleted;
      ++writes;
    }
  });
  const std::string torn =
      "SELECT count(*) FROM b WHERE Notes IS NOT NULL AND Notes NOT LIKE 'Popis ' || Name || ' %'";
  std::vector<std::string> failures;
  for (int query = 0; query < 40 && failures.empty(); ++query) {
    try {
      for (const std::string& sql : {torn, torn + " AND Name >= 'H' ORDER BY Name"}) {
        if (db_.Scalar(sql) != "0") failures.push_back("a torn row: " + sql);
      }
      // The import commits its rows at once, the delete one record at a time.
      const int count = std::stoi(db_.Scalar("SELECT count(*) FROM b"));
      if (count < 400 || count > 460) failures.push_back("a count of " + std::to_string(count));
    } catch (const std::exception& e) {
      failures.push_back(e.what());
    }
  }
  stop = true;
  writer.join();
  EXPECT_EQ(failures, std::vector<std::string>{});
  EXPECT_GT(writes, 0);
  EXPECT_EQ(failedWrites, 0);
}

}  // namespace
}  // namespace katalog::testing
