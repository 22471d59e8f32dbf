// TIsamDatabase: a named directory through which data sets find their tables. A database is
// registered with one session; a temporary one is made by its session for a data set whose
// DatabaseName names no database component, and is owned by that session. Connecting touches no
// file: the tables open their files themselves.
//
// Invariants: Session() lists this database; UseCount() counts the data sets that opened it and
// is 0 while disconnected; DataSets() holds the data sets using it, which it closes when it
// disconnects.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/components/Session.h"
#include "platform/Component.h"

namespace katalog {

class TDataSet;

class TIsamDatabase : public TComponent, public TSessionNamed {
 public:
  using TNotifyEvent = std::function<void(TIsamDatabase& sender)>;

  explicit TIsamDatabase(TComponent* owner);
  ~TIsamDatabase() override;

  std::string EngineVersion() const { return "1.21"; }
  bool Connected() const { return connection_ != 0; }
  void SetConnected(bool value);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }
  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(std::string name);
  const std::string& Directory() const { return directory_; }
  void SetDirectory(std::string directory);
  bool HandleShared() const { return handleShared_; }
  void SetHandleShared(bool value) { handleShared_ = value; }
  bool KeepConnection() const { return keepConnection_; }
  void SetKeepConnection(bool value);
  const std::string& SessionName() const override { return sessionName_; }
  void SetSessionName(std::string name) override;
  const TNotifyEvent& BeforeConnect() const { return beforeConnect_; }
  void SetBeforeConnect(TNotifyEvent handler) { beforeConnect_ = std::move(handler); }

  void Loaded() override;

  TIsamSession* Session() const { return session_; }
  bool Temporary() const { return temporary_; }
  int UseCount() const { return useCount_; }
  const std::vector<TDataSet*>& DataSets() const { return dataSets_; }
  void AddDataSet(TDataSet* dataSet);
  void RemoveDataSet(TDataSet* dataSet);

  // Where the tables lie: the name itself for a temporary database whose name is a path (it
  // holds ":", "\" or "/"), else Directory.
  std::string TableDirectory() const;

 private:
  friend class TIsamSession;
  friend class TIsamDBDataSet;

  void BindToSession(TIsamSession* session);
  void CheckName(const std::string& name, TIsamSession& session);

  TIsamSession* session_ = nullptr;
  int connection_ = 0;
  int useCount_ = 0;
  bool temporary_ = false;
  bool handleShared_ = false;
  bool keepConnection_ = true;
  bool streamedConnected_ = false;
  // Set while SetConnected(false) closes the data sets: their release leaves the database alone.
  bool disconnecting_ = false;
  std::string databaseName_;
  std::string directory_;
  std::string sessionName_;
  std::vector<TDataSet*> dataSets_;
  TNotifyEvent beforeConnect_;
};

// Whether a database name is a path: it holds ":", "\" or "/".
bool IsPathName(std::string_view name);

}  // namespace katalog
