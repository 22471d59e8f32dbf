// TIsamDataSet: the cursor hooks over the engine cursor, fields, counts and bookmarks.
#include "engine/components/IsamDataSet.h"

#include <algorithm>
#include <cstring>

#include "dataset/BlobFields.h"
#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "dataset/FieldText.h"
#include "engine/components/BlobStream.h"
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"
#include "platform/ExceptionReporter.h"

namespace katalog {

namespace {

// Offsets within the record info.
constexpr int kFlagOffset = 4;
constexpr int kRecordInfoSize = 8;

std::int64_t IntegerOf(const TFieldValue& value) {
  if (const auto* b = std::get_if<bool>(&value)) return *b ? 1 : 0;
  if (const auto* d = std::get_if<double>(&value)) return static_cast<std::int64_t>(*d);
  if (const auto* i = std::get_if<std::int64_t>(&value)) return *i;
  return 0;
}

double FloatOf(const TFieldValue& value) {
  if (const auto* d = std::get_if<double>(&value)) return *d;
  return static_cast<double>(IntegerOf(value));
}

std::int64_t PowerOfTen(int n) {
  std::int64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// value / unit, rounded half away from zero.
std::int64_t DivideRounded(std::int64_t value, std::int64_t unit) {
  const std::int64_t rest = value % unit;
  std::int64_t q = value / unit;
  if (2 * (rest < 0 ? -rest : rest) >= unit) q += rest < 0 ? -1 : 1;
  return q;
}

// value * unit; EOverflow naming the field when it does not fit.
std::int64_t MultiplyChecked(std::int64_t value, std::int64_t unit, const TField& field) {
  if (value > INT64_MAX / unit || value < INT64_MIN / unit) {
    throw EOverflow(FormatMessage("Value of field '%s' is out of range", {field.DisplayName()}));
  }
  return value * unit;
}

// The field type the data set shows for an engine field; ftUnknown for codes it skips.
TFieldType FieldTypeOf(const TFieldDescriptor& d) {
  switch (d.FieldTypeCode) {
    case 1:
      return ftString;
    case 2:
      return ftDate;
    case 3:
      switch (d.SubTypeCode) {
        case 22:
          return ftMemo;
        case 24:
          return ftFmtMemo;
        case 26:
          return ftGraphic;
        case 28:
          return ftTypedBinary;
        default:
          return ftBlob;
      }
    case 4:
      return ftBoolean;
    case 5:
      return ftSmallint;
    case 6:
      return d.SubTypeCode == 29 ? ftAutoInc : ftInteger;
    case 7:
      return d.SubTypeCode == 21 ? ftCurrency : ftFloat;
    case 8:
      return ftBCD;
    case 9:
      return ftBytes;
    case 10:
      return ftTime;
    case 11:
      return ftDateTime;
    case 12:
      return ftWord;
    case 13:
      return ftInteger;
    case 15:
      return ftVarBytes;
    case 18:
    case 19:
      return ftLargeint;
    case 20:
      return ftADT;
    case 21:
      return ftArray;
    case 22:
      return ftReference;
    case 23:
      return ftDataSet;
    default:
      return ftUnknown;
  }
}

}  // namespace

TIsamDataSet::TIsamDataSet(TComponent* owner) : TDataSet(owner) {}

TIsamDataSet::~TIsamDataSet() {
  Destroying();
  Close();
}

// --- opening and closing ---

void TIsamDataSet::CursorLoadFieldDefs() {
  LoadFieldDefs(*engine_);
}

void TIsamDataSet::LoadFieldDefs(TDataFile& file) {
  FieldDefs().Clear();
  for (const TFieldDescriptor& d : file.WorkingFields()) {
    const TFieldType type = FieldTypeOf(d);
    if (type == ftUnknown) continue;
    std::string name = d.Name;
    for (int n = 1; FieldDefs().IndexOf(name) >= 0; ++n) name = d.Name + "_" + std::to_string(n);
    int size = 0;
    if (type == ftString || type == ftBytes || type == ftVarBytes) size = d.DeclaredSize;
    if (type == ftBCD) size = d.DeclaredScale;
    TFieldDef& def = FieldDefs().AddDef(name, type, size, d.RequiredFlag != 0, d.FieldNumber);
    if (type == ftBCD) def.SetPrecision(20);
    def.SetInternalCalcField(false);
  }
}

void TIsamDataSet::ReadIndexDescription() {
  indexFields_.clear();
  keySize_ = 0;
  caseInsensitiveIndex_ = false;
  if (!engine_ || engine_->Cursor().PhysicalOrder()) return;
  const TIndexDescriptor& index = engine_->IndexFile().Descriptor(engine_->Cursor().Slot());
  caseInsensitiveIndex_ = index.CaseInsensitive != 0;
  indexFields_.assign(index.FieldNumbers.begin(),
                      index.FieldNumbers.begin() + std::min<int>(index.FieldCount, 16));
  keySize_ = index.KeyLength;
}

void TIsamDataSet::ComputeLayout() {
  recordInfoOffset_ = imageSize_ + CalcFieldsSize();
  bookmarkOffset_ = recordInfoOffset_ + kRecordInfoSize;
  recordBufferSize_ = bookmarkOffset_ + BookmarkSize();
}

void TIsamDataSet::CursorOpen() {
  imageSize_ = static_cast<int>(engine_->WorkingRecordSize());
  SetBookmarkSize(engine_->BookmarkSize());
  canModify_ = !engine_->ReadOnly();
  CursorLoadFieldDefs();
  ReadIndexDescription();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  ComputeLayout();
  for (int i = 0; i < static_cast<int>(keyBuffers_.size()); ++i) {
    KeyBuffer(i).resize(kKeyHeader + static_cast<std::size_t>(imageSize_));
    BlankKeyBuffer(i);
  }
  oldValueBuffer_.assign(static_cast<std::size_t>(recordBufferSize_), 0);
  engine_->GoFirst();
  AfterCursorOpened();
  if (!Filter().empty()) {
    BuildExpressionFilter(Filter(), FilterOptions(), filterConstantForms_, expressionFilter_);
  }
  if (OnFilterRecord()) BuildCallbackFilter(callbackFilter_);
  if (Filtered()) ActivateFilters(true);
}

void TIsamDataSet::BlankKeyBuffer(int index) {
  std::vector<std::uint8_t>& key = KeyBuffer(index);
  std::fill(key.begin(), key.end(), 0);
  engine_->BlankRecord(key.data() + kKeyHeader);
}

void TIsamDataSet::CursorClose() {
  expressionFilter_ = callbackFilter_ = nullptr;  // the engine cursor frees them
  for (auto& key : keyBuffers_) key.clear();
  oldValueBuffer_.clear();
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  indexFields_.clear();
  keySize_ = 0;
  canModify_ = false;
  caseInsensitiveIndex_ = false;
}

void TIsamDataSet::ActivateCursor() {
  if (State() != TDataSetState::Opening) {
    engine_ = CreateEngineCursor();
    if (!engine_) DatabaseError("Error creating table handle.");
  }
  TDataSet::ActivateCursor();
}

void TIsamDataSet::DeactivateCursor() {
  TDataSet::DeactivateCursor();
  DestroyEngineCursor();
}

std::unique_ptr<TDataFile> TIsamDataSet::CreateEngineCursor() {
  return nullptr;
}

void TIsamDataSet::DestroyEngineCursor() {
  DropLookupCursor();
  if (!engine_) return;
  engine_->Close();
  engine_.reset();
}

void TIsamDataSet::RebuildLayout() {
  imageSize_ = static_cast<int>(engine_->WorkingRecordSize());
  SetBookmarkSize(engine_->BookmarkSize());
  ComputeLayout();
  oldValueBuffer_.assign(static_cast<std::size_t>(recordBufferSize_), 0);
}

// --- buffers ---

std::unique_ptr<std::uint8_t[]> TIsamDataSet::NewRecordBuffer() {
  return std::unique_ptr<std::uint8_t[]>(
      new std::uint8_t[static_cast<std::size_t>(recordBufferSize_)]());
}

std::int32_t TIsamDataSet::RecordNumberOf(TRecordBuffer buffer) const {
  return LoadI32(buffer + recordInfoOffset_);
}

void TIsamDataSet::ReadBookmark(TRecordBuffer buffer, std::uint8_t* bookmark) {
  std::memcpy(bookmark, buffer + bookmarkOffset_, static_cast<std::size_t>(BookmarkSize()));
}

void TIsamDataSet::WriteBookmark(TRecordBuffer buffer, const std::uint8_t* bookmark) {
  std::memcpy(buffer + bookmarkOffset_, bookmark, static_cast<std::size_t>(BookmarkSize()));
}

TBookmarkFlag TIsamDataSet::ReadBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBookmarkFlag>(buffer[recordInfoOffset_ + kFlagOffset]);
}

void TIsamDataSet::WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
  buffer[recordInfoOffset_ + kFlagOffset] = static_cast<std::uint8_t>(flag);
}

