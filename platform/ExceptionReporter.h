// The application's exception handler. Wherever the GUI toolkit or a callback calls into our code,
// the code runs through RunReported, so that no exception crosses the event loop: what it throws is
// handed to the current reporter, and the program goes on. The program installs a reporter that
// shows the error box; tests install their own. The default writes the message to stderr.
//
// The reporter is process-wide; setting and reading it are guarded by a mutex. It is called
// outside that lock, so a reporter may itself report or replace the reporter.
#pragma once

#include <exception>
#include <functional>
#include <utility>

namespace katalog::platform {

using TExceptionReporter = std::function<void(std::exception_ptr)>;

// Installs the reporter and returns the one it replaces (always callable). An empty function
// installs the default again.
TExceptionReporter SetExceptionReporter(TExceptionReporter reporter);

// Hands the exception to the current reporter; a null pointer reports nothing. The default
// reporter writes what() of a std::exception, or "Unknown exception", and a newline to stderr. When
// the reporter throws, that exception is written to stderr the same way and goes no further.
void ReportException(std::exception_ptr error) noexcept;

// Runs f and reports whatever it throws.
template <class F>
void RunReported(F&& f) noexcept {
  try {
    std::forward<F>(f)();
  } catch (...) {
    ReportException(std::current_exception());
  }
}

}  // namespace katalog::platform
