#include "engine/table/TableRepair.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <memory>
#include <vector>

#include "engine/storage/IsamError.h"
#include "engine/storage/TableCopies.h"
#include "engine/storage/TableFileNames.h"
#include "engine/table/BlobRepair.h"
#include "engine/table/DataFile.h"
#include "engine/table/IndexRebuild.h"
#include "engine/table/RepairDataFile.h"
#include "engine/table/TableVerifier.h"
#include "platform/ByteOrder.h"

namespace katalog {
namespace {

// The highest record number an entry of the table's indexes names, 0 when none names any. A
// tree that cannot be read is passed over: what it would name is not known.
std::int32_t HighestIndexedRecord(TDataFile& table) {
  TIndexFile& index = table.IndexFile();
  std::vector<int> slots;
  if (!index.NoPrimaryIndex()) slots = {kPrimarySlot, kDeletedSlot};
  for (int slot = 1; slot <= index.SecondaryCount(); ++slot) slots.push_back(slot);
  std::int32_t highest = 0;
  for (const int slot : slots) {
    try {
      TIndexTree tree(table.IndexStore(), slot);
      const std::int32_t total = tree.KeyCount();
      if (total <= 0) continue;
      TPageRef page = tree.Fetch(tree.Locate(1).Page);
      // Each page holds an entry: a longer walk goes round a damaged chain in a circle.
      for (std::int32_t pages = 0; pages < total; ++pages) {
        for (const std::int32_t record : page->Image.Values) highest = std::max(highest, record);
        if (page->Image.Next == 0) break;
        page = tree.Fetch(page->Image.Next);
      }
    } catch (const EIsamEngineError&) {
    }
  }
  return highest;
}

// Percent done at the ends of the steps.
constexpr int kChecked = 5;
constexpr int kScanStart = 10;
constexpr int kScanned = 80;
constexpr int kCopied = 85;
constexpr int kWritten = 95;

// Slots are read and written in runs of about this many bytes.
constexpr std::int32_t kRunBytes = 32767;

std::string N(std::int64_t value) {
  return std::to_string(value);
}

// Thrown when the progress event asks to stop.
struct TAborted {};

bool FileExists(const std::string& name) {
  TFileHandler file;
  file.SetFileName(name);
  return file.Exists();
}

class TTableRepair {
 public:
  TTableRepair(std::string tableName, const TRepairEvents& events)
      : tableName_(std::move(tableName)),
        events_(events),
        blob_(data_, [this](const std::string& line) { Log(line); }),
        index_(data_, [this](const std::string& line) { Log(line); }) {}

  TRepairOutcome Run() {
    try {
      Progress(0);
      if (CheckFirst()) {
        Log("check: the table is sound; nothing is repaired");
        writing_ = true;  // nothing is left to stop
        Progress(100);
        return TRepairOutcome::Sound;
      }
      Progress(kChecked);
      data_.Open(tableName_, events_.Password, indexed_);
      hasBlobs_ = data_.HasBlobFields();
      if (hasBlobs_) blob_.Open();
      index_.Begin();
      Scan();
      index_.Finish();
      PlanChain();
      Progress(kScanned);
    } catch (const TAborted&) {
      Stop();
      Log("the repair is aborted; no file of the table was changed");
      return TRepairOutcome::Aborted;
    } catch (...) {
      Stop();
      throw;
    }
    writing_ = true;
    try {
      KeepCopies();
      Progress(kCopied);
      tableWritten_ = true;
      WriteDataFile();
      if (hasBlobs_) blob_.Commit();
      index_.Commit();
      blob_.Close();
      data_.Close();
      Progress(kWritten);
      CheckLast();
    } catch (...) {
      if (tableWritten_) PutBack();
      Stop();
      throw;
    }
    Progress(100);
    return TRepairOutcome::Repaired;
  }

 private:
  void Log(const std::string& line) {
    if (events_.Log) events_.Log(line);
  }
  void Progress(int percent) {
    if (percent <= lastPercent_) return;
    lastPercent_ = percent;
    if (!events_.Progress) return;
    bool abort = false;
    events_.Progress(percent, abort);
    if (abort && !writing_) throw TAborted{};
  }

  void Stop() noexcept {
    index_.Discard();
    blob_.Close();
    data_.Close();
  }

  std::unique_ptr<TDataFile> OpenNormally() {
    auto table = std::make_unique<TDataFile>();
    table->SetExclusive(true);
    table->SetReadOnly(true);
    table->SetFileName(tableName_);
    table->SetPasswordCallback(events_.Password);
    table->Open();
    return table;
  }

  // Step 1: true when the verifier finds nothing.
  bool CheckFirst() {
    std::unique_ptr<TDataFile> table;
    try {
      table = OpenNormally();
    } catch (const EIsamEngineError& e) {
      // Refusals, and a table that is not there, end the repair at once.
      if (e.ErrorCode() == ie::kAccessDenied || e.ErrorCode() == ie::kPasswordRequired ||
          !FileExists(DataFileNameOf(tableName_))) {
        throw;
      }
      Log(std::string("found: the table does not open: ") + e.what());
      return false;
    }
    // Notes name what harms nothing but is tidied up here all the same: bytes past a file's end.
    std::vector<std::string> notes;
    const std::vector<std::string> problems = VerifyTable(*table, &notes);
    indexed_ = HighestIndexedRecord(*table);
    table->Close();
    for (const std::string& problem : problems) Log("found: " + problem);
    for (const std::string& note : notes) Log("found: " + note);
    return problems.empty() && notes.empty();
  }

