// Data sources, data links, the field link and the grid link's row, scroll and key logic.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dataset/DataSource.h"
#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "dataset/FieldDataLink.h"
#include "dataset/GridDataLink.h"
#include "support/EventLog.h"
#include "support/MemoryDataSet.h"

namespace katalog::testing {
namespace {

using ::testing::ElementsAre;

class DataLinkTest : public ::testing::Test {
 protected:
  DataLinkTest() {
    dataSet_.SetName("IsamTable1");
    for (int i = 1; i <= 40; ++i) {
      dataSet_.AddRecord({"name" + std::to_string(i), std::int64_t{i}, std::string("memo")});
    }
    source_.SetDataSet(&dataSet_);
  }
  std::string Name() { return dataSet_.FieldNamed("DE_1")->ValueString(); }

  TMemoryDataSet dataSet_{nullptr, {{"DE_1", ftString, 30}, {"ID", ftInteger}, {"DE_11", ftMemo}}};
  TDataSource source_{nullptr};
  TEventLog log_;
};

// A link that logs which link heard an event.
class TNamedLink : public TDataLink {
 public:
  TNamedLink(TEventLog& log, std::string name, bool visual)
      : TDataLink(visual), log_(log), name_(std::move(name)) {}
  void HandleDataEvent(TDataEvent event, TEventInfo& info) override {
    if (event == TDataEvent::DataSetChanged) log_.push_back(name_);
    TDataLink::HandleDataEvent(event, info);
  }

 private:
  TEventLog& log_;
  std::string name_;
};

TEST_F(DataLinkTest, NonVisualLinksHearFirstAndNewestFirst) {
  TNamedLink visual1(log_, "visual1", true), plain1(log_, "plain1", false);
  TNamedLink visual2(log_, "visual2", true), plain2(log_, "plain2", false);
  for (TDataLink* link : std::initializer_list<TDataLink*>{&visual1, &plain1, &visual2, &plain2}) {
    link->SetDataSource(&source_);
  }
  dataSet_.Open();
  log_.clear();
  dataSet_.First();
  EXPECT_THAT(log_, ElementsAre("plain2", "plain1", "visual2", "visual1"));
}

TEST_F(DataLinkTest, TheSourceMirrorsTheStateWhileEnabled) {
  std::vector<std::string> calls;
  source_.SetOnStateChange([&](TDataSource& s) {
    calls.push_back("state " + std::to_string(static_cast<int>(s.State())));
  });
  source_.SetOnDataChange([&](TDataSource&, TField* field) {
    calls.push_back(field ? "data " + field->FieldName() : "data");
  });
  dataSet_.Open();
  EXPECT_THAT(calls, ElementsAre("state 1", "data"));
  calls.clear();
  dataSet_.Next();
  dataSet_.Edit();
  dataSet_.FieldNamed("ID")->SetValueInteger(5);
  EXPECT_THAT(calls, ElementsAre("data", "state 2", "data", "data ID"));
  dataSet_.Cancel();
  calls.clear();
  source_.SetEnabled(false);
  dataSet_.Next();
  EXPECT_THAT(calls, ElementsAre("state 0"));
  EXPECT_EQ(source_.State(), TDataSetState::Inactive);
  dataSet_.Close();
  source_.SetEnabled(true);
  EXPECT_EQ(source_.State(), TDataSetState::Inactive);
}

TEST_F(DataLinkTest, CircularLinksAndFixedSourcesAreRefused) {
  // A data set fed by this source (its master source) cannot be this source's data set.
  class TDetail : public TMemoryDataSet {
   public:
    using TMemoryDataSet::TMemoryDataSet;
    TDataSource* DataSource() const override { return master; }
    TDataSource* master = nullptr;
  };
  TDetail detail{nullptr, {{"X", ftInteger}}};
  TDataSource masterSource{nullptr};
  masterSource.SetName("DataSource1");
  masterSource.SetDataSet(&detail);
  detail.master = &masterSource;
  try {
    masterSource.SetDataSet(&detail);  // unchanged: fine
    TDataSource other{nullptr};
    other.SetName("DataSource2");
    detail.master = &other;
    other.SetDataSet(&detail);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "DataSource2: Circular datalinks are not allowed");
  }
  detail.master = nullptr;

