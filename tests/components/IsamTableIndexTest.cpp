// TIsamTable over tables whose fields, indexes and ranges meet: fields bound by their numbers
// when a field is not shown, searches after reopening on another table, index switches under a
// range and under a master link, and searches confined to what the table shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "dataset/DataSource.h"
#include "dataset/Field.h"
#include "engine/components/IndexDefs.h"
#include "engine/components/IsamTable.h"
#include "engine/components/SessionList.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableCreation.h"
#include "support/MemoryDataSet.h"
#include "support/TempDir.h"

namespace katalog::testing {
namespace {

// Per record, the value of each field by field number (none for null).
using TRow = std::vector<TFieldValue>;

std::string TwoDigits(int n) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

// A master of names and a detail table T linked to it on ByName (not yet open).
struct TNameMasterDetail {
  explicit TNameMasterDetail(std::initializer_list<const char*> names)
      : master(nullptr, {{"Name", ftString, 20}}) {
    for (const char* name : names) master.AddRecord({std::string(name)});
    master.Open();
    source.SetDataSet(&master);
    detail.SetIndexName("ByName");
    detail.SetMasterSource(&source);
    detail.SetMasterFields("Name");
  }
  TMemoryDataSet master;
  TDataSource source{nullptr};
  TIsamTable detail{nullptr};
};

class IsamTableIndexTest : public ::testing::Test {
 protected:
  IsamTableIndexTest() { Sessions().DefaultSession().SetActive(true); }
  ~IsamTableIndexTest() override { Sessions().DefaultSession().SetActive(false); }

  void Create(const std::string& name, std::vector<TFieldDefinition> fields,
              std::vector<TIndexDefinition> indexes, const std::vector<TRow>& rows) {
    TTableDefinition def;
    def.TableName = dir_.File(name);
    def.Fields = std::move(fields);
    def.Indexes = std::move(indexes);
    CreateTable(def);
    TDataFile file;
    file.SetFileName(dir_.File(name));
    file.Open();
    std::vector<std::uint8_t> record(file.WorkingRecordSize());
    for (const TRow& row : rows) {
      file.BlankRecord(record.data());
      for (std::size_t i = 0; i < row.size(); ++i) {
        file.WriteField(TFieldSet::Working, static_cast<int>(i) + 1, row[i], record.data());
      }
      file.Insert(record.data(), {});
    }
    file.Close();
  }

  // Table T: Id (primary), Name (ByName), Num (ByNameNum on Name and Num); ids 1..count,
  // names "name<id % 50>", Num = id * 3 % 17.
  void CreateNumbered(int count) {
    std::vector<TRow> rows;
    for (std::int64_t id = 1; id <= count; ++id) {
      rows.push_back({id, "name" + std::to_string(id % 50), id * 3 % 17});
    }
    Create("T", {{"Id", 6}, {"Name", 1, 0, 20}, {"Num", 6}},
           {{"", {"Id"}, {}, true}, {"ByName", {"Name"}}, {"ByNameNum", {"Name", "Num"}}}, rows);
  }

  void Open(TIsamTable& table, const std::string& name = "T") {
    table.SetDatabaseName(dir_.Path());
    table.SetTableName(name);
    table.Open();
  }

  static std::vector<std::int64_t> Column(TDataSet& table, const char* field) {
    std::vector<std::int64_t> values;
    for (table.First(); !table.Eof(); table.Next()) {
      values.push_back(table.FieldNamed(field)->ValueInteger());
    }
    return values;
  }

