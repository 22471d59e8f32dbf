#include "engine/index/PageCache.h"

#include <algorithm>

#include "engine/storage/IsamError.h"

namespace katalog {

TPage* TPageCache::Find(int slot, std::int32_t offset) {
  TList& list = lists_[slot];
  const auto found = list.byOffset.find(offset);
  if (found == list.byOffset.end()) return nullptr;
  list.pages.splice(list.pages.begin(), list.pages, found->second);
  TPage* page = list.pages.front().get();
  undo_.Record({slot, offset}, page->UndoMark, [this, page](auto& before) { Save(*page, before); });
  return page;
}

void TPageCache::Forget(TPage& page) {
  lists_[page.Slot].byOffset.erase(page.Offset);
  page.Offset = 0;
}

// The least recently used buffer that is neither modified nor pinned, looking at no more than
// `maxLook` buffers from the back; end() when there is none.
TPageCache::TIterator TPageCache::ReusableFromBack(TList& list, std::size_t maxLook) {
  std::size_t looked = 0;
  for (auto it = list.pages.end(); it != list.pages.begin() && looked++ < maxLook;) {
    --it;
    if (!(*it)->Modified && (*it)->Pins == 0) return it;
  }
  return list.pages.end();
}

void TPageCache::Recorded(TPage& page, bool appended) {
  undo_.Record({page.Slot, page.Offset}, page.UndoMark, [this, &page, appended](auto& before) {
    appended ? before.reset() : Save(page, before);
  });
}

TPage& TPageCache::Take(int slot, std::int32_t offset) {
  // Under a table lock or inside a change nothing may be written: the list grows instead.
  const bool noWrites = tableLocked_ || undo_.Active();
  TList& list = lists_[slot];
  if (static_cast<int>(list.pages.size()) < list.capacity) {
    list.pages.push_front(std::make_unique<TPage>());
  } else {
    // When nothing may be written, looking through every buffer for each page would make long
    // batches quadratic, so only the oldest few are looked at before growing.
    const std::size_t look = noWrites ? kLookUnderTableLock : list.pages.size();
    TIterator it = ReusableFromBack(list, look);
    if (it == list.pages.end() && !noWrites) {
      for (auto back = list.pages.end(); back != list.pages.begin();) {
        --back;
        if ((*back)->Modified && (*back)->Pins == 0) {
          writer_({back->get()});
          (*back)->Modified = false;
          break;
        }
      }
      it = ReusableFromBack(list, list.pages.size());
    }
    if (it != list.pages.end()) {
      list.pages.splice(list.pages.begin(), list.pages, it);
    } else {
      if (!noWrites) RaiseIsamError(ie::kIndexBuffersCorrupt, fileName_);
      list.capacity += kGrowth;
      list.pages.push_front(std::make_unique<TPage>());
    }
  }
  TPage* page = list.pages.front().get();
  if (page->Offset != 0) list.byOffset.erase(page->Offset);
  *page = TPage{};
  page->Slot = slot;
  page->Offset = offset;
  list.byOffset[offset] = list.pages.begin();
  return *page;
}

void TPageCache::Pin(TPage& page) {
  if (page.Pins >= kMaxPins) RaiseIsamError(ie::kIndexBuffersCorrupt, fileName_);
  ++page.Pins;
}

void TPageCache::Flush(const std::vector<int>& slots) {
  std::vector<TPage*> pages;
  for (int slot : slots) {
    for (auto& page : lists_[slot].pages) {
      if (page->Modified && page->Pins == 0 && page->Offset != 0) pages.push_back(page.get());
    }
  }
  if (pages.empty()) return;
  std::sort(pages.begin(), pages.end(),
            [](const TPage* a, const TPage* b) { return a->Offset < b->Offset; });
  writer_(pages);
  for (TPage* page : pages) page->Modified = false;
}

void TPageCache::Empty(TPage& page) {
  const std::uint16_t pins = page.Pins;
  const int slot = page.Slot;
  page = TPage{};
  page.Pins = pins;
  page.Slot = slot;
}

TPage& TPageCache::Place(int slot, std::int32_t offset) {
  TList& list = lists_[slot];
  list.pages.push_front(std::make_unique<TPage>());
  list.capacity = std::max(list.capacity, static_cast<int>(list.pages.size()));
  TPage& page = *list.pages.front();
  page.Slot = slot;
  page.Offset = offset;
  list.byOffset[offset] = list.pages.begin();
  return page;
}

void TPageCache::Save(const TPage& page, std::optional<TPage>& before) const {
  if (page.Modified || copyClean_) {
    before = page;  // into the storage of a state saved before: usually no allocation
  } else {
    before.reset();
  }
}

void TPageCache::RollBackChange(bool rewrite) {
  undo_.RollBack([&](const std::pair<int, std::int32_t>& where, std::optional<TPage>& before) {
    const auto [slot, offset] = where;
    TList& list = lists_[slot];
    const auto found = list.byOffset.find(offset);
    if (!before) {
      if (found == list.byOffset.end()) return;
      TPage& page = **found->second;
      list.byOffset.erase(found);
      Empty(page);
      return;
    }
    TPage& page = found != list.byOffset.end() ? **found->second : Place(slot, offset);
    page.Image = std::move(before->Image);
    page.Freed = before->Freed;
    page.Modified = before->Modified || rewrite;
  });
}

void TPageCache::InvalidateAll() {
  for (TList& list : lists_) {
    list.byOffset.clear();
    for (auto& page : list.pages) Empty(*page);
  }
}

void TPageCache::Trim() {
  for (TList& list : lists_) {
    list.capacity = kInitialCapacity;
    // From the least recently used end.
    for (auto it = list.pages.end();
         it != list.pages.begin() && static_cast<int>(list.pages.size()) > list.capacity;) {
      --it;
      if (!(*it)->Modified && (*it)->Pins == 0) {
        list.byOffset.erase((*it)->Offset);
        it = list.pages.erase(it);
      }
    }
    list.capacity = std::max(list.capacity, static_cast<int>(list.pages.size()));
  }
}

void TPageCache::DiscardAll() {
  for (TList& list : lists_) {
    list.pages.clear();
    list.byOffset.clear();
    list.capacity = kInitialCapacity;
  }
}

}  // namespace katalog
