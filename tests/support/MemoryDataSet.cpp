#include "support/MemoryDataSet.h"

#include <algorithm>
#include <cstring>

#include "dataset/Bcd.h"
#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "dataset/Stream.h"

namespace katalog::testing {

namespace {

// Offsets within the record info that follows the calculated area.
constexpr int kFlagOffset = 4;
constexpr int kBookmarkOffset = 8;
constexpr int kBookmarkSize = 4;

std::int64_t IntegerOf(const TVariant& value) {
  if (const auto* b = std::get_if<bool>(&value)) return *b ? 1 : 0;
  if (const auto* d = std::get_if<double>(&value)) return static_cast<std::int64_t>(*d);
  return std::get<std::int64_t>(value);
}

double FloatOf(const TVariant& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) return static_cast<double>(*i);
  return std::get<double>(value);
}

template <class T>
void Put(std::uint8_t* to, T value) {
  std::memcpy(to, &value, sizeof value);
}

template <class T>
T Get(const std::uint8_t* from) {
  T value;
  std::memcpy(&value, from, sizeof value);
  return value;
}

// A blob stream whose contents go back to the record being edited when it is freed.
class TWriteBackStream : public TMemoryStream {
 public:
  explicit TWriteBackStream(std::string& target) : TMemoryStream(target), target_(target) {}
  ~TWriteBackStream() override { target_.assign(Bytes().begin(), Bytes().end()); }

 private:
  std::string& target_;
};

}  // namespace

TMemoryDataSet::TMemoryDataSet(TComponent* owner, std::vector<TColumn> columns)
    : TDataSet(owner), columns_(std::move(columns)) {
  for (const TColumn& column : columns_) {
    offsets_.push_back(imageSize_);
    imageSize_ += 1 + NativeSize(column);
  }
}

TMemoryDataSet::~TMemoryDataSet() {
  Destroying();
  Close();
}

int TMemoryDataSet::NativeSize(const TColumn& column) const {
  switch (column.Type) {
    case ftString:
      return column.Size + 1;
    case ftSmallint:
    case ftWord:
    case ftBoolean:
      return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime:
      return 4;
    case ftFloat:
    case ftCurrency:
    case ftDateTime:
    case ftLargeint:
      return 8;
    case ftBCD:
      return sizeof(TBcd);
    case ftBytes:
      return column.Size;
    case ftVarBytes:
      return column.Size + 2;
    default:
      return 0;  // blobs: contents beside the record
  }
}

void TMemoryDataSet::AddRecord(const std::vector<TVariant>& values) {
  TStoredRecord record{nextId_++, std::vector<std::uint8_t>(imageSize_), {}};
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const TColumn& column = columns_[i];
    std::uint8_t* slot = record.Image.data() + offsets_[i];
    const TVariant& value = i < values.size() ? values[i] : TVariant{};
    if (IsBlobType(column.Type)) {
      record.Blobs.push_back(IsNull(value) ? std::string() : std::get<std::string>(value));
      slot[0] = !record.Blobs.back().empty();
      continue;
    }
    if (IsNull(value)) continue;
    slot[0] = 1;
    std::uint8_t* data = slot + 1;
    switch (column.Type) {
      case ftString:
      case ftBytes: {
        const auto& text = std::get<std::string>(value);
        std::memcpy(data, text.data(), std::min<std::size_t>(text.size(), column.Size));
        break;
      }
      case ftVarBytes: {
        const auto& text = std::get<std::string>(value);
        const auto length =
            static_cast<std::uint16_t>(std::min<std::size_t>(text.size(), column.Size));
        Put(data, length);
        std::memcpy(data + 2, text.data(), length);
        break;
      }
      case ftSmallint:
      case ftBoolean:
        Put(data, static_cast<std::int16_t>(IntegerOf(value)));
        break;
      case ftWord:
        Put(data, static_cast<std::uint16_t>(IntegerOf(value)));
        break;
      case ftInteger:
      case ftAutoInc:
      case ftDate:
      case ftTime:
        Put(data, static_cast<std::int32_t>(IntegerOf(value)));
        break;
      case ftLargeint:
        Put(data, IntegerOf(value));
        break;
      case ftFloat:
      case ftCurrency:
      case ftDateTime:
        Put(data, FloatOf(value));
        break;
      case ftBCD: {
        TBcd bcd{};
        slot[0] = CurrToBcd(IntegerOf(value), bcd, 32, column.Size);
        std::memcpy(data, &bcd, sizeof bcd);
        break;
      }
      default:
        break;
    }
  }
  records_.push_back(std::move(record));
}

