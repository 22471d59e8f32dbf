// TDataSet: data events, disabling controls, temporary states.
#include <algorithm>

#include "dataset/DataSet.h"
#include "dataset/DataSource.h"
#include "dataset/Field.h"

namespace katalog {

void TDataSet::DataEvent(TDataEvent event, TEventInfo info) {
  DataEventStep(event, info);
}

void TDataSet::DataEventStep(TDataEvent event, TEventInfo& info) {
  switch (event) {
    case TDataEvent::FieldChanged: {
      TField& field = *info.Field;
      if (field.FieldKind() == fkData || field.FieldKind() == fkInternalCalc) modified_ = true;
      if (state_ != TDataSetState::KeyEntry) {
        if (internalCalcFields_ && field.FieldKind() == fkData) {
          RefreshInternalCalcFields(ActiveBuffer());
        } else if (calcFieldsSize_ != 0 && autoCalcFields_ && field.FieldKind() == fkData) {
          GetCalcFields(ActiveBuffer());
        }
        field.Change();
      }
      break;
    }
    case TDataEvent::PropertyChanged:
      fieldDefs_.SetUpdated(false);
      break;
    default:
      break;
  }
  if (disableCount_ != 0 || state_ == TDataSetState::BlockRead) {
    if (event == TDataEvent::LayoutChanged ||
        (event == TDataEvent::StateChanged && state_ == TDataSetState::Inactive)) {
      enableEvent_ = TDataEvent::LayoutChanged;
    }
    return;
  }
  // Every source hears the event even when one fails (the first error is raised afterwards),
  // and a handler may detach sources meanwhile: walk a copy, skipping sources no longer attached.
  const std::vector<TDataSource*> sources = dataSources_;
  std::exception_ptr error;
  for (TDataSource* source : sources) {
    if (std::find(dataSources_.begin(), dataSources_.end(), source) == dataSources_.end()) continue;
    try {
      source->DataEvent(event, info);
    } catch (...) {
      if (!error) error = std::current_exception();
    }
  }
  if (error) std::rethrow_exception(error);
}

void TDataSet::DisableControls() {
  if (disableCount_ == 0) {
    disableState_ = state_;
    enableEvent_ = TDataEvent::DataSetChanged;
  }
  ++disableCount_;
}

void TDataSet::EnableControls() {
  if (disableCount_ == 0) return;
  if (--disableCount_ != 0) return;
  if (disableState_ != state_) DataEvent(TDataEvent::StateChanged);
  if (IsActiveState(disableState_) && IsActiveState(state_)) DataEvent(enableEvent_);
}

TDataSetState TDataSet::SetTempState(TDataSetState state) {
  const TDataSetState old = state_;
  state_ = state;
  ++disableCount_;
  modified_ = false;
  return old;
}

void TDataSet::RestoreState(TDataSetState state) {
  state_ = state;
  --disableCount_;
  modified_ = false;
}

}  // namespace katalog
