#include "dataset/DataLink.h"

#include <algorithm>

#include "dataset/DataSet.h"
#include "dataset/DataSource.h"
#include "dataset/DatabaseError.h"
#include "platform/ScopeGuard.h"

namespace katalog {

TDataLink::~TDataLink() {
  dataSourceFixed_ = false;
  SetDataSource(nullptr);
}

TDataSet* TDataLink::DataSet() const {
  return dataSource_ ? dataSource_->DataSet() : nullptr;
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == dataSource_) return;
  if (dataSourceFixed_) DatabaseError("DataSource cannot be changed");
  if (dataSource_) dataSource_->RemoveDataLink(this);
  if (source) source->AddDataLink(this);
}

void TDataLink::SetReadOnly(bool value) {
  if (readOnly_ == value) return;
  readOnly_ = value;
  UpdateState();
}

void TDataLink::UpdateState() {
  SetActive(dataSource_ && dataSource_->State() != TDataSetState::Inactive);
  SetEditing(dataSource_ && IsEditState(dataSource_->State()) && !readOnly_);
}

void TDataLink::SetActive(bool value) {
  if (active_ == value) return;
  active_ = value;
  if (value) {
    UpdateRange();
  } else {
    firstRecord_ = 0;
  }
  HandleActiveChange();
}

void TDataLink::SetEditing(bool value) {
  if (editing_ == value) return;
  editing_ = value;
  HandleEditingChange();
}

void TDataLink::UpdateRange() {
  const TDataSet& dataSet = *DataSet();
  const int active = dataSet.ActiveRecord();
  const int low = std::max(0, active - bufferCount_ + 1);
  const int high = std::min(std::max(0, dataSet.BufferCount() - bufferCount_), active);
  if (firstRecord_ < low) firstRecord_ = low;
  if (firstRecord_ > high) firstRecord_ = high;
  if (firstRecord_ != 0 && active - firstRecord_ < bufferCount_ - 1) --firstRecord_;
}

void TDataLink::ChangeBufferCount(int count) {
  if (bufferCount_ == count) return;
  bufferCount_ = count;
  if (!active_) return;
  UpdateRange();
  DataSet()->UpdateBufferCount();
  UpdateRange();
}

bool TDataLink::Edit() {
  if (!readOnly_ && dataSource_) dataSource_->Edit();
  return editing_;
}

int TDataLink::ActiveRow() const {
  const TDataSet& dataSet = *DataSet();
  if (dataSet.State() == TDataSetState::KeyEntry) return 0;
  return dataSet.ActiveRecord() - firstRecord_;
}

void TDataLink::SetActiveRow(int row) {
  TDataSet& dataSet = *DataSet();
  if (dataSet.State() != TDataSetState::KeyEntry) dataSet.SetActiveRecord(firstRecord_ + row);
}

bool TDataLink::AtFirstRow() const {
  return DataSet()->Bof();
}

bool TDataLink::AtLastRow() const {
  return DataSet()->Eof();
}

int TDataLink::AvailableRows() const {
  const TDataSet& dataSet = *DataSet();
  if (dataSet.State() == TDataSetState::KeyEntry) return 1;
  return std::min(bufferCount_, dataSet.WindowRecordCount());
}

int TDataLink::MoveRows(int distance) {
  return DataSet()->MoveBy(distance);
}

void TDataLink::UpdateRecord() {
  updating_ = true;
  const platform::TScopeExit updated([&] { updating_ = false; });
  HandleWritePending();
}

void TDataLink::HandleDataEvent(TDataEvent event, TEventInfo& info) {
  if (event == TDataEvent::StateChanged) return UpdateState();
  if (!active_) return;
  switch (event) {
    case TDataEvent::FieldChanged:
    case TDataEvent::RecordChanged:
      if (!updating_) HandleRecordChange(info.Field);
      break;
    case TDataEvent::DataSetChanged:
    case TDataEvent::Scrolled:
    case TDataEvent::LayoutChanged: {
      int shift = 0;
      const TDataSet& dataSet = *DataSet();
      if (dataSet.State() != TDataSetState::KeyEntry) {
        const int first = firstRecord_ + info.Distance;
        const int last = first + bufferCount_ - 1;
        const int active = dataSet.ActiveRecord();
        shift = active > last ? active - last : active < first ? active - first : 0;
        firstRecord_ = first + shift;
      }
      if (event == TDataEvent::DataSetChanged) {
        HandleDataSetChange();
      } else if (event == TDataEvent::Scrolled) {
        HandleScroll(shift);
      } else {
        HandleLayoutChange();
      }
      break;
    }
    case TDataEvent::RecordUpdating:
      UpdateRecord();
      break;
    case TDataEvent::CheckBrowse:
      HandleCheckBrowse();
      break;
    case TDataEvent::ControlFocus:
      HandleFocusField(info.Field);
      break;
    default:
      break;
  }
}

}  // namespace katalog