TVariant TMemoryDataSet::StoredValue(int record, int column) const {
  const TStoredRecord& stored = records_.at(static_cast<std::size_t>(record));
  const TColumn& def = columns_.at(static_cast<std::size_t>(column));
  const std::uint8_t* slot = stored.Image.data() + offsets_[static_cast<std::size_t>(column)];
  if (IsBlobType(def.Type)) {
    int blob = 0;
    for (int i = 0; i < column; ++i) blob += IsBlobType(columns_[static_cast<std::size_t>(i)].Type);
    return stored.Blobs[static_cast<std::size_t>(blob)];
  }
  if (!slot[0]) return {};
  switch (def.Type) {
    case ftString:
      return std::string(reinterpret_cast<const char*>(slot + 1));
    case ftInteger:
    case ftAutoInc:
      return std::int64_t{Get<std::int32_t>(slot + 1)};
    case ftFloat:
      return Get<double>(slot + 1);
    default:
      return {};
  }
}

std::unique_ptr<std::uint8_t[]> TMemoryDataSet::NewRecordBuffer() {
  return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[static_cast<std::size_t>(bufferSize_)]());
}

void TMemoryDataSet::ReadBookmark(TRecordBuffer buffer, std::uint8_t* bookmark) {
  std::memcpy(bookmark, buffer + recordInfoOffset_ + kBookmarkOffset, kBookmarkSize);
}

void TMemoryDataSet::WriteBookmark(TRecordBuffer buffer, const std::uint8_t* bookmark) {
  std::memcpy(buffer + recordInfoOffset_ + kBookmarkOffset, bookmark, kBookmarkSize);
}

TBookmarkFlag TMemoryDataSet::ReadBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBookmarkFlag>(buffer[recordInfoOffset_ + kFlagOffset]);
}

void TMemoryDataSet::WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
  buffer[recordInfoOffset_ + kFlagOffset] = static_cast<std::uint8_t>(flag);
}

bool TMemoryDataSet::Accepts(const TStoredRecord& record) {
  if (!Filtered() || !OnFilterRecord()) return true;
  filterRecord_ = &record;
  filterImage_ = record.Image;
  ++filterTests_;
  const TDataSetState saved = SetTempState(TDataSetState::FilterTest);
  bool accept = true;
  try {
    OnFilterRecord()(*this, accept);
  } catch (...) {
    RestoreState(saved);
    throw;
  }
  RestoreState(saved);
  return accept;
}

void TMemoryDataSet::Load(TRecordBuffer buffer, int index) {
  const TStoredRecord& record = records_[static_cast<std::size_t>(index)];
  std::memcpy(buffer, record.Image.data(), static_cast<std::size_t>(imageSize_));
  Put(buffer + recordInfoOffset_, static_cast<std::int32_t>(index + 1));
  WriteBookmarkFlag(buffer, TBookmarkFlag::Current);
  Put(buffer + recordInfoOffset_ + kBookmarkOffset, record.Id);
  GetCalcFields(buffer);
}

TFetchResult TMemoryDataSet::FetchRecord(TRecordBuffer buffer, TFetchMode mode, bool raiseErrors) {
  if (fetchError_) {
    if (raiseErrors) std::rethrow_exception(fetchError_);
    return TFetchResult::FetchError;
  }
  const int count = static_cast<int>(records_.size());
  cursor_ = std::clamp(cursor_, -1, count);
  switch (mode) {
    case TFetchMode::FetchCurrent:
      if (cursor_ < 0) return TFetchResult::FetchBof;
      if (cursor_ >= count || !Accepts(records_[static_cast<std::size_t>(cursor_)])) {
        return TFetchResult::FetchEof;
      }
      break;
    case TFetchMode::FetchNext:
      do {
        ++cursor_;
      } while (cursor_ < count && !Accepts(records_[static_cast<std::size_t>(cursor_)]));
      if (cursor_ >= count) return TFetchResult::FetchEof;
      break;
    case TFetchMode::FetchPrior:
      do {
        --cursor_;
      } while (cursor_ >= 0 && !Accepts(records_[static_cast<std::size_t>(cursor_)]));
      if (cursor_ < 0) return TFetchResult::FetchBof;
      break;
  }
  Load(buffer, cursor_);
  return TFetchResult::FetchOk;
}

int TMemoryDataSet::IndexOfId(std::int32_t id) const {
  for (std::size_t i = 0; i < records_.size(); ++i) {
    if (records_[i].Id == id) return static_cast<int>(i);
  }
  return -1;
}

void TMemoryDataSet::CursorGotoBookmark(const std::uint8_t* bookmark) {
  const int index = IndexOfId(Get<std::int32_t>(bookmark));
  if (index < 0) DatabaseError("Record not found");
  cursor_ = index;
}

