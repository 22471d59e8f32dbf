// TDataLink: the controls' end of the data-aware protocol. A link is attached to one data
// source, turns the data set's events into calls of its handlers, and tells the data set how many
// consecutive rows of its buffer window it needs (BufferCount). FirstRecord() is the index, in
// the data set's window, of the link's first row; the dispatcher keeps the active record inside
// the link's rows and tells the link how far its rows moved.
//
// A link does not own its data source; it detaches itself when destroyed.
#pragma once

#include "dataset/DataSetTypes.h"

namespace katalog {

class TDataSet;
class TDataSource;
class TField;
struct TEventInfo;

class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return dataSource_; }
  // "DataSource cannot be changed" on a link whose source is fixed.
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;
  bool DataSourceFixed() const { return dataSourceFixed_; }
  void SetDataSourceFixed(bool value) { dataSourceFixed_ = value; }
  bool Active() const { return active_; }
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  // Links of visual controls hear events after the non-visual ones.
  bool VisualControl() const { return visualControl_; }
  int BufferCount() const { return bufferCount_; }
  void SetBufferCount(int count) { ChangeBufferCount(count); }
  int FirstRecord() const { return firstRecord_; }
  bool Updating() const { return updating_; }

  // Puts the data set into Editing through the source (AutoEdit); returns Editing().
  virtual bool Edit();
  // The active row relative to the link's first row (0 in KeyEntry).
  virtual int ActiveRow() const;
  // Makes the data set's active record the link's row (not in KeyEntry).
  virtual void SetActiveRow(int row);
  virtual bool AtFirstRow() const;
  virtual bool AtLastRow() const;
  // The rows the link can show now: 1 in KeyEntry, else the smaller of its buffer count and the
  // records the window holds.
  virtual int AvailableRows() const;
  // Moves the data set's cursor; returns the distance moved.
  virtual int MoveRows(int distance);
  // Asks the link's control to write a pending edit into its field.
  void UpdateRecord();

  // The field is being destroyed: drop every reference to it. Called whatever the link's state,
  // since a closing data set destroys its fields while controls may be disabled.
  virtual void ForgetField(TField* /*field*/) {}

  // The dispatcher; the data source calls it for each event.
  virtual void HandleDataEvent(TDataEvent event, TEventInfo& info);

 protected:
  explicit TDataLink(bool visualControl) : visualControl_(visualControl) {}

  virtual void HandleActiveChange() {}
  virtual void HandleCheckBrowse() {}
  virtual void HandleDataSetChange() { HandleRecordChange(nullptr); }
  virtual void HandleScroll(int /*distance*/) { HandleDataSetChange(); }
  virtual void HandleEditingChange() {}
  // A control showing the field takes the focus and clears the reference.
  virtual void HandleFocusField(TField*& /*field*/) {}
  virtual void HandleLayoutChange() { HandleDataSetChange(); }
  virtual void HandleRecordChange(TField* /*field*/) {}
  virtual void HandleWritePending() {}
  virtual void ChangeBufferCount(int count);

 private:
  friend class TDataSet;
  friend class TDataSource;

  void UpdateState();
  void SetActive(bool value);
  void SetEditing(bool value);
  // Keeps the active record inside the link's rows, moving FirstRecord as little as possible.
  void UpdateRange();

  TDataSource* dataSource_ = nullptr;
  bool dataSourceFixed_ = false;
  bool active_ = false;
  bool editing_ = false;
  bool readOnly_ = false;
  bool visualControl_ = false;
  bool updating_ = false;
  int bufferCount_ = 1;
  int firstRecord_ = 0;
};

}  // namespace katalog
