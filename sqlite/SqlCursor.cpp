#include "sqlite/SqlCursor.h"

#include <algorithm>

#include "engine/index/IndexFileHeader.h"
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"
#include "platform/ScopeGuard.h"

namespace katalog::sqlite {

TSqlCursor::TSqlCursor(TSqlTable& table)
    : sqlite3_vtab_cursor{}, table_(table), file_(table.Lend(own_)) {
  const platform::TScopeFail giveBack([&] { table_.Release(file_); });
  record_.resize(file_.WorkingRecordSize());
  blobs_.resize(table.Columns().size());
  blobRead_.resize(table.Columns().size());
}

TSqlCursor::~TSqlCursor() {
  // The table's own handler goes back without a range, as plans count its records.
  try {
    if (rangeSet_ && !own_) file_.CancelRange();
  } catch (const std::exception&) {
    // The next query's filter sets its own range anyway.
  }
  table_.Release(file_);
}

void TSqlCursor::Filter(const TQueryPlan& plan, sqlite3_value** arguments) {
  plan_ = plan;
  eof_ = true;
  counting_ = false;
  bounds_.reset();
  if (rangeSet_) {
    file_.CancelRange();
    rangeSet_ = false;
  }
  file_.SetIndex(plan.Slot < 0 ? kPhysicalOrder : plan.Slot);
  if (plan.Equal >= 0 || plan.Lower >= 0 || plan.Upper >= 0) {
    const TSqlColumn& column = table_.Columns()[static_cast<std::size_t>(plan.Column)];
    bounds_.emplace(file_, plan, column, arguments, table_.Codec());
    if (bounds_->Empty()) return;
    if (!bounds_->Start().empty()) {
      file_.SetRange(bounds_->Start().data(), bounds_->End().data());
      rangeSet_ = true;
    }
  }
  if (plan.CountOnly && (!bounds_ || bounds_->Exact())) {
    counting_ = true;
    counted_ = 0;
    total_ = file_.RecordCount();
    eof_ = total_ == 0;
    return;
  }
  plan.Backward ? file_.GoLast() : file_.GoFirst();
  Advance();
}

void TSqlCursor::Next() {
  if (counting_) {
    eof_ = ++counted_ >= total_;
    return;
  }
  Advance();
}

void TSqlCursor::Advance() {
  eof_ = false;
  for (;;) {
    const int code = plan_.Backward ? file_.GoPrior(record_.data()) : file_.GoNext(record_.data());
    if (code == ie::kEndOfFile || code == ie::kBeginningOfFile) {
      eof_ = true;
      return;
    }
    RaiseIfIsamError(code);
    // A record another program deleted just as the walk reached it can come back with its
    // deleted status (and its memos' blocks freed): it is no row.
    if (record_[0] != 0) continue;
    if (bounds_ && !bounds_->Exact() && !bounds_->Admits(record_.data())) continue;
    if (ReadRow()) return;
  }
}

bool TSqlCursor::ReadRow() {
  const std::uint64_t seen = file_.ChangesFound();
  try {
    ReadBlobs();
    if (file_.ChangesFound() == seen) return true;
  } catch (const EIsamEngineError&) {
    // A chain another program rewrote under us reads as damaged: only damage if nothing changed.
    if (file_.ChangesFound() == seen) throw;
  }
  file_.AcquireReadAccess();
  const platform::TScopeExit release([&] { file_.ReleaseReadAccess(); });
  if (file_.GetCurrent(record_.data(), false) != 0 || record_[0] != 0) return false;
  if (bounds_ && !bounds_->Admits(record_.data())) return false;
  ReadBlobs();
  return true;
}

void TSqlCursor::ReadBlobs() {
  std::fill(blobRead_.begin(), blobRead_.end(), false);
  const std::vector<TSqlColumn>& columns = table_.Columns();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (!columns[i].InBlobFile() || !plan_.Uses(static_cast<int>(i))) continue;
    const int field = columns[i].Field->FieldNumber;
    std::optional<std::string>& contents = blobs_[i];
    if (std::holds_alternative<std::monostate>(
            file_.ReadField(TFieldSet::Physical, field, record_.data()))) {
      contents.reset();
    } else {
      if (!contents) contents.emplace();
      RaiseIfIsamError(file_.ReadBlobContents(
          TFieldSet::Physical, field, record_.data(), [&](std::span<const std::uint8_t> bytes) {
            contents->assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
          }));
    }
    blobRead_[i] = true;
  }
}

void TSqlCursor::StartWalking() {
  counting_ = false;
  plan_.Backward ? file_.GoLast() : file_.GoFirst();
  for (std::int64_t row = 0; row <= counted_; ++row) {
    Advance();
    if (eof_) return;
  }
}

void TSqlCursor::Column(sqlite3_context* context, int column) {
  if (counting_) StartWalking();
  const auto index = static_cast<std::size_t>(column);
  if (eof_ || index >= table_.Columns().size()) return sqlite3_result_null(context);
  const TSqlColumn& c = table_.Columns()[index];
  if (!c.InBlobFile()) {
    const TFieldValue value =
        file_.ReadField(TFieldSet::Physical, c.Field->FieldNumber, record_.data());
    return SetResult(context, c, value, table_.Codec(), text_);
  }
  if (!blobRead_[index]) {
    // A column SQLite did not announce: read now, from the same copy of the record.
    plan_.UsedColumns |= std::uint64_t{1} << std::min(column, 63);
    ReadBlobs();
  }
  SetBlobResult(context, c, blobs_[index], table_.Codec(), text_);
}

sqlite3_int64 TSqlCursor::Rowid() {
  if (counting_) StartWalking();
  return eof_ ? 0 : LoadI32(record_.data() + 1);  // the record number
}

}  // namespace katalog::sqlite
