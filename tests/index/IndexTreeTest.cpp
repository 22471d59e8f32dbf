#include "engine/index/IndexTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "engine/index/TreeChecker.h"
#include "engine/storage/RecordCodec.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"
#include "support/TableFixture.h"

namespace katalog {
namespace {

using katalog::testing::EngineErrorOf;
using Key = std::vector<std::uint8_t>;

// A table with a primary index on Id and a non-unique index on Name, opened exclusively, with the
// index store of its index file.
class IndexTreeTest : public katalog::testing::TableTest {
 protected:
  void Open(TKeyCompression compression, std::uint8_t nameSize, bool descending = false,
            std::uint32_t locale = 0) {
    TTableDefinition def;
    def.TableName = TablePath();
    def.LocaleId = locale;
    def.Fields = {{"Id", 6}, {"Name", 1, 0, nameSize}};
    def.Indexes = {{"", {"Id"}, {}, true, false, descending, false, compression},
                   {"ByName", {"Name"}, {}, false, false, descending, true, compression}};
    CreateTable(def);
    table_ = std::make_unique<TDataFile>();
    table_->SetExclusive(true);
    table_->SetFileName(TablePath());
    table_->Open();
    store_ = std::make_unique<TIndexStore>(table_->IndexFile());
    store_->SetKeyContextSource([this](int slot) { return table_->KeyContextFor(slot); });
    record_.assign(table_->Header().RecordSize, 0);
  }

  Key KeyOf(int slot, std::int32_t id, const std::string& name) {
    std::fill(record_.begin(), record_.end(), 0);
    StoreFieldValue(table_->PhysicalFields()[0], std::int64_t{id}, record_.data());
    StoreFieldValue(table_->PhysicalFields()[1], name, record_.data());
    StoreI32(record_.data() + 5, id);  // the record identifier
    Key key(table_->IndexFile().Descriptor(slot).KeyLength);
    BuildKey(table_->KeyContextFor(slot), record_.data(), key.data());
    return key;
  }

  void ExpectValid(int slot) {
    const auto problems = CheckIndexTree(*store_, slot);
    EXPECT_TRUE(problems.empty()) << problems.front();
  }

  // Writes everything and forgets the cache, so that pages come back through their codec.
  void RoundTrip() {
    store_->Flush();
    store_->Invalidate();
  }

  // The table closes while the engine still runs: it writes on closing.
  void TearDown() override {
    store_.reset();
    table_.reset();
    TableTest::TearDown();
  }

