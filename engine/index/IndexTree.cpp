#include "engine/index/IndexTree.h"

#include <algorithm>
#include <limits>
#include <numeric>

#include "engine/storage/IsamError.h"

namespace katalog {
namespace {

// No tree of 2^31 keys is deeper than this, even with two entries a node.
constexpr int kMaxDepth = 40;

}  // namespace

TIndexTree::TIndexTree(TIndexStore& store, int slot)
    : store_(store),
      slot_(slot),
      context_(store.KeyContext(slot)),
      format_(store.Format(slot)),
      keyLength_(format_.KeyLength) {}

void TIndexTree::Corrupt() const {
  RaiseIsamError(ie::kIndexBuffersCorrupt, store_.File().FileName());
}

std::int32_t TIndexTree::Root() const {
  return store_.File().Descriptor(slot_).RootPage;
}

void TIndexTree::SetRoot(std::int32_t offset) {
  TIndexDescriptor& d = store_.File().MutableHeader().Indexes[slot_];
  d.RootPage = offset;
}

int TIndexTree::Compare(const std::uint8_t* a, const std::uint8_t* b) const {
  return CompareKeys(context_, a, b, keyLength_);
}

int TIndexTree::LastAtMost(const TPageImage& page, const std::uint8_t* key, bool strict) const {
  int low = 0;
  int high = page.Count();  // the answer + 1 lies in [low, high]
  while (low < high) {
    const int middle = (low + high) / 2;
    const int c = Compare(page.Key(middle, keyLength_), key);
    if (c < 0 || (c == 0 && !strict)) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low - 1;
}

std::int32_t TIndexTree::KeyCountOf(const TPageImage& page) const {
  if (page.IsLeaf()) return page.Count();
  // Damaged counts can add up beyond what a tree holds; summed wide, that is found.
  const std::int64_t total =
      std::accumulate(page.Counts.begin(), page.Counts.end(), std::int64_t{0});
  if (total > std::numeric_limits<std::int32_t>::max()) Corrupt();
  return static_cast<std::int32_t>(total);
}

int TIndexTree::Capacity(const TPageImage& page) const {
  return page.IsLeaf() ? UncompressedLeafCapacity(keyLength_) : NodeCapacity(keyLength_);
}

bool TIndexTree::Overflows(const TPageImage& page) const {
  if (page.IsLeaf() && format_.Compression != kcNone) {
    return LeafUsedBytes(page, format_) > kPageDataSize;
  }
  return page.Count() > Capacity(page);
}

template <class Choose>
TPageRef TIndexTree::Descend(Choose choose) {
  TPageRef page = Fetch(Root());
  for (int depth = 0; !page->Image.IsLeaf(); ++depth) {
    if (depth > kMaxDepth) Corrupt();  // a damaged tree that leads round in a circle
    if (page->Image.Count() == 0) Corrupt();
    const int i = choose(page);
    page = Fetch(page->Image.Values[i]);
  }
  return page;
}

template <class Visit>
bool TIndexTree::WalkLeaves(TLeafPosition from, std::int32_t keyCount, Visit visit) {
  TPageRef page = Fetch(from.Page);
  for (std::int32_t walked = 0, i = from.Entry;; ++walked) {
    // Every step takes an entry or a page, and each page holds an entry: a longer walk goes round
    // a damaged leaf chain in a circle.
    if (walked > 2 * keyCount + kMaxDepth) Corrupt();
    if (i >= page->Image.Count()) {
      if (page->Image.Next == 0) return true;
      page = Fetch(page->Image.Next);
      i = 0;
      continue;
    }
    if (!visit(page->Image, i++)) return false;
  }
}

std::int32_t TIndexTree::KeyCount() {
  if (Root() == 0) return 0;
  TPageRef root = Fetch(Root());
  return KeyCountOf(root->Image);
}

bool TIndexTree::Exists(const std::uint8_t* key) {
  if (Root() == 0) return false;
  const TPageRef page = Descend(
      [&](const TPageRef& node) { return std::max(LastAtMost(node->Image, key, false), 0); });
  const int i = LastAtMost(page->Image, key, false);
  return i >= 0 && Compare(page->Image.Key(i, keyLength_), key) == 0;
}

void TIndexTree::CheckDuplicate(const std::uint8_t* key) {
  const bool refusesDuplicates = slot_ == kPrimarySlot || store_.File().Descriptor(slot_).Unique;
  if (refusesDuplicates && Exists(key)) {
    const std::string name = slot_ == kPrimarySlot ? std::string(kPrimaryIndexName)
                                                   : store_.File().Descriptor(slot_).Name;
    RaiseIsamError(ie::kDuplicateKey, store_.File().FileName(), "", name);
  }
}

std::int32_t TIndexTree::Rank(const std::uint8_t* key, bool strict) {
  if (Root() == 0) return 0;
  std::int64_t before = 0;
  const TPageRef page = Descend([&](const TPageRef& node) {
    const int i = std::max(LastAtMost(node->Image, key, strict), 0);
    // Summed wide: damaged counts can add up beyond what a tree holds.
    before = std::accumulate(node->Image.Counts.begin(), node->Image.Counts.begin() + i, before);
    return i;
  });
  const std::int64_t rank = before + LastAtMost(page->Image, key, strict) + 1;
  if (rank > std::numeric_limits<std::int32_t>::max()) Corrupt();
  return static_cast<std::int32_t>(rank);
}

std::int32_t TIndexTree::CountBelow(const std::uint8_t* key) {
  return Rank(key, true);
}

std::int32_t TIndexTree::CountUpTo(const std::uint8_t* key) {
  return Rank(key, false);
}

TLeafPosition TIndexTree::Locate(std::int32_t k) {
  if (Root() == 0 || k < 1) Corrupt();
  const TPageRef page = Descend([&](const TPageRef& node) {
    int i = 0;
    while (i + 1 < node->Image.Count() && k > node->Image.Counts[i]) k -= node->Image.Counts[i++];
    return i;
  });
  if (k > page->Image.Count()) Corrupt();
  return {page->Offset, k - 1};
}

void TIndexTree::Collect(const std::uint8_t* lower, const std::uint8_t* upper,
                         TRecordBitmap& bitmap) {
  bitmap.ClearAll();
  if (Compare(lower, upper) > 0) return;
  const std::int32_t first = CountBelow(lower) + 1;
  if (first > KeyCount()) return;
  const std::int32_t total = KeyCount();
  WalkLeaves(Locate(first), total, [&](const TPageImage& leaf, int i) {
    if (Compare(leaf.Key(i, keyLength_), upper) > 0) return false;
    bitmap.Set(leaf.Values[i]);
    return true;
  });
}

void TIndexTree::MarkRanks(std::int32_t first, std::int32_t last, TRecordBitmap& bitmap) {
  first = std::max(first, 1);
  last = std::min(last, KeyCount());
  if (first > last) return;
  std::int32_t left = last - first + 1;
  const bool chainEnded = WalkLeaves(Locate(first), KeyCount(), [&](const TPageImage& leaf, int i) {
    bitmap.Set(leaf.Values[i]);
    return --left > 0;
  });
  if (chainEnded) Corrupt();  // fewer keys than the counts say
}

TPageRef TIndexTree::DescendCounting(const std::uint8_t* key, int change,
                                     std::vector<TStep>& path) {
  return Descend([&](const TPageRef& node) {
    const int i = std::max(LastAtMost(node->Image, key, false), 0);
    node->Image.Counts[i] += change;
    store_.MarkModified(*node);
    path.push_back({node->Offset, i});
    return i;
  });
}

void TIndexTree::PropagateFirstKey(const std::vector<TStep>& path, const std::uint8_t* key) {
  for (auto step = path.rbegin(); step != path.rend(); ++step) {
    TPageRef node = Fetch(step->Page);
    std::copy_n(key, keyLength_, node->Image.Key(step->Entry, keyLength_));
    store_.MarkModified(*node);
    if (step->Entry != 0) return;
  }
}

void TIndexTree::Insert(const std::uint8_t* key, std::int32_t record) {
  if (Root() == 0) {
    TPageRef root = store_.TakePage(slot_);
    root->Image.Type = ptRootLeaf;
    root->Image.Insert(0, key, keyLength_, record);
    SetRoot(root->Offset);
    return;
  }
  std::vector<TStep> path;
  TPageRef page = DescendCounting(key, 1, path);
  const int at = LastAtMost(page->Image, key, false) + 1;
  page->Image.Insert(at, key, keyLength_, record);
  store_.MarkModified(*page);
  if (at == 0) PropagateFirstKey(path, key);
  SplitUpwards(std::move(page), path);
}

void TIndexTree::MoveEntry(TPageImage& from, int at, TPageImage& to, int where) {
  to.Insert(where, from.Key(at, keyLength_), keyLength_, from.Values[at],
            from.IsLeaf() ? 0 : from.Counts[at]);
  from.Erase(at, keyLength_);
}

// Moves entries across a compressed leaf split until both halves fit in a page.
void TIndexTree::FitCompressedHalves(TPageImage& left, TPageImage& right) {
  while (LeafUsedBytes(left, format_) > kPageDataSize && left.Count() > 1) {
    MoveEntry(left, left.Count() - 1, right, 0);
  }
  while (LeafUsedBytes(right, format_) > kPageDataSize && right.Count() > 1) {
    MoveEntry(right, 0, left, left.Count());
  }
  if (LeafUsedBytes(left, format_) > kPageDataSize ||
      LeafUsedBytes(right, format_) > kPageDataSize) {
    Corrupt();
  }
}

void TIndexTree::SplitUpwards(TPageRef page, std::vector<TStep>& path) {
  while (Overflows(page->Image)) {
    TPageImage& left = page->Image;
    const bool wasRoot = left.Type == ptRootNode || left.Type == ptRootLeaf;
    const bool leaf = left.IsLeaf();
    left.Type = leaf ? ptLeaf : ptInnerNode;
    TPageRef newPage = store_.TakePage(slot_);
    TPageImage& right = newPage->Image;
    right.Type = left.Type;
    const int keep = (left.Count() + 1) / 2;
    while (left.Count() > keep) MoveEntry(left, keep, right, right.Count());
    if (leaf && format_.Compression != kcNone) FitCompressedHalves(left, right);
    right.Previous = page->Offset;
    right.Next = left.Next;
    if (left.Next != 0) {
      TPageRef next = Fetch(left.Next);
      next->Image.Previous = newPage->Offset;
      store_.MarkModified(*next);
    }
    left.Next = newPage->Offset;
    store_.MarkModified(*page);
    store_.MarkModified(*newPage);

    if (wasRoot) {
      TPageRef root = store_.TakePage(slot_);
      root->Image.Type = ptRootNode;
      root->Image.Insert(0, left.Key(0, keyLength_), keyLength_, page->Offset, KeyCountOf(left));
      root->Image.Insert(1, right.Key(0, keyLength_), keyLength_, newPage->Offset,
                         KeyCountOf(right));
      SetRoot(root->Offset);
      return;
    }
    if (path.empty()) Corrupt();  // a page that is not the root has a parent
    const TStep step = path.back();
    path.pop_back();
    TPageRef parent = Fetch(step.Page);
    parent->Image.Counts[step.Entry] = KeyCountOf(left);
    parent->Image.Insert(step.Entry + 1, right.Key(0, keyLength_), keyLength_, newPage->Offset,
                         KeyCountOf(right));
    store_.MarkModified(*parent);
    page = std::move(parent);
  }
}

void TIndexTree::Delete(const std::uint8_t* key) {
  if (!Exists(key)) {
    const std::string name = slot_ == kPrimarySlot ? std::string(kPrimaryIndexName)
                                                   : store_.File().Descriptor(slot_).Name;
    RaiseIsamError(ie::kKeyNotFound, store_.File().FileName(), "", name);
  }
  std::vector<TStep> path;
  TPageRef page = DescendCounting(key, -1, path);
  const int at = std::max(LastAtMost(page->Image, key, false), 0);
  RemoveEntry(page, at, path);
  Rebalance(std::move(page), path);
}

void TIndexTree::Replace(const std::uint8_t* oldKey, const std::uint8_t* newKey,
                         std::int32_t record) {
  Delete(oldKey);
  Insert(newKey, record);
}

void TIndexTree::RemoveEntry(TPageRef& page, int entry, std::vector<TStep>& path) {
  page->Image.Erase(entry, keyLength_);
  store_.MarkModified(*page);
  if (entry == 0 && page->Image.Count() > 0) {
    PropagateFirstKey(path, page->Image.Key(0, keyLength_));
  }
}

void TIndexTree::UnlinkAndFree(TPage& page) {
  if (page.Image.Previous != 0) {
    TPageRef previous = Fetch(page.Image.Previous);
    previous->Image.Next = page.Image.Next;
    store_.MarkModified(*previous);
  }
  if (page.Image.Next != 0) {
    TPageRef next = Fetch(page.Image.Next);
    next->Image.Previous = page.Image.Previous;
    store_.MarkModified(*next);
  }
  store_.FreePage(page);
}

void TIndexTree::Rebalance(TPageRef page, std::vector<TStep>& path) {
  for (;;) {
    TPageImage& image = page->Image;
    const bool compressedLeaf = image.IsLeaf() && format_.Compression != kcNone;
    const int count = image.Count();
    const int capacity = Capacity(image);
    if (compressedLeaf ? count > 0 : count >= capacity / 2) return;

    if (path.empty()) {  // the root
      if (count == 0) {
        store_.FreePage(*page);
        SetRoot(0);
      } else if (!image.IsLeaf() && count == 1) {
        TPageRef child = Fetch(image.Values[0]);
        child->Image.Type = child->Image.IsLeaf() ? ptRootLeaf : ptRootNode;
        child->Image.Previous = child->Image.Next = 0;
        store_.MarkModified(*child);
        store_.FreePage(*page);
        SetRoot(child->Offset);
      }
      return;
    }
    const TStep step = path.back();
    TPageRef parent = Fetch(step.Page);
    const int siblings = parent->Image.Count();
    const bool withPrevious = step.Entry > 0;
    const bool hasPartner = step.Entry > 0 || step.Entry + 1 < siblings;
    if (compressedLeaf || !hasPartner) {
      // An empty page leaves the tree; an underfull only child stays as it is.
      if (count > 0) return;
      UnlinkAndFree(*page);
      path.pop_back();
      RemoveEntry(parent, step.Entry, path);
      page = std::move(parent);
      continue;
    }
    const int partnerEntry = withPrevious ? step.Entry - 1 : step.Entry + 1;
    TPageRef partner = Fetch(parent->Image.Values[partnerEntry]);
    TPageImage& other = partner->Image;
    store_.MarkModified(*partner);
    if (count + other.Count() < capacity) {
      if (withPrevious) {
        while (image.Count() > 0) MoveEntry(image, 0, other, other.Count());
      } else {
        for (int i = image.Count() - 1; i >= 0; --i) MoveEntry(image, i, other, 0);
      }
      UnlinkAndFree(*page);
      parent->Image.Counts[partnerEntry] = KeyCountOf(other);
      if (!withPrevious) {
        std::copy_n(other.Key(0, keyLength_), keyLength_,
                    parent->Image.Key(partnerEntry, keyLength_));
      }
      path.pop_back();
      RemoveEntry(parent, step.Entry, path);
      page = std::move(parent);
      continue;
    }
    // Redistribute: the left page keeps ceil (partner on the left) or floor (partner on the
    // right) of the combined entries.
    TPageImage& left = withPrevious ? other : image;
    TPageImage& right = withPrevious ? image : other;
    const int total = left.Count() + right.Count();
    const int leftKeeps = withPrevious ? (total + 1) / 2 : total / 2;
    while (left.Count() > leftKeeps) MoveEntry(left, left.Count() - 1, right, 0);
    while (left.Count() < leftKeeps) MoveEntry(right, 0, left, left.Count());
    const int leftEntry = withPrevious ? partnerEntry : step.Entry;
    parent->Image.Counts[leftEntry] = KeyCountOf(left);
    parent->Image.Counts[leftEntry + 1] = KeyCountOf(right);
    std::copy_n(right.Key(0, keyLength_), keyLength_, parent->Image.Key(leftEntry + 1, keyLength_));
    store_.MarkModified(*parent);
    store_.MarkModified(*page);
    return;
  }
}

}  // namespace katalog