void TMemoryDataSet::CursorSetToRecord(TRecordBuffer buffer) {
  CursorGotoBookmark(buffer + recordInfoOffset_ + kBookmarkOffset);
}

void TMemoryDataSet::CursorLoadFieldDefs() {
  FieldDefs().Clear();
  for (const TColumn& column : columns_) {
    FieldDefs().AddDef(column.Name, column.Type, column.Size, column.Required);
  }
}

void TMemoryDataSet::CursorOpen() {
  CursorLoadFieldDefs();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  recordInfoOffset_ = imageSize_ + CalcFieldsSize();
  bufferSize_ = recordInfoOffset_ + kBookmarkOffset + kBookmarkSize;
  SetBookmarkSize(kBookmarkSize);
  cursor_ = -1;
  open_ = true;
}

void TMemoryDataSet::CursorClose() {
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  open_ = false;
}

void TMemoryDataSet::CursorBlankRecord(TRecordBuffer buffer) {
  std::memset(buffer, 0, static_cast<std::size_t>(imageSize_));
  pendingBlobs_.assign(
      static_cast<std::size_t>(std::count_if(columns_.begin(), columns_.end(),
                                             [](const TColumn& c) { return IsBlobType(c.Type); })),
      std::string());
}

void TMemoryDataSet::BlankCalcFields(TRecordBuffer buffer) {
  std::memset(buffer + imageSize_, 0, static_cast<std::size_t>(CalcFieldsSize()));
}

void TMemoryDataSet::MaybeFail() {
  if (failures_ == 0) return;
  --failures_;
  std::rethrow_exception(operationError_);
}

void TMemoryDataSet::EditBegins() {
  MaybeFail();
  pendingBlobs_ = records_.at(static_cast<std::size_t>(cursor_)).Blobs;
}

void TMemoryDataSet::CursorAddRecord(TRecordBuffer buffer, bool append) {
  TStoredRecord record{nextId_++, std::vector<std::uint8_t>(buffer, buffer + imageSize_),
                       pendingBlobs_};
  const int at = append ? static_cast<int>(records_.size()) : std::max(cursor_, 0);
  records_.insert(records_.begin() + at, std::move(record));
  cursor_ = at;
}

void TMemoryDataSet::CursorPost() {
  MaybeFail();
  const TRecordBuffer buffer = ActiveBuffer();
  int blob = 0;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (IsBlobType(columns_[i].Type))
      buffer[offsets_[i]] = !pendingBlobs_[static_cast<std::size_t>(blob++)].empty();
  }
  if (State() == TDataSetState::Editing) {
    TStoredRecord& record = records_.at(static_cast<std::size_t>(cursor_));
    record.Image.assign(buffer, buffer + imageSize_);
    record.Blobs = pendingBlobs_;
  } else {
    CursorAddRecord(buffer, false);
  }
}

void TMemoryDataSet::CursorDelete() {
  MaybeFail();
  if (cursor_ >= 0 && cursor_ < static_cast<int>(records_.size())) {
    records_.erase(records_.begin() + cursor_);
  }
}

std::uint8_t* TMemoryDataSet::ImageFor(const TField& /*field*/) {
  switch (State()) {
    case TDataSetState::Browsing:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case TDataSetState::Editing:
    case TDataSetState::Inserting:
    case TDataSetState::NewValue:
      return ActiveBuffer();
    case TDataSetState::Calculating:
      return CalcBuffer();
    case TDataSetState::FilterTest:
      return filterImage_.data();
    default:
      return nullptr;
  }
}

bool TMemoryDataSet::ReadFieldData(const TField& field, void* buffer) {
  const std::uint8_t* image = ImageFor(field);
  if (!image) return false;
  if (field.FieldNo() > 0) {
    const auto column = static_cast<std::size_t>(field.FieldNo() - 1);
    const std::uint8_t* slot = image + offsets_[column];
    if (!slot[0]) return false;
    // A field may be narrower than its column (a smallint on an integer, a shorter string).
    const int size = std::min(field.DataSize(), NativeSize(columns_[column]));
    if (buffer) std::memcpy(buffer, slot + 1, static_cast<std::size_t>(size));
    return true;
  }
  const TDataSetState state = State();
  if (state != TDataSetState::Browsing && state != TDataSetState::Editing &&
      state != TDataSetState::Inserting && state != TDataSetState::Calculating) {
    return false;
  }
  const std::uint8_t* slot = image + imageSize_ + field.Offset();
  if (!slot[0]) return false;
  if (buffer) std::memcpy(buffer, slot + 1, static_cast<std::size_t>(field.DataSize()));
  return true;
}

