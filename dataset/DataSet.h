// TDataSet: the record cursor between a storage engine and the data-aware display. It owns the
// typed fields, keeps a window of record buffers around the current record so that a grid can
// show several rows, moves through the records, runs the edit cycle, computes calculated fields
// and tells its data sources about every change through data events. A concrete data set
// implements the cursor hooks (the pure virtual operations below) over its storage.
//
// The window: BufferCount() + 1 record buffers while open. Buffers 0 .. WindowRecordCount() - 1
// hold consecutive records, ActiveRecord() indexes the current one, and the buffer after the last
// used one is the scratch buffer the next record is fetched into. Moving past the window's edge
// fetches one record and rotates buffer pointers; records are never copied between buffers.
// CurrentRecord() is the buffer whose record the engine cursor is on, -1 when unknown.
//
// Ownership: the data set owns its buffers, its field definitions and the fields it creates
// (as their owner component); it does not own its data sources. A concrete data set closes itself
// in its destructor, while its hooks still exist; the base only asserts that it was closed.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/DataSetTypes.h"
#include "dataset/FieldDefs.h"
#include "dataset/Fields.h"
#include "dataset/Variant.h"
#include "platform/Component.h"

namespace katalog {

class EDatabaseError;
class TDataLink;
class TDataSource;
class TStream;

// The argument of a data event: the field of FieldChanged and ControlFocus (a link that takes
// the focus clears it), the shift of Scrolled and of the window events passed to links.
struct TEventInfo {
  TField* Field = nullptr;
  int Distance = 0;
};

// Bytes that name a record for the concrete data set's cursor; empty means none.
using TBookmark = std::vector<std::uint8_t>;

enum TLocateOption : unsigned { loCaseInsensitive = 1u << 0, loPartialKey = 1u << 1 };
using TLocateOptions = unsigned;

enum class TBlobStreamMode : std::uint8_t { Read, Write, ReadWrite };

class TDataSet : public TComponent {
 public:
  using TRecordBuffer = std::uint8_t*;
  using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
  using TDataSetErrorEvent =
      std::function<void(TDataSet&, const EDatabaseError&, TDataAction& action)>;
  using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;

  explicit TDataSet(TComponent* owner);
  ~TDataSet() override;

  // Opening and closing.
  bool Active() const { return IsActiveState(state_); }
  void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  void Loaded() override;
  TDataSetState State() const { return state_; }
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool IsEmpty() const { return activeRecord_ >= recordCount_; }
  bool Modified() const { return modified_; }
  bool Found() const { return found_; }
  bool AutoCalcFields() const { return autoCalcFields_; }
  void SetAutoCalcFields(bool value) { autoCalcFields_ = value; }
  bool DefaultFields() const { return defaultFields_; }

  // Navigation. MoveBy returns the rows actually moved, negative backwards.
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  int MoveBy(int distance);
  void Resync(TResyncMode mode);

  // The edit cycle.
  void Edit();
  void Insert();
  void Append();
  virtual void Post();
  virtual void Cancel();
  void Delete();
  void CheckBrowseMode();
  void UpdateRecord();

  // What the concrete data set knows: -1 and nothing by default.
  virtual int RecordCount() { return -1; }
  virtual int RecNo() { return -1; }
  virtual void SetRecNo(int /*value*/) {}
  virtual bool IsSequenced() const { return true; }
  virtual bool CanModify() const { return true; }
  virtual bool IsIndexField(const TField& /*field*/) const { return false; }
  // Copies the active record into the buffer; false when there is none.
  virtual bool GetCurrentRecord(TRecordBuffer /*buffer*/) { return false; }
  virtual std::unique_ptr<TStream> CreateBlobStream(const TField& field, TBlobStreamMode mode);
  // Hands a blob field's whole contents to `use` (valid during the call), as a read stream
  // would give them; a data set that holds them in place spares the stream and the copy.
  virtual void ReadBlobContents(const TField& field,
                                const std::function<void(std::string_view)>& use);
  virtual bool Locate(std::string_view keyFields, const std::vector<TVariant>& keyValues,
                      TLocateOptions options);
  virtual TVariant Lookup(std::string_view keyFields, const std::vector<TVariant>& keyValues,
                          std::string_view resultFields);
  virtual bool FindRecord(bool restart, bool goForward);
  bool FindFirst() { return FindRecord(true, true); }
  bool FindLast() { return FindRecord(true, false); }
  bool FindNext() { return FindRecord(false, true); }
  bool FindPrior() { return FindRecord(false, false); }

