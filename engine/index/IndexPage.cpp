// Page codec of the index file: entry layouts of nodes and of the four leaf compressions.
//
// Every leaf entry is described by a leading count P (bytes copied from the previous entry's key)
// and a trailing count T (zero bytes dropped from the end of the stored key, restored as zeros).
// With S the stored-key length (key length K, minus 4 with a suffix), the key bytes an entry
// carries are always key[P, S - T) followed by key[max(P, S), K): the stored key between the two
// counts, then what follows the stored key (the suffix, or part of it when P reaches into it).
//
// Mode 0, no compression (P = T = 0), K + 4 bytes:
// | Offset | Size | Field                 |
// | 0      | K    | key                   |
// | K      | 4    | int32 record number   |
//
// Mode 1, leading (T = 0), K - P + 6 bytes; P = bytes shared with the previous key, 0..K:
// | 0      | 2     | uint16 P             |
// | 2      | K - P | key[P, K)            |
// | +      | 4     | int32 record number  |
//
// Mode 2, trailing (P = 0), K - T + 6 bytes; T = trailing zeros of the stored key, counted over
// at most (S mod 256) bytes:
// | 0      | 2     | uint16 T             |
// | 2      | S - T | key[0, S - T)        |
// | +      | K - S | suffix (never dropped) |
// | +      | 4     | int32 record number  |
//
// Mode 3, full, K - P - T + 6 bytes; P = shared bytes, at most 255; T = trailing zeros of the
// stored key counted over at most ((S - P) mod 256) bytes. With a suffix and fewer than 5 key
// bytes after P, the remainder key[P, K) is stored plainly and T = 0.
// | 0      | 1         | uint8 P                               |
// | 1      | 1         | uint8 T                               |
// | 2      | S - P - T | key[P, S - T)                         |
// | +      | K - S     | suffix (or key[P, K) in the plain case) |
// | +      | 4         | int32 record number                   |
//
// The encoder always takes the largest P and T the rules allow; the decoder accepts any counts
// within the rules, so pages written with smaller counts read back the same.
#include "engine/index/IndexPage.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "platform/ByteOrder.h"

