// Runs the isamtool executable as a user would, with its output, errors and exit status.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace katalog::testing {

struct TToolResult {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// Runs `isamtool ARGS...` (each argument quoted for the shell), with `input` on standard input
// when given and, when `workingDirectory` is given, in that directory; output and errors go
// through files in `dir`.
inline TToolResult RunTool(const TempDir& dir, const std::vector<std::string>& args,
                           const std::string& input = "",
                           const std::string& workingDirectory = "") {
  auto quote = [](const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  };
  std::string command = quote(ISAMTOOL);
  if (!workingDirectory.empty()) command = "cd " + quote(workingDirectory) + " && " + command;
  for (const std::string& arg : args) command += " " + quote(arg);
  const std::string in = dir.File("tool.in"), out = dir.File("tool.out"),
                    err = dir.File("tool.err");
  std::ofstream(in, std::ios::binary) << input;
  command += " < " + quote(in) + " > " + quote(out) + " 2> " + quote(err);
  TToolResult result;
  const int raw = std::system(command.c_str());
  result.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  auto read = [](const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  };
  result.Out = read(out);
  result.Err = read(err);
  return result;
}

}  // namespace katalog::testing
