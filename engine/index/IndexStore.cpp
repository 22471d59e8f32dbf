#include "engine/index/IndexStore.h"

#include <array>
#include <vector>

#include "engine/storage/IsamError.h"
#include "engine/storage/RunWriter.h"
#include "platform/ByteOrder.h"

namespace katalog {

TIndexStore::TIndexStore(TIndexFile& file)
    : file_(file),
      cache_(file.FileName(), [this](const std::vector<TPage*>& pages) { WritePages(pages); }) {}

TPageFormat TIndexStore::Format(int slot) const {
  const TIndexDescriptor& d = file_.Descriptor(slot);
  const bool suffix = slot != kPrimarySlot && slot != kDeletedSlot && !d.Unique;
  return {d.KeyLength, static_cast<TKeyCompression>(d.Compression), suffix};
}

TPageRef TIndexStore::Fetch(int slot, std::int32_t offset, bool newPage) {
  if (TPage* cached = cache_.Find(slot, offset)) {
    if (newPage) cached->Image.Clear();
    return TPageRef(cache_, *cached);
  }
  if (onMiss_ && onMiss_()) {
    Invalidate();
    throw TRestart{};
  }
  std::array<std::uint8_t, kPageSize> bytes;
  if (toleratesShortReads_) {
    file_.ReadPageTolerant(offset, bytes.data());
  } else {
    file_.ReadPage(offset, bytes.data());
  }
  TPage& page = cache_.Take(slot, offset);
  TPageRef ref(cache_, page);
  if (newPage) {
    page.Image.Type = static_cast<TPageType>(bytes[0] & 3);
    page.Image.Previous = LoadI32(bytes.data() + 3);
    page.Image.Next = LoadI32(bytes.data() + 7);
  } else if (!DecodePage(bytes.data(), Format(slot), page.Image)) {
    cache_.Forget(page);
    RaiseIsamError(ie::kIndexBuffersCorrupt, file_.FileName());
  }
  // A page on a free list has no entries: its type and links are all of it.
  cache_.Recorded(page, false);
  return ref;
}

TPageRef TIndexStore::TakePage(int slot) {
  TIndexDescriptor& d = file_.MutableHeader().Indexes[slot];
  TPageRef ref;
  if (d.FreePageHead != 0) {
    ref = Fetch(slot, d.FreePageHead, true);
    d.FreePageHead = ref->Image.Next;
  } else {
    const std::int32_t offset = file_.AppendPage();
    ref = TPageRef(cache_, cache_.Take(slot, offset));
    cache_.Recorded(*ref, true);
  }
  ref->Freed = false;
  ref->Image.Clear();
  ref->Image.Previous = 0;
  ref->Image.Next = 0;
  MarkModified(*ref);
  return ref;
}

void TIndexStore::FreePage(TPage& page) {
  TIndexDescriptor& d = file_.MutableHeader().Indexes[page.Slot];
  page.Image.Clear();
  page.Image.Previous = 0;
  page.Image.Next = d.FreePageHead;
  page.Freed = true;
  d.FreePageHead = page.Offset;
  MarkModified(page);
}

void TIndexStore::WritePages(const std::vector<TPage*>& pages) {
  TRunWriter runs(kPageSize, pages.size(),
                  [this](std::int32_t offset, const std::uint8_t* bytes, int count) {
                    file_.WritePages(offset, bytes, count);
                  });
  TPageImage freed;
  for (TPage* page : pages) {
    const TPageImage* image = &page->Image;
    if (page->Freed) {  // written with its type and links alone
      freed = page->Image;
      freed.Clear();
      image = &freed;
    }
    if (!EncodePage(*image, Format(page->Slot), runs.Add(page->Offset))) {
      RaiseIsamError(ie::kIndexBuffersCorrupt, file_.FileName());
    }
  }
  runs.Finish();
}

void TIndexStore::Flush() {
  std::vector<int> slots;
  for (int slot = 0; slot <= file_.SecondaryCount(); ++slot) slots.push_back(slot);
  slots.push_back(kDeletedSlot);
  cache_.Flush(slots);
  file_.WriteHeader();
}

void TIndexStore::Invalidate() {
  cache_.InvalidateAll();
  ++version_;
}

}  // namespace katalog
