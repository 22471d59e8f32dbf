// The millisecond tick count and sleeping, for the engine's lock retries.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace katalog::platform {

// Milliseconds from a fixed point in the past; never goes backwards.
inline std::uint64_t TickCount() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

inline void Sleep(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Waits until more than `milliseconds` have passed on the tick count since `start`, looking at
// the tick every millisecond rather than spinning the processor.
inline void WaitUntilTickPasses(std::uint64_t start, std::uint32_t milliseconds) {
  while (TickCount() - start <= milliseconds) Sleep(1);
}

}  // namespace katalog::platform