  TRecordingLink link(log_);
  link.SetDataSource(&source_);
  link.SetDataSourceFixed(true);
  EXPECT_THROW(link.SetDataSource(nullptr), EDatabaseError);
}

TEST_F(DataLinkTest, DestroyingEitherSideLeavesNoDanglingPointer) {
  auto link = std::make_unique<TRecordingLink>(log_);
  {
    TDataSource temporary{nullptr};
    temporary.SetDataSet(&dataSet_);
    link->SetDataSource(&temporary);
    dataSet_.Open();
    EXPECT_TRUE(link->Active());
  }
  EXPECT_EQ(link->DataSource(), nullptr);
  EXPECT_FALSE(link->Active());
  dataSet_.Next();  // the destroyed source is no longer told

  auto owned = std::make_unique<TMemoryDataSet>(nullptr, std::vector<TColumn>{{"X", ftInteger}});
  TDataSource source{nullptr};
  source.SetDataSet(owned.get());
  owned->Open();
  link->SetDataSource(&source);
  EXPECT_TRUE(link->Active());
  owned.reset();
  EXPECT_EQ(source.DataSet(), nullptr);
  EXPECT_FALSE(link->Active());
}

// A control's field link, with what its callbacks saw.
struct TFieldControl {
  explicit TFieldControl(const char* name) : control(nullptr), link(&control) {
    control.SetName(name);
    link.SetOnDataChange([this] { shown = link.Field() ? link.Field()->DisplayString() : ""; });
    link.SetOnActiveChange([this] { ++activeChanges; });
  }
  TComponent control;
  TFieldDataLink link;
  std::string shown = "?";
  int activeChanges = 0;
};

TEST_F(DataLinkTest, FieldLinksBindByNameAndRefresh) {
  TFieldControl label("DBText1");
  TFieldControl memo("DBText2");
  label.link.SetFieldName("de_1");
  memo.link.SetFieldName("DE_11");
  label.link.SetDataSource(&source_);
  memo.link.SetDataSource(&source_);
  EXPECT_EQ(label.shown, "?");
  dataSet_.Open();
  EXPECT_EQ(label.link.Field(), dataSet_.FieldNamed("DE_1"));
  EXPECT_EQ(label.shown, "name1");
  EXPECT_EQ(memo.shown, "(MEMO)");
  dataSet_.MoveBy(2);
  EXPECT_EQ(label.shown, "name3");

  // Disabled: the controls empty; enabled again: the current record, without a move.
  source_.SetEnabled(false);
  EXPECT_EQ(label.link.Field(), nullptr);
  EXPECT_EQ(label.shown, "");
  int scrolls = 0;
  dataSet_.SetBeforeScroll([&](TDataSet&) { ++scrolls; });
  source_.SetEnabled(true);
  EXPECT_EQ(label.shown, "name3");
  EXPECT_EQ(scrolls, 0);
  EXPECT_EQ(label.activeChanges, 3);
}

TEST_F(DataLinkTest, AMissingFieldIsTheControlsError) {
  dataSet_.Open();
  TFieldControl label("DBText1");
  label.link.SetFieldName("DE_3");
  try {
    label.link.SetDataSource(&source_);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "DBText1: Field 'DE_3' not found");
  }
  TFieldDataLink bare;
  bare.SetFieldName("DE_3");
  try {
    bare.SetDataSource(&source_);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "IsamTable1: Field 'DE_3' not found");
  }
}

TEST_F(DataLinkTest, OneControlThatCannotBindDoesNotKeepTheOthersInactive) {
  TFieldControl broken("DBText1");
  TFieldControl good("DBText2");
  good.link.SetFieldName("DE_1");
  good.link.SetDataSource(&source_);  // attached first, so told last
  broken.link.SetFieldName("DE_3");
  broken.link.SetDataSource(&source_);
  int afterOpen = 0;
  dataSet_.SetAfterOpen([&](TDataSet&) { ++afterOpen; });
  EXPECT_THROW(dataSet_.Open(), EDatabaseError);
  EXPECT_TRUE(dataSet_.Active());
  EXPECT_EQ(afterOpen, 1);
  EXPECT_TRUE(good.link.Active());
  EXPECT_EQ(good.shown, "name1");
  EXPECT_EQ(broken.link.Field(), nullptr);
}

