// isamtool's command line: the commands, their options declared once each, help and --version.
#pragma once

#include <functional>
#include <string>

namespace katalog::isamtool {

struct TParsedCommandLine {
  std::function<int()> Run;  // the chosen command; none after --help, --version or a mistake
  std::string Command;       // "isamtool import", for messages
  int Status = 0;            // without Run: 0 after help or version, 2 after a usage error
};

// Parses the arguments; help, the version and usage errors (with a hint) are printed here.
TParsedCommandLine ParseCommandLine(int argc, char** argv);

}  // namespace katalog::isamtool
