// TIsamDBDataSet: a table data set bound to a session and a database by name. While it needs
// the database (reason bit 0: the cursor is open; 4 and 5: definitions are being read) it holds
// a reference on it, counted by reason bits; the last reason released hands the database back
// to its session.
#pragma once

#include <cstdint>
#include <string>

#include "engine/components/IsamDataSet.h"
#include "engine/components/Session.h"

namespace katalog {

class TIsamDatabase;

class TIsamDBDataSet : public TIsamDataSet, public TSessionNamed {
 public:
  explicit TIsamDBDataSet(TComponent* owner);
  ~TIsamDBDataSet() override;

  const std::string& DatabaseName() const { return databaseName_; }
  // Closed only; "Cannot perform this operation on an open database." while a database
  // reference is held.
  void SetDatabaseName(std::string name);
  const std::string& SessionName() const override { return sessionName_; }
  void SetSessionName(std::string name) override;
  TIsamDatabase* Database() const { return database_; }
  // The session of the database held, none without one.
  TIsamSession* DBSession() const { return databaseSession_; }

  // The database disconnects: the data set closes.
  void CloseForDatabase() { Close(); }

 protected:
  void SetDatabaseUse(int reason, bool on);
  void ActivateCursor() override;
  void DeactivateCursor() override;

 private:
  std::string databaseName_;
  std::string sessionName_;
  std::uint16_t databaseUse_ = 0;
  TIsamDatabase* database_ = nullptr;
  TIsamSession* databaseSession_ = nullptr;
};

}  // namespace katalog
