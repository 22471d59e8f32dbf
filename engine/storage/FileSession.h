// TFileSession: the engine's per-session state (private directory, error context, memory files,
// table passwords),
// and the engine's start and stop.
//
// The engine always works with one current file session. The default file session exists from
// StartEngine() to StopEngine(); other sessions own file sessions of their own and make them
// current while they are active. Any engine operation without a default file session raises
// kNotInitialized ("ISAM engine not initialized").
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "engine/storage/MemoryFile.h"
#include "engine/storage/PasswordList.h"

namespace katalog {

// What the last raised engine error concerned. Names are short strings: at most 255 bytes.
struct TErrorContext {
  std::uint16_t ErrorCode = 0;
  // The Windows error number of the last failed file operation.
  std::uint16_t OsError = 0;
  std::string FieldName;
  std::string FileName;
  std::string ExtraText;
  std::string IndexName;
};

class TFileSession {
 public:
  TFileSession() = default;
  TFileSession(const TFileSession&) = delete;
  TFileSession& operator=(const TFileSession&) = delete;

  std::string PrivateDirectory;
  TErrorContext ErrorContext;
  TMemoryFileList MemoryFiles;
  TPasswordList Passwords;

  // The session's own password operations: adding keeps one entry per password.
  void AddPassword(std::string_view password) {
    if (!Passwords.Contains(password)) Passwords.Add(password);
  }
  void RemovePassword(std::string_view password) { Passwords.Remove(password); }
  void RemoveAllPasswords() { Passwords.Clear(); }
  bool HasPassword(std::string_view password) const { return Passwords.Contains(password); }
};

// Creates the default file session (once) and makes it current.
void StartEngine();
// Frees the default file session; afterwards the engine raises kNotInitialized until started again.
void StopEngine();
bool EngineStarted();
TFileSession* DefaultFileSession();
// The current file session; raises kNotInitialized when the engine is not started.
TFileSession& CurrentFileSession();
// Raises kNotInitialized when the engine is not started. Every engine operation that reaches a file
// asks first, so that none runs outside a session (where its errors could name no file).
void RequireEngine();
// The current file session, or nullptr when the engine is not started.
TFileSession* FindCurrentFileSession();
// Makes a session current (nullptr: the default one).
void SetCurrentFileSession(TFileSession* session);

// The process-wide lock round every operation on memory files.
std::recursive_mutex& MemoryFileLock();
// The process-wide lock round switching the format settings to a table's locale.
std::recursive_mutex& FormatSettingsLock();

}  // namespace katalog