  // Bookmarks.
  TBookmark GetBookmark();
  void GotoBookmark(const TBookmark& bookmark);
  virtual bool BookmarkValid(const TBookmark& /*bookmark*/) { return false; }
  virtual int CompareBookmarks(const TBookmark& /*a*/, const TBookmark& /*b*/) { return 0; }
  std::string BookmarkStr();
  void SetBookmarkStr(std::string_view bookmark);

  // Controls.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ != 0; }

  // Fields.
  TFieldDefs& FieldDefs() { return fieldDefs_; }
  TFields& Fields() { return fields_; }
  // "Field '%s' not found", prefixed with this data set's name, when missing.
  TField* FieldNamed(std::string_view name);
  TField* TryFieldNamed(std::string_view name) { return fields_.TryFieldNamed(name); }
  TField* FieldNumbered(int fieldNo) { return fields_.FieldNumbered(fieldNo); }
  // The fields of a semicolon-separated name list, each through FieldNamed.
  std::vector<TField*> GetFieldList(std::string_view names);
  // Reads a field's value from the record image the state selects; converts from the native
  // form unless nativeFormat is set. Stores likewise, through WriteFieldData.
  bool GetFieldData(const TField& field, void* buffer, bool nativeFormat);
  void SetFieldData(TField& field, const void* buffer, bool nativeFormat);
  // Between a field's form and the native form the cursor stores.
  virtual void DataConvert(const TField& field, const void* source, void* destination,
                           bool toNative);
  // Text translation for string fields: a plain copy here.
  virtual std::string Translate(std::string_view text, bool /*toOem*/) { return std::string(text); }
  // Whether Translate changes anything; a data set that translates says so.
  virtual bool TranslatesText() const { return false; }

  // Temporary states: no StateChanged, controls disabled meanwhile.
  TDataSetState SetTempState(TDataSetState state);
  void RestoreState(TDataSetState state);

  // The window, for data links.
  int BufferCount() const { return bufferCount_; }
  int WindowRecordCount() const { return recordCount_; }
  int ActiveRecord() const { return activeRecord_; }
  int CurrentRecord() const { return currentRecord_; }
  // Links point the active record at another row while they paint it.
  void SetActiveRecord(int index) { activeRecord_ = index; }
  TRecordBuffer ActiveBuffer() const;
  // The buffer whose calculated fields are being computed.
  TRecordBuffer CalcBuffer() const { return calcBuffer_; }
  int CalcFieldsSize() const { return calcFieldsSize_; }
  // Recomputes BufferCount from the links of every attached data source.
  void UpdateBufferCount();

  // Data sources and links.
  void DataEvent(TDataEvent event, TEventInfo info = {});
  // The data source this data set is fed by (a master source), or none.
  virtual TDataSource* DataSource() const { return nullptr; }
  // Whether this data set feeds the source, directly or through master sources: making the
  // source this data set's master would close a cycle.
  bool IsLinkedTo(const TDataSource* source) const;
  void AddDataSource(TDataSource* source);
  // Tells every link of every source that a field of this data set is being destroyed.
  void ForgetField(TField* field);
  void RemoveDataSource(TDataSource* source);

  // Filtering: the base setters only store.
  const std::string& Filter() const { return filterText_; }
  virtual void SetFilterText(std::string text) { filterText_ = std::move(text); }
  TFilterOptions FilterOptions() const { return filterOptions_; }
  virtual void SetFilterOptions(TFilterOptions options) { filterOptions_ = options; }
  bool Filtered() const { return filtered_; }
  virtual void SetFiltered(bool value) { filtered_ = value; }
  const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord_; }
  virtual void SetOnFilterRecord(TFilterRecordEvent handler) {
    onFilterRecord_ = std::move(handler);
  }

