// isamtool import and export, run as the real executable: CSV through a table and back, the
// code-page conversions, the rows that stop an import, JSON and SQL (read back by sqlite3),
// filters and index orders, and usage errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "dataset/Field.h"
#include "engine/components/IsamTable.h"
#include "engine/components/SessionList.h"
#include "engine/table/TableCreation.h"
#include "isamtool/ToolRunner.h"
#include "platform/CodePage.h"
#include "platform/Utf8.h"

namespace katalog::testing {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;

// Every field type isamtool reads and writes, in canonical form (as export writes it).
constexpr const char* kHeader = "ID,Name,D,T,DT,B,S,I,W,F,C,P,BY,VB,M,BL,FM,G,TB\n";
const std::string kRows =
    "1,Žluťoučký kůň,2024-02-29,12:30:00,2024-02-29 23:59:59.999,true,-5,123456,65535,0.1,12.34,"
    "1234.56,01020304,0A0B,\"a \"\"memo\"\", with a comma\nand a second line\",DEADBEEF,"
    "{\\rtf1 ř},89504E47,00FF\n"
    "2,\"Smith, John\",1999-12-31,00:00:00.001,1900-01-01 00:00:00,false,32767,-2147483648,0,"
    "-1.5e-07,-0.01,-0.05,00000000,00,\"Příliš žluťoučký kůň úpěl ďábelské ódy\r\nCR LF\",,,,\n"
    "3,\"He said \"\"hi\"\"\",,,,,,,,,,,,,,,,,\n"
    "4,,,,,,,,,,,,,,,,,,\n"
    "5,€ and ß,0001-01-01,23:59:59.999,9999-12-31 00:00:00,true,-32768,2147483647,1,1e+20,"
    "922337203685477.5,-99999999.99,FFFFFFFF,010203040506,x,00,,,\n";

std::string Utf8ToCp1250(const std::string& utf8) {
  std::u16string wide;
  EXPECT_TRUE(platform::TryUtf8ToUtf16(utf8, wide));
  return platform::CodePage(1250).FromUtf16(wide);
}

// Runs a shell command and gives its standard output.
std::string Shell(const std::string& command) {
  std::string out;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

class ImportExportTest : public ::testing::Test {
 protected:
  ImportExportTest() { Sessions().DefaultSession().SetActive(true); }
  ~ImportExportTest() override { Sessions().DefaultSession().SetActive(false); }

  // ID autoincrement (primary), Name (secondary ByName, case-insensitive) and one field of
  // every other type.
  void CreateEveryType(const std::string& name = "T", std::uint32_t locale = 0x0405) {
    TTableDefinition def;
    def.TableName = dir_.File(name);
    def.LocaleId = locale;
    def.Fields = {{"ID", 6, 29},   {"Name", 1, 0, 40}, {"D", 2},     {"T", 10},
                  {"DT", 11},      {"B", 4},           {"S", 5},     {"I", 6},
                  {"W", 12},       {"F", 7},           {"C", 7, 21}, {"P", 8, 0, 0, 2},
                  {"BY", 9, 0, 4}, {"VB", 15, 0, 8},   {"M", 3, 22}, {"BL", 3, 23},
                  {"FM", 3, 24},   {"G", 3, 26},       {"TB", 3, 28}};
    def.Indexes.push_back({"", {"ID"}, {}, true});
    def.Indexes.push_back({"ByName", {"Name"}, {}, false, false, false, true});
    CreateTable(def);
  }
  // Code (primary, string), N integer, with a descending secondary index on N.
  void CreateCodes(const std::string& name = "K") {
    TTableDefinition def;
    def.TableName = dir_.File(name);
    def.LocaleId = 0x0405;
    def.Fields = {{"Code", 1, 0, 10}, {"N", 6}};
    def.Indexes.push_back({"", {"Code"}, {}, true});
    def.Indexes.push_back({"ByN", {"N"}, {}, false, false, true});
    CreateTable(def);
  }

  TToolResult Run(const std::vector<std::string>& args, const std::string& input = "") {
    return RunTool(dir_, args, input);
  }
  std::string Csv(const std::string& name, const std::string& text) {
    return dir_.Write(name, text);
  }
  std::string Table(const std::string& name = "T") { return dir_.File(name); }

  TempDir dir_;
};

TEST_F(ImportExportTest, CsvThroughTheTableComesBackIdentical) {
  CreateEveryType();
  const TToolResult imported = Run({"import", Table(), Csv("in.csv", kHeader + kRows)});
  ASSERT_EQ(imported.Status, 0) << imported.Err;
  EXPECT_EQ(imported.Out, "");
  EXPECT_THAT(imported.Err, HasSubstr("5 rows imported"));

  const TToolResult exported = Run({"export", Table()});
  ASSERT_EQ(exported.Status, 0) << exported.Err;
  EXPECT_EQ(exported.Out, kHeader + kRows);
  EXPECT_EQ(exported.Err, "");

  // The table holds the text in its code page and the values natively.
  TIsamTable table(nullptr);
  table.SetDatabaseName(dir_.Path());
  table.SetTableName("T");
  table.Open();
  EXPECT_EQ(table.RecordCount(), 5);
  table.First();
  EXPECT_EQ(table.FieldNamed("Name")->ValueString(), Utf8ToCp1250("Žluťoučký kůň"));
  EXPECT_EQ(table.FieldNamed("M")->ValueString(),
            Utf8ToCp1250("a \"memo\", with a comma\nand a second line"));
  EXPECT_EQ(table.FieldNamed("FM")->ValueString(), Utf8ToCp1250("{\\rtf1 ř}"));
  EXPECT_EQ(table.FieldNamed("BL")->ValueString(), "\xDE\xAD\xBE\xEF");
  EXPECT_EQ(table.FieldNamed("I")->ValueInteger(), 123456);
  EXPECT_DOUBLE_EQ(table.FieldNamed("P")->ValueFloat(), 1234.56);
  EXPECT_DOUBLE_EQ(table.FieldNamed("D")->ValueDateTime(), 45351.0);  // 2024-02-29
  EXPECT_TRUE(table.FieldNamed("B")->ValueBoolean());
  table.Next();
  EXPECT_EQ(table.FieldNamed("Name")->ValueString(), "Smith, John");
  table.Next();
  table.Next();
  EXPECT_TRUE(table.FieldNamed("Name")->IsBlank());
  EXPECT_TRUE(table.FieldNamed("M")->IsBlank());
  table.Close();

  // Nulls as a chosen text; a value equal to it is quoted; no header.
  const TToolResult marked =
      Run({"export", Table(), "--null", "x", "--no-header", "--filter", "ID = 4 OR ID = 5"});
  ASSERT_EQ(marked.Status, 0) << marked.Err;
  EXPECT_EQ(marked.Out,
            "4,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x,x\n"
            "5,€ and ß,0001-01-01,23:59:59.999,9999-12-31 00:00:00,true,-32768,2147483647,"
            "1,1e+20,922337203685477.5,-99999999.99,FFFFFFFF,010203040506,\"x\",00,x,x,x\n");
}

TEST_F(ImportExportTest, Cp1250FilesConvertBothWays) {
  CreateEveryType();
  const std::string cp1250 = Utf8ToCp1250(kHeader + kRows);
  ASSERT_NE(cp1250, kHeader + kRows);
  const TToolResult imported =
      Run({"import", Table(), Csv("in.csv", cp1250), "--encoding", "cp1250", "--quiet"});
  ASSERT_EQ(imported.Status, 0) << imported.Err;
  EXPECT_EQ(imported.Err, "");
  EXPECT_EQ(Run({"export", Table(), "--encoding", "cp1250"}).Out, cp1250);
  EXPECT_EQ(Run({"export", Table(), "--encoding", "utf-8"}).Out, kHeader + kRows);

  // A table of another code page: its text converts to UTF-8, but cp1250 cannot hold it.
  CreateEveryType("R", 0x0419);
  ASSERT_EQ(Run({"import", Table("R"), "-"}, "Name,M\nЖук,щ\nok,Щ\n").Status, 0);
  EXPECT_EQ(Run({"export", Table("R"), "--format", "json"}).Status, 0);
  const TToolResult russian = Run({"export", Table("R"), "--encoding", "utf-8"});
  EXPECT_THAT(russian.Out, HasSubstr("\n1,Жук,"));
  const TToolResult refused = Run({"export", Table("R"), "--encoding", "cp1250"});
  EXPECT_EQ(refused.Status, 1);
  EXPECT_THAT(refused.Err, HasSubstr("record 1, field \"Name\""));
  EXPECT_THAT(refused.Err, HasSubstr("U+0416"));
  // ß is not in code page 1251: the import stops at row 1.
  const TToolResult notStored = Run({"import", Table("R"), "-"}, "Name,M\nok,ß\n");
  EXPECT_EQ(notStored.Status, 1);
  EXPECT_THAT(notStored.Err, HasSubstr("row 1 (line 2), column \"M\""));
}

TEST_F(ImportExportTest, FieldNamesConvertLikeTheText) {
  TTableDefinition def;
  def.TableName = dir_.File("N");
  def.LocaleId = 0x0405;
  def.Fields = {{Utf8ToCp1250("Jméno"), 1, 0, 5}, {Utf8ToCp1250("Počet"), 6}};
  CreateTable(def);
  const TToolResult imported = Run({"import", Table("N"), "-"}, "Počet,Jméno\n1,kůň\n");
  ASSERT_EQ(imported.Status, 0) << imported.Err;
  EXPECT_EQ(Run({"export", Table("N")}).Out, "Jméno,Počet\nkůň,1\n");
  EXPECT_EQ(Run({"export", Table("N"), "--encoding", "cp1250"}).Out,
            Utf8ToCp1250("Jméno,Počet\nkůň,1\n"));
  EXPECT_EQ(Run({"import", Table("N"), "-", "--encoding", "cp1250"}, Utf8ToCp1250("Jméno\nďábel\n"))
                .Status,
            0);
  // Messages are UTF-8, whatever the file's encoding.
  const TToolResult tooLong = Run({"import", Table("N"), "-", "--encoding", "cp1250"},
                                  Utf8ToCp1250("Počet,Jméno\n2,žluťoučký\n"));
  EXPECT_EQ(tooLong.Status, 1);
  EXPECT_THAT(tooLong.Err,
              HasSubstr("row 1 (line 2), column \"Jméno\", value 'žluťoučký': the value has 9"));
  const TToolResult range = Run({"import", Table("N"), "-"}, "Počet\n99999999999\n");
  EXPECT_EQ(range.Status, 1);
  EXPECT_THAT(range.Err, HasSubstr("column \"Počet\""));
  const TToolResult unknown = Run({"import", Table("N"), "-"}, "Jmeno\nx\n");
  EXPECT_THAT(unknown.Err, HasSubstr("\"Jmeno\""));
  EXPECT_THAT(unknown.Err, HasSubstr("its fields: Jméno, Počet"));
}

TEST_F(ImportExportTest, AnUnknownColumnStopsTheImportBeforeAnythingIsWritten) {
  CreateEveryType();
  const TToolResult result = Run({"import", Table(), "-"}, "Name,Colour,I\nx,red,1\n");
  EXPECT_EQ(result.Status, 1);
  EXPECT_EQ(result.Out, "");
  EXPECT_THAT(result.Err, HasSubstr("\"Colour\""));
  EXPECT_EQ(Run({"export", Table()}).Out, kHeader);

  EXPECT_EQ(Run({"import", Table(), "-"}, "Name,name\nx,y\n").Status, 1);  // named twice
  EXPECT_EQ(Run({"import", Table(), "-"}, "").Status, 1);                  // no header
  EXPECT_EQ(Run({"import", Table(), dir_.File("missing.csv")}).Status, 1);
  EXPECT_EQ(Run({"export", Table()}).Out, kHeader);
}

TEST_F(ImportExportTest, ACharacterTheCodePageCannotHoldNamesRowAndColumn) {
  CreateEveryType();
  const TToolResult result =
      Run({"import", Table(), "-"}, "I,Name\n1,€ is in cp1250\n2,a中b\n3,c\n");
  EXPECT_EQ(result.Status, 1);
  EXPECT_EQ(result.Out, "");
  EXPECT_THAT(result.Err, HasSubstr("row 2 (line 3), column \"Name\""));
  EXPECT_THAT(result.Err, HasSubstr("U+4E2D '中'"));
  EXPECT_EQ(Run({"export", Table(), "--no-header", "--format", "csv"}).Out,
            "1,€ is in cp1250,,,,,,1,,,,,,,,,,,\n");
}

TEST_F(ImportExportTest, ADuplicateKeyStopsWithItsRowAndTheRowsBeforeStay) {
  CreateCodes();
  const TToolResult result = Run({"import", Table("K"), "-"}, "Code,N\nA,1\nB,2\nA,3\nC,4\n");
  EXPECT_EQ(result.Status, 1);
  EXPECT_THAT(result.Err, HasSubstr("row 3 (line 4)"));
  EXPECT_THAT(result.Err, HasSubstr("2 rows before it were imported"));
  EXPECT_EQ(Run({"export", Table("K")}).Out, "Code,N\nA,1\nB,2\n");
}

TEST_F(ImportExportTest, ValuesThatDoNotReadOrFitStopTheImport) {
  CreateEveryType();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"D\n2024-02-30\n", "column \"D\": '2024-02-30' is not a date (YYYY-MM-DD)"},
      {"D\n29.2.2024\n", "is not a date"},
      {"T\n24:00:00\n", "is not a time"},
      {"DT\n2024-01-01 1:00\n", "is not a date and time"},
      {"B\nyes\n", "is not a boolean"},
      {"S\n40000\n", "column \"S\""},
      {"W\n-1\n", "column \"W\""},
      {"I\n1.5\n", "is not an integer"},
      {"F\n1,5\n", "row 1 (line 2)"},  // two fields where the header names one
      {"F\n\"1,5\"\n", "is not a number"},
      {"BY\n0102030405\n", "the field holds at most 4"},
      {"BL\nXYZ\n", "column \"BL\""},
      {"Name\n" + std::string(41, 'x') + "\n", "the field holds at most 40"},
      {"Name\n\"open\n", "not closed"},
  };
  for (const auto& [csv, message] : cases) {
    const TToolResult result = Run({"import", Table(), "-"}, csv);
    EXPECT_EQ(result.Status, 1) << csv;
    EXPECT_THAT(result.Err, HasSubstr(message)) << csv;
  }
  EXPECT_EQ(Run({"export", Table()}).Out, kHeader);

