// Tests of the record cache: the capacity rule, recycling in least-recently-used order, the
// buffers that must never be recycled (pinned, modified, run-marked), the flush and growth paths
// when every buffer is held, the pin limit, forgetting and trimming, and grouping modified
// buffers into write runs.
#include "engine/storage/RecordCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/EngineFixture.h"

namespace katalog {
namespace {

using testing::EngineErrorOf;

// 131 070 div 43 690 = 3 buffers: small enough to exhaust by hand.
constexpr std::size_t kThreeBufferSize = 43690;

std::vector<std::int32_t> NumbersInOrder(TRecordCache& cache) {
  std::vector<std::int32_t> numbers;
  for (TRecord* record : cache.InOrder()) numbers.push_back(record->Number());
  return numbers;
}

TEST(RecordCacheCapacityTest, FollowsTheBufferSize) {
  EXPECT_EQ(TRecordCache::CapacityFor(14), 9362);
  EXPECT_EQ(TRecordCache::CapacityFor(200000), 1);
  EXPECT_EQ(TRecordCache::CapacityFor(131070), 1);
  EXPECT_EQ(TRecordCache::CapacityFor(65536), 1);
  EXPECT_EQ(TRecordCache::CapacityFor(65535), 2);
  EXPECT_EQ(TRecordCache::CapacityFor(kThreeBufferSize), 3);
  EXPECT_EQ(TRecordCache::CapacityFor(3), 43690);
  // 131 070 div 1 and div 2 exceed the 65 535 buffers a cache may hold.
  EXPECT_EQ(TRecordCache::CapacityFor(2), 65535);
  EXPECT_EQ(TRecordCache::CapacityFor(1), 65535);
  EXPECT_EQ(TRecordCache(14, "T.DAT").Capacity(), 9362);
}

class RecordCacheTest : public testing::EngineTest {
 protected:
  // Fills the cache with buffers numbered 1..count, taken in that order (so count is the most
  // recently used).
  std::vector<TRecord*> Fill(int count) {
    std::vector<TRecord*> records;
    for (int n = 1; n <= count; ++n) {
      TRecord* record = cache_.TakeFree();
      cache_.SetNumber(record, n);
      records.push_back(record);
    }
    return records;
  }

