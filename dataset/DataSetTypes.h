// The small enumerations shared by the data set, its fields, its data sources and its links.
#pragma once

#include <cstdint>

namespace katalog {

// The data set's state. A data set is active in every state but Inactive and Opening.
enum class TDataSetState : std::uint8_t {
  Inactive,
  Browsing,
  Editing,
  Inserting,
  KeyEntry,
  Calculating,
  FilterTest,
  NewValue,
  OldValue,
  CurrentValue,
  BlockRead,
  InternalCalc,
  Opening,
};

inline bool IsActiveState(TDataSetState state) {
  return state != TDataSetState::Inactive && state != TDataSetState::Opening;
}
inline bool IsEditState(TDataSetState state) {
  return state == TDataSetState::Editing || state == TDataSetState::Inserting ||
         state == TDataSetState::KeyEntry;
}

// The notifications a data set sends to its data sources, with one integer argument: a field for
// FieldChanged and ControlFocus, the window's shift for Scrolled, nothing for the others.
enum class TDataEvent : std::uint8_t {
  FieldChanged,
  RecordChanged,
  DataSetChanged,
  Scrolled,
  LayoutChanged,
  RecordUpdating,
  StateChanged,
  CheckBrowse,
  PropertyChanged,
  FieldListChanged,
  ControlFocus,
  ParentScrolled,
};

// What a record buffer holds.
enum class TBookmarkFlag : std::uint8_t { Current, AtBof, AtEof, Inserted };

enum class TFetchMode : std::uint8_t { FetchCurrent, FetchNext, FetchPrior };
enum class TFetchResult : std::uint8_t { FetchOk, FetchBof, FetchEof, FetchError };

// A set of TResyncOption bits.
enum TResyncOption : unsigned { rmExact = 1u << 0, rmCenter = 1u << 1 };
using TResyncMode = unsigned;

// The answer of an edit, post or delete error handler.
enum class TDataAction : std::uint8_t { Fail, Abort, Retry };

}  // namespace katalog
