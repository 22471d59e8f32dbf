// What the benchmark files of engine_bench share: the data set of one table size, the two
// tables filled with it (the engine's and SQLite's, filled once per size and untimed when no
// insert case did it), the measurements behind the closing table of ratios, and registration.
// EngineBench.cpp defines them.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bench/Measure.h"
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"

namespace katalog::bench {

inline constexpr int kEndOfTable = ie::kEndOfFile;
// Runs of each reading case; their mean is reported. Inserting runs once.
inline constexpr int kReadRuns = 3;

// The data of one table size: the same for both sides. Record `id` holds Id = id,
// Name = Names[id] and Value = id * 0.5.
struct TDataSet {
  std::int64_t Count = 0;
  // The ids 1..Count in the order they are inserted (shuffled, fixed seed).
  std::vector<std::int64_t> InsertOrder;
  // Names[id]: 20 upper-case letters (a byte order that every collation agrees with); about
  // Count / 2 distinct names, so the secondary index has duplicates.
  std::vector<std::string> Names;
  // The positions (and ids) that reads and lookups visit, uniform in 1..Count.
  std::vector<std::int64_t> Probes;
};

const TDataSet& DataSetOf(std::int64_t count);

// The engine's table: fields Id (1), Name (2) and Value (3), the primary index on Id and the
// secondary index "ByName" on Name. SQLite's: bench (id, name, value) with the index on name.
std::string PeerPath(std::int64_t count);
void OpenOurs(TDataFile& table, std::int64_t count);
std::int64_t IdOf(const TDataFile& table, const std::uint8_t* record);
// Fill the table of this size (untimed) unless it is there already.
void EnsureOurs(std::int64_t count);
void EnsurePeer(std::int64_t count);

enum TSide { sdOurs, sdPeer };

// One timed part: adds it to the results and reports it to the benchmark library.
void Record(benchmark::State& state, const char* name, TSide side, std::int64_t count,
            double seconds, std::int64_t operations);

// A benchmark "name/count" run `runs` times on manual time; an exception thrown by the body
// becomes the benchmark's error.
void Register(const std::string& name, std::int64_t count, int runs,
              std::function<void(benchmark::State&)> body);

// The filter cases of one table size (FilterBench.cpp).
void RegisterFilterCases(std::int64_t count);

}  // namespace katalog::bench
