// TRepairDataFile: the data file of a table under repair, read without a normal open, which a
// damaged table would not pass. It holds the file open exclusively for writing from Open to
// Close: every program opens a table's data file first, so nobody else can open the table while
// it is repaired, and a table another program has open is refused (kAccessDenied).
//
// Reads: the header and the field descriptors through their codecs (deciphered when the table is
// enciphered), then the record slots in runs.
// Trusts, as a normal open checks them (each failure is the engine's error, and nothing is
// repaired): the format version (kWrongVersion), the table locale (kLanguageDriver), the password
// of an enciphered table (kPasswordRequired), the blob block size (kBlobDefinition), and the field
// descriptors, whose offsets must add up to RecordSize (kHeaderCorrupt); without them not a single
// record could be read. Does not trust: the file length (bytes past the slots the header counts, or
// a partial slot at the end, are counted apart: an unfinished append left them), NextRecordNumber
// when the file holds fewer slots than it counts, FreeSlotHead, LastRecordId and BlobIndicator,
// which the repair sets from the slots and fields. Writes only when asked: runs of slots, the
// header, and the file's length.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/storage/DataFileHeader.h"
#include "engine/storage/FieldDescriptor.h"
#include "engine/storage/FileHandler.h"

namespace katalog {

class TRepairDataFile {
 public:
  // Asked for the password of an enciphered table the session does not know; true when it was
  // added to the session.
  using TPasswordAsk = std::function<bool()>;

  // Opens the data file of the table (a name as a table open takes it) and reads its header and
  // descriptors. The file errors of the open, kReadError for a short header or descriptor block,
  // and the errors above. `indexed` is the highest record number the table's old indexes name (0
  // when none could be read): whole slots past the header's count up to it belong to the table.
  void Open(const std::string& tableName, const TPasswordAsk& askPassword,
            std::int32_t indexed = 0);
  void Close();
  bool IsOpen() const { return file_.IsOpen(); }

  TFileHandler& File() { return file_; }
  const std::string& FileName() const { return file_.FileName(); }
  TDataFileHeader& Header() { return header_; }
  const TDataFileHeader& Header() const { return header_; }
  const std::vector<TFieldDescriptor>& Fields() const { return fields_; }
  bool HasBlobFields() const;
  std::uint32_t LocaleId() const { return header_.LocaleId(); }
  const std::array<std::uint8_t, 256>& CollationOrder() const { return collationOrder_; }

  // The slots of the table (the whole slots the file holds, at most as many as the header
  // counts), and the bytes after them.
  std::int32_t Slots() const { return slots_; }
  std::int64_t PartialBytes() const { return partialBytes_; }

  // `count` whole slots from record number `first` (both within Slots()), plain in memory.
  void ReadSlots(std::int32_t first, std::int32_t count, std::uint8_t* buffer);
  void WriteSlots(std::int32_t first, std::int32_t count, const std::uint8_t* buffer);
  // Writes the header as it stands in Header(), with the change counter + 1 and the time now.
  void WriteHeader();
  // Cuts the file after its last whole slot.
  void CutPartialSlot();

 private:
  void ReadDescriptors();
  void CheckLayout() const;

  TFileHandler file_;
  TDataFileHeader header_;
  std::vector<TFieldDescriptor> fields_;
  std::array<std::uint8_t, 256> collationOrder_{};
  std::int32_t slots_ = 0;
  std::int64_t partialBytes_ = 0;
};

}  // namespace katalog
