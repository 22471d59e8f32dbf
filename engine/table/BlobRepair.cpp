#include "engine/table/BlobRepair.h"

#include <algorithm>

#include "engine/index/BlobBlock.h"
#include "engine/storage/IsamError.h"
#include "engine/table/RepairDataFile.h"
#include "platform/ByteOrder.h"
#include "platform/FileSystem.h"

namespace katalog {
namespace {

std::string N(std::int64_t value) {
  return std::to_string(value);
}

}  // namespace

TBlobRepair::TBlobRepair(TRepairDataFile& data, TLog log) : data_(data), log_(std::move(log)) {}

TBlobRepair::~TBlobRepair() {
  Close();
}

void TBlobRepair::Close() {
  file_.Close();
}

std::int32_t TBlobRepair::OffsetOf(std::size_t block) const {
  return kBlobHeaderSize + static_cast<std::int32_t>(block) * blockSize_;
}

std::size_t TBlobRepair::BlockOf(std::int32_t offset) const {
  return static_cast<std::size_t>((offset - kBlobHeaderSize) / blockSize_);
}

void TBlobRepair::Open() {
  file_.SetExclusive(true);
  file_.SetEncrypted(data_.Header().Encrypted != 0);
  file_.SetBlockSize(data_.Header().BlobBlockSize);
  file_.SetFileName(data_.FileName());
  blockSize_ = static_cast<std::int32_t>(file_.BlockSize());
  if (!file_.Exists()) {
    log_("blob file: it is missing; an empty one is made");
    remake_ = true;
    return;
  }
  {
    TFileHandler plain;
    plain.SetExclusive(true);
    plain.SetFileName(file_.FileName());
    plain.Open();
    length_ = plain.GetSize();
  }
  if (length_ < kBlobHeaderSize) {
    log_("blob file: it is " + N(length_) + " bytes long, too short for its header; an empty one " +
         "is made");
    remake_ = true;
    return;
  }
  file_.Open();
  if (file_.ReadOnlyMedia()) RaiseOsError(platform::kErrorAccessDenied, file_.FileName());
  // Only what is left of the file after the header holds blocks; the header's end is taken where
  // it names a block boundary within the file.
  const TBlobFileHeader header = file_.Header();
  const std::int64_t whole =
      kBlobHeaderSize + (length_ - kBlobHeaderSize) / blockSize_ * std::int64_t{blockSize_};
  const std::int64_t end = header.EndOfFile;
  const bool boundary = end >= kBlobHeaderSize && (end - kBlobHeaderSize) % blockSize_ == 0;
  if (header.FormatVersion != kBlobFormatVersion) {
    log_("blob file: its header gives version " + N(header.FormatVersion) +
         "; it is made anew, keeping the file's " + N((whole - kBlobHeaderSize) / blockSize_) +
         " whole blocks");
    end_ = static_cast<std::int32_t>(whole);
  } else if (!boundary) {
    log_("blob file: its header puts the end of its blocks at " + N(end) +
         ", which is not a block boundary; the file's whole blocks are kept");
    end_ = static_cast<std::int32_t>(whole);
  } else if (end > length_) {
    log_("blob file: the file is " + N(length_) + " bytes long, but its header says its blocks " +
         "end at " + N(end) + "; its blocks end at " + N(whole) + " now");
    end_ = static_cast<std::int32_t>(whole);
  } else {
    end_ = static_cast<std::int32_t>(end);
  }
  TBlobFileHeader& fixed = file_.MutableHeader();
  fixed.FormatVersion = kBlobFormatVersion;
  fixed.EndOfFile = end_;
  owners_.assign(static_cast<std::size_t>((end_ - kBlobHeaderSize) / blockSize_), 0);
  if (header.FormatVersion == kBlobFormatVersion) {
    ReadFreeList();
  } else {
    oldFreeSound_ = false;
  }
}

// The free-block list as the header and the blocks give it, followed no further than the file
// has blocks.
void TBlobRepair::ReadFreeList() {
  std::vector<bool> seen(owners_.size(), false);
  oldHead_ = file_.Header().FreeBlockHead;
  for (std::int32_t offset = oldHead_; offset != 0;) {
    if (offset < kBlobHeaderSize || offset >= end_ ||
        (offset - kBlobHeaderSize) % blockSize_ != 0 || seen[BlockOf(offset)]) {
      oldFreeSound_ = false;
      break;
    }
    seen[BlockOf(offset)] = true;
    oldFree_.push_back(offset);
    offset = file_.Blocks().Fetch(offset)->Next;
  }
  std::sort(oldFree_.begin(), oldFree_.end());
}

std::vector<std::size_t> TBlobRepair::Check(std::int32_t n, const std::uint8_t* record) {
  std::vector<std::size_t> lost;
  const std::vector<TFieldDescriptor>& fields = data_.Fields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const TFieldDescriptor& field = fields[i];
    if (field.FieldTypeCode != ft::kBlob || !field.Expression.empty()) continue;
    const std::int32_t first = LoadI32(record + field.FieldOffset + 1);
    if (first == 0) continue;
    std::vector<std::int32_t> chain;
    const std::string problem = ChainProblem(n, first, chain);
    if (problem.empty()) {
      for (std::int32_t offset : chain) owners_[BlockOf(offset)] = n;
      continue;
    }
    log_("blob file: record " + N(n) + " field " + field.Name + ": " + problem +
         "; the value is cleared");
    lost.push_back(i);
  }
  return lost;
}

