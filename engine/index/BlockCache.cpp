#include "engine/index/BlockCache.h"

#include <algorithm>

#include "engine/index/BlobFile.h"
#include "engine/index/IndexStore.h"
#include "engine/storage/IsamError.h"
#include "engine/storage/RunWriter.h"

namespace katalog {
namespace {

constexpr std::int32_t kMaxBlobFileOffset = 2000000000;

}  // namespace

TBlockRef::TBlockRef(TBlockCache& cache, TBlock& block) : cache_(&cache), block_(&block) {
  cache.Pin(block);
}

TBlockRef& TBlockRef::operator=(TBlockRef&& other) noexcept {
  if (this != &other) {
    Release();
    cache_ = other.cache_;
    block_ = other.block_;
    other.block_ = nullptr;
  }
  return *this;
}

void TBlockRef::Release() {
  if (block_) cache_->Unpin(*block_);
  block_ = nullptr;
}

void TBlockCache::Reset(std::uint32_t blockSize) {
  DiscardAll();
  blockSize_ = blockSize;
  baseCapacity_ = capacity_ = static_cast<int>(std::min<std::uint32_t>(262140 / blockSize, 4096));
  readAhead_ = static_cast<std::int32_t>(std::max<std::uint32_t>(65535 / blockSize, 1));
}

void TBlockCache::Pin(TBlock& block) {
  if (block.Pins >= kMaxPins) RaiseIsamError(ie::kBlobBuffersCorrupt, file_.FileName());
  ++block.Pins;
}

TBlock* TBlockCache::Find(std::int32_t offset) {
  const auto found = byOffset_.find(offset);
  if (found == byOffset_.end()) return nullptr;
  blocks_.splice(blocks_.begin(), blocks_, found->second);
  TBlock* block = blocks_.front().get();
  undo_.Record(offset, block->UndoMark, [this, block](auto& before) { Save(*block, before); });
  return block;
}

TBlockCache::TIterator TBlockCache::Reusable(std::size_t maxLook) {
  std::size_t looked = 0;
  for (auto it = blocks_.end(); it != blocks_.begin() && looked++ < maxLook;) {
    --it;
    if (!(*it)->Modified && (*it)->Pins == 0 && !(*it)->Marked) return it;
  }
  return blocks_.end();
}

TBlock& TBlockCache::Take(std::int32_t offset) {
  // Under a table lock or inside a change nothing may be written: the cache grows instead.
  const bool noWrites = tableLocked_ || undo_.Active();
  if (static_cast<int>(blocks_.size()) < capacity_) {
    blocks_.push_front(std::make_unique<TBlock>());
  } else {
    // When nothing may be written, looking through every buffer for each block would make a
    // long batch quadratic: only the oldest few are looked at before the cache grows.
    TIterator it = Reusable(noWrites ? kLookWithoutWrites : blocks_.size());
    if (it == blocks_.end() && !noWrites) {
      WriteModified();
      it = Reusable(blocks_.size());
    }
    if (it != blocks_.end()) {
      blocks_.splice(blocks_.begin(), blocks_, it);
    } else {
      if (!noWrites) RaiseIsamError(ie::kBlobBuffersCorrupt, file_.FileName());
      capacity_ += kGrowth;
      blocks_.push_front(std::make_unique<TBlock>());
    }
  }
  TBlock& block = *blocks_.front();
  if (block.Offset != 0) byOffset_.erase(block.Offset);
  block = TBlock{};
  block.Offset = offset;
  block.Data.assign(blockSize_ - kBlockHeaderSize, 0);
  byOffset_[offset] = blocks_.begin();
  return block;
}

TBlockRef TBlockCache::Fetch(std::int32_t offset, std::int32_t readAhead) {
  if (TBlock* cached = Find(offset)) return TBlockRef(*this, *cached);
  if (onMiss_ && onMiss_()) {
    Invalidate();
    throw TRestart{};
  }
  const std::int32_t end = file_.Header().EndOfFile;
  const std::int32_t count = std::clamp<std::int32_t>(
      std::min(readAhead, static_cast<std::int32_t>((end - offset) / std::int32_t(blockSize_))), 1,
      readAhead_);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count) * blockSize_);
  const std::int32_t read = file_.ReadBlocks(offset, bytes.data(), count, toleratesShortReads_);
  std::vector<TBlock*> marked;
  for (std::int32_t i = count - 1; i >= 0; --i) {
    if (i >= read) continue;
    const std::int32_t at = offset + i * static_cast<std::int32_t>(blockSize_);
    TBlock* block = Find(at);
    if (block && (block->Pins > 0 || block->Modified)) continue;
    if (!block) block = &Take(at);
    DecodeBlock(bytes.data() + static_cast<std::size_t>(i) * blockSize_, blockSize_,
                file_.Encrypted(), *block);
    undo_.Record(at, block->UndoMark, [this, block](auto& before) { Save(*block, before); });
    block->Marked = true;
    marked.push_back(block);
  }
  for (TBlock* block : marked) block->Marked = false;
  TBlock* block = Find(offset);
  if (!block) {
    block = &Take(offset);  // beyond a tolerated short read: an empty block
    undo_.Record(offset, block->UndoMark, [](auto& before) { before.reset(); });
  }
  return TBlockRef(*this, *block);
}

