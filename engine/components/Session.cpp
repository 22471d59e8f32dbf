#include "engine/components/Session.h"

#include <algorithm>

#include "dataset/DatabaseError.h"
#include "engine/components/Database.h"
#include "engine/components/SessionList.h"
#include "engine/storage/FileSession.h"
#include "platform/ScopeGuard.h"

namespace katalog {

namespace {
[[noreturn]] void ActiveSessionError() {
  DatabaseError("Cannot perform this operation on an active session.");
}

// Database names compare without regard to case, except names that are paths: they name
// directories, and the file system keeps their letter case ("Data/" and "data/" are two).
bool SameDatabaseName(std::string_view a, std::string_view b) {
  if (IsPathName(a) || IsPathName(b)) return a == b;
  return SameName(a, b);
}
}  // namespace

TIsamSession::TIsamSession(TComponent* owner) : TIsamSession(owner, Sessions()) {}

TIsamSession::TIsamSession(TComponent* owner, TIsamSessionList& list) : TComponent(owner) {
  if (owner) {
    for (int i = 0; i < owner->ComponentCount(); ++i) {
      const auto* other = dynamic_cast<TIsamSession*>(owner->Components(i));
      if (other && other != this && other->AutoSessionName()) {
        DatabaseError("This auto-session already exists.");
      }
    }
  }
  list.Add(this);
}

TIsamSession::~TIsamSession() {
  Destroying();
  try {
    if (Active()) Stop();
  } catch (...) {
    // A destructor cannot report: the session is gone either way.
  }
  if (autoNumber_ >= 0) Sessions().ReleaseAutoNumber(autoNumber_);
  for (TIsamDatabase* database : databases_) database->session_ = nullptr;
  databases_.clear();
  Sessions().Remove(this);
}

bool TIsamSession::IsDefault() const {
  return &Sessions().DefaultSession() == this;
}

void TIsamSession::SetActive(bool value) {
  if (Loading()) {
    streamedActive_ = value;
    return;
  }
  if (value == Active()) return;
  if (value) {
    Start();
  } else {
    Stop();
  }
}

void TIsamSession::Start() {
  std::lock_guard guard(Sessions().Lock());
  if (onStartup_) onStartup_(*this);
  if (sessionName_.empty()) DatabaseError("Session name is missing.");
  if (!IsDefault()) Sessions().DefaultSession().SetActive(true);
  if (IsDefault()) {
    StartEngine();
    fileSession_ = DefaultFileSession();
  } else {
    ownFileSession_ = std::make_unique<TFileSession>();
    fileSession_ = ownFileSession_.get();
  }
  if (!privateDir_.empty()) fileSession_->PrivateDirectory = privateDir_;
}

void TIsamSession::Stop() {
  std::lock_guard guard(Sessions().Lock());
  SetCurrentFileSession(fileSession_);
  const std::vector<TIsamDatabase*> databases = databases_;
  for (auto it = databases.rbegin(); it != databases.rend(); ++it) {
    if ((*it)->Temporary()) {
      delete *it;
    } else {
      (*it)->SetConnected(false);
    }
  }
  if (IsDefault()) {
    StopEngine();
  } else {
    ownFileSession_.reset();
    SetCurrentFileSession(nullptr);
  }
  fileSession_ = nullptr;
}

void TIsamSession::Lock() {
  if (lockDepth_ > 0) {
    ++lockDepth_;
    return;
  }
  Sessions().Lock().lock();
  ++lockDepth_;
  const platform::TScopeFail unlock([&] {
    --lockDepth_;
    Sessions().Lock().unlock();
  });
  if (!Active()) Start();
  SetCurrentFileSession(fileSession_);
}

void TIsamSession::Unlock() {
  if (lockDepth_ == 0) return;
  if (--lockDepth_ == 0) Sessions().Lock().unlock();
}

std::string TIsamSession::PrivateDir() const {
  // Names of files on Linux keep their case: the directory is reported as written.
  return Active() ? fileSession_->PrivateDirectory : privateDir_;
}

void TIsamSession::SetPrivateDir(std::string directory) {
  if (Active()) {
    TSessionLock lock(*this);
    fileSession_->PrivateDirectory = directory;
  }
  privateDir_ = std::move(directory);
}

void TIsamSession::SetSessionName(std::string name) {
  if (autoSessionName_ && !assigningAutoName_) {
    DatabaseError("Cannot perform this operation on the active auto-session.");
  }
  if (Active()) ActiveSessionError();
  if (!name.empty()) {
    for (const TIsamSession* other : Sessions().List()) {
      if (other != this && SameName(other->SessionName(), name)) {
        DatabaseError("Session name " + name + " already exists.");
      }
    }
  }
  sessionName_ = std::move(name);
}

void TIsamSession::SetAutoSessionName(bool value) {
  if (value == autoSessionName_) return;
  if (!value) {
    Sessions().ReleaseAutoNumber(autoNumber_);
    autoNumber_ = -1;
    autoSessionName_ = false;
    return;
  }
  if (Active()) ActiveSessionError();
  if (TComponent* owner = Owner()) {
    for (int i = 0; i < owner->ComponentCount(); ++i) {
      const TComponent* other = owner->Components(i);
      if (other != this && dynamic_cast<const TIsamSession*>(other)) {
        DatabaseError("The active auto-session can be the only active session.");
      }
    }
  }
  autoNumber_ = Sessions().TakeAutoNumber();
  autoSessionName_ = true;
  ApplyAutoName();
}

void TIsamSession::ApplyAutoName() {
  {
    assigningAutoName_ = true;
    const platform::TScopeExit autoNameAssigned([&] { assigningAutoName_ = false; });
    SetSessionName(Name() + "_" + std::to_string(autoNumber_ + 1));
  }
  PassNameToOwnersComponents();
}

void TIsamSession::PassNameToOwnersComponents() {
  TComponent* owner = Owner();
  if (!owner) return;
  for (int i = 0; i < owner->ComponentCount(); ++i) {
    auto* named = dynamic_cast<TSessionNamed*>(owner->Components(i));
    if (named && !SameName(named->SessionName(), sessionName_)) named->SetSessionName(sessionName_);
  }
}

void TIsamSession::SetName(std::string name) {
  TComponent::SetName(std::move(name));
  if (autoSessionName_) ApplyAutoName();
}

void TIsamSession::Loaded() {
  TComponent::Loaded();
  if (autoSessionName_) PassNameToOwnersComponents();
  if (!streamedActive_) return;
  try {
    SetActive(true);
  } catch (...) {
    if ((ComponentState() & csDesigning) == 0) throw;
  }
}

void TIsamSession::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != opInsert || !autoSessionName_ || component == this) return;
  if (component->Owner() != Owner() || (ComponentState() & csDestroying) != 0) return;
  // The insert notice comes before the derived part exists (TComponent's constructor): the
  // name is passed when loading ends or the name changes; a built component asks for it.
  if (auto* named = dynamic_cast<TSessionNamed*>(component)) named->SetSessionName(sessionName_);
}

