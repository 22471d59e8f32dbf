// The Katalog side of the workloads, and what the data should give.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "app/WordSearch.h"
#include "bench/CatalogueData.h"
#include "bench/Measure.h"
#include "bench/Workloads.h"
#include "dataset/Field.h"
#include "engine/components/IsamTable.h"
#include "engine/components/SessionList.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableCreation.h"

namespace katalog::bench {
namespace {

constexpr int kNameField = 2;  // DE_1 in the engine's field numbers

void PrepareTable(TIsamTable& table, const TCatalogue& c, bool readOnly) {
  table.SetDatabaseName(c.Directory);
  table.SetTableName("places");
  table.SetReadOnly(readOnly);
  table.SetExclusive(!readOnly);
}

}  // namespace

TExpected ExpectedOf(std::int64_t count) {
  TExpected e;
  e.Region = RegionName(7);
  e.Names.reserve(static_cast<std::size_t>(count));
  e.Memos.reserve(static_cast<std::size_t>(count));
  for (std::int64_t id = 1; id <= count; ++id) {
    TPlace place = PlaceOf(id);
    e.FrequentMatches += place.Memo.find(kFrequentWord) != std::string::npos ||
                         place.Name.find(kFrequentWord) != std::string::npos;
    e.RegionCount += place.Region == e.Region;
    e.Names.push_back(std::move(place.Name));
    e.Memos.push_back(std::move(place.Memo));
  }
  std::mt19937_64 random(20261208);
  std::uniform_int_distribution<std::int64_t> ids(1, count);
  for (int i = 0; i < 100000; ++i) {
    e.Probes.push_back(ids(random));
    e.ProbeNames.push_back(e.Names[static_cast<std::size_t>(e.Probes.back() - 1)]);
  }
  return e;
}

double InsertOurs(const TCatalogue& c) {
  if (std::filesystem::exists(c.PeerPath())) SetWritable(c, true);
  TTableDefinition definition;
  definition.TableName = c.Directory + "/places";
  definition.LocaleId = 0x405;
  definition.Fields = {{"ID", 6},          {"DE_1", 1, 0, 60}, {"DE_3", 1, 0, 60},
                       {"DE_4", 1, 0, 60}, {"DE_5", 1, 0, 60}, {"DE_7", 1, 0, 30},
                       {"DE_9", 1, 0, 30}, {"DE_11", 3, 22}};
  TIndexDefinition primary;
  primary.Fields = {"DE_1", "ID"};
  primary.Primary = true;
  TIndexDefinition region;
  region.Name = "ByRegion";
  region.Fields = {"DE_5"};
  definition.Indexes = {primary, region};
  // The engine works only inside a session: the default one, as isamtool's create takes it.
  Sessions().DefaultSession().SetActive(true);
  CreateTable(definition);

  TIsamTable table(nullptr);
  PrepareTable(table, c, false);
  table.Open();
  TField* fields[8];
  const char* names[8] = {"ID", "DE_1", "DE_3", "DE_4", "DE_5", "DE_7", "DE_9", "DE_11"};
  for (int i = 0; i < 8; ++i) fields[i] = table.FieldNamed(names[i]);
  const TClock::time_point start = TClock::now();
  table.Engine()->BeginBatch();
  for (std::int64_t id = 1; id <= c.Count; ++id) {
    const TPlace place = PlaceOf(id);
    table.Append();
    fields[0]->SetValueInteger(id);
    fields[1]->SetValueString(place.Name);
    fields[2]->SetValueString(place.Street);
    fields[3]->SetValueString(place.City);
    fields[4]->SetValueString(place.Region);
    fields[5]->SetValueString(place.Phone);
    fields[6]->SetValueString(place.Fax);
    fields[7]->SetValueString(place.Memo);
    table.Post();
  }
  table.Engine()->EndBatch();
  table.Close();
  return SecondsSince(start);
}

double OpenOurs(const TCatalogue& c) {
  const std::string first = PlaceOf(1).Name;  // only to have a non-empty name to compare
  const TClock::time_point start = TClock::now();
  for (int round = 0; round < kOpenRounds; ++round) {
    TIsamTable table(nullptr);
    PrepareTable(table, c, true);
    table.Open();
    Expect(!table.FieldNamed("DE_1")->ValueString().empty() && !first.empty(), "first name");
    Expect(table.RecordCount() == c.Count, "record count");
    table.Close();
  }
  return SecondsSince(start) / kOpenRounds;
}

double BrowseEngine(const TCatalogue& c) {
  Sessions().DefaultSession().SetActive(true);  // TDataFile needs the engine started
  TDataFile file;
  file.SetFileName(c.Directory + "/places");
  file.SetReadOnly(true);
  file.Open();
  file.SetIndexByName("");
  std::vector<std::uint8_t> record(file.WorkingRecordSize());
  std::int64_t seen = 0;
  std::size_t bytes = 0;
  const TClock::time_point start = TClock::now();
  file.GoFirst();
  while (file.GoNext(record.data()) == 0) {
    bytes +=
        std::get<std::string>(file.ReadField(TFieldSet::Working, kNameField, record.data())).size();
    ++seen;
  }
  const double seconds = SecondsSince(start);
  Expect(seen == c.Count && bytes > 0, "records browsed by the engine cursor");
  return seconds;
}

double BrowseTable(const TCatalogue& c, const std::function<void()>& atEnd) {
  TIsamTable table(nullptr);
  PrepareTable(table, c, true);
  table.Open();
  TField* name = table.FieldNamed("DE_1");
  std::int64_t seen = 0;
  std::size_t bytes = 0;
  const TClock::time_point start = TClock::now();
  for (table.First(); !table.Eof(); table.Next()) {
    bytes += name->ValueString().size();
    ++seen;
  }
  const double seconds = SecondsSince(start);
  if (atEnd) atEnd();
  Expect(seen == c.Count && bytes > 0, "records browsed through the table");
  return seconds;
}

double TimeViewerSearch(TIsamTable& table, const std::string& word, std::int64_t expected) {
  const TWordSearch search(word, true, true);
  table.SetOnFilterRecord(
      [&](TDataSet& dataSet, bool& accept) { accept = search.Accepts(dataSet); });
  const TClock::time_point start = TClock::now();
  table.SetFilterText("DE_1 <> 'profilterit'");
  table.SetFilterOptions(foCaseInsensitive);
  table.SetFiltered(true);
  const int count = table.RecordCount();
  const double seconds = SecondsSince(start);
  Expect(count == expected, "search count for \"" + word + "\"");
  return seconds;
}

double SearchOurs(const TCatalogue& c, const char* word, std::int64_t expected) {
  TIsamTable table(nullptr);
  PrepareTable(table, c, true);
  table.Open();
  return TimeViewerSearch(table, word, expected);
}

double SearchMemory(const TExpected& e, const char* word, std::int64_t expected) {
  const std::size_t length = std::strlen(word);
  std::int64_t count = 0;
  const TClock::time_point start = TClock::now();
  for (std::size_t i = 0; i < e.Memos.size(); ++i) {
    const std::string& memo = e.Memos[i];
    const std::string& name = e.Names[i];
    count += memmem(memo.data(), memo.size(), word, length) != nullptr ||
             memmem(name.data(), name.size(), word, length) != nullptr;
  }
  const double seconds = SecondsSince(start);
  Expect(count == expected, "memmem count");
  return seconds;
}

double RegionOurs(const TCatalogue& c, const TExpected& e, bool inRegionOrder) {
  TIsamTable table(nullptr);
  PrepareTable(table, c, true);
  if (inRegionOrder) table.SetIndexName("ByRegion");
  table.Open();
  TField* name = table.FieldNamed("DE_1");
  std::int64_t walked = 0;
  const TClock::time_point start = TClock::now();
  table.SetFilterText("DE_5 = '" + e.Region + "'");
  table.SetFiltered(true);
  const int count = table.RecordCount();
  for (table.First(); !table.Eof(); table.Next()) walked += !name->ValueString().empty();
  const double seconds = SecondsSince(start);
  Expect(count == e.RegionCount && walked == e.RegionCount, "region filter");
  return seconds;
}

double FindOurs(const TCatalogue& c, const TExpected& e) {
  TIsamTable table(nullptr);
  PrepareTable(table, c, true);
  table.Open();
  TField* id = table.FieldNamed("ID");
  std::int64_t found = 0;
  const TClock::time_point start = TClock::now();
  for (std::size_t i = 0; i < e.Probes.size(); ++i) {
    found += table.Locate("DE_1;ID", {e.ProbeNames[i], e.Probes[i]}, 0) &&
             id->ValueInteger() == e.Probes[i];
  }
  const double seconds = SecondsSince(start);
  Expect(found == static_cast<std::int64_t>(e.Probes.size()), "records found by key");
  return seconds;
}

}  // namespace katalog::bench
