#include "app/CommandLine.h"

namespace katalog {

const char* const kUsage =
    "usage: katalog [--screenshot FILE] [--data DIR] [SECTION]\n"
    "  SECTION            the section of data.ini to use (default 1)\n"
    "  --screenshot FILE  write a PNG of the main window once it is shown, then exit\n"
    "  --data DIR         the catalogue's directory (default: data/ beside the program)\n";

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  TCommandLine line;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.rfind("--", 0) != 0) {
      positional.push_back(argument);
      continue;
    }
    std::string* value = argument == "--screenshot" ? &line.screenshot
                         : argument == "--data"     ? &line.dataDirectory
                                                    : nullptr;
    if (value == nullptr) throw TCommandLineError("unknown option " + argument);
    if (i + 1 == arguments.size() || arguments[i + 1].empty())
      throw TCommandLineError(argument + " needs a value");
    *value = arguments[++i];
  }
  if (!positional.empty()) line.section = positional.front();
  return line;
}

}  // namespace katalog
