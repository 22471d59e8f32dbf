#include "engine/storage/FileSession.h"

#include <memory>

#include "engine/storage/IsamError.h"

namespace katalog {
namespace {

struct EngineState {
  std::mutex mutex;
  std::unique_ptr<TFileSession> defaultSession;
  TFileSession* current = nullptr;
};

// Never destroyed: the session list is a static too, and when it is destroyed at exit after this
// state was made, it still stops the engine through it.
EngineState& State() {
  static EngineState& state = *new EngineState;
  return state;
}

}  // namespace

void StartEngine() {
  EngineState& state = State();
  std::lock_guard lock(state.mutex);
  if (!state.defaultSession) state.defaultSession = std::make_unique<TFileSession>();
  if (!state.current) state.current = state.defaultSession.get();
}

void StopEngine() {
  EngineState& state = State();
  std::lock_guard lock(state.mutex);
  state.current = nullptr;
  state.defaultSession.reset();
}

bool EngineStarted() {
  return DefaultFileSession() != nullptr;
}

TFileSession* DefaultFileSession() {
  EngineState& state = State();
  std::lock_guard lock(state.mutex);
  return state.defaultSession.get();
}

TFileSession* FindCurrentFileSession() {
  EngineState& state = State();
  std::lock_guard lock(state.mutex);
  return state.defaultSession ? state.current : nullptr;
}

TFileSession& CurrentFileSession() {
  TFileSession* session = FindCurrentFileSession();
  if (!session) RaiseIsamError(ie::kNotInitialized);
  return *session;
}

void SetCurrentFileSession(TFileSession* session) {
  EngineState& state = State();
  std::lock_guard lock(state.mutex);
  state.current = session ? session : state.defaultSession.get();
}

std::recursive_mutex& MemoryFileLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::recursive_mutex& FormatSettingsLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace katalog
