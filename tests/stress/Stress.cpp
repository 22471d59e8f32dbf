// Many programs at once on one table: one writer process inserts, updates and deletes records
// whose fields carry a checksum, while three reader processes browse it (in the primary index,
// in the name index, in physical order under a filter), read memos and check every checksum
// they see, and that the count never goes down while the writer only inserts. A fourth reader
// works on a copy of the table without write permission. Afterwards the verifier must find
// nothing and the table must hold exactly what the writer's log says.
//
// The writer makes each change on its own, or (--writer batch) in update batches of up to 400
// changes, or (--writer locked) under the table lock for up to 400 changes: readers must never
// see a batch half written.
//
//   stress [--seconds N] [--readers R] [--writer single|batch|locked]
//          (default 10 seconds, all 4 readers, single changes; fewer readers help to tell whose
//          failure it is)
//
// Exit status 0 when everything held; the failures are written to stderr.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/index/FilterList.h"
#include "engine/storage/FileSession.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableCreation.h"
#include "engine/table/TableVerifier.h"

namespace {

using namespace katalog;
using TClock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr int kId = 1, kName = 2, kSum = 3, kNotes = 4;
constexpr int kPrimary = 0, kByName = 1, kPhysical = 255;

enum class TWriterMode { Single, Batch, Locked };

struct TPlan {
  TWriterMode Mode = TWriterMode::Single;
  std::string Base;               // the table
  std::string Copy;               // its read-only copy
  std::string Log;                // the writer's final contents
  TClock::time_point InsertsEnd;  // until then the writer only inserts
  TClock::time_point End;
};

std::int64_t Checksum(std::int64_t id, const std::string& name) {
  std::uint64_t h = 1469598103934665603ull ^ static_cast<std::uint64_t>(id);
  for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
  return static_cast<std::int64_t>(h & 0x7FFFFFFF);
}

// Ids of the records made before the run are negative.
std::string NotesOf(std::int64_t id) {
  const std::int64_t n = id < 0 ? -id : id;
  return std::string(static_cast<std::size_t>(50 + n % 700), static_cast<char>('a' + n % 26));
}

void Check(bool condition, const std::string& what) {
  if (!condition) throw std::runtime_error(what);
}

std::unique_ptr<TDataFile> Open(const std::string& base, bool readOnly) {
  auto table = std::make_unique<TDataFile>();
  table->SetFileName(base);
  table->SetReadOnly(readOnly);
  table->Open();
  return table;
}

void Create(const std::string& base) {
  TTableDefinition definition;
  definition.TableName = base;
  definition.Fields = {{"Id", 6}, {"Name", 1, 0, 30}, {"Sum", 6}, {"Notes", 3, 22}};
  definition.Indexes = {{"", {"Id"}, {}, true}, {"ByName", {"Name"}, {}, false}};
  CreateTable(definition);
}

std::string RandomName(std::mt19937& random) {
  std::string name;
  for (int i = 0, n = 3 + static_cast<int>(random() % 20); i < n; ++i)
    name += static_cast<char>('a' + random() % 26);
  return name;
}

void Insert(TDataFile& table, std::int64_t id, const std::string& name) {
  Bytes record(table.WorkingRecordSize());
  table.BlankRecord(record.data());
  table.WriteField(TFieldSet::Working, kId, id, record.data());
  table.WriteField(TFieldSet::Working, kName, name, record.data());
  table.WriteField(TFieldSet::Working, kSum, Checksum(id, name), record.data());
  const std::string notes = NotesOf(id);
  Check(table.OpenBlob(TFieldSet::Working, kNotes, record.data()) == 0, "open a new memo");
  Check(table.WriteBlob(TFieldSet::Working, kNotes, record.data(), 0,
                        static_cast<std::int32_t>(notes.size()),
                        reinterpret_cast<const std::uint8_t*>(notes.data())) == 0,
        "write a memo");
  table.Insert(record.data(), {});
  Check(table.CloseBlob(TFieldSet::Working, kNotes, record.data()) == 0, "close a new memo");
}

// The writer: inserts only until InsertsEnd, then inserts, renames and deletes at random, one
// change at a time or in groups under a batch or the table lock. Leaves its idea of the table
// (id, checksum) in the log.
void Writer(const TPlan& plan) {
  auto table = Open(plan.Base, false);
  table->SetIndex(kPrimary);
  std::mt19937 random(7);
  std::map<std::int64_t, std::int64_t> contents;  // every record, those made before the run too
  Bytes record(table->WorkingRecordSize());
  table->GoFirst();
  while (table->GoNext(record.data()) == 0) {
    contents[std::get<std::int64_t>(table->ReadField(TFieldSet::Working, kId, record.data()))] =
        std::get<std::int64_t>(table->ReadField(TFieldSet::Working, kSum, record.data()));
  }
  std::int64_t nextId = 1;
  const auto change = [&] {
    const int dice = static_cast<int>(random() % 10);
    if (TClock::now() < plan.InsertsEnd || dice < 5 || contents.size() < 20) {
      const std::string name = RandomName(random);
      Insert(*table, nextId, name);
      contents[nextId] = Checksum(nextId, name);
      ++nextId;
      return;
    }
    const std::int32_t count = table->RecordCount();
    if (count == 0) return;
    table->GoToPosition(1 + static_cast<std::int32_t>(random() % count));
    Check(table->GetCurrent(record.data(), true) == 0, "writer: read the record to change");
    const std::int64_t id =
        std::get<std::int64_t>(table->ReadField(TFieldSet::Working, kId, record.data()));
    if (dice < 8) {
      const std::string name = RandomName(random);
      table->WriteField(TFieldSet::Working, kName, name, record.data());
      table->WriteField(TFieldSet::Working, kSum, Checksum(id, name), record.data());
      table->Update(record.data(), {.Unlock = true});
      contents[id] = Checksum(id, name);
    } else {
      table->Delete({});
      contents.erase(id);
    }
  };
  while (TClock::now() < plan.End) {
    const int group = plan.Mode == TWriterMode::Single ? 1 : 1 + static_cast<int>(random() % 400);
    if (plan.Mode == TWriterMode::Batch) table->BeginBatch();
    if (plan.Mode == TWriterMode::Locked) table->LockTable();
    for (int i = 0; i < group; ++i) change();
    if (plan.Mode == TWriterMode::Batch) table->EndBatch();
    if (plan.Mode == TWriterMode::Locked) table->UnlockTable();
  }
  table->Close();
  std::ofstream log(plan.Log, std::ios::trunc);
  for (const auto& [id, sum] : contents) log << id << ' ' << sum << '\n';
}

// One reader: walks its order again and again, checking what it sees.
void Reader(const TPlan& plan, const std::string& base, int order) {
  auto table = Open(base, true);
  if (order == kPhysical) {
    TFilter* filter = nullptr;
    Check(table->AddFilter([](const std::uint8_t*, std::int32_t r) { return r % 3 != 0; },
                           &filter) == 0,
          "add a filter");
    Check(table->Filters().Activate(filter) == 0, "activate the filter");
  }
  table->SetIndex(order);
  Bytes record(table->WorkingRecordSize());
  std::int32_t lastCount = 0;
  std::int64_t walks = 0;
  while (TClock::now() < plan.End) {
    const bool insertsOnly = TClock::now() < plan.InsertsEnd;
    std::int32_t seen = 0;
    table->GoFirst();
    while (table->GoNext(record.data()) == 0) {
      const std::int64_t id =
          std::get<std::int64_t>(table->ReadField(TFieldSet::Working, kId, record.data()));
      const std::string name =
          std::get<std::string>(table->ReadField(TFieldSet::Working, kName, record.data()));
      const std::int64_t sum =
          std::get<std::int64_t>(table->ReadField(TFieldSet::Working, kSum, record.data()));
      Check(sum == Checksum(id, name),
            "a record whose checksum does not match: id " + std::to_string(id));
      if (order == kPhysical) Check(table->CurrentRecordNumber() % 3 != 0, "a filtered record");
      if (id % 16 == 0 && table->OpenBlob(TFieldSet::Working, kNotes, record.data()) == 0) {
        std::string notes(NotesOf(id).size(), '\0');
        std::int32_t copied = 0;
        Check(table->ReadBlob(TFieldSet::Working, kNotes, record.data(), 0,
                              static_cast<std::int32_t>(notes.size()),
                              reinterpret_cast<std::uint8_t*>(notes.data()), copied) == 0,
              "read a memo");
        Check(table->CloseBlob(TFieldSet::Working, kNotes, record.data()) == 0, "close a memo");
        Check(notes == NotesOf(id), "a memo that is not its record's: id " + std::to_string(id));
      }
      ++seen;
    }
    const std::int32_t count = table->RecordCount();
    if (insertsOnly && TClock::now() < plan.InsertsEnd) {
      Check(count >= lastCount, "the count went down while the writer only inserted");
    }
    lastCount = count;
    ++walks;
  }
  Check(walks > 0, "no walk finished");
}

// Runs the function in a child process; returns its pid.
template <class F>
pid_t Spawn(const char* name, F body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  int status = 0;
  try {
    StartEngine();
    body();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "stress: %s: %s\n", name, e.what());
    status = 1;
  }
  _exit(status);
}

