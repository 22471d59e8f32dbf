#include "engine/index/BlobFile.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "engine/index/IndexStore.h"
#include "engine/storage/IsamError.h"
#include "engine/storage/TableFileNames.h"
#include "platform/ByteOrder.h"

namespace katalog {

TBlobFileHeader DecodeBlobFileHeader(const std::uint8_t* b) {
  TBlobFileHeader h;
  h.ChangeCounter = LoadI32(b);
  h.FormatVersion = b[8];
  h.FreeBlockHead = LoadI32(b + 9);
  h.EndOfFile = LoadI32(b + 13);
  h.HeaderModified = 0;  // the writer's flag means nothing to a reader
  return h;
}

void EncodeBlobFileHeader(const TBlobFileHeader& h, std::uint8_t* b) {
  std::memset(b, 0, kBlobHeaderSize);
  StoreI32(b, h.ChangeCounter);
  b[8] = h.FormatVersion;
  StoreI32(b + 9, h.FreeBlockHead);
  StoreI32(b + 13, h.EndOfFile);
  b[17] = h.HeaderModified;
}

std::string TBlobFile::NormalizeName(std::string_view name) const {
  return WithExtension(name, ".BLB");
}

void TBlobFile::EncodeHeader(std::uint8_t* bytes, bool modified) const {
  TBlobFileHeader written = header_;
  written.HeaderModified = modified ? 1 : 0;
  EncodeBlobFileHeader(written, bytes);
}

void TBlobFile::CheckHeader() const {
  if (header_.FormatVersion != kBlobFormatVersion) Raise(ie::kWrongVersion);
}

void TBlobFile::Open() {
  if (IsOpen()) return;
  THeaderFile::Open();
  open_.clear();
  blocks_.Reset(blockSize_);
}

void TBlobFile::Close() {
  open_.clear();
  blocks_.DiscardAll();
  window_.clear();
  windowBlocks_ = 0;
  THeaderFile::Close();
}

std::int32_t TBlobFile::ReadBlocks(std::int32_t offset, std::uint8_t* bytes, std::int32_t count,
                                   bool tolerateShortRead) {
  Seek(offset, 0);
  const std::int32_t size = static_cast<std::int32_t>(blockSize_);
  return Read(bytes, count * size, tolerateShortRead) / size;
}

void TBlobFile::WriteBlocks(std::int32_t offset, const std::uint8_t* bytes, std::int32_t count) {
  Seek(offset, 0);
  Write(bytes, count * static_cast<std::int32_t>(blockSize_));
}

std::int32_t TBlobFile::BlocksFor(std::int32_t bytes) const {
  return std::max<std::int32_t>(1, (bytes + DataPerBlock() - 1) / DataPerBlock());
}

// A next pointer must name a block of the file.
void TBlobFile::CheckNext(std::int32_t next) const {
  const bool valid = next >= kBlobHeaderSize && next < header_.EndOfFile &&
                     (next - kBlobHeaderSize) % static_cast<std::int32_t>(blockSize_) == 0;
  if (!valid) Raise(ie::kBlobBuffersCorrupt);
}

TBlobBuffer* TBlobFile::Find(std::int32_t handle) {
  const auto it = open_.find(handle);
  return it == open_.end() ? nullptr : &it->second;
}

const TBlobBuffer* TBlobFile::Buffer(std::int32_t handle) const {
  const auto it = open_.find(handle);
  return it == open_.end() ? nullptr : &it->second;
}

// One block of a chain being read: its header fields and its data bytes, either in place in a
// mapped file or in a pinned buffer of the block cache.
struct TBlobFile::TChainBlock {
  std::int32_t Next = 0;
  std::uint16_t Used = 0;
  std::int32_t Record = 0;
  std::int32_t Total = 0;
  const std::uint8_t* Data = nullptr;
  TBlockRef Pinned;
};

void TBlobFile::FetchChainBlock(std::int32_t offset, std::int32_t readAhead, TChainBlock& block) {
  // A mapped file cannot change and an unenciphered one is read in place: nothing is decoded into
  // the cache. The blocks of a pass through the file come from a window read ahead, the others
  // from the mapping.
  if (Mapped() && !Encrypted()) {
    const std::uint8_t* bytes = readAhead > 1 || InWindow(offset) ? WindowBlock(offset) : nullptr;
    if (!bytes) bytes = MappedBytes(offset, static_cast<std::int32_t>(blockSize_)).data();
    if (bytes) {
      block.Next = LoadI32(bytes + 4);
      block.Used = LoadU16(bytes + 8);
      block.Record = LoadI32(bytes + 10);
      block.Total = LoadI32(bytes + 14);
      block.Data = bytes + kBlockHeaderSize;
      return;
    }
  }
  block.Pinned = blocks_.Fetch(offset, readAhead);
  block.Next = block.Pinned->Next;
  block.Used = block.Pinned->Used;
  block.Record = block.Pinned->Record;
  block.Total = block.Pinned->Total;
  block.Data = block.Pinned->Data.data();
}

const std::uint8_t* TBlobFile::WindowBlock(std::int32_t offset) {
  const auto size = static_cast<std::int32_t>(blockSize_);
  if (!InWindow(offset)) {
    const std::int32_t count =
        std::clamp<std::int32_t>((header_.EndOfFile - offset) / size, 1, blocks_.ReadAheadLimit());
    window_.resize(static_cast<std::size_t>(count) * blockSize_);
    windowStart_ = offset;
    windowBlocks_ = 0;
    windowBlocks_ = ReadBlocks(offset, window_.data(), count, true);
    if (windowBlocks_ == 0) return nullptr;
  }
  return window_.data() + (offset - windowStart_);
}

// Reads the whole chain into `data`. A chain that starts where the last one read ended belongs to
// a pass through the file (a search reading every record's memo in record order): its first block
// is fetched with the longest read-ahead, so that one request serves the chains that follow. Any
// other chain starts with its first block alone. A chain can hold no more blocks than the file: a
// longer walk is a cycle. Blocks met twice are found once the walk ends, by sorting what it met.
void TBlobFile::ReadChain(std::int32_t firstBlock, std::int32_t record,
                          std::vector<std::uint8_t>& data) {
  const std::int32_t blocksInFile =
      (header_.EndOfFile - kBlobHeaderSize) / std::int32_t(blockSize_);
  for (;;) {
    try {
      const bool pass = firstBlock == lastChainEnd_;
      TChainBlock block;
      FetchChainBlock(firstBlock, pass ? blocks_.ReadAheadLimit() : 1, block);
      std::int32_t last = firstBlock;
      if (block.Record != record) Raise(ie::kBlobBuffersCorrupt);
      const std::int32_t length = block.Total;
      // No chain in this file can hold more than its blocks do.
      const std::int64_t room = std::int64_t{header_.EndOfFile} / blockSize_ * DataPerBlock();
      if (length < 0 || length > room) Raise(ie::kBlobBuffersCorrupt);
      data.resize(static_cast<std::size_t>(length));
      chainVisits_.assign(1, firstBlock);
      std::int32_t copied = 0;
      for (;;) {
        const std::int32_t take =
            std::min<std::int32_t>({DataPerBlock(), length - copied, block.Used});
        if (take > 0) {
          std::memcpy(data.data() + copied, block.Data, static_cast<std::size_t>(take));
        }
        copied += take;
        const std::int32_t next = block.Next;
        if (copied >= length || next == 0) break;
        CheckNext(next);
        if (static_cast<std::int32_t>(chainVisits_.size()) >= blocksInFile)
          Raise(ie::kBlobBuffersCorrupt);
        chainVisits_.push_back(next);
        block = TChainBlock{};
        FetchChainBlock(next, BlocksFor(length - copied), block);
        last = next;
        if (block.Record != record) Raise(ie::kBlobBuffersCorrupt);
      }
      if (copied != length) Raise(ie::kEndOfBlob);
      if (chainVisits_.size() > 1) {
        std::sort(chainVisits_.begin(), chainVisits_.end());
        if (std::adjacent_find(chainVisits_.begin(), chainVisits_.end()) != chainVisits_.end())
          Raise(ie::kBlobBuffersCorrupt);
      }
      lastChainEnd_ = last + static_cast<std::int32_t>(blockSize_);
      return;
    } catch (const TRestart&) {
    }
  }
}

int TBlobFile::OpenBlob(std::int32_t firstBlock, std::int32_t record, std::uint16_t field,
                        std::int32_t& handle) {
  if (OpenCount() >= kMaxOpenBlobs) return ie::kTooManyBlobs;
  TBlobBuffer blob;
  blob.Record = record;
  blob.Field = field;
  blob.FirstBlock = firstBlock;
  if (firstBlock != 0) ReadChain(firstBlock, record, blob.Data);
  while (nextHandle_ <= 0 || open_.count(nextHandle_)) {
    nextHandle_ = nextHandle_ <= 0 ? 1 : nextHandle_ + 1;
  }
  handle = nextHandle_++;
  open_.emplace(handle, std::move(blob));
  return 0;
}

int TBlobFile::CloseBlob(std::int32_t handle, std::int32_t& firstBlock) {
  TBlobBuffer* blob = Find(handle);
  if (!blob) return ie::kInvalidBlobHandle;
  firstBlock = blob->FirstBlock;
  open_.erase(handle);
  return 0;
}

int TBlobFile::ReadBlob(std::int32_t handle, std::int32_t offset, std::int32_t count,
                        std::uint8_t* to, std::int32_t& copied) {
  copied = 0;
  TBlobBuffer* blob = Find(handle);
  if (!blob) return ie::kInvalidBlobHandle;
  if (offset < 0 || count < 0) return ie::kInvalidBlobLength;
  const auto length = static_cast<std::int64_t>(blob->Data.size());
  const std::int64_t available = std::max<std::int64_t>(0, length - offset);
  copied = static_cast<std::int32_t>(std::min<std::int64_t>(count, available));
  if (copied > 0) std::memcpy(to, blob->Data.data() + offset, static_cast<std::size_t>(copied));
  return copied < count ? ie::kEndOfBlob : 0;
}

int TBlobFile::WriteBlob(std::int32_t handle, std::int32_t offset, std::int32_t count,
                         const std::uint8_t* from) {
  TBlobBuffer* blob = Find(handle);
  if (!blob) return ie::kInvalidBlobHandle;
  if (offset < 0 || count < 0 || std::int64_t{offset} + count > 0x7FFFFFFF) {
    return ie::kInvalidBlobLength;
  }
  const std::size_t end = static_cast<std::size_t>(offset) + static_cast<std::size_t>(count);
  if (blob->Data.size() < end) blob->Data.resize(end, 0);
  if (count > 0) std::memcpy(blob->Data.data() + offset, from, static_cast<std::size_t>(count));
  blob->Modified = true;
  return 0;
}

int TBlobFile::SetBlobLength(std::int32_t handle, std::int32_t length) {
  TBlobBuffer* blob = Find(handle);
  if (!blob) return ie::kInvalidBlobHandle;
  if (length < 0) return ie::kInvalidBlobLength;
  if (static_cast<std::size_t>(length) != blob->Data.size()) {
    blob->Data.resize(static_cast<std::size_t>(length), 0);
    if (length == 0) blob->Data.shrink_to_fit();
    blob->Modified = true;
  }
  return 0;
}

int TBlobFile::GetBlobLength(std::int32_t handle, std::int32_t& length) const {
  const TBlobBuffer* blob = Buffer(handle);
  length = blob ? static_cast<std::int32_t>(blob->Data.size()) : 0;
  return blob ? 0 : ie::kInvalidBlobHandle;
}

TBlobFile::TChangeState TBlobFile::SaveChangeState() const {
  TChangeState state{header_, HeaderModified(), {}};
  for (const auto& [handle, blob] : open_) {
    state.Open.push_back({handle, blob.Record, blob.FirstBlock, blob.Modified});
  }
  return state;
}

void TBlobFile::RestoreChangeState(const TChangeState& state) {
  header_ = state.Header;
  RestoreHeaderModified(state.Modified);
  for (const TOpenPlace& place : state.Open) {
    if (TBlobBuffer* blob = Find(place.Handle)) {
      blob->Record = place.Record;
      blob->FirstBlock = place.FirstBlock;
      blob->Modified = place.Modified;
    }
  }
}

void TBlobFile::AssignRecordNumber(std::int32_t record) {
  for (auto& [handle, blob] : open_) blob.Record = record;
}

void TBlobFile::SaveAll() {
  std::int32_t record = 0;
  for (const auto& [handle, blob] : open_) {
    if (!blob.Modified) continue;
    if (record != 0 && blob.Record != record) Raise(ie::kBlobBuffersCorrupt);
    record = blob.Record;
  }
  for (auto& [handle, blob] : open_) {
    if (blob.Modified) SaveBlob(blob);
  }
}

// Writes the blob over its chain: the blocks it has are reused in order, more are allocated, and
// what is left of a longer old chain is released.
void TBlobFile::SaveBlob(TBlobBuffer& blob) {
  const auto length = static_cast<std::int32_t>(blob.Data.size());
  if (length == 0) {
    if (blob.FirstBlock != 0) ReleaseChain(blob.FirstBlock, blob.Record);
    blob.FirstBlock = 0;
    blob.Modified = false;
    return;
  }
  TBlockRef block;
  std::int32_t oldLength = 0;
  if (blob.FirstBlock != 0) {
    block = blocks_.Fetch(blob.FirstBlock);
    if (block->Record != blob.Record) Raise(ie::kBlobBuffersCorrupt);
    oldLength = block->Total;
  } else {
    block = blocks_.Allocate(blob.Record);
    blob.FirstBlock = block->Offset;
  }
  block->Total = length;
  std::set<std::int32_t> visited{blob.FirstBlock};
  std::int32_t written = 0;
  for (;;) {
    const std::int32_t take = std::min(DataPerBlock(), length - written);
    std::fill(block->Data.begin(), block->Data.end(), 0);
    std::memcpy(block->Data.data(), blob.Data.data() + written, static_cast<std::size_t>(take));
    block->Used = static_cast<std::uint16_t>(take);
    blocks_.MarkModified(*block);
    written += take;
    if (written >= length) break;
    TBlockRef next;
    if (block->Next != 0) {
      CheckNext(block->Next);
      if (!visited.insert(block->Next).second) Raise(ie::kBlobBuffersCorrupt);
      next = blocks_.Fetch(block->Next, BlocksFor(oldLength - written));
      if (next->Record != blob.Record) Raise(ie::kBlobBuffersCorrupt);
    } else {
      next = blocks_.Allocate(blob.Record);
      block->Next = next->Offset;
      next->Previous = block->Offset;
    }
    next->Total = 0;
    block = std::move(next);
  }
  if (block->Next != 0) {
    const std::int32_t rest = block->Next;
    block->Next = 0;
    blocks_.MarkModified(*block);
    ReleaseChain(rest, blob.Record);
  }
  blob.Modified = false;
}

// Follows the whole chain first, so that a block of another record, a pointer outside the file
// or a cycle is found before anything is released; then releases the blocks in chain order.
void TBlobFile::ReleaseChain(std::int32_t firstBlock, std::int32_t record) {
  for (std::int32_t offset : CheckChain(firstBlock, record)) {
    TBlockRef block = blocks_.Fetch(offset);
    blocks_.Release(*block);
  }
}

std::vector<std::int32_t> TBlobFile::CheckChain(std::int32_t firstBlock, std::int32_t record) {
  std::vector<std::int32_t> chain;
  std::set<std::int32_t> visited;
  for (std::int32_t offset = firstBlock; offset != 0;) {
    CheckNext(offset);
    if (!visited.insert(offset).second) Raise(ie::kBlobBuffersCorrupt);
    TBlockRef block = blocks_.Fetch(offset);
    if (block->Record != record) Raise(ie::kBlobBuffersCorrupt);
    chain.push_back(offset);
    offset = block->Next;
  }
  return chain;
}

}  // namespace katalog
