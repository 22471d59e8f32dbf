// Known-answer bytes of the table file headers, the field descriptor and the cipher, written by
// hand from the documented layouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "engine/index/BlobFile.h"
#include "engine/index/IndexFileHeader.h"
#include "engine/storage/Cipher.h"
#include "engine/storage/DataFileHeader.h"
#include "engine/storage/FieldDescriptor.h"

namespace katalog {
namespace {

TEST(FileFormatTest, DataFileHeaderBytes) {
  std::array<std::uint8_t, 127> bytes{};
  for (std::size_t i = 35; i < 86; ++i) bytes[i] = static_cast<std::uint8_t>(i);  // kept as read
  bytes[0] = 0x05;                                                                // ChangeCounter 5
  bytes[5] = 0x04;   // BlobBlockSize 1024
  bytes[8] = 3;      // FormatVersion
  bytes[9] = 0x07;   // FreeSlotHead 7
  bytes[13] = 0x0A;  // NextRecordNumber 10
  bytes[17] = 0xFF;
  bytes[18] = 0xFF;
  bytes[19] = 0xFF;
  bytes[20] = 0x7F;  // LastRecordId max
  bytes[21] = 0x84;  // RecordSize 132
  bytes[23] = 0x11;  // FieldCount 17
  bytes[25] = 0x01;  // BlobIndicator
  bytes[33] = 0xF0;
  bytes[34] = 0x3F;  // LastWriteStamp 1.0
  bytes[86] = 1;     // Encrypted
  bytes[87] = 2;
  bytes[88] = 'x';
  bytes[89] = 'y';
  bytes[103] = 0x05;
  bytes[104] = 0x04;  // LanguageId 0x0405
  bytes[105] = 0x01;  // SortId 1
  bytes[111] = 0x10;  // ComputedAreaSize 16
  bytes[113] = 1;     // HeaderModified
  bytes[120] = 0xAB;  // kept as read

  const TDataFileHeader h = DecodeDataFileHeader(bytes.data());
  EXPECT_EQ(h.ChangeCounter, 5);
  EXPECT_EQ(h.BlobBlockSize, 1024u);
  EXPECT_EQ(h.FormatVersion, 3);
  EXPECT_EQ(h.FreeSlotHead, 7);
  EXPECT_EQ(h.NextRecordNumber, 10);
  EXPECT_EQ(h.LastRecordId, 0x7FFFFFFF);
  EXPECT_EQ(h.RecordSize, 132);
  EXPECT_EQ(h.FieldCount, 17);
  EXPECT_EQ(h.BlobIndicator, 1);
  EXPECT_EQ(h.LastWriteStamp, 1.0);
  EXPECT_EQ(h.Encrypted, 1);
  EXPECT_EQ(h.StoredPassword[0], 2);
  EXPECT_EQ(h.LanguageId, 0x0405);
  EXPECT_EQ(h.SortId, 1);
  EXPECT_EQ(h.LocaleId(), 0x00010405u);
  EXPECT_EQ(h.ComputedAreaSize, 16);
  EXPECT_EQ(h.HeaderModified, 1);
  EXPECT_EQ(h.DataStart(), 127 + 17 * 768);
  EXPECT_EQ(h.SlotOffset(3), 127 + 17 * 768 + 2 * 132);

  std::array<std::uint8_t, 127> again{};
  EncodeDataFileHeader(h, again.data());
  EXPECT_EQ(again, bytes);
  TDataFileHeader none;
  EXPECT_EQ(none.LocaleId(), 0u);
  none.SortId = 9;  // without a language there is no locale
  EXPECT_EQ(none.LocaleId(), 0u);
}

TEST(FileFormatTest, FieldDescriptorBytes) {
  std::vector<std::uint8_t> bytes(768, 0);
  bytes[0] = 2;  // FieldNumber
  bytes[2] = 4;
  bytes[3] = 'N';
  bytes[4] = 'a';
  bytes[5] = 'm';
  bytes[6] = 'e';
  bytes[84] = 1;
  bytes[86] = 20;
  bytes[88] = 21;
  bytes[90] = 9;  // FieldOffset
  bytes[92] = 1;  // RequiredFlag
  bytes[94] = 1;
  bytes[95] = 'a';
  bytes[145] = 1;
  bytes[146] = 'z';
  bytes[196] = 2;
  bytes[197] = 'd';
  bytes[198] = 'f';
  bytes[504] = 0xEE;  // the compiled expression slot, cleared on writing
  bytes[600] = 0x42;  // kept as read
  const TFieldDescriptor d = DecodeFieldDescriptor(bytes.data());
  EXPECT_EQ(d.FieldNumber, 2);
  EXPECT_EQ(d.Name, "Name");
  EXPECT_EQ(d.FieldTypeCode, 1);
  EXPECT_EQ(d.DeclaredSize, 20);
  EXPECT_EQ(d.PhysicalSize, 21);
  EXPECT_EQ(d.FieldOffset, 9);
  EXPECT_TRUE(d.HasValidityChecks());
  EXPECT_EQ(d.MinValue, "a");
  EXPECT_EQ(d.MaxValue, "z");
  EXPECT_EQ(d.DefaultValue, "df");
  EXPECT_EQ(d.Expression, "");
  std::vector<std::uint8_t> again(768, 0);
  EncodeFieldDescriptor(d, again.data());
  bytes[504] = 0;
  EXPECT_EQ(again, bytes);

  // A damaged length byte never reads beyond its field.
  bytes[2] = 200;
  EXPECT_EQ(DecodeFieldDescriptor(bytes.data()).Name.size(), 81u);
}

TEST(FileFormatTest, PhysicalSizes) {
  const std::pair<int, int> sizes[] = {{1, 11}, {2, 4},   {3, 4},   {4, 2},  {5, 2},  {6, 4},
                                       {7, 8},  {8, 8},   {9, 10},  {10, 4}, {11, 8}, {12, 2},
                                       {13, 4}, {14, 10}, {15, 10}, {0, 10}, {20, 10}};
  for (const auto& [type, size] : sizes) {
    EXPECT_EQ(PhysicalSizeOf(static_cast<std::uint8_t>(type), 10), size) << type;
  }
}

TEST(FileFormatTest, IndexHeaderBytes) {
  TIndexFileHeader h = NewIndexFileHeader();
  h.ChangeCounter = 3;
  h.SecondaryCount = 1;
  h.ActiveRecords = 0x01020304;
  h.NoPrimaryIndex = 1;
  TIndexDescriptor& s = h.Indexes[1];
  s.Name = "ByName";
  s.KeyLength = 0x0105;
  s.CaseInsensitive = 1;
  s.Compression = 3;
  s.FieldCount = 2;
  s.FieldDescending[1] = 1;
  s.FieldNumbers[0] = 2;
  s.FieldNumbers[1] = 0x0203;
  s.RootPage = 8192;
  s.FreePageHead = 12288;
  std::vector<std::uint8_t> bytes(4096, 0xCC);
  EncodeIndexFileHeader(h, bytes.data());

  std::vector<std::uint8_t> expected(4096, 0);
  expected[0] = 3;
  expected[8] = 3;
  expected[10] = 0x10;  // end of file 4096
  expected[13] = 1;
  std::uint8_t* d = &expected[14 + 120];
  d[0] = 6;
  std::copy_n("ByName", 6, d + 1);
  d[31] = 0x05;
  d[32] = 0x01;
  d[34] = 1;
  d[36] = 3;
  d[37] = 2;
  d[39] = 1;
  d[54] = 2;
  d[56] = 0x03;
  d[57] = 0x02;
  d[87] = 0x20;  // root 8192
  d[91] = 0x30;  // free list 12288
  std::uint8_t* deleted = &expected[14 + 120 * 31];
  deleted[0] = 11;
  std::copy_n("Sys Deleted", 11, deleted + 1);
  deleted[31] = 5;
  expected[3974] = 4;
  expected[3975] = 3;
  expected[3976] = 2;
  expected[3977] = 1;
  expected[3978] = 1;
  expected[3979] = 1;  // a new header is marked modified
  EXPECT_EQ(bytes, expected);

  const TIndexFileHeader back = DecodeIndexFileHeader(bytes.data());
  EXPECT_EQ(back.Indexes[1], s);
  EXPECT_EQ(back.HeaderModified, 0);  // the writer's flag is reset on reading
  EXPECT_EQ(back.ActiveRecords, 0x01020304);
}

TEST(FileFormatTest, BlobHeaderBytes) {
  TBlobFileHeader h;
  h.ChangeCounter = 2;
  h.FreeBlockHead = 1024;
  h.EndOfFile = 1536;
  h.HeaderModified = 1;
  std::vector<std::uint8_t> bytes(512, 0xCC);
  EncodeBlobFileHeader(h, bytes.data());
  std::vector<std::uint8_t> expected(512, 0);
  expected[0] = 2;
  expected[8] = 3;
  expected[10] = 0x04;
  expected[13] = 0x00;
  expected[14] = 0x06;
  expected[17] = 1;
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(DecodeBlobFileHeader(bytes.data()).EndOfFile, 1536);
}

TEST(FileFormatTest, CipherStream) {
  // buffer[i] ^= (low + i) ^ (high - i), bytes wrapping at 256.
  std::vector<std::uint8_t> bytes(4, 0);
  ApplyCipher(bytes.data(), bytes.size(), {0x10, 0x20});
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x10 ^ 0x20, 0x11 ^ 0x1F, 0x12 ^ 0x1E, 0x13 ^ 0x1D}));
  std::vector<std::uint8_t> wrap(2, 0);
  ApplyCipher(wrap.data(), 2, {0xFF, 0x00});
  EXPECT_EQ(wrap, (std::vector<std::uint8_t>{0xFF ^ 0x00, 0x00 ^ 0xFF}));

  // The same operation deciphers.
  std::vector<std::uint8_t> text(1000);
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<std::uint8_t>(i * 31);
  std::vector<std::uint8_t> copy = text;
  ApplyCipher(copy.data(), copy.size(), kRecordSeeds);
  EXPECT_NE(copy, text);
  ApplyCipher(copy.data(), copy.size(), kRecordSeeds);
  EXPECT_EQ(copy, text);

  // Lengths are 16-bit: 65 536 + 3 touches 3 bytes.
  std::vector<std::uint8_t> big(65539, 0);
  ApplyCipher(big.data(), big.size(), {1, 2});
  EXPECT_NE(big[2], 0);
  EXPECT_TRUE(std::all_of(big.begin() + 3, big.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(FileFormatTest, StoredPassword) {
  const auto stored = EncodeStoredPassword("Tajne");
  EXPECT_EQ(stored[0], 5);  // the length byte is plain
  EXPECT_NE(stored[1], 'T');
  std::array<std::uint8_t, 5> chars;
  std::copy_n(stored.begin() + 1, 5, chars.begin());
  ApplyCipher(chars.data(), 5, kPasswordSeeds);
  EXPECT_EQ(std::string(chars.begin(), chars.end()), "Tajne");
  EXPECT_EQ(DecodeStoredPassword(stored), "Tajne");
  // At most 15 characters are taken, whatever the length byte says.
  auto damaged = stored;
  damaged[0] = 200;
  EXPECT_EQ(DecodeStoredPassword(damaged).size(), 15u);
}

}  // namespace
}  // namespace katalog
