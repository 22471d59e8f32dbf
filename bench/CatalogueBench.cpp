// catalogue_bench: the work Katalog does, on Katalog and on SQLite side by side. For each size it
// generates the catalogue (CatalogueData.h), inserts it on both sides (W5), then runs every
// workload (Workloads.h) `repeat` times, the two sides alternately (the first side alternates
// too), and prints the medians, the ratios Katalog / SQLite and how time grows with the size.
//
//   catalogue_bench [--sizes 10000,100000,1000000] [--repeat 5] [--dir DIR] [--update FILE]
//                   [--only ID]
//
// --only runs one workload (for profiling); the other workloads run on the tables that W5 left
// in --dir, which are made when they are missing. W8 runs this build's isamtool and the sqlite3
// shell on a CSV file it writes into the size's directory.
// --update replaces the part of FILE between "<!-- workloads:begin -->" and
// "<!-- workloads:end -->" with the report (appending both when they are missing).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/CatalogueData.h"
#include "bench/Workloads.h"

namespace katalog::bench {
namespace {

struct TOptions {
  std::vector<std::int64_t> Sizes = {10000, 100000, 1000000};
  int Repeat = 5;
  std::string Directory;
  std::string Update;
  std::string Only;  // one workload id ("W2"): for profiling; the tables of --dir are reused
};

// One line of the report: a workload on both sides (or against a baseline).
struct TCase {
  std::string Id;    // "W2"
  std::string Name;  // what is measured
  std::string Goal;  // "≤ 0.7"
  double Limit = 1.0;
  std::string OursLabel = "Katalog";
  std::string PeerLabel = "SQLite";
  std::function<double()> Ours;
  std::function<double()> Peer;
};

struct TMedians {
  double Ours = 0;
  double Peer = 0;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Time(double seconds) {
  char text[32];
  if (seconds >= 1) {
    std::snprintf(text, sizeof text, "%.2f s", seconds);
  } else if (seconds >= 1e-3) {
    std::snprintf(text, sizeof text, "%.1f ms", seconds * 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.0f µs", seconds * 1e6);
  }
  return text;
}

std::string Number(double value, const char* format) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Grouped(std::int64_t n) {
  std::string digits = std::to_string(n);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, " ");
  return digits;
}

std::vector<TCase> CasesOf(const TCatalogue& c, const TExpected& e) {
  const std::int64_t frequent = e.FrequentMatches;
  return {
      {"W1", "open read-only and shared, first record, record count", "≤ 0.5", 0.5, "Katalog",
       "SQLite", [&c] { return OpenOurs(c); }, [&c] { return OpenPeer(c); }},
      {"W2", "browse in index order reading the name: engine cursor", "≤ 0.7", 0.7, "Katalog",
       "SQLite", [&c] { return BrowseEngine(c); }, [&c] { return BrowsePeer(c); }},
      {"W2", "the same with write permission: locks and change checks on every read", "≤ 3", 3.0,
       "Katalog", "SQLite",
       [&c] {
         SetWritable(c, true);
         const double seconds = BrowseEngine(c);
         SetWritable(c, false);
         return seconds;
       },
       [&c] { return BrowsePeer(c); }},
      {"W2", "browse in index order reading the name: TIsamTable", "≤ 1.0", 1.0, "Katalog",
       "SQLite", [&c] { return BrowseTable(c); }, [&c] { return BrowsePeer(c); }},
      {"W3", std::string("the viewer's search, \"") + kFrequentWord + "\" (1 %), and the count",
       "≤ 0.5", 0.5, "Katalog", "SQLite",
       [&c, frequent] { return SearchOurs(c, kFrequentWord, frequent); },
       [&c, frequent] { return SearchPeer(c, kFrequentWord, frequent); }},
      {"W3", std::string("the viewer's search, \"") + kAbsentWord + "\" (none), and the count",
       "≤ 0.5", 0.5, "Katalog", "SQLite", [&c] { return SearchOurs(c, kAbsentWord, 0); },
       [&c] { return SearchPeer(c, kAbsentWord, 0); }},
      {"W3",
       std::string("the same search against memmem over the bytes in memory, \"") + kFrequentWord +
           "\"",
       "≤ 2", 2.0, "Katalog", "memmem",
       [&c, frequent] { return SearchOurs(c, kFrequentWord, frequent); },
       [&e, frequent] { return SearchMemory(e, kFrequentWord, frequent); }},
      {"W4", "equality filter on the indexed region, count, walk in the region's index", "≤ 1.0",
       1.0, "Katalog", "SQLite", [&c, &e] { return RegionOurs(c, e, true); },
       [&c, &e] { return RegionPeer(c, e); }},
      {"W4", "the same walked in the name index (every entry passed)", "≤ 1.0", 1.0, "Katalog",
       "SQLite", [&c, &e] { return RegionOurs(c, e, false); },
       [&c, &e] { return RegionPeer(c, e); }},
      {"W6", "100 000 finds by primary key (Locate)", "≤ 1.0", 1.0, "Katalog", "SQLite",
       [&c, &e] { return FindOurs(c, e); }, [&c, &e] { return FindPeer(c, e); }},
  };
}

TMedians RunAlternately(const std::function<double()>& ours, const std::function<double()>& peer,
                        int repeat) {
  std::vector<double> oursTimes, peerTimes;
  for (int r = 0; r < repeat; ++r) {
    if (r % 2 == 0) {
      oursTimes.push_back(ours());
      peerTimes.push_back(peer());
    } else {
      peerTimes.push_back(peer());
      oursTimes.push_back(ours());
    }
  }
  return {Median(oursTimes), Median(peerTimes)};
}

struct TLine {
  std::string Id, Name, Goal, OursLabel, PeerLabel;
  double Limit;
  std::map<std::int64_t, TMedians> BySize;  // seconds, or KiB for a memory line
  bool Memory = false;
};

std::string Value(const TLine& line, double value) {
  return line.Memory ? Grouped(static_cast<std::int64_t>(value)) + " KiB" : Time(value);
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d", std::localtime(&now));
  return text;
}

// "2 CPUs (model), 24 GiB" from /proc.
std::string Machine() {
  std::string model = "unknown CPU";
  std::ifstream cpu("/proc/cpuinfo");
  for (std::string line; std::getline(cpu, line);) {
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  long memoryKib = 0;
  std::ifstream memory("/proc/meminfo");
  for (std::string line; std::getline(memory, line);)
    if (line.rfind("MemTotal:", 0) == 0) memoryKib = std::strtol(line.c_str() + 9, nullptr, 10);
  return std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " CPUs (" + model + "), " +
         std::to_string(memoryKib / 1024 / 1024) + " GiB of memory";
}

std::string Report(const std::vector<TLine>& lines, const TOptions& options,
                   const std::string& command) {
  std::ostringstream out;
  out << "Measured on " << Today() << " by `bench/run` (`" << command << "`), with "
      << options.Repeat << " runs per workload and side, alternating (the median is shown), on "
      << Machine() << ".\n\n";
  out << "| id | workload | N | Katalog | other | other side | ratio | goal | met |\n";
  out << "|---|---|---:|---:|---:|---|---:|---|---|\n";
  for (const TLine& line : lines) {
    for (const auto& [size, medians] : line.BySize) {
      const double ratio = medians.Ours / medians.Peer;
      out << "| " << line.Id << " | " << line.Name << " | " << Grouped(size) << " | "
          << Value(line, medians.Ours) << " | " << Value(line, medians.Peer) << " | "
          << line.PeerLabel << " | " << Number(ratio, "%.3g") << " | " << line.Goal << " | "
          << (ratio <= line.Limit ? "yes" : "**no**") << " |\n";
    }
  }
  out << "\nGrowth: the time at the largest size divided by the time at the smallest, for a "
         "size "
      << (options.Sizes.size() > 1 ? Number(static_cast<double>(options.Sizes.back()) /
                                                static_cast<double>(options.Sizes.front()),
                                            "%.0f")
                                   : std::string("1"))
      << " times larger (linear work grows as much; a find per key grows as log N).\n\n";
  out << "| id | workload | Katalog | other side |\n|---|---|---:|---:|\n";
  for (const TLine& line : lines) {
    if (line.BySize.size() < 2 || line.Memory) continue;
    const TMedians& small = line.BySize.begin()->second;
    const TMedians& large = line.BySize.rbegin()->second;
    out << "| " << line.Id << " | " << line.Name << " | " << Number(large.Ours / small.Ours, "%.1f")
        << " | " << Number(large.Peer / small.Peer, "%.1f") << " |\n";
  }
  return out.str();
}

void UpdateFile(const std::string& path, const std::string& report) {
  const std::string begin = "<!-- workloads:begin -->", end = "<!-- workloads:end -->";
  std::ifstream in(path);
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  const std::size_t a = text.find(begin), b = text.find(end);
  const std::string section = begin + "\n" + report + end;
  if (a == std::string::npos || b == std::string::npos || b < a) {
    text += "\n" + section + "\n";
  } else {
    text.replace(a, b + end.size() - a, section);
  }
  std::ofstream(path, std::ios::trunc) << text;
}

TOptions Parse(int argc, char** argv) {
  TOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) throw std::runtime_error("missing value after " + arg);
    const std::string value = argv[++i];
    if (arg == "--sizes") {
      options.Sizes.clear();
      std::stringstream list(value);
      for (std::string item; std::getline(list, item, ',');)
        options.Sizes.push_back(std::stoll(item));
    } else if (arg == "--repeat") {
      options.Repeat = std::max(1, std::stoi(value));
    } else if (arg == "--dir") {
      options.Directory = value;
    } else if (arg == "--only") {
      options.Only = value;
    } else if (arg == "--update") {
      options.Update = value;
    } else {
      throw std::runtime_error("unknown option " + arg);
    }
  }
  return options;
}

int Run(int argc, char** argv) {
  const TOptions options = Parse(argc, argv);
  std::string command = "catalogue_bench";
  for (int i = 1; i < argc; ++i) command += std::string(" ") + argv[i];
  std::string root = options.Directory;
  const bool temporary = root.empty();
  if (temporary) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "catalogue-bench-XXXXXX").string();
    root = mkdtemp(pattern.data());
  }
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