  // What does read: CR LF lines, a byte order mark, blank lines, lower-case hex, a date-time
  // with a T or a date alone, BCD rounded to the field's decimals.
  const TToolResult result = Run({"import", Table(), "-"},
                                 "\xEF\xBB\xBFName,BY,DT,P\r\nx,0a0B0c0D,2024-05-06T07:08:09,1."
                                 "005\r\n\r\ny,,2024-05-06,-2.5\r\n");
  ASSERT_EQ(result.Status, 0) << result.Err;
  EXPECT_EQ(Run({"export", Table()}).Out,
            std::string(kHeader) + "1,x,,,2024-05-06 07:08:09,,,,,,,1.01,0A0B0C0D,,,,,,\n" +
                "2,y,,,2024-05-06 00:00:00,,,,,,,-2.50,,,,,,,\n");

  // Bytes up to the field's size are stored whole or refused, never cut.
  const TToolResult full = Run({"import", Table(), "-"}, "VB\n0102030405060708\n");
  if (full.Status == 0) {
    EXPECT_THAT(Run({"export", Table()}).Out, HasSubstr(",0102030405060708,"));
  } else {
    EXPECT_THAT(full.Err, HasSubstr("row 1 (line 2), column \"VB\""));
    EXPECT_THAT(Run({"export", Table()}).Out, Not(HasSubstr("010203040506")));
  }
}

