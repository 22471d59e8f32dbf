// TDataFile: bookmarks, the tokens by which the table data set finds a record again, and
// key ranges.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"

namespace katalog {

int TDataFile::BookmarkSize() {
  return cursor_.PhysicalOrder() ? 4 : store_.File().Descriptor(cursor_.Slot()).KeyLength;
}

bool TDataFile::GetBookmark(std::uint8_t* bookmark) {
  TOperation operation(*this);
  if (!cursor_.Positioned() || cursor_.Bof() || cursor_.Eof()) return false;
  if (cursor_.PhysicalOrder()) {
    StoreI32(bookmark, cursor_.RecordNumber());
    return true;
  }
  const std::uint8_t* key = cursor_.CurrentKey();
  if (!key) return false;
  std::memcpy(bookmark, key, static_cast<std::size_t>(BookmarkSize()));
  return true;
}

int TDataFile::GotoBookmark(const std::uint8_t* bookmark) {
  TOperation operation(*this);
  ReleaseCurrent();
  bool found = false;
  if (cursor_.PhysicalOrder()) {
    const std::int32_t r = LoadI32(bookmark);
    cursor_.GoToRecord(r);
    found = cursor_.Positioned() && cursor_.RecordNumber() == r;
  } else {
    found = cursor_.FindKey(bookmark, TKeyMatch::Exact);
  }
  if (!found) return ie::kRecordNotFound;
  LoadCurrent(1, TDirection::Forward);
  return current_ ? 0 : ie::kRecordNotFound;
}

void TDataFile::SetRange(const std::uint8_t* start, const std::uint8_t* end) {
  TOperation operation(*this);
  ReleaseCurrent();
  cursor_.SetRangeStart(start);
  cursor_.SetRangeEnd(end);
  cursor_.ApplyRange();
  cursor_.BeforeFirst();
}

void TDataFile::CancelRange() {
  TOperation operation(*this);
  const std::int32_t n = CurrentRecordNumber();
  cursor_.CancelRange();
  Reposition(n != 0, n);
}

int TDataFile::GotoRecord(std::int32_t n, const std::uint8_t* record) {
  std::vector<std::uint8_t> bookmark(static_cast<std::size_t>(std::max(BookmarkSize(), 4)));
  if (cursor_.PhysicalOrder()) {
    StoreI32(bookmark.data(), n);
  } else {
    const std::vector<std::uint8_t> key = EntryKeyOf(cursor_.Slot(), record);
    std::copy(key.begin(), key.end(), bookmark.begin());
  }
  return GotoBookmark(bookmark.data());
}

int TDataFile::CompareBookmarks(const std::uint8_t* a, const std::uint8_t* b) {
  if (cursor_.PhysicalOrder()) {
    const std::int32_t x = LoadI32(a), y = LoadI32(b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  const TKeyContext context = KeyContextFor(cursor_.Slot());
  return CompareKeys(context, a, b, context.Index->KeyLength);
}

}  // namespace katalog
