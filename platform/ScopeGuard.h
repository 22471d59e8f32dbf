// Scope guards: an action bound to the end of a scope, so that a step begun is finished or undone
// on every way out without a hand-written try/catch.
//
// TScopeExit runs its action whenever the scope ends; TScopeFail only when the scope ends by an
// exception (the undo of a change that did not complete). An action that throws while another
// exception is already leaving the scope is reported through ReportException: the first failure
// is what the caller must see, and a second one may not end the program. On a normal exit a
// throwing TScopeExit action propagates as any other statement would.
#pragma once

#include <exception>
#include <utility>

#include "platform/ExceptionReporter.h"

namespace katalog::platform {

template <class F>
class [[nodiscard]] TScopeExit {
 public:
  explicit TScopeExit(F action) : action_(std::move(action)) {}
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;
  ~TScopeExit() noexcept(false) {
    if (std::uncaught_exceptions() > exceptions_) {
      RunReported(action_);
    } else {
      action_();
    }
  }

 private:
  F action_;
  int exceptions_ = std::uncaught_exceptions();
};

template <class F>
class [[nodiscard]] TScopeFail {
 public:
  explicit TScopeFail(F action) : action_(std::move(action)) {}
  TScopeFail(const TScopeFail&) = delete;
  TScopeFail& operator=(const TScopeFail&) = delete;
  ~TScopeFail() {
    if (std::uncaught_exceptions() > exceptions_) RunReported(action_);
  }

 private:
  F action_;
  int exceptions_ = std::uncaught_exceptions();
};

}  // namespace katalog::platform