void TIsamDataSet::BlankCalcFields(TRecordBuffer buffer) {
  std::memset(buffer + imageSize_, 0, static_cast<std::size_t>(CalcFieldsSize()));
}

void TIsamDataSet::InitRecord(TRecordBuffer buffer) {
  TDataSet::InitRecord(buffer);
  std::memcpy(buffer + recordInfoOffset_, "\xFF\xFF\xFF\xFF", 4);
  WriteBookmarkFlag(buffer, TBookmarkFlag::Inserted);
}

// --- the cursor ---

TFetchResult TIsamDataSet::FetchRecord(TRecordBuffer buffer, TFetchMode mode, bool raiseErrors) {
  int code = 0;
  switch (mode) {
    case TFetchMode::FetchCurrent:
      code = engine_->GetCurrent(buffer, false);
      break;
    case TFetchMode::FetchNext:
      code = engine_->GoNext(buffer);
      break;
    case TFetchMode::FetchPrior:
      code = engine_->GoPrior(buffer);
      break;
  }
  if (code == ie::kBeginningOfFile) return TFetchResult::FetchBof;
  if (code == ie::kEndOfFile) return TFetchResult::FetchEof;
  if (code != 0) {
    if (raiseErrors) RaiseIfIsamError(code);
    return TFetchResult::FetchError;
  }
  const std::int32_t number = engine_->CurrentPosition();
  std::memcpy(buffer + recordInfoOffset_, &number, sizeof number);
  WriteBookmarkFlag(buffer, TBookmarkFlag::Current);
  GetCalcFields(buffer);
  engine_->GetBookmark(buffer + bookmarkOffset_);
  return TFetchResult::FetchOk;
}

