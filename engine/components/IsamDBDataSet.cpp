#include "engine/components/IsamDBDataSet.h"

#include "dataset/DatabaseError.h"
#include "engine/components/Database.h"
#include "engine/components/SessionList.h"

namespace katalog {

TIsamDBDataSet::TIsamDBDataSet(TComponent* owner) : TIsamDataSet(owner) {
  // A data set put beside an auto-named session works in it.
  if (owner) {
    for (int i = 0; i < owner->ComponentCount(); ++i) {
      auto* session = dynamic_cast<TIsamSession*>(owner->Components(i));
      if (session && session->AutoSessionName()) sessionName_ = session->SessionName();
    }
  }
}

TIsamDBDataSet::~TIsamDBDataSet() {
  Destroying();
  Close();
}

void TIsamDBDataSet::SetDatabaseName(std::string name) {
  if (name == databaseName_) return;
  CheckInactive();
  if (database_) DatabaseError("Cannot perform this operation on an open database.");
  databaseName_ = std::move(name);
  DataEvent(TDataEvent::PropertyChanged);
}

void TIsamDBDataSet::SetSessionName(std::string name) {
  CheckInactive();
  sessionName_ = std::move(name);
  DataEvent(TDataEvent::PropertyChanged);
}

void TIsamDBDataSet::SetDatabaseUse(int reason, bool on) {
  const auto bit = static_cast<std::uint16_t>(1u << reason);
  if (on) {
    if ((databaseUse_ & bit) != 0) return;
    if (databaseUse_ == 0) {
      TIsamSessionList& sessions = Sessions();
      // A database component left in the default session follows its own SessionName.
      if (!sessionName_.empty() && !databaseName_.empty()) {
        TIsamSession* named = sessions.FindSession(sessionName_);
        TIsamDatabase* inDefault = sessions.DefaultSession().FindDatabase(databaseName_);
        if (named && !named->FindDatabase(databaseName_) && inDefault && !inDefault->Temporary()) {
          if (TIsamSession* own = sessions.FindSession(inDefault->SessionName())) {
            inDefault->BindToSession(own);
            own->SetActive(true);
          }
        }
      }
      TIsamSession& session = sessions.GetSession(sessionName_);
      database_ = &session.OpenDatabase(databaseName_, Owner());
      databaseSession_ = &session;
      database_->AddDataSet(this);
    }
    databaseUse_ |= bit;
    return;
  }
  if ((databaseUse_ & bit) == 0) return;
  databaseUse_ &= static_cast<std::uint16_t>(~bit);
  if (databaseUse_ != 0 || !database_) return;
  TIsamDatabase* database = database_;
  database_ = nullptr;
  database->RemoveDataSet(this);
  databaseSession_->CloseDatabase(*database);
  databaseSession_ = nullptr;
}

void TIsamDBDataSet::ActivateCursor() {
  SetDatabaseUse(0, true);
  TIsamDataSet::ActivateCursor();
}

void TIsamDBDataSet::DeactivateCursor() {
  TIsamDataSet::DeactivateCursor();
  SetDatabaseUse(0, false);
}

}  // namespace katalog