int Run(int seconds, int readers, TWriterMode mode) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "katalog-stress-XXXXXX").string();
  const std::string dir = mkdtemp(pattern.data());
  TPlan plan{mode, dir + "/T", dir + "/copy/T", dir + "/writer.log", {}, {}};
  StartEngine();
  Create(plan.Base);
  {
    auto table = Open(plan.Base, false);
    std::mt19937 random(1);
    for (std::int64_t id = -200; id < 0; ++id) Insert(*table, id, RandomName(random));
  }
  fs::create_directories(dir + "/copy");
  for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
    fs::copy_file(plan.Base + extension, plan.Copy + extension);
    fs::permissions(plan.Copy + extension,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }
  StopEngine();

  const TClock::time_point start = TClock::now();
  plan.InsertsEnd = start + std::chrono::milliseconds(seconds * 1000 / 3);
  plan.End = start + std::chrono::seconds(seconds);
  std::vector<pid_t> children = {Spawn("writer", [&] { Writer(plan); })};
  if (readers > 0)
    children.push_back(
        Spawn("reader in the primary index", [&] { Reader(plan, plan.Base, kPrimary); }));
  if (readers > 1)
    children.push_back(
        Spawn("reader in the name index", [&] { Reader(plan, plan.Base, kByName); }));
  if (readers > 2)
    children.push_back(
        Spawn("filtered reader in physical order", [&] { Reader(plan, plan.Base, kPhysical); }));
  if (readers > 3)
    children.push_back(
        Spawn("reader of the read-only copy", [&] { Reader(plan, plan.Copy, kByName); }));
  int failures = 0;
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    failures += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  StartEngine();
  auto table = Open(plan.Base, true);
  for (const std::string& finding : VerifyTable(*table)) {
    std::fprintf(stderr, "stress: verify: %s\n", finding.c_str());
    ++failures;
  }
  std::map<std::int64_t, std::int64_t> expected, actual;
  std::ifstream log(plan.Log);
  for (std::int64_t id, sum; log >> id >> sum;) expected[id] = sum;
  table->SetIndex(kPrimary);
  Bytes record(table->WorkingRecordSize());
  table->GoFirst();
  while (table->GoNext(record.data()) == 0) {
    const std::int64_t id =
        std::get<std::int64_t>(table->ReadField(TFieldSet::Working, kId, record.data()));
    actual[id] = std::get<std::int64_t>(table->ReadField(TFieldSet::Working, kSum, record.data()));
  }

  if (actual != expected) {
    std::fprintf(stderr, "stress: the table holds %zu records, the writer's log %zu\n",
                 actual.size(), expected.size());
    ++failures;
  }
  std::printf("stress: %d s, %zu records at the end, %d failures\n", seconds, expected.size(),
              failures);
  table->Close();
  StopEngine();
  fs::remove_all(dir);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 10;
  int readers = 4;
  TWriterMode mode = TWriterMode::Single;
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--seconds") seconds = std::max(1, std::atoi(argv[++i]));
    if (option == "--readers") readers = std::clamp(std::atoi(argv[++i]), 0, 4);
    if (option == "--writer") {
      const std::string value = argv[++i];
      mode = value == "batch"    ? TWriterMode::Batch
             : value == "locked" ? TWriterMode::Locked
                                 : TWriterMode::Single;
    }
  }
  try {
    return Run(seconds, readers, mode);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "stress: %s\n", e.what());
    return 1;
  }
}
