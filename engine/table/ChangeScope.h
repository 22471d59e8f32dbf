// TDataFile::TChangeScope: one Insert, Update or Delete from its first alteration to its commit.
//
// A change alters, in memory, the three headers, the record cache, the index pages and the blob
// blocks step by step; any step may be refused (a full file, a damaged page, a failed write).
// The scope keeps the headers as the change found them and has each cache record what the change
// reaches (UndoLog.h); unless Commit() is reached, leaving the scope puts everything back, so the
// next change works on the table as it was. Until then the caches write nothing, so nothing of
// the change reaches a file before the change's own write.
//
// When the change's write itself fails (Writing() was called), the files may hold part of it:
// the restored state is then marked modified and written again, under the write locks the change
// still holds, so that the files go back to what they were. That is the best that can be done
// without a journal; if the write fails again the table needs repair.
#pragma once

#include <optional>

#include "engine/table/DataFile.h"

namespace katalog {

class TDataFile::TChangeScope {
 public:
  explicit TChangeScope(TDataFile& table);
  ~TChangeScope();
  TChangeScope(const TChangeScope&) = delete;
  TChangeScope& operator=(const TChangeScope&) = delete;

  // The change starts to write its buffers to the files.
  void Writing() { writing_ = true; }
  // The change is complete (written, or kept in memory under a lock): nothing goes back.
  void Commit();

 private:
  void RollBack() noexcept;

  TDataFile& table_;
  TDataFileHeader header_;
  bool headerChanged_;
  TIndexFile::TChangeState index_;
  std::optional<TBlobFile::TChangeState> blob_;
  bool writing_ = false;
  bool committed_ = false;
};

}  // namespace katalog
