// TDataSet: opening and closing, the buffer window's size, data sources, and the defaults of
// the overridable operations.
#include "dataset/DataSet.h"

#include <algorithm>
#include <cassert>
#include <optional>

#include "dataset/DataLink.h"
#include "dataset/DataSource.h"
#include "dataset/DatabaseError.h"
#include "dataset/Stream.h"
#include "platform/ScopeGuard.h"

namespace katalog {

TDataSet::TDataSet(TComponent* owner) : TComponent(owner), fieldDefs_(this), fields_(this) {}

TDataSet::~TDataSet() {
  Destroying();
  // Closing needs the concrete data set's hooks, which are gone by now.
  assert(!Active() && "a concrete data set closes itself in its destructor");
  while (!dataSources_.empty()) dataSources_.back()->SetDataSet(nullptr);
  fields_.Clear();
}

void TDataSet::SetActive(bool value) {
  if (Loading()) {
    streamedActive_ = value;
    return;
  }
  if (value == Active()) return;
  if (value) {
    OpenCursor();
  } else {
    CloseCursor();
  }
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (!streamedActive_) return;
  try {
    SetActive(true);
  } catch (...) {
    if ((ComponentState() & csDesigning) == 0) throw;
    CursorHandleException(std::current_exception());
  }
}

void TDataSet::OpenCursor() {
  DoBeforeOpen();
  std::exception_ptr error;
  try {
    ActivateCursor();
  } catch (...) {
    error = std::current_exception();
  }
  if (state_ != TDataSetState::Opening) {
    if (openComplete_) {
      try {
        SetState(TDataSetState::Browsing);  // a control that cannot bind raises here
      } catch (...) {
        if (!error) error = std::current_exception();
      }
      DoAfterOpen();
    } else {
      SetState(TDataSetState::Inactive);
      try {
        DeactivateCursor();
      } catch (...) {
        // The open's own error is the one to report.
        if (!error) throw;
      }
    }
  }
  if (error) std::rethrow_exception(error);
}

void TDataSet::ActivateCursor() {
  if (state_ == TDataSetState::Opening) return;
  defaultFields_ = fields_.Count() == 0;
  CursorOpen();
  openComplete_ = true;
  UpdateBufferCount();
  bof_ = true;
}

void TDataSet::CloseCursor() {
  const bool destroying = (ComponentState() & csDestroying) != 0;
  if (!destroying) DoBeforeClose();
  SetState(TDataSetState::Inactive);
  DeactivateCursor();
  if (!destroying) DoAfterClose();
}

void TDataSet::DeactivateCursor() {
  openComplete_ = false;
  FreeFieldBuffers();
  ClearBuffers();
  for (auto& buffer : buffers_) DisposeRecordBuffer(buffer);
  buffers_.clear();
  CursorClose();
  bufferCount_ = 0;
  defaultFields_ = false;
}

void TDataSet::DoAfterOpen() {
  Fire(events_.afterOpen);
  if (!IsEmpty()) DoAfterScroll();
}

// --- the buffer window's size ---

std::vector<TDataLink*> TDataSet::AllDataLinks() const {
  std::vector<TDataLink*> links;
  for (const TDataSource* source : dataSources_) {
    links.insert(links.end(), source->DataLinks().begin(), source->DataLinks().end());
  }
  return links;
}

void TDataSet::UpdateBufferCount() {
  if (!CursorIsOpen()) return;
  int count = 1;
  for (const TDataLink* link : AllDataLinks()) count = std::max(count, link->BufferCount());
  SetBufferCount(count);
}

void TDataSet::SetBufferCount(int count) {
  if (count == bufferCount_) return;
  const std::vector<TDataLink*> links = AllDataLinks();
  if (count < bufferCount_ && recordCount_ > 0) {
    // Keep the rows the links still show: drop the leading ones nobody needs.
    int drop = activeRecord_;
    for (const TDataLink* link : links) {
      if (link->Active()) drop = std::min(drop, link->FirstRecord());
    }
    // A link that missed events may not hold the active record: keep it inside the window.
    drop = std::max(drop, activeRecord_ - count + 1);
    std::rotate(buffers_.begin(), buffers_.begin() + drop, buffers_.end());
    activeRecord_ -= drop;
    // Only the rows after the dropped ones still hold records.
    recordCount_ = std::min(recordCount_ - drop, count);
    currentRecord_ -= drop;
    if (currentRecord_ < 0 || currentRecord_ >= recordCount_) currentRecord_ = -1;
    for (TDataLink* link : links) {
      if (link->Active()) link->firstRecord_ = std::max(0, link->firstRecord_ - drop);
    }
  }
  const auto wanted = static_cast<std::size_t>(count + 1);
  const std::size_t had = buffers_.size();
  {
    const platform::TScopeFail disposeNew([&] {
      while (buffers_.size() > had) {
        DisposeRecordBuffer(buffers_.back());
        buffers_.pop_back();
      }
    });
    while (buffers_.size() < wanted) buffers_.push_back(NewRecordBuffer());
  }
  while (buffers_.size() > wanted) {
    DisposeRecordBuffer(buffers_.back());
    buffers_.pop_back();
  }
  bufferCount_ = count;
  if ((ComponentState() & csDestroying) != 0) return;
  // Rows fetched before the active record push the links' rows down, also when a fetch fails.
  int activeBefore = -1;
  std::exception_ptr error;
  try {
    GetNextRecords();
    activeBefore = activeRecord_;
    GetPriorRecords();
  } catch (...) {
    error = std::current_exception();
  }
  if (activeBefore >= 0) {
    for (TDataLink* link : links) {
      if (link->Active()) link->firstRecord_ += activeRecord_ - activeBefore;
    }
  }
  if (error) std::rethrow_exception(error);
}

void TDataSet::ReallocateBuffers() {
  ClearBuffers();
  for (auto& buffer : buffers_) DisposeRecordBuffer(buffer);
  for (auto& buffer : buffers_) buffer = NewRecordBuffer();
}

TDataSet::TRecordBuffer TDataSet::ActiveBuffer() const {
  return buffers_.empty() ? nullptr : buffers_[static_cast<std::size_t>(activeRecord_)].get();
}

// --- data sources ---

bool TDataSet::IsLinkedTo(const TDataSource* source) const {
  // Setting a data source's data set or a master source refuses cycles, so the chain ends.
  while (source) {
    const TDataSet* fed = source->DataSet();
    if (!fed) break;
    if (fed == this) return true;
    source = fed->DataSource();
  }
  return false;
}

void TDataSet::AddDataSource(TDataSource* source) {
  dataSources_.push_back(source);
  source->dataSet_ = this;
  const platform::TScopeExit updateState([&] { source->UpdateState(); });
  UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* source) {
  source->dataSet_ = nullptr;
  std::erase(dataSources_, source);
  source->UpdateState();
  if ((ComponentState() & csDestroying) == 0) UpdateBufferCount();
}

void TDataSet::ForgetField(TField* field) {
  for (TDataLink* link : AllDataLinks()) link->ForgetField(field);
}

// --- defaults of the overridable operations ---

std::unique_ptr<TStream> TDataSet::CreateBlobStream(const TField& /*field*/,
                                                    TBlobStreamMode /*mode*/) {
  return nullptr;
}

void TDataSet::ReadBlobContents(const TField& field,
                                const std::function<void(std::string_view)>& use) {
  auto stream = CreateBlobStream(field, TBlobStreamMode::Read);
  if (!stream) return use({});
  if (const std::optional<std::string_view> contents = stream->Contents()) return use(*contents);
  use(stream->ReadAll());
}

bool TDataSet::Locate(std::string_view /*keyFields*/, const std::vector<TVariant>& /*keyValues*/,
                      TLocateOptions /*options*/) {
  return false;
}

TVariant TDataSet::Lookup(std::string_view /*keyFields*/,
                          const std::vector<TVariant>& /*keyValues*/,
                          std::string_view /*resultFields*/) {
  return {};
}

bool TDataSet::FindRecord(bool /*restart*/, bool /*goForward*/) {
  return false;
}

void TDataSet::SetState(TDataSetState state) {
  if (state_ == state) return;
  state_ = state;
  modified_ = false;
  DataEvent(TDataEvent::StateChanged);
}

void TDataSet::CheckActive() const {
  if (state_ == TDataSetState::Inactive) {
    DatabaseError("Cannot perform this operation on a closed dataset", this);
  }
}

void TDataSet::CheckInactive() {
  if (!Active()) return;
  if ((ComponentState() & (csUpdating | csDesigning)) != 0) {
    Close();
  } else {
    DatabaseError("Cannot perform this operation on an open dataset", this);
  }
}

}  // namespace katalog
