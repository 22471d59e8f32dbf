// TDataFile's blob fields: opening, reading, writing and closing the blobs of a record through
// the blob file, and keeping them with the record when it is inserted, changed or deleted.
#include <cassert>
#include <limits>
#include <vector>

#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"

namespace katalog {
namespace {

// A blob field's value in a record buffer: a negative value is the handle of the blob opened for
// it, negated; any other value (a block offset, or a damaged record's most negative number) names
// no open blob and gives 0.
std::int32_t HandleIn(std::int32_t value) {
  return value < 0 && value != std::numeric_limits<std::int32_t>::min() ? -value : 0;
}

}  // namespace

const TFieldDescriptor* TDataFile::BlobField(TFieldSet fieldSet, int fieldNumber) const {
  const std::vector<TFieldDescriptor>& fields = FieldsOf(fieldSet);
  if (fieldNumber < 1 || fieldNumber > static_cast<int>(fields.size())) return nullptr;
  const TFieldDescriptor& field = fields[fieldNumber - 1];
  return field.FieldTypeCode == ft::kBlob && blobFile_.IsOpen() ? &field : nullptr;
}

int TDataFile::OpenHandleOf(TFieldSet fieldSet, int fieldNumber, const std::uint8_t* record,
                            std::int32_t& handle) const {
  const TFieldDescriptor* field = BlobField(fieldSet, fieldNumber);
  if (!field) return ie::kInvalidBlobField;
  const std::int32_t value = LoadI32(record + field->FieldOffset + 1);
  handle = HandleIn(value);
  return handle != 0 && blobFile_.IsBlobOpen(handle) ? 0 : ie::kInvalidBlobHandle;
}

int TDataFile::OpenBlob(TFieldSet fieldSet, int fieldNumber, std::uint8_t* record) {
  TOperation operation(*this);
  const TFieldDescriptor* field = BlobField(fieldSet, fieldNumber);
  if (!field) return ie::kInvalidBlobField;
  std::uint8_t* flag = record + field->FieldOffset;
  const std::int32_t value = LoadI32(flag + 1);
  if (value < 0) return blobFile_.IsBlobOpen(HandleIn(value)) ? 0 : ie::kInvalidBlobOffset;
  std::int32_t handle = 0;
  const int result = blobFile_.OpenBlob(value, LoadI32(record + 1),
                                        static_cast<std::uint16_t>(fieldNumber), handle);
  if (result != 0) return result;
  std::int32_t length = 0;
  // The handle was opened just now, so its length cannot be refused.
  [[maybe_unused]] const int lengthResult = blobFile_.GetBlobLength(handle, length);
  assert(lengthResult == 0);
  StoreI32(flag + 1, -handle);
  flag[0] = length > 0 ? 1 : 0;
  return 0;
}

int TDataFile::CloseBlob(TFieldSet fieldSet, int fieldNumber, std::uint8_t* record) {
  std::int32_t handle = 0;
  if (const int result = OpenHandleOf(fieldSet, fieldNumber, record, handle)) return result;
  std::uint8_t* flag = record + BlobField(fieldSet, fieldNumber)->FieldOffset;
  std::int32_t first = 0;
  // OpenHandleOf found the handle open, so closing it cannot be refused.
  [[maybe_unused]] const int closeResult = blobFile_.CloseBlob(handle, first);
  assert(closeResult == 0);
  StoreI32(flag + 1, first);
  flag[0] = first != 0 ? 1 : 0;
  return 0;
}

int TDataFile::ReadBlob(TFieldSet fieldSet, int fieldNumber, const std::uint8_t* record,
                        std::int32_t position, std::int32_t count, std::uint8_t* to,
                        std::int32_t& copied) {
  copied = 0;
  std::int32_t handle = 0;
  if (const int result = OpenHandleOf(fieldSet, fieldNumber, record, handle)) return result;
  return blobFile_.ReadBlob(handle, position, count, to, copied);
}

int TDataFile::WriteBlob(TFieldSet fieldSet, int fieldNumber, const std::uint8_t* record,
                         std::int32_t position, std::int32_t count, const std::uint8_t* from) {
  std::int32_t handle = 0;
  if (const int result = OpenHandleOf(fieldSet, fieldNumber, record, handle)) return result;
  return blobFile_.WriteBlob(handle, position, count, from);
}

int TDataFile::SetBlobSize(TFieldSet fieldSet, int fieldNumber, const std::uint8_t* record,
                           std::int32_t size) {
  std::int32_t handle = 0;
  if (const int result = OpenHandleOf(fieldSet, fieldNumber, record, handle)) return result;
  return blobFile_.SetBlobLength(handle, size);
}

int TDataFile::GetBlobSize(TFieldSet fieldSet, int fieldNumber, const std::uint8_t* record,
                           std::int32_t& size) {
  size = 0;
  std::int32_t handle = 0;
  if (const int result = OpenHandleOf(fieldSet, fieldNumber, record, handle)) return result;
  return blobFile_.GetBlobLength(handle, size);
}

bool TDataFile::IsBlobOpen(TFieldSet fieldSet, int fieldNumber, const std::uint8_t* record) const {
  std::int32_t handle = 0;
  return OpenHandleOf(fieldSet, fieldNumber, record, handle) == 0;
}

int TDataFile::ReadBlobContents(TFieldSet fieldSet, int fieldNumber, const std::uint8_t* record,
                                const std::function<void(std::span<const std::uint8_t>)>& use) {
  TOperation operation(*this);
  const TFieldDescriptor* field = BlobField(fieldSet, fieldNumber);
  if (!field) return ie::kInvalidBlobField;
  const std::int32_t value = LoadI32(record + field->FieldOffset + 1);
  if (value < 0) {
    // As OpenBlob: a handle that names no open blob is damage.
    if (!blobFile_.IsBlobOpen(HandleIn(value))) return ie::kInvalidBlobOffset;
    use(blobFile_.Buffer(HandleIn(value))->Data);
  } else if (value == 0) {
    use({});
  } else {
    blobFile_.ReadChain(value, LoadI32(record + 1), blobContents_);
    use(blobContents_);
  }
  return 0;
}

std::span<const std::uint8_t> TDataFile::BlobBytes(TFieldSet fieldSet, int fieldNumber,
                                                   const std::uint8_t* record) const {
  std::int32_t handle = 0;
  if (OpenHandleOf(fieldSet, fieldNumber, record, handle) != 0) return {};
  return blobFile_.Buffer(handle)->Data;
}

// The open blobs of a record being stored go with it: they take its record number, are written,
// and the stored record gets their first blocks in place of the handles.
void TDataFile::AttachBlobs(std::int32_t n, std::uint8_t* stored) {
  if (!blobFile_.IsOpen() || blobFile_.OpenCount() == 0) return;
  blobFile_.AssignRecordNumber(n);
  blobFile_.SaveAll();
  for (const TFieldDescriptor& field : physicalFields_) {
    if (field.FieldTypeCode != ft::kBlob) continue;
    std::uint8_t* flag = stored + field.FieldOffset;
    const std::int32_t value = LoadI32(flag + 1);
    if (value >= 0) continue;
    const TBlobBuffer* blob = blobFile_.Buffer(HandleIn(value));
    const std::int32_t first = blob ? blob->FirstBlock : 0;
    StoreI32(flag + 1, first);
    flag[0] = first != 0 ? 1 : 0;
  }
}

// Every chain is checked before a delete releases any, so that a damaged one refuses the delete
// before anything changed.
std::vector<std::int32_t> TDataFile::BlobChains(std::int32_t n, const std::uint8_t* stored) {
  std::vector<std::int32_t> firsts;
  if (!blobFile_.IsOpen()) return firsts;
  for (const TFieldDescriptor& field : physicalFields_) {
    if (field.FieldTypeCode != ft::kBlob) continue;
    const std::int32_t first = LoadI32(stored + field.FieldOffset + 1);
    if (first > 0) firsts.push_back(first);
  }
  for (std::int32_t first : firsts) blobFile_.CheckChain(first, n);
  return firsts;
}

}  // namespace katalog
