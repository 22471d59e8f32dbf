// Loading and storing integers and doubles at byte positions: little-endian for the table files,
// big-endian for index keys. Every on-disk or in-key number goes through these helpers; nothing
// casts a packed structure over bytes.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace katalog {

inline std::uint16_t LoadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t LoadU32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
inline std::uint64_t LoadU64(const std::uint8_t* p) {
  return std::uint64_t{LoadU32(p)} | std::uint64_t{LoadU32(p + 4)} << 32;
}
inline std::int16_t LoadI16(const std::uint8_t* p) {
  return static_cast<std::int16_t>(LoadU16(p));
}
inline std::int32_t LoadI32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(LoadU32(p));
}
inline std::int64_t LoadI64(const std::uint8_t* p) {
  return static_cast<std::int64_t>(LoadU64(p));
}
inline double LoadDouble(const std::uint8_t* p) {
  return std::bit_cast<double>(LoadU64(p));
}

inline void StoreU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void StoreU64(std::uint8_t* p, std::uint64_t v) {
  StoreU32(p, static_cast<std::uint32_t>(v));
  StoreU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
inline void StoreI16(std::uint8_t* p, std::int16_t v) {
  StoreU16(p, static_cast<std::uint16_t>(v));
}
inline void StoreI32(std::uint8_t* p, std::int32_t v) {
  StoreU32(p, static_cast<std::uint32_t>(v));
}
inline void StoreI64(std::uint8_t* p, std::int64_t v) {
  StoreU64(p, static_cast<std::uint64_t>(v));
}
inline void StoreDouble(std::uint8_t* p, double v) {
  StoreU64(p, std::bit_cast<std::uint64_t>(v));
}

// Big-endian: the byte order of index keys, where byte-wise comparison must follow the value.
inline void StoreBigEndian(std::uint8_t* p, std::uint64_t v, int width) {
  for (int i = 0; i < width; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * (width - 1 - i)));
}
inline std::uint64_t LoadBigEndian(const std::uint8_t* p, int width) {
  std::uint64_t v = 0;
  for (int i = 0; i < width; ++i) v = v << 8 | p[i];
  return v;
}

}  // namespace katalog
