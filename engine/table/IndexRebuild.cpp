#include "engine/table/IndexRebuild.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/index/IndexPage.h"
#include "engine/index/Keys.h"
#include "engine/storage/Cipher.h"
#include "engine/storage/IsamError.h"
#include "engine/storage/RecordCodec.h"
#include "engine/storage/TableFileNames.h"
#include "engine/table/RepairDataFile.h"
#include "platform/DateTime.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"

namespace katalog {
namespace {

// Room behind a record copy: a key field placed in the computed area reads from there.
constexpr std::size_t kRecordPadding = 256;

std::string N(std::int64_t value) {
  return std::to_string(value);
}

std::string UpperName(std::string_view name) {
  return platform::UserDefaultLocale().Map(platform::kMapUpperCase, name);
}

std::string DateText(std::int64_t day) {
  int y = 0, m = 0, d = 0;
  if (day >= 1 && day <= platform::kMaxDayNumber) {
    platform::DecodeDate(static_cast<std::int32_t>(day), y, m, d);
  }
  if (y == 0) return "day " + N(day);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
  return text;
}

std::string TimeText(std::int64_t ms) {
  int h = 0, m = 0, s = 0, milli = 0;
  platform::DecodeTime(static_cast<std::int32_t>(ms % platform::kMsecsPerDay), h, m, s, milli);
  char text[16];
  std::snprintf(text, sizeof text, milli ? "%02d:%02d:%02d.%03d" : "%02d:%02d:%02d", h, m, s,
                milli);
  return text;
}

// A BCD amount with all of the field's decimals, digit for digit.
std::string AmountText(std::int64_t scaled, int scale) {
  const bool negative = scaled < 0;
  std::string digits = std::to_string(negative ? 0 - static_cast<std::uint64_t>(scaled)
                                               : static_cast<std::uint64_t>(scaled));
  if (scale > 0) {
    const auto places = static_cast<std::size_t>(scale);
    if (digits.size() <= places) digits.insert(0, places + 1 - digits.size(), '0');
    digits.insert(digits.size() - places, 1, '.');
  }
  return negative ? "-" + digits : digits;
}

// A field's value as a log line shows it.
std::string ValueText(const TFieldDescriptor& field, const std::uint8_t* record) {
  const TFieldValue value = LoadFieldValue(field, record);
  if (std::holds_alternative<std::monostate>(value)) return "null";
  if (const auto* b = std::get_if<bool>(&value)) return *b ? "true" : "false";
  if (const auto* amount = std::get_if<TBcdAmount>(&value)) {
    return AmountText(amount->Scaled, field.PhysicalScale);
  }
  if (const auto* i = std::get_if<std::int64_t>(&value)) {
    if (field.FieldTypeCode == ft::kDate) return DateText(*i);
    if (field.FieldTypeCode == ft::kTime) return TimeText(*i);
    return N(*i);
  }
  char text[32];
  if (const auto* d = std::get_if<double>(&value)) {
    if (field.FieldTypeCode == ft::kDateTime && std::isfinite(*d) && std::fabs(*d) < 1e18) {
      const auto days = static_cast<std::int64_t>(std::floor(*d / platform::kMsecsPerDay));
      const auto ms =
          static_cast<std::int64_t>(*d - static_cast<double>(days) * platform::kMsecsPerDay);
      return DateText(days) + " " + TimeText(ms);
    }
    std::snprintf(text, sizeof text, "%.15g", *d);
    return text;
  }
  const std::string& bytes = std::get<std::string>(value);
  if (field.FieldTypeCode == ft::kString) return "'" + bytes + "'";
  std::string hex = "0x";
  for (char c : bytes) {
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(static_cast<std::uint8_t>(c)));
    hex += text;
  }
  return hex;
}

std::string IndexName(const TIndexDescriptor& index, int slot) {
  if (slot == kPrimarySlot) return kPrimaryIndexName;
  return index.Name.empty() ? "in slot " + N(slot) : index.Name;
}

}  // namespace

TIndexRebuild::TIndexRebuild(const TRepairDataFile& data, TLog log)
    : data_(data), log_(std::move(log)) {}

TIndexRebuild::~TIndexRebuild() {
  Discard();
}