void TMemoryDataSet::WriteFieldData(TField& field, const void* buffer) {
  const TDataSetState state = State();
  switch (state) {
    case TDataSetState::Editing:
    case TDataSetState::Inserting:
    case TDataSetState::KeyEntry:
    case TDataSetState::Calculating:
    case TDataSetState::FilterTest:
    case TDataSetState::NewValue:
    case TDataSetState::InternalCalc:
      break;
    default:
      DatabaseError("Dataset not in edit or insert mode");
  }
  std::uint8_t* image = ImageFor(field);
  if (field.FieldNo() < 1) {
    std::uint8_t* slot = image + imageSize_ + field.Offset();
    slot[0] = buffer != nullptr;
    if (buffer) std::memcpy(slot + 1, buffer, static_cast<std::size_t>(field.DataSize()));
  } else {
    if (state == TDataSetState::Calculating) DatabaseError("Dataset not in edit or insert mode");
    if (field.ReadOnly() && state != TDataSetState::KeyEntry &&
        state != TDataSetState::FilterTest) {
      DatabaseError("Field '" + field.DisplayName() + "' cannot be modified");
    }
    field.Validate(buffer);
    const auto column = static_cast<std::size_t>(field.FieldNo() - 1);
    std::uint8_t* slot = image + offsets_[column];
    slot[0] = buffer != nullptr;
    const auto size = static_cast<std::size_t>(NativeSize(columns_[column]));
    std::memset(slot + 1, 0, size);
    if (buffer) {
      std::memcpy(slot + 1, buffer, std::min(size, static_cast<std::size_t>(field.DataSize())));
    }
  }
  if (state != TDataSetState::Calculating && state != TDataSetState::FilterTest &&
      state != TDataSetState::NewValue) {
    DataEvent(TDataEvent::FieldChanged, {.Field = &field});
  }
}

std::string* TMemoryDataSet::BlobFor(const TField& field) {
  const auto blob = static_cast<std::size_t>(field.Offset());
  switch (State()) {
    case TDataSetState::Editing:
    case TDataSetState::Inserting:
      return &pendingBlobs_.at(blob);
    case TDataSetState::FilterTest:
      return const_cast<std::string*>(&filterRecord_->Blobs.at(blob));
    default: {
      const TRecordBuffer buffer = State() == TDataSetState::Calculating ? CalcBuffer()
                                   : IsEmpty()                           ? nullptr
                                                                         : ActiveBuffer();
      if (!buffer) return nullptr;
      const int index = IndexOfId(Get<std::int32_t>(buffer + recordInfoOffset_ + kBookmarkOffset));
      return index < 0 ? nullptr : &records_[static_cast<std::size_t>(index)].Blobs.at(blob);
    }
  }
}

std::unique_ptr<TStream> TMemoryDataSet::CreateBlobStream(const TField& field,
                                                          TBlobStreamMode mode) {
  std::string* contents = BlobFor(field);
  if (mode == TBlobStreamMode::Read) {
    return std::make_unique<TMemoryStream>(contents ? *contents : std::string());
  }
  if (State() != TDataSetState::Editing && State() != TDataSetState::Inserting) {
    DatabaseError("Dataset not in edit or insert mode");
  }
  return std::make_unique<TWriteBackStream>(*contents);
}

int TMemoryDataSet::RecordCount() {
  CheckActive();
  return static_cast<int>(std::count_if(records_.begin(), records_.end(),
                                        [this](const TStoredRecord& r) { return Accepts(r); }));
}

int TMemoryDataSet::RecNo() {
  CheckActive();
  const TRecordBuffer buffer = State() == TDataSetState::Calculating ? CalcBuffer()
                               : IsEmpty()                           ? nullptr
                                                                     : ActiveBuffer();
  return buffer ? Get<std::int32_t>(buffer + recordInfoOffset_) : -1;
}

void TMemoryDataSet::SetRecNo(int value) {
  CheckBrowseMode();
  if (value == RecNo()) return;
  DoBeforeScroll();
  cursor_ = std::clamp(value - 1, 0, static_cast<int>(records_.size()) - 1);
  Resync(rmCenter);
  DoAfterScroll();
}

bool TMemoryDataSet::BookmarkValid(const TBookmark& bookmark) {
  return bookmark.size() == kBookmarkSize && IndexOfId(Get<std::int32_t>(bookmark.data())) >= 0;
}

int TMemoryDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : a.empty() ? 1 : -1;
  const int ia = IndexOfId(Get<std::int32_t>(a.data()));
  const int ib = IndexOfId(Get<std::int32_t>(b.data()));
  return ia < ib ? -1 : ia > ib ? 1 : 0;
}

void TMemoryDataSet::SetFiltered(bool value) {
  TDataSet::SetFiltered(value);
  if (Active()) First();
}

}  // namespace katalog::testing
