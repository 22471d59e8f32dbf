// The field descriptors of a hand-made table, for tests that need no files: stored fields laid
// out from offset 9 in the order added (a null-flag byte, then the data), an autoincrement field
// on the record identifier at offset 5.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage/FieldDescriptor.h"

namespace katalog::testing {

class TFieldLayout {
 public:
  // The reference is good until the next Add.
  TFieldDescriptor& Add(std::uint8_t type, std::uint8_t declared = 0, std::uint8_t scale = 0,
                        std::uint8_t subType = 0, std::string name = {}) {
    TFieldDescriptor field;
    field.FieldNumber = static_cast<std::int16_t>(fields_.size() + 1);
    field.Name = std::move(name);
    field.FieldTypeCode = type;
    field.SubTypeCode = subType;
    field.DeclaredSize = declared;
    field.DeclaredScale = scale;
    field.PhysicalSize = PhysicalSizeOf(type, declared);
    field.PhysicalScale = scale;
    if (field.IsAutoIncrement()) {
      field.FieldOffset = kRecordIdOffset;
    } else {
      field.FieldOffset = static_cast<std::int16_t>(end_);
      end_ += 1 + field.PhysicalSize;
    }
    fields_.push_back(field);
    return fields_.back();
  }

  const std::vector<TFieldDescriptor>& Fields() const { return fields_; }
  const TFieldDescriptor& operator[](int number) const { return fields_[number - 1]; }
  int RecordSize() const { return end_; }
  std::vector<std::uint8_t> EmptyRecord() const {
    return std::vector<std::uint8_t>(static_cast<std::size_t>(end_), 0);
  }

 private:
  std::vector<TFieldDescriptor> fields_;
  int end_ = kSlotHeaderSize;
};

}  // namespace katalog::testing
