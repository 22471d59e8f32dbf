#include "engine/table/TableVerifier.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <utility>

#include "engine/index/IndexPage.h"
#include "engine/index/TreeChecker.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"

namespace katalog {
namespace {

// Findings of one kind beyond this many are summed up in one line.
constexpr int kMaxPerKind = 50;
// No tree of a file this engine can address is anywhere near this deep.
constexpr int kMaxTreeDepth = 64;
// Room behind a record copy: a key field placed in the computed area reads from there.
constexpr std::size_t kRecordPadding = 256;
// Owners of pages and blocks that are not a slot or a record.
constexpr std::int32_t kNoOwner = -1;
constexpr std::int32_t kFreeBlock = -1;

std::string N(std::int64_t value) {
  return std::to_string(value);
}

// What the leaves of one index say about each record: how many entries name it, and the first
// one's key as a fingerprint (for "Sys Deleted" the 5-byte key itself).
struct TLeafRecords {
  int Slot = 0;
  std::string Kind;
  TKeyContext Context;
  bool Compared = false;
  std::vector<std::uint8_t> Count;  // saturates at 255
  std::vector<std::uint64_t> Key;
};

std::uint64_t Fingerprint(int slot, const std::uint8_t* key, std::size_t length) {
  if (slot == kDeletedSlot) return std::uint64_t{key[0]} << 32 | LoadBigEndian(key + 1, 4);
  std::uint64_t hash = 14695981039346656037ull;
  for (std::size_t i = 0; i < length; ++i) hash = (hash ^ key[i]) * 1099511628211ull;
  return hash;
}

std::string Status(std::uint64_t status) {
  return status == 0 ? "in use" : status == 1 ? "deleted" : "of status " + N(status & 0xFF);
}

// The record identifier in a "Sys Deleted" fingerprint (big-endian, top bit inverted).
std::int32_t RecordId(std::uint64_t fingerprint) {
  return static_cast<std::int32_t>((fingerprint & 0xFFFFFFFFu) ^ 0x80000000u);
}

class TVerifier {
 public:
  explicit TVerifier(TDataFile& table)
      : table_(table),
        index_(table.IndexFile()),
        store_(table.IndexStore()),
        blob_(table.BlobFile()) {}

  // Bytes past a file's recorded end are what an append leaves when its header write never came
  // (a killed writer, a failed write taken back); the next append writes over them.
  static constexpr const char* kLeftByAnAppend =
      " (left by an append that did not finish; the next append reuses them)";

  std::vector<std::string> Notes() { return std::move(notes_); }

  std::vector<std::string> Run() {
    try {
      table_.AcquireReadAccess();  // held to the end: nobody changes the files meanwhile
      records_ = std::max(table_.Header().NextRecordNumber - 1, 0);
      CheckLengths();
      CheckIndexes();
      ScanSlots();
      CheckFreeSlots();
      if (index_.Header().ActiveRecords != liveRecords_) {
        Report("index file", "its header counts " + N(index_.Header().ActiveRecords) +
                                 " active records, but " + N(liveRecords_) + " slots hold records");
      }
      CheckFreeBlocks();
      ReportLost(pageOwner_, kNoOwner, kIndexHeaderSize, kPageSize,
                 "index file: no index and no free list holds page");
      ReportLost(blockOwner_, 0, kBlobHeaderSize, blockSize_,
                 "blob file: no blob and no free-block list holds block");
    } catch (const std::exception& e) {
      Report("table", std::string("the check stopped: ") + e.what());
    } catch (const TRestart&) {  // not while read access is held, but never let it through
      Report("table", "the check stopped: another program changed the table");
    }
    try {
      table_.ReleaseReadAccess();
    } catch (const std::exception& e) {
      Report("table", e.what());
    }
    return Finish();
  }

 private:
  void Report(const std::string& kind, const std::string& text) {
    if (++perKind_[kind] <= kMaxPerKind) problems_.push_back(kind + ": " + text);
  }

  std::vector<std::string> Finish() {
    for (const auto& [kind, count] : perKind_) {
      if (count > kMaxPerKind) {
        problems_.push_back(kind + ": " + N(count - kMaxPerKind) + " more problems of this kind");
      }
    }
    return std::move(problems_);
  }

