// Records the events of a data set and the data events that reach a link, in order, as short
// texts ("BeforeScroll", "Scrolled -1", "StateChanged"), so that tests compare whole sequences.
#pragma once

#include <string>
#include <vector>

#include "dataset/DataLink.h"
#include "dataset/DataSet.h"

namespace katalog::testing {

inline const char* DataEventName(TDataEvent event) {
  static const char* const kNames[] = {"FieldChanged",     "RecordChanged", "DataSetChanged",
                                       "Scrolled",         "LayoutChanged", "RecordUpdating",
                                       "StateChanged",     "CheckBrowse",   "PropertyChanged",
                                       "FieldListChanged", "ControlFocus",  "ParentScrolled"};
  return kNames[static_cast<int>(event)];
}

using TEventLog = std::vector<std::string>;

// Logs every event handler of the data set.
inline void RecordEvents(TDataSet& dataSet, TEventLog& log) {
  auto note = [&log](const char* name) { return [&log, name](TDataSet&) { log.push_back(name); }; };
  dataSet.SetBeforeOpen(note("BeforeOpen"));
  dataSet.SetAfterOpen(note("AfterOpen"));
  dataSet.SetBeforeClose(note("BeforeClose"));
  dataSet.SetAfterClose(note("AfterClose"));
  dataSet.SetBeforeInsert(note("BeforeInsert"));
  dataSet.SetAfterInsert(note("AfterInsert"));
  dataSet.SetBeforeEdit(note("BeforeEdit"));
  dataSet.SetAfterEdit(note("AfterEdit"));
  dataSet.SetBeforePost(note("BeforePost"));
  dataSet.SetAfterPost(note("AfterPost"));
  dataSet.SetBeforeCancel(note("BeforeCancel"));
  dataSet.SetAfterCancel(note("AfterCancel"));
  dataSet.SetBeforeDelete(note("BeforeDelete"));
  dataSet.SetAfterDelete(note("AfterDelete"));
  dataSet.SetBeforeScroll(note("BeforeScroll"));
  dataSet.SetAfterScroll(note("AfterScroll"));
  dataSet.SetOnNewRecord(note("OnNewRecord"));
}

// A link that logs the data events reaching it (CheckBrowse and RecordUpdating excepted, which
// accompany every move) and asks for a given number of rows.
class TRecordingLink : public TDataLink {
 public:
  TRecordingLink(TEventLog& log, int bufferCount = 1, bool visual = false)
      : TDataLink(visual), log_(log) {
    SetBufferCount(bufferCount);
  }

  void HandleDataEvent(TDataEvent event, TEventInfo& info) override {
    if (event != TDataEvent::CheckBrowse && event != TDataEvent::RecordUpdating) {
      std::string entry = DataEventName(event);
      if (event == TDataEvent::Scrolled) entry += " " + std::to_string(info.Distance);
      log_.push_back(entry);
    }
    TDataLink::HandleDataEvent(event, info);
  }

 private:
  TEventLog& log_;
};

}  // namespace katalog::testing
