#include "engine/storage/IsamError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "engine/storage/EngineMemory.h"
#include "support/EngineFixture.h"

namespace katalog {
namespace {

using katalog::testing::EngineErrorOf;

class IsamErrorTest : public katalog::testing::EngineTest {};

TEST(IsamErrorWithoutEngineTest, NotInitializedNamesNothing) {
  ASSERT_FALSE(EngineStarted());
  std::string message;
  EXPECT_EQ(EngineErrorOf([] { CurrentFileSession(); }, &message), 10758);
  EXPECT_EQ(message, "ISAM Engine Error # 10758 ISAM engine not initialized");
}

TEST_F(IsamErrorTest, RaiseStoresTheContextAndBuildsTheMessage) {
  try {
    RaiseIsamError(ie::kDuplicateKey, "/data/TABLE.DAT", "", "ByName");
    FAIL();
  } catch (const EIsamEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), 9729);
    EXPECT_EQ(e.Message(),
              "ISAM Engine Error # 9729 Duplicate key found in index ByName of data file "
              "/data/TABLE.DAT");
    ASSERT_EQ(e.Errors().size(), 1u);
    EXPECT_EQ(e.Errors()[0].ErrorCode, 9729);
    EXPECT_EQ(e.Errors()[0].Message,
              "Duplicate key found in index ByName of data file /data/TABLE.DAT");
    // It is an EDatabaseError for everything above the engine.
    const EDatabaseError& base = e;
    EXPECT_STREQ(base.what(), e.Message().c_str());
  }
  const TErrorContext& c = CurrentFileSession().ErrorContext;
  EXPECT_EQ(c.ErrorCode, 9729);
  EXPECT_EQ(c.FileName, "/data/TABLE.DAT");
  EXPECT_EQ(c.IndexName, "ByName");

  // 10758 clears the context and leaves every name empty.
  EXPECT_EQ(EngineErrorOf([] { RaiseIsamError(ie::kNotInitialized, "x.DAT", "f", "i", "e"); }),
            10758);
  EXPECT_EQ(c.FileName, "");
  EXPECT_EQ(c.FieldName, "");
  EXPECT_EQ(IsamErrorMessage(10758), "ISAM engine not initialized");
}

TEST_F(IsamErrorTest, MessagesAreCutTo127Characters) {
  const std::string path = "/very/long/path/" + std::string(150, 'd') + "/TABLE.DAT";
  std::string message;
  EXPECT_EQ(EngineErrorOf([&] { RaiseIsamError(ie::kIndexLimits, path); }, &message), 9487);
  const std::string full =
      "Maximum or minimum limits on number of indexes or fields in an index exceeded in data "
      "file " +
      path;
  EXPECT_EQ(IsamErrorMessage(9487), full.substr(0, 127));
  EXPECT_EQ(message, "ISAM Engine Error # 9487 " + full.substr(0, 127));
  // Names are short strings of at most 255 bytes.
  EXPECT_EQ(EngineErrorOf([] { RaiseIsamError(ie::kInvalidPath, std::string(300, 'n')); }), 11010);
  EXPECT_EQ(CurrentFileSession().ErrorContext.FileName.size(), 255u);
}

TEST_F(IsamErrorTest, OperatingSystemErrors) {
  std::string message;
  EXPECT_EQ(EngineErrorOf([] { RaiseOsError(112, "/cd/T.DAT"); }, &message), 11047);
  EXPECT_EQ(message,
            "ISAM Engine Error # 11047 An unknown operating system error #112 occurred with data "
            "file /cd/T.DAT");
  const std::pair<int, int> mapping[] = {{2, 11010},  {3, 11010},  {4, 11012},  {5, 11013},
                                         {32, 11013}, {65, 11013}, {6, 11014},  {8, 11016},
                                         {15, 11023}, {17, 11025}, {80, 11047}, {1117, 11047}};
  for (const auto& [os, engine] : mapping) EXPECT_EQ(EngineCodeForOsError(os), engine) << os;
}

TEST_F(IsamErrorTest, MessagesNameFieldIndexAndExtraText) {
  const auto message = [](int code, const char* field, const char* index, const char* extra) {
    std::string text;
    EngineErrorOf([&] { RaiseIsamError(code, "T.DAT", field, index, extra); }, &text);
    return text.substr(text.find(' ', 20) + 1);  // without "ISAM Engine Error # <code> "
  };
  EXPECT_EQ(
      message(9730, "Price", "", ""),
      "The value for the field Price in data file T.DAT is below the minimum allowable value");
  EXPECT_EQ(message(10023, "7", "ByCity", ""),
            "Invalid field number 7 specified in index ByCity for data file T.DAT");
  EXPECT_EQ(message(10015, "", "", ""), "Password provided for data file T.DAT is invalid");
  EXPECT_EQ(message(9993, "", "", ""),
            "A primary index is already defined for data file T.DAT and cannot be added again");
  EXPECT_EQ(message(11949, "", "", "syntax"), "SQL - syntax");
  EXPECT_EQ(message(11016, "", "", ""),
            "There is insufficient operating system memory available for the current operation");
  EXPECT_EQ(message(9999, "", "", ""), "Unknown error occurred with data file T.DAT");
}

TEST_F(IsamErrorTest, RaiseIfNonZeroKeepsTheContext) {
  EXPECT_EQ(EngineErrorOf([] { RaiseIsamError(ie::kEndOfFile, "A.DAT"); }), 8706);
  EXPECT_NO_THROW(RaiseIfIsamError(0));
  std::string message;
  EXPECT_EQ(EngineErrorOf([] { RaiseIfIsamError(ie::kBeginningOfFile); }, &message), 8705);
  EXPECT_EQ(message, "ISAM Engine Error # 8705 Beginning of file encountered in data file A.DAT");
}

TEST_F(IsamErrorTest, FailedAllocationIsOutOfMemory) {
  // Beyond what any allocator could give (also under the sanitizers, which abort on a real
  // out-of-memory instead of throwing).
  EXPECT_EQ(EngineErrorOf([] { AllocateZeroed(std::numeric_limits<std::size_t>::max()); }), 11016);
  EXPECT_EQ(
      EngineErrorOf([] { AllocateZeroedArray<int>(std::numeric_limits<std::size_t>::max()); }),
      11016);
  const auto buffer = AllocateZeroed(4096);
  EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0), 4096);
}

}  // namespace
}  // namespace katalog
