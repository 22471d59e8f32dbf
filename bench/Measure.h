// What the benchmarks time with and how they refuse a wrong answer.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace katalog::bench {

using TClock = std::chrono::steady_clock;

inline double SecondsSince(TClock::time_point start) {
  return std::chrono::duration<double>(TClock::now() - start).count();
}

// A fast wrong answer must never count: the run stops.
inline void Expect(bool right, const std::string& what) {
  if (!right) throw std::runtime_error("wrong result: " + what);
}

// The text as one word of a shell command.
inline std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs a shell command; one that fails stops the run.
inline void RunCommand(const std::string& command) {
  std::fflush(nullptr);
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

}  // namespace katalog::bench
