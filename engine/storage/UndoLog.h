// TUndoLog: what one change found in a cache before it touched it, so that a change the engine
// refuses half way (a full file, a damaged page, a failed write) can be taken back and leave the
// cache as it was.
//
// A cache records a buffer the first time the change reaches it: a copy of its state, or none
// when the buffer may simply be forgotten (it was not cached, or holds what the file holds).
// Rolling back hands the entries out so that the cache puts the copies back and forgets the
// others; committing drops them. While a log is active the caches write nothing to their files,
// so that nothing of an unfinished change reaches a file early.
//
// "The first time" is told by a mark each buffer carries: the log's change number is stored in
// it when the buffer is recorded, so a lookup costs no search. A buffer reused for another
// place starts with a cleared mark.
//
// Invariant: the first entry for a place holds its state from before the change; a later entry
// for the same place (after its buffer was dropped and read again) holds a state the file also
// holds, and is forgotten like it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace katalog {

template <class Key, class State>
class TUndoLog {
 public:
  bool Active() const { return active_; }
  void Begin() {
    active_ = true;
    ++change_;
    used_ = 0;
  }
  // Records the buffer carrying `mark` the first time the change reaches it: `save` is given the
  // entry's state to fill in (or to reset, for a buffer to forget) and runs only then. Entries
  // are kept from change to change, so that saving a state usually reuses the storage of one
  // saved before instead of allocating.
  template <class Save>
  void Record(const Key& where, std::uint64_t& mark, Save save) {
    if (!active_ || mark == change_) return;
    if (used_ == entries_.size()) entries_.emplace_back();
    TEntry& entry = entries_[used_];
    entry.Where = where;
    save(entry.Before);
    ++used_;
    mark = change_;
  }
  // The change went through: nothing goes back.
  void Commit() {
    active_ = false;
    used_ = 0;
    if (entries_.size() > kKeptEntries) entries_.resize(kKeptEntries);
  }
  // The change is taken back: `restore(where, before)` runs for every entry, oldest first, and
  // may take the state out of `before`.
  template <class Restore>
  void RollBack(Restore restore) {
    active_ = false;
    for (std::size_t i = 0; i < used_; ++i) restore(entries_[i].Where, entries_[i].Before);
    used_ = 0;
  }

 private:
  struct TEntry {
    Key Where{};
    std::optional<State> Before;  // none: the buffer is forgotten
  };
  // Entries kept for the next change; a change that reached more gives the rest back.
  static constexpr std::size_t kKeptEntries = 256;

  bool active_ = false;
  std::uint64_t change_ = 0;
  std::size_t used_ = 0;
  std::vector<TEntry> entries_;
};

}  // namespace katalog