  std::string IndexName(int slot) const {
    if (slot == kPrimarySlot) return kPrimaryIndexName;
    if (slot == kDeletedSlot) return kDeletedIndexName;
    return index_.Descriptor(slot).Name;
  }

  // Checks a file's length against the end its header gives; one owner entry per whole unit.
  std::vector<std::int32_t> Units(const std::string& kind, const std::string& unit,
                                  std::int64_t length, std::int32_t end, std::int32_t start,
                                  std::int32_t size, std::int32_t none) {
    if (end < start || (end - start) % size != 0) {
      Report(kind, "its header puts the end of its " + unit + "s at " + N(end) +
                       ", which is not a " + unit + " boundary");
    }
    if (length > end) {
      notes_.push_back(kind + ": " + N(length - end) + " bytes past the end its header records" +
                       kLeftByAnAppend);
    } else if (length < end) {
      Report(kind, "the file is " + N(length) + " bytes long, but its header says its " + unit +
                       "s end at " + N(end));
    }
    const std::int64_t held =
        std::max<std::int64_t>(std::min<std::int64_t>(length, end) - start, 0);
    return std::vector<std::int32_t>(static_cast<std::size_t>(held / size), none);
  }

  // The owner entry of the unit at `offset`, or nullptr when no whole unit of the file is there.
  static std::int32_t* Owner(std::vector<std::int32_t>& owners, std::int32_t start,
                             std::int32_t size, std::int32_t offset) {
    if (offset < start || (offset - start) % size != 0) return nullptr;
    const auto i = static_cast<std::size_t>((offset - start) / size);
    return i < owners.size() ? &owners[i] : nullptr;
  }

  void CheckLengths() {
    const TDataFileHeader& header = table_.Header();
    const std::int64_t past =
        table_.GetSize() - header.DataStart() - std::int64_t{records_} * header.RecordSize;
    if (past > 0) {
      notes_.push_back("data file: " + N(past) + " bytes past the last slot its header records" +
                       kLeftByAnAppend);
    }
    pageOwner_ = Units("index file", "page", index_.GetSize(), index_.Header().EndOfFile,
                       kIndexHeaderSize, kPageSize, kNoOwner);
    if (!blob_) return;
    blockSize_ = static_cast<std::int32_t>(blob_->BlockSize());
    blockOwner_ = Units("blob file", "block", blob_->GetSize(), blob_->Header().EndOfFile,
                        kBlobHeaderSize, blockSize_, 0);
  }

  enum TClaim { kTaken, kOutside, kOwnAgain, kForeign };

  TClaim ClaimPage(int slot, std::int32_t offset, const std::string& kind, const char* from) {
    std::int32_t* taken = Owner(pageOwner_, kIndexHeaderSize, kPageSize, offset);
    if (!taken) {
      Report(kind,
             std::string(from) + " refers to page " + N(offset) + ", outside the file's pages");
      return kOutside;
    }
    std::int32_t& owner = *taken;
    if (owner == slot) return kOwnAgain;  // the tree check names circles within one index
    if (owner != kNoOwner) {
      Report(kind, "page " + N(offset) + " also belongs to index " + IndexName(owner));
      return kForeign;
    }
    owner = slot;
    return kTaken;
  }

  void CheckIndexes() {
    const bool primary = !index_.NoPrimaryIndex();
    std::vector<int> slots;
    if (primary) slots.push_back(kPrimarySlot);
    for (int slot = 1; slot <= index_.SecondaryCount(); ++slot) slots.push_back(slot);
    slots.push_back(kDeletedSlot);
    for (int slot : slots) {
      TLeafRecords leaves;
      leaves.Slot = slot;
      leaves.Kind = "index " + IndexName(slot);
      leaves.Context = table_.KeyContextFor(slot);
      CheckTree(leaves);
      // "Sys Deleted" is kept only while the table has a primary index.
      if (leaves.Compared && (slot != kDeletedSlot || primary)) {
        indexes_.push_back(std::move(leaves));
      }
    }
  }

