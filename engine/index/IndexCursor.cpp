#include "engine/index/IndexCursor.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/IsamError.h"
#include "engine/storage/ShortString.h"
#include "platform/Locale.h"

namespace katalog {
namespace {

// Single steps along the leaves are cheaper than a descent for short moves.
constexpr std::int32_t kMaxSteps = 16;

std::string UpperName(std::string_view name) {
  return platform::UserDefaultLocale().Map(platform::kMapUpperCase, name);
}

}  // namespace

bool TIndexCursor::PhysicalOrder() const {
  return slot_ == kPhysicalOrder || (slot_ == kPrimarySlot && !HasPrimary());
}

void TIndexCursor::Open() {
  InvalidateBounds();
  rangeActive_ = false;
  rangeStart_.fill(0x00);
  rangeEnd_.fill(0xFF);
  slot_ = kPrimarySlot;
  RefreshVisibility();
  First();
}

void TIndexCursor::Close() {
  visibility_.Drop();
  position_ = TPosition{};
  SetEnds(TEnds::Both);
  bitmapMode_ = false;
}

void TIndexCursor::SelectSlot(int slot) {
  InvalidateBounds();
  slot_ = slot;
  rangeActive_ = false;
  rangeStart_.fill(0x00);
  rangeEnd_.fill(0xFF);
  Reset();
  RefreshVisibility();
}

void TIndexCursor::SelectByName(std::string_view name) {
  const std::string wanted = UpperName(TrimBlanks(name));
  if (!PhysicalOrder() && slot_ != kPhysicalOrder &&
      wanted == UpperName(store_.File().Descriptor(slot_).Name)) {
    return;
  }
  int slot = kPrimarySlot;
  for (int i = 1; !wanted.empty() && i <= store_.File().SecondaryCount(); ++i) {
    if (UpperName(store_.File().Descriptor(i).Name) == wanted) {
      slot = i;
      break;
    }
  }
  SelectSlot(slot);
}

void TIndexCursor::FilterChanged(TCursorFilter& filter, bool activated) {
  const bool stillBitmap = PhysicalOrder() || visibility_.AnyFilterActive();
  if (!bitmapMode_ || !stillBitmap || !visibility_.Built()) return RefreshVisibility();
  Run([&] {
    if (!visibility_.Built()) return RefreshVisibility();  // a restart dropped them
    activated ? visibility_.ComputeFilter(filter) : visibility_.Recombine();
  });
}

void TIndexCursor::RefreshVisibility() {
  Run([&] {
    ComputeBounds();
    bitmapMode_ = PhysicalOrder() || visibility_.AnyFilterActive();
    if (!bitmapMode_) {
      visibility_.Drop();
      return;
    }
    const bool range = rangeActive_ && !PhysicalOrder();
    visibility_.Build(Records(), slot_, range ? rangeStart_.data() : nullptr,
                      range ? rangeEnd_.data() : nullptr, HasPrimary());
  });
}

// The bounds change only with the trees (the store's version), the index and the range.
void TIndexCursor::ComputeBounds() {
  if (boundsValid_ && boundsVersion_ == store_.Version()) return;
  boundsValid_ = true;
  boundsVersion_ = store_.Version();
  if (PhysicalOrder()) {
    first_ = 1;
    last_ = total_ = Records();
    return;
  }
  TIndexTree tree = Tree();
  const std::int32_t total = total_ = tree.KeyCount();
  if (!rangeActive_) {
    first_ = 1;
    last_ = total;
    return;
  }
  if (tree.Compare(rangeStart_.data(), rangeEnd_.data()) > 0) {
    first_ = last_ = 0;
    return;
  }
  const std::int32_t below = tree.CountBelow(rangeStart_.data());
  first_ = below < total ? below + 1 : 0;
  last_ = tree.CountUpTo(rangeEnd_.data());
}

void TIndexCursor::InvalidateBounds() {
  boundsValid_ = false;
}

std::int32_t TIndexCursor::RangeCount() const {
  return (first_ > 0 && last_ >= first_) ? last_ - first_ + 1 : 0;
}

bool TIndexCursor::KeyInRange(const std::uint8_t* key) {
  if (!rangeActive_) return true;
  TIndexTree tree = Tree();
  return tree.Compare(key, rangeStart_.data()) >= 0 && tree.Compare(key, rangeEnd_.data()) <= 0;
}

void TIndexCursor::SetAt(TIndexTree& tree, std::int32_t k) {
  const TLeafPosition at = tree.Locate(k);
  TPageRef page = tree.Fetch(at.Page);
  position_.valid = true;
  position_.page = at.Page;
  position_.entry = at.Entry;
  position_.logical = k;
  position_.record = page->Image.Values[at.Entry];
  const std::uint8_t* key = page->Image.Key(at.Entry, tree.KeyLength());
  position_.key.assign(key, key + tree.KeyLength());
  position_.version = store_.Version();
}

// Finds the remembered entry again after the trees changed: the same key, or where it stood.
void TIndexCursor::Sync(TIndexTree& tree) {
  if (!position_.valid || PhysicalOrder() || position_.version == store_.Version()) return;
  const std::int32_t total = tree.KeyCount();
  if (total == 0) {
    position_ = TPosition{};
    return;
  }
  const std::int32_t k = std::min(tree.CountBelow(position_.key.data()) + 1, total);
  SetAt(tree, k);
}

bool TIndexCursor::Step(TIndexTree& tree, int direction) {
  Sync(tree);
  TPageRef page = tree.Fetch(position_.page);
  int entry = position_.entry + direction;
  while (entry < 0 || entry >= page->Image.Count()) {
    const std::int32_t next = direction > 0 ? page->Image.Next : page->Image.Previous;
    if (next == 0) return false;
    page = tree.Fetch(next);
    entry = direction > 0 ? 0 : page->Image.Count() - 1;
  }
  position_.page = page->Offset;
  position_.entry = entry;
  position_.logical += direction;
  position_.record = page->Image.Values[entry];
  const std::uint8_t* key = page->Image.Key(entry, tree.KeyLength());
  position_.key.assign(key, key + tree.KeyLength());
  return true;
}

// From the current entry on (itself included, or not), the nearest visible entry in the
// direction within the range. Entries passed over are only tested against the visibility
// bitmap, page by page; the key is copied only from the entry found, so that walking a sparse
// filter in index order costs a bitmap test per entry passed. False at the end of the index or
// the range (the position is then unchanged).
bool TIndexCursor::UseSpans(TIndexTree& tree) {
  if (!entryKey_ || !bitmapMode_ || PhysicalOrder() ||
      std::int64_t{visibility_.Count()} * kSparseWalk >= std::int64_t{last_} - first_ + 1) {
    return false;
  }
  if (spansValid_ && spansSlot_ == slot_ && spansVersion_ == store_.Version() &&
      spansGeneration_ == visibility_.Generation() && spansFirst_ == first_ &&
      spansLast_ == last_) {
    return true;
  }
  spansValid_ = false;
  spans_.clear();
  const TRecordBitmap& visible = visibility_.VisibleBitmap();
  for (std::int32_t r = visible.NextSet(1); r != 0; r = visible.NextSet(r + 1)) {
    const std::vector<std::uint8_t> key = entryKey_(slot_, r);
    if (!key.empty())
      spans_.push_back({tree.CountBelow(key.data()) + 1, tree.CountUpTo(key.data())});
  }
  std::sort(spans_.begin(), spans_.end(),
            [](const TSpan& a, const TSpan& b) { return a.First < b.First; });
  std::size_t kept = 0;
  for (const TSpan& span : spans_) {
    if (kept > 0 && span.First <= spans_[kept - 1].Last + 1) {
      spans_[kept - 1].Last = std::max(spans_[kept - 1].Last, span.Last);
    } else {
      spans_[kept++] = span;
    }
  }
  spans_.resize(kept);
  spansValid_ = true;
  spansSlot_ = slot_;
  spansVersion_ = store_.Version();
  spansGeneration_ = visibility_.Generation();
  spansFirst_ = first_;
  spansLast_ = last_;
  return true;
}

std::int32_t TIndexCursor::NextInSpans(std::int32_t logical, int direction) const {
  if (direction > 0) {
    const auto span = std::lower_bound(spans_.begin(), spans_.end(), logical,
                                       [](const TSpan& s, std::int32_t k) { return s.Last < k; });
    return span == spans_.end() ? 0 : std::max(logical, span->First);
  }
  const auto after = std::upper_bound(spans_.begin(), spans_.end(), logical,
                                      [](std::int32_t k, const TSpan& s) { return k < s.First; });
  return after == spans_.begin() ? 0 : std::min(logical, std::prev(after)->Last);
}

// Passes entry by entry to the next visible one; where few records are visible it jumps over the
// entries between the spans that hold them.
bool TIndexCursor::ScanVisible(TIndexTree& tree, int direction, bool includeCurrent) {
  Sync(tree);
  const bool spans = UseSpans(tree);
  TPageRef page = tree.Fetch(position_.page);
  int entry = position_.entry;
  std::int32_t logical = position_.logical;
  if (!includeCurrent) {
    entry += direction;
    logical += direction;
  }
  for (;;) {
    while (entry < 0 || entry >= page->Image.Count()) {
      const std::int32_t next = direction > 0 ? page->Image.Next : page->Image.Previous;
      if (next == 0) return false;
      page = tree.Fetch(next);
      entry = direction > 0 ? 0 : page->Image.Count() - 1;
    }
    if (direction > 0 ? logical > last_ : logical < first_) return false;
    if (spans) {
      const std::int32_t next = NextInSpans(logical, direction);
      if (next == 0) return false;
      if (next != logical) {
        const TLeafPosition at = tree.Locate(next);
        page = tree.Fetch(at.Page);
        entry = at.Entry;
        logical = next;
        continue;
      }
    }
    if (visibility_.Visible(page->Image.Values[entry])) break;
    entry += direction;
    logical += direction;
  }
  position_.page = page->Offset;
  position_.entry = entry;
  position_.logical = logical;
  position_.record = page->Image.Values[entry];
  const std::uint8_t* key = page->Image.Key(entry, tree.KeyLength());
  position_.key.assign(key, key + tree.KeyLength());
  return true;
}

bool TIndexCursor::SeekVisible(TIndexTree& tree, int direction) {
  return ScanVisible(tree, direction, true);
}

void TIndexCursor::Reset() {
  position_ = TPosition{};
  SetEnds(TEnds::Both);
}

void TIndexCursor::BeforeFirst() {
  position_ = TPosition{};
  SetEnds(TEnds::Bof);
}

void TIndexCursor::AfterLast() {
  position_ = TPosition{};
  SetEnds(TEnds::Eof);
}

void TIndexCursor::SetPhysical(std::int32_t r) {
  position_ = TPosition{};
  position_.valid = true;
  position_.record = r;
  position_.logical = 0;
  for (std::int32_t i = visibility_.VisibleBitmap().NextSet(1); i != 0 && i <= r;
       i = visibility_.VisibleBitmap().NextSet(i + 1)) {
    ++position_.logical;
  }
}

void TIndexCursor::FirstInIndex() {
  TIndexTree tree = Tree();
  if (RangeCount() == 0) return Reset();
  SetAt(tree, first_);
  if (bitmapMode_ && !SeekVisible(tree, +1)) return Reset();
  SetEnds(TEnds::Neither);
}

void TIndexCursor::LastInIndex() {
  TIndexTree tree = Tree();
  if (RangeCount() == 0) return Reset();
  SetAt(tree, last_);
  if (bitmapMode_ && !SeekVisible(tree, -1)) return Reset();
  SetEnds(TEnds::Neither);
}

void TIndexCursor::First() {
  Run([&] {
    ComputeBounds();
    if (!PhysicalOrder()) return FirstInIndex();
    const std::int32_t r = visibility_.VisibleBitmap().NextSet(1);
    if (r == 0) return Reset();
    SetPhysical(r);
    SetEnds(TEnds::Neither);
  });
}

void TIndexCursor::Last() {
  Run([&] {
    ComputeBounds();
    if (!PhysicalOrder()) return LastInIndex();
    const std::int32_t r = visibility_.VisibleBitmap().PreviousSet(Records());
    if (r == 0) return Reset();
    SetPhysical(r);
    SetEnds(TEnds::Neither);
  });
}

void TIndexCursor::MoveInIndex(std::int32_t n) {
  TIndexTree tree = Tree();
  Sync(tree);
  if (!position_.valid || RangeCount() == 0) return Reset();
  const std::int32_t total = total_;
  const std::int32_t target = position_.logical + n;
  if (target > last_) {
    // One step past the end of a range is taken; at the end of the index the cursor stays.
    SetAt(tree, last_ < total ? last_ + 1 : last_);
    return SetEnds(TEnds::Eof);
  }
  if (target < first_) {
    SetAt(tree, first_ > 1 ? first_ - 1 : first_);
    return SetEnds(TEnds::Bof);
  }
  if (std::abs(n) <= kMaxSteps) {
    for (std::int32_t i = 0; i < std::abs(n); ++i) {
      // The counts promised an entry here; a leaf chain that ends first is damaged, and staying
      // put would hand out the same entry for ever.
      if (!Step(tree, n > 0 ? 1 : -1)) {
        RaiseIsamError(ie::kIndexBuffersCorrupt, store_.File().FileName());
      }
    }
  } else {
    SetAt(tree, target);
  }
  SetEnds(TEnds::Neither);
}

void TIndexCursor::MoveInBitmap(std::int32_t n) {
  TIndexTree tree = Tree();
  Sync(tree);
  if (!position_.valid) return Reset();
  const int direction = n > 0 ? 1 : -1;
  for (std::int32_t passed = 0; passed < std::abs(n); ++passed) {
    if (!ScanVisible(tree, direction, false)) {
      // At an end: the cursor stays on the last visible entry it reached; when that one is no
      // longer visible or inside, back to the nearest visible entry inside.
      const bool inside = position_.logical >= first_ && position_.logical <= last_;
      if (!inside || !visibility_.Visible(position_.record)) {
        SetAt(tree, direction > 0 ? std::max(last_, 1) : std::max(first_, 1));
        SeekVisible(tree, -direction);
      }
      return SetEnds(direction < 0 ? TEnds::Bof : TEnds::Eof);
    }
  }
  SetEnds(TEnds::Neither);
}

void TIndexCursor::MovePhysical(std::int32_t n) {
  if (!position_.valid) return Reset();
  const TRecordBitmap& visible = visibility_.VisibleBitmap();
  for (std::int32_t i = 0; i < std::abs(n); ++i) {
    const std::int32_t next =
        n > 0 ? visible.NextSet(position_.record + 1) : visible.PreviousSet(position_.record - 1);
    if (next == 0) return SetEnds(n < 0 ? TEnds::Bof : TEnds::Eof);
    position_.record = next;
    position_.logical += n > 0 ? 1 : -1;
  }
  SetEnds(TEnds::Neither);
}

void TIndexCursor::MoveBy(std::int32_t n) {
  if (n == 0) return;
  Run([&] {
    if (PhysicalOrder()) return MovePhysical(n);
    ComputeBounds();
    bitmapMode_ ? MoveInBitmap(n) : MoveInIndex(n);
  });
}

void TIndexCursor::GoToLogical(std::int32_t k) {
  if (PhysicalOrder()) return GoToRecord(k);
  Run([&] {
    ComputeBounds();
    TIndexTree tree = Tree();
    if (RangeCount() == 0) return Reset();
    const std::int32_t target = first_ + k - 1;
    if (target < first_) {
      SetAt(tree, first_);
      SetEnds(TEnds::Bof);
    } else if (target > last_) {
      SetAt(tree, last_);
      SetEnds(TEnds::Eof);
    } else {
      SetAt(tree, target);
      SetEnds(TEnds::Neither);
    }
    if (bitmapMode_ && !SeekVisible(tree, +1)) {
      SetAt(tree, target > last_ ? last_ : std::clamp(target, first_, last_));
      if (!SeekVisible(tree, -1)) return Reset();
      SetEnds(TEnds::Eof);
    }
  });
}

void TIndexCursor::GoToRecord(std::int32_t r) {
  Run([&] {
    const TRecordBitmap& visible = visibility_.VisibleBitmap();
    std::int32_t at = visible.NextSet(r);
    if (at == 0) at = visible.PreviousSet(r);
    if (at == 0) return Reset();
    SetPhysical(at);
    SetEnds(TEnds::Neither);
  });
}

bool TIndexCursor::FindKey(const std::uint8_t* key, TKeyMatch match) {
  const bool wasBof = bof_ && !eof_;
  const bool wasEof = eof_ && !bof_;
  const TPosition before = position_;
  const bool found = Run([&] {
    ComputeBounds();
    TIndexTree tree = Tree();
    if (rangeActive_ && tree.Compare(key, rangeStart_.data()) < 0) {
      FirstInIndex();
      return false;
    }
    if (rangeActive_ && tree.Compare(key, rangeEnd_.data()) > 0) {
      LastInIndex();
      return false;
    }
    const std::int32_t total = tree.KeyCount();
    const std::int32_t k = tree.CountBelow(key) + 1;
    const std::int32_t limit = rangeActive_ ? last_ : total;
    bool equal = false;
    if (k <= limit) {
      SetAt(tree, k);
      equal = tree.Compare(position_.key.data(), key) == 0 &&
              (!bitmapMode_ || visibility_.Visible(position_.record));
      if (equal) {
        SetEnds(TEnds::Neither);
        return true;
      }
    }
    if (match == TKeyMatch::Exact) {
      position_ = before;  // the cursor does not move
      SetEnds(!before.valid ? TEnds::Both
              : wasBof      ? TEnds::Bof
              : wasEof      ? TEnds::Eof
                            : TEnds::Neither);
      return false;
    }
    if (limit == 0) {
      Reset();
      return false;
    }
    if (k > limit) {
      SetAt(tree, limit);
      SetEnds(TEnds::Eof);
    } else {
      SetEnds(TEnds::Neither);
    }
    if (bitmapMode_ && !SeekVisible(tree, +1)) {
      SetAt(tree, limit);
      if (!SeekVisible(tree, -1)) Reset();
      SetEnds(TEnds::Eof);
    }
    return false;
  });
  return found;
}

std::int32_t TIndexCursor::RecordCount() {
  return Run([&] {
    ComputeBounds();
    if (bitmapMode_) return visibility_.Count();
    return RangeCount();
  });
}

std::int32_t TIndexCursor::LogicalNumber() {
  if (!position_.valid) return 0;
  if (PhysicalOrder()) return position_.logical;
  return Run([&] {
    TIndexTree tree = Tree();
    Sync(tree);
    return position_.valid ? position_.logical - std::max(first_, 1) + 1 : 0;
  });
}

std::int32_t TIndexCursor::RecordNumber() {
  if (!position_.valid) return 0;
  if (PhysicalOrder()) return position_.record;
  return Run([&] {
    TIndexTree tree = Tree();
    Sync(tree);
    return position_.valid ? position_.record : 0;
  });
}

const std::uint8_t* TIndexCursor::CurrentKey() {
  if (!position_.valid || PhysicalOrder()) return nullptr;
  return position_.key.data();
}

std::int32_t TIndexCursor::ConsecutiveRun(std::int32_t n, TDirection direction) {
  if (!position_.valid || n < 1) return 1;
  if (PhysicalOrder()) {
    std::int32_t run = 1;
    const int step = direction == TDirection::Forward ? 1 : -1;
    while (run < n && visibility_.Visible(position_.record + step * run)) ++run;
    return run;
  }
  return Run([&] {
    TIndexTree tree = Tree();
    Sync(tree);
    TPageRef page = tree.Fetch(position_.page);
    const TPageImage& image = page->Image;
    std::int32_t run = 1;
    const int step = direction == TDirection::Forward ? 1 : -1;
    for (int i = position_.entry; run < n; i += step, ++run) {
      const int next = i + step;
      if (next < 0 || next >= image.Count() || image.Values[next] != image.Values[i] + step) break;
    }
    return run;
  });
}

std::vector<std::int32_t> TIndexCursor::RecordsAhead(std::int32_t n, TDirection direction) {
  if (!position_.valid || n < 1 || PhysicalOrder()) return {};
  return Run([&] {
    TIndexTree tree = Tree();
    Sync(tree);
    std::vector<std::int32_t> records;
    TPageRef page = tree.Fetch(position_.page);
    const int step = direction == TDirection::Forward ? 1 : -1;
    int entry = position_.entry;
    std::int32_t logical = position_.logical;
    for (std::int32_t looked = 0; looked < 2 * n && std::int32_t(records.size()) < n; ++looked) {
      while (entry < 0 || entry >= page->Image.Count()) {
        const std::int32_t next = step > 0 ? page->Image.Next : page->Image.Previous;
        if (next == 0) return records;
        page = tree.Fetch(next);
        entry = step > 0 ? 0 : page->Image.Count() - 1;
      }
      if (logical < first_ || logical > last_) break;
      const std::int32_t r = page->Image.Values[entry];
      if (!bitmapMode_ || visibility_.Visible(r)) records.push_back(r);
      entry += step;
      logical += step;
    }
    return records;
  });
}

void TIndexCursor::SetRangeStart(const std::uint8_t* key) {
  InvalidateBounds();
  rangeStart_.fill(0);
  std::memcpy(rangeStart_.data(), key, Tree().KeyLength());
}

void TIndexCursor::SetRangeEnd(const std::uint8_t* key) {
  InvalidateBounds();
  rangeEnd_.fill(0);
  std::memcpy(rangeEnd_.data(), key, Tree().KeyLength());
}

void TIndexCursor::ApplyRange() {
  InvalidateBounds();
  rangeActive_ = true;
  RefreshVisibility();
}

void TIndexCursor::CancelRange() {
  InvalidateBounds();
  rangeActive_ = false;
  rangeStart_.fill(0x00);
  rangeEnd_.fill(0xFF);
  RefreshVisibility();
}

void TIndexCursor::RecordWritten(std::int32_t r, const std::uint8_t* buffer) {
  InvalidateBounds();
  Run([&] {
    ComputeBounds();
    if (!bitmapMode_) return;
    bool inRange = true;
    if (rangeActive_ && !PhysicalOrder()) {
      const TKeyContext context = store_.KeyContext(slot_);
      std::array<std::uint8_t, kMaxKeyLength> key{};
      BuildKey(context, buffer, key.data());
      inRange = KeyInRange(key.data());
    }
    visibility_.RecordWritten(Records(), r, buffer, inRange);
  });
}

void TIndexCursor::RecordDeleted(std::int32_t r) {
  InvalidateBounds();
  Run([&] {
    ComputeBounds();
    if (bitmapMode_) visibility_.RecordDeleted(r);
  });
}

void TIndexCursor::SettleAfterDelete() {
  if (!bitmapMode_) return;  // the deleted key is gone: its successor takes its place
  Run([&] {
    if (!position_.valid) return;
    if (PhysicalOrder()) {
      if (visibility_.Visible(position_.record)) return;
      const std::int32_t next = visibility_.VisibleBitmap().NextSet(position_.record);
      if (next == 0) return AfterLast();
      return SetPhysical(next);
    }
    TIndexTree tree = Tree();
    Sync(tree);
    if (!position_.valid) return;
    if (!SeekVisible(tree, +1)) AfterLast();
  });
}

void TIndexCursor::Invalidated() {
  InvalidateBounds();
  position_.version = ~std::uint64_t{0};  // no store version matches: found again by its key
  RefreshVisibility();
}

}  // namespace katalog
