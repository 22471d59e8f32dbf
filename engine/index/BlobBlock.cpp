#include "engine/index/BlobBlock.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/Cipher.h"
#include "platform/ByteOrder.h"

namespace katalog {

void DecodeBlock(std::uint8_t* bytes, std::uint32_t blockSize, bool encrypted, TBlock& block) {
  if (encrypted) {
    ApplyCipher(bytes, kBlockHeaderSize, kRecordSeeds);
    ApplyCipher(bytes + kBlockHeaderSize, blockSize - kBlockHeaderSize, kRecordSeeds);
  }
  block.Previous = LoadI32(bytes);
  block.Next = LoadI32(bytes + 4);
  block.Used = LoadU16(bytes + 8);
  block.Record = LoadI32(bytes + 10);
  block.Total = LoadI32(bytes + 14);
  block.Data.assign(bytes + kBlockHeaderSize, bytes + blockSize);
}

void EncodeBlock(const TBlock& block, std::uint32_t blockSize, bool encrypted,
                 std::uint8_t* bytes) {
  StoreI32(bytes, block.Previous);
  StoreI32(bytes + 4, block.Next);
  StoreU16(bytes + 8, block.Used);
  StoreI32(bytes + 10, block.Record);
  StoreI32(bytes + 14, block.Total);
  const std::size_t data = blockSize - kBlockHeaderSize;
  const std::size_t held = std::min(data, block.Data.size());
  std::memcpy(bytes + kBlockHeaderSize, block.Data.data(), held);
  std::memset(bytes + kBlockHeaderSize + held, 0, data - held);
  if (encrypted) {
    ApplyCipher(bytes, kBlockHeaderSize, kRecordSeeds);
    ApplyCipher(bytes + kBlockHeaderSize, data, kRecordSeeds);
  }
}

}  // namespace katalog