  std::vector<TLine> lines;
  auto lineFor = [&lines](const std::string& id, const std::string& name, const std::string& goal,
                          double limit, const std::string& oursLabel,
                          const std::string& peerLabel) -> TLine& {
    for (TLine& line : lines)
      if (line.Id == id && line.Name == name) return line;
    lines.push_back({id, name, goal, oursLabel, peerLabel, limit, {}, false});
    return lines.back();
  };
  for (const std::int64_t size : options.Sizes) {
    const TCatalogue c{size, root + "/n" + std::to_string(size)};
    std::filesystem::create_directories(c.Directory);
    std::fprintf(stderr, "catalogue_bench: %lld records: generating\n",
                 static_cast<long long>(size));
    const TExpected e = ExpectedOf(size);
    // Inserting a million records takes a while on both sides: fewer runs there.
    const int insertRuns = size >= 1000000 ? 1 : options.Repeat;
    const bool tablesThere = std::filesystem::exists(c.PeerPath());
    // W8 alone needs no tables of W5: it writes its own.
    if (options.Only.empty() || options.Only == "W5" || (!tablesThere && options.Only != "W8")) {
      std::fprintf(stderr, "catalogue_bench: W5 insert\n");
      lineFor("W5", "insert every record with both indexes and the memos", "≤ 1.0", 1.0, "Katalog",
              "SQLite")
          .BySize[size] = RunAlternately([&c] { return InsertOurs(c); },
                                         [&c] { return InsertPeer(c); }, insertRuns);
    }
    if (options.Only.empty() || options.Only == "W8") {
      std::fprintf(stderr, "catalogue_bench: W8 import\n");
      WriteImportFiles(c);
      lineFor("W8", "import a CSV file of the records: isamtool import / sqlite3 .import", "≤ 1.0",
              1.0, "Katalog", "SQLite")
          .BySize[size] = RunAlternately([&c] { return ImportOurs(c); },
                                         [&c] { return ImportPeer(c); }, insertRuns);
    }
    if (std::filesystem::exists(c.PeerPath())) SetWritable(c, false);
    for (const TCase& one : CasesOf(c, e)) {
      if (!options.Only.empty() && one.Id != options.Only) continue;
      std::fprintf(stderr, "catalogue_bench: %s %s\n", one.Id.c_str(), one.Name.c_str());
      lineFor(one.Id, one.Name, one.Goal, one.Limit, one.OursLabel, one.PeerLabel).BySize[size] =
          RunAlternately(one.Ours, one.Peer, options.Repeat);
    }
    if (options.Only.empty() || options.Only == "S3" || options.Only == "S4") {
      std::fprintf(stderr, "catalogue_bench: S3 and S4 SQL through the extension\n");
      MakeExportCopy(c);
      if (options.Only != "S4") {
        lineFor("S3",
                std::string("W3 as SQL, \"") + kFrequentWord +
                    "\": count(*) with LIKE on the memo and the name, through the extension / on "
                    "the exported copy",
                "≤ 1.0", 1.0, "Katalog", "SQLite copy")
            .BySize[size] = RunAlternately(
            [&c, &e] { return SqlSearch(c, TSqlSide::Bridge, kFrequentWord, e.FrequentMatches); },
            [&c, &e] { return SqlSearch(c, TSqlSide::Copy, kFrequentWord, e.FrequentMatches); },
            options.Repeat);
      }
      if (options.Only != "S3") {
        lineFor("S4",
                "W4 as SQL: count(*) and the names WHERE DE_5 = ?, through the extension / on "
                "the exported copy",
                "≤ 1.0", 1.0, "Katalog", "SQLite copy")
            .BySize[size] =
            RunAlternately([&c, &e] { return SqlRegion(c, TSqlSide::Bridge, e); },
                           [&c, &e] { return SqlRegion(c, TSqlSide::Copy, e); }, options.Repeat);
      }
    }
    if (options.Only.empty() || options.Only == "V1" || options.Only == "V2") {
      std::fprintf(stderr, "catalogue_bench: V1 and V2 the viewer\n");
      MakeViewerCatalogue(c);
      const TViewerExpected v = ViewerExpectedOf(c, kViewerWord);
      if (options.Only != "V2") {
        lineFor("V1",
                "the viewer's start to its first paint and exit (katalog --screenshot), against "
                "the goal of 0.2 s",
                "≤ 1.0", 1.0, "Katalog", "goal")
            .BySize[size] = RunAlternately([&c] { return ViewerFirstPaint(c); }, [] { return 0.2; },
                                           options.Repeat);
      }
      if (options.Only != "V1") {
        lineFor("V2",
                std::string("the viewer's search on its catalogue, \"") + kViewerWord +
                    "\", against memmem over the same texts in memory",
                "≤ 2", 2.0, "Katalog", "memmem")
            .BySize[size] =
            RunAlternately([&c, &v] { return ViewerSearch(c, v, kViewerWord); },
                           [&v] { return ViewerSearchMemory(v, kViewerWord); }, options.Repeat);
      }
    }
    if (size == options.Sizes.back() && (options.Only.empty() || options.Only == "W7")) {
      std::fprintf(stderr, "catalogue_bench: W7 memory\n");
      const double baseline = static_cast<double>(PrivateMemory(c, "none", self));
      TLine& memory = lineFor("W7",
                              "private memory after browsing every record (KiB, ratio "
                              "of the growth over a process that only starts)",
                              "≤ 1.0", 1.0, "Katalog", "SQLite");
      const double ours = static_cast<double>(PrivateMemory(c, "ours", self));
      const double peer = static_cast<double>(PrivateMemory(c, "sqlite", self));
      memory.Memory = true;
      memory.BySize[size] = {ours - baseline, peer - baseline};
    }
  }
  const std::string report = Report(lines, options, command);
  std::fputs(report.c_str(), stdout);
  if (!options.Update.empty()) UpdateFile(options.Update, report);
  if (temporary) std::filesystem::remove_all(root);
  return 0;
}

}  // namespace
}  // namespace katalog::bench

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--memory")
    return katalog::bench::BrowseForMemory(argv[2], argv[3], std::atoll(argv[4]));
  try {
    return katalog::bench::Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "catalogue_bench: %s\n", e.what());
    return 1;
  }
}
