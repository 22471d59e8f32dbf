#include "engine/components/Database.h"

#include <algorithm>

#include "dataset/DataSet.h"
#include "dataset/DatabaseError.h"
#include "engine/components/SessionList.h"
#include "platform/ScopeGuard.h"

namespace katalog {

namespace {
[[noreturn]] void OpenDatabaseError() {
  DatabaseError("Cannot perform this operation on an open database.");
}
// Tells connections apart; a shared handle copies another database's.
int nextConnection = 0;
}  // namespace

bool IsPathName(std::string_view name) {
  return name.find_first_of(":\\/") != std::string_view::npos;
}

TIsamDatabase::TIsamDatabase(TComponent* owner) : TComponent(owner) {
  TIsamSession* session = dynamic_cast<TIsamSession*>(owner);
  if (!session && owner) {
    // A database put beside an auto-named session works in it.
    for (int i = 0; i < owner->ComponentCount() && !session; ++i) {
      auto* candidate = dynamic_cast<TIsamSession*>(owner->Components(i));
      if (candidate && candidate->AutoSessionName()) session = candidate;
    }
  }
  if (session) sessionName_ = session->SessionName();
  BindToSession(session ? session : &Sessions().DefaultSession());
}

TIsamDatabase::~TIsamDatabase() {
  Destroying();
  try {
    SetConnected(false);
  } catch (...) {
    // Closing data sets cannot report from a destructor.
  }
  BindToSession(nullptr);
}

void TIsamDatabase::BindToSession(TIsamSession* session) {
  if (session_ == session) return;
  if (session_) session_->Unregister(this);
  session_ = session;
  if (session_) session_->Register(this);
}

void TIsamDatabase::SetConnected(bool value) {
  if (Loading()) {
    streamedConnected_ = value;
    return;
  }
  if (value == Connected()) return;
  if (!value) {
    // The data sets close and hand the database back to its session, which must neither free
    // nor disconnect it under this loop: the last of them would free a temporary database
    // without KeepConnection while it is still disconnecting. The disconnect ends every use.
    const bool outer = !disconnecting_;
    disconnecting_ = true;
    const platform::TScopeExit disconnected([&] {
      if (outer) disconnecting_ = false;
    });
    while (!dataSets_.empty()) {
      TDataSet* dataSet = dataSets_.front();
      dataSet->Close();        // leaves the list as it lets the database go
      RemoveDataSet(dataSet);  // also one that held it for another reason
    }
    connection_ = 0;
    useCount_ = 0;
    return;
  }
  if (beforeConnect_) beforeConnect_(*this);
  if (!temporary_ && databaseName_.empty()) DatabaseError("Database name is missing.");
  TIsamSession& session = Sessions().GetSession(sessionName_);
  if (&session != session_) {
    BindToSession(&session);
    const platform::TScopeFail forgetName([&] { databaseName_.clear(); });
    CheckName(databaseName_, session);
  }
  session.SetActive(true);
  if (handleShared_) {
    for (const TIsamDatabase* other : session.Databases()) {
      if (other != this && other->Connected() && other->HandleShared() &&
          SameName(other->DatabaseName(), databaseName_)) {
        connection_ = other->connection_;
        return;
      }
    }
  }
  TSessionLock lock(session);
  connection_ = ++nextConnection;
}

void TIsamDatabase::CheckName(const std::string& name, TIsamSession& session) {
  const std::vector<TIsamDatabase*> databases = session.Databases();
  for (TIsamDatabase* other : databases) {
    if (other == this || !SameName(other->DatabaseName(), name)) continue;
    if (other->HandleShared() && handleShared_) continue;
    if (!other->temporary_ || other->useCount_ > 0) {
      DatabaseError("Database name " + name + " already exists.");
    }
    delete other;  // an unused temporary database gives way
  }
}

void TIsamDatabase::SetDatabaseName(std::string name) {
  if (Loading()) {
    databaseName_ = std::move(name);
    return;
  }
  if (name == databaseName_) return;
  if (Connected()) OpenDatabaseError();
  if (!temporary_ && !name.empty() && IsPathName(name)) {
    DatabaseError("Database name " + name + " is not valid.");
  }
  if (session_) CheckName(name, *session_);
  databaseName_ = std::move(name);
}

void TIsamDatabase::SetDirectory(std::string directory) {
  if (Connected()) OpenDatabaseError();
  directory_ = std::move(directory);
}

void TIsamDatabase::SetSessionName(std::string name) {
  if (Connected()) OpenDatabaseError();
  if (name == sessionName_) return;
  sessionName_ = std::move(name);
  if (TIsamSession* session = Sessions().FindSession(sessionName_)) BindToSession(session);
}

void TIsamDatabase::SetKeepConnection(bool value) {
  keepConnection_ = value;
  if (!value && useCount_ == 0) SetConnected(false);
}

void TIsamDatabase::Loaded() {
  TComponent::Loaded();
  if (streamedConnected_) {
    try {
      SetConnected(true);
    } catch (...) {
      if ((ComponentState() & csDesigning) == 0) throw;
    }
  } else if (TIsamSession* session = Sessions().FindSession(sessionName_)) {
    BindToSession(session);
  }
}

void TIsamDatabase::AddDataSet(TDataSet* dataSet) {
  if (std::find(dataSets_.begin(), dataSets_.end(), dataSet) == dataSets_.end()) {
    dataSets_.push_back(dataSet);
  }
}

void TIsamDatabase::RemoveDataSet(TDataSet* dataSet) {
  std::erase(dataSets_, dataSet);
}

std::string TIsamDatabase::TableDirectory() const {
  return temporary_ && IsPathName(databaseName_) ? databaseName_ : directory_;
}

}  // namespace katalog
