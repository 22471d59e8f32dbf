// A small table of every structure the engine keeps: a primary index (or none), a secondary
// index on a string, memos over several blob blocks, deleted slots. The fuzz seeds and the
// damaged-file sweep start from it.
#pragma once

#include <cstdint>
#include <string>

namespace katalog {

// Creates the table `base` (a path without extension) with fields Id, Name and Notes: `count`
// records, every third with a memo of 100 × its number bytes, every fifth of them deleted again.
void MakeSampleTable(const std::string& base, bool primary, std::uint32_t locale, int count);

}  // namespace katalog
