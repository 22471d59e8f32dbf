#include "platform/ExceptionReporter.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace katalog::platform {
namespace {

// Installs a reporter for one test and puts the previous one back afterwards.
class ScopedReporter {
 public:
  explicit ScopedReporter(TExceptionReporter reporter)
      : previous_(SetExceptionReporter(std::move(reporter))) {}
  ~ScopedReporter() { SetExceptionReporter(std::move(previous_)); }
  ScopedReporter(const ScopedReporter&) = delete;
  ScopedReporter& operator=(const ScopedReporter&) = delete;

 private:
  TExceptionReporter previous_;
};

std::string Message(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "?";
  }
}

std::string StderrOf(void (*action)()) {
  testing::internal::CaptureStderr();
  action();
  return testing::internal::GetCapturedStderr();
}

TEST(ExceptionReporterDefault, WritesTheMessageAndANewlineToStderr) {
  EXPECT_EQ(StderrOf([] { RunReported([] { throw std::runtime_error("Disk full"); }); }),
            "Disk full\n");
  EXPECT_EQ(StderrOf([] { RunReported([] { throw 42; }); }), "Unknown exception\n");
}

TEST(ExceptionReporterDefault, AnEmptyReporterRestoresTheDefault) {
  const TExceptionReporter previous = SetExceptionReporter([](std::exception_ptr) {});
  SetExceptionReporter(nullptr);
  EXPECT_EQ(StderrOf([] { ReportException(std::make_exception_ptr(std::logic_error("x"))); }),
            "x\n");
  // What the default returns when replaced is callable and writes the same.
  const TExceptionReporter defaultReporter = SetExceptionReporter(previous);
  ASSERT_TRUE(defaultReporter);
  SetExceptionReporter(nullptr);
  testing::internal::CaptureStderr();
  defaultReporter(std::make_exception_ptr(std::logic_error("y")));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "y\n");
}

TEST(ExceptionReporterReplaced, ReceivesWhatTheRunThrowsAndTheRunReturns) {
  std::vector<std::string> reported;
  const ScopedReporter scoped([&](std::exception_ptr e) { reported.push_back(Message(e)); });
  bool after = false;
  RunReported([] { throw std::invalid_argument("bad value"); });
  RunReported([&] { after = true; });
  EXPECT_TRUE(after);
  EXPECT_EQ(reported, std::vector<std::string>{"bad value"});
}

TEST(ExceptionReporterReplaced, SetterReturnsThePreviousReporter) {
  std::vector<std::string> reported;
  const ScopedReporter first([&](std::exception_ptr) { reported.push_back("first"); });
  const TExceptionReporter previous =
      SetExceptionReporter([&](std::exception_ptr) { reported.push_back("second"); });
  ReportException(std::make_exception_ptr(1));
  SetExceptionReporter(previous);
  ReportException(std::make_exception_ptr(2));
  EXPECT_EQ(reported, (std::vector<std::string>{"second", "first"}));
}

TEST(ExceptionReporterReplaced, NullExceptionReportsNothing) {
  int calls = 0;
  const ScopedReporter scoped([&](std::exception_ptr) { ++calls; });
  ReportException(nullptr);
  EXPECT_EQ(calls, 0);
}

TEST(ExceptionReporterReplaced, ExceptionFromTheReporterIsWrittenAndSwallowed) {
  const ScopedReporter scoped([](std::exception_ptr) { throw std::runtime_error("box failed"); });
  EXPECT_EQ(StderrOf([] { RunReported([] { throw std::runtime_error("original"); }); }),
            "box failed\n");
}

TEST(ExceptionReporterReplaced, ReporterMayReportAndReplaceTheReporter) {
  std::vector<std::string> reported;
  const ScopedReporter scoped([&](std::exception_ptr e) {
    reported.push_back(Message(e));
    SetExceptionReporter(
        [&](std::exception_ptr inner) { reported.push_back("inner " + Message(inner)); });
    ReportException(std::make_exception_ptr(std::runtime_error("nested")));
  });
  ReportException(std::make_exception_ptr(std::runtime_error("outer")));
  EXPECT_EQ(reported, (std::vector<std::string>{"outer", "inner nested"}));
}

}  // namespace
}  // namespace katalog::platform
