// The table engine against SQLite, the same work on the same data in the same run:
//
//   Insert          N records into a table with a primary index on an integer field and a
//                   non-unique secondary index on a 20-character string field, in shuffled id
//                   order; the engine inside one update batch, SQLite inside one transaction
//   InsertNoBatch   the same, the engine without a batch (against SQLite's one transaction)
//   ScanPrimary     every record in primary-key order
//   ScanName        every record in the order of the string field's index
//   PositionRead    10 000 random logical positions in primary-key order, each read
//   KeyLookup       10 000 random primary keys looked up, each read
//   Filter…         the engine's filters against WHERE clauses (FilterBench.cpp)
//
// for N = 100 000 and 1 000 000. Each side's timed part is measured here with a steady clock
// and handed to the benchmark library as manual time, so the printed times and the closing
// table of ratios (ours / SQLite per operation) come from the same measurements. Opening a
// table or a connection and preparing statements stay outside the timed part; inserting
// includes closing, which writes what is still in memory. Both sides keep their default cache
// sizes, and the files are in the operating system's cache (they were just written).
//
// SQLite's peer of a positioned read is ORDER BY id LIMIT 1 OFFSET k - 1, which walks k rows:
// the engine's counted tree finds a position directly, so that pair is lopsided by design and
// the key lookup pair (FindKey on the primary index against WHERE id = ?) is the like-for-like
// comparison of single reads.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "bench/BenchTable.h"
#include "bench/SqlitePeer.h"
#include "engine/index/Keys.h"
#include "engine/storage/FileSession.h"
#include "engine/storage/RecordCodec.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableCreation.h"

namespace katalog::bench {
namespace {

constexpr int kReads = 10000;
constexpr int kNameLength = 20;
// SQLite's OFFSET walks k rows per read (about 1 ms a read at N = 100 000 here): its positioned
// reads run once, and above this N only on the first kFewPeerPositionReads probes, the time
// per read being what is compared.
constexpr std::int64_t kAllPeerPositionReadsUpTo = 100000;
constexpr int kFewPeerPositionReads = 1000;

std::uint64_t SplitMix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

TDataSet MakeDataSet(std::int64_t count) {
  TDataSet data;
  data.Count = count;
  data.InsertOrder.resize(count);
  for (std::int64_t i = 0; i < count; ++i) data.InsertOrder[i] = i + 1;
  std::mt19937_64 random(20240601);
  std::shuffle(data.InsertOrder.begin(), data.InsertOrder.end(), random);
  const std::uint64_t groups = std::max<std::int64_t>(1, count / 2);
  data.Names.resize(count + 1);
  for (std::int64_t id = 1; id <= count; ++id) {
    const std::uint64_t group = SplitMix(static_cast<std::uint64_t>(id)) % groups;
    std::uint64_t bits[2] = {SplitMix(group * 2 + 1), SplitMix(group * 2 + 2)};
    std::string name(kNameLength, 'A');
    for (int i = 0; i < kNameLength; ++i) {
      std::uint64_t& b = bits[i / 10];
      name[i] = static_cast<char>('A' + b % 26);
      b /= 26;
    }
    data.Names[id] = std::move(name);
  }
  std::uniform_int_distribution<std::int64_t> position(1, count);
  data.Probes.resize(kReads);
  for (auto& p : data.Probes) p = position(random);
  return data;
}

std::string gDirectory;
std::map<std::int64_t, TDataSet> gDataSets;
std::map<std::int64_t, bool> gOursBuilt;
std::map<std::int64_t, bool> gPeerBuilt;

std::string OursPath(std::int64_t count) {
  return gDirectory + "/ours" + std::to_string(count);
}

// ---- Measurements and the closing table ----

struct TMeasurement {
  double Seconds = 0;  // of all runs together
  std::int64_t Operations = 0;
  std::int64_t OperationsPerRun = 0;

