// A process-wide service function with a default that callers may replace: the viewer's desktop
// shell and message box, which tests replace to see what would be opened or shown. Used from the
// user-interface thread only.
#pragma once

#include <utility>

namespace katalog {

template <class F>
class TReplaceable {
 public:
  explicit TReplaceable(F fallback) : fallback_(fallback), current_(std::move(fallback)) {}

  // Installs f and returns the function it replaces; an empty f installs the default again.
  F Set(F f) {
    F previous = std::move(current_);
    current_ = f ? std::move(f) : fallback_;
    return previous;
  }
  const F& operator*() const { return current_; }

 private:
  F fallback_;
  F current_;
};

}  // namespace katalog
