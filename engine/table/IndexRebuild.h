// TIndexRebuild: a new index file for a table under repair, built beside the old one (its name
// with ".new" added) and put in the old one's place only when the repair commits.
//
// Reads: the old index file's header, for the index definitions and the change counter; none of
// its pages.
// Trusts: a definition only when it describes a key of the table's fields exactly as an open
// checks it (key fields that exist, a key length that matches them, a known compression), and a
// secondary index only with a name of its own. Every other definition is dropped and named in
// the log. When the header itself is missing or too short, no definition is known: the table is
// rebuilt without a primary index and without secondary indexes (keeping physical order, which
// is what a table without a primary index has), and the log says that every definition was lost.
// Writes: the new file, through the engine's trees: every key of every record in use, and, with
// a primary index, "Sys Deleted" for every slot; then the active-record count in its header.
// A record whose key a unique index (or the primary index) already holds for an earlier slot
// cannot be in that index: it is left out of every index and counted deleted (the caller marks
// its slot), logged with its record number and key fields; its bytes stay in the data file's
// copy. The old file is only replaced, in Commit.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/index/IndexFile.h"
#include "engine/index/IndexStore.h"
#include "engine/index/IndexTree.h"

namespace katalog {

class TRepairDataFile;

class TIndexRebuild {
 public:
  using TLog = std::function<void(const std::string& line)>;

  TIndexRebuild(const TRepairDataFile& data, TLog log);
  ~TIndexRebuild();
  TIndexRebuild(const TIndexRebuild&) = delete;
  TIndexRebuild& operator=(const TIndexRebuild&) = delete;

  // Reads the definitions from the old file and creates the new one (kAccessDenied when the old
  // file cannot be written).
  void Begin();
  bool HasPrimaryIndex() const { return primary_; }
  // Adds the keys of the record in use in slot n; false when one of its keys is taken (nothing
  // is added then, and the record is to be deleted).
  bool AddRecord(std::int32_t n, const std::uint8_t* record);
  // Adds a deleted slot (its status byte already 1) to "Sys Deleted".
  void AddDeletedSlot(std::int32_t n, const std::uint8_t* record);
  // Writes the new file and closes it.
  void Finish();
  // Puts the new file in the old one's place.
  void Commit();
  // Removes the new file (the repair stops).
  void Discard() noexcept;
  const std::string& FileName() const { return fileName_; }

 private:
  // The new file, under a name of its own choosing: the index file's with ".new" added.
  class TScratchFile : public TIndexFile {
   public:
    std::string NormalizeName(std::string_view name) const override { return std::string(name); }
  };

  void ReadDefinitions(TIndexFileHeader& header);
  void KeepDefinitions(const TIndexFileHeader& old, TIndexFileHeader& header);
  std::string DefinitionProblem(const TIndexDescriptor& index, int slot,
                                const std::vector<std::string>& names) const;
  std::string KeyText(const TIndexTree& tree, const std::uint8_t* record) const;
  const std::uint8_t* Padded(const std::uint8_t* record);

  const TRepairDataFile& data_;
  TLog log_;
  std::string fileName_;  // the index file's name
  TScratchFile scratch_;
  std::unique_ptr<TIndexStore> store_;
  std::vector<TIndexTree> trees_;  // the primary and secondary indexes in use
  std::vector<std::vector<std::uint8_t>> keys_;
  std::unique_ptr<TIndexTree> deleted_;
  bool primary_ = false;
  std::int32_t active_ = 0;
  std::vector<std::uint8_t> record_;
};

}  // namespace katalog