// BCD amounts are stored exactly: past 2^53 units, where a double holds only every other one, and
// at the ends of the 64-bit range, whatever form the file writes them in.
TEST_F(ImportExportTest, BcdAmountsSurviveImportAndExportDigitForDigit) {
  TTableDefinition def;
  def.TableName = Table("M");
  def.Fields = {
      {"ID", 6}, {"A", 8, 0, 0, 2}, {"B", 8, 0, 0, 4}, {"C", 8, 0, 0, 0}, {"D", 8, 0, 0, 18}};
  def.Indexes.push_back({"", {"ID"}, {}, true});
  CreateTable(def);
  const std::string header = "ID,A,B,C,D\n";
  // As export writes them: every decimal of the field.
  const std::string rows =
      "1,90071992547409.93,922337203685.4777,9223372036854775807,9.223372036854775807\n"
      "2,-123456789012345.67,-922337203685477.5808,-9223372036854775808,"
      "-9.223372036854775808\n"
      "3,92233720368547758.07,0.0001,9007199254740993,0.000000000000000001\n"
      "4,-92233720368547758.08,-0.0001,-9007199254740993,-0.000000000000000001\n";
  const TToolResult imported = Run({"import", Table("M"), Csv("m.csv", header + rows)});
  ASSERT_EQ(imported.Status, 0) << imported.Err;
  EXPECT_EQ(Run({"export", Table("M")}).Out, header + rows);

  // With an exponent, or more decimals than the field holds (rounded half away from zero).
  const TToolResult other = Run({"import", Table("M"), "-"},
                                "ID,A,B,C,D\n5,9.007199254740993e13,9.223372036854777e11,"
                                "9.007199254740993E15,9223372036854775807e-18\n"
                                "6,-123456789012345.665,92233720368.547758075,-9007199254740992.5,"
                                "-0.0000000000000000015\n");
  ASSERT_EQ(other.Status, 0) << other.Err;
  const std::string more =
      "5,90071992547409.93,922337203685.4777,9007199254740993,9.223372036854775807\n"
      "6,-123456789012345.67,92233720368.5478,-9007199254740993,-0.000000000000000002\n";
  EXPECT_EQ(Run({"export", Table("M"), "--filter", "ID > 4"}).Out, header + more);
  // Beyond the range: refused, not wrapped or rounded to a neighbour.
  for (const char* cell : {"92233720368547758.08", "1e17", "-9223372036854775809"}) {
    const TToolResult refused = Run({"import", Table("M"), "-"}, std::string("A\n") + cell + "\n");
    EXPECT_EQ(refused.Status, 1) << cell;
    EXPECT_THAT(refused.Err, HasSubstr("is out of range")) << cell;
  }

  // JSON and SQL write the same digits.
  const TToolResult asJson = Run({"export", Table("M"), "--format", "json", "--filter", "ID = 1"});
  ASSERT_EQ(asJson.Status, 0) << asJson.Err;
  EXPECT_THAT(asJson.Out, HasSubstr("\"A\":90071992547409.93,\"B\":922337203685.4777,"
                                    "\"C\":9223372036854775807,\"D\":9.223372036854775807}"));
  const TToolResult sql = Run({"export", Table("M"), "--format", "sql", "--filter", "ID = 2"});
  ASSERT_EQ(sql.Status, 0) << sql.Err;
  EXPECT_THAT(sql.Out, HasSubstr("VALUES(2,-123456789012345.67,-922337203685477.5808,"
                                 "-9223372036854775808,-9.223372036854775808);"));
}

