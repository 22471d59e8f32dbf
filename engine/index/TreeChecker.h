// Checks the invariants of an index tree and reports every violation found: key order along
// every level's chain, each node entry's key equal to its child's first key and its count equal
// to the keys below it, one root of a root type, all leaves on one level, the level chains
// linked both ways, and free pages on the free list only and never in the tree.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/index/IndexStore.h"

namespace katalog {

// Called with each leaf entry in key order (key, record number).
using TLeafVisitor = std::function<void(const std::uint8_t* key, std::int32_t record)>;

std::vector<std::string> CheckIndexTree(TIndexStore& store, int slot,
                                        const TLeafVisitor& visit = {});

}  // namespace katalog
