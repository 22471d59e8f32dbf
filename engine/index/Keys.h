// Index keys: building them from records, comparing them, and turning partial keys into range
// bounds.
//
//   key layout: per key field a slot of 1 + size(f) bytes (presence byte 1 value / 0 null, then
//   the encoded value), then for a non-unique secondary index the 4-byte record identifier.
//
// A null field's slot is its presence byte followed by zero bytes (complemented where the slot is
// complemented): nothing is written after a null presence byte into the zero-filled key. Other
// writers (and this engine before) may have left the encoded stored bytes of the null field
// there instead; TNullSlots::StoredBytes builds that form, so that the entry of such a record can
// still be found, changed and checked.
//
// Value encodings make byte order follow value order: integers big-endian with the top bit
// inverted; uint16 big-endian; doubles big-endian with the top bit set when >= 0, all bytes
// complemented when < 0; strings as their characters (mapped to half width, and upper case for a
// case-insensitive index, under the table locale; upper-cased a-z without one); anything else
// copied. Without a locale a per-field descending field of an ascending index is complemented;
// otherwise the comparison inverts. String fields of a table with a locale compare through the
// locale's collation; everything else compares as unsigned bytes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/index/IndexFileHeader.h"
#include "engine/storage/FieldDescriptor.h"

namespace katalog {

// Everything key building and comparison need to know about one index of one table. The
// referenced objects belong to the data file and outlive the context.
struct TKeyContext {
  const TIndexDescriptor* Index = nullptr;
  int Slot = kPrimarySlot;
  // The table's physical field descriptors, field number n at [n - 1].
  const std::vector<TFieldDescriptor>* Fields = nullptr;
  std::uint32_t LocaleId = 0;  // 0: the table has no locale
  const std::array<std::uint8_t, 256>* CollationOrder = nullptr;

  bool HasSuffix() const { return Slot != kDeletedSlot && Slot != kPrimarySlot && !Index->Unique; }
  // Keys compare as plain bytes: the deleted-records index, or a table without a locale.
  bool ByteOrdered() const { return Slot == kDeletedSlot || LocaleId == 0; }
  const TFieldDescriptor& Field(int i) const { return (*Fields)[Index->FieldNumbers[i] - 1]; }
};

// The key length of an index over the given fields: the sum of 1 + size(f), plus the suffix.
std::uint16_t KeyLengthOf(const std::vector<const TFieldDescriptor*>& fields, bool hasSuffix);

// What follows a null field's presence byte in its key slot.
enum class TNullSlots { Zeros, StoredBytes };

// Builds the key of a record (Index->KeyLength bytes); null slots as this engine writes them, or
// in the other writers' form.
void BuildKey(const TKeyContext& context, const std::uint8_t* record, std::uint8_t* key,
              TNullSlots nulls = TNullSlots::Zeros);
// How BuildFieldSlot encodes a slot: complemented (every byte but a string's last), strings as a
// case-insensitive index keeps them.
struct TSlotOptions {
  bool Complement = false;
  bool CaseInsensitive = false;
};
// Builds the slot (1 + size(f) bytes) of a present field from its data bytes.
void BuildFieldSlot(const TFieldDescriptor& field, const std::uint8_t* data, TSlotOptions options,
                    std::uint32_t localeId, std::uint8_t* slot);
// The 5-byte key of the deleted-records index: status byte, record identifier.
void BuildDeletedKey(const std::uint8_t* record, std::uint8_t* key);

// -1, 0 or 1 for a < b, a = b, a > b in the index's order, over the first n bytes.
int CompareKeys(const TKeyContext& context, const std::uint8_t* a, const std::uint8_t* b, int n);

// From position p to the key length, every byte becomes the lowest (highest) value of its slot.
void FillLow(const TKeyContext& context, std::uint8_t* key, int p);
void FillHigh(const TKeyContext& context, std::uint8_t* key, int p);
// Adds (subtracts) 1 to the first p bytes read as a big-endian number; all 0xFF (0x00) stays.
void IncrementPrefix(std::uint8_t* key, int p);
void DecrementPrefix(std::uint8_t* key, int p);

}  // namespace katalog