TEST_F(ImportExportTest, JsonHasTheValuesAndTypes) {
  CreateEveryType();
  ASSERT_EQ(Run({"import", Table(), Csv("in.csv", kHeader + kRows)}).Status, 0);
  const TToolResult result = Run({"export", Table(), "--format", "json"});
  ASSERT_EQ(result.Status, 0) << result.Err;
  const json records = json::parse(result.Out);
  ASSERT_TRUE(records.is_array());
  ASSERT_EQ(records.size(), 5u);
  const json& first = records[0];
  EXPECT_EQ(first["ID"], 1);
  EXPECT_EQ(first["Name"], "Žluťoučký kůň");
  EXPECT_EQ(first["D"], "2024-02-29");
  EXPECT_EQ(first["T"], "12:30:00");
  EXPECT_EQ(first["DT"], "2024-02-29 23:59:59.999");
  EXPECT_EQ(first["B"], true);
  EXPECT_EQ(first["S"], -5);
  EXPECT_EQ(first["W"], 65535);
  EXPECT_DOUBLE_EQ(first["F"].get<double>(), 0.1);
  EXPECT_DOUBLE_EQ(first["C"].get<double>(), 12.34);
  EXPECT_DOUBLE_EQ(first["P"].get<double>(), 1234.56);
  EXPECT_EQ(first["BY"], "AQIDBA==");
  EXPECT_EQ(first["VB"], "Cgs=");
  EXPECT_EQ(first["M"], "a \"memo\", with a comma\nand a second line");
  EXPECT_EQ(first["BL"], "3q2+7w==");
  EXPECT_EQ(first["FM"], "{\\rtf1 ř}");
  EXPECT_EQ(records[1]["M"], "Příliš žluťoučký kůň úpěl ďábelské ódy\r\nCR LF");
  EXPECT_EQ(records[1]["B"], false);
  EXPECT_EQ(records[1]["I"], -2147483648);
  EXPECT_DOUBLE_EQ(records[1]["F"].get<double>(), -1.5e-07);
  EXPECT_TRUE(records[3]["Name"].is_null());
  EXPECT_TRUE(records[3]["F"].is_null());
  EXPECT_EQ(records[3].size(), 19u);
  EXPECT_EQ(records[4]["TB"], nullptr);

  // An empty selection is an empty array.
  EXPECT_EQ(json::parse(Run({"export", Table(), "--format", "json", "--filter", "ID > 99"}).Out),
            json::array());
}

