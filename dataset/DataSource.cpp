#include "dataset/DataSource.h"

#include <algorithm>

#include "dataset/DataLink.h"
#include "dataset/DataSet.h"
#include "dataset/DatabaseError.h"
#include "platform/ScopeGuard.h"

namespace katalog {

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
  Destroying();
  onStateChange_ = nullptr;
  SetDataSet(nullptr);
  while (!links_.empty()) RemoveDataLink(links_.back());
}

bool TDataSource::IsLinkedTo(const TDataSet* dataSet) const {
  // Both this setter and the master-source setters refuse cycles, so the chain ends.
  while (dataSet) {
    const TDataSource* feeding = dataSet->DataSource();
    if (!feeding) break;
    if (feeding == this) return true;
    dataSet = feeding->DataSet();
  }
  return false;
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (IsLinkedTo(dataSet)) {
    DatabaseError("Circular datalinks are not allowed", this);
  }
  if (dataSet_) {
    RemoveFreeNotification(dataSet_);
    dataSet_->RemoveDataSource(this);
  }
  if (dataSet) {
    FreeNotification(dataSet);
    dataSet->AddDataSource(this);
  }
}

void TDataSource::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == dataSet_) SetDataSet(nullptr);
}

void TDataSource::SetEnabled(bool value) {
  enabled_ = value;
  UpdateState();
}

void TDataSource::Edit() {
  if (autoEdit_ && state_ == TDataSetState::Browsing) dataSet_->Edit();
}

void TDataSource::UpdateState() {
  const TDataSetState state = enabled_ && dataSet_ ? dataSet_->State() : TDataSetState::Inactive;
  if (state == state_) return;
  const bool wasInactive = state_ == TDataSetState::Inactive;
  state_ = state;
  TEventInfo info;
  std::exception_ptr error;
  try {
    NotifyLinks(TDataEvent::StateChanged, info);
  } catch (...) {
    error = std::current_exception();
  }
  if ((ComponentState() & csDestroying) == 0) {
    if (onStateChange_) onStateChange_(*this);
    if (wasInactive && onDataChange_) onDataChange_(*this, nullptr);
  }
  if (error) std::rethrow_exception(error);
}

void TDataSource::NotifyLinks(TDataEvent event, TEventInfo& info) {
  // Every link hears the event even when one fails (the first error is raised afterwards), and
  // a handler may detach links meanwhile: walk a copy, skipping links no longer attached.
  const std::vector<TDataLink*> links = links_;
  std::exception_ptr error;
  for (bool visual : {false, true}) {
    for (auto it = links.rbegin(); it != links.rend(); ++it) {
      TDataLink* link = *it;
      if (link->VisualControl() != visual ||
          std::find(links_.begin(), links_.end(), link) == links_.end()) {
        continue;
      }
      try {
        link->HandleDataEvent(event, info);
      } catch (...) {
        if (!error) error = std::current_exception();
      }
    }
  }
  if (error) std::rethrow_exception(error);
}

void TDataSource::DataEvent(TDataEvent event, TEventInfo& info) {
  if (event == TDataEvent::StateChanged) return UpdateState();
  if (state_ == TDataSetState::Inactive) return;
  NotifyLinks(event, info);
  switch (event) {
    case TDataEvent::FieldChanged:
      if (onDataChange_) onDataChange_(*this, info.Field);
      break;
    case TDataEvent::RecordChanged:
    case TDataEvent::DataSetChanged:
    case TDataEvent::Scrolled:
    case TDataEvent::LayoutChanged:
      if (onDataChange_) onDataChange_(*this, nullptr);
      break;
    case TDataEvent::RecordUpdating:
      if (onUpdateData_) onUpdateData_(*this);
      break;
    default:
      break;
  }
}

void TDataSource::AddDataLink(TDataLink* link) {
  links_.push_back(link);
  link->dataSource_ = this;
  const platform::TScopeExit updateState([&] { link->UpdateState(); });
  if (dataSet_) dataSet_->UpdateBufferCount();
}

void TDataSource::RemoveDataLink(TDataLink* link) {
  link->dataSource_ = nullptr;
  std::erase(links_, link);
  link->UpdateState();
  if (dataSet_) dataSet_->UpdateBufferCount();
}

}  // namespace katalog