  // Events.
  const TDataSetNotifyEvent& BeforeOpen() const { return events_.beforeOpen; }
  void SetBeforeOpen(TDataSetNotifyEvent e) { events_.beforeOpen = std::move(e); }
  const TDataSetNotifyEvent& AfterOpen() const { return events_.afterOpen; }
  void SetAfterOpen(TDataSetNotifyEvent e) { events_.afterOpen = std::move(e); }
  const TDataSetNotifyEvent& BeforeClose() const { return events_.beforeClose; }
  void SetBeforeClose(TDataSetNotifyEvent e) { events_.beforeClose = std::move(e); }
  const TDataSetNotifyEvent& AfterClose() const { return events_.afterClose; }
  void SetAfterClose(TDataSetNotifyEvent e) { events_.afterClose = std::move(e); }
  const TDataSetNotifyEvent& BeforeInsert() const { return events_.beforeInsert; }
  void SetBeforeInsert(TDataSetNotifyEvent e) { events_.beforeInsert = std::move(e); }
  const TDataSetNotifyEvent& AfterInsert() const { return events_.afterInsert; }
  void SetAfterInsert(TDataSetNotifyEvent e) { events_.afterInsert = std::move(e); }
  const TDataSetNotifyEvent& BeforeEdit() const { return events_.beforeEdit; }
  void SetBeforeEdit(TDataSetNotifyEvent e) { events_.beforeEdit = std::move(e); }
  const TDataSetNotifyEvent& AfterEdit() const { return events_.afterEdit; }
  void SetAfterEdit(TDataSetNotifyEvent e) { events_.afterEdit = std::move(e); }
  const TDataSetNotifyEvent& BeforePost() const { return events_.beforePost; }
  void SetBeforePost(TDataSetNotifyEvent e) { events_.beforePost = std::move(e); }
  const TDataSetNotifyEvent& AfterPost() const { return events_.afterPost; }
  void SetAfterPost(TDataSetNotifyEvent e) { events_.afterPost = std::move(e); }
  const TDataSetNotifyEvent& BeforeCancel() const { return events_.beforeCancel; }
  void SetBeforeCancel(TDataSetNotifyEvent e) { events_.beforeCancel = std::move(e); }
  const TDataSetNotifyEvent& AfterCancel() const { return events_.afterCancel; }
  void SetAfterCancel(TDataSetNotifyEvent e) { events_.afterCancel = std::move(e); }
  const TDataSetNotifyEvent& BeforeDelete() const { return events_.beforeDelete; }
  void SetBeforeDelete(TDataSetNotifyEvent e) { events_.beforeDelete = std::move(e); }
  const TDataSetNotifyEvent& AfterDelete() const { return events_.afterDelete; }
  void SetAfterDelete(TDataSetNotifyEvent e) { events_.afterDelete = std::move(e); }
  const TDataSetNotifyEvent& BeforeScroll() const { return events_.beforeScroll; }
  void SetBeforeScroll(TDataSetNotifyEvent e) { events_.beforeScroll = std::move(e); }
  const TDataSetNotifyEvent& AfterScroll() const { return events_.afterScroll; }
  void SetAfterScroll(TDataSetNotifyEvent e) { events_.afterScroll = std::move(e); }
  const TDataSetNotifyEvent& BeforeRefresh() const { return events_.beforeRefresh; }
  void SetBeforeRefresh(TDataSetNotifyEvent e) { events_.beforeRefresh = std::move(e); }
  const TDataSetNotifyEvent& AfterRefresh() const { return events_.afterRefresh; }
  void SetAfterRefresh(TDataSetNotifyEvent e) { events_.afterRefresh = std::move(e); }
  const TDataSetNotifyEvent& OnCalcFields() const { return events_.onCalcFields; }
  void SetOnCalcFields(TDataSetNotifyEvent e) { events_.onCalcFields = std::move(e); }
  const TDataSetNotifyEvent& OnNewRecord() const { return events_.onNewRecord; }
  void SetOnNewRecord(TDataSetNotifyEvent e) { events_.onNewRecord = std::move(e); }
  const TDataSetErrorEvent& OnEditError() const { return onEditError_; }
  void SetOnEditError(TDataSetErrorEvent e) { onEditError_ = std::move(e); }
  const TDataSetErrorEvent& OnPostError() const { return onPostError_; }
  void SetOnPostError(TDataSetErrorEvent e) { onPostError_ = std::move(e); }
  const TDataSetErrorEvent& OnDeleteError() const { return onDeleteError_; }
  void SetOnDeleteError(TDataSetErrorEvent e) { onDeleteError_ = std::move(e); }

