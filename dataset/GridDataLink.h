// TGridDataLink and the grid's row and scroll logic, kept apart from any widget: the link passes
// the data set's events to the grid through TGridLinkClient, and the free functions turn scroll
// bar actions, keys and clicks into data set moves and compute the vertical scroll bar. The grid
// shows the link's rows (BufferCount() of them when the window holds that many), one per record
// of the data set's buffer window, so painting never reads a record.
#pragma once

#include "dataset/DataLink.h"

namespace katalog {

// What a grid does when its link reports a change.
class TGridLinkClient {
 public:
  virtual ~TGridLinkClient() = default;
  // Hide any editor, lay the rows out again, update the scroll bar.
  virtual void LinkActive(bool active) = 0;
  // Recompute the rows, the scroll bar and the current cell; repaint everything.
  virtual void DataChanged() = 0;
  // The rows moved by distance: scroll what can be kept, repaint the rest.
  virtual void Scroll(int distance) = 0;
  // Repaint the columns of the field, or everything when none.
  virtual void RecordChanged(TField* field) = 0;
  virtual void LayoutChanged() = 0;
  virtual void EditingChanged() {}
  virtual void WritePendingEdit() {}
  // The field is being destroyed: columns bound to it drop it.
  virtual void ForgetField(TField* /*field*/) {}
};

class TGridDataLink : public TDataLink {
 public:
  explicit TGridDataLink(TGridLinkClient& grid) : TDataLink(true), grid_(grid) {}
  // Whether a row is a summary row: never, here.
  virtual bool IsSummaryRow(int /*row*/) const { return false; }

 protected:
  void HandleActiveChange() override { grid_.LinkActive(Active()); }
  void HandleDataSetChange() override { grid_.DataChanged(); }
  void HandleScroll(int distance) override { grid_.Scroll(distance); }
  void HandleRecordChange(TField* field) override { grid_.RecordChanged(field); }
  void HandleLayoutChange() override { grid_.LayoutChanged(); }
  void HandleEditingChange() override { grid_.EditingChanged(); }
  void HandleWritePending() override { grid_.WritePendingEdit(); }
  void ForgetField(TField* field) override { grid_.ForgetField(field); }

 private:
  TGridLinkClient& grid_;
};

// The data rows a grid shows: the link's available rows while it is active and the window holds
// records, else one empty row.
int GridDataRows(const TGridDataLink& link);

struct TScrollBarInfo {
  int Min = 0;
  int Max = 0;
  int Page = 0;
  int Position = 0;
  bool operator==(const TScrollBarInfo&) const = default;
};

// The vertical scroll bar for the link's data set, from what the bar shows now. Sequenced data
// sets: 1 .. record count + page - 1 with a page of the visible rows, at the record number
// (kept outside Browsing and Editing); others: 0 .. 4 with no page, at 0 at the beginning, 4 at
// the end, 2 in between. An inactive link leaves the bar as it is.
TScrollBarInfo VerticalScrollBar(const TGridDataLink& link, const TScrollBarInfo& shown);

enum class TScrollAction {
  LineUp,
  LineDown,
  PageUp,
  PageDown,
  Top,
  Bottom,
  ThumbPosition,
  ThumbTrack
};

// Carries out a scroll bar action; position is the thumb's for ThumbPosition. Dragging the
// thumb (ThumbTrack) does nothing until it is released.
void ScrollBarAction(TGridDataLink& link, TScrollAction action, int position);

enum class TGridKey {
  Up,
  Down,
  PageUp,
  PageDown,
  Home,
  End,
  Left,
  Right,
  Escape,
  Insert,
  Delete,
  F2
};

// Carries out a key of a read-only grid; returns the column to select (columns 0 .. columnCount
// - 1). Home and End move between columns, or to the first and last record with Ctrl or with a
// single column.
int GridKeyAction(TGridDataLink& link, TGridKey key, bool ctrl, int selectedColumn,
                  int columnCount);

// A click on data row `row` moves the cursor by the rows between it and the current one.
void ClickRow(TGridDataLink& link, int row);

}  // namespace katalog
