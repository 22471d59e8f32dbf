// The viewer's command line. Options that begin with "--" are taken out first; of the remaining
// arguments the first names the configuration section and the others are ignored.
//   --screenshot FILE  show the main window, write a PNG of it once shown, and exit
//   --data DIR         read the catalogue (tables and data.ini) from DIR instead of data/
//                      beside the program
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace katalog {

class TCommandLineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TCommandLine {
  std::string section = "1";  // as given (the local 8-bit encoding)
  std::string screenshot;     // empty: show the window for the user
  std::string dataDirectory;  // empty: data/ beside the program
};

extern const char* const kUsage;

// The arguments after the program name. An unknown option or a missing value is a
// TCommandLineError.
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace katalog