 protected:
  // Cursor hooks.
  virtual std::unique_ptr<std::uint8_t[]> NewRecordBuffer() = 0;
  virtual void DisposeRecordBuffer(std::unique_ptr<std::uint8_t[]>& buffer) { buffer.reset(); }
  virtual void ReadBookmark(TRecordBuffer buffer, std::uint8_t* bookmark) = 0;
  virtual TBookmarkFlag ReadBookmarkFlag(TRecordBuffer buffer) = 0;
  virtual TFetchResult FetchRecord(TRecordBuffer buffer, TFetchMode mode, bool raiseErrors) = 0;
  virtual int RecordImageSize() = 0;
  virtual void CursorAddRecord(TRecordBuffer buffer, bool append) = 0;
  virtual void CursorClose() = 0;
  virtual void CursorDelete() = 0;
  virtual void CursorFirst() = 0;
  virtual void CursorGotoBookmark(const std::uint8_t* bookmark) = 0;
  virtual void CursorHandleException(std::exception_ptr error) = 0;
  virtual void CursorLoadFieldDefs() = 0;
  virtual void CursorBlankRecord(TRecordBuffer buffer) = 0;
  virtual void CursorLast() = 0;
  virtual void CursorOpen() = 0;
  virtual void CursorPost() = 0;
  virtual void CursorSetToRecord(TRecordBuffer buffer) = 0;
  virtual bool CursorIsOpen() = 0;
  virtual void WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;
  virtual void WriteBookmark(TRecordBuffer buffer, const std::uint8_t* bookmark) = 0;
  // Stores a field's native value (null = blank) into the record image the state selects.
  virtual void WriteFieldData(TField& field, const void* buffer) = 0;
  // Reads a field's native value from the record image the state selects; false when blank.
  virtual bool ReadFieldData(const TField& field, void* buffer) = 0;

  // Overridable steps.
  virtual void ActivateCursor();
  virtual void DeactivateCursor();
  virtual void EditBegins() {}
  virtual void InsertBegins() {}
  virtual void CancelHook() {}
  virtual void RefreshHook() {}
  virtual void BlankCalcFields(TRecordBuffer /*buffer*/) {}
  virtual void InitRecord(TRecordBuffer buffer);
  virtual void RefreshInternalCalcFields(TRecordBuffer /*buffer*/) {}
  virtual void DataEventStep(TDataEvent event, TEventInfo& info);

  // Event-firing steps: each calls its handler when one is assigned.
  virtual void DoAfterCancel() { Fire(events_.afterCancel); }
  virtual void DoAfterClose() { Fire(events_.afterClose); }
  virtual void DoAfterDelete() { Fire(events_.afterDelete); }
  virtual void DoAfterEdit() { Fire(events_.afterEdit); }
  virtual void DoAfterInsert() { Fire(events_.afterInsert); }
  // Runs AfterScroll too when the data set is not empty.
  virtual void DoAfterOpen();
  virtual void DoAfterPost() { Fire(events_.afterPost); }
  virtual void DoAfterRefresh() { Fire(events_.afterRefresh); }
  virtual void DoAfterScroll() { Fire(events_.afterScroll); }
  virtual void DoBeforeCancel() { Fire(events_.beforeCancel); }
  virtual void DoBeforeClose() { Fire(events_.beforeClose); }
  virtual void DoBeforeDelete() { Fire(events_.beforeDelete); }
  virtual void DoBeforeEdit() { Fire(events_.beforeEdit); }
  virtual void DoBeforeInsert() { Fire(events_.beforeInsert); }
  virtual void DoBeforeOpen() { Fire(events_.beforeOpen); }
  virtual void DoBeforePost() { Fire(events_.beforePost); }
  virtual void DoBeforeRefresh() { Fire(events_.beforeRefresh); }
  virtual void DoBeforeScroll() { Fire(events_.beforeScroll); }
  virtual void DoOnCalcFields() { Fire(events_.onCalcFields); }
  virtual void DoOnNewRecord() { Fire(events_.onNewRecord); }