  // Step 3: every whole slot, in order.
  void Scan() {
    const std::int32_t slots = data_.Slots();
    const std::int32_t size = data_.Header().RecordSize;
    const std::int32_t run = std::max<std::int32_t>(kRunBytes / size, 1);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(run) * size);
    for (std::int32_t first = 1; first <= slots; first += run) {
      const std::int32_t count = std::min(run, slots - first + 1);
      data_.ReadSlots(first, count, buffer.data());
      for (std::int32_t i = 0; i < count; ++i) {
        ScanSlot(first + i, buffer.data() + static_cast<std::size_t>(i) * size);
      }
      Progress(kScanStart +
               static_cast<int>(std::int64_t{kScanned - kScanStart} * (first + count - 1) / slots));
    }
  }

  void ScanSlot(std::int32_t n, std::uint8_t* slot) {
    if (slot[0] != 0) {
      deleted_.push_back(n);
      oldLinks_.push_back(LoadI32(slot + 1));
      if (slot[0] != 1) ++oddStatus_;
      slot[0] = 1;
      index_.AddDeletedSlot(n, slot);
      return;
    }
    if (!index_.AddRecord(n, slot)) {
      dropped_.push_back(n);
      slot[0] = 1;
      index_.AddDeletedSlot(n, slot);
      return;
    }
    const std::int32_t id = LoadI32(slot + kRecordIdOffset);
    if (!anyInUse_ || id > highestId_) highestId_ = id;
    anyInUse_ = true;
    if (LoadI32(slot + 1) != n) ++ownNumbers_;
    if (hasBlobs_) {
      for (std::size_t field : blob_.Check(n, slot)) cleared_.emplace_back(n, field);
    }
  }

  // The chain of deleted slots as it was, when it still holds: from the head over deleted slots
  // only, without a circle, and (where deleted slots are reused, with a primary index) through
  // every one of them.
  bool OldChainHolds() const {
    std::vector<bool> visited(deleted_.size(), false);
    std::size_t reached = 0;
    for (std::int32_t n = data_.Header().FreeSlotHead; n != 0; ++reached) {
      const auto at = std::lower_bound(deleted_.begin(), deleted_.end(), n);
      if (at == deleted_.end() || *at != n) return false;
      const auto i = static_cast<std::size_t>(at - deleted_.begin());
      if (visited[i]) return false;
      visited[i] = true;
      n = oldLinks_[i];
    }
    return !index_.HasPrimaryIndex() || reached == deleted_.size();
  }

  // The link of every slot deleted after the repair. A chain that holds is kept, and records
  // deleted now go to its head as a delete puts them; otherwise the chain is made anew through
  // every deleted slot in file order.
  void PlanChain() {
    std::vector<std::int32_t> all;
    std::merge(deleted_.begin(), deleted_.end(), dropped_.begin(), dropped_.end(),
               std::back_inserter(all));
    chain_.assign(all.size(), {0, 0});
    if (OldChainHolds()) {
      head_ = data_.Header().FreeSlotHead;
      for (std::size_t i = 0, j = 0; i < all.size(); ++i) {
        chain_[i].first = all[i];
        if (j < deleted_.size() && deleted_[j] == all[i]) chain_[i].second = oldLinks_[j++];
      }
      for (std::int32_t n : dropped_) {
        const auto i =
            static_cast<std::size_t>(std::lower_bound(all.begin(), all.end(), n) - all.begin());
        chain_[i].second = index_.HasPrimaryIndex() ? head_ : 0;
        head_ = n;
      }
      return;
    }
    for (std::size_t i = 0; i < all.size(); ++i) {
      chain_[i] = {all[i], i + 1 < all.size() ? all[i + 1] : 0};
    }
    head_ = all.empty() ? 0 : all.front();
    Log("data file: the chain of deleted slots is made anew through its " + N(all.size()) +
        " deleted slots");
  }

  // Step 4.
  void KeepCopies() {
    std::vector<TTableCopies::TFile> files{{data_.FileName(), &data_.File()},
                                           {index_.FileName(), nullptr}};
    if (hasBlobs_) {
      files.push_back(
          {WithExtension(data_.FileName(), ".BLB"), blob_.IsOpen() ? &blob_.File() : nullptr});
    }
    std::string kept;
    for (const std::string& name : copies_.Keep(files)) kept += (kept.empty() ? "" : ", ") + name;
    Log("copies kept: " + kept);
  }

