// TUndoLog: what one change found in a cache before it touched it, so that a change the engine
// refuses half way (a full file, a duplicate found late, a damaged page, a failed write) can be
// taken back and leave the cache as it was.
//
// A cache records a buffer the first time the change reaches it: a copy of its state, or none
// when the buffer was not in the cache (it then holds what the file holds, or nothing yet).
// Rolling back hands the entries out so that the cache puts the copies back and forgets the
// buffers that were absent; committing simply drops them. While a log is active the caches write
// nothing to their files, so that nothing of an unfinished change reaches a file early.
//
// Invariant: each key has at most one entry per change, holding its state from before the change.
#pragma once

#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace katalog {

template <class Key, class State>
class TUndoLog {
 public:
  struct TEntry {
    Key Where;
    std::optional<State> Before;  // none: the buffer was not cached
  };

  bool Active() const { return active_; }
  void Begin() {
    End();
    active_ = true;
  }
  // Records the buffer's state the first time the change reaches it; `before` gives the state
  // (or std::nullopt) and runs only then.
  template <class Before>
  void Record(const Key& where, Before before) {
    if (active_ && seen_.insert(where).second) entries_.push_back({where, before()});
  }
  // Ends the change and hands out what was recorded, oldest first.
  std::vector<TEntry> End() {
    active_ = false;
    seen_.clear();
    return std::exchange(entries_, {});
  }

 private:
  bool active_ = false;
  std::vector<TEntry> entries_;
  std::set<Key> seen_;
};

}  // namespace katalog
