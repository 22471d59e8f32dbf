// Creating a new table: the data file (header and field descriptors), the index file (header
// with the index descriptors and "Sys Deleted") and, when the table has blob fields, the blob
// file (header). The definition is checked first with the engine's own errors; a failure while
// writing removes every file this call created, so nothing partial is left.
//
// An existing table of the same name is replaced.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/index/IndexPage.h"

namespace katalog {

struct TFieldDefinition {
  std::string Name;  // blank-trimmed, 1-30 characters, starting with a letter
  std::uint8_t TypeCode = 0;
  std::uint8_t SubType = 0;
  std::uint8_t Size = 0;   // 1-250 for strings and bytes; ignored otherwise
  std::uint8_t Scale = 0;  // decimal places of a BCD field, 0-18
  bool Required = false;
  std::string MinValue;
  std::string MaxValue;
  std::string DefaultValue;
};

struct TIndexDefinition {
  std::string Name;  // secondary indexes only; the primary index has none
  std::vector<std::string> Fields;
  // Per-field descending flags, one per field, or empty for none.
  std::vector<bool> DescendingFields;
  bool Primary = false;
  bool Unique = false;
  bool Descending = false;
  bool CaseInsensitive = false;
  TKeyCompression Compression = kcNone;
};

struct TTableDefinition {
  std::string TableName;  // ".DAT" is appended after any extension is cut off
  bool InMemory = false;
  std::vector<TFieldDefinition> Fields;
  std::vector<TIndexDefinition> Indexes;  // at most one primary, at most 30 secondary
  std::uint32_t LocaleId = 0;             // 0: no locale
  std::uint32_t BlobBlockSize = 0;        // 0 means 512; a multiple of 512 up to 32 768
  std::string Password;                   // non-empty: an enciphered table (at most 15 characters)
};

// Raises kRecordTooLarge, kIndexLimits, kFieldLimits, kBlobDefinition, kPrimaryIndexExists,
// kInvalidFieldDefinition, kInvalidFieldCheck, kIndexNameMissing, kInvalidPassword,
// kInvalidIndexName, kInvalidIndexField, kInvalidKeySize, kIndexExists, kInvalidFieldName,
// kInvalidIndexFieldType or kLanguageDriver for a definition it refuses, and the file errors of
// writing.
void CreateTable(const TTableDefinition& definition);

}  // namespace katalog