namespace katalog {
namespace {

constexpr int kNodeEntryExtra = 8;      // child offset + subtree count
constexpr int kLeafEntryExtra = 4;      // record number
constexpr int kMinCompressedEntry = 6;  // counts + record number, no key bytes
constexpr int kMaxShortCount = 255;     // largest count mode 3 stores in one byte

int StoredLength(const TPageFormat& format) {
  return format.KeyLength - (format.HasSuffix ? kKeySuffixSize : 0);
}

bool IsNode(TPageType type) {
  return type == ptRootNode || type == ptInnerNode;
}

// Bytes of the count fields in front of a leaf entry's key bytes.
int CountFieldSize(TKeyCompression compression) {
  return compression == kcNone ? 0 : 2;
}

// Largest leading count allowed for an entry (the first entry of a page shares nothing).
int LeadLimit(const TPageFormat& format, bool first) {
  if (first) return 0;
  switch (format.Compression) {
    case kcLeading:
      return format.KeyLength;
    case kcFull:
      return std::min<int>(format.KeyLength, kMaxShortCount);
    default:
      return 0;
  }
}

// Mode 3 with a suffix stores the remainder plainly when fewer than 5 key bytes follow P.
bool IsPlainRemainder(const TPageFormat& format, int lead) {
  return format.Compression == kcFull && format.HasSuffix &&
         format.KeyLength - lead < kKeySuffixSize + 1;
}

// Largest trailing count allowed for an entry with leading count `lead`. The count is taken
// over (length mod 256) bytes, so a stored length of exactly 256 allows none.
int TrailLimit(const TPageFormat& format, int lead) {
  const int stored = StoredLength(format);
  switch (format.Compression) {
    case kcTrailing:
      return stored % 256;
    case kcFull:
      if (IsPlainRemainder(format, lead)) return 0;
      return (stored - lead) % 256;
    default:
      return 0;
  }
}

int SharedPrefix(const std::uint8_t* a, const std::uint8_t* b, int length, int limit) {
  int n = 0;
  while (n < length && n < limit && a[n] == b[n]) ++n;
  return n;
}

int TrailingZeros(const std::uint8_t* key, int end, int limit) {
  int n = 0;
  while (n < limit && key[end - 1 - n] == 0) ++n;
  return n;
}

struct TEntryShape {
  int Lead = 0;
  int Trail = 0;
};

TEntryShape ShapeOf(const TPageFormat& format, const std::uint8_t* previous,
                    const std::uint8_t* key) {
  TEntryShape shape;
  const int leadLimit = LeadLimit(format, previous == nullptr);
  if (leadLimit > 0) shape.Lead = SharedPrefix(previous, key, format.KeyLength, leadLimit);
  const int trailLimit = TrailLimit(format, shape.Lead);
  if (trailLimit > 0) shape.Trail = TrailingZeros(key, StoredLength(format), trailLimit);
  return shape;
}

int EntrySize(const TPageFormat& format, const TEntryShape& shape) {
  return CountFieldSize(format.Compression) + format.KeyLength - shape.Lead - shape.Trail +
         kLeafEntryExtra;
}

// Writes one leaf entry at `out`; returns the bytes written.
int WriteLeafEntry(const TPageFormat& format, const TEntryShape& shape, const std::uint8_t* key,
                   std::int32_t record, std::uint8_t* out) {
  std::uint8_t* p = out;
  switch (format.Compression) {
    case kcLeading:
      StoreU16(p, static_cast<std::uint16_t>(shape.Lead));
      p += 2;
      break;
    case kcTrailing:
      StoreU16(p, static_cast<std::uint16_t>(shape.Trail));
      p += 2;
      break;
    case kcFull:
      p[0] = static_cast<std::uint8_t>(shape.Lead);
      p[1] = static_cast<std::uint8_t>(shape.Trail);
      p += 2;
      break;
    case kcNone:
      break;
  }
  const int stored = StoredLength(format);
  const int storedEnd = stored - shape.Trail;
  if (shape.Lead < storedEnd) {
    std::memcpy(p, key + shape.Lead, storedEnd - shape.Lead);
    p += storedEnd - shape.Lead;
  }
  const int restFrom = std::max(shape.Lead, stored);
  std::memcpy(p, key + restFrom, format.KeyLength - restFrom);
  p += format.KeyLength - restFrom;
  StoreI32(p, record);
  return static_cast<int>(p + 4 - out);
}

// Reads one leaf entry from [in, end) into `key`; returns the bytes read, or 0 when the entry is
// damaged or runs past `end`.
int ReadLeafEntry(const TPageFormat& format, const std::uint8_t* previous, const std::uint8_t* in,
                  const std::uint8_t* end, std::uint8_t* key, std::int32_t& record) {
  const int countSize = CountFieldSize(format.Compression);
  if (end - in < countSize) return 0;
  TEntryShape shape;
  switch (format.Compression) {
    case kcLeading:
      shape.Lead = LoadU16(in);
      break;
    case kcTrailing:
      shape.Trail = LoadU16(in);
      break;
    case kcFull:
      shape.Lead = in[0];
      shape.Trail = in[1];
      break;
    case kcNone:
      break;
  }
  if (shape.Lead > LeadLimit(format, previous == nullptr)) return 0;
  if (shape.Trail > TrailLimit(format, shape.Lead)) return 0;
  const int size = EntrySize(format, shape);
  if (end - in < size) return 0;

  const std::uint8_t* p = in + countSize;
  const int stored = StoredLength(format);
  const int storedEnd = stored - shape.Trail;
  if (shape.Lead > 0) std::memcpy(key, previous, shape.Lead);
  if (shape.Lead < storedEnd) {
    std::memcpy(key + shape.Lead, p, storedEnd - shape.Lead);
    p += storedEnd - shape.Lead;
  }
  if (shape.Trail > 0) std::memset(key + storedEnd, 0, shape.Trail);
  const int restFrom = std::max(shape.Lead, stored);
  std::memcpy(key + restFrom, p, format.KeyLength - restFrom);
  p += format.KeyLength - restFrom;
  record = LoadI32(p);
  return size;
}

bool HasConsistentShape(const TPageImage& image, const TPageFormat& format) {
  const auto count = static_cast<std::size_t>(image.Count());
  if (image.Type > ptRootLeaf) return false;
  if (image.Keys.size() != count * format.KeyLength) return false;
  return !IsNode(image.Type) || image.Counts.size() == count;
}

// Entry bytes of the image, or -1 when they cannot be written at all.
int EntryBytes(const TPageImage& image, const TPageFormat& format) {
  if (!IsValidPageFormat(format) || !HasConsistentShape(image, format)) return -1;
  if (IsNode(image.Type)) return image.Count() * (format.KeyLength + kNodeEntryExtra);
  return LeafUsedBytes(image, format);
}

bool DecodeNodeEntries(const std::uint8_t* data, int count, const TPageFormat& format,
                       TPageImage& image) {
  const int entrySize = format.KeyLength + kNodeEntryExtra;
  if (count > kPageDataSize / entrySize) return false;
  image.Keys.resize(static_cast<std::size_t>(count) * format.KeyLength);
  image.Values.resize(count);
  image.Counts.resize(count);
  for (int i = 0; i < count; ++i) {
    const std::uint8_t* entry = data + i * entrySize;
    std::memcpy(image.Key(i, format.KeyLength), entry, format.KeyLength);
    image.Values[i] = LoadI32(entry + format.KeyLength);
    image.Counts[i] = LoadI32(entry + format.KeyLength + 4);
    if (image.Counts[i] < 0) return false;  // a subtree holds no negative number of keys
  }
  return true;
}

bool DecodeLeafEntries(const std::uint8_t* data, int count, int usedBytes,
                       const TPageFormat& format, TPageImage& image) {
  const int smallest =
      format.Compression == kcNone ? format.KeyLength + kLeafEntryExtra : kMinCompressedEntry;
  if (count > kPageDataSize / smallest) return false;
  image.Keys.resize(static_cast<std::size_t>(count) * format.KeyLength);
  image.Values.resize(count);
  const std::uint8_t* in = data;
  const std::uint8_t* end = data + kPageDataSize;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t* previous = i == 0 ? nullptr : image.Key(i - 1, format.KeyLength);
    const int size =
        ReadLeafEntry(format, previous, in, end, image.Key(i, format.KeyLength), image.Values[i]);
    if (size == 0) return false;
    in += size;
  }
  if (format.Compression != kcNone && count > 0 && in - data != usedBytes) return false;
  return true;
}

}  // namespace

