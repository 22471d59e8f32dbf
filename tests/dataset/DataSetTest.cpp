// The data set's order of events and data events, its buffer window, and the edit cycle, over
// the in-memory data set.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dataset/DataSource.h"
#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "dataset/NumericFields.h"
#include "dataset/StringField.h"
#include "support/EventLog.h"
#include "support/MemoryDataSet.h"

namespace katalog::testing {
namespace {

using ::testing::ElementsAre;

class DataSetTest : public ::testing::Test {
 protected:
  DataSetTest() {
    dataSet_.SetName("People");
    source_.SetDataSet(&dataSet_);
  }

  void Fill(int count) {
    for (int i = 1; i <= count; ++i) {
      dataSet_.AddRecord({"name" + std::to_string(i), std::int64_t{i}});
    }
  }
  // Opens with a link asking for `rows` buffers, then forgets what opening logged.
  void OpenWith(int rows) {
    link_ = std::make_unique<TRecordingLink>(log_, rows);
    link_->SetDataSource(&source_);
    RecordEvents(dataSet_, log_);
    dataSet_.Open();
    log_.clear();
  }
  std::string Name() { return dataSet_.FieldNamed("NAME")->ValueString(); }

  TMemoryDataSet dataSet_{nullptr, {{"NAME", ftString, 20}, {"NUM", ftInteger}}};
  TDataSource source_{nullptr};
  TEventLog log_;
  std::unique_ptr<TRecordingLink> link_;
};

TEST_F(DataSetTest, OpeningAnEmptyDataSetFiresAfterOpenButNoScroll) {
  link_ = std::make_unique<TRecordingLink>(log_);
  link_->SetDataSource(&source_);
  RecordEvents(dataSet_, log_);
  dataSet_.Open();
  EXPECT_THAT(log_, ElementsAre("BeforeOpen", "StateChanged", "AfterOpen"));
  EXPECT_TRUE(dataSet_.Bof());
  EXPECT_TRUE(dataSet_.Eof());
  EXPECT_TRUE(dataSet_.IsEmpty());

  log_.clear();
  dataSet_.First();
  EXPECT_THAT(log_, ElementsAre("BeforeScroll", "DataSetChanged", "AfterScroll"));
  EXPECT_TRUE(dataSet_.Bof());
  EXPECT_TRUE(dataSet_.Eof());
}

TEST_F(DataSetTest, OpeningARecordFiresAfterOpenThenAfterScroll) {
  Fill(3);
  link_ = std::make_unique<TRecordingLink>(log_);
  link_->SetDataSource(&source_);
  RecordEvents(dataSet_, log_);
  dataSet_.Open();
  EXPECT_THAT(log_, ElementsAre("BeforeOpen", "StateChanged", "AfterOpen", "AfterScroll"));
  EXPECT_TRUE(dataSet_.Bof());
  EXPECT_FALSE(dataSet_.Eof());
  EXPECT_EQ(Name(), "name1");
}

TEST_F(DataSetTest, NextAtTheEndAndOnTheLastRecord) {
  Fill(2);
  OpenWith(1);
  EXPECT_EQ(dataSet_.MoveBy(1), 1);
  EXPECT_EQ(Name(), "name2");
  log_.clear();

  // On the last record with Eof still false: the fetch fails, the record stays.
  EXPECT_EQ(dataSet_.MoveBy(1), 0);
  EXPECT_THAT(log_, ElementsAre("BeforeScroll", "Scrolled 0", "AfterScroll"));
  EXPECT_TRUE(dataSet_.Eof());
  EXPECT_EQ(Name(), "name2");

  log_.clear();
  EXPECT_EQ(dataSet_.MoveBy(1), 0);
  EXPECT_THAT(log_, ElementsAre("BeforeScroll"));
}

TEST_F(DataSetTest, AOneBufferWindowRotatesOnEveryMove) {
  Fill(3);
  OpenWith(1);
  dataSet_.Next();
  dataSet_.Next();
  dataSet_.Prior();
  EXPECT_THAT(
      log_, ElementsAre("BeforeScroll", "Scrolled -1", "AfterScroll", "BeforeScroll", "Scrolled -1",
                        "AfterScroll", "BeforeScroll", "Scrolled 1", "AfterScroll"));
  EXPECT_EQ(Name(), "name2");
  EXPECT_EQ(dataSet_.BufferCount(), 1);
}

TEST_F(DataSetTest, MovingWithinTheWindowOnlyMovesTheActiveRecord) {
  Fill(10);
  OpenWith(4);
  EXPECT_EQ(dataSet_.WindowRecordCount(), 4);
  EXPECT_EQ(dataSet_.MoveBy(3), 3);
  EXPECT_EQ(dataSet_.ActiveRecord(), 3);
  EXPECT_EQ(dataSet_.MoveBy(2), 2);  // two rows past the edge: the window slides by two
  EXPECT_THAT(log_, ElementsAre("BeforeScroll", "Scrolled 0", "AfterScroll", "BeforeScroll",
                                "Scrolled -2", "AfterScroll"));
  EXPECT_EQ(dataSet_.ActiveRecord(), 3);
  EXPECT_EQ(Name(), "name6");
  EXPECT_EQ(link_->FirstRecord(), 0);
  EXPECT_EQ(link_->ActiveRow(), 3);

  EXPECT_EQ(dataSet_.MoveBy(-20), -5);
  EXPECT_TRUE(dataSet_.Bof());
  EXPECT_EQ(Name(), "name1");
}

TEST_F(DataSetTest, ResyncCentredKeepsHalfTheWindowBefore) {
  Fill(30);
  OpenWith(10);
  dataSet_.MoveBy(19);
  EXPECT_EQ(Name(), "name20");
  dataSet_.Resync(rmCenter);
  EXPECT_EQ(dataSet_.ActiveRecord(), 4);
  EXPECT_EQ(dataSet_.WindowRecordCount(), 10);
  EXPECT_EQ(Name(), "name20");

  // Near the start there are not four records to keep before.
  dataSet_.SetRecNo(2);
  EXPECT_EQ(dataSet_.ActiveRecord(), 1);
  EXPECT_EQ(Name(), "name2");
}

TEST_F(DataSetTest, LastFillsTheWindowBackwards) {
  Fill(10);
  OpenWith(4);
  dataSet_.Last();
  EXPECT_THAT(log_, ElementsAre("BeforeScroll", "DataSetChanged", "AfterScroll"));
  EXPECT_TRUE(dataSet_.Eof());
  EXPECT_EQ(dataSet_.ActiveRecord(), 3);
  EXPECT_EQ(Name(), "name10");
  dataSet_.SetActiveRecord(0);
  EXPECT_EQ(Name(), "name7");
}

TEST_F(DataSetTest, ShrinkingTheWindowKeepsTheRowsStillShown) {
  Fill(20);
  OpenWith(10);
  dataSet_.MoveBy(15);  // active record 9 of a full window holding 7 .. 16
  ASSERT_EQ(dataSet_.ActiveRecord(), 9);
  link_->SetBufferCount(3);
  EXPECT_EQ(dataSet_.BufferCount(), 3);
  EXPECT_EQ(dataSet_.WindowRecordCount(), 3);
  EXPECT_EQ(Name(), "name16");
  for (int row = 0; row < 3; ++row) {
    dataSet_.SetActiveRecord(row);
    EXPECT_EQ(Name(), "name" + std::to_string(14 + row));
  }
}

TEST_F(DataSetTest, ErrorsWhileMovingStillNotifyAndScroll) {
  Fill(5);
  OpenWith(1);
  dataSet_.FailFetches(std::make_exception_ptr(EDatabaseError("disk gone")));
  EXPECT_THROW(dataSet_.Next(), EDatabaseError);
  EXPECT_THAT(log_, ElementsAre("BeforeScroll", "Scrolled 0", "AfterScroll"));
  log_.clear();
  EXPECT_THROW(dataSet_.First(), EDatabaseError);
  EXPECT_THAT(log_, ElementsAre("BeforeScroll", "DataSetChanged", "AfterScroll"));
}

TEST_F(DataSetTest, ClosingWhileEditingDiscardsTheEdit) {
  Fill(1);
  OpenWith(1);
  dataSet_.Edit();
  dataSet_.FieldNamed("NAME")->SetValueString("changed");
  log_.clear();
  dataSet_.Close();
  EXPECT_THAT(log_, ElementsAre("BeforeClose", "StateChanged", "AfterClose"));
  EXPECT_EQ(dataSet_.StoredValue(0, 0), TVariant(std::string("name1")));
  EXPECT_EQ(dataSet_.Fields().Count(), 0);  // default fields go with the cursor
}

TEST_F(DataSetTest, DisabledControlsGetOneStateChangeAndTheRememberedEvent) {
  Fill(3);
  OpenWith(1);
  dataSet_.DisableControls();
  dataSet_.Edit();
  dataSet_.Cancel();
  dataSet_.Next();
  dataSet_.Edit();
  EXPECT_THAT(log_, ElementsAre("BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel",
                                "BeforeScroll", "AfterScroll", "BeforeEdit", "AfterEdit"));
  log_.clear();
  dataSet_.EnableControls();
  EXPECT_THAT(log_, ElementsAre("StateChanged", "DataSetChanged"));
  EXPECT_FALSE(dataSet_.ControlsDisabled());
}

TEST_F(DataSetTest, TemporaryStatesSendNothing) {
  Fill(1);
  OpenWith(1);
  const TDataSetState old = dataSet_.SetTempState(TDataSetState::Calculating);
  EXPECT_EQ(dataSet_.State(), TDataSetState::Calculating);
  dataSet_.RestoreState(old);
  EXPECT_TRUE(log_.empty());
  EXPECT_FALSE(dataSet_.ControlsDisabled());
}

TEST_F(DataSetTest, ALayoutChangeWhileDisabledIsSentOnEnabling) {
  Fill(1);
  OpenWith(1);
  dataSet_.DisableControls();
  dataSet_.DataEvent(TDataEvent::RecordChanged);
  dataSet_.DataEvent(TDataEvent::LayoutChanged);
  dataSet_.DataEvent(TDataEvent::RecordChanged);
  dataSet_.EnableControls();
  EXPECT_THAT(log_, ElementsAre("LayoutChanged"));
}

TEST_F(DataSetTest, ADisabledSourceDeactivatesItsLinksAndRefreshesWithoutMoving) {
  Fill(3);
  OpenWith(1);
  dataSet_.Next();
  int dataChanges = 0;
  source_.SetOnDataChange([&](TDataSource&, TField*) { ++dataChanges; });
  log_.clear();

  source_.SetEnabled(false);
  EXPECT_FALSE(link_->Active());
  EXPECT_EQ(source_.State(), TDataSetState::Inactive);
  dataSet_.Next();  // nothing reaches the link
  EXPECT_THAT(log_, ElementsAre("StateChanged", "BeforeScroll", "AfterScroll"));

  log_.clear();
  source_.SetEnabled(true);
  EXPECT_TRUE(link_->Active());
  EXPECT_THAT(log_, ElementsAre("StateChanged"));
  EXPECT_EQ(dataChanges, 1);
  EXPECT_EQ(Name(), "name3");
}

TEST_F(DataSetTest, EditAndPostStoreTheRecord) {
  Fill(2);
  OpenWith(1);
  dataSet_.Next();
  log_.clear();
  dataSet_.Edit();
  EXPECT_EQ(dataSet_.State(), TDataSetState::Editing);
  dataSet_.FieldNamed("NUM")->SetValueInteger(42);
  EXPECT_TRUE(dataSet_.Modified());
  dataSet_.Post();
  EXPECT_THAT(
      log_, ElementsAre("BeforeEdit", "StateChanged", "RecordChanged", "AfterEdit", "FieldChanged",
                        "BeforePost", "StateChanged", "DataSetChanged", "AfterPost"));
  EXPECT_EQ(dataSet_.StoredValue(1, 1), TVariant(std::int64_t{42}));
  EXPECT_EQ(dataSet_.FieldNamed("NUM")->ValueInteger(), 42);
}

TEST_F(DataSetTest, MovingPostsAModifiedEditAndCancelsAnUnmodifiedOne) {
  Fill(2);
  OpenWith(1);
  dataSet_.Edit();
  dataSet_.FieldNamed("NAME")->SetValueString("first");
  dataSet_.Next();
  EXPECT_EQ(dataSet_.StoredValue(0, 0), TVariant(std::string("first")));
  dataSet_.Edit();
  log_.clear();
  dataSet_.Prior();
  EXPECT_THAT(log_, ElementsAre("BeforeCancel", "StateChanged", "DataSetChanged", "AfterCancel",
                                "BeforeScroll", "Scrolled 1", "AfterScroll"));
}

TEST_F(DataSetTest, InsertAppendAndTheirUndoing) {
  Fill(2);
  OpenWith(3);
  dataSet_.Next();
  log_.clear();
  dataSet_.Insert();
  EXPECT_THAT(log_, ElementsAre("BeforeInsert", "BeforeScroll", "StateChanged", "OnNewRecord",
                                "DataSetChanged", "AfterInsert", "AfterScroll"));
  EXPECT_EQ(dataSet_.WindowRecordCount(), 3);
  dataSet_.FieldNamed("NAME")->SetValueString("between");
  dataSet_.Post();
  EXPECT_EQ(dataSet_.StoredValue(1, 0), TVariant(std::string("between")));
  EXPECT_EQ(Name(), "between");

  dataSet_.Append();
  dataSet_.FieldNamed("NAME")->SetValueString("last");
  log_.clear();
  dataSet_.Cancel();
  EXPECT_THAT(log_, ElementsAre("BeforeCancel", "BeforeScroll", "StateChanged", "DataSetChanged",
                                "AfterCancel", "AfterScroll"));
  EXPECT_EQ(dataSet_.StoredCount(), 3);

  dataSet_.SetOnNewRecord([](TDataSet&) { throw EDatabaseError("no new records"); });
  EXPECT_THROW(dataSet_.Append(), EDatabaseError);
  EXPECT_EQ(dataSet_.State(), TDataSetState::Browsing);
  EXPECT_EQ(dataSet_.StoredCount(), 3);
}

TEST_F(DataSetTest, DeleteRemovesTheActiveRecord) {
  Fill(3);
  OpenWith(1);
  dataSet_.Next();
  log_.clear();
  dataSet_.Delete();
  EXPECT_THAT(log_, ElementsAre("BeforeDelete", "BeforeScroll", "DataSetChanged", "AfterDelete",
                                "AfterScroll"));
  EXPECT_EQ(dataSet_.StoredCount(), 2);
  EXPECT_EQ(Name(), "name3");
  dataSet_.Delete();
  dataSet_.Delete();
  EXPECT_TRUE(dataSet_.IsEmpty());
  try {
    dataSet_.Delete();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "People: Cannot perform this operation on an empty dataset");
  }
}

TEST_F(DataSetTest, MessagesNameTheDataSet) {
  Fill(1);
  auto messageOf = [](auto&& action) {
    try {
      action();
    } catch (const EDatabaseError& e) {
      return e.Message();
    }
    return std::string("no error");
  };
  EXPECT_EQ(messageOf([&] { dataSet_.Next(); }),
            "People: Cannot perform this operation on a closed dataset");
  OpenWith(1);
  EXPECT_EQ(messageOf([&] { dataSet_.Post(); }), "People: Dataset not in edit or insert mode");
  EXPECT_EQ(messageOf([&] { dataSet_.FieldNamed("DE_2"); }), "People: Field 'DE_2' not found");
  dataSet_.SetReadOnly(true);
  EXPECT_EQ(messageOf([&] { dataSet_.Edit(); }), "People: Cannot modify a read-only dataset");
  EXPECT_EQ(messageOf([&] { dataSet_.Insert(); }), "People: Cannot modify a read-only dataset");
  EXPECT_EQ(messageOf([&] { dataSet_.Delete(); }), "People: Cannot modify a read-only dataset");
  dataSet_.SetName("");
  EXPECT_EQ(messageOf([&] { dataSet_.FieldNamed("x"); }), "Field 'x' not found");
}

TEST_F(DataSetTest, RequiredFieldsMustHaveAValue) {
  TMemoryDataSet strict{nullptr, {{"NAME", ftString, 10, true}}};
  strict.Open();
  strict.Append();
  try {
    strict.Post();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Field 'NAME' must have a value");
  }
  strict.FieldNamed("NAME")->SetValueString("x");
  strict.Post();
  EXPECT_EQ(strict.StoredCount(), 1);
}

TEST_F(DataSetTest, ErrorHandlersRetryAbortOrFail) {
  Fill(2);
  OpenWith(1);
  int calls = 0;
  TDataAction answer = TDataAction::Retry;
  dataSet_.SetOnPostError([&](TDataSet&, const EDatabaseError& e, TDataAction& action) {
    ++calls;
    EXPECT_EQ(action, TDataAction::Fail);
    EXPECT_EQ(e.Message(), "disk full");
    action = answer;
  });
  dataSet_.Edit();
  dataSet_.FieldNamed("NUM")->SetValueInteger(7);
  dataSet_.FailOperations(2, std::make_exception_ptr(EDatabaseError("disk full")));
  dataSet_.Post();  // two retries, then it succeeds
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(dataSet_.StoredValue(0, 1), TVariant(std::int64_t{7}));

  dataSet_.Edit();
  dataSet_.FieldNamed("NUM")->SetValueInteger(8);
  answer = TDataAction::Abort;
  dataSet_.FailOperations(1, std::make_exception_ptr(EDatabaseError("disk full")));
  EXPECT_THROW(dataSet_.Post(), EAbort);
  EXPECT_EQ(dataSet_.State(), TDataSetState::Editing);
  answer = TDataAction::Fail;
  dataSet_.FailOperations(1, std::make_exception_ptr(EDatabaseError("disk full")));
  EXPECT_THROW(dataSet_.Post(), EDatabaseError);

  // Other exceptions are not offered to the handler.
  calls = 0;
  dataSet_.FailOperations(1, std::make_exception_ptr(std::runtime_error("bug")));
  EXPECT_THROW(dataSet_.Post(), std::runtime_error);
  EXPECT_EQ(calls, 0);
  dataSet_.Cancel();
  EXPECT_EQ(dataSet_.StoredValue(0, 1), TVariant(std::int64_t{7}));
}

TEST_F(DataSetTest, CalculatedFieldsAreComputedForEveryFetchedRecord) {
  Fill(3);
  auto* name = new TStringField(&dataSet_);
  name->SetFieldName("NAME");
  name->SetDataSet(&dataSet_);
  auto* num = new TIntegerField(&dataSet_);
  num->SetFieldName("NUM");
  num->SetDataSet(&dataSet_);
  auto* twice = new TIntegerField(&dataSet_);
  twice->SetFieldName("TWICE");
  twice->SetFieldKind(fkCalculated);
  twice->SetDataSet(&dataSet_);
  std::vector<TDataSetState> states;
  dataSet_.SetOnCalcFields([&](TDataSet& ds) {
    states.push_back(ds.State());
    twice->SetValueInteger(ds.FieldNamed("NUM")->ValueInteger() * 2);
  });
  OpenWith(3);
  EXPECT_EQ(dataSet_.CalcFieldsSize(), 5);
  EXPECT_EQ(twice->FieldNo(), -1);
  EXPECT_EQ(states.size(), 3u);
  EXPECT_EQ(states[0], TDataSetState::Calculating);
  dataSet_.Last();
  EXPECT_EQ(twice->ValueInteger(), 6);

  // Editing a data field recomputes them.
  dataSet_.Edit();
  num->SetValueInteger(50);
  EXPECT_EQ(twice->ValueInteger(), 100);
  dataSet_.Cancel();
  EXPECT_EQ(twice->ValueInteger(), 6);

  // Persistent fields stay when the data set closes.
  dataSet_.Close();
  EXPECT_EQ(dataSet_.Fields().Count(), 3);
  EXPECT_EQ(twice->FieldNo(), 0);
}

TEST_F(DataSetTest, BookmarksFindTheirRecordAgain) {
  Fill(10);
  OpenWith(3);
  dataSet_.MoveBy(6);
  const TBookmark mark = dataSet_.GetBookmark();
  ASSERT_EQ(mark.size(), 4u);
  dataSet_.First();
  log_.clear();
  dataSet_.GotoBookmark(mark);
  EXPECT_THAT(log_, ElementsAre("BeforeScroll", "DataSetChanged", "AfterScroll"));
  EXPECT_EQ(Name(), "name7");
  EXPECT_EQ(dataSet_.ActiveRecord(), 1);  // centred in a window of three

  const std::string asText = dataSet_.BookmarkStr();
  dataSet_.Last();
  dataSet_.SetBookmarkStr(asText);
  EXPECT_EQ(Name(), "name7");

  dataSet_.GotoBookmark({});  // none: nothing happens
  EXPECT_EQ(Name(), "name7");
  dataSet_.Append();
  EXPECT_TRUE(dataSet_.GetBookmark().empty());
  dataSet_.Cancel();
}

TEST_F(DataSetTest, TheRecordFilterSeesTheRecordUnderTest) {
  Fill(6);
  std::vector<std::string> seen;
  dataSet_.SetOnFilterRecord([&](TDataSet& ds, bool& accept) {
    EXPECT_EQ(ds.State(), TDataSetState::FilterTest);
    EXPECT_TRUE(accept);
    seen.push_back(ds.FieldNamed("NAME")->ValueString());
    accept = ds.FieldNamed("NUM")->ValueInteger() % 2 == 0;
  });
  dataSet_.SetFiltered(true);
  OpenWith(10);
  EXPECT_EQ(dataSet_.WindowRecordCount(), 3);
  EXPECT_EQ(Name(), "name2");
  EXPECT_EQ(seen.front(), "name1");
  EXPECT_TRUE(log_.empty());  // filter tests send no data events
}

TEST_F(DataSetTest, AFailedOpenLeavesTheDataSetClosed) {
  Fill(2);
  auto* stray = new TIntegerField(&dataSet_);
  stray->SetFieldName("MISSING");
  stray->SetDataSet(&dataSet_);
  RecordEvents(dataSet_, log_);
  try {
    dataSet_.Open();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "People: Field 'MISSING' not found");
  }
  EXPECT_FALSE(dataSet_.Active());
  EXPECT_THAT(log_, ElementsAre("BeforeOpen"));
  delete stray;
  dataSet_.Open();
  EXPECT_EQ(Name(), "name1");
}

TEST_F(DataSetTest, AnErrorFillingTheWindowOpensButReachesTheCaller) {
  Fill(2);
  RecordEvents(dataSet_, log_);
  dataSet_.FailFetches(std::make_exception_ptr(EDatabaseError("unreadable")));
  EXPECT_THROW(dataSet_.Open(), EDatabaseError);
  EXPECT_TRUE(dataSet_.Active());
  EXPECT_TRUE(dataSet_.IsEmpty());
  EXPECT_THAT(log_, ElementsAre("BeforeOpen", "AfterOpen"));
  dataSet_.FailFetches(nullptr);
  dataSet_.First();
  EXPECT_EQ(Name(), "name1");
}

TEST_F(DataSetTest, ActiveSetWhileLoadingOpensWhenLoaded) {
  Fill(1);
  dataSet_.BeginLoading();
  dataSet_.SetActive(true);
  EXPECT_FALSE(dataSet_.Active());
  dataSet_.Loaded();
  EXPECT_TRUE(dataSet_.Active());
}

}  // namespace
}  // namespace katalog::testing