TIsamDatabase* TIsamSession::FindDatabase(std::string_view name, const TComponent* owner) const {
  TIsamDatabase* found = nullptr;
  for (TIsamDatabase* database : databases_) {
    if (!SameDatabaseName(database->DatabaseName(), name)) continue;
    if (owner && database->Owner() == owner && database->HandleShared()) return database;
    if (!found) found = database;
  }
  return found;
}

TIsamDatabase& TIsamSession::OpenDatabase(std::string_view name, const TComponent* owner) {
  TSessionLock lock(*this);
  TIsamDatabase* database = FindDatabase(name, owner);
  const bool made = database == nullptr;
  if (made) {
    database = new TIsamDatabase(this);
    database->temporary_ = true;
    database->databaseName_ = std::string(name);
    database->keepConnection_ = keepConnections_;
  }
  const platform::TScopeFail forgetDatabase([&] {
    if (made) delete database;
  });
  database->SetConnected(true);
  ++database->useCount_;
  return *database;
}

void TIsamSession::CloseDatabase(TIsamDatabase& database) {
  if (database.useCount_ > 0) --database.useCount_;
  // A database that is disconnecting closes its data sets itself and lives on: freeing it here
  // would pull it away under its own disconnect.
  if (database.disconnecting_) return;
  if (database.useCount_ > 0 || database.keepConnection_) return;
  if (database.temporary_) {
    if ((database.ComponentState() & csDestroying) == 0) delete &database;
  } else {
    database.SetConnected(false);
  }
}

void TIsamSession::AddPassword(std::string_view password) {
  TSessionLock lock(*this);
  fileSession_->AddPassword(password);
}

void TIsamSession::RemovePassword(std::string_view password) {
  TSessionLock lock(*this);
  fileSession_->RemovePassword(password);
}

void TIsamSession::RemoveAllPasswords() {
  TSessionLock lock(*this);
  fileSession_->RemoveAllPasswords();
}

void TIsamSession::Register(TIsamDatabase* database) {
  databases_.push_back(database);
}

void TIsamSession::Unregister(TIsamDatabase* database) {
  std::erase(databases_, database);
}

}  // namespace katalog