TEST_F(ImportExportTest, SqlMakesAFaithfulSqliteCopy) {
  CreateEveryType();
  ASSERT_EQ(Run({"import", Table(), Csv("in.csv", kHeader + kRows)}).Status, 0);
  const TToolResult result = Run({"export", Table(), "--format", "sql"});
  ASSERT_EQ(result.Status, 0) << result.Err;
  const std::string script = Csv("t.sql", result.Out), db = dir_.File("t.db");
  const std::string sqlite = "/usr/bin/sqlite3 -bail '" + db + "'";
  ASSERT_EQ(Shell(sqlite + " < '" + script + "' 2>&1"), "");
  EXPECT_EQ(Shell(sqlite + " \"select ID, Name, D, T, DT, B, S, I, W, F, C, P, hex(BY), hex(VB), "
                           "hex(BL), hex(G), hex(TB), FM from T order by ID\""),
            "1|Žluťoučký kůň|2024-02-29|12:30:00|2024-02-29 23:59:59.999|1|-5|123456|65535|0.1|"
            "12.34|1234.56|01020304|0A0B|DEADBEEF|89504E47|00FF|{\\rtf1 ř}\n"
            "2|Smith, John|1999-12-31|00:00:00.001|1900-01-01 00:00:00|0|32767|-2147483648|0|"
            "-1.5e-07|-0.01|-0.05|00000000|00||||\n"
            "3|He said \"hi\"||||||||||||||||\n"
            "4|||||||||||||||||\n"
            "5|€ and ß|0001-01-01|23:59:59.999|9999-12-31 00:00:00|1|-32768|2147483647|1|1.0e+20|"
            "922337203685478.0|-99999999.99|FFFFFFFF|010203040506|00|||\n");
  EXPECT_EQ(Shell(sqlite + " \"select hex(substr(M, -8)) from T where ID = 2\""),
            "790D0A4352204C46\n");  // "y\r\nCR LF"
  EXPECT_EQ(Shell(sqlite + " \"select typeof(ID), typeof(F), typeof(P), typeof(BY), typeof(M), "
                           "typeof(D) from T where ID = 1\""),
            "integer|real|real|blob|text|text\n");
  EXPECT_EQ(Shell(sqlite + " \"select count(*) from T where Name is null\""), "1\n");
  // The indexes: the primary key and the case-insensitive secondary index.
  EXPECT_EQ(Shell(sqlite + " \"select sql from sqlite_master where type = 'index' and sql is "
                           "not null\""),
            "CREATE INDEX \"T_ByName\" ON \"T\" (\"Name\" COLLATE NOCASE)\n");
  EXPECT_THAT(Shell(sqlite + " \"insert into T (ID) values (1)\" 2>&1"), HasSubstr("UNIQUE"));

  // A second export into the same database replaces the table.
  ASSERT_EQ(Shell(sqlite + " < '" + script + "' 2>&1"), "");
  EXPECT_EQ(Shell(sqlite + " \"select count(*) from T\""), "5\n");

  CreateCodes();
  ASSERT_EQ(Run({"import", Table("K"), "-"}, "Code,N\nx'y,1\n").Status, 0);
  const TToolResult codes = Run({"export", Table("K"), "--format", "sql"});
  EXPECT_THAT(codes.Out, HasSubstr("PRIMARY KEY (\"Code\")"));
  EXPECT_THAT(codes.Out, HasSubstr("CREATE INDEX \"K_ByN\" ON \"K\" (\"N\" DESC);"));
  EXPECT_THAT(codes.Out, HasSubstr("VALUES('x''y',1);"));
  // The secondary indexes are made after the rows, inside the one transaction.
  EXPECT_GT(codes.Out.find("CREATE INDEX"), codes.Out.rfind("INSERT INTO"));
  EXPECT_GT(codes.Out.find("COMMIT;"), codes.Out.find("CREATE INDEX"));
}

