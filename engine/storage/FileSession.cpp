#include "engine/storage/FileSession.h"

#include <atomic>
#include <memory>

#include "engine/storage/IsamError.h"

namespace katalog {
namespace {

struct EngineState {
  std::mutex mutex;
  std::unique_ptr<TFileSession> defaultSession;
  TFileSession* current = nullptr;
  // Whether the default file session exists, for the check every file operation makes without
  // taking the mutex.
  std::atomic<bool> started{false};
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
  state.started = true;
}

void StopEngine() {
  EngineState& state = State();
  std::lock_guard lock(state.mutex);
  state.started = false;
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

void RequireEngine() {
  if (!State().started.load(std::memory_order_relaxed)) RaiseIsamError(ie::kNotInitialized);
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