void TIndexRebuild::Begin() {
  TIndexFile named;
  named.SetFileName(data_.FileName());
  fileName_ = named.FileName();
  TIndexFileHeader header = NewIndexFileHeader();
  header.NoPrimaryIndex = 1;
  ReadDefinitions(header);
  primary_ = header.NoPrimaryIndex == 0;

  std::string kept = primary_ ? kPrimaryIndexName : "no primary index";
  for (int slot = 1; slot <= header.SecondaryCount; ++slot)
    kept += ", " + header.Indexes[slot].Name;
  log_("index file: made anew with " + kept);

  scratch_.SetExclusive(true);
  scratch_.SetEncrypted(data_.Header().Encrypted != 0);
  scratch_.SetFileName(fileName_ + ".new");
  scratch_.CreateEmpty();
  scratch_.MutableHeader() = header;
  store_ = std::make_unique<TIndexStore>(scratch_);
  store_->SetKeyContextSource([this](int slot) {
    return TKeyContext{&scratch_.Descriptor(slot), slot, &data_.Fields(), data_.LocaleId(),
                       &data_.CollationOrder()};
  });
  store_->SetToleratesShortReads(true);  // pages appended but not yet written
  for (int slot = primary_ ? kPrimarySlot : 1; slot <= header.SecondaryCount; ++slot) {
    trees_.emplace_back(*store_, slot);
    keys_.emplace_back(trees_.back().KeyLength());
  }
  if (primary_) deleted_ = std::make_unique<TIndexTree>(*store_, kDeletedSlot);
  record_.assign(data_.Header().RecordSize + kRecordPadding, 0);
}

// The old header, when there is one to read; each definition in it is kept only when it fits the
// table's fields.
void TIndexRebuild::ReadDefinitions(TIndexFileHeader& header) {
  const std::string lost =
      "; every index definition is lost: the table is rebuilt without a primary index and "
      "without secondary indexes";
  TFileHandler old;
  old.SetExclusive(true);
  old.SetFileName(fileName_);
  if (!old.Exists()) return log_("index file: it is missing" + lost);
  old.Open();
  if (old.ReadOnlyMedia()) RaiseOsError(platform::kErrorAccessDenied, fileName_);
  std::vector<std::uint8_t> bytes(kIndexHeaderSize);
  old.Seek(0, 0);
  const std::int32_t read = old.Read(bytes.data(), kIndexHeaderSize, true);
  old.Close();
  if (read < kIndexHeaderSize) {
    return log_("index file: it is " + N(read) + " bytes long, too short for its header" + lost);
  }
  if (data_.Header().Encrypted) ApplyCipher(bytes.data(), bytes.size(), kRecordSeeds);
  const TIndexFileHeader oldHeader = DecodeIndexFileHeader(bytes.data());
  header.ChangeCounter = oldHeader.ChangeCounter;
  if (oldHeader.FormatVersion != kIndexFormatVersion) {
    // A damaged version byte alone does not make the definitions unreadable: each is checked.
    log_("index file: its header gives version " + N(oldHeader.FormatVersion) +
         "; each index definition in it is checked against the table's fields");
  }
  KeepDefinitions(oldHeader, header);
}

void TIndexRebuild::KeepDefinitions(const TIndexFileHeader& old, TIndexFileHeader& header) {
  std::vector<std::string> names{UpperName(kPrimaryIndexName), UpperName(kDeletedIndexName)};
  auto keep = [&](int slot, int to) {
    const TIndexDescriptor& index = old.Indexes[slot];
    const std::string problem = DefinitionProblem(index, slot, names);
    if (!problem.empty()) {
      log_("index file: the definition of index " + IndexName(index, slot) +
           " is lost: " + problem);
      return false;
    }
    TIndexDescriptor& kept = header.Indexes[to];
    kept = index;
    kept.RootPage = kept.FreePageHead = 0;
    if (slot != kPrimarySlot) names.push_back(UpperName(index.Name));
    return true;
  };
  // The flag is 0 or 1 as the engine writes it; any other value is damage, and slot 0 decides.
  if (old.NoPrimaryIndex == 0 || (old.NoPrimaryIndex != 1 && old.Indexes[0].FieldCount != 0)) {
    header.NoPrimaryIndex = keep(kPrimarySlot, kPrimarySlot) ? 0 : 1;
  }
  int count = old.SecondaryCount;
  if (count > kMaxSecondaryIndexes) {
    log_("index file: its header counts " + N(count) + " secondary indexes, more than a table " +
         "can have; every slot is checked");
    count = kMaxSecondaryIndexes;
  }
  int to = 0;
  for (int slot = 1; slot <= count; ++slot) {
    if (old.SecondaryCount > kMaxSecondaryIndexes && old.Indexes[slot].FieldCount == 0) continue;
    if (keep(slot, to + 1)) ++to;
  }
  header.SecondaryCount = static_cast<std::uint8_t>(to);
}

