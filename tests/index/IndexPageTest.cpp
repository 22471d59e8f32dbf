// Tests of the index page codec: hand-written pages for every entry layout, round trips over
// random keys for every compression and key length, the counting limits of the trailing and
// leading counts, free pages, and damaged pages (which must fail cleanly, never crash).
#include "engine/index/IndexPage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <random>
#include <vector>

namespace katalog {
namespace {

using TBytes = std::vector<std::uint8_t>;

// A full page: the given header and entry bytes, zero-padded to 4096.
TBytes PageOf(std::initializer_list<int> bytes) {
  TBytes page(kPageSize, 0);
  int i = 0;
  for (int b : bytes) page[i++] = static_cast<std::uint8_t>(b);
  return page;
}

TBytes KeyOf(std::initializer_list<int> bytes) {
  TBytes key;
  for (int b : bytes) key.push_back(static_cast<std::uint8_t>(b));
  return key;
}

TPageImage LeafOf(TPageType type, const std::vector<TBytes>& keys,
                  const std::vector<std::int32_t>& records) {
  TPageImage image;
  image.Type = type;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    image.Keys.insert(image.Keys.end(), keys[i].begin(), keys[i].end());
    image.Values.push_back(records[i]);
  }
  return image;
}

TBytes Encode(const TPageImage& image, const TPageFormat& format) {
  TBytes page(kPageSize, 0xCC);
  EXPECT_TRUE(EncodePage(image, format, page.data()));
  return page;
}

int UsedField(const TBytes& page) {
  return page[11] | page[12] << 8;
}

void SetU16(TBytes& page, int at, int value) {
  page[at] = static_cast<std::uint8_t>(value);
  page[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Encodes `image`, compares with `expected`, and decodes `expected` back to `image`.
void ExpectKnownAnswer(const TPageImage& image, const TPageFormat& format, const TBytes& expected) {
  EXPECT_EQ(Encode(image, format), expected);
  TPageImage decoded;
  ASSERT_TRUE(DecodePage(expected.data(), format, decoded));
  EXPECT_EQ(decoded, image);
}

// ---------------------------------------------------------------------------------------------
// Known answers, one per entry layout.

TEST(IndexPageKnownAnswer, UncompressedLeaf) {
  const TPageFormat format{4, kcNone, false};
  TPageImage image = LeafOf(ptRootLeaf, {KeyOf({'A', 'B', 'C', 'D'}), KeyOf({'A', 'B', 'C', 'E'})},
                            {1, 0x01020304});
  ExpectKnownAnswer(image, format,
                    PageOf({3,   2,   0,   0,   0, 0, 0, 0, 0, 0, 0, 0, 0,  // header, used 0
                            'A', 'B', 'C', 'D', 1, 0, 0, 0,                 //
                            'A', 'B', 'C', 'E', 4, 3, 2, 1}));
}

TEST(IndexPageKnownAnswer, NodePage) {
  const TPageFormat format{4, kcFull, false};  // nodes ignore the leaf compression
  TPageImage image;
  image.Type = ptRootNode;
  image.Next = 0;
  image.Insert(0, KeyOf({'A', 'A', 'A', 'A'}).data(), 4, 4096, 10);
  image.Insert(1, KeyOf({'M', 'M', 'M', 'M'}).data(), 4, 8192, 7);
  ExpectKnownAnswer(image, format, PageOf({0,   2,   0,   0,   0, 0,    0, 0, 0,  0, 0, 0, 0,  //
                                           'A', 'A', 'A', 'A', 0, 0x10, 0, 0, 10, 0, 0, 0,     //
                                           'M', 'M', 'M', 'M', 0, 0x20, 0, 0, 7,  0, 0, 0}));
}

TEST(IndexPageKnownAnswer, LeadingWithSuffix) {
  // Key length 6: a 2-byte stored key and a 4-byte record identifier suffix.
  const TPageFormat format{6, kcLeading, true};
  TPageImage image = LeafOf(
      ptLeaf,
      {KeyOf({0x41, 0, 0, 0, 0, 7}), KeyOf({0x41, 0, 0, 0, 0, 9}), KeyOf({0x42, 0, 0, 0, 1, 0})},
      {7, 9, 256});
  image.Previous = 8192;
  image.Next = 12288;
  ExpectKnownAnswer(image, format,
                    PageOf({2, 3, 0,    0, 0x20, 0, 0, 0, 0x30, 0, 0, 31, 0,  // used 12+7+12
                            0, 0, 0x41, 0, 0,    0, 0, 7, 7,    0, 0, 0,      // P 0
                            5, 0, 9,    9, 0,    0, 0,                        // P 5
                            0, 0, 0x42, 0, 0,    0, 1, 0, 0,    1, 0, 0}));
}

TEST(IndexPageKnownAnswer, TrailingWithSuffixKeepsZeroSuffix) {
  const TPageFormat format{6, kcTrailing, true};
  TPageImage image = LeafOf(ptRootLeaf,
                            {KeyOf({0x41, 0, 0, 0, 0, 7}), KeyOf({0x41, 0, 0, 0, 0, 9}),
                             KeyOf({0x42, 0, 0, 0, 0, 0}), KeyOf({0, 0, 1, 0, 0, 0})},
                            {7, 9, 256, 5});
  ExpectKnownAnswer(image, format,
                    PageOf({3, 4, 0,    0, 0, 0, 0, 0, 0, 0, 0, 43, 0,  // used 11+11+11+10
                            1, 0, 0x41, 0, 0, 0, 7, 7, 0, 0, 0,         // T 1
                            1, 0, 0x41, 0, 0, 0, 9, 9, 0, 0, 0,         //
                            1, 0, 0x42, 0, 0, 0, 0, 0, 1, 0, 0,         // zero suffix kept
                            2, 0, 1,    0, 0, 0, 5, 0, 0, 0}));         // stored key all zero
}

TEST(IndexPageKnownAnswer, FullWithSuffix) {
  const TPageFormat format{6, kcFull, true};
  TPageImage image = LeafOf(ptLeaf,
                            {KeyOf({0x41, 0, 0, 0, 0, 7}), KeyOf({0x41, 0, 0, 0, 0, 9}),
                             KeyOf({0x41, 0x42, 0, 0, 1, 0}), KeyOf({0x41, 0, 0, 0, 2, 0})},
                            {7, 9, 3, 4});
  ExpectKnownAnswer(image, format,
                    PageOf({2, 4, 0,    0, 0, 0, 0, 0, 0, 0, 0, 39, 0,  // used 11+7+11+10
                            0, 1, 0x41, 0, 0, 0, 7, 7, 0, 0, 0,         // P 0, T 1
                            5, 0, 9,    9, 0, 0, 0,                     // 1 byte after P: plain
                            1, 0, 0x42, 0, 0, 1, 0, 3, 0, 0, 0,         // 5 after P: suffix apart
                            1, 1, 0,    0, 2, 0, 4, 0, 0, 0}));         // P 1, T 1, no stored bytes
}

TEST(IndexPageKnownAnswer, FullWithoutSuffix) {
  const TPageFormat format{4, kcFull, false};
  TPageImage image = LeafOf(
      ptRootLeaf, {KeyOf({'A', 'B', 0, 0}), KeyOf({'A', 'B', 'C', 0}), KeyOf({'A', 'B', 'C', 'D'})},
      {1, 2, 3});
  ExpectKnownAnswer(image, format,
                    PageOf({3, 3, 0,   0,   0, 0, 0, 0, 0, 0, 0, 22, 0,  // used 8+7+7
                            0, 2, 'A', 'B', 1, 0, 0, 0,                  //
                            2, 1, 'C', 2,   0, 0, 0,                     //
                            3, 0, 'D', 3,   0, 0, 0}));
}

TEST(IndexPageKnownAnswer, SmallerCountsThanTheEncoderTakesStillDecode) {
  // Another writer may leave shared bytes unshared; the page still means the same keys.
  const TPageFormat format{4, kcFull, false};
  const TBytes page = PageOf({3, 2, 0,   0,   0, 0, 0, 0, 0, 0, 0, 18, 0,  // used 10+8
                              0, 0, 'A', 'B', 0, 0, 1, 0, 0, 0,            //
                              1, 1, 'B', 'C', 2, 0, 0, 0});
  TPageImage image;
  ASSERT_TRUE(DecodePage(page.data(), format, image));
  EXPECT_EQ(image,
            LeafOf(ptRootLeaf, {KeyOf({'A', 'B', 0, 0}), KeyOf({'A', 'B', 'C', 0})}, {1, 2}));
}

// ---------------------------------------------------------------------------------------------
// Counting limits of the trailing and leading counts.

// A key of `length` bytes: `head` copies of `fill`, then zeros.
TBytes ZeroTailed(int length, int head, std::uint8_t fill = 'A') {
  TBytes key(length, 0);
  for (int i = 0; i < head; ++i) key[i] = fill;
  return key;
}

TEST(IndexPageCountLimits, TrailingCountRunsOverStoredLengthMod256) {
  struct TCase {
    int KeyLength;
    bool Suffix;
    int ExpectedTrail;
  };
  // Keys: 'A' followed by zeros only (suffix included).
  for (const TCase c :
       {TCase{255, false, 254}, TCase{256, false, 0}, TCase{257, false, 1}, TCase{300, false, 44},
        TCase{260, true, 0}, TCase{304, true, 44}, TCase{1036, false, 12}}) {
    SCOPED_TRACE(c.KeyLength);
    const TPageFormat format{static_cast<std::uint16_t>(c.KeyLength), kcTrailing, c.Suffix};
    const TPageImage image = LeafOf(ptLeaf, {ZeroTailed(c.KeyLength, 1)}, {1});
    const TBytes page = Encode(image, format);
    EXPECT_EQ(page[13] | page[14] << 8, c.ExpectedTrail);
    EXPECT_EQ(UsedField(page), c.KeyLength - c.ExpectedTrail + 6);
    EXPECT_EQ(LeafEntrySize(format, nullptr, image.Key(0, format.KeyLength)),
              c.KeyLength - c.ExpectedTrail + 6);
    TPageImage decoded;
    ASSERT_TRUE(DecodePage(page.data(), format, decoded));
    EXPECT_EQ(decoded, image);
  }
}

TEST(IndexPageCountLimits, FullTrailingCountRunsOverRemainderMod256) {
  // Key length 300: alone, the remainder is 300 bytes (limit 44); after a 255-byte shared
  // prefix it is 45 bytes (limit 45). Key length 511 after P 255 leaves 256 (limit 0).
  const TPageFormat format300{300, kcFull, false};
  TPageImage image = LeafOf(ptLeaf, {ZeroTailed(300, 1), ZeroTailed(300, 1)}, {1, 2});
  image.Key(1, 300)[0] = 'B';
  image.Key(1, 300)[250] = 'B';
  TBytes page = Encode(image, format300);
  EXPECT_EQ(page[13], 0);
  EXPECT_EQ(page[14], 44);
  image = LeafOf(ptLeaf, {ZeroTailed(300, 260), ZeroTailed(300, 270)}, {1, 2});
  page = Encode(image, format300);
  EXPECT_EQ(page[14], 40);  // 260 'A' then 40 zeros: within 44
  const int second = 13 + (300 - 40 + 6);
  EXPECT_EQ(page[second], 255);
  EXPECT_EQ(page[second + 1], 30);  // 45-byte remainder, 30 trailing zeros
  EXPECT_EQ(UsedField(page), (300 - 40 + 6) + (300 - 255 - 30 + 6));

  const TPageFormat format511{511, kcFull, false};
  image = LeafOf(ptLeaf, {ZeroTailed(511, 300), ZeroTailed(511, 300)}, {1, 2});
  image.Key(1, 511)[299] = 'B';
  page = Encode(image, format511);
  EXPECT_EQ(page[14], 211);  // 511 mod 256 = 255 bytes looked at, 211 zeros
  const int next = 13 + (511 - 211 + 6);
  EXPECT_EQ(page[next], 255);
  EXPECT_EQ(page[next + 1], 0);
  TPageImage decoded;
  ASSERT_TRUE(DecodePage(page.data(), format511, decoded));
  EXPECT_EQ(decoded, image);
}

TEST(IndexPageCountLimits, SharedPrefixBeyond255StoresTheRestPlainly) {
  const TPageFormat format{300, kcFull, false};
  TBytes first(300, 'B');
  TBytes second(300, 'B');
  for (int i = 280; i < 300; ++i) first[i] = 0;
  second[280] = 'C';
  for (int i = 281; i < 300; ++i) second[i] = 0;
  const TPageImage image = LeafOf(ptLeaf, {first, second}, {11, 12});
  const TBytes page = Encode(image, format);
  const int at = 13 + (300 - 20 + 6);
  EXPECT_EQ(page[at], 255);
  EXPECT_EQ(page[at + 1], 19);
  for (int i = 0; i < 25; ++i) EXPECT_EQ(page[at + 2 + i], 'B') << i;
  EXPECT_EQ(page[at + 27], 'C');
  EXPECT_EQ(page[at + 28], 12);
  EXPECT_EQ(UsedField(page), (300 - 20 + 6) + (300 - 255 - 19 + 6));
  TPageImage decoded;
  ASSERT_TRUE(DecodePage(page.data(), format, decoded));
  EXPECT_EQ(decoded, image);
}

TEST(IndexPageCountLimits, LeadingCountIsNotCappedInLeadingMode) {
  const TPageFormat format{300, kcLeading, false};
  TBytes first(300, 'B');
  TBytes second(300, 'B');
  second[299] = 'C';
  const TBytes page = Encode(LeafOf(ptLeaf, {first, second}, {1, 2}), format);
  const int at = 13 + 306;
  EXPECT_EQ(page[at] | page[at + 1] << 8, 299);
  EXPECT_EQ(page[at + 2], 'C');
  EXPECT_EQ(UsedField(page), 306 + 7);
}

TEST(IndexPageCountLimits, DuplicateStoredKeysKeepTheirZerosPlainly) {
  // Duplicate stored keys that end in zeros: after P only the suffix (or less) follows, so the
  // remainder is stored plainly with T = 0 even though the stored key ends in zeros.
  const TPageFormat format{8, kcFull, true};
  const TPageImage image =
      LeafOf(ptLeaf,
             {KeyOf({'A', 'B', 0, 0, 0, 0, 0, 1}), KeyOf({'A', 'B', 0, 0, 0, 0, 0, 2}),
              KeyOf({'A', 'B', 0, 0, 1, 0, 0, 0})},
             {1, 2, 3});
  const TBytes expected = PageOf({2, 3, 0,   0,   0, 0, 0, 0, 0, 0, 0, 29, 0,  // used 12+7+10
                                  0, 2, 'A', 'B', 0, 0, 0, 1, 1, 0, 0, 0,      // T 2
                                  7, 0, 2,   2,   0, 0, 0,                     // P 7 plain
                                  4, 0, 1,   0,   0, 0, 3, 0, 0, 0});          // P 4 plain
  ExpectKnownAnswer(image, format, expected);
}

TEST(IndexPageCountLimits, FiveBytesAfterLeadKeepTheSuffixApart) {
  const TPageFormat format{8, kcFull, true};
  const TPageImage image = LeafOf(
      ptLeaf, {KeyOf({'A', 'B', 'C', 'D', 0, 0, 0, 1}), KeyOf({'A', 'B', 'C', 0, 0, 0, 0, 2})},
      {1, 2});
  const TBytes expected = PageOf({2, 2, 0,   0,   0,   0,   0, 0, 0, 0, 0, 24, 0,     // used 14+10
                                  0, 0, 'A', 'B', 'C', 'D', 0, 0, 0, 1, 1, 0,  0, 0,  //
                                  3, 1, 0,   0,   0,   2,   2, 0, 0, 0});             // P 3, T 1
  ExpectKnownAnswer(image, format, expected);
}

// ---------------------------------------------------------------------------------------------
// Round trips over random keys.

// Keys in ascending order that share prefixes of random length with their predecessor and end in
// runs of zeros of random length, as real keys of padded fields do.
class TKeyMaker {
 public:
  TKeyMaker(int keyLength, unsigned seed) : keyLength_(keyLength), random_(seed) {}

  TBytes Next() {
    TBytes key(keyLength_, 0);
    const int shared = previous_.empty() ? 0 : Uniform(0, keyLength_);
    for (int i = 0; i < shared; ++i) key[i] = previous_[i];
    const int zeros = Uniform(0, keyLength_ - shared);
    for (int i = shared; i < keyLength_ - zeros; ++i) {
      key[i] = static_cast<std::uint8_t>(Uniform(0, 3) == 0 ? 0 : Uniform(1, 255));
    }
    previous_ = key;
    return key;
  }
  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

 private:
  int keyLength_;
  std::mt19937 random_;
  TBytes previous_;
};

// Fills a page of the given type with keys until the next one would not fit, or until it holds
// `limit` entries.
TPageImage FillPage(TPageType type, const TPageFormat& format, unsigned seed, int limit = 1 << 16) {
  TKeyMaker maker(format.KeyLength, seed);
  TPageImage image;
  image.Type = type;
  image.Previous = static_cast<std::int32_t>(seed * 4096);
  image.Next = -1;
  for (int i = 0; i < limit; ++i) {
    const TBytes key = maker.Next();
    image.Insert(i, key.data(), format.KeyLength, maker.Uniform(-5, 1 << 30),
                 maker.Uniform(0, 1 << 20));
    if (!Fits(image, format)) {
      image.Erase(i, format.KeyLength);
      break;
    }
  }
  return image;
}

void ExpectRoundTrip(const TPageImage& image, const TPageFormat& format) {
  const TBytes page = Encode(image, format);
  TPageImage decoded;
  ASSERT_TRUE(DecodePage(page.data(), format, decoded));
  EXPECT_EQ(decoded, image);
  EXPECT_EQ(Encode(decoded, format), page);

  const bool compressed = image.IsLeaf() && format.Compression != kcNone;
  const int entryBytes =
      image.IsLeaf() ? LeafUsedBytes(image, format) : image.Count() * (format.KeyLength + 8);
  EXPECT_LE(entryBytes, kPageDataSize);
  EXPECT_EQ(UsedField(page), compressed ? entryBytes : 0);
  for (int i = kPageHeaderSize + entryBytes; i < kPageSize; ++i) {
    ASSERT_EQ(page[i], 0) << "byte " << i << " after the entries";
  }
}

TEST(IndexPageRoundTrip, EveryCompressionSuffixAndKeyLength) {
  const int keyLengths[] = {1, 4, 5, 6, 9, 31, 255, 256, 257, 259, 260, 261, 300, 304, 511, 1036};
  unsigned seed = 1;
  for (int compression = kcNone; compression <= kcFull; ++compression) {
    for (bool suffix : {false, true}) {
      for (int keyLength : keyLengths) {
        if (suffix && keyLength <= 4) continue;
        for (TPageType type : {ptLeaf, ptRootLeaf, ptInnerNode}) {
          SCOPED_TRACE(testing::Message() << "compression " << compression << " suffix " << suffix
                                          << " key length " << keyLength << " type " << int{type});
          const TPageFormat format{static_cast<std::uint16_t>(keyLength),
                                   static_cast<TKeyCompression>(compression), suffix};
          for (int repeat = 0; repeat < 3; ++repeat) {
            const TPageImage image = FillPage(type, format, seed++);
            ASSERT_GT(image.Count(), 0);
            ExpectRoundTrip(image, format);
          }
        }
      }
    }
  }
}

TEST(IndexPageRoundTrip, CompressionPacksSharedAndZeroBytes) {
  // The same keys take fewer bytes in every compressed mode than uncompressed.
  TKeyMaker maker(40, 7);
  TPageImage image;
  image.Type = ptLeaf;
  for (int i = 0; i < 50; ++i) image.Insert(i, maker.Next().data(), 40, i + 1);
  const int plain = LeafUsedBytes(image, {40, kcNone, false});
  EXPECT_EQ(plain, 50 * 44);
  for (TKeyCompression mode : {kcLeading, kcTrailing, kcFull}) {
    EXPECT_LT(LeafUsedBytes(image, {40, mode, false}), plain) << int{mode};
  }
}

TEST(IndexPageRoundTrip, UncompressedPagesHoldWhatFitsBeyondTheSplitCapacity) {
  EXPECT_EQ(NodeCapacity(4), 291);
  EXPECT_EQ(UncompressedLeafCapacity(4), 408);
  EXPECT_EQ(NodeCapacity(1036), 3);
  EXPECT_EQ(UncompressedLeafCapacity(1036), 3);

  const TPageFormat format{4, kcNone, false};
  const TPageImage leaf = FillPage(ptLeaf, format, 99);
  EXPECT_EQ(leaf.Count(), 4083 / 8);
  ExpectRoundTrip(leaf, format);
  const TPageImage node = FillPage(ptRootNode, format, 98);
  EXPECT_EQ(node.Count(), 4083 / 12);
  ExpectRoundTrip(node, format);
}

TEST(IndexPageRoundTrip, FreePageKeepsTypeAndNextLink) {
  const TPageFormat format{10, kcFull, true};
  for (TPageType type : {ptRootNode, ptInnerNode, ptLeaf, ptRootLeaf}) {
    TPageImage image = FillPage(type, format, 5);
    image.Clear();
    image.Previous = 0;
    image.Next = 3 * 4096;
    const TBytes page = Encode(image, format);
    EXPECT_EQ(page, PageOf({type, 0, 0, 0, 0, 0, 0, 0, 0x30, 0, 0, 0, 0}));
    TPageImage decoded;
    ASSERT_TRUE(DecodePage(page.data(), format, decoded));
    EXPECT_EQ(decoded, image);
  }
  // A page freed without wiping its old entries or used bytes still reads as empty.
  TBytes stale = Encode(FillPage(ptLeaf, format, 6), format);
  stale[1] = stale[2] = 0;
  TPageImage decoded;
  ASSERT_TRUE(DecodePage(stale.data(), format, decoded));
  EXPECT_EQ(decoded.Count(), 0);
  EXPECT_EQ(decoded.Type, ptLeaf);
}

// ---------------------------------------------------------------------------------------------
// Entry helpers.

TEST(IndexPageImage, InsertAndEraseKeepKeysValuesAndCountsTogether) {
  TPageImage node;
  node.Type = ptInnerNode;
  node.Insert(0, KeyOf({'C', 'C'}).data(), 2, 300, 3);
  node.Insert(0, KeyOf({'A', 'A'}).data(), 2, 100, 1);
  node.Insert(1, KeyOf({'B', 'B'}).data(), 2, 200, 2);
  node.Insert(3, KeyOf({'D', 'D'}).data(), 2, 400, 4);
  EXPECT_EQ(node.Keys, KeyOf({'A', 'A', 'B', 'B', 'C', 'C', 'D', 'D'}));
  EXPECT_EQ(node.Values, (std::vector<std::int32_t>{100, 200, 300, 400}));
  EXPECT_EQ(node.Counts, (std::vector<std::int32_t>{1, 2, 3, 4}));
  node.Erase(1, 2);
  node.Erase(2, 2);
  EXPECT_EQ(node.Keys, KeyOf({'A', 'A', 'C', 'C'}));
  EXPECT_EQ(node.Values, (std::vector<std::int32_t>{100, 300}));
  EXPECT_EQ(node.Counts, (std::vector<std::int32_t>{1, 3}));
  EXPECT_EQ(node.Key(1, 2)[0], 'C');

  TPageImage leaf;
  leaf.Type = ptLeaf;
  leaf.Insert(0, KeyOf({'X'}).data(), 1, 9, 77);
  EXPECT_TRUE(leaf.Counts.empty());
  EXPECT_EQ(leaf.Count(), 1);
  ExpectRoundTrip(node, {2, kcNone, false});
  ExpectRoundTrip(leaf, {1, kcNone, false});
}

TEST(IndexPageImage, LeafEntrySizeFollowsTheNeighbour) {
  const TPageFormat format{6, kcFull, true};
  const TBytes a = KeyOf({'A', 'B', 0, 0, 0, 1});
  const TBytes b = KeyOf({'A', 'C', 0, 0, 0, 2});
  EXPECT_EQ(LeafEntrySize(format, nullptr, a.data()), 12);  // nothing shared, stored key full
  EXPECT_EQ(LeafEntrySize(format, a.data(), b.data()), 11);
  EXPECT_EQ(LeafEntrySize(format, a.data(), a.data()), 6);  // whole key shared: plain, empty
  EXPECT_EQ(LeafEntrySize({6, kcNone, true}, a.data(), b.data()), 10);
}

// ---------------------------------------------------------------------------------------------
// Malformed formats and images.

TEST(IndexPageMalformed, InvalidFormatsAreRefused) {
  TBytes page = Encode(LeafOf(ptLeaf, {KeyOf({1, 2, 3, 4, 5})}, {1}), {5, kcNone, false});
  const TBytes before = page;
  TPageImage image = LeafOf(ptLeaf, {}, {});
  for (const TPageFormat format :
       {TPageFormat{0, kcNone, false}, TPageFormat{1037, kcNone, false},
        TPageFormat{4, kcTrailing, true}, TPageFormat{5, static_cast<TKeyCompression>(4), false}}) {
    EXPECT_FALSE(IsValidPageFormat(format));
    EXPECT_FALSE(DecodePage(page.data(), format, image));
    EXPECT_FALSE(EncodePage(image, format, page.data()));
  }
  EXPECT_EQ(page, before);
  EXPECT_TRUE(IsValidPageFormat({1036, kcFull, true}));
  EXPECT_TRUE(IsValidPageFormat({5, kcFull, true}));
}

TEST(IndexPageMalformed, EncodeRefusesImagesThatDoNotFitOrDoNotAddUp) {
  const TPageFormat format{1036, kcNone, false};
  TPageImage image = FillPage(ptLeaf, format, 3);
  ASSERT_EQ(image.Count(), 3);
  image.Insert(3, TBytes(1036, 1).data(), 1036, 4);
  EXPECT_FALSE(Fits(image, format));
  TBytes page(kPageSize, 0xAB);
  EXPECT_FALSE(EncodePage(image, format, page.data()));
  EXPECT_EQ(page, TBytes(kPageSize, 0xAB));

  TPageImage node = FillPage(ptInnerNode, {4, kcNone, false}, 4);
  node.Counts.pop_back();
  EXPECT_FALSE(Fits(node, {4, kcNone, false}));
  EXPECT_FALSE(EncodePage(node, {4, kcNone, false}, page.data()));
  TPageImage leaf = FillPage(ptLeaf, {4, kcFull, false}, 4);
  leaf.Keys.pop_back();
  EXPECT_FALSE(EncodePage(leaf, {4, kcFull, false}, page.data()));
  leaf.Keys.push_back(0);
  leaf.Type = static_cast<TPageType>(4);
  EXPECT_FALSE(EncodePage(leaf, {4, kcFull, false}, page.data()));
}

// ---------------------------------------------------------------------------------------------
// Damaged pages.

bool Decodes(const TBytes& page, const TPageFormat& format) {
  TPageImage image;
  const bool ok = DecodePage(page.data(), format, image);
  if (!ok) {
    EXPECT_EQ(image.Count(), 0);
  }
  return ok;
}

TEST(IndexPageDamaged, UnknownPageType) {
  EXPECT_FALSE(Decodes(PageOf({4}), {4, kcNone, false}));
  EXPECT_FALSE(Decodes(PageOf({0xFF}), {4, kcNone, false}));
}

TEST(IndexPageDamaged, CountBeyondWhatFits) {
  const TPageFormat format{4, kcNone, false};
  EXPECT_TRUE(Decodes(PageOf({0, 340 & 0xFF, 340 >> 8}), format));  // 340 × 12 = 4080
  EXPECT_FALSE(Decodes(PageOf({0, 341 & 0xFF, 341 >> 8}), format));
  EXPECT_TRUE(Decodes(PageOf({2, 510 & 0xFF, 510 >> 8}), format));  // 510 × 8 = 4080
  EXPECT_FALSE(Decodes(PageOf({2, 511 & 0xFF, 511 >> 8}), format));
  EXPECT_FALSE(Decodes(PageOf({2, 0xFF, 0xFF}), {1036, kcLeading, false}));
  EXPECT_FALSE(Decodes(PageOf({3, 0xFF, 0xFF}), {6, kcFull, true}));
}

TEST(IndexPageDamaged, CompressedEntryRunningPastThePage) {
  const TPageFormat format{1036, kcLeading, false};
  const TPageImage image =
      LeafOf(ptLeaf, {TBytes(1036, 1), TBytes(1036, 2), TBytes(1036, 3)}, {1, 2, 3});
  TBytes page = Encode(image, format);
  ASSERT_EQ(UsedField(page), 3 * 1042);
  SetU16(page, 1, 4);  // a fourth entry of 1042 bytes would start at entry offset 3126
  SetU16(page, 11, 4 * 1042);
  EXPECT_FALSE(Decodes(page, format));
}

TEST(IndexPageDamaged, TruncatedOrExtendedCountsDisagreeWithUsedBytes) {
  for (TKeyCompression mode : {kcLeading, kcTrailing, kcFull}) {
    const TPageFormat format{6, mode, true};
    const TBytes page = Encode(FillPage(ptLeaf, format, 12), format);
    const int count = page[1] | page[2] << 8;
    TBytes shorter = page;
    SetU16(shorter, 1, count - 1);
    EXPECT_FALSE(Decodes(shorter, format)) << int{mode};
    TBytes longer = page;
    SetU16(longer, 1, count + 1);
    EXPECT_FALSE(Decodes(longer, format)) << int{mode};
    TBytes used = page;
    SetU16(used, 11, UsedField(page) - 1);
    EXPECT_FALSE(Decodes(used, format)) << int{mode};
  }
}

TEST(IndexPageDamaged, LeadingCounts) {
  const TPageFormat leading{6, kcLeading, true};
  // First entry with a leading count.
  EXPECT_FALSE(Decodes(PageOf({2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 11, 0,  //
                               1, 0, 2, 3, 4, 5, 6, 1, 0, 0, 0}),
                       leading));
  // Leading count larger than the key (7 > 6).
  const TBytes good = PageOf({2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 18, 0,  //
                              0, 0, 1, 2, 3, 4, 5, 6, 1, 0, 0, 0,      //
                              6, 0, 2, 0, 0, 0});
  EXPECT_TRUE(Decodes(good, leading));
  TBytes bad = good;
  bad[25] = 7;
  bad[11] = 17;
  EXPECT_FALSE(Decodes(bad, leading));

  const TPageFormat full{6, kcFull, true};
  EXPECT_FALSE(Decodes(PageOf({2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 11, 0,  //
                               1, 0, 2, 3, 4, 5, 6, 1, 0, 0, 0}),
                       full));
  EXPECT_FALSE(Decodes(PageOf({2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 17, 0,  //
                               0, 0, 1, 2, 3, 4, 5, 6, 1, 0, 0, 0,      //
                               7, 0, 2, 0, 0, 0}),
                       full));
}

TEST(IndexPageDamaged, TrailingCountsBeyondTheirLimit) {
  // Mode 2, key length 300: at most 44 zeros may be dropped.
  const TPageFormat format300{300, kcTrailing, false};
  TBytes page = Encode(LeafOf(ptLeaf, {ZeroTailed(300, 1)}, {1}), format300);
  ASSERT_EQ(page[13], 44);
  // Drop one more zero from the entry: T 45, 255 key bytes, entry one byte shorter.
  TBytes bad = PageOf({2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 45, 0, 'A'});
  bad[11] = (300 - 45 + 6) & 0xFF;
  bad[12] = (300 - 45 + 6) >> 8;
  bad[13 + 2 + 255] = 1;
  EXPECT_FALSE(Decodes(bad, format300));
  bad[13] = 44;  // same bytes with the allowed count: one entry, but used bytes now disagree
  EXPECT_FALSE(Decodes(bad, format300));

  // Mode 2 with suffix, key length 6: the stored key has 2 bytes.
  EXPECT_FALSE(Decodes(PageOf({2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0,  //
                               3, 0, 0, 0, 0, 1, 1, 0, 0, 0}),
                       {6, kcTrailing, true}));
  // Mode 2, key length 256: nothing may be dropped.
  EXPECT_FALSE(Decodes(PageOf({2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0x01, 1, 0}),
                       {256, kcTrailing, false}));

  // Mode 3 plain remainder (fewer than 5 bytes after P) must have T = 0.
  const TPageFormat full{6, kcFull, true};
  const TBytes good = PageOf({2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0,  // used 12+8
                              0, 0, 1, 2, 3, 4, 5, 6, 1, 0, 0, 0,      //
                              4, 0, 7, 8, 2, 0, 0, 0});
  EXPECT_TRUE(Decodes(good, full));
  TBytes plainWithTrail = good;
  plainWithTrail[26] = 1;
  plainWithTrail[11] = 19;
  EXPECT_FALSE(Decodes(plainWithTrail, full));
  // Mode 3 with the suffix apart: T at most (2 - P) mod 256.
  EXPECT_FALSE(Decodes(PageOf({2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0,  //
                               0, 3, 0, 0, 0, 1, 1, 0, 0, 0}),
                       full));
}

// Every single-byte corruption of a valid page decodes to false or to an image that encodes
// consistently; run under AddressSanitizer this also proves no read leaves the page. Beyond the
// entries (and a margin) the bytes are only read through a corrupted count, so a sample of them
// is enough.
void CorruptEveryByte(const TPageImage& image, const TPageFormat& format) {
  const TBytes page = Encode(image, format);
  const int entryBytes =
      image.IsLeaf() ? LeafUsedBytes(image, format) : image.Count() * (format.KeyLength + 8);
  const int dense = kPageHeaderSize + entryBytes + 64;
  for (int at = 0; at < kPageSize; at += at < dense ? 1 : 61) {
    for (int change : {0x01, 0xFF, -1}) {
      auto damaged = std::make_unique<std::uint8_t[]>(kPageSize);  // exact size for the sanitizer
      std::copy(page.begin(), page.end(), damaged.get());
      damaged[at] = change < 0 ? 0 : static_cast<std::uint8_t>(damaged[at] ^ change);
      TPageImage decoded;
      if (!DecodePage(damaged.get(), format, decoded)) {
        ASSERT_EQ(decoded.Count(), 0);
        continue;
      }
      ASSERT_EQ(decoded.Keys.size(), static_cast<std::size_t>(decoded.Count()) * format.KeyLength);
      TBytes again(kPageSize);
      const bool fits = Fits(decoded, format);
      ASSERT_EQ(EncodePage(decoded, format, again.data()), fits);
      if (!fits) continue;
      TPageImage twice;
      ASSERT_TRUE(DecodePage(again.data(), format, twice)) << "byte " << at;
      ASSERT_EQ(twice, decoded) << "byte " << at;
    }
  }
}

TEST(IndexPageDamaged, EverySingleByteCorruption) {
  // A full page of long keys reaches the page end; the other pages are kept short so that the
  // loop stays quick, with corrupted counts reading on into the zero bytes after the entries.
  struct TCase {
    int KeyLength;
    bool Suffix;
    int Entries;
  };
  unsigned seed = 500;
  for (int compression = kcNone; compression <= kcFull; ++compression) {
    for (const TCase c : {TCase{6, true, 40}, TCase{4, false, 40}, TCase{300, false, 1 << 16},
                          TCase{260, true, 6}}) {
      const TPageFormat format{static_cast<std::uint16_t>(c.KeyLength),
                               static_cast<TKeyCompression>(compression), c.Suffix};
      SCOPED_TRACE(testing::Message()
                   << "compression " << compression << " key length " << c.KeyLength);
      CorruptEveryByte(FillPage(ptLeaf, format, seed++, c.Entries), format);
    }
  }
  CorruptEveryByte(FillPage(ptRootNode, {8, kcFull, false}, seed++, 40), {8, kcFull, false});
}

TEST(IndexPageDamaged, RandomPagesNeverCrash) {
  std::mt19937 random(4242);
  auto page = std::make_unique<std::uint8_t[]>(kPageSize);
  for (int round = 0; round < 3000; ++round) {
    for (int i = 0; i < kPageSize; ++i) {
      page[i] = static_cast<std::uint8_t>(random() % 4 == 0 ? random() : 0);
    }
    page[0] = static_cast<std::uint8_t>(random() % 5);
    page[1] = static_cast<std::uint8_t>(random() % 40);
    page[2] = 0;
    const TPageFormat format{static_cast<std::uint16_t>(1 + random() % 40),
                             static_cast<TKeyCompression>(random() % 4), random() % 2 == 0};
    if (!IsValidPageFormat(format)) continue;
    TPageImage image;
    if (DecodePage(page.get(), format, image)) {
      EXPECT_EQ(image.Keys.size(), static_cast<std::size_t>(image.Count()) * format.KeyLength);
    }
  }
}

}  // namespace
}  // namespace katalog