  // Takes the pages of the slot's tree and free list; false when some cannot be read.
  bool TakePages(int slot, const std::string& kind, bool& freeListBroken) {
    bool readable = true;
    std::vector<std::pair<std::int32_t, int>> queue;
    if (const std::int32_t root = index_.Descriptor(slot).RootPage; root != 0) {
      queue.emplace_back(root, 1);
    }
    for (std::size_t i = 0; i < queue.size(); ++i) {
      const auto [offset, depth] = queue[i];
      const TClaim claim = ClaimPage(slot, offset, kind, "the tree");
      if (claim == kOutside) readable = false;
      if (claim != kTaken) continue;
      if (depth > kMaxTreeDepth) {
        Report(kind, "the tree is deeper than " + N(kMaxTreeDepth) + " levels");
        return false;
      }
      try {
        TPageRef page = store_.Fetch(slot, offset);
        if (!page->Image.IsLeaf()) {
          for (std::int32_t child : page->Image.Values) queue.emplace_back(child, depth + 1);
        }
      } catch (const std::exception& e) {
        Report(kind, "page " + N(offset) + ": " + e.what());
        readable = false;
      }
    }
    for (std::int32_t offset = index_.Descriptor(slot).FreePageHead; offset != 0;) {
      const TClaim claim = ClaimPage(slot, offset, kind, "the free list");
      // The tree check fails on a page it cannot read as this index's: named here already.
      freeListBroken = freeListBroken || claim == kOutside || claim == kForeign;
      if (claim != kTaken) break;
      try {
        offset = store_.Fetch(slot, offset)->Image.Next;
      } catch (const std::exception& e) {
        Report(kind, "free page " + N(offset) + ": " + e.what());
        freeListBroken = true;
        break;
      }
    }
    return readable;
  }

  void CheckTree(TLeafRecords& leaves) {
    const int slot = leaves.Slot;
    bool freeListBroken = false;
    if (!TakePages(slot, leaves.Kind, freeListBroken)) {
      Report(leaves.Kind, "its entries could not be compared with the records");
      return;
    }
    leaves.Count.assign(static_cast<std::size_t>(records_) + 1, 0);
    leaves.Key.assign(static_cast<std::size_t>(records_) + 1, 0);
    const std::size_t keyLength = index_.Descriptor(slot).KeyLength;
    auto visit = [&](const std::uint8_t* key, std::int32_t record) {
      if (record < 1 || record > records_) {
        Report(leaves.Kind, "an entry names record " + N(record) + ", but the data file has " +
                                N(records_) + " slots");
        return;
      }
      std::uint8_t& count = leaves.Count[static_cast<std::size_t>(record)];
      if (count == 0)
        leaves.Key[static_cast<std::size_t>(record)] = Fingerprint(slot, key, keyLength);
      if (count < 255) ++count;
    };
    std::vector<std::string> found;
    try {
      found = CheckIndexTree(store_, slot, visit);
    } catch (const std::exception& e) {
      // With a broken free list the check fails there, after the leaves were visited.
      if (!freeListBroken) {
        Report(leaves.Kind, std::string(e.what()) + "; its entries could not be compared");
        return;
      }
    }
    const std::string prefix = "index " + N(slot) + ": ";
    for (std::string& line : found) {
      Report(leaves.Kind, line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line);
    }
    leaves.Compared = true;
  }

  void ScanSlots() {
    status_.assign(static_cast<std::size_t>(records_) + 1, 0);
    links_.assign(static_cast<std::size_t>(records_) + 1, 0);
    const std::int32_t size = table_.Header().RecordSize;
    const std::int32_t chunk = std::max<std::int32_t>(32767 / size, 1);
    std::vector<std::uint8_t> slots(static_cast<std::size_t>(chunk) * size);
    std::vector<std::uint8_t> record(static_cast<std::size_t>(size) + kRecordPadding);
    for (std::int32_t first = 1; first <= records_; first += chunk) {
      const std::int32_t count = std::min(chunk, records_ - first + 1);
      const std::int32_t read = table_.ReadSlots(first, count, slots.data(), true);
      if (read < count) {
        Report("data file", "the slots from " + N(first + read) + " on cannot be read");
        return;
      }
      for (std::int32_t i = 0; i < count; ++i) {
        std::memcpy(record.data(), slots.data() + static_cast<std::size_t>(i) * size, size);
        CheckRecord(first + i, record.data());
      }
    }
  }

