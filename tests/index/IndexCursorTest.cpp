#include "engine/index/IndexCursor.h"

#include <gtest/gtest.h>

#include "engine/storage/RecordCodec.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"
#include "support/TableFixture.h"

namespace katalog {
namespace {

// Accepts the records whose number is even.
class TEvenRecords : public TCursorFilter {
 public:
  bool Active() const override { return active; }
  void Compute(TRecordBitmap& candidates) override {
    for (std::int32_t r = 1; r <= candidates.Records(); r += 2) candidates.Clear(r);
  }
  bool Accepts(std::int32_t record, const std::uint8_t*) override { return record % 2 == 0; }
  TRecordBitmap& Bitmap() override { return bitmap; }

  bool active = true;
  TRecordBitmap bitmap;
};

// A table of ids 10, 20, ..., 100 inserted in that order (record n holds id 10 n), with a
// primary index on Id.
class IndexCursorTest : public katalog::testing::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    TTableDefinition def;
    def.TableName = TablePath();
    def.Fields = {{"Id", 6}};
    def.Indexes = {{"", {"Id"}, {}, true}};
    CreateTable(def);
    table_.SetExclusive(true);
    table_.SetFileName(TablePath());
    table_.Open();
    std::vector<std::uint8_t> record(table_.WorkingRecordSize());
    for (int id = 10; id <= 100; id += 10) {
      table_.BlankRecord(record.data());
      table_.WriteField(TFieldSet::Working, 1, std::int64_t{id}, record.data());
      table_.Insert(record.data(), {});
    }
  }

  std::vector<std::uint8_t> Key(std::int32_t id) {
    std::vector<std::uint8_t> record(table_.WorkingRecordSize());
    table_.WriteField(TFieldSet::Working, 1, std::int64_t{id}, record.data());
    std::vector<std::uint8_t> key(table_.IndexFile().Descriptor(0).KeyLength);
    BuildKey(table_.KeyContextFor(0), record.data(), key.data());
    return key;
  }

  TIndexCursor& Cursor() { return table_.Cursor(); }

  // The table closes while the engine still runs: it writes on closing.
  void TearDown() override {
    table_.Close();
    TableTest::TearDown();
  }

  TDataFile table_;
};

TEST_F(IndexCursorTest, MovesAndEnds) {
  TIndexCursor& cursor = Cursor();
  cursor.First();
  EXPECT_FALSE(cursor.Bof());
  EXPECT_EQ(cursor.RecordNumber(), 1);
  EXPECT_EQ(cursor.LogicalNumber(), 1);
  cursor.MoveBy(3);
  EXPECT_EQ(cursor.RecordNumber(), 4);
  cursor.MoveBy(100);  // past the end: on the last, EOF
  EXPECT_TRUE(cursor.Eof());
  EXPECT_EQ(cursor.RecordNumber(), 10);
  cursor.MoveBy(-2);
  EXPECT_FALSE(cursor.Eof());
  EXPECT_EQ(cursor.LogicalNumber(), 8);
  cursor.MoveBy(-100);
  EXPECT_TRUE(cursor.Bof());
  EXPECT_EQ(cursor.RecordNumber(), 1);
  cursor.GoToLogical(7);
  EXPECT_EQ(cursor.RecordNumber(), 7);
  // Records 7, 8, 9, 10 follow one another in the leaf.
  EXPECT_EQ(cursor.ConsecutiveRun(10, TDirection::Forward), 4);
  EXPECT_EQ(cursor.ConsecutiveRun(3, TDirection::Backward), 3);
  cursor.Reset();
  EXPECT_TRUE(cursor.Bof() && cursor.Eof());
  EXPECT_EQ(cursor.LogicalNumber(), 0);
  EXPECT_EQ(cursor.ConsecutiveRun(5, TDirection::Forward), 1);
}

TEST_F(IndexCursorTest, FindKey) {
  TIndexCursor& cursor = Cursor();
  EXPECT_TRUE(cursor.FindKey(Key(40).data(), TKeyMatch::Exact));
  EXPECT_EQ(cursor.RecordNumber(), 4);
  EXPECT_FALSE(cursor.FindKey(Key(45).data(), TKeyMatch::Exact));
  EXPECT_EQ(cursor.RecordNumber(), 4);  // not moved
  EXPECT_FALSE(cursor.FindKey(Key(45).data(), TKeyMatch::Nearest));
  EXPECT_EQ(cursor.RecordNumber(), 5);  // the next key
  EXPECT_FALSE(cursor.FindKey(Key(500).data(), TKeyMatch::Nearest));
  EXPECT_TRUE(cursor.Eof());
  EXPECT_EQ(cursor.RecordNumber(), 10);
  EXPECT_FALSE(cursor.FindKey(Key(-5).data(), TKeyMatch::Nearest));
  EXPECT_EQ(cursor.RecordNumber(), 1);
}

