// TIsamTable: the table data set the application uses. It names the table (TableName, found in
// the directory of its database), chooses the index order (IndexName), and passes the open
// options (exclusive, read-only, in memory, change detection, buffer flushing, lock retries) to
// the engine cursor it opens. Properties marked closed only refuse a change while the table is
// open.
#pragma once

#include <cstdint>
#include <string>

#include "engine/components/IsamDBDataSet.h"

namespace katalog {

class TIsamTable : public TIsamDBDataSet {
 public:
  explicit TIsamTable(TComponent* owner);
  ~TIsamTable() override;

  std::string EngineVersion() const { return "1.21"; }
  const std::string& TableName() const { return tableName_; }
  void SetTableName(std::string name);  // closed only
  const std::string& IndexName() const { return indexName_; }
  void SetIndexName(std::string name);  // closed only
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value);  // closed only
  // Opening rewrites it with the engine's own: files without write permission open read-only.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);  // closed only
  bool InMemory() const { return inMemory_; }
  void SetInMemory(bool value);  // closed only
  bool StrictChangeDetection() const { return strictChangeDetection_; }
  void SetStrictChangeDetection(bool value);  // closed only
  bool ForceBufferFlush() const { return forceBufferFlush_; }
  void SetForceBufferFlush(bool value);  // closed only
  // Also while open: the open engine cursor takes the new value at once.
  std::uint8_t LockRetryCount() const { return lockRetryCount_; }
  void SetLockRetryCount(std::uint8_t value);
  std::uint16_t LockWaitTime() const { return lockWaitTime_; }
  void SetLockWaitTime(std::uint16_t value);
  bool StoreDefs() const { return storeDefs_; }
  void SetStoreDefs(bool value) { storeDefs_ = value; }

  bool CanModify() const override { return TIsamDataSet::CanModify() && !readOnly_; }

 protected:
  // "Missing table name." without a TableName; the path is the database's directory with a
  // separator and the table name, cut to 255 characters.
  std::unique_ptr<TDataFile> CreateEngineCursor() override;

 private:
  bool AskPassword();

  std::string tableName_;
  std::string indexName_;
  bool exclusive_ = false;
  bool readOnly_ = false;
  bool inMemory_ = false;
  bool strictChangeDetection_ = false;
  bool forceBufferFlush_ = false;
  bool storeDefs_ = false;
  std::uint8_t lockRetryCount_ = 15;
  std::uint16_t lockWaitTime_ = 100;
};

}  // namespace katalog