  std::unique_ptr<TDataFile> table_;
  std::unique_ptr<TIndexStore> store_;
  std::vector<std::uint8_t> record_;
};

TEST_F(IndexTreeTest, EmptyIndexFirstInsertAndDeleteAll) {
  Open(kcNone, 20);
  TIndexTree tree(*store_, kPrimarySlot);
  EXPECT_EQ(tree.Root(), 0);
  EXPECT_EQ(tree.KeyCount(), 0);
  const Key k = KeyOf(0, 7, "x");
  EXPECT_EQ(tree.CountBelow(k.data()), 0);
  EXPECT_FALSE(tree.Exists(k.data()));
  EXPECT_EQ(EngineErrorOf([&] { tree.Delete(k.data()); }), ie::kKeyNotFound);

  tree.Insert(k.data(), 1);
  ASSERT_NE(tree.Root(), 0);
  const std::int32_t root = tree.Root();
  EXPECT_EQ(tree.Fetch(root)->Image.Type, ptRootLeaf);
  EXPECT_EQ(root, 4096);
  EXPECT_TRUE(tree.Exists(k.data()));
  std::string message;
  EXPECT_EQ(EngineErrorOf([&] { tree.CheckDuplicate(k.data()); }, &message), ie::kDuplicateKey);
  EXPECT_NE(message.find("Duplicate key found in index Primary of data file"), std::string::npos);

  tree.Delete(k.data());
  EXPECT_EQ(tree.Root(), 0);
  EXPECT_EQ(table_->IndexFile().Descriptor(0).FreePageHead, root);
  ExpectValid(0);
  // The freed page is taken again.
  tree.Insert(k.data(), 1);
  EXPECT_EQ(tree.Root(), root);
  EXPECT_EQ(table_->IndexFile().Descriptor(0).FreePageHead, 0);
}

TEST_F(IndexTreeTest, OverfullRootLeafSplitsInHalves) {
  Open(kcNone, 20);
  TIndexTree tree(*store_, kPrimarySlot);
  const int capacity = UncompressedLeafCapacity(tree.KeyLength());  // key 5 bytes: 371
  for (int id = 1; id <= capacity + 1; ++id) tree.Insert(KeyOf(0, id, "").data(), id);
  TPageRef root = tree.Fetch(tree.Root());
  ASSERT_EQ(root->Image.Type, ptRootNode);
  ASSERT_EQ(root->Image.Count(), 2);
  EXPECT_EQ(root->Image.Counts[0], (capacity + 2) / 2);
  EXPECT_EQ(root->Image.Counts[1], (capacity + 1) / 2);
  EXPECT_EQ(root->Image.Counts[0] + root->Image.Counts[1], capacity + 1);
  EXPECT_EQ(tree.Fetch(root->Image.Values[0])->Image.Type, ptLeaf);
  root.Release();
  ExpectValid(0);
  RoundTrip();
  ExpectValid(0);
  EXPECT_EQ(tree.KeyCount(), capacity + 1);
}

TEST_F(IndexTreeTest, ADamagedTreeThatLeadsRoundIsCorruptNotEndless) {
  Open(kcNone, 20);
  TIndexTree tree(*store_, kPrimarySlot);
  const int capacity = UncompressedLeafCapacity(tree.KeyLength());
  for (int id = 1; id <= 3 * capacity; ++id) tree.Insert(KeyOf(0, id, "").data(), id);
  {
    TPageRef root = tree.Fetch(tree.Root());
    ASSERT_EQ(root->Image.Type, ptRootNode);
    root->Image.Values.back() = root->Offset;  // the last child is the root itself
    store_->MarkModified(*root);
  }
  RoundTrip();
  const Key last = KeyOf(0, 3 * capacity, "");
  EXPECT_EQ(EngineErrorOf([&] { tree.Exists(last.data()); }), ie::kIndexBuffersCorrupt);
  EXPECT_EQ(EngineErrorOf([&] { tree.CountUpTo(last.data()); }), ie::kIndexBuffersCorrupt);
  EXPECT_EQ(EngineErrorOf([&] { tree.Insert(KeyOf(0, 10 * capacity, "").data(), 1); }),
            ie::kIndexBuffersCorrupt);
}

struct TreeCase {
  TKeyCompression compression;
  std::uint8_t nameSize;
  bool descending;
  std::uint32_t locale;
};

class IndexTreeModelTest : public IndexTreeTest, public ::testing::WithParamInterface<TreeCase> {};

// Random inserts and deletes against a model of sorted keys; after every batch the checker runs
// and ranks, positions and the leaf sequence are compared with the model.
TEST_P(IndexTreeModelTest, AgreesWithAModel) {
  const TreeCase c = GetParam();
  Open(c.compression, c.nameSize, c.descending, c.locale);
  for (int slot : {0, 1}) {
    TIndexTree tree(*store_, slot);
    auto less = [&](const Key& a, const Key& b) { return tree.Compare(a.data(), b.data()) < 0; };
    std::map<Key, std::int32_t, decltype(less)> model(less);
    std::mt19937 random(1234 + slot);
    const char* words[] = {"", "a", "Alpha", "alpha", "beta", "chata", "hrad", "zeta", "a b"};
    for (int batch = 0; batch < 30; ++batch) {
      for (int op = 0; op < 60; ++op) {
        const bool insert = model.size() < 20 || random() % 100 < 55;
        if (insert) {
          const std::int32_t id = static_cast<std::int32_t>(random() % 5000) - 2500;
          const std::string name = std::string(words[random() % 9]) + std::to_string(random() % 40);
          const Key key = KeyOf(slot, id, name);
          if (model.count(key)) {
            if (slot == 0) {
              EXPECT_EQ(EngineErrorOf([&] { tree.CheckDuplicate(key.data()); }), ie::kDuplicateKey);
            }
            continue;
          }
          tree.Insert(key.data(), id + 3000);
          model.emplace(key, id + 3000);
        } else {
          auto it = model.begin();
          std::advance(it, random() % model.size());
          tree.Delete(it->first.data());
          model.erase(it);
        }
      }
      ASSERT_TRUE(CheckIndexTree(*store_, slot).empty()) << CheckIndexTree(*store_, slot).front();
      std::vector<std::pair<Key, std::int32_t>> leaves;
      CheckIndexTree(*store_, slot, [&](const std::uint8_t* key, std::int32_t record) {
        leaves.emplace_back(Key(key, key + tree.KeyLength()), record);
      });
      ASSERT_EQ(leaves.size(), model.size());
      ASSERT_TRUE(std::equal(
          leaves.begin(), leaves.end(), model.begin(),
          [](const auto& a, const auto& b) { return a.first == b.first && a.second == b.second; }));
      ASSERT_EQ(tree.KeyCount(), static_cast<std::int32_t>(model.size()));
      std::int32_t k = 0;
      for (const auto& [key, record] : model) {
        ++k;
        if (k % 7 != 1) continue;
        EXPECT_EQ(tree.CountBelow(key.data()), k - 1);
        EXPECT_EQ(tree.CountUpTo(key.data()), k);
        const TLeafPosition at = tree.Locate(k);
        EXPECT_EQ(tree.Fetch(at.Page)->Image.Values[at.Entry], record);
      }
      if (batch % 5 == 4) RoundTrip();
    }
    // Delete everything: the tree empties and all its pages go to the free list.
    while (!model.empty()) {
      tree.Delete(model.begin()->first.data());
      model.erase(model.begin());
    }
    EXPECT_EQ(tree.Root(), 0);
    ExpectValid(slot);
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryCompression, IndexTreeModelTest,
    ::testing::Values(TreeCase{kcNone, 20, false, 0}, TreeCase{kcLeading, 20, false, 0},
                      TreeCase{kcTrailing, 20, false, 0}, TreeCase{kcFull, 20, false, 0},
                      TreeCase{kcNone, 250, false, 0}, TreeCase{kcFull, 250, true, 0},
                      TreeCase{kcLeading, 120, false, 0x0405}, TreeCase{kcNone, 60, true, 0x0405},
                      TreeCase{kcTrailing, 250, false, 0x0405}),
    [](const ::testing::TestParamInfo<TreeCase>& param) {
      const TreeCase& c = param.param;
      return "Compression" + std::to_string(int{c.compression}) + "Name" +
             std::to_string(int{c.nameSize}) + (c.descending ? "Descending" : "Ascending") +
             (c.locale ? "Czech" : "NoLocale");
    });

}  // namespace
}  // namespace katalog