  TempDir dir_;
};

// --- a field the data set does not show ---

// Where the 10-byte field (type code 14) stands among Name and Num.
struct THiddenLayout {
  const char* Label;
  int HiddenAt;
};

void PrintTo(const THiddenLayout& layout, std::ostream* out) {
  *out << layout.Label;
}

class HiddenFieldTest : public IsamTableIndexTest,
                        public ::testing::WithParamInterface<THiddenLayout> {};

TEST_P(HiddenFieldTest, FieldsAreBoundByTheirNumbers) {
  std::vector<TFieldDefinition> fields = {{"Name", 1, 0, 20}, {"Num", 6}};
  fields.insert(fields.begin() + GetParam().HiddenAt, TFieldDefinition{"Raw", 14});
  const int nameNo = GetParam().HiddenAt == 0 ? 2 : 1;
  const int rawNo = GetParam().HiddenAt + 1;
  std::vector<TRow> rows;
  for (int k = 1; k <= 30; ++k) {
    TRow row(3);
    row[static_cast<std::size_t>(nameNo - 1)] = "n" + TwoDigits(k);
    row[static_cast<std::size_t>(rawNo - 1)] = std::string(10, static_cast<char>('a' + k % 3));
    row[2] = std::int64_t{k};
    rows.push_back(row);
  }
  // ByRawName leads with the hidden field: no list of shown fields may pick it.
  Create("H", fields,
         {{"", {"Num"}, {}, true}, {"ByRawName", {"Raw", "Name"}}, {"ByName", {"Name"}}}, rows);
  TIsamTable table(nullptr);
  Open(table, "H");

  ASSERT_EQ(table.FieldDefs().Count(), 2);
  EXPECT_EQ(table.FieldNamed("Name")->FieldNo(), nameNo);
  EXPECT_EQ(table.FieldNamed("Num")->FieldNo(), 3);
  int k = 0;
  for (table.First(); !table.Eof(); table.Next()) {
    ++k;
    EXPECT_EQ(table.FieldNamed("Num")->ValueInteger(), k);
    EXPECT_EQ(table.FieldNamed("Name")->ValueString(), "n" + TwoDigits(k));
  }
  EXPECT_EQ(k, 30);
  EXPECT_EQ(table.IndexDefs().FindIndexForFields("Name", false)->Name, "ByName");

  struct TSearch {
    const char* Field;
    TVariant Value;
    TLocateOptions Options;
    std::int64_t Num;  // of the record found
  };
  const TSearch searches[] = {
      {"Num", std::int64_t{17}, 0, 17},                    // the active index
      {"Name", std::string("n23"), 0, 23},                 // a second cursor on ByName
      {"Name", std::string("N05"), loCaseInsensitive, 5},  // a filter
      {"Name", std::string("n1"), loPartialKey, 10},       // a prefix on ByName
  };
  for (const TSearch& s : searches) {
    SCOPED_TRACE(s.Field);
    ASSERT_TRUE(table.Locate(s.Field, {s.Value}, s.Options));
    EXPECT_EQ(table.FieldNamed("Num")->ValueInteger(), s.Num);
  }
  EXPECT_EQ(table.Lookup("Num", {std::int64_t{9}}, "Name"), TVariant(std::string("n09")));
  EXPECT_EQ(table.Lookup("Name", {std::string("n11")}, "Num"), TVariant(std::int64_t{11}));

  table.SetRange({std::int64_t{10}}, {std::int64_t{12}});
  EXPECT_EQ(table.RecordCount(), 3);
  EXPECT_EQ(table.FieldNamed("Name")->ValueString(), "n10");
  table.CancelRange();
  table.SetFilterText("Num > 27");
  table.SetFiltered(true);
  EXPECT_EQ(table.RecordCount(), 3);
  table.SetFiltered(false);

  // Written through the fields, read back by the engine from the descriptors' columns.
  table.Append();
  table.FieldNamed("Name")->SetValueString("new");
  table.FieldNamed("Num")->SetValueInteger(31);
  table.Post();
  ASSERT_TRUE(table.Locate("Num", {std::int64_t{31}}, 0));
  std::vector<std::uint8_t> record(table.Engine()->WorkingRecordSize());
  ASSERT_EQ(table.Engine()->GetCurrent(record.data(), false), 0);
  EXPECT_EQ(table.Engine()->ReadField(TFieldSet::Working, nameNo, record.data()),
            TFieldValue(std::string("new")));
  EXPECT_EQ(table.Engine()->ReadField(TFieldSet::Working, 3, record.data()),
            TFieldValue(std::int64_t{31}));
}

INSTANTIATE_TEST_SUITE_P(Layouts, HiddenFieldTest,
                         ::testing::Values(THiddenLayout{"First", 0}, THiddenLayout{"Middle", 1}),
                         [](const auto& param) { return std::string(param.param.Label); });

// --- reopening on another table ---

TEST_F(IsamTableIndexTest, SearchesAfterReopeningOnTablesOfOtherRecordSizes) {
  const std::string wide(200, 'w');
  Create("Small", {{"Id", 6}, {"Name", 1, 0, 4}}, {{"", {"Id"}, {}, true}, {"ByName", {"Name"}}},
         {{std::int64_t{1}, "a"}, {std::int64_t{2}, "b"}});
  Create("Large", {{"Id", 6}, {"Name", 1, 0, 4}, {"Wide", 1, 0, 250}, {"More", 1, 0, 250}},
         {{"", {"Id"}, {}, true}, {"ByName", {"Name"}}},
         {{std::int64_t{1}, "a", wide, wide}, {std::int64_t{2}, "b", wide, wide}});
  TIsamTable table(nullptr);
  table.SetDatabaseName(dir_.Path());
  for (const char* name : {"Small", "Large", "Small", "Large"}) {
    SCOPED_TRACE(name);
    table.Close();
    table.SetTableName(name);
    table.Open();
    EXPECT_TRUE(table.Locate("Id", {std::int64_t{2}}, 0));
    EXPECT_TRUE(table.Locate("Name", {std::string("a")}, 0));                  // a second cursor
    EXPECT_TRUE(table.Locate("Name", {std::string("B")}, loCaseInsensitive));  // a filter
    EXPECT_EQ(table.FieldNamed("Id")->ValueInteger(), 2);
    EXPECT_EQ(table.Lookup("Name", {std::string("a")}, "Id"), TVariant(std::int64_t{1}));
    EXPECT_EQ(table.Lookup("Id", {std::int64_t{2}}, "Name"), TVariant(std::string("b")));
  }
}

// --- switching the index ---

TEST_F(IsamTableIndexTest, SwitchingTheIndexCancelsTheRange) {
  CreateNumbered(100);
  TIsamTable table(nullptr);
  Open(table);
  table.SetRange({std::int64_t{10}}, {std::int64_t{20}});
  ASSERT_EQ(table.RecordCount(), 11);
  table.MoveBy(3);
  table.SetIndexName("ByName");
  EXPECT_EQ(table.RecordCount(), 100);
  EXPECT_EQ(table.FieldNamed("Id")->ValueInteger(), 13);  // the record stays
  table.SetIndexName("");
  EXPECT_EQ(table.RecordCount(), 100);
  EXPECT_EQ(table.FieldNamed("Id")->ValueInteger(), 13);
  table.SetRange({std::int64_t{10}}, {std::int64_t{20}});
  EXPECT_EQ(table.RecordCount(), 11);
  // An index the table does not have changes nothing, the range included.
  EXPECT_ANY_THROW(table.SetIndexName("Nope"));
  EXPECT_EQ(table.RecordCount(), 11);
  EXPECT_EQ(table.IndexName(), "");
}

TEST_F(IsamTableIndexTest, SwitchingTheIndexOfADetailTableKeepsItsMasterRange) {
  CreateNumbered(200);
  TNameMasterDetail link{"name7", "name12"};
  TMemoryDataSet& master = link.master;
  TIsamTable& detail = link.detail;
  Open(detail);
  ASSERT_EQ(detail.RecordCount(), 4);  // ids 7, 57, 107, 157
  detail.MoveBy(2);
  const std::int64_t id = detail.FieldNamed("Id")->ValueInteger();

  // The range is set again on the leading field of each index switched to.
  for (const char* fields : {"Name;Num", "Name"}) {
    SCOPED_TRACE(fields);
    detail.SetIndexFieldNames(fields);
    EXPECT_EQ(detail.RecordCount(), 4);
    EXPECT_EQ(detail.FieldNamed("Id")->ValueInteger(), id);
    for (std::int64_t each : Column(detail, "Id")) EXPECT_EQ(each % 50, 7);
  }
  master.Next();
  EXPECT_EQ(detail.RecordCount(), 4);
  EXPECT_EQ(detail.FieldNamed("Name")->ValueString(), "name12");

  // The primary index cannot take the master's name: the table stays on the index it had.
  EXPECT_ANY_THROW(detail.SetIndexName(""));
  EXPECT_EQ(detail.IndexFieldNames(), "Name");
  EXPECT_EQ(detail.RecordCount(), 4);
  EXPECT_EQ(detail.FieldNamed("Name")->ValueString(), "name12");
}

// --- searching what the table shows ---

TEST_F(IsamTableIndexTest, LocateAndLookupSearchOnlyTheRecordsInRange) {
  CreateNumbered(200);
  TNameMasterDetail link{"name7"};
  TIsamTable& detail = link.detail;
  Open(detail);
  // The detail set: ids 7, 57, 107, 157 with Num 4, 1, 15, 12.
  TIsamTable ranged(nullptr);
  Open(ranged);
  ranged.SetRange({std::int64_t{10}}, {std::int64_t{20}});

  struct TCase {
    TIsamTable* Table;
    const char* Field;
    TVariant Value;
    std::int64_t Id;  // of the record found, 0 for none
  };
  const TCase cases[] = {
      {&detail, "Id", std::int64_t{57}, 57},         // Id has an index of its own
      {&detail, "Id", std::int64_t{8}, 0},           // another master's record
      {&detail, "Num", std::int64_t{15}, 107},       // no index: a filter
      {&detail, "Num", std::int64_t{2}, 0},          // id 12, another master's
      {&detail, "Name", std::string("name7"), 7},    // the active index
      {&detail, "Name", std::string("name8"), 0},    // the active index, another master's
      {&ranged, "Name", std::string("name15"), 15},  // Name has an index of its own
      {&ranged, "Name", std::string("name30"), 0},   // id 30, outside the range
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Field) + (c.Table == &detail ? " on the detail" : " in a range"));
    c.Table->First();
    const std::int64_t before = c.Table->FieldNamed("Id")->ValueInteger();
    const TVariant found = c.Table->Lookup(c.Field, {c.Value}, "Id");
    EXPECT_EQ(c.Table->FieldNamed("Id")->ValueInteger(), before);
    EXPECT_EQ(c.Table->Locate(c.Field, {c.Value}, 0), c.Id != 0);
    if (c.Id == 0) {
      EXPECT_TRUE(IsNull(found));
      EXPECT_EQ(c.Table->FieldNamed("Id")->ValueInteger(), before);
    } else {
      EXPECT_EQ(found, TVariant(c.Id));
      EXPECT_EQ(c.Table->FieldNamed("Id")->ValueInteger(), c.Id);
    }
  }
  // Without the range the same search finds the record.
  ranged.CancelRange();
  EXPECT_TRUE(ranged.Locate("Name", {std::string("name30")}, 0));
  EXPECT_EQ(ranged.FieldNamed("Id")->ValueInteger(), 30);
}