TEST_F(DataLinkTest, ClosingWhileControlsAreDisabledLeavesNoStaleField) {
  TFieldControl label("DBText1");
  label.link.SetFieldName("DE_1");
  label.link.SetDataSource(&source_);
  dataSet_.Open();
  ASSERT_NE(label.link.Field(), nullptr);
  dataSet_.DisableControls();
  dataSet_.Close();  // the default fields go; the link hears nothing yet
  EXPECT_EQ(label.link.Field(), nullptr);
  dataSet_.Open();
  dataSet_.Next();
  dataSet_.EnableControls();
  EXPECT_EQ(label.link.Field(), dataSet_.FieldNamed("DE_1"));
  EXPECT_EQ(label.shown, "name2");
}

TEST_F(DataLinkTest, ShrinkingAfterMissedEventsKeepsTheActiveRecordInTheWindow) {
  TRecordingLink small(log_, 5);
  TRecordingLink big(log_, 14);
  small.SetDataSource(&source_);
  big.SetDataSource(&source_);
  dataSet_.Open();
  dataSet_.DisableControls();
  dataSet_.Last();  // the links' rows are not moved while disabled
  big.SetBufferCount(5);
  EXPECT_EQ(dataSet_.BufferCount(), 5);
  EXPECT_LT(dataSet_.ActiveRecord(), dataSet_.WindowRecordCount());
  EXPECT_EQ(Name(), "name40");
  dataSet_.EnableControls();
  EXPECT_EQ(small.ActiveRow(), dataSet_.ActiveRecord() - small.FirstRecord());
  EXPECT_LT(small.ActiveRow(), 5);
}

TEST_F(DataLinkTest, FieldLinksWritePendingEditsAndFollowEditing) {
  dataSet_.Open();
  TFieldControl edit("DBEdit1");
  std::string typed;
  int editingChanges = 0;
  edit.link.SetOnUpdateData([&] { edit.link.Field()->SetValueString(typed); });
  edit.link.SetOnEditingChange([&] { ++editingChanges; });
  edit.link.SetFieldName("DE_1");
  edit.link.SetDataSource(&source_);
  EXPECT_FALSE(edit.link.Editing());
  EXPECT_TRUE(edit.link.Edit());
  EXPECT_EQ(editingChanges, 1);
  typed = "typed";
  edit.link.SetModified();
  dataSet_.Post();
  EXPECT_EQ(dataSet_.StoredValue(0, 0), TVariant(std::string("typed")));
  EXPECT_FALSE(edit.link.Editing());
  EXPECT_FALSE(edit.link.Modified());

  // A read-only link never edits.
  edit.link.SetReadOnly(true);
  EXPECT_FALSE(edit.link.Edit());
  EXPECT_EQ(dataSet_.State(), TDataSetState::Browsing);
}

// A grid that logs what its link tells it.
class TFakeGrid : public TGridLinkClient {
 public:
  void LinkActive(bool active) override { calls.push_back(active ? "active" : "inactive"); }
  void DataChanged() override { calls.push_back("changed"); }
  void Scroll(int distance) override { calls.push_back("scroll " + std::to_string(distance)); }
  void RecordChanged(TField*) override { calls.push_back("record"); }
  void LayoutChanged() override { calls.push_back("layout"); }
  std::vector<std::string> calls;
};

class GridLinkTest : public DataLinkTest {
 protected:
  GridLinkTest() {
    link_.SetDataSource(&source_);
    link_.SetBufferCount(14);
    dataSet_.Open();
    grid_.calls.clear();
  }
  TFakeGrid grid_;
  TGridDataLink link_{grid_};
};

TEST_F(GridLinkTest, TheGridSizesTheWindowAndHearsItsRowsMove) {
  EXPECT_EQ(dataSet_.BufferCount(), 14);
  EXPECT_EQ(GridDataRows(link_), 14);
  dataSet_.MoveBy(13);
  dataSet_.Next();
  EXPECT_THAT(grid_.calls, ElementsAre("scroll 0", "scroll 1"));
  EXPECT_EQ(link_.ActiveRow(), 13);
  EXPECT_EQ(Name(), "name15");

  // Painting another row and coming back.
  link_.SetActiveRow(0);
  EXPECT_EQ(Name(), "name2");
  link_.SetActiveRow(13);

  source_.SetEnabled(false);
  EXPECT_EQ(GridDataRows(link_), 1);
  EXPECT_EQ(grid_.calls.back(), "inactive");
}

