#include "dbcontrols/DBGrid.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

#include "dataset/DataSet.h"
#include "dataset/DataSource.h"
#include "dataset/Field.h"
#include "dbcontrols/QtText.h"
#include "platform/ExceptionReporter.h"

namespace katalog {

TDBGrid::TDBGrid(TComponent* owner, QWidget* parent)
    : QAbstractScrollArea(parent), TComponent(owner) {
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QScrollBar* bar = verticalScrollBar();
  bar->installEventFilter(this);
  connect(bar, &QScrollBar::actionTriggered, this, [this](int action) {
    setFocus();
    platform::RunReported([&] {
      switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
          return ScrollBarAction(link_, TScrollAction::LineUp, 0);
        case QAbstractSlider::SliderSingleStepAdd:
          return ScrollBarAction(link_, TScrollAction::LineDown, 0);
        case QAbstractSlider::SliderPageStepSub:
          return ScrollBarAction(link_, TScrollAction::PageUp, 0);
        case QAbstractSlider::SliderPageStepAdd:
          return ScrollBarAction(link_, TScrollAction::PageDown, 0);
        case QAbstractSlider::SliderToMinimum:
          return ScrollBarAction(link_, TScrollAction::Top, 0);
        case QAbstractSlider::SliderToMaximum:
          return ScrollBarAction(link_, TScrollAction::Bottom, 0);
        default:
          return;  // dragging the thumb moves nothing until it is released
      }
    });
    UpdateScrollBar();  // the bar shows the data set's position, not Qt's own step
  });
  connect(bar, &QScrollBar::sliderReleased, this, [this, bar] {
    platform::RunReported(
        [&] { ScrollBarAction(link_, TScrollAction::ThumbPosition, bar->sliderPosition()); });
    UpdateScrollBar();
  });
}

TDBGrid::~TDBGrid() {
  Destroying();
  link_.SetDataSource(nullptr);
}

void TDBGrid::SetDataSource(TDataSource* source) {
  if (DataSource()) RemoveFreeNotification(DataSource());
  link_.SetDataSource(source);
  if (source) FreeNotification(source);
}

void TDBGrid::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == DataSource()) link_.SetDataSource(nullptr);
}

void TDBGrid::SetOptions(TDBGridOptions options) {
  options_ = options;
  Layout();
}

void TDBGrid::SetColumns(std::vector<TColumn> columns) {
  columns_ = std::move(columns);
  Layout();
}

int TDBGrid::RowHeight() const {
  return fontMetrics().height() + 3 + ((options_ & dgRowLines) != 0 ? 1 : 0);
}

int TDBGrid::VisibleRows() const {
  return std::max(1, (viewport()->height() - TitleRows() * RowHeight()) / RowHeight());
}

void TDBGrid::BindColumns() {
  TDataSet* dataSet = link_.DataSet();
  for (TColumn& column : columns_) {
    if (!column.Field && dataSet && link_.Active())
      column.Field = dataSet->TryFieldNamed(column.FieldName);
    if (!link_.Active()) column.Field = nullptr;
  }
}

void TDBGrid::Layout() {
  BindColumns();
  if (link_.Active()) link_.SetBufferCount(VisibleRows());
  UpdateScrollBar();
  viewport()->update();
}

void TDBGrid::UpdateScrollBar() {
  const TScrollBarInfo info = VerticalScrollBar(link_, shown_);
  if (info == shown_) return;
  shown_ = info;
  QScrollBar* bar = verticalScrollBar();
  const QSignalBlocker quiet(bar);
  bar->setRange(info.Min, std::max(info.Min, info.Max - std::max(info.Page, 1) + 1));
  bar->setPageStep(std::max(info.Page, 1));
  bar->setValue(info.Position);
}

void TDBGrid::LinkActive(bool) {
  Layout();
}
void TDBGrid::DataChanged() {
  UpdateScrollBar();
  viewport()->update();
}
// The rows already drawn move by the distance; only the rows that come in, and the current
// row's old and new place, are drawn again.
void TDBGrid::Scroll(int distance) {
  const int rows = GridDataRows(link_);
  if (distance == 0 || std::abs(distance) >= rows || paintedActive_ < 0) return DataChanged();
  UpdateScrollBar();
  const int rowHeight = RowHeight();
  const QRect dataRows(0, TitleRows() * rowHeight, viewport()->width(), rows * rowHeight);
  viewport()->scroll(0, -distance * rowHeight, dataRows);
  for (const int row : {paintedActive_ - distance, link_.ActiveRow()}) {
    viewport()->update(0, (TitleRows() + row) * rowHeight, viewport()->width(), rowHeight);
  }
}
void TDBGrid::RecordChanged(TField*) {
  viewport()->update();
}
void TDBGrid::LayoutChanged() {
  Layout();
}

void TDBGrid::ForgetField(TField* field) {
  for (TColumn& column : columns_) {
    if (column.Field == field) column.Field = nullptr;
  }
}