  void CheckRecord(std::int32_t n, const std::uint8_t* record) {
    const auto at = static_cast<std::size_t>(n);
    const bool live = record[0] == 0;
    status_[at] = record[0];
    links_[at] = LoadI32(record + 1);
    if (live) ++liveRecords_;
    std::uint8_t key[kMaxKeyLength];
    for (const TLeafRecords& leaves : indexes_) {
      const int entries = leaves.Count[at];
      if (!live && leaves.Slot != kDeletedSlot) {
        if (entries != 0) Report(leaves.Kind, "holds an entry for the deleted record " + N(n));
        continue;
      }
      if (entries != 1) {
        Report(leaves.Kind, "record " + N(n) + " has " + (entries == 0 ? "no" : N(entries)) +
                                (entries == 255 ? " or more" : "") + " entries instead of one");
        continue;
      }
      BuildKey(leaves.Context, record, key);
      const std::uint64_t built = Fingerprint(leaves.Slot, key, leaves.Context.Index->KeyLength);
      if (built == leaves.Key[at]) continue;
      // Other writers leave a null field's stored bytes in its key slot: that form is sound too.
      BuildKey(leaves.Context, record, key, TNullSlots::StoredBytes);
      if (Fingerprint(leaves.Slot, key, leaves.Context.Index->KeyLength) == leaves.Key[at]) {
        continue;
      }
      if (leaves.Slot != kDeletedSlot) {
        Report(leaves.Kind, "the entry of record " + N(n) + " differs from the key of the record");
        continue;
      }
      const std::uint64_t listed = leaves.Key[at];
      Report(leaves.Kind, "lists record " + N(n) + " as " + Status(listed >> 32) +
                              " with identifier " + N(RecordId(listed)) + ", but its slot is " +
                              Status(record[0]) + " with identifier " +
                              N(LoadI32(record + kRecordIdOffset)));
    }
    if (live) CheckBlobs(n, record);
  }

  void CheckFreeSlots() {
    std::vector<bool> onChain(static_cast<std::size_t>(records_) + 1, false);
    for (std::int32_t n = table_.Header().FreeSlotHead; n != 0;) {
      const std::string text = "the chain of deleted slots leads to slot " + N(n);
      const auto at = static_cast<std::size_t>(n);
      if (n < 1 || n > records_) return Report("data file", text + ", which does not exist");
      if (onChain[at]) return Report("data file", text + " a second time");
      if (status_[at] == 0) return Report("data file", text + ", which holds a record");
      onChain[at] = true;
      n = links_[at];
    }
    // Without a primary index deleted slots are never reused and each ends the chain.
    if (index_.NoPrimaryIndex()) return;
    for (std::size_t n = 1; n < onChain.size(); ++n) {
      if (status_[n] != 0 && !onChain[n]) {
        Report("data file", "the deleted slot " + N(static_cast<std::int64_t>(n)) +
                                " is not on the chain of deleted slots");
      }
    }
  }

  void CheckBlobs(std::int32_t n, const std::uint8_t* record) {
    for (const TFieldDescriptor& field : table_.PhysicalFields()) {
      if (field.FieldTypeCode != ft::kBlob || !field.Expression.empty()) continue;
      const std::int32_t first = LoadI32(record + field.FieldOffset + 1);
      if (first == 0) continue;
      const std::string owner = "record " + N(n) + " field " + field.Name;
      if (first < 0) {
        Report("blob file", owner + " holds the negative block reference " + N(first));
      } else if (!blob_) {
        Report("data file", owner + " refers to a blob block, but the table has no blob file");
      } else {
        CheckChain(n, owner, first);
      }
    }
  }