  // Helpers for concrete data sets.
  void SetState(TDataSetState state);
  // "Cannot perform this operation on a closed dataset" when inactive.
  void CheckActive() const;
  // Refuses a closed-only property change while open (closing instead while designing or
  // updating): "Cannot perform this operation on an open dataset".
  void CheckInactive();
  // Creates one field per definition and destroys them again.
  void CreateFields();
  void DestroyFields();
  // Binds the fields to their definitions (binding) or unbinds them; sets CalcFieldsSize().
  void BindFields(bool binding);
  // Computes the calculated fields of a buffer (state Calculating meanwhile).
  void GetCalcFields(TRecordBuffer buffer);
  // Puts the cursor on the active record, or forgets its position.
  void UpdateCursorPos();
  void CursorPosChanged() { currentRecord_ = -1; }
  void SetFound(bool value) { found_ = value; }
  // New record buffers for a new layout (the window is emptied; Resync fills it again).
  void ReallocateBuffers();
  // Directs field reads in Calculating at a buffer outside the window.
  void SetCalcBuffer(TRecordBuffer buffer) { calcBuffer_ = buffer; }
  int BookmarkSize() const { return bookmarkSize_; }
  void SetBookmarkSize(int size) { bookmarkSize_ = size; }
  bool InternalCalcFields() const { return internalCalcFields_; }

 private:
  struct TEvents {
    TDataSetNotifyEvent beforeOpen, afterOpen, beforeClose, afterClose, beforeInsert, afterInsert,
        beforeEdit, afterEdit, beforePost, afterPost, beforeCancel, afterCancel, beforeDelete,
        afterDelete, beforeScroll, afterScroll, beforeRefresh, afterRefresh, onCalcFields,
        onNewRecord;
  };
  using TOperationHook = void (TDataSet::*)();

  void Fire(const TDataSetNotifyEvent& handler) {
    if (handler) handler(*this);
  }
  void OpenCursor();
  void CloseCursor();
  void SetBufferCount(int count);
  std::vector<TDataLink*> AllDataLinks() const;
  void ClearBuffers();
  void ActivateBuffers();
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  void SetCurrentRecord(int index);
  void MoveBuffer(int from, int to);
  void BeginInsertAppend();
  void EndInsertAppend();
  void CheckCanModify() const;
  void CheckRequiredFields();
  void CheckOperation(TOperationHook hook, const TDataSetErrorEvent& handler);
  // Internal calculated fields only (internalOnly) keep the calculated area and lookups.
  void CalculateFields(TRecordBuffer buffer, bool internalOnly);
  void CalcLookupValue(TField& field);
  void FreeFieldBuffers();

  TDataSetState state_ = TDataSetState::Inactive;
  std::vector<std::unique_ptr<std::uint8_t[]>> buffers_;
  int bufferCount_ = 0;
  int recordCount_ = 0;
  int activeRecord_ = 0;
  int currentRecord_ = -1;
  bool bof_ = true;
  bool eof_ = true;
  bool modified_ = false;
  bool found_ = false;
  bool streamedActive_ = false;
  bool autoCalcFields_ = true;
  bool defaultFields_ = false;
  bool openComplete_ = false;
  bool internalCalcFields_ = false;
  int bookmarkSize_ = 0;
  int calcFieldsSize_ = 0;
  TRecordBuffer calcBuffer_ = nullptr;
  TFieldDefs fieldDefs_;
  TFields fields_;
  std::vector<TDataSource*> dataSources_;
  int disableCount_ = 0;
  TDataSetState disableState_ = TDataSetState::Inactive;
  TDataEvent enableEvent_ = TDataEvent::DataSetChanged;
  std::string filterText_;
  TFilterOptions filterOptions_ = 0;
  bool filtered_ = false;
  TFilterRecordEvent onFilterRecord_;
  TEvents events_;
  TDataSetErrorEvent onEditError_;
  TDataSetErrorEvent onPostError_;
  TDataSetErrorEvent onDeleteError_;
};

}  // namespace katalog
