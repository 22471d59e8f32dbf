#include "engine/table/ChangeScope.h"

#include "platform/ExceptionReporter.h"

namespace katalog {

TDataFile::TChangeScope::TChangeScope(TDataFile& table)
    : table_(table),
      header_(table.header_),
      headerChanged_(table.headerChanged_),
      index_(table.indexFile_.SaveChangeState()) {
  // A change that writes its buffers itself may have to write back what was there; one that
  // stays in memory (exclusive, locked) finds a clean buffer's content in the file.
  const bool writes = table.WritesEachChange();
  if (table.blobFile_.IsOpen()) {
    blob_ = table.blobFile_.SaveChangeState();
    table.blobFile_.Blocks().BeginChange(writes);
  }
  table.store_.BeginChange(writes);
  table.cache_->BeginChange();
}

TDataFile::TChangeScope::~TChangeScope() {
  if (!committed_) RollBack();
}

void TDataFile::TChangeScope::Commit() {
  committed_ = true;
  table_.cache_->CommitChange();
  table_.store_.CommitChange();
  if (blob_) table_.blobFile_.Blocks().CommitChange();
}

void TDataFile::TChangeScope::RollBack() noexcept {
  // After a failed write the restored state is written again: whatever part of the change
  // reached the files is overwritten with what was there before.
  const bool rewrite = writing_;
  table_.header_ = header_;
  table_.headerChanged_ = headerChanged_ || rewrite;
  table_.indexFile_.RestoreChangeState(index_);
  if (rewrite) table_.indexFile_.MarkHeaderModified();
  table_.cache_->RollBackChange(rewrite);
  table_.store_.RollBackChange(rewrite);
  if (blob_) {
    table_.blobFile_.RestoreChangeState(*blob_);
    if (rewrite) table_.blobFile_.MarkHeaderModified();
    table_.blobFile_.Blocks().RollBackChange(rewrite);
  }
  if (rewrite) {
    platform::RunReported(
        [this] { table_.WriteEverything(THeaderWrite::Always, TCacheTrim::Keep); });
  }
}

}  // namespace katalog
