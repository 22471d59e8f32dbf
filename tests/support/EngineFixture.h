// Starts the engine (the default file session) for one test and stops it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/storage/FileSession.h"
#include "engine/storage/IsamError.h"

namespace katalog::testing {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { StartEngine(); }
  void TearDown() override { StopEngine(); }
};

// The engine error code an action raises, or 0 when it raises none.
inline int EngineErrorOf(const std::function<void()>& action, std::string* message = nullptr) {
  try {
    action();
  } catch (const EIsamEngineError& e) {
    if (message) *message = e.Message();
    return e.ErrorCode();
  }
  return 0;
}

// How an engine error's message starts, the code being the one users see: "ISAM Engine Error # N".
inline std::string EngineErrorText(int code) {
  return "ISAM Engine Error # " + std::to_string(code);
}

}  // namespace katalog::testing
