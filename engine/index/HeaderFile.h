// THeaderFile: the common part of a table's index and blob files, which both begin with a fixed
// header whose first four bytes are a change counter. It reads the header at open (deciphered
// when the table is enciphered), writes it back with the counter one higher, notices another
// program's writes by re-reading the counter, and holds the file's read-slot and write-range
// locks. Subclasses give the header's size, codec and open checks.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/FileHandler.h"
#include "engine/storage/TableLocks.h"

namespace katalog {

class THeaderFile : public TFileHandler {
 public:
  void Open() override;
  void Close() override;
  // Creates the file; the subclass resets its header, which the first WriteHeader writes.
  void CreateEmpty() override;

  void SetEncrypted(bool encrypted) { encrypted_ = encrypted; }
  bool Encrypted() const { return encrypted_; }
  bool HeaderModified() const { return headerModified_; }
  void MarkHeaderModified() { headerModified_ = true; }
  // Puts the modified mark back as a change found it (the change was taken back).
  void RestoreHeaderModified(bool modified) { headerModified_ = modified; }

  // Writes the header when it was modified, or when forced, with the change counter + 1.
  void WriteHeader(bool force = false);
  // Reads the change counter; when another program wrote the header since, reads the whole
  // header again and returns true.
  bool ReReadHeaderIfChanged();

  TPageFileLocks& Locks() { return locks_; }

 protected:
  THeaderFile(TFileHandler* owner, int headerSize) : TFileHandler(owner), headerSize_(headerSize) {}
  ~THeaderFile() override;

  virtual void DecodeHeader(const std::uint8_t* bytes) = 0;
  // Encodes the header; `modified` is the writer's header-modified flag.
  virtual void EncodeHeader(std::uint8_t* bytes, bool modified) const = 0;
  virtual std::int32_t& ChangeCounter() = 0;
  // The header of a new file.
  virtual void ResetHeader() = 0;
  // Raises the engine's error when the header just read cannot be used.
  virtual void CheckHeader() const = 0;

 private:
  void ReadHeader();

  int headerSize_;
  bool headerModified_ = false;
  bool encrypted_ = false;
  TPageFileLocks locks_{*this};
};

}  // namespace katalog