  double SecondsPerOperation() const {
    return Operations ? Seconds / static_cast<double>(Operations) : 0;
  }
};

// [case][count][side]
std::map<std::string, std::map<std::int64_t, std::map<TSide, TMeasurement>>> gResults;
// The cases in the order of the closing table, each with the case whose SQLite figure it is
// compared with.
struct TCase {
  const char* Name;
  const char* PeerName;
};
const TCase kCases[] = {{"InsertNoBatch", "Insert"},        {"Insert", "Insert"},
                        {"ScanPrimary", "ScanPrimary"},     {"ScanName", "ScanName"},
                        {"PositionRead", "PositionRead"},   {"KeyLookup", "KeyLookup"},
                        {"FilterIndexed", "FilterIndexed"}, {"FilterScan", "FilterScan"},
                        {"FilterCount", "FilterCount"},     {"FilterWalk", "FilterWalk"}};

const TMeasurement* Find(const char* name, std::int64_t count, TSide side) {
  auto byCount = gResults.find(name);
  if (byCount == gResults.end()) return nullptr;
  auto sides = byCount->second.find(count);
  if (sides == byCount->second.end()) return nullptr;
  auto it = sides->second.find(side);
  return it == sides->second.end() ? nullptr : &it->second;
}

void PrintRatios() {
  std::printf("\nours / SQLite, per operation (below 1: the engine is faster)\n");
  std::printf("times: the mean of the runs, for `ops` operations\n\n");
  std::printf("%-13s %9s %8s %13s %13s %8s\n", "case", "N", "ops", "ours", "SQLite", "ratio");
  bool anyScaled = false;
  for (const auto& [count, unused] : gDataSets) {
    for (const TCase& c : kCases) {
      const TMeasurement* ours = Find(c.Name, count, sdOurs);
      const TMeasurement* peer = Find(c.PeerName, count, sdPeer);
      if (!ours && !peer) continue;
      const std::int64_t ops = (ours ? ours : peer)->OperationsPerRun;
      char oursText[32] = "-";
      char peerText[32] = "-";
      char ratioText[32] = "-";
      // Tenths of a millisecond, thousandths below one millisecond.
      const auto digits = [](double ms) { return ms < 1 ? 3 : 1; };
      if (ours) {
        const double ms = ours->SecondsPerOperation() * ops * 1e3;
        std::snprintf(oursText, sizeof oursText, "%.*f ms", digits(ms), ms);
      }
      if (peer) {
        const bool scaled = peer->OperationsPerRun != ops;
        anyScaled = anyScaled || scaled;
        const double ms = peer->SecondsPerOperation() * ops * 1e3;
        std::snprintf(peerText, sizeof peerText, "%s%.*f ms", scaled ? "*" : "", digits(ms), ms);
      }
      if (ours && peer && peer->SecondsPerOperation() > 0) {
        std::snprintf(ratioText, sizeof ratioText, "%.3g",
                      ours->SecondsPerOperation() / peer->SecondsPerOperation());
      }
      std::printf("%-13s %9lld %8lld %13s %13s %8s\n", c.Name, static_cast<long long>(count),
                  static_cast<long long>(ops), oursText, peerText, ratioText);
    }
  }
  if (anyScaled) std::printf("\n*: measured on fewer operations, scaled by the time of one\n");
}

// ---- Filling the tables ----

void CreateOursTable(const std::string& path) {
  TTableDefinition def;
  def.TableName = path;
  def.Fields = {{"Id", ft::kInteger}, {"Name", ft::kString, 0, kNameLength}, {"Value", ft::kFloat}};
  def.Indexes = {{"", {"Id"}, {}, /*Primary*/ true}, {"ByName", {"Name"}}};
  CreateTable(def);
}

// A new table filled with the data set, inside one update batch or without; returns the seconds
// from the open empty table to the closed full one.
double FillOurs(const TDataSet& data, bool batch) {
  CreateOursTable(OursPath(data.Count));
  TDataFile table;
  OpenOurs(table, data.Count);
  std::vector<std::uint8_t> record(table.WorkingRecordSize());
  const TClock::time_point start = TClock::now();
  if (batch) table.BeginBatch();
  for (const std::int64_t id : data.InsertOrder) {
    table.BlankRecord(record.data());
    table.WriteField(TFieldSet::Working, 1, TFieldValue{id}, record.data());
    table.WriteField(TFieldSet::Working, 2, TFieldValue{data.Names[id]}, record.data());
    table.WriteField(TFieldSet::Working, 3, TFieldValue{static_cast<double>(id) * 0.5},
                     record.data());
    table.Insert(record.data(), {});
  }
  if (batch) table.EndBatch();
  table.Close();
  const double seconds = SecondsSince(start);
  gOursBuilt[data.Count] = true;
  return seconds;
}

// `id` is declared INTEGER NOT NULL PRIMARY KEY and so is the rowid itself: the table's own
// B-tree is the primary index, as the engine's primary index is its own.
double FillPeer(const TDataSet& data) {
  const std::string path = PeerPath(data.Count);
  std::filesystem::remove(path);
  auto db = std::make_unique<TSqliteDatabase>(path);
  db->Execute("PRAGMA journal_mode=OFF");
  db->Execute("PRAGMA synchronous=OFF");
  db->Execute("CREATE TABLE bench (id INTEGER NOT NULL PRIMARY KEY, name TEXT, value REAL)");
  db->Execute("CREATE INDEX bench_name ON bench (name)");
  auto insert = std::make_unique<TSqliteStatement>(
      db->Handle(), "INSERT INTO bench (id, name, value) VALUES (?, ?, ?)");
  const TClock::time_point start = TClock::now();
  db->Execute("BEGIN");
  for (const std::int64_t id : data.InsertOrder) {
    insert->Bind(1, id);
    insert->Bind(2, std::string_view(data.Names[id]));
    insert->Bind(3, static_cast<double>(id) * 0.5);
    insert->Step();
    insert->Reset();
  }
  db->Execute("COMMIT");
  // Closing, timed like the engine's.
  insert.reset();
  db.reset();
  const double seconds = SecondsSince(start);
  gPeerBuilt[data.Count] = true;
  return seconds;
}

// Runs a benchmark body, turning an engine or SQLite failure into the benchmark's error.
template <typename Body>
auto Guarded(Body body) {
  return [body](benchmark::State& state) {
    try {
      body(state);
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
    }
  };
}

}  // namespace

// ---- Shared with FilterBench.cpp (BenchTable.h) ----

const TDataSet& DataSetOf(std::int64_t count) {
  auto it = gDataSets.find(count);
  if (it == gDataSets.end()) it = gDataSets.emplace(count, MakeDataSet(count)).first;
  return it->second;
}

std::string PeerPath(std::int64_t count) {
  return gDirectory + "/peer" + std::to_string(count) + ".db";
}

void Record(benchmark::State& state, const char* name, TSide side, std::int64_t count,
            double seconds, std::int64_t operations) {
  TMeasurement& m = gResults[name][count][side];
  m.Seconds += seconds;
  m.Operations += operations;
  m.OperationsPerRun = operations;
  state.SetIterationTime(seconds);
  state.SetItemsProcessed(state.items_processed() + operations);
}

void OpenOurs(TDataFile& table, std::int64_t count) {
  table.SetExclusive(true);
  table.SetFileName(OursPath(count));
  table.Open();
}

std::int64_t IdOf(const TDataFile& table, const std::uint8_t* record) {
  return std::get<std::int64_t>(table.ReadField(TFieldSet::Working, 1, record));
}

void EnsureOurs(std::int64_t count) {
  if (!gOursBuilt[count]) FillOurs(DataSetOf(count), /*batch*/ true);
}

void EnsurePeer(std::int64_t count) {
  if (!gPeerBuilt[count]) FillPeer(DataSetOf(count));
}

void Register(const std::string& name, std::int64_t count, int runs,
              std::function<void(benchmark::State&)> body) {
  const std::string full = name + "/" + std::to_string(count);
  benchmark::RegisterBenchmark(full.c_str(), Guarded(std::move(body)))
      ->Iterations(runs)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

namespace {

// ---- The engine ----

void OursInsert(benchmark::State& state, std::int64_t count, bool batch) {
  const TDataSet& data = DataSetOf(count);
  const char* name = batch ? "Insert" : "InsertNoBatch";
  for (auto _ : state) Record(state, name, sdOurs, count, FillOurs(data, batch), count);
}

// Every record in the order of the index `indexName`; the primary scan checks that the ids come
// as 1..N, the name scan that the names never go down.
void OursScan(benchmark::State& state, std::int64_t count, const char* caseName,
              const char* indexName) {
  EnsureOurs(count);
  const bool byName = *indexName != '\0';
  for (auto _ : state) {
    TDataFile table;
    OpenOurs(table, count);
    table.SetIndexByName(indexName);
    std::vector<std::uint8_t> record(table.WorkingRecordSize());
    std::int64_t seen = 0;
    bool ordered = true;
    std::string previous;
    int code = 0;
    const TClock::time_point start = TClock::now();
    table.GoFirst();
    while ((code = table.GoNext(record.data())) == 0) {
      ++seen;
      if (byName) {
        std::string name =
            std::get<std::string>(table.ReadField(TFieldSet::Working, 2, record.data()));
        ordered = ordered && previous <= name;
        previous = std::move(name);
      } else {
        ordered = ordered && IdOf(table, record.data()) == seen;
      }
    }
    const double seconds = SecondsSince(start);
    table.Close();
    if (code != kEndOfTable || seen != count || !ordered) {
      state.SkipWithError("the scan did not see every record in order");
      return;
    }
    Record(state, caseName, sdOurs, count, seconds, count);
  }
}

void OursPositionRead(benchmark::State& state, std::int64_t count) {
  EnsureOurs(count);
  const TDataSet& data = DataSetOf(count);
  for (auto _ : state) {
    TDataFile table;
    OpenOurs(table, count);
    table.SetIndexByName("");
    std::vector<std::uint8_t> record(table.WorkingRecordSize());
    bool right = true;
    const TClock::time_point start = TClock::now();
    for (const std::int64_t k : data.Probes) {
      table.GoToPosition(static_cast<std::int32_t>(k));
      right = right && table.GetCurrent(record.data(), /*lock*/ false) == 0 &&
              IdOf(table, record.data()) == k;
    }
    const double seconds = SecondsSince(start);
    table.Close();
    if (!right) {
      state.SkipWithError("a positioned read found the wrong record");
      return;
    }
    Record(state, "PositionRead", sdOurs, count, seconds, kReads);
  }
}

void OursKeyLookup(benchmark::State& state, std::int64_t count) {
  EnsureOurs(count);
  const TDataSet& data = DataSetOf(count);
  for (auto _ : state) {
    TDataFile table;
    OpenOurs(table, count);
    table.SetIndexByName("");
    const TKeyContext context = table.KeyContextFor(kPrimarySlot);
    std::vector<std::uint8_t> key(table.IndexFile().Descriptor(kPrimarySlot).KeyLength);
    std::vector<std::uint8_t> scratch(table.WorkingRecordSize());
    std::vector<std::uint8_t> record(table.WorkingRecordSize());
    table.BlankRecord(scratch.data());
    bool right = true;
    const TClock::time_point start = TClock::now();
    for (const std::int64_t id : data.Probes) {
      table.WriteField(TFieldSet::Working, 1, TFieldValue{id}, scratch.data());
      BuildKey(context, scratch.data(), key.data());
      right = right && table.FindKey(key.data(), TKeyMatch::Exact) &&
              table.GetCurrent(record.data(), /*lock*/ false) == 0 &&
              IdOf(table, record.data()) == id;
    }
    const double seconds = SecondsSince(start);
    table.Close();
    if (!right) {
      state.SkipWithError("a key lookup found the wrong record");
      return;
    }
    Record(state, "KeyLookup", sdOurs, count, seconds, kReads);
  }
}

// ---- SQLite ----

void PeerInsert(benchmark::State& state, std::int64_t count) {
  const TDataSet& data = DataSetOf(count);
  for (auto _ : state) Record(state, "Insert", sdPeer, count, FillPeer(data), count);
}

void PeerScan(benchmark::State& state, std::int64_t count, const char* caseName,
              const char* orderBy) {
  EnsurePeer(count);
  const bool byName = std::string(orderBy) == "name";
  for (auto _ : state) {
    TSqliteDatabase db(PeerPath(count));
    TSqliteStatement scan(db.Handle(), std::string("SELECT * FROM bench ORDER BY ") + orderBy);
    std::int64_t seen = 0;
    bool ordered = true;
    std::string previous;
    const TClock::time_point start = TClock::now();
    while (scan.Step()) {
      ++seen;
      if (byName) {
        std::string name(scan.ColumnText(1));
        ordered = ordered && previous <= name;
        previous = std::move(name);
      } else {
        ordered = ordered && scan.ColumnInt(0) == seen;
      }
    }
    const double seconds = SecondsSince(start);
    if (seen != count || !ordered) {
      state.SkipWithError("the scan did not see every row in order");
      return;
    }
    Record(state, caseName, sdPeer, count, seconds, count);
  }
}

void PeerPositionRead(benchmark::State& state, std::int64_t count) {
  EnsurePeer(count);
  const TDataSet& data = DataSetOf(count);
  for (auto _ : state) {
    TSqliteDatabase db(PeerPath(count));
    TSqliteStatement read(db.Handle(), "SELECT * FROM bench ORDER BY id LIMIT 1 OFFSET ?");
    const std::size_t reads =
        count <= kAllPeerPositionReadsUpTo ? data.Probes.size() : kFewPeerPositionReads;
    bool right = true;
    const TClock::time_point start = TClock::now();
    for (std::size_t i = 0; i < reads; ++i) {
      const std::int64_t k = data.Probes[i];
      read.Bind(1, k - 1);
      right = right && read.Step() && read.ColumnInt(0) == k;
      read.Reset();
    }
    const double seconds = SecondsSince(start);
    if (!right) {
      state.SkipWithError("a positioned read found the wrong row");
      return;
    }
    Record(state, "PositionRead", sdPeer, count, seconds, static_cast<std::int64_t>(reads));
  }
}

void PeerKeyLookup(benchmark::State& state, std::int64_t count) {
  EnsurePeer(count);
  const TDataSet& data = DataSetOf(count);
  for (auto _ : state) {
    TSqliteDatabase db(PeerPath(count));
    TSqliteStatement lookup(db.Handle(), "SELECT * FROM bench WHERE id = ?");
    bool right = true;
    const TClock::time_point start = TClock::now();
    for (const std::int64_t id : data.Probes) {
      lookup.Bind(1, id);
      right = right && lookup.Step() && lookup.ColumnInt(0) == id;
      lookup.Reset();
    }
    const double seconds = SecondsSince(start);
    if (!right) {
      state.SkipWithError("a key lookup found the wrong row");
      return;
    }
    Record(state, "KeyLookup", sdPeer, count, seconds, kReads);
  }
}

// ---- Registration ----

void RegisterAll() {
  for (const std::int64_t n : {std::int64_t{100000}, std::int64_t{1000000}}) {
    using S = benchmark::State;
    // Unbatched first: the reading cases then use the table the batch filled.
    Register("InsertNoBatch/ours", n, 1, [n](S& s) { OursInsert(s, n, false); });
    Register("Insert/ours", n, 1, [n](S& s) { OursInsert(s, n, true); });
    Register("Insert/sqlite", n, 1, [n](S& s) { PeerInsert(s, n); });
    Register("ScanPrimary/ours", n, kReadRuns, [n](S& s) { OursScan(s, n, "ScanPrimary", ""); });
    Register("ScanPrimary/sqlite", n, kReadRuns,
             [n](S& s) { PeerScan(s, n, "ScanPrimary", "id"); });
    Register("ScanName/ours", n, kReadRuns, [n](S& s) { OursScan(s, n, "ScanName", "ByName"); });
    Register("ScanName/sqlite", n, kReadRuns, [n](S& s) { PeerScan(s, n, "ScanName", "name"); });
    Register("PositionRead/ours", n, kReadRuns, [n](S& s) { OursPositionRead(s, n); });
    Register("PositionRead/sqlite", n, 1, [n](S& s) { PeerPositionRead(s, n); });
    Register("KeyLookup/ours", n, kReadRuns, [n](S& s) { OursKeyLookup(s, n); });
    Register("KeyLookup/sqlite", n, kReadRuns, [n](S& s) { PeerKeyLookup(s, n); });
    RegisterFilterCases(n);
  }
}

}  // namespace
}  // namespace katalog::bench

int main(int argc, char** argv) {
  using namespace katalog::bench;
  std::string pattern = (std::filesystem::temp_directory_path() / "katalog-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  gDirectory = pattern;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    std::filesystem::remove_all(gDirectory);
    return 1;
  }
  benchmark::AddCustomContext("sqlite", sqlite3_libversion());
  katalog::StartEngine();
  RegisterAll();
  int status = 0;
  try {
    benchmark::RunSpecifiedBenchmarks();
    PrintRatios();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "engine_bench: %s\n", e.what());
    status = 1;
  }
  benchmark::Shutdown();
  katalog::StopEngine();
  std::error_code ignored;
  std::filesystem::remove_all(gDirectory, ignored);
  return status;
}
