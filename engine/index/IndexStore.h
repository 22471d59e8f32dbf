// TIndexStore: what the index trees of one open table share: the index file, its page cache, the
// key context of each index, and the reaction to a cache miss.
//
// A page fetched from disk is first preceded by the owner's miss handler (read access and the
// change check of the table); when that reports another program's change, the cache has been
// emptied and the fetch throws TRestart: the running operation gives up its pages and starts
// again. Every change of a tree or of the cache advances Version(), so cursors know when a
// remembered page position must be found again by its key.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/index/IndexFile.h"
#include "engine/index/Keys.h"
#include "engine/index/PageCache.h"

namespace katalog {

// Thrown by a page fetch when another program changed the table; caught where an operation
// starts so that it runs again on fresh pages.
struct TRestart {};

class TIndexStore {
 public:
  explicit TIndexStore(TIndexFile& file);

  TIndexFile& File() { return file_; }
  TPageCache& Cache() { return cache_; }

  void SetKeyContextSource(std::function<TKeyContext(int slot)> source) {
    keyContexts_ = std::move(source);
  }
  TKeyContext KeyContext(int slot) const { return keyContexts_(slot); }
  TPageFormat Format(int slot) const;
  // Called before a page is read from disk; returns true when the table was changed by another
  // program (the cache is then already invalid).
  void SetMissHandler(std::function<bool()> handler) { onMiss_ = std::move(handler); }
  // Exclusive tables and a held table lock accept pages appended but not yet written.
  void SetToleratesShortReads(bool tolerates) { toleratesShortReads_ = tolerates; }
  void SetTableLocked(bool locked) { cache_.SetTableLocked(locked); }

  // The page at `offset` of the slot's tree, pinned. With `newPage` (a page taken from the free
  // list) only its header is kept and it has no entries.
  TPageRef Fetch(int slot, std::int32_t offset, bool newPage = false);
  // A page for the slot's tree: the head of its free list, else one appended (kTableFull when the
  // file is full). Empty, modified, pinned.
  TPageRef TakePage(int slot);
  // Puts the page on the slot's free list; it is written with no entries.
  void FreePage(TPage& page);
  void MarkModified(TPage& page) {
    page.Modified = true;
    ++version_;
  }

  // A change of the trees (see PageCache.h): between BeginChange and CommitChange nothing is
  // written, and RollBackChange puts every page back as it was (with `rewrite`, marked modified
  // so that they are written again).
  void BeginChange(bool copyClean) { cache_.BeginChange(copyClean); }
  void CommitChange() { cache_.CommitChange(); }
  void RollBackChange(bool rewrite) {
    cache_.RollBackChange(rewrite);
    ++version_;
  }

  // Writes the modified pages of every index in use, then the header when modified.
  void Flush();
  // Empties the cache (another program changed the file).
  void Invalidate();
  std::uint64_t Version() const { return version_; }

 private:
  void WritePages(const std::vector<TPage*>& pages);

  TIndexFile& file_;
  TPageCache cache_;
  std::function<TKeyContext(int)> keyContexts_;
  std::function<bool()> onMiss_;
  bool toleratesShortReads_ = false;
  std::uint64_t version_ = 0;
};

}  // namespace katalog