bool IsValidPageFormat(const TPageFormat& format) {
  if (format.KeyLength < 1 || format.KeyLength > kMaxKeyLength) return false;
  if (format.Compression > kcFull) return false;
  return !format.HasSuffix || format.KeyLength > kKeySuffixSize;
}

const std::uint8_t* TPageImage::Key(int i, std::uint16_t keyLength) const {
  assert(i >= 0 && static_cast<std::size_t>(i + 1) * keyLength <= Keys.size());
  return Keys.data() + static_cast<std::size_t>(i) * keyLength;
}

std::uint8_t* TPageImage::Key(int i, std::uint16_t keyLength) {
  assert(i >= 0 && static_cast<std::size_t>(i + 1) * keyLength <= Keys.size());
  return Keys.data() + static_cast<std::size_t>(i) * keyLength;
}

void TPageImage::Insert(int i, const std::uint8_t* key, std::uint16_t keyLength, std::int32_t value,
                        std::int32_t count) {
  assert(i >= 0 && i <= Count());
  Keys.insert(Keys.begin() + static_cast<std::ptrdiff_t>(i) * keyLength, key, key + keyLength);
  Values.insert(Values.begin() + i, value);
  if (!IsLeaf()) Counts.insert(Counts.begin() + i, count);
}

void TPageImage::Erase(int i, std::uint16_t keyLength) {
  assert(i >= 0 && i < Count());
  const auto from = Keys.begin() + static_cast<std::ptrdiff_t>(i) * keyLength;
  Keys.erase(from, from + keyLength);
  Values.erase(Values.begin() + i);
  if (!IsLeaf()) Counts.erase(Counts.begin() + i);
}

