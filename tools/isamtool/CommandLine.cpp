#include "tools/isamtool/CommandLine.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "tools/isamtool/Commands.h"
#include "tools/isamtool/HelpTexts.h"
#include "tools/isamtool/ValueText.h"

namespace katalog::isamtool {

namespace {

// Every option below is declared here once; the commands that take it call its adder.

void AddTable(CLI::App& command, TTableOptions& table) {
  command.add_option("TABLE", table.Table, "the table's path, with or without .DAT")->required();
  CLI::Option* given = command.add_option("--password", table.Password.Password,
                                          "the password of an enciphered table (visible in ps)");
  given->type_name("P");
  CLI::Option* file = command.add_option("--password-file", table.Password.File,
                                         "read the password from the first line of FILE");
  file->type_name("FILE");
  given->excludes(file);
}

void AddFilter(CLI::App& command, TFilterChoice& filter) {
  command.add_option("--filter", filter.Expression, "only the records the expression selects")
      ->type_name("EXPR");
  command.add_flag("--ignore-case", filter.IgnoreCase,
                   "the filter compares = and <> on text without regard to case");
  command.add_flag("--no-partial", filter.NoPartial,
                   "a trailing '*' in a filter constant is an ordinary character");
}

void AddEncoding(CLI::App& command, TEncoding& encoding, const std::string& what) {
  command
      .add_option_function<std::string>(
          "--encoding",
          [&encoding](const std::string& name) {
            encoding = name == "cp1250" ? TEncoding::Cp1250 : TEncoding::Utf8;
          },
          what)
      ->type_name("utf-8|cp1250")
      ->check(CLI::IsMember({"utf-8", "cp1250"}).description(""));
}

// --delimiter: ',' ';' 'tab', and on reading 'auto': the one of them the header line has most of
// outside quotes.
void AddCsv(CLI::App& command, TCsvOptions& csv, bool reading) {
  std::vector<std::string> names{",", ";", "tab"};
  if (reading) names.push_back("auto");
  command
      .add_option_function<std::string>(
          "--delimiter",
          [&csv](const std::string& name) {
            csv.Delimiter = name == "auto" ? '\0' : name == "tab" ? '\t' : name[0];
          },
          reading ? "between fields: , ; tab, or auto (the default): the one the header line has "
                    "most of"
                  : "between fields: , (the default) ; or tab")
      ->type_name(reading ? ",|;|tab|auto" : ",|;|tab")
      ->check(CLI::IsMember(names).description(""));
  command
      .add_option("--null", csv.Null,
                  reading ? "a field holding TOKEN (unquoted) is null; empty fields are null too"
                          : "write null as TOKEN (default: an empty field); a value equal to it "
                            "is quoted")
      ->type_name("TOKEN");
}

// A count that cannot be negative (--skip, --limit).
const CLI::Validator kCount(
    [](std::string& text) {
      return !text.empty() && text[0] == '-' ? std::string("must not be negative") : "";
    },
    "", "count");

void AddQuiet(CLI::App& command, bool& quiet, const char* what) {
  command.add_flag("--quiet,-q", quiet, what);
}

// A command and its options, which the parse fills and the command gets when it was chosen.
template <class TOptions>
struct TDeclared {
  CLI::App& Command;
  std::shared_ptr<TOptions> Options;
};

template <class TOptions>
TDeclared<TOptions> Declare(CLI::App& app, const char* name, const char* description,
                            std::function<int()>& chosen, int (*run)(const TOptions&)) {
  auto options = std::make_shared<TOptions>();
  CLI::App* command = app.add_subcommand(name, description);
  command->callback([&chosen, options, run] { chosen = [options, run] { return run(*options); }; });
  return {*command, options};
}

}  // namespace

TParsedCommandLine ParseCommandLine(int argc, char** argv) {
  CLI::App app{"Builds, imports, exports, inspects, verifies and repairs tables.", "isamtool"};
  app.set_version_flag("--version", std::string("isamtool ") + KATALOG_VERSION);
  app.set_help_all_flag("--help-all", "every command's help");
  app.require_subcommand(1, 1);
  app.footer(kExitStatusHelp);
  app.get_formatter()->column_width(34);
  std::function<int()> chosen;

  {
    auto [c, o] = Declare<TCreateOptions>(app, "create", "create an empty table from a JSON schema",
                                          chosen, RunCreate);
    AddTable(c, o->Table);
    c.add_option("--schema", o->Schema, "the table's fields and indexes, as JSON (below)")
        ->required()
        ->type_name("FILE.json");
    c.add_flag("--replace", o->Replace, "replace a table that exists (its records are lost)");
    AddQuiet(c, o->Quiet, "say nothing on standard error");
    c.footer(kSchemaHelp);
  }
  {
    auto [c, o] = Declare<TImportOptions>(app, "import", "append the rows of a CSV or JSON file",
                                          chosen, RunImport);
    AddTable(c, o->Table);
    c.add_option("FILE", o->File, "the file; - is standard input")->required();
    c.add_option("--format", o->Format, "csv (the default) or json")
        ->check(CLI::IsMember({"csv", "json"}).description(""));
    AddEncoding(c, o->Encoding,
                "CSV: the file's encoding, utf-8 (the default; a byte order mark is skipped) or "
                "cp1250");
    o->Csv.Delimiter = '\0';  // found in the header line unless given
    AddCsv(c, o->Csv, true);
    c.add_flag("--keep-ids", o->KeepIds,
               "keep the autoincrement values the file gives (else the table numbers the rows)");
    c.add_option("--skip", o->Skip, "leave out the first N rows (to go on after a stop)")
        ->type_name("N")
        ->check(kCount);
    AddQuiet(c, o->Quiet, "neither the progress line nor the summary on standard error");
    c.footer(std::string(kImportHelp) + "\n" + kValueFormatsHelp);
  }
  {
    auto [c, o] = Declare<TExportOptions>(app, "export", "write the records as CSV, JSON or SQL",
                                          chosen, RunExport);
    AddTable(c, o->Table);
    c.add_option("--format", o->Format, "csv (the default), json or sql")
        ->check(CLI::IsMember({"csv", "json", "sql"}).description(""));
    c.add_option("--index", o->Index, "the order of this secondary index")->type_name("NAME");
    AddFilter(c, o->Filter);
    c.add_option("--fields", o->Fields, "only these fields, in this order")
        ->delimiter(',')
        ->type_name("A,B,...");
    c.add_option("--limit", o->Limit, "at most N records")->type_name("N")->check(kCount);
    AddEncoding(c, o->Encoding, "CSV: utf-8 (the default) or cp1250; JSON and SQL are UTF-8");
    AddCsv(c, o->Csv, false);
    c.add_flag("--no-header", o->NoHeader, "CSV: no row of field names");
    AddQuiet(c, o->Quiet, "no progress line on standard error");
    c.footer(std::string(kExportHelp) + "\n" + kFilterHelp + "\n" + kValueFormatsHelp);
  }
  {
    auto [c, o] = Declare<TInfoOptions>(app, "info", "show the header, fields, indexes and sizes",
                                        chosen, RunInfo);
    AddTable(c, o->Table);
    c.add_flag("--json", o->Json, "one JSON object, which create takes as a schema");
    c.footer(kInfoHelp);
  }
  {
    auto [c, o] = Declare<TCountOptions>(
        app, "count", "print the number of records (under a filter)", chosen, RunCount);
    AddTable(c, o->Table);
    AddFilter(c, o->Filter);
    c.footer(kFilterHelp);
  }
  {
    auto [c, o] = Declare<TDeleteOptions>(
        app, "delete", "delete the records a filter selects, or all", chosen, RunDelete);
    AddTable(c, o->Table);
    AddFilter(c, o->Filter);
    c.add_flag("--all", o->All, "delete every record (instead of --filter)");
    AddQuiet(c, o->Quiet, "say nothing on standard error");
    c.footer(std::string(kDeleteHelp) + "\n" + kFilterHelp);
  }
  {
    auto [c, o] = Declare<TTableOptions>(
        app, "verify", "check every file of a table, changing nothing", chosen, RunVerify);
    AddTable(c, *o);
    c.footer(kVerifyHelp);
  }
  {
    auto [c, o] = Declare<TTableOptions>(
        app, "repair", "bring a damaged table back from its records", chosen, RunRepair);
    AddTable(c, *o);
    c.footer(kRepairHelp);
  }

  TParsedCommandLine parsed;
  std::string error;
  // A first word that names no command, said as such rather than as a missing command.
  const auto named = [&](const CLI::App* command) { return command->check_name(argv[1]); };
  if (argc > 1 && argv[1][0] != '-' && app.get_subcommands(named).empty()) {
    std::cerr << "isamtool: unknown command '" << argv[1] << "'\nTry 'isamtool --help'.\n";
    parsed.Status = 2;
    return parsed;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help, --help-all, --version
    parsed.Status = app.exit(e);
    return parsed;
  } catch (const CLI::ParseError& e) {
    parsed.Status = 2;
    error = e.what();
  }
  parsed.Command = "isamtool";
  for (const CLI::App* command : app.get_subcommands()) parsed.Command += " " + command->get_name();
  if (parsed.Status == 2) {
    std::cerr << parsed.Command << ": " << error << "\nTry '" << parsed.Command << " --help'.\n";
  } else {
    parsed.Run = chosen;
  }
  return parsed;
}

}  // namespace katalog::isamtool
