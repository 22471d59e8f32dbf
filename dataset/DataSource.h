// TDataSource: connects data links (the controls' side) to one data set. It mirrors the data
// set's state while it is Enabled and has a data set, and is Inactive otherwise, so switching it
// off makes every link inactive at once. It passes the data set's events to its links: first the
// non-visual ones, then the visual ones, each group from the newest link back to the oldest.
//
// The source does not own its links or its data set; each side of a link or data-set attachment
// clears the other's pointer when it is destroyed.
#pragma once

#include <functional>
#include <vector>

#include "dataset/DataSetTypes.h"
#include "platform/Component.h"

namespace katalog {

class TDataLink;
class TDataSet;
class TField;
struct TEventInfo;

class TDataSource : public TComponent {
 public:
  using TNotifyEvent = std::function<void(TDataSource& sender)>;
  using TDataChangeEvent = std::function<void(TDataSource& sender, TField* field)>;

  explicit TDataSource(TComponent* owner);
  ~TDataSource() override;

  TDataSet* DataSet() const { return dataSet_; }
  // "Circular datalinks are not allowed" when the data set is fed by this source.
  void SetDataSet(TDataSet* dataSet);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool AutoEdit() const { return autoEdit_; }
  void SetAutoEdit(bool value) { autoEdit_ = value; }
  TDataSetState State() const { return state_; }
  // Puts a browsing data set into Editing when AutoEdit is on.
  void Edit();
  // Whether the data set is fed, through its chain of master sources, by this source.
  bool IsLinkedTo(const TDataSet* dataSet) const;

  const TNotifyEvent& OnStateChange() const { return onStateChange_; }
  void SetOnStateChange(TNotifyEvent handler) { onStateChange_ = std::move(handler); }
  const TDataChangeEvent& OnDataChange() const { return onDataChange_; }
  void SetOnDataChange(TDataChangeEvent handler) { onDataChange_ = std::move(handler); }
  const TNotifyEvent& OnUpdateData() const { return onUpdateData_; }
  void SetOnUpdateData(TNotifyEvent handler) { onUpdateData_ = std::move(handler); }

  const std::vector<TDataLink*>& DataLinks() const { return links_; }
  // Called by the data set for each of its events.
  void DataEvent(TDataEvent event, TEventInfo& info);

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TDataSet;
  friend class TDataLink;

  void UpdateState();
  void NotifyLinks(TDataEvent event, TEventInfo& info);
  void AddDataLink(TDataLink* link);
  void RemoveDataLink(TDataLink* link);

  TDataSet* dataSet_ = nullptr;
  bool enabled_ = true;
  bool autoEdit_ = true;
  TDataSetState state_ = TDataSetState::Inactive;
  std::vector<TDataLink*> links_;
  TNotifyEvent onStateChange_;
  TDataChangeEvent onDataChange_;
  TNotifyEvent onUpdateData_;
};

}  // namespace katalog