// Why the chain from `first` cannot be the record's value, or "" when it can (its blocks are
// then in `chain`).
std::string TBlobRepair::ChainProblem(std::int32_t n, std::int32_t first,
                                      std::vector<std::int32_t>& chain) {
  const std::string from = "block " + N(first);
  if (first < 0) return "it holds the negative block reference " + N(first);
  if (remake_) return "it refers to " + from + ", but the blob file was lost";
  try {
    chain = file_.CheckChain(first, n);
  } catch (const EIsamEngineError& e) {
    if (e.ErrorCode() != ie::kBlobBuffersCorrupt) throw;
    return "the chain from " + from +
           " leads outside the file's blocks, to a block of another record or round in a circle";
  }
  const std::int32_t perBlock = blockSize_ - kBlockHeaderSize;
  std::int32_t length = 0, held = 0, previous = 0;
  for (std::size_t i = 0; i < chain.size(); ++i) {
    const std::int32_t offset = chain[i];
    const std::string at = "block " + N(offset);
    TBlockRef block = file_.Blocks().Fetch(offset);
    if (i == 0) {
      length = block->Total;
      if (length <= 0) return at + " gives the blob length " + N(length);
    } else if (block->Total != 0) {
      return at + " gives the blob length " + N(block->Total) + ", not first";
    }
    if (block->Previous != previous) {
      return at + " links back to " + N(block->Previous) + " instead of " + N(previous);
    }
    const std::int32_t expected = std::min(perBlock, length - held);
    if (expected <= 0) return "the chain goes on after the blob's " + N(length) + " bytes";
    if (block->Used != expected) {
      return at + " holds " + N(block->Used) + " bytes instead of " + N(expected);
    }
    if (const std::int32_t owner = owners_[BlockOf(offset)]; owner != 0) {
      return at + (owner == n ? " also holds another field of the record"
                              : " is also used by record " + N(owner));
    }
    held += block->Used;
    previous = offset;
  }
  if (held != length) return "the chain holds " + N(held) + " of " + N(length) + " bytes";
  return "";
}

void TBlobRepair::MakeEmptyFile() {
  file_.Close();
  TBlobFile made;
  made.SetExclusive(true);
  made.SetEncrypted(data_.Header().Encrypted != 0);
  made.SetFileName(data_.FileName());
  made.CreateEmpty();
  made.WriteHeader(true);
  made.Close();
}

void TBlobRepair::Commit() {
  if (remake_) return MakeEmptyFile();
  std::vector<std::int32_t> free;
  for (std::size_t i = 0; i < owners_.size(); ++i) {
    if (owners_[i] == 0) free.push_back(OffsetOf(i));
  }
  // A list that holds exactly the blocks no blob uses stays as it is.
  if (oldFreeSound_ && free == oldFree_) {
    file_.MutableHeader().FreeBlockHead = oldHead_;
    free.clear();
  } else {
    log_("blob file: the free-block list is made anew from the " + N(free.size()) +
         " blocks no blob uses");
    file_.MutableHeader().FreeBlockHead = free.empty() ? 0 : free.front();
  }
  for (std::size_t i = 0, runEnd = 0; i < free.size(); ++i) {
    // Consecutive free blocks are read in one request.
    if (runEnd <= i) {
      for (runEnd = i + 1; runEnd < free.size() && free[runEnd] == free[runEnd - 1] + blockSize_;)
        ++runEnd;
    }
    const std::int32_t next = i + 1 < free.size() ? free[i + 1] : 0;
    const auto ahead = static_cast<std::int32_t>(runEnd - i);
    TBlockRef block = file_.Blocks().Fetch(free[i], ahead);
    if (block->Next == next) continue;
    block->Next = next;
    file_.Blocks().MarkModified(*block);
  }
  file_.Blocks().Flush();
  file_.WriteHeader(true);
  if (length_ > end_) {
    file_.Seek(end_, 0);
    file_.Write(nullptr, 0);
    log_("blob file: the " + N(length_ - end_) + " bytes after its last block are cut off");
  }
  file_.Flush();
}

}  // namespace katalog
