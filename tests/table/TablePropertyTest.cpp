// Random sequences of inserts, changes and deletes against a model of the table: after every
// batch the index trees are checked and the table's order, counts, positions, ranges and key
// searches are compared with the model.
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

struct Row {
  std::string name;
  std::int64_t word;
};

struct PropertyCase {
  TKeyCompression compression;
  std::uint32_t locale;
  bool exclusive;
  int operations;
  unsigned seed;
};

class TablePropertyTest : public katalog::testing::TableTest,
                          public ::testing::WithParamInterface<PropertyCase> {
 protected:
  void CreateAndOpen(const PropertyCase& c) {
    TTableDefinition def;
    def.TableName = TablePath();
    def.LocaleId = c.locale;
    def.Fields = {{"Id", 6}, {"Name", 1, 0, 30}, {"Word", 5}};
    def.Indexes = {
        {"", {"Id"}, {}, true, false, false, false, c.compression},
        {"ByName", {"Name"}, {}, false, false, false, true, c.compression},
        {"ByNameWord", {"Name", "Word"}, {false, true}, false, false, false, false, kcNone},
        {"ByWordDown", {"Word", "Id"}, {}, false, true, true, false, kcTrailing},
    };
    CreateTable(def);
    exclusive_ = c.exclusive;
    Reopen();
  }

  void Reopen() {
    table_.reset();
    table_ = std::make_unique<TDataFile>();
    table_->SetExclusive(exclusive_);
    table_->SetFileName(TablePath());
    table_->Open();
    record_.assign(table_->WorkingRecordSize(), 0);
  }

  void Fill(std::int64_t id, const Row& row) {
    table_->BlankRecord(record_.data());
    table_->WriteField(TFieldSet::Working, 1, id, record_.data());
    table_->WriteField(TFieldSet::Working, 2, row.name, record_.data());
    table_->WriteField(TFieldSet::Working, 3, row.word, record_.data());
  }

  std::vector<std::uint8_t> Key(int slot, std::int64_t id, const Row& row) {
    Fill(id, row);
    StoreI32(record_.data() + 5, ids_.count(id) ? recordIds_[id] : 0);
    std::vector<std::uint8_t> key(table_->IndexFile().Descriptor(slot).KeyLength);
    BuildKey(table_->KeyContextFor(slot), record_.data(), key.data());
    return key;
  }

  bool GoTo(std::int64_t id) {
    table_->SetIndex(0);
    return table_->FindKey(Key(0, id, model_[id]).data(), TKeyMatch::Exact);
  }

  std::int64_t CurrentId() {
    EXPECT_EQ(table_->GetCurrent(record_.data(), false), 0);
    return std::get<std::int64_t>(table_->ReadField(TFieldSet::Working, 1, record_.data()));
  }

  // The model's ids in the order of index `slot`.
  std::vector<std::int64_t> ExpectedOrder(int slot) {
    std::vector<std::pair<std::vector<std::uint8_t>, std::int64_t>> keyed;
    for (const auto& [id, row] : model_) keyed.emplace_back(Key(slot, id, row), id);
    const TKeyContext context = table_->KeyContextFor(slot);
    const int n = table_->IndexFile().Descriptor(slot).KeyLength;
    std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
      return CompareKeys(context, a.first.data(), b.first.data(), n) < 0;
    });
    std::vector<std::int64_t> ids;
    for (const auto& entry : keyed) ids.push_back(entry.second);
    return ids;
  }

  void Verify(std::mt19937& random) {
    for (int slot : {0, 1, 2, 3, kDeletedSlot}) {
      const auto problems = CheckIndexTree(table_->IndexStore(), slot);
      ASSERT_TRUE(problems.empty()) << problems.front();
    }
    // The primary index holds exactly the live records.
    std::set<std::int32_t> inTree;
    CheckIndexTree(table_->IndexStore(), 0,
                   [&](const std::uint8_t*, std::int32_t r) { inTree.insert(r); });
    std::set<std::int32_t> live;
    for (const auto& [id, r] : recordNumbers_) live.insert(r);
    ASSERT_EQ(inTree, live);

    for (int slot : {0, 1, 2, 3}) {
      table_->SetIndex(slot);
      ASSERT_EQ(table_->RecordCount(), static_cast<std::int32_t>(model_.size()));
      const std::vector<std::int64_t> expected = ExpectedOrder(slot);
      std::vector<std::int64_t> actual;
      table_->GoFirst();
      while (table_->GoNext(record_.data()) == 0) {
        const TFieldValue value = table_->ReadField(TFieldSet::Working, 1, record_.data());
        ASSERT_TRUE(std::holds_alternative<std::int64_t>(value))
            << "record " << table_->CurrentRecordNumber() << " status " << int{record_[0]}
            << " in index " << slot << " after " << actual.size();
        actual.push_back(std::get<std::int64_t>(value));
      }
      ASSERT_EQ(actual, expected) << "index " << slot;
      for (int probe = 0; probe < 5 && !expected.empty(); ++probe) {
        const std::int32_t k = static_cast<std::int32_t>(random() % expected.size()) + 1;
        table_->GoToPosition(k);
        ASSERT_EQ(CurrentId(), expected[k - 1]);
        ASSERT_EQ(table_->CurrentPosition(), k);
      }
    }
    // Ranges on the primary index.
    table_->SetIndex(0);
    TIndexCursor& cursor = table_->Cursor();
    for (int probe = 0; probe < 4; ++probe) {
      std::int64_t low = random() % 5000, high = random() % 5000;
      const auto lowKey = Key(0, low, {});
      const auto highKey = Key(0, high, {});
      cursor.SetRangeStart(lowKey.data());
      cursor.SetRangeEnd(highKey.data());
      cursor.ApplyRange();
      std::int32_t inRange = 0;
      for (const auto& [id, row] : model_) inRange += (id >= low && id <= high) ? 1 : 0;
      ASSERT_EQ(cursor.RecordCount(), low > high ? 0 : inRange) << low << ".." << high;
      cursor.CancelRange();
    }
    // Key searches.
    for (int probe = 0; probe < 10; ++probe) {
      const std::int64_t id = random() % 5000;
      table_->SetIndex(0);
      ASSERT_EQ(table_->FindKey(Key(0, id, {}).data(), TKeyMatch::Exact), model_.count(id) == 1);
    }
  }

  void Insert(std::int64_t id, const Row& row) {
    Fill(id, row);
    if (model_.count(id)) {
      const std::int32_t before = table_->RecordCount();
      ASSERT_EQ(EngineErrorOf([&] { table_->Insert(record_.data(), {}); }), ie::kDuplicateKey);
      ASSERT_EQ(table_->RecordCount(), before);
      return;
    }
    table_->Insert(record_.data(), {.Reposition = true});
    model_[id] = row;
    ids_.insert(id);
    recordIds_[id] = LoadI32(record_.data() + 5);
    recordNumbers_[id] = table_->CurrentRecordNumber();
    ASSERT_EQ(CurrentId(), id);
  }

  void Update(std::int64_t id, std::int64_t newId, const Row& row) {
    ASSERT_TRUE(GoTo(id));
    ASSERT_EQ(table_->GetCurrent(record_.data(), true), 0);
    table_->WriteField(TFieldSet::Working, 1, newId, record_.data());
    table_->WriteField(TFieldSet::Working, 2, row.name, record_.data());
    table_->WriteField(TFieldSet::Working, 3, row.word, record_.data());
    if (newId != id && model_.count(newId)) {
      ASSERT_EQ(EngineErrorOf([&] { table_->Update(record_.data(), {.Unlock = true}); }),
                ie::kDuplicateKey);
      table_->UnlockRecord(0);
      return;
    }
    table_->Update(record_.data(), {.Unlock = true, .Reposition = true});
    const std::int32_t recordId = recordIds_[id], r = recordNumbers_[id];
    model_.erase(id);
    ids_.erase(id);
    recordIds_.erase(id);
    recordNumbers_.erase(id);
    model_[newId] = row;
    ids_.insert(newId);
    recordIds_[newId] = recordId;
    recordNumbers_[newId] = r;
  }

  void Delete(std::int64_t id) {
    ASSERT_TRUE(GoTo(id));
    table_->Delete({});
    model_.erase(id);
    ids_.erase(id);
    recordIds_.erase(id);
    recordNumbers_.erase(id);
  }

  bool exclusive_ = true;
  std::unique_ptr<TDataFile> table_;
  std::vector<std::uint8_t> record_;
  std::map<std::int64_t, Row> model_;
  std::set<std::int64_t> ids_;
  std::map<std::int64_t, std::int32_t> recordIds_;
  std::map<std::int64_t, std::int32_t> recordNumbers_;
};

