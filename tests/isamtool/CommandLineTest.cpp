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
                                             {"export", Table(), "--format", "xml"},
                                             {"count", Table(), "--filter"}}) {
    const TToolResult result = Run(args);
    EXPECT_EQ(result.Status, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(result.Out, "") << ::testing::PrintToString(args);
    EXPECT_FALSE(result.Err.empty()) << ::testing::PrintToString(args);
  }
  for (const char* command : {"create", "import", "export", "info", "count", "delete", "verify"}) {
    const TToolResult help = Run({command, "--help"});
    EXPECT_EQ(help.Status, 0) << command;
    EXPECT_THAT(help.Out, HasSubstr(std::string("isamtool ") + command)) << command;
  }
  EXPECT_EQ(Run({"--help"}).Status, 0);
}

TEST_F(CommandLineTest, SchemasNameTheKeyAtFault) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"[1, 2]", "the schema must be an object"},
      {R"({"fields": [{"name": "A", "type": "strin"}]})", "fields[0].type"},
      {R"({"fields": [{"name": "A", "type": "string"}]})", "fields[0].size is missing"},
      {R"({"fields": [{"name": "A", "type": "string", "size": 300}]})", "fields[0].size"},
      {R"({"fields": [{"name": "A", "type": "integer", "colour": 1}]})", "unknown key \"colour\""},
      {R"({"fields": [], "indexes": [{"name": "X", "fields": ["A"], "compression": "zip"}]})",
       "indexes[0].compression"},
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
  const json described = json::parse(info.Out);
  EXPECT_EQ(described["locale"], 1029);
  EXPECT_EQ(described["records"], 0);
  ASSERT_EQ(described["fields"].size(), 19u);
  EXPECT_EQ(described["fields"][1]["name"], "Jméno");
  EXPECT_EQ(described["fields"][1]["type"], "string");
  EXPECT_EQ(described["fields"][0]["type"], "autoinc");
  EXPECT_EQ(described["fields"][9]["max"], "2,5");  // stored in the table locale's form
  EXPECT_EQ(described["fields"][2]["min"], "1.1.2000");
  EXPECT_EQ(described["fields"][11]["scale"], 2);
  EXPECT_EQ(described["indexes"][1]["name"], "ByName");
  EXPECT_EQ(described["indexes"][1]["options"][0], "caseInsensitive");
  const TToolResult text = Run({"info", Table()});
  EXPECT_THAT(text.Out, HasSubstr("records      0"));

  // Count and delete on a table filled through the engine's own tool chain: a small table.
  ASSERT_EQ(Run({"create", dir_.File("N"), "--schema",
                 Schema(R"({"fields": [{"name": "K", "type": "integer"}],
                            "primaryIndex": {"fields": ["K"]}})")})
                .Status,
            0);
  EXPECT_EQ(Run({"count", dir_.File("N")}).Out, "0\n");
  EXPECT_EQ(Run({"delete", dir_.File("N"), "--filter", "K > 5"}).Out, "0\n");
  const TToolResult bad = Run({"count", dir_.File("N"), "--filter", "K >"});
  EXPECT_EQ(bad.Status, 1);
  EXPECT_THAT(bad.Err, HasSubstr("Expression expected but nothing found"));
  const TToolResult missing = Run({"count", dir_.File("Nope")});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_THAT(missing.Err, HasSubstr("ISAM Engine Error #"));
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
    ok(run({"create", "--schema", schema}));
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
