#include "dataset/GridDataLink.h"

#include "dataset/DataSet.h"

namespace katalog {

int GridDataRows(const TGridDataLink& link) {
  if (!link.Active()) return 1;
  const int rows = link.AvailableRows();
  return rows > 0 ? rows : 1;
}

TScrollBarInfo VerticalScrollBar(const TGridDataLink& link, const TScrollBarInfo& shown) {
  if (!link.Active()) return shown;
  TDataSet& dataSet = *link.DataSet();
  TScrollBarInfo info = shown;
  if (dataSet.IsSequenced()) {
    info.Min = 1;
    info.Page = link.BufferCount();
    info.Max = dataSet.RecordCount() + info.Page - 1;
    const TDataSetState state = dataSet.State();
    if (state == TDataSetState::Browsing || state == TDataSetState::Editing) {
      info.Position = dataSet.RecNo();
    }
  } else {
    info.Min = 0;
    info.Max = 4;
    info.Page = 0;
    info.Position = link.AtFirstRow() ? 0 : link.AtLastRow() ? 4 : 2;
  }
  return info;
}

void ScrollBarAction(TGridDataLink& link, TScrollAction action, int position) {
  if (!link.Active()) return;
  TDataSet& dataSet = *link.DataSet();
  const int visibleRows = link.BufferCount();
  switch (action) {
    case TScrollAction::LineUp:
      link.MoveRows(-link.ActiveRow() - 1);
      break;
    case TScrollAction::LineDown:
      link.MoveRows(link.AvailableRows() - link.ActiveRow());
      break;
    case TScrollAction::PageUp:
      link.MoveRows(-visibleRows);
      break;
    case TScrollAction::PageDown:
      link.MoveRows(visibleRows);
      break;
    case TScrollAction::Top:
      dataSet.First();
      break;
    case TScrollAction::Bottom:
      dataSet.Last();
      break;
    case TScrollAction::ThumbPosition:
      if (dataSet.IsSequenced()) {
        if (position <= 1) {
          dataSet.First();
        } else if (position >= dataSet.RecordCount()) {
          dataSet.Last();
        } else {
          dataSet.SetRecNo(position);
        }
      } else {
        switch (position) {
          case 0:
            dataSet.First();
            break;
          case 1:
            link.MoveRows(-visibleRows);
            break;
          case 3:
            link.MoveRows(visibleRows);
            break;
          case 4:
            dataSet.Last();
            break;
          default:
            break;
        }
      }
      break;
    case TScrollAction::ThumbTrack:
      break;
  }
}

int GridKeyAction(TGridDataLink& link, TGridKey key, bool ctrl, int selectedColumn,
                  int columnCount) {
  if (!link.Active()) return selectedColumn;
  TDataSet& dataSet = *link.DataSet();
  const int visibleRows = link.BufferCount();
  const int topRow = -link.ActiveRow();
  const int bottomRow = link.AvailableRows() - link.ActiveRow() - 1;
  switch (key) {
    case TGridKey::Up:
      link.MoveRows(ctrl ? topRow : -1);
      break;
    case TGridKey::Down:
      link.MoveRows(ctrl ? bottomRow : 1);
      break;
    case TGridKey::PageUp:
      link.MoveRows(ctrl ? topRow : -visibleRows);
      break;
    case TGridKey::PageDown:
      link.MoveRows(ctrl ? bottomRow : visibleRows);
      break;
    case TGridKey::Home:
      if (ctrl || columnCount <= 1) {
        dataSet.First();
      } else {
        return 0;
      }
      break;
    case TGridKey::End:
      if (ctrl || columnCount <= 1) {
        dataSet.Last();
      } else {
        return columnCount - 1;
      }
      break;
    case TGridKey::Left:
      if (columnCount > 1) return ctrl ? 0 : (selectedColumn > 0 ? selectedColumn - 1 : 0);
      break;
    case TGridKey::Right:
      if (columnCount > 1) {
        return ctrl ? columnCount - 1
                    : (selectedColumn < columnCount - 1 ? selectedColumn + 1 : selectedColumn);
      }
      break;
    case TGridKey::Escape:
      dataSet.Cancel();
      break;
    case TGridKey::Insert:
    case TGridKey::Delete:
    case TGridKey::F2:
      break;
  }
  return selectedColumn;
}

void ClickRow(TGridDataLink& link, int row) {
  if (link.Active()) link.MoveRows(row - link.ActiveRow());
}

}  // namespace katalog
