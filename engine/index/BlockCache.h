// TBlockCache: the blob file's block buffers, most recently used first, with read-ahead, the
// free-block list, and writing of modified blocks in runs of consecutive blocks.
//
// Capacity min(262 140 / B, 4 096) buffers; a miss reads up to min(R, asked, blocks to the end of
// the file) consecutive blocks in one request, R = 65 535 / B. Taking a buffer reuses the least
// recently used one that is neither modified, pinned nor marked by a running read; failing that,
// the modified blocks are written and the search repeated; then, under a table lock, the cache
// grows by 256; otherwise error kBlobBuffersCorrupt. More than 64 pins is kBlobBuffersCorrupt too.
// Before a block is read from disk the owner's miss handler runs (the table's change check); when
// it reports another program's change, the cache is emptied and the fetch throws TRestart.
//
// Under a table lock, and inside a change (BeginChange to CommitChange), nothing is written: the
// cache grows instead. A change records every block it reaches in an undo log, so that
// RollBackChange can put every block back as it was before the change.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/index/BlobBlock.h"
#include "engine/storage/UndoLog.h"

namespace katalog {

class TBlobFile;
class TBlockCache;

// Holds a pin on a block for as long as it lives.
class TBlockRef {
 public:
  TBlockRef() = default;
  TBlockRef(TBlockCache& cache, TBlock& block);
  TBlockRef(TBlockRef&& other) noexcept : cache_(other.cache_), block_(other.block_) {
    other.block_ = nullptr;
  }
  TBlockRef& operator=(TBlockRef&& other) noexcept;
  TBlockRef(const TBlockRef&) = delete;
  TBlockRef& operator=(const TBlockRef&) = delete;
  ~TBlockRef() { Release(); }

  void Release();
  explicit operator bool() const { return block_ != nullptr; }
  TBlock* operator->() const { return block_; }
  TBlock& operator*() const { return *block_; }

 private:
  TBlockCache* cache_ = nullptr;
  TBlock* block_ = nullptr;
};

class TBlockCache {
 public:
  static constexpr int kMaxPins = 64;
  static constexpr int kGrowth = 256;

  explicit TBlockCache(TBlobFile& file) : file_(file) {}

  // Sizes the cache for blocks of `blockSize` bytes and empties it.
  void Reset(std::uint32_t blockSize);
  void SetMissHandler(std::function<bool()> handler) { onMiss_ = std::move(handler); }
  void SetTableLocked(bool locked) { tableLocked_ = locked; }
  void SetToleratesShortReads(bool tolerates) { toleratesShortReads_ = tolerates; }

  // The block at `offset`, pinned, reading up to `readAhead` blocks in one request on a miss.
  TBlockRef Fetch(std::int32_t offset, std::int32_t readAhead = 1);
  // A cleared block for `record`: the head of the free list, else appended (kTableFull when full).
  TBlockRef Allocate(std::int32_t record);
  // Puts the block at the head of the free list.
  void Release(TBlock& block);
  void MarkModified(TBlock& block) { block.Modified = true; }
  void Pin(TBlock& block);
  void Unpin(TBlock& block) {
    if (block.Pins > 0) --block.Pins;
  }

  // `copyClean` as for the page cache: only a change that writes itself keeps clean blocks.
  void BeginChange(bool copyClean) {
    undo_.Begin();
    copyClean_ = copyClean;
  }
  void CommitChange() { undo_.Commit(); }
  // Puts back every block the change reached; with `rewrite` the restored blocks are marked
  // modified, so that the next flush writes them over whatever the change wrote.
  void RollBackChange(bool rewrite);

  // Writes the modified unpinned blocks, sorted, consecutive ones in one request; then trims.
  void Flush();
  // Empties every buffer (blocks are read again); pins stay with their holders.
  void Invalidate();
  void DiscardAll();
  std::int32_t ReadAheadLimit() const { return readAhead_; }

 private:
  using TIterator = std::list<std::unique_ptr<TBlock>>::iterator;

  TBlock* Find(std::int32_t offset);
  TBlock& Take(std::int32_t offset);
  static constexpr std::size_t kLookWithoutWrites = 64;
  // The least recently used buffer free to go, looking at no more than `maxLook` from the back.
  TIterator Reusable(std::size_t maxLook);
  // Makes the buffer unused; its pins stay with their holders.
  static void Empty(TBlock& block);
  void WriteModified();

  TBlobFile& file_;
  std::list<std::unique_ptr<TBlock>> blocks_;
  std::unordered_map<std::int32_t, TIterator> byOffset_;
  int capacity_ = 0;
  int baseCapacity_ = 0;
  std::int32_t readAhead_ = 1;
  std::uint32_t blockSize_ = 512;
  std::function<bool()> onMiss_;
  bool tableLocked_ = false;
  bool toleratesShortReads_ = false;
  TUndoLog<std::int32_t, TBlock> undo_;
  bool copyClean_ = false;
  // The state a change keeps of a block it reaches: a clean block is forgotten (the file holds
  // it) unless the change writes itself.
  void Save(const TBlock& block, std::optional<TBlock>& before) const;
};

}  // namespace katalog
