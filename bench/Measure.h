// What the benchmarks time with and how they refuse a wrong answer.
#pragma once

#include <chrono>
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

}  // namespace katalog::bench