void TDBGrid::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), palette().base());
  if (!link_.Active()) return;
  BindColumns();
  const int rowHeight = RowHeight();
  const int rows = GridDataRows(link_);
  const int active = link_.ActiveRow();
  const bool highlight = hasFocus() || (options_ & dgAlwaysShowSelection) != 0;
  paintedActive_ = active;
  for (int row = 0; row < rows && row < link_.AvailableRows(); ++row) {
    const int top = (TitleRows() + row) * rowHeight;
    if (!event->region().intersects(QRect(0, top, viewport()->width(), rowHeight))) continue;
    int left = 0;
    const bool current = row == active && highlight;
    if (current) painter.fillRect(0, top, viewport()->width(), rowHeight, palette().highlight());
    if (current && hasFocus()) {
      QStyleOptionFocusRect focus;
      focus.initFrom(this);
      // Styles draw it only after keyboard navigation; the list shows it whenever it has the focus.
      focus.state |= QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange;
      focus.rect = QRect(0, top, viewport()->width(), rowHeight);
      focus.backgroundColor = palette().highlight().color();
      style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
    painter.setPen(current       ? palette().highlightedText().color()
                   : isEnabled() ? palette().text().color()
                                 : palette().color(QPalette::Disabled, QPalette::Text));
    for (const TColumn& column : columns_) {
      if (!column.Visible) continue;
      QString text;
      if (column.Field) {
        link_.SetActiveRow(row);
        platform::RunReported([&] { text = QtText(column.Field->DisplayString()); });
        link_.SetActiveRow(active);
      }
      const QRect cell(left, top, column.Width, rowHeight);
      const TAlignment alignment = column.Field ? column.Field->Alignment() : taLeftJustify;
      const int flags = alignment == taRightJustify ? Qt::AlignRight
                        : alignment == taCenter     ? Qt::AlignHCenter
                                                    : Qt::AlignLeft;
      painter.drawText(cell.adjusted(2, 2, -3, 0), flags | Qt::AlignTop | Qt::TextSingleLine, text);
      left += column.Width;
    }
  }
}

void TDBGrid::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  platform::RunReported([this] { Layout(); });
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
  const bool ctrl = (event->modifiers() & Qt::ControlModifier) != 0;
  TGridKey key;
  switch (event->key()) {
    case Qt::Key_Up:
      key = TGridKey::Up;
      break;
    case Qt::Key_Down:
      key = TGridKey::Down;
      break;
    case Qt::Key_PageUp:
      key = TGridKey::PageUp;
      break;
    case Qt::Key_PageDown:
      key = TGridKey::PageDown;
      break;
    case Qt::Key_Home:
      key = TGridKey::Home;
      break;
    case Qt::Key_End:
      key = TGridKey::End;
      break;
    case Qt::Key_Left:
      key = TGridKey::Left;
      break;
    case Qt::Key_Right:
      key = TGridKey::Right;
      break;
    case Qt::Key_Escape:
      key = TGridKey::Escape;
      break;
    case Qt::Key_Insert:
      key = TGridKey::Insert;
      break;
    case Qt::Key_Delete:
      key = TGridKey::Delete;
      break;
    case Qt::Key_F2:
      key = TGridKey::F2;
      break;
    default:
      return QAbstractScrollArea::keyPressEvent(event);
  }
  KeyAction(key, ctrl);
}

void TDBGrid::KeyAction(TGridKey key, bool ctrl) {
  const int columns = static_cast<int>(
      std::count_if(columns_.begin(), columns_.end(), [](const TColumn& c) { return c.Visible; }));
  const int before = selected_;
  platform::RunReported([&] { selected_ = GridKeyAction(link_, key, ctrl, selected_, columns); });
  // A move of the data set draws itself through the data events; a column change does not.
  if (selected_ != before) viewport()->update();
}

void TDBGrid::wheelEvent(QWheelEvent* event) {
  constexpr int kNotch = 120;
  event->accept();
  wheelUnits_ += event->angleDelta().y();
  const int rows = wheelUnits_ / kNotch;  // away from the user: up the list
  wheelUnits_ -= rows * kNotch;
  for (int i = 0; i < std::abs(rows); ++i)
    KeyAction(rows > 0 ? TGridKey::Up : TGridKey::Down, false);
}

bool TDBGrid::eventFilter(QObject* watched, QEvent* event) {
  // The scroll bar would move its thumb alone; the wheel over it moves the list instead.
  if (watched == verticalScrollBar() && event->type() == QEvent::Wheel) {
    wheelEvent(static_cast<QWheelEvent*>(event));
    return true;
  }
  return QAbstractScrollArea::eventFilter(watched, event);
}

void TDBGrid::mousePressEvent(QMouseEvent* event) {
  setFocus();
  const int row = event->position().toPoint().y() / RowHeight() - TitleRows();
  if (row >= 0 && row < link_.AvailableRows()) platform::RunReported([&] { ClickRow(link_, row); });
  viewport()->update();
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent*) {
  if (onDblClick_) platform::RunReported([this] { onDblClick_(); });
}

void TDBGrid::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void TDBGrid::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

}  // namespace katalog
