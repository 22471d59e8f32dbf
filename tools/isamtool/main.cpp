// isamtool: build, import, export, inspect, verify and repair tables from the command line.
#include <exception>
#include <iostream>
#include <string>

#include "engine/components/Session.h"
#include "engine/components/SessionList.h"
#include "tools/isamtool/CommandLine.h"
#include "tools/isamtool/Commands.h"
#include "tools/isamtool/Encoding.h"
#include "tools/isamtool/Password.h"

using namespace katalog::isamtool;

int main(int argc, char** argv) {
  const TParsedCommandLine parsed = ParseCommandLine(argc, argv);
  if (!parsed.Run) return parsed.Status;
  InstallPasswordPrompt();
  int status = 1;
  try {
    status = parsed.Run();
  } catch (const TUsageError& e) {
    std::cerr << parsed.Command << ": " << Printable(e.what()) << "\n"
              << "Try '" << parsed.Command << " --help'.\n";
    status = 2;
  } catch (const std::exception& e) {
    std::cerr << Printable(e.what()) << "\n";
    status = 1;
  }
  try {
    katalog::Sessions().DefaultSession().SetActive(false);
  } catch (const std::exception& e) {
    std::cerr << Printable(e.what()) << "\n";
    if (status == 0) status = 1;
  }
  return status;
}