  void CheckChain(std::int32_t n, const std::string& owner, std::int32_t first) {
    const std::int32_t perBlock = blockSize_ - kBlockHeaderSize;
    std::int32_t length = 0, held = 0, previous = 0;
    for (std::int32_t offset = first; offset != 0;) {
      const std::string block = owner + ": block " + N(offset);
      std::int32_t* taken = Owner(blockOwner_, kBlobHeaderSize, blockSize_, offset);
      if (!taken) {
        return Report("blob file", block +
                                       (previous == 0 ? "" : " (after block " + N(previous) + ")") +
                                       " lies outside the file's blocks");
      }
      TBlockRef ref;
      try {
        ref = blob_->Blocks().Fetch(offset);
      } catch (const std::exception& e) {
        return Report("blob file", block + ": " + e.what());
      }
      if (previous == 0) length = ref->Total;
      const std::int32_t expected = std::min(perBlock, length - held);
      std::string wrong;
      if (ref->Record != n) {
        wrong = " belongs to record " + N(ref->Record);
      } else if (*taken != 0) {
        wrong = *taken == n ? " is reached a second time" : " is also used by record " + N(*taken);
      } else if (ref->Previous != previous) {
        wrong = " links back to " + N(ref->Previous) + " instead of " + N(previous);
      } else if (previous == 0 ? length <= 0 : ref->Total != 0) {
        wrong = " gives the blob length " + N(ref->Total) + (previous == 0 ? "" : ", not first");
      } else if (ref->Used != expected) {
        wrong = " holds " + N(ref->Used) + " bytes instead of " + N(expected);
      }
      if (ref->Record == n && *taken == 0) *taken = n;
      if (!wrong.empty()) return Report("blob file", block + wrong);
      held += ref->Used;
      previous = offset;
      offset = ref->Next;
      if (held == length && offset != 0) {
        return Report("blob file", block + " completes the blob but links on to " + N(offset));
      }
    }
    if (held != length) {
      Report("blob file", owner + ": the chain holds " + N(held) + " of " + N(length) + " bytes");
    }
  }

  void CheckFreeBlocks() {
    if (!blob_) return;
    for (std::int32_t offset = blob_->Header().FreeBlockHead; offset != 0;) {
      const std::string text = "the free-block list leads to block " + N(offset);
      std::int32_t* taken = Owner(blockOwner_, kBlobHeaderSize, blockSize_, offset);
      if (!taken) return Report("blob file", text + ", outside the file's blocks");
      if (*taken == kFreeBlock) return Report("blob file", text + " a second time");
      if (*taken != 0) return Report("blob file", text + ", which record " + N(*taken) + " uses");
      *taken = kFreeBlock;
      try {
        offset = blob_->Blocks().Fetch(offset)->Next;
      } catch (const std::exception& e) {
        return Report("blob file", text + ": " + e.what());
      }
    }
  }

  // Reports the runs of consecutive units (pages, blocks) that nothing owns.
  void ReportLost(const std::vector<std::int32_t>& owners, std::int32_t none, std::int64_t start,
                  std::int64_t size, const std::string& text) {
    for (std::size_t i = 0, end = 0; i < owners.size(); i = end + 1) {
      for (end = i; end < owners.size() && owners[end] == none;) ++end;
      if (end == i) continue;
      const auto from = start + static_cast<std::int64_t>(i) * size;
      const auto count = static_cast<std::int64_t>(end - i);
      const auto kind = text.substr(0, text.find(':'));
      Report(kind, text.substr(kind.size() + 2) +
                       (count == 1 ? " " + N(from)
                                   : "s " + N(from) + " to " + N(from + (count - 1) * size) + " (" +
                                         N(count) + ")"));
    }
  }

  TDataFile& table_;
  TIndexFile& index_;
  TIndexStore& store_;
  TBlobFile* blob_;
  std::vector<std::string> problems_;
  std::vector<std::string> notes_;
  std::map<std::string, int> perKind_;
  std::int32_t records_ = 0;
  std::int32_t liveRecords_ = 0;
  std::int32_t blockSize_ = static_cast<std::int32_t>(kDefaultBlobBlockSize);
  std::vector<std::int32_t> pageOwner_;   // the slot, or kNoOwner
  std::vector<std::int32_t> blockOwner_;  // the record, kFreeBlock, or 0
  std::vector<TLeafRecords> indexes_;
  std::vector<std::uint8_t> status_;
  std::vector<std::int32_t> links_;
};

}  // namespace

std::vector<std::string> VerifyTable(TDataFile& table, std::vector<std::string>* notes) {
  TVerifier verifier(table);
  std::vector<std::string> problems = verifier.Run();
  if (notes) *notes = verifier.Notes();
  return problems;
}

}  // namespace katalog