TEST_F(ImportExportTest, FilterAndIndexChooseTheRowsAndTheirOrder) {
  CreateCodes();
  ASSERT_EQ(Run({"import", Table("K"), "-"}, "N,Code\n3,b\n1,D\n2,a\n4,Ab*\n").Status, 0);
  EXPECT_EQ(Run({"export", Table("K"), "--no-header"}).Out, "a,2\nAb*,4\nb,3\nD,1\n");
  EXPECT_EQ(Run({"export", Table("K"), "--no-header", "--index", "ByN"}).Out,
            "Ab*,4\nb,3\na,2\nD,1\n");
  EXPECT_EQ(Run({"export", Table("K"), "--no-header", "--filter", "N >= 2", "--index", "ByN"}).Out,
            "Ab*,4\nb,3\na,2\n");
  EXPECT_EQ(Run({"export", Table("K"), "--no-header", "--filter", "Code = 'a*'"}).Out, "a,2\n");
  EXPECT_EQ(
      Run({"export", Table("K"), "--no-header", "--filter", "Code = 'a*'", "--ignore-case"}).Out,
      "a,2\nAb*,4\n");
  EXPECT_EQ(
      Run({"export", Table("K"), "--no-header", "--filter", "Code = 'Ab*'", "--no-partial"}).Out,
      "Ab*,4\n");
  const TToolResult bad = Run({"export", Table("K"), "--filter", "Nope = 1"});
  EXPECT_EQ(bad.Status, 2);
  EXPECT_EQ(bad.Out, "");
  EXPECT_EQ(Run({"export", Table("K"), "--index", "Nope"}).Status, 2);
}

TEST_F(ImportExportTest, AnEncipheredTableNeedsItsPassword) {
  TTableDefinition def;
  def.TableName = dir_.File("P");
  def.Fields = {{"A", 1, 0, 10}};
  def.Password = "tajne";
  CreateTable(def);
  EXPECT_EQ(Run({"import", Table("P"), "-"}, "A\nx\n").Status, 1);
  const TToolResult imported = Run({"import", Table("P"), "-", "--password", "tajne"}, "A\nx\n");
  ASSERT_EQ(imported.Status, 0) << imported.Err;
  EXPECT_EQ(imported.Err, "1 row imported\n");
  EXPECT_EQ(Run({"export", Table("P")}).Status, 1);
  EXPECT_EQ(Run({"export", Table("P"), "--password", "tajne"}).Out, "A\nx\n");
  // Where ps and the shell's history do not show it: a file, or the environment.
  EXPECT_EQ(Run({"export", Table("P"), "--password-file", Csv("pw", "tajne\n")}).Out, "A\nx\n");
  EXPECT_EQ(Run({"export", Table("P"), "--password-file", Csv("pw2", "wrong\n")}).Status, 1);
  ::setenv("KATALOG_PASSWORD", "tajne", 1);
  EXPECT_EQ(Run({"export", Table("P")}).Out, "A\nx\n");
  EXPECT_THAT(Run({"info", Table("P")}).Out, HasSubstr("no protection against anyone"));
  ::unsetenv("KATALOG_PASSWORD");
}