void TPageImage::Clear() {
  Keys.clear();
  Values.clear();
  Counts.clear();
}

bool DecodePage(const std::uint8_t* page, const TPageFormat& format, TPageImage& image) {
  image.Clear();
  if (!IsValidPageFormat(format) || page[0] > ptRootLeaf) return false;
  image.Type = static_cast<TPageType>(page[0]);
  image.Previous = LoadI32(page + 3);
  image.Next = LoadI32(page + 7);
  const int count = LoadU16(page + 1);
  const int usedBytes = LoadU16(page + 11);
  const std::uint8_t* data = page + kPageHeaderSize;
  const bool ok = IsNode(image.Type) ? DecodeNodeEntries(data, count, format, image)
                                     : DecodeLeafEntries(data, count, usedBytes, format, image);
  if (!ok) image.Clear();
  return ok;
}

bool EncodePage(const TPageImage& image, const TPageFormat& format, std::uint8_t* page) {
  const int bytes = EntryBytes(image, format);
  if (bytes < 0 || bytes > kPageDataSize) return false;
  std::memset(page, 0, kPageSize);
  page[0] = image.Type;
  StoreU16(page + 1, static_cast<std::uint16_t>(image.Count()));
  StoreI32(page + 3, image.Previous);
  StoreI32(page + 7, image.Next);
  const bool compressedLeaf = image.IsLeaf() && format.Compression != kcNone;
  StoreU16(page + 11, static_cast<std::uint16_t>(compressedLeaf ? bytes : 0));

  std::uint8_t* out = page + kPageHeaderSize;
  const int keyLength = format.KeyLength;
  for (int i = 0; i < image.Count(); ++i) {
    const std::uint8_t* key = image.Key(i, keyLength);
    if (IsNode(image.Type)) {
      std::memcpy(out, key, keyLength);
      StoreI32(out + keyLength, image.Values[i]);
      StoreI32(out + keyLength + 4, image.Counts[i]);
      out += keyLength + kNodeEntryExtra;
    } else {
      const std::uint8_t* previous = i == 0 ? nullptr : image.Key(i - 1, keyLength);
      out += WriteLeafEntry(format, ShapeOf(format, previous, key), key, image.Values[i], out);
    }
  }
  assert(out - (page + kPageHeaderSize) == bytes);
  return true;
}

int LeafEntrySize(const TPageFormat& format, const std::uint8_t* previous,
                  const std::uint8_t* key) {
  assert(IsValidPageFormat(format));
  return EntrySize(format, ShapeOf(format, previous, key));
}

int LeafUsedBytes(const TPageImage& image, const TPageFormat& format) {
  assert(IsValidPageFormat(format));
  assert(image.Keys.size() == static_cast<std::size_t>(image.Count()) * format.KeyLength);
  if (format.Compression == kcNone) return image.Count() * (format.KeyLength + kLeafEntryExtra);
  int total = 0;
  for (int i = 0; i < image.Count(); ++i) {
    const std::uint8_t* previous = i == 0 ? nullptr : image.Key(i - 1, format.KeyLength);
    total += LeafEntrySize(format, previous, image.Key(i, format.KeyLength));
  }
  return total;
}

bool Fits(const TPageImage& image, const TPageFormat& format) {
  const int bytes = EntryBytes(image, format);
  return bytes >= 0 && bytes <= kPageDataSize;
}

int NodeCapacity(std::uint16_t keyLength) {
  return kPageDataSize / (keyLength + 10);
}

int UncompressedLeafCapacity(std::uint16_t keyLength) {
  return kPageDataSize / (keyLength + 6);
}

}  // namespace katalog
