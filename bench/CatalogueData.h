// The catalogue records the workload benchmark stores on both sides: deterministic from the
// record's id alone, so any record can be made again without keeping them all. Texts are
// Windows-1250 bytes, as the viewer's tables hold them.
#pragma once

#include <cstdint>
#include <string>

namespace katalog::bench {

struct TPlace {
  std::int64_t Id = 0;
  std::string Name;    // DE_1: "Hospoda Pod Lipou 12": about a third of the ids share a name
  std::string Street;  // DE_3
  std::string City;    // DE_4: postal code and town
  std::string Region;  // DE_5: one of kRegions regions; the secondary index
  std::string Phone;   // DE_7
  std::string Fax;     // DE_9
  std::string Memo;    // DE_11: about 1 KB of sentences
};

inline constexpr int kRegions = 400;
// In the memos of about 1 % of the records (ids with Id % 100 == 37); nowhere else.
inline constexpr const char* kFrequentWord = "zubr";
// In no record.
inline constexpr const char* kAbsentWord = "xylofon";

TPlace PlaceOf(std::int64_t id);
std::string RegionName(int region);

}  // namespace katalog::bench
