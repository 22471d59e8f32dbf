// TIsamTable: the table data set the application uses. It names the table (TableName, found in
// the directory of its database), chooses the index order (IndexName), and passes the open
// options (exclusive, read-only, in memory, change detection, buffer flushing, lock retries) to
// the engine cursor it opens. Properties marked closed only refuse a change while the table is
// open.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/components/IndexDefs.h"
#include "engine/components/IsamDBDataSet.h"
#include "engine/components/MasterDataLink.h"

namespace katalog {

enum class TRepairOutcome;  // engine/table/TableRepair.h

class TIsamTable : public TIsamDBDataSet {
 public:
  explicit TIsamTable(TComponent* owner);
  ~TIsamTable() override;

  std::string EngineVersion() const { return "1.21"; }
  const std::string& TableName() const { return tableName_; }
  void SetTableName(std::string name);  // closed only
  // The order: an index name, or a ";"-separated field list naming the index whose leading
  // fields they are. Each reads empty while the other is in use. Changing either while open
  // switches the index and keeps the current record; a range set by hand ends with the index it
  // was set on, and a detail table's master range is set again on the new index (an index that
  // cannot take the master's values is refused, and the table stays on the one it had).
  std::string IndexName() const { return fieldMode_ ? std::string() : order_; }
  void SetIndexName(std::string name) { SetOrder(std::move(name), false); }
  std::string IndexFieldNames() const { return fieldMode_ ? order_ : std::string(); }
  void SetIndexFieldNames(std::string fields) {
    const bool fieldMode = !fields.empty();
    SetOrder(std::move(fields), fieldMode);
  }
  // The table's indexes, read when out of date (also while closed).
  TIndexDefs& IndexDefs();
  // The field definitions, read from the table while closed.
  void UpdateFieldDefs();
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

  // Repairs the closed table's files (engine/table/TableRepair.h), raising OnRepairProgress
  // (its abort flag is honoured until the table's files start to change) and OnRepairLog.
  // Disk tables only.
  TRepairOutcome RepairTable();

  // Events of table repair and restructuring. Only RepairTable raises any of them; the others
  // are kept for whoever stores a layout with them.
  using TProgressEvent = std::function<void(TIsamTable& sender, int percentDone, bool& abort)>;
  using TDataLostEvent = std::function<void(TIsamTable& sender, std::string_view reason)>;
  using TLogEvent = std::function<void(TIsamTable& sender, std::string_view line)>;
  const TProgressEvent& OnRepairProgress() const { return onRepairProgress_; }
  void SetOnRepairProgress(TProgressEvent handler) { onRepairProgress_ = std::move(handler); }
  const TProgressEvent& OnIndexProgress() const { return onIndexProgress_; }
  void SetOnIndexProgress(TProgressEvent handler) { onIndexProgress_ = std::move(handler); }
  const TProgressEvent& OnRestructureProgress() const { return onRestructureProgress_; }
  void SetOnRestructureProgress(TProgressEvent handler) {
    onRestructureProgress_ = std::move(handler);
  }
  const TDataLostEvent& OnDataLost() const { return onDataLost_; }
  void SetOnDataLost(TDataLostEvent handler) { onDataLost_ = std::move(handler); }
  const TLogEvent& OnRepairLog() const { return onRepairLog_; }
  void SetOnRepairLog(TLogEvent handler) { onRepairLog_ = std::move(handler); }

  bool CanModify() const override { return TIsamDataSet::CanModify() && !readOnly_; }
  // Ranges (IsamTableRanges.cpp): the range start and end are edited in KeyEntry through the
  // index fields (SetRangeStart, SetRangeEnd, EditRangeStart, EditRangeEnd), then applied;
  // SetRange does it all from values of the leading index fields.
  void SetRangeStart() { SetKeyBuffer(kRangeStart, true); }
  void SetRangeEnd() { SetKeyBuffer(kRangeEnd, true); }
  void EditRangeStart() { SetKeyBuffer(kRangeStart, false); }
  void EditRangeEnd() { SetKeyBuffer(kRangeEnd, false); }
  void ApplyRange();
  void CancelRange();
  void SetRange(const std::vector<TVariant>& startValues, const std::vector<TVariant>& endValues);
  void Post() override;
  void Cancel() override;

