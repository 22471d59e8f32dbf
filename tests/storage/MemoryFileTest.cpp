#include "engine/storage/MemoryFile.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/storage/IsamError.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace katalog {
namespace {

TEST(MemoryFileTest, CapacityIsTheSizeRoundedUpTo65535) {
  TMemoryFileList files;
  TMemoryFile* file = nullptr;
  const int handle = files.Create("mem.DAT", &file);
  ASSERT_GT(handle, 0);
  const std::vector<std::uint8_t> bytes(70000, 0x5A);
  EXPECT_EQ(file->Write(handle, bytes.data(), 70000), 70000);
  EXPECT_EQ(file->Size(), 70000u);
  EXPECT_EQ(file->Capacity(), 131070u);
  // Cutting the file shrinks the storage; size 0 frees it.
  EXPECT_EQ(file->Seek(handle, 65535, 0), 65535);
  EXPECT_EQ(file->Write(handle, nullptr, 0), 0);
  EXPECT_EQ(file->Capacity(), 65535u);
  EXPECT_EQ(file->Seek(handle, 0, 0), 0);
  EXPECT_EQ(file->Write(handle, nullptr, 0), 0);
  EXPECT_EQ(file->Size(), 0u);
  EXPECT_EQ(file->Capacity(), 0u);
}

TEST(MemoryFileTest, ReadWriteAndSeek) {
  TMemoryFileList files;
  TMemoryFile* file = nullptr;
  const int h = files.Create("a.IDX", &file);
  EXPECT_EQ(file->Write(h, "hello", 5), 5);
  EXPECT_EQ(file->Seek(h, 0, 1), 5);
  EXPECT_EQ(file->Seek(h, -2, 2), 3);
  char buffer[8] = {};
  EXPECT_EQ(file->Read(h, buffer, 8), 2);  // stops at the size
  EXPECT_EQ(std::string(buffer, 2), "lo");
  EXPECT_EQ(file->Read(h, buffer, 8), 0);
  EXPECT_EQ(file->Seek(h, 100, 0), 100);
  EXPECT_EQ(file->Read(h, buffer, 8), 0);  // beyond the size
  // Writing beyond the size fills the gap with zeros.
  EXPECT_EQ(file->Write(h, "x", 1), 1);
  EXPECT_EQ(file->Size(), 101u);
  EXPECT_EQ(file->Seek(h, 5, 0), 5);
  EXPECT_EQ(file->Read(h, buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), std::string(3, '\0'));
  EXPECT_EQ(file->Seek(h, -1, 0), -1);
  // A file may not outgrow the 32-bit positions.
  EXPECT_EQ(file->Seek(h, TMemoryFile::kMaxSize, 0), TMemoryFile::kMaxSize);
  EXPECT_EQ(file->Write(h, "x", 1), -ie::kInvalidMemoryLength);
}

TEST(MemoryFileTest, LockList) {
  TMemoryFile file("locks");
  EXPECT_TRUE(file.Lock(10, 10));   // 10-19
  EXPECT_FALSE(file.Lock(15, 10));  // starts inside 10-19
  EXPECT_FALSE(file.Lock(5, 10));   // 10-19 starts inside 5-14
  EXPECT_FALSE(file.Lock(19, 1));
  EXPECT_TRUE(file.Lock(20, 10));    // 20-29
  EXPECT_TRUE(file.Lock(0, 10));     // 0-9
  EXPECT_FALSE(file.Unlock(10, 5));  // only an exact range unlocks
  EXPECT_TRUE(file.Unlock(10, 10));
  EXPECT_FALSE(file.Unlock(10, 10));
  EXPECT_TRUE(file.Lock(15, 5));
  EXPECT_FALSE(file.Lock(0, 0));
  EXPECT_TRUE(file.Lock(0x7FFF0000, 65535));
  EXPECT_FALSE(file.Lock(0x7FFFFFFF - 9, 1));
  EXPECT_TRUE(file.Lock(0x7FFFFFFF, 1));
}

TEST(MemoryFileTest, OpenAndExclusiveRules) {
  TMemoryFileList files;
  TMemoryFile* file = nullptr;
  TMemoryFile* other = nullptr;
  EXPECT_EQ(files.Open("T.DAT", false, &file), -ie::kInvalidPath);
  const int created = files.Create("T.DAT", &file);
  ASSERT_GT(created, 0);
  // Created files are open exclusively.
  EXPECT_EQ(files.Open("T.DAT", false, &other), -ie::kAccessDenied);
  EXPECT_EQ(files.Create("t.dat", &other), -ie::kAccessDenied);
  file->CloseHandle(created);

  const int h1 = files.Open("  t.dat ", false, &file);  // trimmed, any letter case
  const int h2 = files.Open("T.DAT", false, &other);
  ASSERT_GT(h1, 0);
  ASSERT_GT(h2, 0);
  EXPECT_NE(h1, h2);
  EXPECT_EQ(file, other);
  EXPECT_EQ(file->OpenCount(), 2);
  EXPECT_EQ(files.Open("T.DAT", true, &other), -ie::kAccessDenied);
  EXPECT_NE(files.Rename("T.DAT", "U.DAT"), 0);
  EXPECT_FALSE(files.Delete("T.DAT"));
  file->CloseHandle(h1);
  // A handle number is never one that is open on the file.
  const int h3 = files.Open("T.DAT", false, &other);
  EXPECT_GT(h3, 0);
  EXPECT_NE(h3, h2);
  file->CloseHandle(h2);
  file->CloseHandle(h3);

  EXPECT_GT(files.Open("T.DAT", true, &file), 0);
  EXPECT_EQ(files.Open("T.DAT", false, &other), -ie::kAccessDenied);
}

TEST(MemoryFileTest, NamesCreateRenameDelete) {
  TMemoryFileList files;
  TMemoryFile* file = nullptr;
  EXPECT_EQ(files.Create("   .DAT", &file), -ie::kInvalidPath);
  EXPECT_EQ(files.Create("dir\\.IDX", &file), -ie::kInvalidPath);
  EXPECT_EQ(files.Count(), 0);

  const std::string czech = platform::CodePage(1250).FromUtf16(u"čaj.DAT");
  const std::string czechUpper = platform::CodePage(1250).FromUtf16(u"ČAJ.dat");
  int h = files.Create(czech, &file);
  EXPECT_EQ(file->Write(h, "abc", 3), 3);
  file->CloseHandle(h);
  EXPECT_TRUE(files.Exists(czechUpper));
  // Creating an existing file that is not open empties it.
  TMemoryFile* again = nullptr;
  h = files.Create(czechUpper, &again);
  EXPECT_EQ(again, file);
  EXPECT_EQ(file->Size(), 0u);
  file->CloseHandle(h);
  EXPECT_EQ(files.Count(), 1);

  h = files.Create("other.DAT", &again);
  ASSERT_GT(h, 0);
  again->CloseHandle(h);
  EXPECT_EQ(files.Rename(czech, "OTHER.dat"), platform::kErrorFileExists);
  EXPECT_EQ(files.Rename("missing", "x"), platform::kErrorFileNotFound);
  EXPECT_EQ(files.Rename(czech, "tea.DAT"), 0);
  EXPECT_TRUE(files.Exists("TEA.dat"));
  EXPECT_FALSE(files.Exists(czech));
  EXPECT_TRUE(files.Delete("tea.dat"));
  EXPECT_FALSE(files.Delete("tea.dat"));
  EXPECT_EQ(files.Count(), 1);
}

}  // namespace
}  // namespace katalog
