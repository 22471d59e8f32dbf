// TIndexTree: one index of the table as an order-statistic B+tree: searches by key and by
// logical number, and the maintenance of keys with splits, merges and redistribution.
//
// Node entries hold the first key of their child and the number of leaf entries below it, so
// ranks (how many keys lie below a key) and the entry with a given logical number are found in
// one descent. A tree object is a view: it keeps nothing of its own between calls, and works on
// the pages of its slot in the store.
//
// Invariants the operations keep: all leaves on one level, linked left to right; every key in key
// order along each level; a node entry's key is the first key of its child and its count the
// number of keys below it; the root is the only page of type root node or root leaf; freed pages
// are on the slot's free list only.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/index/IndexStore.h"
#include "engine/index/RecordBitmap.h"

namespace katalog {

// A leaf entry: the page and the 0-based entry in it.
struct TLeafPosition {
  std::int32_t Page = 0;
  int Entry = 0;
};

class TIndexTree {
 public:
  TIndexTree(TIndexStore& store, int slot);

  int Slot() const { return slot_; }
  std::uint16_t KeyLength() const { return keyLength_; }
  std::int32_t Root() const;
  // -1, 0 or 1 in the index's order.
  int Compare(const std::uint8_t* a, const std::uint8_t* b) const;
  // The number of keys in the tree.
  std::int32_t KeyCount();

  bool Exists(const std::uint8_t* key);
  // kDuplicateKey when the slot refuses duplicates (the primary index and unique indexes) and K
  // exists.
  void CheckDuplicate(const std::uint8_t* key);
  void Insert(const std::uint8_t* key, std::int32_t record);
  // kKeyNotFound when the key is not in the tree.
  void Delete(const std::uint8_t* key);
  void Replace(const std::uint8_t* oldKey, const std::uint8_t* newKey, std::int32_t record);

  // Keys before K (keys < K), and keys up to K (keys <= K).
  std::int32_t CountBelow(const std::uint8_t* key);
  std::int32_t CountUpTo(const std::uint8_t* key);
  // The entry with logical number k (1 .. KeyCount()).
  TLeafPosition Locate(std::int32_t k);
  // Sets the bits of the records whose keys lie in [lower, upper] (the bitmap is cleared first).
  void Collect(const std::uint8_t* lower, const std::uint8_t* upper, TRecordBitmap& bitmap);
  // Sets (without clearing others) the bits of the records of the entries with logical numbers
  // first .. last.
  void MarkRanks(std::int32_t first, std::int32_t last, TRecordBitmap& bitmap);

  TPageRef Fetch(std::int32_t offset) { return store_.Fetch(slot_, offset); }

 private:
  struct TStep {
    std::int32_t Page;
    int Entry;
  };

  [[noreturn]] void Corrupt() const;
  // Goes from the root (there must be one) down to a leaf: at each node `choose` returns the
  // entry to follow, and may note or change the node on the way. A node without entries or a
  // path deeper than any tree (a damaged tree leading round in a circle) is kIndexBuffersCorrupt.
  template <class Choose>
  TPageRef Descend(Choose choose);
  // Descends to the leaf where K belongs, adding `change` to the count of every node entry passed
  // and noting each step in `path` (for a key being inserted or deleted).
  TPageRef DescendCounting(const std::uint8_t* key, int change, std::vector<TStep>& path);
  // Calls visit(leaf, entry) for the entries from `from` on along the leaf chain while it returns
  // true; returns whether the chain ended first. A walk longer than a tree of `keyCount` keys can
  // take goes round a damaged chain and is kIndexBuffersCorrupt.
  template <class Visit>
  bool WalkLeaves(TLeafPosition from, std::int32_t keyCount, Visit visit);
  // The last entry with key <= K (strict: < K), or -1.
  int LastAtMost(const TPageImage& page, const std::uint8_t* key, bool strict) const;
  std::int32_t Rank(const std::uint8_t* key, bool strict);
  std::int32_t KeyCountOf(const TPageImage& page) const;
  int Capacity(const TPageImage& page) const;
  bool Overflows(const TPageImage& page) const;
  void SetRoot(std::int32_t offset);
  void MoveEntry(TPageImage& from, int at, TPageImage& to, int where);
  void PropagateFirstKey(const std::vector<TStep>& path, const std::uint8_t* key);
  void RemoveEntry(TPageRef& page, int entry, std::vector<TStep>& path);
  void SplitUpwards(TPageRef page, std::vector<TStep>& path);
  void FitCompressedHalves(TPageImage& left, TPageImage& right);
  void Rebalance(TPageRef page, std::vector<TStep>& path);
  void UnlinkAndFree(TPage& page);

  TIndexStore& store_;
  int slot_;
  TKeyContext context_;
  TPageFormat format_;
  std::uint16_t keyLength_;
};

}  // namespace katalog
