// isamtool's command line: usage errors, create from schemas, info, count and delete, run as
// the real executable.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "isamtool/ToolRunner.h"

namespace katalog::testing {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

class CommandLineTest : public ::testing::Test {
 protected:
  std::string Schema(const std::string& text) {
    const std::string path = dir_.File("schema.json");
    std::ofstream(path) << text;
    return path;
  }
  TToolResult Run(const std::vector<std::string>& args) { return RunTool(dir_, args); }
  std::string Table() { return dir_.File("T"); }

  TempDir dir_;
};

// Every type, a primary index and a case-insensitive secondary one.
constexpr const char* kEveryType = R"({"locale": 1029, "fields": [
  {"name": "ID", "type": "autoinc"}, {"name": "Jméno", "type": "string", "size": 30, "required": true},
  {"name": "D", "type": "date", "min": "2000-01-01"}, {"name": "T", "type": "time"},
  {"name": "DT", "type": "datetime"}, {"name": "B", "type": "boolean", "default": "true"},
  {"name": "S", "type": "smallint"}, {"name": "I", "type": "integer"}, {"name": "W", "type": "word"},
  {"name": "F", "type": "float", "max": "2.5"}, {"name": "C", "type": "currency"},
  {"name": "P", "type": "bcd", "scale": 2, "min": "0", "max": "1000", "default": "0"},
  {"name": "BY", "type": "bytes", "size": 4}, {"name": "VB", "type": "varbytes", "size": 8},
  {"name": "M", "type": "memo"}, {"name": "BL", "type": "blob"}, {"name": "FM", "type": "fmtmemo"},
  {"name": "G", "type": "graphic"}, {"name": "TB", "type": "typedbinary"}],
  "primaryIndex": {"fields": ["ID"]},
  "indexes": [{"name": "ByName", "fields": ["Jméno"], "caseInsensitive": true, "compression": "full"}]})";

TEST_F(CommandLineTest, UsageErrorsExitTwoWithAMessage) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"frobnicate"},
                                             {"count"},
                                             {"count", Table(), "--bogus"},
                                             {"count", Table(), "extra", "--filter", "x"},
                                             {"create", Table()},
                                             {"delete", Table()},
                                             {"delete", Table(), "--filter", " "},
                                             {"delete", Table(), "--all", "--filter", "K > 1"},
                                             {"export", Table(), "--format", "xml"},
                                             {"export", Table(), "--filt", "K > 1"},
                                             {"import", Table(), "-", "--delimiter", "|"},
                                             {"count", Table(), "--filter"}}) {
    const TToolResult result = Run(args);
    EXPECT_EQ(result.Status, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(result.Out, "") << ::testing::PrintToString(args);
    EXPECT_FALSE(result.Err.empty()) << ::testing::PrintToString(args);
  }
  for (const char* command :
       {"create", "import", "export", "info", "count", "delete", "verify", "repair"}) {
    const TToolResult help = Run({command, "--help"});
    EXPECT_EQ(help.Status, 0) << command;
    EXPECT_THAT(help.Out, HasSubstr(std::string("isamtool ") + command)) << command;
  }
  EXPECT_EQ(Run({"--help"}).Status, 0);
  const TToolResult version = Run({"--version"});
  EXPECT_EQ(version.Status, 0);
  EXPECT_THAT(version.Out, ::testing::StartsWith("isamtool "));
}

TEST_F(CommandLineTest, SchemasNameTheKeyAtFault) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"[1, 2]", "the schema must be an object"},
      {R"({"fields": [{"name": "A", "type": "strin"}]})", "fields[0].type"},
      {R"({"fields": [{"name": "A", "type": "string"}]})", "fields[0].size is missing"},
      {R"({"fields": [{"name": "A", "type": "string", "size": 300}]})", "fields[0].size"},
      {R"({"fields": [{"name": "A", "type": "integer", "colour": 1}]})", "unknown key \"colour\""},
      {R"({"fields": [{"name": "A", "type": "integer"}],
           "indexes": [{"name": "X", "fields": ["A"], "compression": "zip"}]})",
       "indexes[0].compression"},
      {R"({"fields": []})", "fields must be an array of at least one field"},
      {R"({"enciphered": true, "fields": [{"name": "A", "type": "integer"}]})", "password"},
      {R"({"fields": [{"name": "D", "type": "date", "min": "1.2.2000"}]})", "fields[0].min"},
      {R"({"locale": 99999, "fields": []})", "locale"},
      {"{not json", "not JSON"},
  };
  for (const auto& [text, message] : cases) {
    const TToolResult result = Run({"create", Table(), "--schema", Schema(text)});
    EXPECT_EQ(result.Status, 2) << text;
    EXPECT_THAT(result.Err, HasSubstr(message)) << text;
  }
  // A definition the engine refuses is the engine's error.
  const TToolResult engine =
      Run({"create", Table(), "--schema", Schema(R"({"fields": [{"name": "A", "type": "integer"},
                                              {"name": "a", "type": "integer"}]})")});
  EXPECT_EQ(engine.Status, 1);
  EXPECT_THAT(engine.Err, HasSubstr("ISAM Engine Error #"));
}

