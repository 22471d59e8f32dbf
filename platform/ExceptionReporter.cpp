#include "platform/ExceptionReporter.h"

#include <cstdio>
#include <mutex>

namespace katalog::platform {
namespace {

// Writes the message without allocating, so it works when memory has run out.
void WriteToStderr(std::exception_ptr error) noexcept {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fputs(e.what(), stderr);
  } catch (...) {
    std::fputs("Unknown exception", stderr);
  }
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

std::mutex& ReporterMutex() {
  static std::mutex mutex;
  return mutex;
}

TExceptionReporter& CurrentReporter() {
  static TExceptionReporter reporter = WriteToStderr;
  return reporter;
}

}  // namespace

TExceptionReporter SetExceptionReporter(TExceptionReporter reporter) {
  if (!reporter) reporter = WriteToStderr;
  std::lock_guard lock(ReporterMutex());
  std::swap(CurrentReporter(), reporter);
  return reporter;
}

void ReportException(std::exception_ptr error) noexcept {
  if (!error) return;
  try {
    TExceptionReporter reporter;
    {
      std::lock_guard lock(ReporterMutex());
      reporter = CurrentReporter();
    }
    reporter(error);
  } catch (...) {
    WriteToStderr(std::current_exception());
  }
}

}  // namespace katalog::platform
