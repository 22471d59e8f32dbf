// TBlobRepair: the blob file of a table under repair.
//
// Reads: the header, through a blob file object that also takes a header of the wrong version
// (every header field is set anew here); then, for each record in use, the blocks of its chains.
// The end of the blocks is the header's where that lies on a block boundary within the file,
// else the end of the file's last whole block.
// Trusts: the block size the data file gives; a chain only once it passes every check the
// verifier makes (TBlobFile::CheckChain: blocks of the owning record, pointers inside the file,
// no circle; then links back, lengths, used bytes, and no block used by an earlier chain). A
// chain that fails any of them loses its value; the record keeps its other fields.
// Writes, in Commit only, after every record was seen: the free-block list, unless the old one
// holds exactly the blocks no sound chain uses, anew through those blocks in file order (their
// next fields); the header; the file's length (cut after the last block). A missing blob file, or
// one too short for its header, is made anew, empty.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/index/BlobFile.h"

namespace katalog {

class TRepairDataFile;

class TBlobRepair {
 public:
  using TLog = std::function<void(const std::string& line)>;

  TBlobRepair(TRepairDataFile& data, TLog log);
  ~TBlobRepair();
  TBlobRepair(const TBlobRepair&) = delete;
  TBlobRepair& operator=(const TBlobRepair&) = delete;

  // Opens the blob file exclusively (kAccessDenied when another program has it open or it cannot be
  // written) and logs what is wrong with its header or its length.
  void Open();
  bool IsOpen() const { return file_.IsOpen(); }
  TFileHandler& File() { return file_; }
  // Checks the chains of the record in use in slot n; returns the indexes (into the data file's
  // fields) of the blob fields whose values are lost, each logged with its reason.
  std::vector<std::size_t> Check(std::int32_t n, const std::uint8_t* record);
  // Writes the free-block list, the header and the file's length.
  void Commit();
  void Close();

 private:
  // A blob file whose header is read whatever its version says.
  class TLenientBlobFile : public TBlobFile {
   protected:
    void CheckHeader() const override {}
  };

  std::string ChainProblem(std::int32_t n, std::int32_t first, std::vector<std::int32_t>& chain);
  std::int32_t OffsetOf(std::size_t block) const;
  std::size_t BlockOf(std::int32_t offset) const;
  void ReadFreeList();
  void MakeEmptyFile();

  TRepairDataFile& data_;
  TLog log_;
  TLenientBlobFile file_;
  std::int32_t blockSize_ = 0;
  std::int64_t length_ = 0;
  std::int32_t end_ = kBlobHeaderSize;
  bool remake_ = false;  // the file is missing or too short: made anew, empty
  // The record whose sound chain holds each block, 0 for none.
  std::vector<std::int32_t> owners_;
  // The free-block list as it was, in file order, and whether it could be followed to its end.
  std::int32_t oldHead_ = 0;
  std::vector<std::int32_t> oldFree_;
  bool oldFreeSound_ = true;
};

}  // namespace katalog