  TRecordCache cache_{kThreeBufferSize, "PEOPLE.DAT"};
};

TEST_F(RecordCacheTest, GrowsOneZeroFilledBufferAtATimeAtTheFront) {
  TRecord* first = cache_.TakeFree();
  EXPECT_EQ(cache_.Count(), 1);
  ASSERT_EQ(first->Size(), kThreeBufferSize);
  EXPECT_TRUE(std::all_of(first->Data(), first->Data() + first->Size(),
                          [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(first->Number(), 0);
  EXPECT_FALSE(first->Pinned());
  cache_.SetNumber(first, 7);
  TRecord* second = cache_.TakeFree();
  EXPECT_NE(second, first);
  EXPECT_EQ(cache_.Count(), 2);
  EXPECT_EQ(NumbersInOrder(cache_), (std::vector<std::int32_t>{0, 7}));
}

TEST_F(RecordCacheTest, FindsByNumberAndNeverForNumberZero) {
  std::vector<TRecord*> records = Fill(3);
  EXPECT_EQ(cache_.Find(2), records[1]);
  EXPECT_EQ(cache_.Find(4), nullptr);
  cache_.SetNumber(records[0], 0);
  EXPECT_EQ(cache_.Find(0), nullptr);
  EXPECT_EQ(cache_.Find(1), nullptr);
}

TEST_F(RecordCacheTest, GivingANumberTakesItFromItsFormerBuffer) {
  std::vector<TRecord*> records = Fill(2);
  cache_.SetNumber(records[1], 1);
  EXPECT_EQ(cache_.Find(1), records[1]);
  EXPECT_EQ(records[0]->Number(), 0);
  EXPECT_EQ(cache_.Find(2), nullptr);
}

TEST_F(RecordCacheTest, TouchMovesABufferToTheFront) {
  std::vector<TRecord*> records = Fill(3);
  EXPECT_EQ(NumbersInOrder(cache_), (std::vector<std::int32_t>{3, 2, 1}));
  cache_.Touch(records[0]);
  EXPECT_EQ(NumbersInOrder(cache_), (std::vector<std::int32_t>{1, 3, 2}));
}

TEST_F(RecordCacheTest, ReusesTheLeastRecentlyUsedBufferCleared) {
  std::vector<TRecord*> records = Fill(3);
  cache_.Touch(records[0]);  // order 1, 3, 2
  records[1]->Data()[20] = 0x5A;
  records[1]->SetComputedFieldsEvaluated(true);
  TRecord* reused = cache_.TakeFree();
  EXPECT_EQ(reused, records[1]);
  EXPECT_EQ(cache_.Count(), 3);
  EXPECT_EQ(reused->Number(), 0);
  EXPECT_EQ(reused->Data()[20], 0);
  EXPECT_FALSE(reused->ComputedFieldsEvaluated());
  EXPECT_EQ(cache_.Find(2), nullptr);
  EXPECT_EQ(NumbersInOrder(cache_), (std::vector<std::int32_t>{0, 1, 3}));
  // Next in line is record 3.
  cache_.SetNumber(reused, 9);
  EXPECT_EQ(cache_.TakeFree(), records[2]);
}

TEST_F(RecordCacheTest, NeverReusesPinnedModifiedOrRunMarkedBuffers) {
  std::vector<TRecord*> records = Fill(3);
  cache_.Pin(records[0]);
  records[1]->SetModified(true);
  TRecord* reused = cache_.TakeFree();
  EXPECT_EQ(reused, records[2]);
  cache_.SetNumber(reused, 3);
  reused->SetRunMark(true);
  EXPECT_EQ(EngineErrorOf([&] { cache_.TakeFree(); }), ie::kRecordBuffersCorrupt);
  EXPECT_EQ(cache_.Find(1), records[0]);
  EXPECT_EQ(cache_.Find(2), records[1]);
  EXPECT_EQ(cache_.Find(3), records[2]);
  EXPECT_TRUE(records[1]->Modified());
}

TEST_F(RecordCacheTest, AnExhaustedCacheFlushesOnceThenReportsTheFile) {
  std::vector<TRecord*> records = Fill(3);
  for (TRecord* record : records) record->SetModified(true);
  int flushes = 0;
  cache_.SetFlushAction([&] { ++flushes; });
  std::string message;
  EXPECT_EQ(EngineErrorOf([&] { cache_.TakeFree(); }, &message), ie::kRecordBuffersCorrupt);
  EXPECT_EQ(flushes, 1);
  EXPECT_NE(message.find("PEOPLE.DAT"), std::string::npos) << message;
  EXPECT_EQ(cache_.Count(), 3);
}

TEST_F(RecordCacheTest, AFlushThatWritesTheModifiedBuffersFreesOne) {
  std::vector<TRecord*> records = Fill(3);
  for (TRecord* record : records) record->SetModified(true);
  cache_.SetFlushAction([&] {
    for (const TRecordRun& run : cache_.ModifiedRuns()) TRecordCache::ClearModified(run);
  });
  EXPECT_EQ(cache_.TakeFree(), records[0]);
  EXPECT_FALSE(records[1]->Modified());
  EXPECT_EQ(cache_.Count(), 3);
}

TEST_F(RecordCacheTest, UnderATableLockGrowsBy1024WithoutFlushing) {
  std::vector<TRecord*> records = Fill(3);
  for (TRecord* record : records) record->SetModified(true);
  int flushes = 0;
  cache_.SetFlushAction([&] { ++flushes; });
  cache_.SetTableLockedQuery([] { return true; });
  TRecord* grown = cache_.TakeFree();
  EXPECT_EQ(flushes, 0);
  EXPECT_EQ(cache_.Capacity(), 3 + 1024);
  EXPECT_EQ(cache_.Count(), 4);
  EXPECT_EQ(cache_.InOrder().front(), grown);
  EXPECT_TRUE(records[0]->Modified());
  // Below the grown capacity buffers are simply added again.
  cache_.TakeFree();
  EXPECT_EQ(cache_.Count(), 5);
  EXPECT_EQ(cache_.Capacity(), 3 + 1024);
}

TEST_F(RecordCacheTest, TheTableLockIsAskedAtTheTimeOfTaking) {
  std::vector<TRecord*> records = Fill(3);
  for (TRecord* record : records) record->SetModified(true);
  bool locked = false;
  cache_.SetTableLockedQuery([&] { return locked; });
  EXPECT_EQ(EngineErrorOf([&] { cache_.TakeFree(); }), ie::kRecordBuffersCorrupt);
  locked = true;
  EXPECT_EQ(EngineErrorOf([&] { cache_.TakeFree(); }), 0);
}

TEST_F(RecordCacheTest, SixtyFivePinsAreAnError) {
  TRecord* record = cache_.TakeFree();
  for (int i = 0; i < kMaxRecordPins; ++i) cache_.Pin(record);
  EXPECT_EQ(record->PinCount(), 64);
  std::string message;
  EXPECT_EQ(EngineErrorOf([&] { cache_.Pin(record); }, &message), ie::kRecordBuffersCorrupt);
  EXPECT_NE(message.find("PEOPLE.DAT"), std::string::npos) << message;
  EXPECT_EQ(record->PinCount(), 64);
  for (int i = 0; i < kMaxRecordPins; ++i) cache_.Unpin(record);
  EXPECT_FALSE(record->Pinned());
  cache_.Unpin(record);
  EXPECT_EQ(record->PinCount(), 0);
}

TEST_F(RecordCacheTest, ForgetAllLeavesEveryBufferUnusedAndReusable) {
  std::vector<TRecord*> records = Fill(3);
  cache_.Pin(records[0]);
  cache_.Pin(records[0]);
  records[1]->SetModified(true);
  records[2]->SetRunMark(true);
  records[2]->SetComputedFieldsEvaluated(true);
  cache_.ForgetAll();
  EXPECT_EQ(cache_.Count(), 3);
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(cache_.Find(n), nullptr);
  for (TRecord* record : records) {
    EXPECT_EQ(record->Number(), 0);
    EXPECT_FALSE(record->Pinned());
    EXPECT_FALSE(record->Modified());
    EXPECT_FALSE(record->RunMark());
    EXPECT_FALSE(record->ComputedFieldsEvaluated());
  }
  // Nothing is held any more, so the least recently used buffer comes back.
  EXPECT_EQ(cache_.TakeFree(), records[0]);
}

TEST_F(RecordCacheTest, TrimDropsCleanBuffersFromTheLeastRecentlyUsedEnd) {
  cache_.SetTableLockedQuery([] { return true; });
  std::vector<TRecord*> records = Fill(3);
  for (TRecord* record : records) cache_.Pin(record);
  std::vector<TRecord*> more;
  for (int n = 4; n <= 7; ++n) {
    more.push_back(cache_.TakeFree());
    cache_.SetNumber(more.back(), n);
  }
  ASSERT_EQ(cache_.Count(), 7);  // order 7, 6, 5, 4, 3, 2, 1
  for (TRecord* record : records) cache_.Unpin(record);
  cache_.Pin(records[0]);         // 1 stays: pinned
  records[1]->SetModified(true);  // 2 stays: modified
  more[2]->SetModified(true);     // 6 stays: modified
  more[3]->SetModified(true);     // 7 stays: modified
  cache_.Trim();
  EXPECT_EQ(cache_.Capacity(), 3);
  // From the back: 1 and 2 are held, 3, 4 and 5 go; the held ones keep the count above 3.
  EXPECT_EQ(NumbersInOrder(cache_), (std::vector<std::int32_t>{7, 6, 2, 1}));
  EXPECT_EQ(cache_.Find(3), nullptr);
  EXPECT_EQ(cache_.Find(6), more[2]);
}

TEST_F(RecordCacheTest, TrimStopsAsSoonAsTheCountFits) {
  cache_.SetTableLockedQuery([] { return true; });
  std::vector<TRecord*> records = Fill(3);
  for (TRecord* record : records) cache_.Pin(record);
  for (int n = 4; n <= 6; ++n) cache_.SetNumber(cache_.TakeFree(), n);
  for (TRecord* record : records) cache_.Unpin(record);
  cache_.Trim();  // order was 6, 5, 4, 3, 2, 1: the three oldest go
  EXPECT_EQ(NumbersInOrder(cache_), (std::vector<std::int32_t>{6, 5, 4}));
  cache_.Trim();
  EXPECT_EQ(cache_.Count(), 3);
}

TEST_F(RecordCacheTest, ModifiedRunsGroupConsecutiveWritableBuffers) {
  TRecordCache cache(14, "PEOPLE.DAT");
  auto take = [&](std::int32_t n, bool modified) {
    TRecord* record = cache.TakeFree();
    cache.SetNumber(record, n);
    record->SetModified(modified);
    return record;
  };
  // Taken out of order so that the runs cannot follow the list order.
  for (std::int32_t n : {13, 6, 9, 5, 12, 7}) take(n, true);
  take(11, false);
  cache.Pin(take(8, true));          // held by a reader: not written yet
  take(10, true)->SetRunMark(true);  // being read: not written yet
  take(4, true);
  const std::vector<TRecordRun> runs = cache.ModifiedRuns();
  std::vector<std::vector<std::int32_t>> numbers;
  for (const TRecordRun& run : runs) {
    numbers.emplace_back();
    for (TRecord* record : run.Records) numbers.back().push_back(record->Number());
    EXPECT_EQ(run.First, run.Records.front()->Number());
  }
  EXPECT_EQ(numbers, (std::vector<std::vector<std::int32_t>>{{4, 5, 6, 7}, {9}, {12, 13}}));
  // Collecting clears nothing; clearing a run clears only its buffers.
  EXPECT_TRUE(cache.Find(9)->Modified());
  TRecordCache::ClearModified(runs[0]);
  EXPECT_FALSE(cache.Find(5)->Modified());
  EXPECT_TRUE(cache.Find(9)->Modified());
  EXPECT_TRUE(cache.Find(8)->Modified());
  EXPECT_EQ(cache.ModifiedRuns().size(), 2u);
}

TEST_F(RecordCacheTest, NoModifiedBuffersGiveNoRuns) {
  Fill(3);
  EXPECT_TRUE(cache_.ModifiedRuns().empty());
}

}  // namespace
}  // namespace katalog