// A filter that shows few records is walked by jumping between the entries that hold them. Every
// order, both directions, under a range and after changes must show exactly what a walk over
// every entry would: the model sorts the matching rows as each index does.
TEST_F(IsamTableIndexTest, WalksOverFewVisibleRecordsShowThemAllInEveryOrder) {
  std::vector<TRow> rows;
  for (std::int64_t id = 1; id <= 600; ++id) {
    rows.push_back({id, "name" + TwoDigits(static_cast<int>(id * 7 % 61)), id * 3 % 40});
  }
  Create("T", {{"Id", 6}, {"Name", 1, 0, 20}, {"Num", 6}},
         {{"", {"Id"}, {}, true}, {"ByName", {"Name"}}, {"ByNum", {"Num"}}}, rows);
  TIsamTable table(nullptr);
  Open(table);
  table.SetFilterText("Num = 7 or Num = 12");  // 30 of 600: sparse
  table.SetFiltered(true);
  struct TOrder {
    const char* Index;
    std::function<bool(const TRow&, const TRow&)> Before;
  };
  const auto id = [](const TRow& r) { return std::get<std::int64_t>(r[0]); };
  const auto name = [](const TRow& r) { return std::get<std::string>(r[1]); };
  const auto num = [](const TRow& r) { return std::get<std::int64_t>(r[2]); };
  const TOrder orders[] = {
      {"", [&](const TRow& a, const TRow& b) { return id(a) < id(b); }},
      {"ByName",
       [&](const TRow& a, const TRow& b) {
         return std::pair(name(a), id(a)) < std::pair(name(b), id(b));
       }},
      {"ByNum", [&](const TRow& a,
                    const TRow& b) { return std::pair(num(a), id(a)) < std::pair(num(b), id(b)); }},
  };
  const auto check = [&](const std::string& step) {
    std::vector<std::int64_t> want;
    std::vector<TRow> matching;
    for (const TRow& r : rows)
      if (num(r) == 7 || num(r) == 12) matching.push_back(r);
    for (const TOrder& order : orders) {
      table.SetIndexName(order.Index);
      std::sort(matching.begin(), matching.end(), order.Before);
      std::vector<std::int64_t> forward, backward, expected;
      for (const TRow& r : matching) expected.push_back(id(r));
      for (table.First(); !table.Eof(); table.Next())
        forward.push_back(table.FieldNamed("Id")->ValueInteger());
      for (table.Last(); !table.Bof(); table.Prior())
        backward.insert(backward.begin(), table.FieldNamed("Id")->ValueInteger());
      EXPECT_EQ(forward, expected) << order.Index << " " << step;
      EXPECT_EQ(backward, expected) << order.Index << " " << step;
      EXPECT_EQ(table.RecordCount(), static_cast<int>(expected.size())) << order.Index;
    }
  };
  check("opening");
  // A record that comes to match, one that stops, in the middle of the name order.
  table.SetFiltered(false);
  table.SetIndexName("");
  ASSERT_TRUE(table.Locate("Id", {std::int64_t{100}}, 0));
  table.Edit();
  table.FieldNamed("Num")->SetValueInteger(7);
  table.Post();
  rows[99][2] = std::int64_t{7};
  ASSERT_TRUE(table.Locate("Id", {std::int64_t{84}}, 0));  // 84 * 3 % 40 == 12: yes
  table.Edit();
  table.FieldNamed("Num")->SetValueInteger(1);
  table.Post();
  rows[83][2] = std::int64_t{1};
  table.SetFiltered(true);
  check("changes");
  // Under a range of the name order only the matching names inside it show.
  table.SetIndexName("ByName");
  table.SetRange({std::string("name20")}, {std::string("name40")});
  std::vector<std::int64_t> shown, expected;
  for (table.First(); !table.Eof(); table.Next())
    shown.push_back(table.FieldNamed("Id")->ValueInteger());
  std::vector<TRow> matching;
  for (const TRow& r : rows)
    if ((num(r) == 7 || num(r) == 12) && name(r) >= "name20" && name(r) <= "name40")
      matching.push_back(r);
  std::sort(matching.begin(), matching.end(), orders[1].Before);
  for (const TRow& r : matching) expected.push_back(id(r));
  EXPECT_EQ(shown, expected);
  EXPECT_FALSE(expected.empty());
}

}  // namespace
}  // namespace katalog::testing
