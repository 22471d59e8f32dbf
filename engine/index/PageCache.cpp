#include "engine/index/PageCache.h"

#include <algorithm>

#include "engine/storage/IsamError.h"

namespace katalog {

TPage* TPageCache::Find(int slot, std::int32_t offset) {
  auto& pages = lists_[slot].pages;
  for (auto it = pages.begin(); it != pages.end(); ++it) {
    if ((*it)->Offset == offset) {
      pages.splice(pages.begin(), pages, it);
      return pages.front().get();
    }
  }
  return nullptr;
}

TPage* TPageCache::ReusableFromBack(TList& list) {
  for (auto it = list.pages.rbegin(); it != list.pages.rend(); ++it) {
    if (!(*it)->Modified && (*it)->Pins == 0) return it->get();
  }
  return nullptr;
}

TPage& TPageCache::Take(int slot) {
  TList& list = lists_[slot];
  TPage* page = nullptr;
  if (static_cast<int>(list.pages.size()) < list.capacity) {
    list.pages.push_front(std::make_unique<TPage>());
    page = list.pages.front().get();
  } else {
    page = ReusableFromBack(list);
    if (!page && !tableLocked_) {
      for (auto it = list.pages.rbegin(); it != list.pages.rend(); ++it) {
        if ((*it)->Modified && (*it)->Pins == 0) {
          writer_({it->get()});
          (*it)->Modified = false;
          break;
        }
      }
      page = ReusableFromBack(list);
    }
    if (!page) {
      if (!tableLocked_) RaiseIsamError(ie::kIndexBuffersCorrupt, fileName_);
      list.capacity += kGrowth;
      list.pages.push_front(std::make_unique<TPage>());
      page = list.pages.front().get();
    }
    for (auto it = list.pages.begin(); it != list.pages.end(); ++it) {
      if (it->get() == page) {
        list.pages.splice(list.pages.begin(), list.pages, it);
        break;
      }
    }
  }
  *page = TPage{};
  page->Slot = slot;
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

void TPageCache::InvalidateAll() {
  for (TList& list : lists_) {
    for (auto& page : list.pages) {
      const std::uint16_t pins = page->Pins;
      const int slot = page->Slot;
      *page = TPage{};
      page->Pins = pins;
      page->Slot = slot;
    }
  }
}

void TPageCache::Trim() {
  for (TList& list : lists_) {
    list.capacity = kInitialCapacity;
    // From the least recently used end.
    for (auto it = list.pages.end();
         it != list.pages.begin() && static_cast<int>(list.pages.size()) > list.capacity;) {
      --it;
      if (!(*it)->Modified && (*it)->Pins == 0) it = list.pages.erase(it);
    }
    list.capacity = std::max(list.capacity, static_cast<int>(list.pages.size()));
  }
}

void TPageCache::DiscardAll() {
  for (TList& list : lists_) {
    list.pages.clear();
    list.capacity = kInitialCapacity;
  }
}

}  // namespace katalog