TEST_P(TablePropertyTest, AgreesWithTheModel) {
  const PropertyCase c = GetParam();
  CreateAndOpen(c);
  std::mt19937 random(c.seed);
  const char* names[] = {"alpha", "Alpha", "beta", "chata", "hrad", "a-b", "zeta", "  ", "omega"};
  auto randomRow = [&] {
    return Row{std::string(names[random() % 9]) + std::to_string(random() % 30),
               static_cast<std::int64_t>(random() % 200) - 100};
  };
  const int batch = 250;
  for (int done = 0; done < c.operations; ++done) {
    const unsigned choice = random() % 100;
    const std::int64_t id = random() % 5000;
    if (model_.size() < 30 || choice < 50) {
      Insert(id, randomRow());
    } else {
      auto it = model_.begin();
      std::advance(it, random() % model_.size());
      if (choice < 75) {
        Update(it->first, random() % 4 == 0 ? random() % 5000 : it->first, randomRow());
      } else {
        Delete(it->first);
      }
    }
    if (HasFatalFailure()) return;
    if (done % batch == batch - 1) {
      Verify(random);
      if (HasFatalFailure()) return;
      if (done % (batch * 8) == batch * 8 - 1) Reopen();
    }
  }
  Reopen();
  Verify(random);
}

INSTANTIATE_TEST_SUITE_P(Seeds, TablePropertyTest,
                         ::testing::Values(PropertyCase{kcNone, 0, true, 25000, 1},
                                           PropertyCase{kcFull, 0, true, 25000, 2},
                                           PropertyCase{kcLeading, 0x0405, true, 20000, 3},
                                           PropertyCase{kcTrailing, 0x0405, true, 20000, 4},
                                           PropertyCase{kcFull, 0x0405, false, 12000, 5}),
                         [](const ::testing::TestParamInfo<PropertyCase>& param) {
                           const PropertyCase& c = param.param;
                           return "Compression" + std::to_string(int{c.compression}) +
                                  (c.locale ? "Czech" : "NoLocale") +
                                  (c.exclusive ? "Exclusive" : "Shared") + "Seed" +
                                  std::to_string(c.seed);
                         });

}  // namespace
}  // namespace katalog