  // Step 5, the data file.
  void WriteDataFile() {
    TDataFileHeader& header = data_.Header();
    if (data_.PartialBytes() > 0) {
      Log("data file: the " + N(data_.PartialBytes()) + " bytes past its last slot, left by an " +
          "append that did not finish, are cut off");
      data_.CutPartialSlot();
    }
    const std::int32_t slots = data_.Slots();
    const std::int32_t size = header.RecordSize;
    const std::int32_t run = std::max<std::int32_t>(kRunBytes / size, 1);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(run) * size);
    std::size_t nextDeleted = 0, nextCleared = 0;
    for (std::int32_t first = 1; first <= slots; first += run) {
      const std::int32_t count = std::min(run, slots - first + 1);
      data_.ReadSlots(first, count, buffer.data());
      const std::vector<std::uint8_t> before(buffer.begin(),
                                             buffer.begin() + std::size_t{1} * count * size);
      for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t n = first + i;
        std::uint8_t* slot = buffer.data() + static_cast<std::size_t>(i) * size;
        if (nextDeleted < chain_.size() && chain_[nextDeleted].first == n) {
          slot[0] = 1;
          StoreI32(slot + 1, chain_[nextDeleted++].second);
          continue;
        }
        StoreI32(slot + 1, n);
        for (; nextCleared < cleared_.size() && cleared_[nextCleared].first == n; ++nextCleared) {
          StoreFieldValue(data_.Fields()[cleared_[nextCleared].second], std::monostate{}, slot);
        }
      }
      if (!std::equal(before.begin(), before.end(), buffer.begin())) {
        data_.WriteSlots(first, count, buffer.data());
      }
      Progress(kCopied + static_cast<int>(std::int64_t{kWritten - kCopied - 1} *
                                          (first + count - 1) / slots));
    }
    if (oddStatus_ > 0) {
      Log("data file: " + N(oddStatus_) + " deleted slots carried a status other than 1; " +
          "they carry 1 now");
    }
    if (ownNumbers_ > 0) {
      Log("data file: " + N(ownNumbers_) + " records in use carry their own record number now");
    }
    if (const std::int64_t counted = std::int64_t{header.NextRecordNumber} - 1; counted != slots) {
      // The file holds fewer slots than the header counts: the count is the damage.
      Log("data file: its header counted " + N(counted) + " slots; the file holds " + N(slots));
      header.NextRecordNumber = slots + 1;
    }
    header.FreeSlotHead = head_;
    if (anyInUse_ && highestId_ > header.LastRecordId) {
      Log("data file: the last record identifier issued becomes " + N(highestId_) +
          ", the highest in use, instead of " + N(header.LastRecordId));
      header.LastRecordId = highestId_;
    }
    const std::int16_t blobIndicator = hasBlobs_ ? 1 : 0;
    if ((header.BlobIndicator != 0) != hasBlobs_) {
      Log(std::string("data file: its header ") + (hasBlobs_ ? "denied" : "claimed") +
          " a blob file; it says now that the table " + (hasBlobs_ ? "has" : "has no") +
          " blob file");
      header.BlobIndicator = blobIndicator;
    }
    data_.WriteHeader();
    data_.File().Flush();
  }

  // Step 6.
  void CheckLast() {
    std::unique_ptr<TDataFile> table = OpenNormally();
    std::vector<std::string> notes;
    const std::vector<std::string> problems = VerifyTable(*table, &notes);
    indexed_ = HighestIndexedRecord(*table);
    table->Close();
    for (const std::string& note : notes) Log("check: note: " + note);
    if (problems.empty()) {
      Log("check: the repaired table verifies clean");
      return;
    }
    for (const std::string& problem : problems) Log("check: " + problem);
    throw EDatabaseError("The repaired table " + data_.FileName() + " still has " +
                         N(problems.size()) + " problems");
  }

  // Every file of the table back as its copy holds it; the data file through the handler that
  // still holds it, when it does.
  void PutBack() noexcept {
    index_.Discard();
    blob_.Close();
    copies_.PutBack(&data_.File(), [this](const std::string& line) { Log(line); });
  }

  std::string tableName_;
  const TRepairEvents& events_;
  TRepairDataFile data_;
  TBlobRepair blob_;
  TIndexRebuild index_;
  bool hasBlobs_ = false;
  bool writing_ = false;
  // The highest record number the old indexes name (Step 1), 0 when unknown.
  std::int32_t indexed_ = 0;
  bool tableWritten_ = false;
  int lastPercent_ = -1;
  // What the scan found, in slot order.
  std::vector<std::int32_t> deleted_;   // slots deleted already
  std::vector<std::int32_t> oldLinks_;  // their links as they were
  std::vector<std::int32_t> dropped_;   // records deleted now (a unique key taken)
  std::vector<std::pair<std::int32_t, std::size_t>> cleared_;  // record, blob field lost
  std::int32_t oddStatus_ = 0;
  std::int32_t ownNumbers_ = 0;
  bool anyInUse_ = false;
  std::int32_t highestId_ = 0;
  // Every slot deleted after the repair with its link, in slot order, and the chain's head.
  std::vector<std::pair<std::int32_t, std::int32_t>> chain_;
  std::int32_t head_ = 0;
  TTableCopies copies_;
};

}  // namespace

TRepairOutcome RepairTable(const std::string& tableName, const TRepairEvents& events) {
  return TTableRepair(tableName, events).Run();
}

}  // namespace katalog
