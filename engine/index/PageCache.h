// TPage and TPageCache: the index file's page buffers, one list per index slot (0-32), most
// recently used first.
//
// A list holds up to its capacity (31 to start with) buffers. Taking a buffer creates one while
// the list is below capacity, else reuses the least recently used buffer that is neither
// modified nor pinned; when there is none, the modified unpinned buffer nearest the back is
// written (through the writer the owner installs) and the search repeated; with the table lock
// held the list may instead grow by 64; otherwise error kIndexBuffersCorrupt. More than 64 pins on
// one buffer is kIndexBuffersCorrupt too.
//
// Buffers are never destroyed while the file is open, only emptied, so a pinned buffer stays
// valid even when the cache is invalidated under it.
//
// A change (BeginChange to CommitChange) records every page it reaches in an undo log and writes
// nothing (the lists grow instead, as under the table lock), so that RollBackChange can put
// every page back as it was before the change.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/index/IndexPage.h"
#include "engine/storage/UndoLog.h"

namespace katalog {

struct TPage {
  TPageImage Image;
  std::int32_t Offset = 0;  // 0: an unused buffer
  int Slot = 0;
  bool Modified = false;
  bool Freed = false;  // on the free list: written with 0 entries
  std::uint16_t Pins = 0;
  std::uint64_t UndoMark = 0;  // the change that recorded it last (UndoLog.h)
};

class TPageCache {
 public:
  static constexpr int kSlots = 33;
  static constexpr int kInitialCapacity = 31;
  static constexpr int kGrowth = 64;
  static constexpr int kMaxPins = 64;

  // Writes (encodes and stores) the given pages, sorted by offset.
  using TWriter = std::function<void(const std::vector<TPage*>&)>;

  // `fileName` names the file in errors; it is read when an error is raised.
  TPageCache(const std::string& fileName, TWriter writer)
      : fileName_(fileName), writer_(std::move(writer)) {}

  // The cached buffer of a page, moved to the front; nullptr on a miss.
  TPage* Find(int slot, std::int32_t offset);
  // A buffer for the page at `offset` of the slot, emptied and at the front.
  TPage& Take(int slot, std::int32_t offset);
  // Makes a buffer unused (its content could not be read).
  void Forget(TPage& page);
  void Pin(TPage& page);
  void Unpin(TPage& page) {
    if (page.Pins > 0) --page.Pins;
  }

  void SetTableLocked(bool locked) { tableLocked_ = locked; }

  // `copyClean`: the change writes to the file itself, so a clean page's content must be kept to
  // be written back; otherwise a clean page holds what the file holds and is simply forgotten.
  void BeginChange(bool copyClean) {
    undo_.Begin();
    copyClean_ = copyClean;
  }
  // A change reached a page that was not cached: as just read from the file, or appended (there
  // was nothing before it). Pages found in the cache are recorded by Find.
  void Recorded(TPage& page, bool appended);
  void CommitChange() { undo_.Commit(); }
  // Puts back every page the change reached; with `rewrite` the restored pages are marked
  // modified, so that the next flush writes them over whatever the change wrote.
  void RollBackChange(bool rewrite);

  // Writes every modified, unpinned buffer of the given slots, in runs of consecutive pages.
  void Flush(const std::vector<int>& slots);
  // Empties every buffer (pages are read again); pins stay with their holders.
  void InvalidateAll();
  // Drops the buffers beyond each list's starting capacity that are free to go.
  void Trim();
  // Forgets everything (the file is closing).
  void DiscardAll();

 private:
  using TIterator = std::list<std::unique_ptr<TPage>>::iterator;
  struct TList {
    std::list<std::unique_ptr<TPage>> pages;
    std::unordered_map<std::int32_t, TIterator> byOffset;
    int capacity = kInitialCapacity;
  };
  static constexpr std::size_t kLookUnderTableLock = 64;

  TIterator ReusableFromBack(TList& list, std::size_t maxLook);
  // A new buffer at the front of the slot's list for the page at `offset`, beyond the capacity
  // if need be.
  TPage& Place(int slot, std::int32_t offset);
  // Makes the buffer unused; its pins stay with their holders.
  static void Empty(TPage& page);

  const std::string& fileName_;
  TWriter writer_;
  TList lists_[kSlots];
  bool tableLocked_ = false;
  TUndoLog<std::pair<int, std::int32_t>, TPage> undo_;
  bool copyClean_ = false;
  // The state a change keeps of a page it reaches: a clean page is forgotten (the file holds it)
  // unless the change writes itself.
  void Save(const TPage& page, std::optional<TPage>& before) const;
};

// Holds a pin on a page for as long as it lives.
class TPageRef {
 public:
  TPageRef() = default;
  TPageRef(TPageCache& cache, TPage& page) : cache_(&cache), page_(&page) { cache.Pin(page); }
  TPageRef(TPageRef&& other) noexcept : cache_(other.cache_), page_(other.page_) {
    other.page_ = nullptr;
  }
  TPageRef& operator=(TPageRef&& other) noexcept {
    if (this != &other) {
      Release();
      cache_ = other.cache_;
      page_ = other.page_;
      other.page_ = nullptr;
    }
    return *this;
  }
  TPageRef(const TPageRef&) = delete;
  TPageRef& operator=(const TPageRef&) = delete;
  ~TPageRef() { Release(); }

  void Release() {
    if (page_) cache_->Unpin(*page_);
    page_ = nullptr;
  }
  explicit operator bool() const { return page_ != nullptr; }
  TPage* operator->() const { return page_; }
  TPage& operator*() const { return *page_; }

 private:
  TPageCache* cache_ = nullptr;
  TPage* page_ = nullptr;
};

}  // namespace katalog