TEST_F(IndexCursorTest, Ranges) {
  TIndexCursor& cursor = Cursor();
  cursor.SetRangeStart(Key(25).data());
  cursor.SetRangeEnd(Key(60).data());
  cursor.ApplyRange();
  EXPECT_EQ(cursor.RecordCount(), 4);  // 30, 40, 50, 60
  cursor.First();
  EXPECT_EQ(cursor.RecordNumber(), 3);
  EXPECT_EQ(cursor.LogicalNumber(), 1);
  cursor.Last();
  EXPECT_EQ(cursor.RecordNumber(), 6);
  EXPECT_EQ(cursor.LogicalNumber(), 4);
  cursor.MoveBy(1);  // one step past the range is taken, with EOF
  EXPECT_TRUE(cursor.Eof());
  EXPECT_EQ(cursor.RecordNumber(), 7);
  cursor.GoToLogical(2);
  EXPECT_EQ(cursor.RecordNumber(), 4);
  // Keys outside the range give its ends.
  cursor.FindKey(Key(10).data(), TKeyMatch::Nearest);
  EXPECT_EQ(cursor.RecordNumber(), 3);
  cursor.FindKey(Key(90).data(), TKeyMatch::Nearest);
  EXPECT_EQ(cursor.RecordNumber(), 6);

  cursor.SetRangeStart(Key(70).data());
  cursor.SetRangeEnd(Key(20).data());
  cursor.ApplyRange();
  EXPECT_EQ(cursor.RecordCount(), 0);
  cursor.First();
  EXPECT_TRUE(cursor.Bof() && cursor.Eof());
  cursor.SetRangeStart(Key(61).data());
  cursor.SetRangeEnd(Key(69).data());
  cursor.ApplyRange();
  EXPECT_EQ(cursor.RecordCount(), 0);
  cursor.CancelRange();
  EXPECT_EQ(cursor.RecordCount(), 10);
}

TEST_F(IndexCursorTest, FiltersWorkThroughTheVisibleBitmap) {
  TIndexCursor& cursor = Cursor();
  TEvenRecords even;
  cursor.Visibility().Filters().push_back(&even);
  cursor.RefreshVisibility();
  EXPECT_TRUE(cursor.BitmapMode());
  EXPECT_EQ(cursor.RecordCount(), 5);
  cursor.First();
  EXPECT_EQ(cursor.RecordNumber(), 2);
  cursor.MoveBy(2);
  EXPECT_EQ(cursor.RecordNumber(), 6);
  // Logical numbers count every key, so they can exceed the visible count.
  cursor.Last();
  EXPECT_EQ(cursor.RecordNumber(), 10);
  EXPECT_EQ(cursor.LogicalNumber(), 10);
  EXPECT_GT(cursor.LogicalNumber(), cursor.RecordCount());
  cursor.MoveBy(1);
  EXPECT_TRUE(cursor.Eof());
  EXPECT_EQ(cursor.RecordNumber(), 10);
  EXPECT_TRUE(cursor.FindKey(Key(40).data(), TKeyMatch::Exact));
  // Present but not visible.
  EXPECT_FALSE(cursor.FindKey(Key(50).data(), TKeyMatch::Nearest));
  EXPECT_EQ(cursor.RecordNumber(), 6);

  // Deleting a visible record updates the count without a rebuild.
  table_.GoToPosition(4);
  table_.Delete({});
  EXPECT_EQ(cursor.RecordCount(), 4);
  even.active = false;
  cursor.RefreshVisibility();
  EXPECT_FALSE(cursor.BitmapMode());
  EXPECT_EQ(cursor.RecordCount(), 9);
  cursor.Visibility().Filters().clear();
}

TEST_F(IndexCursorTest, PhysicalOrder) {
  TIndexCursor& cursor = Cursor();
  table_.GoToPosition(3);
  table_.Delete({});
  cursor.SelectSlot(kPhysicalOrder);
  EXPECT_TRUE(cursor.PhysicalOrder());
  EXPECT_EQ(cursor.RecordCount(), 9);
  cursor.First();
  cursor.MoveBy(2);
  EXPECT_EQ(cursor.RecordNumber(), 4);  // record 3 is deleted
  EXPECT_EQ(cursor.LogicalNumber(), 3);
  cursor.GoToRecord(3);
  EXPECT_EQ(cursor.RecordNumber(), 4);
  cursor.Last();
  EXPECT_EQ(cursor.RecordNumber(), 10);
  EXPECT_EQ(cursor.LogicalNumber(), 9);
  cursor.MoveBy(1);
  EXPECT_TRUE(cursor.Eof());
  EXPECT_EQ(cursor.ConsecutiveRun(5, TDirection::Backward), 5);
  EXPECT_EQ(cursor.CurrentKey(), nullptr);
  cursor.SelectByName("nothing");
  EXPECT_EQ(cursor.Slot(), 0);
}

}  // namespace
}  // namespace katalog