void TIsamDataSet::CursorFirst() {
  engine_->GoFirst();
}

void TIsamDataSet::CursorLast() {
  engine_->GoLast();
}

void TIsamDataSet::CursorGotoBookmark(const std::uint8_t* bookmark) {
  RaiseIfIsamError(engine_->GotoBookmark(bookmark));
}

void TIsamDataSet::CursorSetToRecord(TRecordBuffer buffer) {
  CursorGotoBookmark(buffer + bookmarkOffset_);
}

void TIsamDataSet::CursorHandleException(std::exception_ptr error) {
  platform::ReportException(error);
}

void TIsamDataSet::CursorBlankRecord(TRecordBuffer buffer) {
  engine_->BlankRecord(buffer);
}

void TIsamDataSet::CursorAddRecord(TRecordBuffer buffer, bool /*append*/) {
  engine_->Insert(buffer, {.Reposition = true});
}

void TIsamDataSet::CursorPost() {
  if (State() == TDataSetState::Editing) {
    engine_->Update(ActiveBuffer(), {.Unlock = true, .Reposition = true});
  } else {
    engine_->Insert(ActiveBuffer(), {.Reposition = true});
  }
  CloseModifiedBlobs();
}

// Blobs written during an edit stay open until the record is posted or cancelled: then the
// record holds their blocks (or never will) and the engine's blob buffers are given back.
void TIsamDataSet::CloseModifiedBlobs() {
  for (TField* field : Fields()) {
    const auto* blob = dynamic_cast<const TBlobField*>(field);
    // A blob that is not open (never read or written) has nothing to close.
    if (blob && blob->Modified()) {
      static_cast<void>(engine_->CloseBlob(TFieldSet::Working, field->FieldNo(), ActiveBuffer()));
    }
  }
}

void TIsamDataSet::CursorDelete() {
  engine_->Delete({});
}

void TIsamDataSet::EditBegins() {
  RaiseIfIsamError(engine_->GetCurrent(ActiveBuffer(), true));
}

void TIsamDataSet::CancelHook() {
  CloseModifiedBlobs();
  if (State() == TDataSetState::Editing) engine_->UnlockRecord(0);
}

void TIsamDataSet::RefreshHook() {
  engine_->Refresh();
}

// --- counts, numbers, bookmarks ---

int TIsamDataSet::RecordCount() {
  CheckActive();
  return engine_->RecordCount();
}

int TIsamDataSet::RecNo() {
  CheckActive();
  const TRecordBuffer buffer =
      State() == TDataSetState::Calculating ? CalcBuffer() : ActiveBuffer();
  return buffer && !IsEmpty() ? RecordNumberOf(buffer) : -1;
}

void TIsamDataSet::SetRecNo(int value) {
  CheckBrowseMode();
  if (value == RecNo()) return;
  DoBeforeScroll();
  engine_->GoToPosition(value);
  Resync(rmCenter);
  DoAfterScroll();
}

