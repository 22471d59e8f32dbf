// isamtool: build, import, export, inspect, verify and repair tables from the command line.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "engine/components/Session.h"
#include "engine/components/SessionList.h"
#include "platform/Utf8.h"
#include "tools/isamtool/Commands.h"
#include "tools/isamtool/Encoding.h"
#include "tools/isamtool/Options.h"

namespace {

using namespace katalog::isamtool;

struct TCommand {
  const char* Name;
  int (*Run)(const TArgs&);
  const char* Summary;
};

constexpr TCommand kCommands[] = {
    {"create", RunCreate, "create an empty table from a JSON schema"},
    {"import", RunImport, "append the rows of a CSV file"},
    {"export", RunExport, "write the records as CSV, JSON or SQL"},
    {"info", RunInfo, "show the header, fields, indexes and sizes"},
    {"count", RunCount, "print the number of records (under a filter)"},
    {"delete", RunDelete, "delete the records a filter selects"},
    {"verify", RunVerify, "check every file of a table without changing it"},
    {"repair", RunRepair, "bring a damaged table back from its records"},
};

// A message for the terminal: the engine's and the data set's texts are code page 1250, while
// file names and isamtool's own messages are UTF-8 already.
std::string Printable(const std::string& message) {
  std::u16string units;
  if (katalog::platform::TryUtf8ToUtf16(message, units)) return message;
  return Utf8Of(message, TEncoding::Cp1250);
}

void Usage(std::ostream& out) {
  out << "usage: isamtool COMMAND TABLE [options]\n\n"
         "TABLE is the table's path with or without \".DAT\".\n\ncommands:\n";
  for (const TCommand& c : kCommands)
    out << "  " << c.Name << std::string(8 - std::string(c.Name).size(), ' ') << c.Summary << "\n";
  out << "\n'isamtool COMMAND --help' describes a command. Exit status: 0 success, 1 an engine or\n"
         "data error, 2 a usage error.\n";
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> all(argv + 1, argv + argc);
  if (all.empty()) {
    Usage(std::cerr);
    return 2;
  }
  if (all[0] == "--help" || all[0] == "-h") {
    Usage(std::cout);
    return 0;
  }
  for (const TCommand& command : kCommands) {
    if (all[0] != command.Name) continue;
    int status = 1;
    try {
      status = command.Run(TArgs(all.begin() + 1, all.end()));
    } catch (const TUsageError& e) {
      std::cerr << "isamtool " << command.Name << ": " << e.what() << "\n"
                << "Try 'isamtool " << command.Name << " --help'.\n";
      status = 2;
    } catch (const std::exception& e) {
      std::cerr << Printable(e.what()) << "\n";
      status = 1;
    }
    try {
      katalog::Sessions().DefaultSession().SetActive(false);
    } catch (const std::exception& e) {
      std::cerr << e.what() << "\n";
      if (status == 0) status = 1;
    }
    return status;
  }
  std::cerr << "isamtool: unknown command '" << all[0] << "'\n";
  Usage(std::cerr);
  return 2;
}
