#include "engine/storage/SystemList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

namespace katalog {
namespace {

TEST(SystemListTest, GrowsByTheEngineRule) {
  EXPECT_EQ(GrownListCapacity(0), 4);
  EXPECT_EQ(GrownListCapacity(8), 12);
  EXPECT_EQ(GrownListCapacity(9), 25);
  EXPECT_EQ(GrownListCapacity(64), 80);
  EXPECT_EQ(GrownListCapacity(65), 81);
  EXPECT_EQ(GrownListCapacity(100), 125);

  TSystemList<int> list;
  std::vector<int> capacities;
  for (int i = 0; i < 100; ++i) {
    list.Add(i);
    if (capacities.empty() || capacities.back() != list.Capacity()) {
      capacities.push_back(list.Capacity());
    }
  }
  EXPECT_EQ(capacities, (std::vector<int>{4, 8, 12, 28, 44, 60, 76, 95, 118}));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(list[i], i);
}

TEST(SystemListTest, BoundsAreChecked) {
  TSystemList<int> list;
  list.Add(1);
  try {
    list[1];
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (1)");
  }
  EXPECT_THROW(list[-1], EListError);
  EXPECT_THROW(list.Insert(3, 0), EListError);
  try {
    list.SetCapacity(0);  // below the count
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List capacity out of bounds (0)");
  }
  EXPECT_THROW(list.SetCapacity(kMaxListCapacity + 1), EListError);
  list.SetCapacity(kMaxListCapacity);
  EXPECT_EQ(list.Capacity(), kMaxListCapacity);
  EXPECT_EQ(list[0], 1);
}

TEST(SystemListTest, InsertTakeAndOwnership) {
  TSystemList<std::unique_ptr<std::string>> list;
  list.Add(std::make_unique<std::string>("b"));
  list.Insert(0, std::make_unique<std::string>("a"));
  list.Add(std::make_unique<std::string>("c"));
  EXPECT_EQ(*list[0], "a");
  EXPECT_EQ(*list[2], "c");
  const auto taken = list.Take(1);
  EXPECT_EQ(*taken, "b");
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(*list[1], "c");
  list.Delete(0);
  EXPECT_EQ(*list[0], "c");
  // Leftover elements are released with the list (AddressSanitizer reports a leak otherwise).
}

TEST(SystemListTest, SortsWithAThreeWayComparison) {
  std::mt19937 random(7);
  for (int n : {0, 1, 2, 3, 17, 1000}) {
    TSystemList<int> list;
    std::vector<int> expected;
    for (int i = 0; i < n; ++i) {
      const int v = static_cast<int>(random() % 50);  // many duplicates
      list.Add(v);
      expected.push_back(v);
    }
    list.Sort([](int a, int b) { return a < b ? -1 : a > b ? 1 : 0; });
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(std::equal(list.begin(), list.end(), expected.begin(), expected.end())) << n;
  }
  TSystemList<std::unique_ptr<int>> owned;
  for (int v : {5, 3, 9, 1, 3}) owned.Add(std::make_unique<int>(v));
  owned.Sort([](const auto& a, const auto& b) { return *a - *b; });
  std::vector<int> values;
  for (const auto& p : owned) values.push_back(*p);
  EXPECT_EQ(values, (std::vector<int>{1, 3, 3, 5, 9}));
}

}  // namespace
}  // namespace katalog