TBlockRef TBlockCache::Allocate(std::int32_t record) {
  TBlobFileHeader& header = file_.MutableHeader();
  TBlockRef ref;
  if (header.FreeBlockHead != 0) {
    ref = Fetch(header.FreeBlockHead);
    header.FreeBlockHead = ref->Next;
  } else {
    if (header.EndOfFile > kMaxBlobFileOffset) RaiseIsamError(ie::kTableFull, file_.FileName());
    ref = TBlockRef(*this, Take(header.EndOfFile));
    // Nothing was there before.
    undo_.Record(header.EndOfFile, ref->UndoMark, [](auto& before) { before.reset(); });
    header.EndOfFile += static_cast<std::int32_t>(blockSize_);
  }
  TBlock& block = *ref;
  block.Previous = block.Next = 0;
  block.Used = 0;
  block.Total = 0;
  block.Record = record;
  std::fill(block.Data.begin(), block.Data.end(), 0);
  block.Modified = true;
  return ref;
}

void TBlockCache::Release(TBlock& block) {
  TBlobFileHeader& header = file_.MutableHeader();
  block.Next = header.FreeBlockHead;
  header.FreeBlockHead = block.Offset;
  block.Modified = true;
}

void TBlockCache::WriteModified() {
  std::vector<TBlock*> modified;
  for (auto& block : blocks_) {
    if (block->Modified && block->Pins == 0 && block->Offset != 0) modified.push_back(block.get());
  }
  std::sort(modified.begin(), modified.end(),
            [](const TBlock* a, const TBlock* b) { return a->Offset < b->Offset; });
  TRunWriter runs(static_cast<std::int32_t>(blockSize_), modified.size(),
                  [this](std::int32_t offset, const std::uint8_t* bytes, int count) {
                    file_.WriteBlocks(offset, bytes, count);
                  });
  for (TBlock* block : modified) {
    EncodeBlock(*block, blockSize_, file_.Encrypted(), runs.Add(block->Offset));
    block->Modified = false;
  }
  runs.Finish();
}

void TBlockCache::Flush() {
  WriteModified();
  capacity_ = baseCapacity_;
  for (auto it = blocks_.end();
       it != blocks_.begin() && static_cast<int>(blocks_.size()) > capacity_;) {
    --it;
    if (!(*it)->Modified && (*it)->Pins == 0) {
      byOffset_.erase((*it)->Offset);
      it = blocks_.erase(it);
    }
  }
}

void TBlockCache::Empty(TBlock& block) {
  const std::uint16_t pins = block.Pins;
  block = TBlock{};
  block.Pins = pins;
}

void TBlockCache::Save(const TBlock& block, std::optional<TBlock>& before) const {
  if (block.Modified || copyClean_) {
    before = block;  // into the storage of a state saved before: usually no allocation
  } else {
    before.reset();
  }
}

void TBlockCache::RollBackChange(bool rewrite) {
  undo_.RollBack([&](std::int32_t offset, std::optional<TBlock>& before) {
    const auto found = byOffset_.find(offset);
    if (!before) {
      if (found == byOffset_.end()) return;
      TBlock& block = **found->second;
      byOffset_.erase(found);
      Empty(block);
      return;
    }
    TBlock* block = found != byOffset_.end() ? found->second->get() : nullptr;
    if (!block) {
      blocks_.push_front(std::make_unique<TBlock>());
      capacity_ = std::max(capacity_, static_cast<int>(blocks_.size()));
      byOffset_[offset] = blocks_.begin();
      block = blocks_.front().get();
    }
    const std::uint16_t pins = block->Pins;
    *block = std::move(*before);
    block->Pins = pins;
    block->Marked = false;
    block->Modified = block->Modified || rewrite;
  });
}

void TBlockCache::Invalidate() {
  byOffset_.clear();
  for (auto& block : blocks_) Empty(*block);
}

void TBlockCache::DiscardAll() {
  blocks_.clear();
  byOffset_.clear();
}

}  // namespace katalog