bool TIsamDataSet::IsIndexField(const TField& field) const {
  return field.FieldKind() == fkData &&
         std::find(indexFields_.begin(), indexFields_.end(), field.FieldNo()) != indexFields_.end();
}

bool TIsamDataSet::GetCurrentRecord(TRecordBuffer buffer) {
  if (IsEmpty() || ReadBookmarkFlag(ActiveBuffer()) != TBookmarkFlag::Current) return false;
  UpdateCursorPos();
  return engine_->GetCurrent(buffer, false) == 0;
}

bool TIsamDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (!engine_ || bookmark.size() != static_cast<std::size_t>(BookmarkSize())) return false;
  CursorPosChanged();
  return engine_->GotoBookmark(bookmark.data()) == 0;
}

int TIsamDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : a.empty() ? 1 : -1;
  return engine_->CompareBookmarks(a.data(), b.data());
}

// --- field values ---

std::uint8_t* TIsamDataSet::StateImage() {
  switch (State()) {
    case TDataSetState::Browsing:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case TDataSetState::Editing:
    case TDataSetState::Inserting:
    case TDataSetState::NewValue:
      return ActiveBuffer();
    case TDataSetState::KeyEntry:
      return KeyBuffer(currentKey_).empty() ? nullptr : KeyBuffer(currentKey_).data() + kKeyHeader;
    case TDataSetState::Calculating:
      return CalcBuffer();
    case TDataSetState::FilterTest:
      return filterBuffer_;
    case TDataSetState::OldValue:
      UpdateCursorPos();
      RaiseIfIsamError(engine_->GetCurrent(oldValueBuffer_.data(), false));
      return oldValueBuffer_.data();
    default:
      return nullptr;
  }
}

bool TIsamDataSet::ReadFieldData(const TField& field, void* buffer) {
  std::uint8_t* image = StateImage();
  if (!image) return false;
  if (field.FieldNo() < 1) {
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
  const TFieldValue value = engine_->ReadField(TFieldSet::Working, field.FieldNo(), image);
  if (std::holds_alternative<std::monostate>(value)) return false;
  if (!buffer) return true;
  auto* out = static_cast<std::uint8_t*>(buffer);
  switch (field.DataType()) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid:
    case ftBytes:
    case ftVarBytes: {
      const auto* text = std::get_if<std::string>(&value);
      const std::size_t size = static_cast<std::size_t>(field.DataSize());
      std::memset(out, 0, size);
      if (text) {
        const std::size_t room =
            field.DataType() == ftBytes || field.DataType() == ftVarBytes ? size : size - 1;
        std::memcpy(out, text->data(), std::min(text->size(), room));
      }
      break;
    }
    case ftSmallint:
    case ftBoolean:
      StoreI16(out, static_cast<std::int16_t>(IntegerOf(value)));
      break;
    case ftWord:
      StoreU16(out, static_cast<std::uint16_t>(IntegerOf(value)));
      break;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime:
      StoreI32(out, static_cast<std::int32_t>(IntegerOf(value)));
      break;
    case ftLargeint:
      StoreI64(out, IntegerOf(value));
      break;
    case ftFloat:
    case ftCurrency:
    case ftDateTime:
      StoreDouble(out, FloatOf(value));
      break;
    case ftBCD: {
      // The stored amount exactly, value x 10^scale, as the record holds it.
      const TFieldDescriptor& d =
          engine_->WorkingFields()[static_cast<std::size_t>(field.FieldNo() - 1)];
      std::memset(out, 0, static_cast<std::size_t>(field.DataSize()));
      std::memcpy(out, image + d.FieldOffset + 1, 8);
      break;
    }
    default:
      break;  // blobs hand over nothing: their contents come through a stream
  }
  return true;
}