// Semicolons and tabs as spreadsheets write them, and a chosen text for null, in and out.
TEST_F(ImportExportTest, DelimitersAndNullTokensWorkBothWays) {
  CreateCodes();
  const TToolResult semicolons = Run({"import", Table("K"), "-"}, "Code;N\n\"a;b\";1\nc;\n");
  ASSERT_EQ(semicolons.Status, 0) << semicolons.Err;
  const TToolResult tabs = Run({"import", Table("K"), "-", "--delimiter", "tab", "--null", "NA"},
                               "N\tCode\nNA\td\n3\t\"NA\"\n");
  ASSERT_EQ(tabs.Status, 0) << tabs.Err;
  EXPECT_EQ(Run({"export", Table("K"), "--delimiter", ";", "--null", "NA"}).Out,
            "Code;N\n\"a;b\";1\nc;NA\nd;NA\n\"NA\";3\n");
  // The value "NA" read as the text it was quoted as, not as null.
  EXPECT_EQ(Run({"count", Table("K"), "--filter", "Code = 'NA' AND N = 3"}).Out, "1\n");
  // One column: no delimiter to find; a value holding any delimiter is quoted, so that it
  // reads back whatever the header line suggests.
  const TToolResult one = Run({"import", Table("K"), "-"}, "Code\n\"e,f\"\n");
  EXPECT_EQ(one.Status, 0) << one.Err;
  const std::string codes = Run({"export", Table("K"), "--fields", "Code", "--delimiter", ";"}).Out;
  EXPECT_THAT(codes, HasSubstr("\n\"e,f\"\n"));
  CreateCodes("K2");
  EXPECT_EQ(Run({"import", Table("K2"), Csv("codes.csv", codes)}).Status, 0);
  EXPECT_EQ(Run({"export", Table("K2"), "--fields", "Code", "--delimiter", ";"}).Out, codes);
  // A null token that a reader would take for a delimiter or a quoted field is refused.
  EXPECT_EQ(Run({"export", Table("K"), "--null", ";"}).Status, 2);
  EXPECT_EQ(Run({"import", Table("K"), "-", "--null", "\"x\""}, "Code\nz\n").Status, 2);
}

// JSON that export writes, as an array or one object per line, imports back to the same table,
// the floating values infinity and NaN included.
TEST_F(ImportExportTest, JsonImportTakesTheExportBack) {
  CreateEveryType();
  ASSERT_EQ(Run({"import", Table(), Csv("in.csv", kHeader + kRows)}).Status, 0);
  ASSERT_EQ(Run({"import", Table(), "-"}, "Name,F\ni,inf\nj,-inf\nn,nan\n").Status, 0);
  const std::string csv = Run({"export", Table()}).Out;
  const std::string array = Run({"export", Table(), "--format", "json"}).Out;
  EXPECT_THAT(array, HasSubstr("\"F\":\"-inf\""));
  std::string lines;
  for (const json& object : json::parse(array)) lines += object.dump() + "\n";
  for (const auto& [name, text] : {std::pair{"A", array}, std::pair{"L", lines}}) {
    CreateEveryType(name);
    const TToolResult imported =
        Run({"import", Table(name), "-", "--format", "json", "--keep-ids"}, text);
    ASSERT_EQ(imported.Status, 0) << name << imported.Err;
    EXPECT_EQ(Run({"export", Table(name)}).Out, csv) << name;
  }
  const std::pair<const char*, const char*> faults[] = {
      {"[{\"Name\": \"a\"}, {\"Colour\": 1}]", "the table has no field \"Colour\""},
      {"[{\"Name\": [1]}]", "an object or array is not a value"},
      {"[{\"Name\": \"a\"}", "not closed"},
      {"{\"I\": \"x\"}", "row 1 (line 1), column \"I\": 'x' is not an integer"},
      {"\"text\"", "neither a JSON array nor JSON objects"},
      {"{\"Name\": \"a\", \"NAME\": \"b\"}", "the object names \"NAME\" twice"},
      {"[{\"F\": 1e400}]", "number overflow"},
      {"", "is empty"},
  };
  CreateEveryType("E");
  for (const auto& [text, message] : faults) {
    const TToolResult result = Run({"import", Table("E"), "-", "--format", "json"}, text);
    EXPECT_EQ(result.Status, 1) << text;
    EXPECT_THAT(result.Err, HasSubstr(message)) << text;
  }
}

