#include "engine/table/TableCreation.h"

#include <algorithm>
#include <functional>
#include <memory>

#include "engine/index/BlobFile.h"
#include "engine/index/IndexFile.h"
#include "engine/index/Keys.h"
#include "engine/storage/Cipher.h"
#include "engine/storage/FieldChecks.h"
#include "engine/storage/IsamError.h"
#include "engine/storage/ShortString.h"
#include "engine/storage/TableFileNames.h"
#include "engine/table/DataFile.h"
#include "platform/ExceptionReporter.h"
#include "platform/Locale.h"

namespace katalog {
namespace {

constexpr int kMaxRecordSize = 32767;  // at least one record per 32 KB read-ahead run
constexpr int kMaxBlobFields = 64;     // the blobs one record can have open at once
constexpr int kMaxBcdScale = 18;

std::string UpperName(std::string_view name) {
  return platform::UserDefaultLocale().Map(platform::kMapUpperCase, TrimBlanks(name));
}

bool ValidSubType(std::uint8_t type, std::uint8_t sub) {
  if (sub == 0) return true;
  if (type == ft::kFloat) return sub == st::kCurrency;
  if (type == ft::kInteger) return sub == st::kAutoIncrement;
  if (type == ft::kBlob) return sub >= st::kMemo && sub <= st::kTypedBinary;
  return false;
}

// Checks the field definitions and lays them out; returns the record size.
int BuildFields(const TTableDefinition& def, const std::string& file,
                std::vector<TFieldDescriptor>& fields) {
  if (def.Fields.size() > static_cast<std::size_t>(kMaxFields)) {
    RaiseIsamError(ie::kFieldLimits, file);
  }
  const platform::TFormatSettings& settings = TableFormatSettings(def.LocaleId);
  std::vector<std::string> seen;
  int running = kSlotHeaderSize;
  int blobs = 0;
  for (const TFieldDefinition& d : def.Fields) {
    const std::string name(TrimBlanks(d.Name));
    const std::string upper = UpperName(name);
    if (name.empty() || name.size() > kMaxFieldNameLength || !IsFieldNameStart(name[0]) ||
        std::find(seen.begin(), seen.end(), upper) != seen.end()) {
      RaiseIsamError(ie::kInvalidFieldName, file, name);
    }
    seen.push_back(upper);
    const bool sized =
        d.TypeCode == ft::kString || d.TypeCode == ft::kBytes || d.TypeCode == ft::kVarBytes;
    if (d.TypeCode == ft::kNone || d.TypeCode > ft::kVarBytes ||
        !ValidSubType(d.TypeCode, d.SubType) ||
        (sized && (d.Size < 1 || d.Size > kMaxDeclaredSize)) ||
        (d.TypeCode == ft::kBcd && d.Scale > kMaxBcdScale)) {
      RaiseIsamError(ie::kInvalidFieldDefinition, file, name);
    }
    TFieldDescriptor f;
    f.FieldNumber = static_cast<std::int16_t>(fields.size() + 1);
    f.Name = name;
    f.FieldTypeCode = d.TypeCode;
    f.SubTypeCode = d.SubType;
    f.DeclaredSize = sized ? d.Size : 0;
    f.DeclaredScale = d.TypeCode == ft::kBcd ? d.Scale : 0;
    f.PhysicalSize = PhysicalSizeOf(f.FieldTypeCode, f.DeclaredSize);
    f.PhysicalScale = f.DeclaredScale;
    f.RequiredFlag = d.Required ? 1 : 0;
    for (const std::string* text : {&d.MinValue, &d.MaxValue, &d.DefaultValue}) {
      if (text->size() > kMaxCheckTextLength ||
          (!text->empty() && !IsAcceptableCheckText(f, *text, settings))) {
        RaiseIsamError(ie::kInvalidFieldCheck, file, name);
      }
    }
    f.MinValue = d.MinValue;
    f.MaxValue = d.MaxValue;
    f.DefaultValue = d.DefaultValue;
    if (f.IsAutoIncrement()) {
      f.FieldOffset = kRecordIdOffset;
    } else {
      f.FieldOffset = static_cast<std::int16_t>(running);
      running += f.PhysicalSize + 1;
      if (running > kMaxRecordSize) RaiseIsamError(ie::kRecordTooLarge, file, name);
    }
    if (f.FieldTypeCode == ft::kBlob && ++blobs > kMaxBlobFields) {
      RaiseIsamError(ie::kBlobDefinition, file, name);
    }
    fields.push_back(std::move(f));
  }
  return running;
}

TIndexDescriptor BuildIndex(const TIndexDefinition& d, bool secondary,
                            const std::vector<TFieldDescriptor>& fields, const std::string& file) {
  TIndexDescriptor index;
  index.Name = secondary ? std::string(TrimBlanks(d.Name)) : kPrimaryIndexName;
  if (d.Fields.empty() || d.Fields.size() > static_cast<std::size_t>(kMaxIndexFields) ||
      (!d.DescendingFields.empty() && d.DescendingFields.size() != d.Fields.size())) {
    RaiseIsamError(ie::kIndexLimits, file, "", index.Name);
  }
  index.Unique = (d.Unique || !secondary) ? 1 : 0;
  index.Descending = d.Descending ? 1 : 0;
  index.CaseInsensitive = d.CaseInsensitive ? 1 : 0;
  index.Compression = d.Compression;
  index.FieldCount = static_cast<std::uint8_t>(d.Fields.size());
  std::vector<const TFieldDescriptor*> keyFields;
  for (std::size_t i = 0; i < d.Fields.size(); ++i) {
    const std::string wanted = UpperName(d.Fields[i]);
    const auto it = std::find_if(fields.begin(), fields.end(), [&](const TFieldDescriptor& f) {
      return UpperName(f.Name) == wanted;
    });
    if (it == fields.end()) RaiseIsamError(ie::kInvalidIndexField, file, d.Fields[i], index.Name);
    if (it->FieldTypeCode == ft::kBlob) {
      RaiseIsamError(ie::kInvalidIndexFieldType, file, it->Name, index.Name);
    }
    index.FieldNumbers[i] = static_cast<std::uint16_t>(it->FieldNumber);
    index.FieldDescending[i] = (!d.DescendingFields.empty() && d.DescendingFields[i]) ? 1 : 0;
    keyFields.push_back(&*it);
  }
  const int length = KeyLengthOf(keyFields, secondary && !index.Unique);
  if (length > kMaxKeyLength) RaiseIsamError(ie::kInvalidKeySize, file, "", index.Name);
  index.KeyLength = static_cast<std::uint16_t>(length);
  return index;
}

TIndexFileHeader BuildIndexHeader(const TTableDefinition& def,
                                  const std::vector<TFieldDescriptor>& fields,
                                  const std::string& file) {
  TIndexFileHeader header = NewIndexFileHeader();
  header.NoPrimaryIndex = 1;
  std::vector<std::string> names;
  for (const TIndexDefinition& d : def.Indexes) {
    if (d.Primary) {
      if (!header.NoPrimaryIndex) RaiseIsamError(ie::kPrimaryIndexExists, file);
      header.Indexes[kPrimarySlot] = BuildIndex(d, false, fields, file);
      header.NoPrimaryIndex = 0;
      continue;
    }
    const std::string name(TrimBlanks(d.Name));
    if (name.empty()) RaiseIsamError(ie::kIndexNameMissing, file);
    const std::string upper = UpperName(name);
    if (name.size() > kMaxIndexNameLength || upper == UpperName(kPrimaryIndexName) ||
        upper == UpperName(kDeletedIndexName)) {
      RaiseIsamError(ie::kInvalidIndexName, file, "", name);
    }
    if (std::find(names.begin(), names.end(), upper) != names.end()) {
      RaiseIsamError(ie::kIndexExists, file, "", name);
    }
    if (names.size() == kMaxSecondaryIndexes) RaiseIsamError(ie::kIndexLimits, file, "", name);
    names.push_back(upper);
    header.Indexes[names.size()] = BuildIndex(d, true, fields, file);
  }
  header.SecondaryCount = static_cast<std::uint8_t>(names.size());
  return header;
}

// Files created so far; removed again unless the creation completes.
class TCreatedFiles {
 public:
  ~TCreatedFiles() {
    for (auto& file : files_) {
      platform::RunReported([&] {
        file->Close();
        if (!done_ && file->Exists()) file->Delete();
      });
    }
  }
  template <class T>
  T& Create(const TTableDefinition& def, const std::string& dataName) {
    auto file = std::make_unique<T>();
    file->SetInMemory(def.InMemory);
    file->SetExclusive(true);
    file->SetFileName(dataName);
    file->CreateEmpty();
    files_.push_back(std::move(file));
    return static_cast<T&>(*files_.back());
  }
  void Done() { done_ = true; }

