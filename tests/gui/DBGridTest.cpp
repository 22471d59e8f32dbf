// The data-aware grid offscreen: its rows from its height, keys, clicks and the scroll bar.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPaintEvent>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QWheelEvent>

#include "dataset/DataSource.h"
#include "dataset/Field.h"
#include "dbcontrols/DBGrid.h"
#include "support/MemoryDataSet.h"

namespace katalog::testing {
namespace {

class DBGridTest : public ::testing::Test {
 protected:
  DBGridTest() {
    for (int i = 1; i <= 40; ++i) dataSet_.AddRecord({"name" + std::to_string(i), std::int64_t{i}});
    source_.SetDataSet(&dataSet_);
    grid_ = new TDBGrid(&form_, &window_);
    grid_->SetOptions(dgConfirmDelete | dgCancelOnExit);
    grid_->SetColumns({{"DE_1", 242}});
    grid_->SetDataSource(&source_);
    // 14 rows and a little over.
    grid_->resize(260, 14 * grid_->RowHeight() + 2 * grid_->frameWidth() + 5);
    window_.show();
    QApplication::setActiveWindow(&window_);  // focus goes only to an active window
    dataSet_.Open();
  }
  std::string Name() { return dataSet_.FieldNamed("DE_1")->ValueString(); }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(grid_, static_cast<Qt::Key>(key), modifiers);
  }

  TMemoryDataSet dataSet_{nullptr, {{"DE_1", ftString, 40}, {"N", ftInteger}}};
  TDataSource source_{nullptr};
  TComponent form_{nullptr};
  QWidget window_;
  TDBGrid* grid_ = nullptr;
};

TEST_F(DBGridTest, TheGridsHeightSizesTheWindow) {
  EXPECT_EQ(grid_->VisibleRows(), 14);
  EXPECT_EQ(dataSet_.BufferCount(), 14);
  EXPECT_EQ(dataSet_.WindowRecordCount(), 14);
}

TEST_F(DBGridTest, KeysMoveTheDataSet) {
  grid_->setFocus();
  Key(Qt::Key_Down);
  EXPECT_EQ(Name(), "name2");
  Key(Qt::Key_PageDown);
  EXPECT_EQ(Name(), "name16");
  Key(Qt::Key_End);
  EXPECT_EQ(Name(), "name40");
  Key(Qt::Key_Home);
  EXPECT_EQ(Name(), "name1");
  Key(Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(Name(), "name14");
  Key(Qt::Key_Delete);
  EXPECT_EQ(dataSet_.StoredCount(), 40);
}

TEST_F(DBGridTest, AClickMovesToTheClickedRow) {
  QTest::mouseClick(grid_->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint(10, 5 * grid_->RowHeight() + 2));
  EXPECT_EQ(Name(), "name6");
  EXPECT_TRUE(grid_->hasFocus());
}

TEST_F(DBGridTest, EachNotchOfTheWheelMovesOneRowOverTheListAndOverItsBar) {
  const auto wheel = [](QWidget* target, int units) {
    QWheelEvent event(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, units),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
  };
  QScrollBar* bar = grid_->verticalScrollBar();
  wheel(grid_->viewport(), -2 * 120);  // towards the user: down the list
  EXPECT_EQ(Name(), "name3");
  wheel(grid_->viewport(), -60);  // a touchpad's half notch moves nothing yet
  EXPECT_EQ(Name(), "name3");
  wheel(grid_->viewport(), -60);
  EXPECT_EQ(Name(), "name4");
  EXPECT_EQ(bar->value(), 4);
  wheel(bar, 3 * 120);
  EXPECT_EQ(Name(), "name1");
  EXPECT_EQ(bar->value(), 1);  // the bar shows where the list is, not a thumb moved alone
  wheel(bar, 120);             // at the top: nothing further
  EXPECT_EQ(Name(), "name1");
}

// Collects the areas the grid's rows are drawn again in.
class PaintedAreas : public QObject {
 public:
  explicit PaintedAreas(QWidget* viewport) { viewport->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted |= static_cast<QPaintEvent*>(event)->region();
    return false;
  }
  QRegion painted;
};

TEST_F(DBGridTest, AStepPastTheLastRowMovesTheDrawnRowsAndDrawsOnlyWhatChanged) {
  grid_->setFocus();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  dataSet_.MoveBy(13);  // the last row shown
  QApplication::processEvents();
  PaintedAreas areas(grid_->viewport());
  Key(Qt::Key_Down);  // the window moves down by one
  QApplication::processEvents();
  EXPECT_EQ(Name(), "name15");
  // The row that came in and the current row's old place: two rows, not the fourteen.
  EXPECT_LE(areas.painted.boundingRect().height(), 2 * grid_->RowHeight());
  EXPECT_FALSE(areas.painted.isEmpty());
}

TEST_F(DBGridTest, TheCurrentRowHasAFocusRectangleWhileTheGridHasTheFocus) {
  const auto rowPixels = [&] {
    const QImage image = grid_->viewport()->grab().toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < grid_->RowHeight(); ++y)
      for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    return colours;
  };
  grid_->clearFocus();
  grid_->SetOptions(grid_->Options() | dgAlwaysShowSelection);
  const QSet<QRgb> unfocused = rowPixels();
  grid_->setFocus();
  const QSet<QRgb> focused = rowPixels();
  EXPECT_NE(focused, unfocused);  // the rectangle is drawn over the row's highlight
}

TEST_F(DBGridTest, TheScrollBarTracksTheRecordOrShowsThreePositions) {
  QScrollBar* bar = grid_->verticalScrollBar();
  EXPECT_EQ(bar->minimum(), 1);
  EXPECT_EQ(bar->maximum(), 40);
  EXPECT_EQ(bar->value(), 1);
  dataSet_.MoveBy(20);
  EXPECT_EQ(bar->value(), 21);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // just below the window's last row
  EXPECT_EQ(Name(), "name22");

  dataSet_.SetOnFilterRecord(
      [](TDataSet& ds, bool& accept) { accept = ds.FieldNamed("N")->ValueInteger() % 2 == 1; });
  dataSet_.SetFiltered(true);
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 4);
  EXPECT_EQ(bar->value(), 0);
  dataSet_.Last();
  EXPECT_EQ(bar->value(), 4);
  dataSet_.MoveBy(-3);
  EXPECT_EQ(bar->value(), 2);
}

}  // namespace
}  // namespace katalog::testing