// export, create from info --json and import --keep-ids give back an equal table, identifiers
// and the next one included; an import that stops names the duplicate and the --skip that goes
// on.
TEST_F(ImportExportTest, KeepIdsAndSkipRebuildATable) {
  CreateEveryType();
  ASSERT_EQ(Run({"import", Table(), Csv("in.csv", kHeader + kRows)}).Status, 0);
  ASSERT_EQ(Run({"delete", Table(), "--filter", "ID = 2 OR ID = 3"}).Status, 0);
  const std::string csv = Run({"export", Table()}).Out;
  const std::string schema = Csv("schema.json", Run({"info", Table(), "--json"}).Out);
  ASSERT_EQ(Run({"create", Table("U"), "--schema", schema}).Status, 0);
  const TToolResult kept = Run({"import", Table("U"), Csv("out.csv", csv), "--keep-ids"});
  ASSERT_EQ(kept.Status, 0) << kept.Err;
  EXPECT_EQ(Run({"export", Table("U")}).Out, csv);
  ASSERT_EQ(Run({"import", Table("U"), "-"}, "Name\nnew\n").Status, 0);
  EXPECT_EQ(Run({"count", Table("U"), "--filter", "ID = 6 AND Name = 'new'"}).Out, "1\n");
  // Without --keep-ids the table numbers the rows.
  ASSERT_EQ(Run({"create", Table("R"), "--schema", schema}).Status, 0);
  ASSERT_EQ(Run({"import", Table("R"), Csv("out.csv", csv), "--quiet"}).Status, 0);
  EXPECT_EQ(Run({"count", Table("R"), "--filter", "ID = 3"}).Out, "1\n");

  CreateCodes();
  const std::string rows = Csv("codes.csv", "Code,N\nA,1\nB,2\nA,3\nC,4\n");
  const TToolResult stopped = Run({"import", Table("K"), rows});
  EXPECT_EQ(stopped.Status, 1);
  EXPECT_THAT(stopped.Err, HasSubstr("row 3 (line 4): "));
  EXPECT_THAT(stopped.Err, HasSubstr("index Primary"));
  EXPECT_THAT(stopped.Err, HasSubstr("its key ('A') is in the table already"));
  EXPECT_THAT(stopped.Err, HasSubstr("2 rows before it were imported; --skip 2 goes on"));
  const TToolResult resumed = Run({"import", Table("K"), rows, "--skip", "3"});
  ASSERT_EQ(resumed.Status, 0) << resumed.Err;
  EXPECT_EQ(resumed.Err, "1 row imported\n");
  EXPECT_EQ(Run({"export", Table("K"), "--no-header"}).Out, "A,1\nB,2\nC,4\n");
  EXPECT_EQ(Run({"export", Table("K"), "--fields", "N,Code", "--limit", "2", "--no-header"}).Out,
            "1,A\n2,B\n");
  const TToolResult beyond = Run({"import", Table("K"), rows, "--skip", "9"});
  EXPECT_EQ(beyond.Status, 0);
  EXPECT_THAT(beyond.Err, HasSubstr("the input has 4 rows, all left out by --skip 9"));
  // An SQL copy of some fields leaves out the indexes on the others, and says so first.
  const TToolResult sql = Run({"export", Table("K"), "--format", "sql", "--fields", "Code"});
  EXPECT_EQ(sql.Status, 0);
  EXPECT_THAT(sql.Err, HasSubstr("index \"ByN\" is left out"));
  EXPECT_THAT(sql.Out, Not(HasSubstr("CREATE INDEX")));
  EXPECT_THAT(sql.Out, HasSubstr("COMMIT;"));
}

TEST_F(ImportExportTest, UsageErrorsExitTwoWithNothingOnStandardOutput) {
  CreateEveryType();
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"export", Table(), "--bogus"},
           {"export", Table(), "--format", "xml"},
           {"export", Table(), "--encoding", "latin1"},
           {"export", Table(), "--format", "json", "--null", "NULL"},
           {"export", Table(), "--format", "sql", "--no-header"},
           {"export", Table(), "--format", "json", "--encoding", "cp1250"},
           {"export", Table(), "extra"},
           {"export"},
           {"import", Table()},
           {"import", Table(), "a.csv", "b.csv"},
           {"import", Table(), "a.csv", "--encoding", "utf-16"},
           {"import", Table(), "a.csv", "--format", "sql"},
           {"import", Table(), "a.csv", "--format", "json", "--delimiter", ";"},
           {"import", Table(), "a.csv", "--skip", "-1"},
           {"export", Table(), "--delimiter", "auto"},
           {"export", Table(), "--fields", "Name,Nope"},
           {"export", Table(), "--fields", "Name,NAME"},
           {"export", Table(), "--limit", "-1"},
           {"export", Table(), "--index", "Nope"},
       }) {
    const TToolResult result = Run(args);
    EXPECT_EQ(result.Status, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(result.Out, "") << ::testing::PrintToString(args);
    EXPECT_FALSE(result.Err.empty()) << ::testing::PrintToString(args);
  }
  for (const char* command : {"import", "export"}) {
    const TToolResult help = Run({command, "--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_THAT(help.Out, HasSubstr("YYYY-MM-DD HH:MM:SS[.mmm]"));
    EXPECT_EQ(help.Err, "");
  }
}

TEST_F(ImportExportTest, ManyRowsStreamWithoutAProgressLineOffATerminal) {
  CreateCodes();
  std::string csv = "Code,N\n";
  for (int i = 0; i < 20000; ++i)
    csv += "c" + std::to_string(100000 + i) + "," + std::to_string(i) + "\n";
  const auto start = std::chrono::steady_clock::now();
  const TToolResult imported = Run({"import", Table("K"), Csv("many.csv", csv)});
  ASSERT_EQ(imported.Status, 0) << imported.Err;
  EXPECT_EQ(imported.Err, "20000 rows imported\n");
  const TToolResult exported = Run({"export", Table("K")});
  ASSERT_EQ(exported.Status, 0);
  EXPECT_EQ(exported.Out, csv);
  EXPECT_EQ(exported.Err, "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(120));
}

}  // namespace
}  // namespace katalog::testing
