// TDBGrid: a read-only grid of the data set's records, one row per record of the data set's
// buffer window and one column per TColumn. It asks its link for as many rows as fit, paints
// only the rows the window holds, highlights the current row while it has the focus, and turns
// keys, clicks and scroll bar actions into data set moves (dataset/GridDataLink.h).
#pragma once

#include <QAbstractScrollArea>
#include <functional>
#include <string>
#include <vector>

#include "dataset/GridDataLink.h"
#include "platform/Component.h"

namespace katalog {

class TDataSource;
class TField;

enum TDBGridOption : unsigned {
  dgEditing = 1u << 0,
  dgAlwaysShowEditor = 1u << 1,
  dgTitles = 1u << 2,
  dgIndicator = 1u << 3,
  dgColumnResize = 1u << 4,
  dgColLines = 1u << 5,
  dgRowLines = 1u << 6,
  dgTabs = 1u << 7,
  dgRowSelect = 1u << 8,
  dgAlwaysShowSelection = 1u << 9,
  dgConfirmDelete = 1u << 10,
  dgCancelOnExit = 1u << 11,
  dgMultiSelect = 1u << 12,
};
using TDBGridOptions = unsigned;

// A column: the field it shows, looked up by name once the data set is active (a missing one
// leaves the column empty, without an error).
struct TColumn {
  std::string FieldName;
  int Width = 64;
  bool Visible = true;
  TField* Field = nullptr;
};

class TDBGrid : public QAbstractScrollArea, public TComponent, private TGridLinkClient {
 public:
  TDBGrid(TComponent* owner, QWidget* parent);
  ~TDBGrid() override;

  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source);
  TDBGridOptions Options() const { return options_; }
  void SetOptions(TDBGridOptions options);
  std::vector<TColumn>& Columns() { return columns_; }
  void SetColumns(std::vector<TColumn> columns);
  int SelectedIndex() const { return selected_; }
  void SetSelectedIndex(int index) { selected_ = index; }
  void SetOnDblClick(std::function<void()> handler) { onDblClick_ = std::move(handler); }

  int RowHeight() const;
  // Data rows that fit completely below the title rows.
  int VisibleRows() const;
  const TGridDataLink& Link() const { return link_; }

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Each notch of the wheel (120 units, which a touchpad's smaller steps add up to) moves the
  // current record one row, as an arrow key does; over the list and over its scroll bar alike.
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void LinkActive(bool active) override;
  void DataChanged() override;
  void Scroll(int distance) override;
  void RecordChanged(TField* field) override;
  void LayoutChanged() override;
  void ForgetField(TField* field) override;

  void Layout();
  void BindColumns();
  void UpdateScrollBar();
  int TitleRows() const { return (options_ & dgTitles) != 0 ? 1 : 0; }
  // Runs a key's action on the data set, as the keyboard does.
  void KeyAction(TGridKey key, bool ctrl);

  TGridDataLink link_{*this};
  TDBGridOptions options_ = dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines |
                            dgRowLines | dgTabs | dgConfirmDelete | dgCancelOnExit;
  std::vector<TColumn> columns_;
  int selected_ = 0;
  int wheelUnits_ = 0;      // wheel movement not yet a whole notch, signed
  int paintedActive_ = -1;  // the row last drawn as the current one, -1 before the first paint
  TScrollBarInfo shown_;
  std::function<void()> onDblClick_;
};

}  // namespace katalog