  // A detail table follows its master: it shows the records whose leading index fields hold the
  // values of the master's MasterFields. "Circular datalinks are not allowed" for a source fed
  // by this table.
  TDataSource* MasterSource() const { return masterLink_.DataSource(); }
  void SetMasterSource(TDataSource* source);
  const std::string& MasterFields() const { return masterLink_.FieldNames(); }
  void SetMasterFields(std::string names) { masterLink_.SetFieldNames(std::move(names)); }
  TDataSource* DataSource() const override { return MasterSource(); }

  // Finds a record by field values: through the active index when it serves the fields, else
  // through an index found for them on a second cursor, else by a temporary filter.
  bool Locate(std::string_view keyFields, const std::vector<TVariant>& keyValues,
              TLocateOptions options) override;
  // The result fields of the record Locate would find, Null when none; the window stays.
  TVariant Lookup(std::string_view keyFields, const std::vector<TVariant>& keyValues,
                  std::string_view resultFields) override;

 protected:
  // "Missing table name." without a TableName; the path is the database's directory with a
  // separator and the table name, cut to 255 characters.
  std::unique_ptr<TDataFile> CreateEngineCursor() override;
  void DropLookupCursor() override;
  TDataFile* GetLookupCursor(std::string_view fieldNames, bool caseInsensitive) override;
  void AfterCursorOpened() override;
  void DataEventStep(TDataEvent event, TEventInfo& info) override;
  void DoOnNewRecord() override;

 private:
  static constexpr int kRangeStart = 1, kRangeEnd = 2;
  void SetKeyBuffer(int buffer, bool clear);
  // Sets the engine cursor's range from the range buffers; false when it was already that.
  bool SetCursorRange();
  // Lifts the engine cursor's range; false when there was none.
  bool ResetCursorRange();
  // A range buffer holding the values in the leading index fields ("Field index out of range"
  // beyond them, "Cannot access index field '%s'" for an index field without a field object).
  void FillRangeBuffer(int buffer, const std::vector<TVariant>& values);
  // The range start and end: the master values in the leading index fields.
  void SetRangeFromMaster();
  void MasterChanged();
  void MasterDisabled();
  bool AskPassword();
  // The table's path: the database's directory and the table name, cut to 255 characters.
  std::string TablePath() const;
  // The table's files opened with the table's options (never exclusive when asked).
  std::unique_ptr<TDataFile> OpenDataFile(bool exclusive);
  void SetOrder(std::string text, bool fieldMode);
  // Puts the open table on the index in that slot: the range of the index it leaves is lifted,
  // the buffers are laid out for the new bookmarks, and a detail table's range is set on the
  // new index's fields, on the record it stood on.
  void SwitchIndex(int slot);
  // Whether a range (one set by hand or a master's) restricts the records.
  bool RangeInForce();
  // The index name the order text stands for ("No index for fields '%s'" in field mode).
  std::string ResolveIndexName();
  void SelectIndex(TDataFile& file, const std::string& name);
  // The slot of the index of that name (the empty name: the default order); an engine error
  // for a name the table does not have.
  int IndexSlot(TDataFile& file, const std::string& name);
  bool Search(std::string_view keyFields, const std::vector<TVariant>& keyValues,
              TLocateOptions options, bool synchronise);
  bool SearchKey(TDataFile& cursor, std::size_t wholeFields, std::size_t prefix);

  std::string tableName_;
  std::string order_;
  bool fieldMode_ = false;
  TIndexDefs indexDefs_;
  std::unique_ptr<TDataFile> lookupCursor_;
  std::string lookupFields_;
  bool lookupCaseInsensitive_ = false;
  bool lookupValid_ = false;
  // A record buffer for searches, sized from the open table's layout at every search.
  std::vector<std::uint8_t> searchBuffer_;
  TIsamMasterDataLink masterLink_;
  TProgressEvent onRepairProgress_;
  TProgressEvent onIndexProgress_;
  TProgressEvent onRestructureProgress_;
  TDataLostEvent onDataLost_;
  TLogEvent onRepairLog_;
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