TEST_F(GridLinkTest, TheScrollBarTracksTheRecordOrShowsThreePositions) {
  TScrollBarInfo bar = VerticalScrollBar(link_, {});
  EXPECT_EQ(bar, (TScrollBarInfo{1, 40 + 14 - 1, 14, 1}));
  dataSet_.MoveBy(20);
  EXPECT_EQ(VerticalScrollBar(link_, bar).Position, 21);

  dataSet_.SetOnFilterRecord(
      [](TDataSet& ds, bool& accept) { accept = ds.FieldNamed("ID")->ValueInteger() % 2 == 1; });
  dataSet_.SetFiltered(true);
  bar = VerticalScrollBar(link_, bar);
  EXPECT_EQ(bar, (TScrollBarInfo{0, 4, 0, 0}));
  dataSet_.MoveBy(3);
  EXPECT_EQ(VerticalScrollBar(link_, bar).Position, 2);
  dataSet_.Last();
  EXPECT_EQ(VerticalScrollBar(link_, bar).Position, 4);

  ScrollBarAction(link_, TScrollAction::ThumbPosition, 0);
  EXPECT_EQ(Name(), "name1");
  ScrollBarAction(link_, TScrollAction::ThumbPosition, 3);
  EXPECT_EQ(Name(), "name29");  // a page of 14 visible records further
  ScrollBarAction(link_, TScrollAction::ThumbPosition, 2);
  EXPECT_EQ(Name(), "name29");
}

TEST_F(GridLinkTest, ScrollBarActionsMoveByRowsAndPages) {
  dataSet_.MoveBy(13);  // the last visible row is current
  ScrollBarAction(link_, TScrollAction::LineDown, 0);
  EXPECT_EQ(Name(), "name15");  // exactly one record past the bottom of the window
  ScrollBarAction(link_, TScrollAction::LineUp, 0);
  EXPECT_EQ(Name(), "name1");  // the record just above the top visible row
  ScrollBarAction(link_, TScrollAction::PageDown, 0);
  EXPECT_EQ(Name(), "name15");
  ScrollBarAction(link_, TScrollAction::ThumbTrack, 30);
  EXPECT_EQ(Name(), "name15");
  ScrollBarAction(link_, TScrollAction::ThumbPosition, 30);
  EXPECT_EQ(Name(), "name30");
  ScrollBarAction(link_, TScrollAction::ThumbPosition, 40);
  EXPECT_TRUE(dataSet_.Eof());
  EXPECT_EQ(Name(), "name40");
  ScrollBarAction(link_, TScrollAction::ThumbPosition, 1);
  EXPECT_EQ(Name(), "name1");
  ScrollBarAction(link_, TScrollAction::Bottom, 0);
  EXPECT_EQ(Name(), "name40");
}

TEST_F(GridLinkTest, KeysOfAReadOnlyOneColumnGrid) {
  EXPECT_EQ(GridKeyAction(link_, TGridKey::Down, false, 0, 1), 0);
  EXPECT_EQ(Name(), "name2");
  GridKeyAction(link_, TGridKey::Down, true, 0, 1);
  EXPECT_EQ(Name(), "name14");
  GridKeyAction(link_, TGridKey::PageDown, false, 0, 1);
  EXPECT_EQ(Name(), "name28");
  GridKeyAction(link_, TGridKey::Up, true, 0, 1);
  EXPECT_EQ(link_.ActiveRow(), 0);
  GridKeyAction(link_, TGridKey::End, false, 0, 1);
  EXPECT_EQ(Name(), "name40");
  GridKeyAction(link_, TGridKey::Home, false, 0, 1);
  EXPECT_EQ(Name(), "name1");
  GridKeyAction(link_, TGridKey::Insert, false, 0, 1);
  GridKeyAction(link_, TGridKey::Delete, false, 0, 1);
  EXPECT_EQ(dataSet_.StoredCount(), 40);
  EXPECT_EQ(dataSet_.State(), TDataSetState::Browsing);

  // With several columns Home, End, Left and Right move between columns.
  EXPECT_EQ(GridKeyAction(link_, TGridKey::End, false, 0, 3), 2);
  EXPECT_EQ(GridKeyAction(link_, TGridKey::Left, false, 2, 3), 1);
  EXPECT_EQ(GridKeyAction(link_, TGridKey::Right, true, 0, 3), 2);
  EXPECT_EQ(GridKeyAction(link_, TGridKey::Home, false, 2, 3), 0);
  EXPECT_EQ(Name(), "name1");

  ClickRow(link_, 5);
  EXPECT_EQ(Name(), "name6");
}

}  // namespace
}  // namespace katalog::testing
