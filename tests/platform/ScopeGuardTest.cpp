#include "platform/ScopeGuard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace katalog::platform {
namespace {

// Collects what reaches the exception reporter while it lives.
class ReportedMessages {
 public:
  ReportedMessages()
      : previous_(SetExceptionReporter([this](std::exception_ptr error) {
          try {
            std::rethrow_exception(error);
          } catch (const std::exception& e) {
            messages_.push_back(e.what());
          }
        })) {}
  ~ReportedMessages() { SetExceptionReporter(std::move(previous_)); }
  const std::vector<std::string>& Messages() const { return messages_; }

 private:
  TExceptionReporter previous_;
  std::vector<std::string> messages_;
};

// Leaves its scope normally or by an exception; the guards note when they run.
void Leave(bool failing, int& exits, int& failures) {
  const TScopeExit onExit([&] { ++exits; });
  const TScopeFail onFailure([&] { ++failures; });
  if (failing) throw std::runtime_error("step failed");
}

TEST(ScopeGuardTest, ExitRunsAlwaysAndFailOnlyWhenAnExceptionLeaves) {
  int exits = 0;
  int failures = 0;
  Leave(false, exits, failures);
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(failures, 0);
  EXPECT_THROW(Leave(true, exits, failures), std::runtime_error);
  EXPECT_EQ(exits, 2);
  EXPECT_EQ(failures, 1);
}

TEST(ScopeGuardTest, AnExceptionAlreadyOnItsWayIsNotMistakenForAFailure) {
  // A guard made while another exception unwinds (in a destructor) judges its own scope.
  int failures = 0;
  struct TCleanup {
    int& failures;
    ~TCleanup() {
      const TScopeFail onFailure([&] { ++failures; });
    }
  };
  EXPECT_THROW(
      {
        TCleanup cleanup{failures};
        throw std::runtime_error("outer");
      },
      std::runtime_error);
  EXPECT_EQ(failures, 0);
}

TEST(ScopeGuardTest, AnUndoThatThrowsDuringAFailureIsReportedAndTheFirstErrorGoesOn) {
  ReportedMessages reported;
  try {
    const TScopeFail undo([] { throw std::runtime_error("undo failed"); });
    const TScopeExit release([] { throw std::runtime_error("release failed"); });
    throw std::runtime_error("change failed");
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "change failed");
  }
  EXPECT_EQ(reported.Messages(), (std::vector<std::string>{"release failed", "undo failed"}));
}

TEST(ScopeGuardTest, AnExitActionThatThrowsOnANormalExitPropagates) {
  ReportedMessages reported;
  EXPECT_THROW({ const TScopeExit release([] { throw std::runtime_error("release failed"); }); },
               std::runtime_error);
  EXPECT_TRUE(reported.Messages().empty());
}

}  // namespace
}  // namespace katalog::platform