void TIsamDataSet::WriteFieldData(TField& field, const void* buffer) {
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
  if (state == TDataSetState::KeyEntry &&
      (field.FieldNo() < 1 || (!indexFields_.empty() && !IsIndexField(field)))) {
    DatabaseError(
        FormatMessage("Field '%s' is not indexed and cannot be modified", {field.DisplayName()}));
  }
  std::uint8_t* image = StateImage();
  if (field.FieldNo() < 1) {
    std::uint8_t* slot = image + imageSize_ + field.Offset();
    slot[0] = buffer != nullptr;
    if (buffer) std::memcpy(slot + 1, buffer, static_cast<std::size_t>(field.DataSize()));
  } else {
    if (state == TDataSetState::Calculating) DatabaseError("Dataset not in edit or insert mode");
    if (field.ReadOnly() && state != TDataSetState::KeyEntry &&
        state != TDataSetState::FilterTest) {
      DatabaseError(FormatMessage("Field '%s' cannot be modified", {field.DisplayName()}));
    }
    field.Validate(buffer);
    if (field.FieldKind() != fkInternalCalc) {
      TFieldValue value;
      if (buffer) {
        const auto* in = static_cast<const std::uint8_t*>(buffer);
        switch (field.DataType()) {
          case ftString:
          case ftFixedChar:
          case ftWideString:
          case ftGuid:
            value = std::string(reinterpret_cast<const char*>(in),
                                strnlen(reinterpret_cast<const char*>(in),
                                        static_cast<std::size_t>(field.DataSize())));
            break;
          case ftBytes:
            value = std::string(reinterpret_cast<const char*>(in),
                                static_cast<std::size_t>(field.DataSize()));
            break;
          case ftVarBytes: {
            // The column's bytes hold the 2-byte length and the value: Size - 2 bytes of room.
            const std::uint16_t length = LoadU16(in);
            if (length + 2 > field.Size()) {
              DatabaseError(
                  FormatMessage("Value of field '%s' is out of range", {field.DisplayName()}));
            }
            value = std::string(reinterpret_cast<const char*>(in), 2u + length);
            break;
          }
          case ftSmallint:
            value = std::int64_t{LoadI16(in)};
            break;
          case ftBoolean:
            value = LoadI16(in) != 0;
            break;
          case ftWord:
            value = std::int64_t{LoadU16(in)};
            break;
          case ftInteger:
          case ftAutoInc:
          case ftDate:
          case ftTime:
            value = std::int64_t{LoadI32(in)};
            break;
          case ftLargeint:
            value = LoadI64(in);
            break;
          case ftFloat:
          case ftCurrency:
          case ftDateTime:
            value = LoadDouble(in);
            break;
          case ftBCD:
            // The native value is the stored amount itself: handed on exactly, not through a
            // double, which holds no more than 2^53 units.
            value = TBcdAmount{LoadI64(in)};
            break;
          default:
            break;
        }
      }
      if (!engine_->WriteField(TFieldSet::Working, field.FieldNo(), value, image)) {
        DatabaseError(FormatMessage("Value of field '%s' is out of range", {field.DisplayName()}));
      }
    }
  }
  if (state != TDataSetState::Calculating && state != TDataSetState::FilterTest &&
      state != TDataSetState::NewValue) {
    DataEvent(TDataEvent::FieldChanged, {.Field = &field});
  }
}

void TIsamDataSet::DataConvert(const TField& field, const void* source, void* destination,
                               bool toNative) {
  if (field.DataType() != ftBCD) return TDataSet::DataConvert(field, source, destination, toNative);
  // Natively the stored amount, value x 10^Size; in the field the currency amount x 10^4.
  const int scale = field.Size();
  const auto* in = static_cast<const std::uint8_t*>(source);
  auto* out = static_cast<std::uint8_t*>(destination);
  const std::int64_t value = LoadI64(in);
  if (toNative) {
    const std::int64_t stored = scale <= 4 ? DivideRounded(value, PowerOfTen(4 - scale))
                                           : MultiplyChecked(value, PowerOfTen(scale - 4), field);
    std::memset(out, 0, static_cast<std::size_t>(field.DataSize()));
    StoreI64(out, stored);
  } else {
    StoreI64(out, scale <= 4 ? MultiplyChecked(value, PowerOfTen(4 - scale), field)
                             : DivideRounded(value, PowerOfTen(scale - 4)));
  }
}

std::unique_ptr<TStream> TIsamDataSet::CreateBlobStream(const TField& field, TBlobStreamMode mode) {
  return std::make_unique<TIsamBlobStream>(*this, field, mode);
}

// Contents written through a stream and not yet posted stay with the stream's blob.
void TIsamDataSet::ReadBlobContents(const TField& field,
                                    const std::function<void(std::string_view)>& use) {
  const auto* blob = dynamic_cast<const TBlobField*>(&field);
  std::uint8_t* image = StateImage();
  if (!blob || blob->Modified() || !image || !engine_) {
    return TDataSet::ReadBlobContents(field, use);
  }
  RaiseIfIsamError(engine_->ReadBlobContents(
      TFieldSet::Working, field.FieldNo(), image, [&](std::span<const std::uint8_t> bytes) {
        use(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
      }));
}

void TIsamDataSet::CloseBlob(const TField& field) {
  // A blob that is not open (never read or written) has nothing to close.
  if (std::uint8_t* image = ActiveBuffer()) {
    static_cast<void>(engine_->CloseBlob(TFieldSet::Working, field.FieldNo(), image));
  }
}

}  // namespace katalog