// Why the definition in `slot` does not describe an index of this table, or "".
std::string TIndexRebuild::DefinitionProblem(const TIndexDescriptor& index, int slot,
                                             const std::vector<std::string>& names) const {
  if (index.FieldCount < 1 || index.FieldCount > kMaxIndexFields) {
    return "it gives " + N(index.FieldCount) + " key fields";
  }
  if (index.Compression > kcFull)
    return "it gives the unknown key compression " + N(index.Compression);
  const std::vector<TFieldDescriptor>& fields = data_.Fields();
  std::vector<const TFieldDescriptor*> keyFields;
  for (int i = 0; i < index.FieldCount; ++i) {
    const int number = index.FieldNumbers[static_cast<std::size_t>(i)];
    if (number < 1 || number > static_cast<int>(fields.size())) {
      return "it names field number " + N(number) + ", which the table does not have";
    }
    keyFields.push_back(&fields[static_cast<std::size_t>(number - 1)]);
  }
  const int length = KeyLengthOf(keyFields, slot != kPrimarySlot && !index.Unique);
  if (length != index.KeyLength || length > kMaxKeyLength) {
    return "its key length " + N(index.KeyLength) + " does not fit its fields";
  }
  if (slot != kPrimarySlot) {
    const std::string name = UpperName(index.Name);
    if (index.Name.empty()) return "it has no name";
    for (const std::string& other : names) {
      if (other == name) return "another index has its name";
    }
  }
  return "";
}

const std::uint8_t* TIndexRebuild::Padded(const std::uint8_t* record) {
  std::memcpy(record_.data(), record, data_.Header().RecordSize);
  return record_.data();
}

std::string TIndexRebuild::KeyText(const TIndexTree& tree, const std::uint8_t* record) const {
  const TIndexDescriptor& index = scratch_.Descriptor(tree.Slot());
  std::string text;
  for (int i = 0; i < index.FieldCount; ++i) {
    const TFieldDescriptor& field = data_.Fields()[static_cast<std::size_t>(
        index.FieldNumbers[static_cast<std::size_t>(i)] - 1)];
    text += (i == 0 ? "" : ", ") + field.Name + " = " + ValueText(field, record);
  }
  return text;
}

bool TIndexRebuild::AddRecord(std::int32_t n, const std::uint8_t* slot) {
  const std::uint8_t* record = Padded(slot);
  for (std::size_t i = 0; i < trees_.size(); ++i) {
    TIndexTree& tree = trees_[i];
    BuildKey(store_->KeyContext(tree.Slot()), record, keys_[i].data());
    const TIndexDescriptor& index = scratch_.Descriptor(tree.Slot());
    if ((tree.Slot() == kPrimarySlot || index.Unique) && tree.Exists(keys_[i].data())) {
      log_("data file: record " + N(n) + " is deleted: index " + IndexName(index, tree.Slot()) +
           " already holds its key (" + KeyText(tree, record) +
           ") for an earlier record; it stays in the copy " + data_.FileName() + ".bak");
      return false;
    }
  }
  for (std::size_t i = 0; i < trees_.size(); ++i) trees_[i].Insert(keys_[i].data(), n);
  if (deleted_) {
    std::uint8_t key[kDeletedKeyLength];
    BuildDeletedKey(record, key);
    deleted_->Insert(key, n);
  }
  ++active_;
  return true;
}

void TIndexRebuild::AddDeletedSlot(std::int32_t n, const std::uint8_t* record) {
  if (!deleted_) return;
  std::uint8_t key[kDeletedKeyLength];
  BuildDeletedKey(record, key);
  deleted_->Insert(key, n);
}

void TIndexRebuild::Finish() {
  scratch_.MutableHeader().ActiveRecords = active_;
  store_->Flush();
  scratch_.Flush();
  trees_.clear();
  deleted_.reset();
  store_.reset();
  scratch_.Close();
}

void TIndexRebuild::Commit() {
  TFileHandler old;
  old.SetFileName(fileName_);
  if (old.Exists()) old.Delete();
  scratch_.Rename(fileName_);
}

void TIndexRebuild::Discard() noexcept {
  trees_.clear();
  deleted_.reset();
  store_.reset();
  scratch_.Close();
  try {
    if (!scratch_.FileName().empty() && scratch_.FileName() != fileName_ && scratch_.Exists()) {
      scratch_.Delete();
    }
  } catch (const std::exception&) {  // a file left behind is named by the next repair's log
  }
}

}  // namespace katalog
