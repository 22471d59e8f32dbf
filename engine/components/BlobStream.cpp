#include "engine/components/BlobStream.h"

#include <limits>

#include "dataset/BlobFields.h"
#include "dataset/DatabaseError.h"
#include "dataset/FieldText.h"
#include "engine/components/IsamDataSet.h"
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "platform/ExceptionReporter.h"

namespace katalog {

namespace {
constexpr std::int64_t kMaxBlob = std::numeric_limits<std::int32_t>::max();
}  // namespace

TIsamBlobStream::TIsamBlobStream(TIsamDataSet& dataSet, const TField& field, TBlobStreamMode mode)
    : dataSet_(dataSet),
      // Blob contents change through the stream: the field's modified mark is the stream's.
      field_(dynamic_cast<TBlobField*>(const_cast<TField*>(&field))),
      fieldNumber_(field.FieldNo()),
      image_(dataSet.StateImage()) {
  if (!image_ || !dataSet.Engine()) return;
  const bool alreadyModified = field_ && field_->Modified();
  if (!alreadyModified) {
    if (mode != TBlobStreamMode::Read) {
      if (field.ReadOnly()) {
        DatabaseError(FormatMessage("Field '%s' cannot be modified", {field.DisplayName()}));
      }
      const TDataSetState state = dataSet.State();
      if (state != TDataSetState::Editing && state != TDataSetState::Inserting) {
        DatabaseError("Dataset not in edit or insert mode");
      }
    }
    RaiseIfIsamError(dataSet.Engine()->OpenBlob(TFieldSet::Working, fieldNumber_, image_));
  }
  opened_ = true;
  if (mode == TBlobStreamMode::Write) SetSize(0);
}

TIsamBlobStream::~TIsamBlobStream() {
  if (!opened_) return;
  if (modified_ && field_) field_->SetModified(true);
  if (!field_ || !field_->Modified()) {
    platform::RunReported([&] {
      RaiseIfIsamError(dataSet_.Engine()->CloseBlob(TFieldSet::Working, fieldNumber_, image_));
    });
  }
  if (modified_ && field_) {
    platform::RunReported([&] { dataSet_.DataEvent(TDataEvent::FieldChanged, {.Field = field_}); });
  }
}

std::int64_t TIsamBlobStream::Read(void* buffer, std::int64_t count) {
  if (!opened_ || count <= 0 || position_ >= kMaxBlob) return 0;
  count = std::min(count, kMaxBlob - position_);
  std::int32_t copied = 0;
  const int code = dataSet_.Engine()->ReadBlob(
      TFieldSet::Working, fieldNumber_, image_, static_cast<std::int32_t>(position_),
      static_cast<std::int32_t>(count), static_cast<std::uint8_t*>(buffer), copied);
  if (code == ie::kInvalidBlobOffset) return 0;
  if (code != 0 && code != ie::kEndOfBlob) RaiseIfIsamError(code);
  position_ += copied;
  return copied;
}

std::optional<std::string_view> TIsamBlobStream::Contents() const {
  if (!opened_) return std::string_view();
  const std::span<const std::uint8_t> bytes =
      dataSet_.Engine()->BlobBytes(TFieldSet::Working, fieldNumber_, image_);
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::int64_t TIsamBlobStream::Write(const void* buffer, std::int64_t count) {
  if (!opened_ || count <= 0) return 0;
  if (position_ + count > kMaxBlob) RaiseIsamError(ie::kInvalidBlobLength);
  RaiseIfIsamError(dataSet_.Engine()->WriteBlob(
      TFieldSet::Working, fieldNumber_, image_, static_cast<std::int32_t>(position_),
      static_cast<std::int32_t>(count), static_cast<const std::uint8_t*>(buffer)));
  position_ += count;
  modified_ = true;
  return count;
}

std::int64_t TIsamBlobStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::Beginning:
      position_ = offset;
      break;
    case TSeekOrigin::Current:
      position_ += offset;
      break;
    case TSeekOrigin::End: {
      std::int32_t size = 0;
      if (opened_) {
        RaiseIfIsamError(
            dataSet_.Engine()->GetBlobSize(TFieldSet::Working, fieldNumber_, image_, size));
      }
      position_ = size + offset;
      break;
    }
  }
  return position_;
}

void TIsamBlobStream::SetSize(std::int64_t size) {
  if (!opened_) return;
  if (size < 0 || size > kMaxBlob) RaiseIsamError(ie::kInvalidBlobLength);
  RaiseIfIsamError(dataSet_.Engine()->SetBlobSize(TFieldSet::Working, fieldNumber_, image_,
                                                  static_cast<std::int32_t>(size)));
  modified_ = true;
}

}  // namespace katalog
