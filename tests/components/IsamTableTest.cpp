// TIsamTable over real tables: opening and its paths, browsing against the engine, filtering
// by expression and handler, memo text through blob streams, passwords.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "dataset/BlobFields.h"
#include "dataset/DataSource.h"
#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "dataset/NumericFields.h"
#include "dataset/Stream.h"
#include "dataset/StringField.h"
#include "engine/components/Database.h"
#include "engine/components/IndexDefs.h"
#include "engine/components/IsamTable.h"
#include "engine/components/SessionList.h"
#include "engine/storage/FileSession.h"
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableCreation.h"
#include "platform/DateTime.h"
#include "platform/ExceptionReporter.h"
#include "support/EngineFixture.h"
#include "support/MemoryDataSet.h"
#include "support/TempDir.h"

namespace katalog::testing {
namespace {

using katalog::testing::EngineErrorText;

using ::testing::ElementsAre;

template <class F>
std::string MessageOf(F&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

class IsamTableTest : public ::testing::Test {
 protected:
  IsamTableTest() { Sessions().DefaultSession().SetActive(true); }
  ~IsamTableTest() override { Sessions().DefaultSession().SetActive(false); }

  // Table T: Id (primary), Name (secondary ByName), Num, Notes (memo); ids 1..count in a
  // shuffled order, names "name<id % 50>", Num = id * 3 % 17.
  void Create(int count, const std::string& password = "") {
    TTableDefinition def;
    def.TableName = dir_.File("T");
    def.Fields = {{"Id", 6}, {"Name", 1, 0, 20}, {"Num", 6}, {"Notes", 3, 22}};
    def.Indexes.push_back({"", {"Id"}, {}, true});
    def.Indexes.push_back({"ByName", {"Name"}});
    def.Password = password;
    CreateTable(def);
    if (!password.empty()) CurrentFileSession().AddPassword(password);
    TDataFile file;
    file.SetFileName(dir_.File("T"));
    file.Open();
    std::vector<int> ids(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) ids[static_cast<std::size_t>(i)] = i + 1;
    std::shuffle(ids.begin(), ids.end(), std::mt19937(7));
    inserted_.assign(ids.begin(), ids.end());
    std::vector<std::uint8_t> record(file.WorkingRecordSize());
    file.BeginBatch();
    for (int id : ids) {
      file.BlankRecord(record.data());
      file.WriteField(TFieldSet::Working, 1, std::int64_t{id}, record.data());
      file.WriteField(TFieldSet::Working, 2, "name" + std::to_string(id % 50), record.data());
      file.WriteField(TFieldSet::Working, 3, std::int64_t{id * 3 % 17}, record.data());
      file.Insert(record.data(), {});
    }
    file.EndBatch();
    file.Close();
    if (!password.empty()) CurrentFileSession().RemoveAllPasswords();
  }

  void OpenTable(TIsamTable& table) {
    table.SetName("IsamTable1");
    table.SetDatabaseName(dir_.Path());
    table.SetTableName("T");
    table.Open();
  }

  std::vector<std::int64_t> Ids(TDataSet& table, bool backwards = false) {
    std::vector<std::int64_t> ids;
    backwards ? table.Last() : table.First();
    while (!(backwards ? table.Bof() : table.Eof())) {
      ids.push_back(table.FieldNamed("Id")->ValueInteger());
      backwards ? table.Prior() : table.Next();
    }
    return ids;
  }

  TempDir dir_;
  // The ids in the order they were inserted: the physical order of the records.
  std::vector<std::int64_t> inserted_;
};

TEST_F(IsamTableTest, OpeningFindsTheTableInItsDatabase) {
  Create(3);
  TIsamTable table(nullptr);
  table.SetName("IsamTable1");
  EXPECT_EQ(MessageOf([&] { table.Open(); }), "Missing table name.");
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(MessageOf([&] { table.RecordCount(); }),
            "IsamTable1: Cannot perform this operation on a closed dataset");

  // With or without the separator, and with blanks around, the same files.
  table.SetDatabaseName("  " + dir_.Path() + "/ ");
  table.SetTableName("T");
  table.Open();
  EXPECT_EQ(table.RecordCount(), 3);
  EXPECT_THAT(table.FieldDefs().Count(), 4);
  EXPECT_EQ(MessageOf([&] { table.SetTableName("U"); }),
            "IsamTable1: Cannot perform this operation on an open dataset");
  TIsamTable second(nullptr);
  second.SetDatabaseName(table.DatabaseName());
  second.SetTableName("T");
  second.Open();
  EXPECT_EQ(second.Database(), table.Database());
  EXPECT_EQ(table.Database()->UseCount(), 2);
  second.Close();
  EXPECT_EQ(table.Database()->UseCount(), 1);
}

TEST_F(IsamTableTest, FilesWithoutWritePermissionOpenReadOnly) {
  Create(2);
  for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
    ::chmod(dir_.File(std::string("T") + extension).c_str(), 0444);
  }
  TIsamTable table(nullptr);
  table.SetReadOnly(false);
  OpenTable(table);
  EXPECT_TRUE(table.ReadOnly());
  EXPECT_EQ(MessageOf([&] { table.Edit(); }), "IsamTable1: Cannot modify a read-only dataset");
}

TEST_F(IsamTableTest, BrowsingGivesWhatTheEngineGivesInEveryOrder) {
  Create(10000);
  for (const std::string index : {"", "ByName"}) {
    TIsamTable table(nullptr);
    table.SetIndexName(index);
    OpenTable(table);
    TDataFile& engine = *table.Engine();
    std::vector<std::int64_t> expected;
    std::vector<std::uint8_t> record(engine.WorkingRecordSize());
    TDataFile copy;
    copy.SetFileName(dir_.File("T"));
    copy.Open();
    copy.SetIndexByName(index);
    copy.GoFirst();
    while (copy.GoNext(record.data()) == 0) {
      expected.push_back(
          std::get<std::int64_t>(copy.ReadField(TFieldSet::Working, 1, record.data())));
    }
    copy.Close();
    EXPECT_EQ(Ids(table), expected) << index;
    std::vector<std::int64_t> backwards = Ids(table, true);
    std::reverse(backwards.begin(), backwards.end());
    EXPECT_EQ(backwards, expected) << index;

    table.First();
    table.MoveBy(500);
    const TBookmark mark = table.GetBookmark();
    const std::int64_t id = table.FieldNamed("Id")->ValueInteger();
    EXPECT_EQ(table.RecNo(), 501);
    table.Last();
    table.GotoBookmark(mark);
    EXPECT_EQ(table.FieldNamed("Id")->ValueInteger(), id);
    EXPECT_TRUE(table.BookmarkValid(mark));
    table.SetRecNo(10);
    EXPECT_EQ(table.FieldNamed("Id")->ValueInteger(), expected[9]);
  }
}

TEST_F(IsamTableTest, TheHandlerSeesEveryLiveRecordOnceAndBothFiltersCount) {
  Create(200);
  TIsamTable table(nullptr);
  std::vector<std::int64_t> seen;
  auto* calc = new TIntegerField(&table);
  calc->SetFieldName("Calc");
  calc->SetFieldKind(fkCalculated);
  bool calcWasNull = true;
  table.SetOnFilterRecord([&](TDataSet& ds, bool& accept) {
    seen.push_back(ds.FieldNamed("Id")->ValueInteger());
    calcWasNull = calcWasNull && calc->IsBlank();
    accept = ds.FieldNamed("Id")->ValueInteger() % 2 == 0;
  });
  table.SetFilterText("Num < 5");
  table.SetFiltered(true);
  table.SetName("IsamTable1");
  table.SetDatabaseName(dir_.Path());
  table.SetTableName("T");
  // Persistent fields: the data fields must be there too.
  for (const char* name : {"Id", "Name", "Num"}) {
    TField* field = name == std::string("Name") ? static_cast<TField*>(new TStringField(&table))
                                                : new TIntegerField(&table);
    if (auto* text = dynamic_cast<TStringField*>(field)) text->SetSize(20);
    field->SetFieldName(name);
    field->SetDataSet(&table);
  }
  calc->SetDataSet(&table);
  table.Open();
  EXPECT_EQ(seen, inserted_);  // every record once, in physical order
  EXPECT_TRUE(calcWasNull);
  int both = 0;
  for (int id = 1; id <= 200; ++id) both += (id * 3 % 17 < 5 && id % 2 == 0);
  EXPECT_EQ(table.RecordCount(), both);
  for (std::int64_t id : Ids(table)) EXPECT_TRUE(id % 2 == 0 && id * 3 % 17 < 5) << id;

  // Filtered again: no new handler run, but a move to the first record.
  seen.clear();
  int scrolls = 0;
  table.SetAfterScroll([&](TDataSet&) { ++scrolls; });
  table.Last();
  scrolls = 0;
  table.SetFiltered(true);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(scrolls, 1);
  // The same text builds nothing; a syntax error keeps the old filter.
  table.SetFilterText("Num < 5");
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(MessageOf([&] { table.SetFilterText("Num <"); }),
            "Expression expected but nothing found");
  EXPECT_EQ(table.Filter(), "Num < 5");
  EXPECT_EQ(table.RecordCount(), both);
  // Toggling runs the handler over every record again.
  table.SetFiltered(false);
  EXPECT_EQ(table.RecordCount(), 200);
  table.SetFiltered(true);
  EXPECT_EQ(seen.size(), 200u);
}

TEST_F(IsamTableTest, FindingGoesThroughTheFiltersWithoutFilteringTheTable) {
  Create(40);
  TIsamTable table(nullptr);
  table.SetFilterText("Num = 3");  // ids 1, 18, 35 in primary order
  OpenTable(table);
  EXPECT_EQ(table.RecordCount(), 40);
  EXPECT_TRUE(table.FindFirst());
  EXPECT_EQ(table.FieldNamed("Id")->ValueInteger(), 1);
  EXPECT_TRUE(table.FindNext());
  EXPECT_EQ(table.FieldNamed("Id")->ValueInteger(), 18);
  EXPECT_TRUE(table.FindLast());
  EXPECT_EQ(table.FieldNamed("Id")->ValueInteger(), 35);
  EXPECT_TRUE(table.FindPrior());
  EXPECT_EQ(table.FieldNamed("Id")->ValueInteger(), 18);
  EXPECT_TRUE(table.Found());
  EXPECT_EQ(table.RecordCount(), 40);  // the filters are active only while finding
  table.FindLast();
  EXPECT_FALSE(table.FindNext());
  EXPECT_FALSE(table.Found());
}

TEST_F(IsamTableTest, FilterConstantsReadInTheFormsTheTableIsGiven) {
  TTableDefinition def;
  def.TableName = dir_.File("T");
  def.Fields = {{"Id", 6}, {"Day", 2}, {"Amount", 7}};
  CreateTable(def);
  TDataFile file;
  file.SetFileName(dir_.File("T"));
  file.Open();
  std::vector<std::uint8_t> record(file.WorkingRecordSize());
  for (int id : {1, 2}) {
    std::int32_t day = 0;
    ASSERT_TRUE(platform::TryEncodeDate(2000, 1, id, day));
    file.BlankRecord(record.data());
    ASSERT_TRUE(file.WriteField(TFieldSet::Working, 1, std::int64_t{id}, record.data()));
    ASSERT_TRUE(file.WriteField(TFieldSet::Working, 2, std::int64_t{day}, record.data()));
    ASSERT_TRUE(file.WriteField(TFieldSet::Working, 3, id == 1 ? 50.5 : 7.0, record.data()));
    file.Insert(record.data(), {});
  }
  file.Close();

  TIsamTable table(nullptr);
  table.SetFilterConstantForms(TConstantForms::Iso);
  table.SetFilterText("Amount = '50.5'");
  table.SetFiltered(true);
  OpenTable(table);
  EXPECT_THAT(Ids(table), ElementsAre(1));
  table.SetFilterText("Day > '2000-01-01'");
  EXPECT_THAT(Ids(table), ElementsAre(2));
  EXPECT_EQ(MessageOf([&] { table.SetFilterText("Day > '1.1.2000'"); }),
            "'1.1.2000' is not a valid date");
  // Other forms compile the text again; one it does not read in them keeps the old forms.
  EXPECT_EQ(MessageOf([&] { table.SetFilterConstantForms(TConstantForms::Locale); }),
            "'2000-01-01' is not a valid date");
  EXPECT_EQ(table.FilterConstantForms(), TConstantForms::Iso);
  EXPECT_THAT(Ids(table), ElementsAre(2));
  table.SetFilterText("Amount < 10");
  table.SetFilterConstantForms(TConstantForms::Locale);
  table.SetFilterText("Day = '1.1.2000' OR Amount = '7,0'");
  EXPECT_THAT(Ids(table), ElementsAre(1, 2));
}

TEST_F(IsamTableTest, DeletingUnderAFilterDeletesOnlyWhatItShows) {
  Create(120);
  for (const auto& [index, num] : {std::pair{"", 3}, std::pair{"ByName", 5}}) {
    TIsamTable table(nullptr);
    table.SetIndexName(index);
    table.SetFilterText("Num = " + std::to_string(num));
    table.SetFiltered(true);
    OpenTable(table);
    const int shown = table.RecordCount();
    ASSERT_GT(shown, 0);
    int deleted = 0;
    for (table.First(); !table.IsEmpty(); ++deleted) {
      EXPECT_EQ(table.FieldNamed("Num")->ValueInteger(), num);
      table.Delete();
    }
    EXPECT_EQ(deleted, shown);
    table.SetFiltered(false);
    EXPECT_GT(table.RecordCount(), 0);
    for (std::int64_t id : Ids(table)) EXPECT_NE(id * 3 % 17, num);
  }
}

TEST_F(IsamTableTest, PostingMemosGivesTheirBlobsBack) {
  Create(0);
  TIsamTable table(nullptr);
  OpenTable(table);
  for (int id = 1; id <= 300; ++id) {  // far more than the blobs that may be open at once
    table.Append();
    table.FieldNamed("Id")->SetValueInteger(id);
    table.FieldNamed("Notes")->SetValueString("note " + std::to_string(id));
    table.Post();
  }
  table.Append();
  table.FieldNamed("Notes")->SetValueString("dropped");
  table.Cancel();
  EXPECT_EQ(table.RecordCount(), 300);
  table.Last();
  EXPECT_EQ(table.FieldNamed("Notes")->ValueString(), "note 300");
}

TEST_F(IsamTableTest, AHandlerThatRaisesIsReportedAndFilteringGoesOn) {
  Create(20);
  std::vector<std::string> reported;
  const auto previous = platform::SetExceptionReporter([&](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      reported.push_back(e.what());
    }
  });
  TIsamTable table(nullptr);
  table.SetOnFilterRecord([](TDataSet& ds, bool& accept) {
    accept = ds.FieldNamed("Id")->ValueInteger() <= 10;
    if (ds.FieldNamed("Id")->ValueInteger() == 3) throw EDatabaseError("handler failed");
  });
  table.SetFiltered(true);
  OpenTable(table);
  platform::SetExceptionReporter(previous);
  EXPECT_THAT(reported, ElementsAre("handler failed"));
  EXPECT_EQ(table.RecordCount(), 10);
}

TEST_F(IsamTableTest, MemoTextComesThroughBlobStreams) {
  Create(2);
  TIsamTable table(nullptr);
  OpenTable(table);
  TField* notes = table.FieldNamed("Notes");
  EXPECT_EQ(notes->ValueString(), "");  // an empty blob: size 0, no error
  table.Edit();
  const std::string text(5000, 'x');
  notes->SetValueString(text);
  table.Post();
  EXPECT_EQ(notes->ValueString(), text);
  EXPECT_EQ(notes->DisplayString(), "(MEMO)");
  // A read stream releases the engine's blob when it is freed.
  {
    auto stream = table.CreateBlobStream(*notes, TBlobStreamMode::Read);
    EXPECT_EQ(stream->Seek(0, TSeekOrigin::End), 5000);
  }
  EXPECT_FALSE(
      table.Engine()->IsBlobOpen(TFieldSet::Working, notes->FieldNo(), table.ActiveBuffer()));

  // The contents handed over in place are the stored ones, and while an edit has written new
  // ones through a stream, those; nothing is left open.
  const auto contents = [&] {
    std::string seen = "unset";
    dynamic_cast<TBlobField&>(*notes).WithContents([&](std::string_view bytes) { seen = bytes; });
    return seen;
  };
  EXPECT_EQ(contents(), text);
  EXPECT_FALSE(
      table.Engine()->IsBlobOpen(TFieldSet::Working, notes->FieldNo(), table.ActiveBuffer()));
  table.Edit();
  notes->SetValueString("edited");
  EXPECT_EQ(contents(), "edited");
  table.Cancel();
  EXPECT_EQ(contents(), text);
  table.Next();
  EXPECT_EQ(contents(), "");

  // An empty data set gives empty text.
  table.SetFilterText("Id > 100");
  table.SetFiltered(true);
  EXPECT_TRUE(table.IsEmpty());
  EXPECT_EQ(notes->ValueString(), "");
  EXPECT_EQ(contents(), "");
  EXPECT_EQ(MessageOf([&] { table.CreateBlobStream(*notes, TBlobStreamMode::Write); }),
            "(no error)");  // unopened: nothing to refuse
}

TEST_F(IsamTableTest, AnEncipheredTableAsksTheSessionForItsPassword) {
  Create(2, "secret");
  TIsamSession& session = Sessions().DefaultSession();
  int asked = 0;
  session.SetOnPassword([&](TIsamSession& s, bool& continueOpening) {
    ++asked;
    if (asked == 1) {
      s.AddPassword("secret");
      continueOpening = true;
    }
  });
  TIsamTable table(nullptr);
  OpenTable(table);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(table.RecordCount(), 2);
  table.Close();
  session.RemoveAllPasswords();
  const std::string refused = MessageOf([&] { table.Open(); });
  EXPECT_THAT(refused, ::testing::StartsWith(EngineErrorText(ie::kPasswordRequired)));
  EXPECT_FALSE(table.Active());
  session.SetOnPassword({});
}

TEST_F(IsamTableTest, IndexesAreDescribedAndSwitchedKeepingTheRecord) {
  Create(100);
  TIsamTable table(nullptr);
  table.SetName("IsamTable1");
  table.SetDatabaseName(dir_.Path());
  table.SetTableName("T");
  // Closed: the definitions come from the files.
  TIndexDefs& defs = table.IndexDefs();
  ASSERT_EQ(defs.Count(), 2);
  EXPECT_EQ(defs.Items(0).Fields, "Id");
  EXPECT_EQ(defs.Items(0).Options, ixPrimary | ixUnique);
  EXPECT_EQ(defs.Items(1).Name, "ByName");
  EXPECT_EQ(defs.Items(1).Fields, "Name");
  EXPECT_EQ(table.FieldDefs().Count(), 4);
  EXPECT_EQ(defs.FindIndexForFields("name", false), &defs.Items(1));
  EXPECT_EQ(defs.FindIndexForFields("Num", false), nullptr);

  table.SetIndexFieldNames("Num");
  EXPECT_EQ(MessageOf([&] { table.Open(); }), "IsamTable1: No index for fields 'Num'");
  EXPECT_FALSE(table.Active());
  table.SetIndexFieldNames("Name");
  table.Open();
  EXPECT_EQ(table.IndexName(), "");
  table.MoveBy(37);
  const std::int64_t id = table.FieldNamed("Id")->ValueInteger();
  table.SetIndexName("");  // to the primary order, on the same record
  EXPECT_EQ(table.FieldNamed("Id")->ValueInteger(), id);
  EXPECT_EQ(table.RecNo(), id);
  EXPECT_THAT(Ids(table).front(), 1);
  EXPECT_THAT(MessageOf([&] { table.SetIndexName("Nope"); }),
              ::testing::StartsWith(EngineErrorText(ie::kInvalidIndexName)));
  EXPECT_TRUE(table.Active());
  EXPECT_EQ(table.IndexName(), "");
}

TEST_F(IsamTableTest, LocateUsesTheIndexALookupCursorOrAFilter) {
  Create(300);
  TIsamTable table(nullptr);
  OpenTable(table);
  // The active (primary) index serves Id.
  EXPECT_TRUE(table.Locate("Id", {std::int64_t{123}}, 0));
  EXPECT_EQ(table.FieldNamed("Id")->ValueInteger(), 123);
  EXPECT_FALSE(table.Locate("Id", {std::int64_t{999}}, 0));
  // Name has its own index: a second cursor finds the first in its order; the table follows.
  EXPECT_TRUE(table.Locate("Name", {std::string("name7")}, 0));
  EXPECT_EQ(table.FieldNamed("Name")->ValueString(), "name7");
  EXPECT_EQ(table.FieldNamed("Id")->ValueInteger() % 50, 7);
  // Num has none: a filter finds the first match in the current (Id) order.
  EXPECT_TRUE(table.Locate("Num", {std::int64_t{4}}, 0));
  EXPECT_EQ(table.FieldNamed("Id")->ValueInteger(), 7);  // 7 * 3 % 17 == 4, the first
  EXPECT_EQ(table.Engine()->Filters().Count(), 0);
  // Partial keys on a string field; without the option a "*" is literal.
  EXPECT_TRUE(table.Locate("Name", {std::string("name4")}, loPartialKey));
  EXPECT_EQ(table.FieldNamed("Name")->ValueString().substr(0, 5), "name4");
  EXPECT_FALSE(table.Locate("Name", {std::string("name4*")}, 0));
  EXPECT_TRUE(table.Locate("Name", {std::string("NAME12")}, loCaseInsensitive));
  EXPECT_EQ(table.FieldNamed("Name")->ValueString(), "name12");
}

TEST_F(IsamTableTest, LookupLeavesTheWindowWhereItWas) {
  Create(60);
  TIsamTable table(nullptr);
  OpenTable(table);
  table.MoveBy(5);
  const std::int64_t id = table.FieldNamed("Id")->ValueInteger();
  EXPECT_EQ(table.Lookup("Id", {std::int64_t{42}}, "Name"), TVariant(std::string("name42")));
  EXPECT_EQ(table.Lookup("Num", {std::int64_t{16}}, "Id"), TVariant(std::int64_t{11}));
  EXPECT_TRUE(IsNull(table.Lookup("Id", {std::int64_t{1000}}, "Name")));
  EXPECT_EQ(table.FieldNamed("Id")->ValueInteger(), id);
}

TEST_F(IsamTableTest, RangesRestrictTheRecordsToAKeyRange) {
  Create(100);
  TIsamTable table(nullptr);
  OpenTable(table);
  table.SetRange({std::int64_t{10}}, {std::int64_t{20}});
  EXPECT_EQ(table.RecordCount(), 11);
  EXPECT_EQ(Ids(table).front(), 10);
  EXPECT_EQ(Ids(table).back(), 20);
  table.SetRangeStart();
  EXPECT_EQ(table.State(), TDataSetState::KeyEntry);
  table.FieldNamed("Id")->SetValueInteger(5);
  table.SetRangeEnd();
  table.FieldNamed("Id")->SetValueInteger(7);
  table.ApplyRange();
  EXPECT_THAT(Ids(table), ElementsAre(5, 6, 7));
  EXPECT_EQ(MessageOf([&] {
              table.SetRangeStart();
              table.FieldNamed("Name")->SetValueString("x");
            }),
            "Field 'Name' is not indexed and cannot be modified");
  table.Cancel();
  table.CancelRange();
  EXPECT_EQ(table.RecordCount(), 100);
}

TEST_F(IsamTableTest, ADetailTableFollowsItsMaster) {
  Create(200);
  TMemoryDataSet master(nullptr, {{"Name", ftString, 20}});
  for (const char* name : {"name7", "nobody", "name12"}) master.AddRecord({std::string(name)});
  master.Open();
  TDataSource source(nullptr);
  source.SetDataSet(&master);
  TIsamTable detail(nullptr);
  detail.SetIndexName("ByName");
  detail.SetMasterSource(&source);
  detail.SetMasterFields("Name");
  OpenTable(detail);
  EXPECT_EQ(detail.RecordCount(), 4);  // ids 7, 57, 107, 157
  for (std::int64_t id : Ids(detail)) EXPECT_EQ(id % 50, 7);
  master.Next();
  EXPECT_TRUE(detail.IsEmpty());
  EXPECT_EQ(detail.RecordCount(), 0);
  master.Next();
  EXPECT_EQ(detail.RecordCount(), 4);
  EXPECT_EQ(detail.FieldNamed("Name")->ValueString(), "name12");
  detail.Append();
  EXPECT_EQ(detail.FieldNamed("Name")->ValueString(), "name12");
  detail.Cancel();
  // The master's own source may not be fed by the detail.
  TDataSource detailSource(nullptr);
  detailSource.SetDataSet(&detail);
  TIsamTable third(nullptr);
  third.SetMasterSource(&detailSource);
  EXPECT_EQ(MessageOf([&] { detail.SetMasterSource(&detailSource); }),
            "IsamTable1: Circular datalinks are not allowed");
  detail.SetMasterSource(nullptr);
  EXPECT_EQ(detail.RecordCount(), 200);
}

TEST_F(IsamTableTest, TheReadmeExampleRunsOnATable) {
  TTableDefinition def;
  def.TableName = dir_.File("Places");
  def.Fields = {{"Name", 1, 0, 20}, {"Notes", 3, 22}};
  def.Indexes.push_back({"", {"Name"}, {}, true});
  CreateTable(def);
  TIsamTable table(nullptr);
  table.SetDatabaseName(dir_.Path());
  table.SetTableName("Places");
  table.Open();
  for (const char* name : {"Alpha", "Bistro", "bar"}) {
    table.Append();
    table.FieldNamed("Name")->SetValueString(name);
    table.FieldNamed("Notes")->SetValueString(std::string(name) + " notes");
    table.Post();
  }
  table.Close();
  const std::string output = dir_.File("out.txt");
  const std::string command =
      std::string(README_EXAMPLE) + " " + dir_.Path() + " Places > " + output + " 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(output);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text,
            "3 records\nAlpha\nBistro\nbar\nBistro: 12 bytes of notes\nbar: 9 bytes of notes\n");
}

}  // namespace
}  // namespace katalog::testing