TEST_F(CommandLineTest, CreateInfoCountAndDelete) {
  ASSERT_EQ(Run({"create", Table(), "--schema", Schema(kEveryType)}).Status, 0);
  const TToolResult info = Run({"info", Table() + ".dat", "--json"});
  ASSERT_EQ(info.Status, 0) << info.Err;
  json described = json::parse(info.Out);
  EXPECT_EQ(described["locale"], 1029);
  EXPECT_EQ(described["records"], 0);
  ASSERT_EQ(described["fields"].size(), 19u);
  EXPECT_EQ(described["fields"][1]["name"], "Jméno");
  EXPECT_EQ(described["fields"][1]["type"], "string");
  EXPECT_EQ(described["fields"][0]["type"], "autoinc");
  EXPECT_EQ(described["fields"][9]["max"], "2.5");  // in the tool's forms, as schemas have them
  EXPECT_EQ(described["fields"][2]["min"], "2000-01-01");
  EXPECT_EQ(described["fields"][11]["scale"], 2);
  EXPECT_EQ(described["primaryIndex"]["fields"][0], "ID");
  EXPECT_EQ(described["indexes"][0]["name"], "ByName");
  EXPECT_EQ(described["indexes"][0]["caseInsensitive"], true);
  EXPECT_EQ(described["indexes"][0]["compression"], "full");
  const TToolResult text = Run({"info", Table()});
  EXPECT_THAT(text.Out, HasSubstr("records      0"));

  // The description is a schema: a table made from it describes itself the same way.
  const TToolResult copied = Run({"create", dir_.File("C"), "--schema", Schema(info.Out)});
  ASSERT_EQ(copied.Status, 0) << copied.Err;
  json copy = json::parse(Run({"info", dir_.File("C"), "--json"}).Out);
  for (const char* key : {"table", "files"}) copy.erase(key), described.erase(key);
  EXPECT_EQ(copy, described);

  // An existing table is not replaced without --replace, and says what was done when it is.
  const TToolResult refused = Run({"create", dir_.File("C"), "--schema", Schema(kEveryType)});
  EXPECT_EQ(refused.Status, 1);
  EXPECT_THAT(refused.Err, HasSubstr("exists already; nothing was changed"));
  EXPECT_EQ(json::parse(Run({"info", dir_.File("C"), "--json"}).Out)["fields"].size(), 19u);
  const TToolResult replaced = Run({"create", dir_.File("C"), "--replace", "--schema",
                                    Schema(R"({"fields": [{"name": "K", "type": "integer"}]})")});
  EXPECT_EQ(replaced.Status, 0) << replaced.Err;
  EXPECT_THAT(replaced.Err, HasSubstr("replaced"));
  EXPECT_EQ(json::parse(Run({"info", dir_.File("C"), "--json"}).Out)["fields"].size(), 1u);

  // Count and delete on a table filled through the engine's own tool chain: a small table.
  ASSERT_EQ(Run({"create", dir_.File("N"), "--schema",
                 Schema(R"({"fields": [{"name": "K", "type": "integer"}],
                            "primaryIndex": {"fields": ["K"]}})")})
                .Status,
            0);
  EXPECT_EQ(Run({"count", dir_.File("N")}).Out, "0\n");
  EXPECT_EQ(Run({"delete", dir_.File("N"), "--filter", "K > 5"}).Out, "0\n");
  EXPECT_EQ(Run({"delete", dir_.File("N"), "--all"}).Out, "0\n");
  const TToolResult missing = Run({"count", dir_.File("Nope")});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_THAT(missing.Err, HasSubstr("ISAM Engine Error #"));
}

// Filters read their constants in the tool's forms. One that does not read is a usage error shown
// with a caret under the fault and, for the usual mistakes, a line of advice.
TEST_F(CommandLineTest, FiltersReadTheToolsFormsAndPointAtTheirFaults) {
  ASSERT_EQ(Run({"create", Table(), "--schema", Schema(R"({"locale": 1029, "fields": [
      {"name": "Město", "type": "string", "size": 20}, {"name": "Flight Date", "type": "date"},
      {"name": "Lat", "type": "float"}, {"name": "At", "type": "datetime"}]})")})
                .Status,
            0);
  ASSERT_EQ(RunTool(dir_, {"import", Table(), "-"},
                    "Město;Flight Date;Lat;At\nPlzeň;2000-01-01;50.5;2000-01-01 10:00:00\n"
                    "Brno;1999-12-31;49.2;2000-01-01T09:00:00\n")
                .Status,
            0);
  const std::pair<const char*, const char*> counts[] = {
      {"[Flight Date] >= '2000-01-01'", "1"},
      {"Lat > '50.4'", "1"},
      {"Lat > 50.4", "1"},
      {"At >= '2000-01-01T09:30:00'", "1"},
      {"[Město] = 'Plzeň'", "1"},
      {"At < '2000-01-01 09:00:00.001'", "1"},
  };
  for (const auto& [filter, count] : counts) {
    const TToolResult result = Run({"count", Table(), "--filter", filter});
    EXPECT_EQ(result.Out, std::string(count) + "\n") << filter << "\n" << result.Err;
  }
  struct TFault {
    const char* Filter;
    int Column;  // of the caret, in characters
    const char* Advice;
  };
  const TFault faults[] = {
      {"Město = 'Plzeň'", 1, "goes in brackets: [Město]"},
      {"Flight Date >= '2000-01-01'", 7, "goes in brackets: [Flight Date]"},
      {"[Flight Date] >= '1.1.2000'", 17, "dates 2000-01-31"},
      {"Lat > '50,5'", 6, "numbers 50.5"},
      {"Lat == 1", 5, "there is no =="},
      {"Lat != 1", 4, "write <> for 'not equal'"},
      {"[Město] = \"Plzeň\"", 10, "single quotes"},
  };
  for (const TFault& fault : faults) {
    for (const char* command : {"count", "export", "delete"}) {
      const TToolResult result = Run({command, Table(), "--filter", fault.Filter});
      EXPECT_EQ(result.Status, 2) << command << " " << fault.Filter;
      EXPECT_EQ(result.Out, "");
      EXPECT_THAT(result.Err, HasSubstr("\n  " + std::string(fault.Filter) + "\n" +
                                        std::string(2 + fault.Column, ' ') + "^\n"))
          << command;
      EXPECT_THAT(result.Err, HasSubstr(fault.Advice)) << command;
    }
  }
  EXPECT_EQ(Run({"count", Table()}).Out, "2\n");
}

// A table named by a relative path with folders, also through "./" and "../", is the same table
// for every command: the one in that folder, not one of its name in the current directory.
TEST_F(CommandLineTest, EveryCommandTakesRelativePathsWithFolders) {
  std::filesystem::create_directories(dir_.File("work/sub"));
  std::filesystem::create_directories(dir_.File("work/other"));
  // A table of the same name in the working directory, which none of the paths names.
  ASSERT_EQ(Run({"create", dir_.File("work/places"), "--schema",
                 Schema(R"({"fields": [{"name": "X", "type": "integer"}]})")})
                .Status,
            0);
  const std::string schema = Schema(R"({"fields": [{"name": "K", "type": "integer"},
      {"name": "N", "type": "string", "size": 10}], "primaryIndex": {"fields": ["K"]}})");
  const std::string rows = dir_.Write("rows.csv", "K,N\n1,one\n2,two\n");
  struct TCase {
    const char* WorkingDirectory;
    const char* Table;
  };
  const TCase cases[] = {
      {"work", "sub/places"},     {"work", "./sub/places"}, {"work/other", "../sub/places"},
      {"work", "sub/places.DAT"}, {"work/sub", "places"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Table) + " in " + c.WorkingDirectory);
    const std::string cwd = dir_.File(c.WorkingDirectory);
    const auto run = [&](std::vector<std::string> args) {
      args.insert(args.begin() + 1, c.Table);
      return RunTool(dir_, args, "", cwd);
    };
    const auto ok = [&](const TToolResult& result) {
      EXPECT_EQ(result.Status, 0) << result.Err;
      return result;
    };
    ok(run({"create", "--schema", schema, "--replace"}));
    ok(run({"import", rows}));
    EXPECT_EQ(ok(run({"count"})).Out, "2\n");
    EXPECT_EQ(ok(run({"export"})).Out, "K,N\n1,one\n2,two\n");
    const TToolResult info = ok(run({"info", "--json"}));
    if (info.Status == 0) {
      const json described = json::parse(info.Out);
      EXPECT_EQ(described["records"], 2);
      EXPECT_GT(described["files"]["places.DAT"].get<int>(), 0);
    }
    EXPECT_EQ(ok(run({"delete", "--filter", "K > 1"})).Out, "1\n");
    ok(run({"verify"}));
    ok(run({"repair"}));
    EXPECT_EQ(ok(run({"count"})).Out, "1\n");
    EXPECT_TRUE(std::filesystem::exists(dir_.File("work/sub/places.DAT")));
  }
  // Names that exist only in another letter case are found as the engine finds them, sizes too.
  const TToolResult upper = RunTool(dir_, {"info", "SUB/PLACES", "--json"}, "", dir_.File("work"));
  ASSERT_EQ(upper.Status, 0) << upper.Err;
  EXPECT_GT(json::parse(upper.Out)["files"]["PLACES.DAT"].get<int>(), 0) << upper.Out;
  // The table in the working directory was left alone.
  EXPECT_EQ(Run({"info", dir_.File("work/places"), "--json"}).Out.find("\"K\""), std::string::npos);
}

}  // namespace
}  // namespace katalog::testing
