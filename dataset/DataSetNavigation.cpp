// TDataSet: filling the buffer window, moving through the records, bookmarks.
#include <algorithm>

#include "dataset/DataSet.h"
#include "dataset/DatabaseError.h"
#include "platform/ScopeGuard.h"

namespace katalog {

void TDataSet::ClearBuffers() {
  recordCount_ = 0;
  activeRecord_ = 0;
  currentRecord_ = -1;
  bof_ = true;
  eof_ = true;
}

void TDataSet::ActivateBuffers() {
  recordCount_ = 1;
  activeRecord_ = 0;
  currentRecord_ = 0;
  bof_ = false;
  eof_ = false;
}

void TDataSet::MoveBuffer(int from, int to) {
  auto first = buffers_.begin();
  if (from < to) {
    std::rotate(first + from, first + from + 1, first + to + 1);
  } else if (from > to) {
    std::rotate(first + to, first + from, first + from + 1);
  }
}

void TDataSet::SetCurrentRecord(int index) {
  if (currentRecord_ == index) return;
  const TRecordBuffer buffer = buffers_[static_cast<std::size_t>(index)].get();
  switch (ReadBookmarkFlag(buffer)) {
    case TBookmarkFlag::Current:
    case TBookmarkFlag::Inserted:
      CursorSetToRecord(buffer);
      break;
    case TBookmarkFlag::AtBof:
      CursorFirst();
      break;
    case TBookmarkFlag::AtEof:
      CursorLast();
      break;
  }
  currentRecord_ = index;
}

void TDataSet::UpdateCursorPos() {
  if (recordCount_ > 0) SetCurrentRecord(activeRecord_);
}

bool TDataSet::GetNextRecord() {
  TFetchMode mode = TFetchMode::FetchNext;
  if (recordCount_ > 0) {
    SetCurrentRecord(recordCount_ - 1);
    if (state_ == TDataSetState::Inserting && currentRecord_ == activeRecord_ &&
        ReadBookmarkFlag(ActiveBuffer()) == TBookmarkFlag::Current) {
      mode = TFetchMode::FetchCurrent;
    }
  }
  const TRecordBuffer scratch = buffers_[static_cast<std::size_t>(recordCount_)].get();
  if (FetchRecord(scratch, mode, true) != TFetchResult::FetchOk) {
    currentRecord_ = -1;
    return false;
  }
  if (recordCount_ == 0) {
    ActivateBuffers();
  } else if (recordCount_ < bufferCount_) {
    ++recordCount_;
  } else {
    MoveBuffer(0, bufferCount_);  // the window is full: its first row becomes the scratch
  }
  currentRecord_ = recordCount_ - 1;
  return true;
}

bool TDataSet::GetPriorRecord() {
  if (recordCount_ > 0) SetCurrentRecord(0);
  const TRecordBuffer scratch = buffers_[static_cast<std::size_t>(recordCount_)].get();
  if (FetchRecord(scratch, TFetchMode::FetchPrior, true) != TFetchResult::FetchOk) {
    currentRecord_ = -1;
    return false;
  }
  if (recordCount_ == 0) {
    ActivateBuffers();
  } else {
    MoveBuffer(recordCount_, 0);
    if (recordCount_ < bufferCount_) {
      ++recordCount_;
      ++activeRecord_;
    }
  }
  currentRecord_ = 0;
  return true;
}

int TDataSet::GetNextRecords() {
  int fetched = 0;
  while (recordCount_ < bufferCount_ && GetNextRecord()) ++fetched;
  return fetched;
}

int TDataSet::GetPriorRecords() {
  int fetched = 0;
  while (recordCount_ < bufferCount_ && GetPriorRecord()) ++fetched;
  return fetched;
}

void TDataSet::Resync(TResyncMode mode) {
  const TRecordBuffer scratch = buffers_[static_cast<std::size_t>(recordCount_)].get();
  if ((mode & rmExact) != 0) {
    CursorPosChanged();
    if (FetchRecord(scratch, TFetchMode::FetchCurrent, true) != TFetchResult::FetchOk) {
      DatabaseError("Record not found", this);
    }
  } else if (FetchRecord(scratch, TFetchMode::FetchCurrent, false) != TFetchResult::FetchOk &&
             FetchRecord(scratch, TFetchMode::FetchNext, false) != TFetchResult::FetchOk &&
             FetchRecord(scratch, TFetchMode::FetchPrior, false) != TFetchResult::FetchOk) {
    ClearBuffers();
    DataEvent(TDataEvent::DataSetChanged);
    return;
  }
  int before = (mode & rmCenter) != 0 ? (bufferCount_ - 1) / 2 : activeRecord_;
  MoveBuffer(recordCount_, 0);
  ActivateBuffers();
  const platform::TScopeExit changed([&] { DataEvent(TDataEvent::DataSetChanged); });
  while (before > 0 && GetPriorRecord()) --before;
  GetNextRecords();
  GetPriorRecords();
}

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  std::exception_ptr error;
  try {
    CursorFirst();
    GetNextRecord();
    GetNextRecords();
  } catch (...) {
    error = std::current_exception();
  }
  bof_ = true;
  DataEvent(TDataEvent::DataSetChanged);
  DoAfterScroll();
  if (error) std::rethrow_exception(error);
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  std::exception_ptr error;
  try {
    CursorLast();
    GetPriorRecord();
    GetPriorRecords();
  } catch (...) {
    error = std::current_exception();
  }
  eof_ = true;
  DataEvent(TDataEvent::DataSetChanged);
  DoAfterScroll();
  if (error) std::rethrow_exception(error);
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  DoBeforeScroll();
  if (distance == 0 || (distance > 0 && eof_) || (distance < 0 && bof_)) return 0;
  bof_ = false;
  eof_ = false;
  const int oldRecordCount = recordCount_;
  int shift = 0;
  int moved = 0;
  std::exception_ptr error;
  try {
    for (; moved < distance; ++moved) {
      if (activeRecord_ < recordCount_ - 1) {
        ++activeRecord_;
        continue;
      }
      const bool full = recordCount_ == bufferCount_;
      if (!GetNextRecord()) {
        eof_ = true;
        break;
      }
      if (full) --shift;
      if (activeRecord_ < recordCount_ - 1) ++activeRecord_;
    }
    for (; moved > distance; --moved) {
      if (activeRecord_ > 0) {
        --activeRecord_;
        continue;
      }
      const bool full = recordCount_ == bufferCount_;
      if (!GetPriorRecord()) {
        bof_ = true;
        break;
      }
      if (full) ++shift;
      if (activeRecord_ > 0) --activeRecord_;
    }
  } catch (...) {
    error = std::current_exception();
  }
  if (recordCount_ == oldRecordCount) {
    DataEvent(TDataEvent::Scrolled, {.Distance = shift});
  } else {
    DataEvent(TDataEvent::DataSetChanged);
  }
  DoAfterScroll();
  if (error) std::rethrow_exception(error);
  return moved;
}

// --- bookmarks ---

TBookmark TDataSet::GetBookmark() {
  const bool available = (state_ == TDataSetState::Browsing || state_ == TDataSetState::Editing ||
                          state_ == TDataSetState::Inserting) &&
                         !IsEmpty() && ReadBookmarkFlag(ActiveBuffer()) == TBookmarkFlag::Current;
  if (!available) return {};
  TBookmark bookmark(static_cast<std::size_t>(bookmarkSize_));
  ReadBookmark(ActiveBuffer(), bookmark.data());
  return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  CursorGotoBookmark(bookmark.data());
  Resync(rmExact | rmCenter);
  DoAfterScroll();
}

std::string TDataSet::BookmarkStr() {
  const TBookmark bookmark = GetBookmark();
  return std::string(bookmark.begin(), bookmark.end());
}

void TDataSet::SetBookmarkStr(std::string_view bookmark) {
  GotoBookmark(TBookmark(bookmark.begin(), bookmark.end()));
}

}  // namespace katalog
