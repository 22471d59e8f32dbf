#include "engine/index/HeaderFile.h"

#include "engine/storage/Cipher.h"
#include "platform/ByteOrder.h"
#include "platform/ScopeGuard.h"

namespace katalog {

THeaderFile::~THeaderFile() = default;

void THeaderFile::Open() {
  if (IsOpen()) return;
  TFileHandler::Open();
  const platform::TScopeFail closeOnFailure([&] { THeaderFile::Close(); });
  ReadHeader();
  CheckHeader();
}

void THeaderFile::Close() {
  locks_.Forget();
  headerModified_ = false;
  TFileHandler::Close();
}

void THeaderFile::CreateEmpty() {
  TFileHandler::CreateEmpty();
  ResetHeader();
  headerModified_ = true;
}

void THeaderFile::ReadHeader() {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(headerSize_));
  Seek(0, 0);
  Read(bytes.data(), headerSize_);
  if (encrypted_) ApplyCipher(bytes.data(), bytes.size(), kRecordSeeds);
  DecodeHeader(bytes.data());
  headerModified_ = false;
}

void THeaderFile::WriteHeader(bool force) {
  if (!headerModified_ && !force) return;
  ++ChangeCounter();
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(headerSize_));
  EncodeHeader(bytes.data(), headerModified_);
  if (encrypted_) ApplyCipher(bytes.data(), bytes.size(), kRecordSeeds);
  Seek(0, 0);
  Write(bytes.data(), headerSize_);
  headerModified_ = false;
}

bool THeaderFile::ReReadHeaderIfChanged() {
  std::uint8_t counter[4];
  Seek(0, 0);
  Read(counter, 4);
  if (encrypted_) ApplyCipher(counter, 4, kRecordSeeds);
  if (LoadI32(counter) == ChangeCounter()) return false;
  ReadHeader();
  return true;
}

}  // namespace katalog
