// TIsamSession: the engine's context for a group of tables. An active session holds an engine
// file session (the process-wide default one for the default session, an own one otherwise),
// makes it current while it works, and keeps the databases registered with it; it owns the
// temporary databases it creates for data sets that name a directory instead of a database.
//
// Invariants: FileSession() is set exactly while Active(); every registered database names this
// session as its own; the lock depth counts nested Lock() calls of this session.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Component.h"

namespace katalog {

class TFileSession;
class TIsamDatabase;

// A component that names the session it works in (databases, table data sets): the components
// of an auto-named session's owner take the session's name.
class TSessionNamed {
 public:
  virtual ~TSessionNamed() = default;
  virtual const std::string& SessionName() const = 0;
  virtual void SetSessionName(std::string name) = 0;
};

class TIsamSession : public TComponent {
 public:
  using TNotifyEvent = std::function<void(TIsamSession& sender)>;
  // Asked for a password of an enciphered table; sets `continueOpening` to try again.
  using TIsamPasswordEvent = std::function<void(TIsamSession& sender, bool& continueOpening)>;

  explicit TIsamSession(TComponent* owner);
  ~TIsamSession() override;

  std::string EngineVersion() const { return "1.21"; }
  bool Active() const { return fileSession_ != nullptr; }
  void SetActive(bool value);
  bool AutoSessionName() const { return autoSessionName_; }
  void SetAutoSessionName(bool value);
  bool KeepConnections() const { return keepConnections_; }
  void SetKeepConnections(bool value) { keepConnections_ = value; }
  // As written (file names keep their case); an active session's is the engine's.
  std::string PrivateDir() const;
  void SetPrivateDir(std::string directory);
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(std::string name);
  const TIsamPasswordEvent& OnPassword() const { return onPassword_; }
  void SetOnPassword(TIsamPasswordEvent handler) { onPassword_ = std::move(handler); }
  const TNotifyEvent& OnStartup() const { return onStartup_; }
  void SetOnStartup(TNotifyEvent handler) { onStartup_ = std::move(handler); }

  void Loaded() override;
  void SetName(std::string name) override;

  // Nested locks: the first enters the process-wide lock and makes this session's file session
  // current, starting the session when it is inactive; the last leaves the lock.
  void Lock();
  void Unlock();
  TFileSession* FileSession() const { return fileSession_; }

  // The first registered database of that name (ignoring case, except for a name that is a
  // path, which must match exactly); one owned by `owner` with HandleShared is preferred.
  TIsamDatabase* FindDatabase(std::string_view name, const TComponent* owner = nullptr) const;
  // The database a data set uses: found, or made as a temporary one owned by this session;
  // connected, its use count raised.
  TIsamDatabase& OpenDatabase(std::string_view name, const TComponent* owner = nullptr);
  // Lowers the use count; at 0 without KeepConnection a temporary database is freed and a
  // database component disconnected.
  void CloseDatabase(TIsamDatabase& database);
  const std::vector<TIsamDatabase*>& Databases() const { return databases_; }

  void AddPassword(std::string_view password);
  void RemovePassword(std::string_view password);
  void RemoveAllPasswords();

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TIsamDatabase;
  friend class TIsamSessionList;

  // The default session, made by the session list itself.
  TIsamSession(TComponent* owner, class TIsamSessionList& list);

  bool IsDefault() const;
  void Start();
  void Stop();
  void ApplyAutoName();
  void PassNameToOwnersComponents();
  void Register(TIsamDatabase* database);
  void Unregister(TIsamDatabase* database);

  TFileSession* fileSession_ = nullptr;
  std::unique_ptr<TFileSession> ownFileSession_;
  std::vector<TIsamDatabase*> databases_;
  bool autoSessionName_ = false;
  bool keepConnections_ = true;
  bool streamedActive_ = false;
  bool assigningAutoName_ = false;
  int autoNumber_ = -1;
  int lockDepth_ = 0;
  std::string privateDir_;
  std::string sessionName_;
  TIsamPasswordEvent onPassword_;
  TNotifyEvent onStartup_;
};

// Holds a session's lock for a scope.
class TSessionLock {
 public:
  explicit TSessionLock(TIsamSession& session) : session_(session) { session_.Lock(); }
  ~TSessionLock() { session_.Unlock(); }
  TSessionLock(const TSessionLock&) = delete;
  TSessionLock& operator=(const TSessionLock&) = delete;

 private:
  TIsamSession& session_;
};

}  // namespace katalog