 private:
  std::vector<std::unique_ptr<TFileHandler>> files_;
  bool done_ = false;
};

}  // namespace

void CreateTable(const TTableDefinition& def) {
  const std::string dataName = DataFileNameOf(def.TableName);
  if (def.LocaleId != 0 &&
      ((def.LocaleId & 0xFFFF) == 0 || !platform::IsValidLocale(def.LocaleId))) {
    RaiseIsamError(ie::kLanguageDriver, dataName);
  }
  if (def.Password.size() > static_cast<std::size_t>(kMaxPasswordLength)) {
    RaiseIsamError(ie::kInvalidPassword, dataName);
  }
  const std::uint32_t blockSize =
      def.BlobBlockSize == 0 ? kDefaultBlobBlockSize : def.BlobBlockSize;
  if (blockSize % kDefaultBlobBlockSize != 0 || blockSize > kMaxBlobBlockSize) {
    RaiseIsamError(ie::kBlobDefinition, dataName);
  }
  std::vector<TFieldDescriptor> fields;
  const int recordSize = BuildFields(def, dataName, fields);
  TIndexFileHeader indexHeader = BuildIndexHeader(def, fields, dataName);
  const bool hasBlobs = std::any_of(fields.begin(), fields.end(), [](const TFieldDescriptor& f) {
    return f.FieldTypeCode == ft::kBlob;
  });
  const bool encrypted = !def.Password.empty();

  TDataFileHeader header;
  header.BlobBlockSize = def.BlobBlockSize;
  header.RecordSize = static_cast<std::uint16_t>(recordSize);
  header.FieldCount = static_cast<std::uint16_t>(fields.size());
  header.BlobIndicator = hasBlobs ? 1 : 0;
  header.Encrypted = encrypted ? 1 : 0;
  if (encrypted) header.StoredPassword = EncodeStoredPassword(def.Password);
  header.LanguageId = static_cast<std::uint16_t>(def.LocaleId & 0xFFFF);
  header.SortId = static_cast<std::uint16_t>(def.LocaleId >> 16);
  header.ChangeCounter = 1;
  header.LastWriteStamp = CurrentWriteStamp();

  std::vector<std::uint8_t> bytes(kDataFileHeaderSize + kFieldDescriptorSize * fields.size());
  EncodeDataFileHeader(header, bytes.data());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    EncodeFieldDescriptor(fields[i], bytes.data() + kDataFileHeaderSize + kFieldDescriptorSize * i);
  }
  if (encrypted) {
    ApplyCipher(bytes.data() + kDataFileHeaderSize, kFieldDescriptorSize * fields.size(),
                kRecordSeeds);
  }

  TCreatedFiles created;
  TFileHandler& data = created.Create<TFileHandler>(def, dataName);
  data.Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  TIndexFile& index = created.Create<TIndexFile>(def, dataName);
  index.SetEncrypted(encrypted);
  index.MutableHeader() = indexHeader;
  index.WriteHeader();
  if (hasBlobs) {
    TBlobFile& blob = created.Create<TBlobFile>(def, dataName);
    blob.SetEncrypted(encrypted);
    blob.WriteHeader(true);
  } else {
    // A blob file left from a table of the same name would no longer belong to anything.
    TBlobFile stale;
    stale.SetInMemory(def.InMemory);
    stale.SetFileName(dataName);
    if (stale.Exists()) stale.Delete();
  }
  created.Done();
}

}  // namespace katalog
