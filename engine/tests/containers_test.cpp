// Tests of TIntegerArray and TSortedPtrArray: the storage policy (exact
// capacity sequences, shrink thresholds), the list operations and the sorted
// pair placement.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/EngineContainers.h"
#include "platform/Exception.h"

namespace {

std::vector<int32_t> Values(const TIntegerArray& a) {
  return std::vector<int32_t>(a.Data(), a.Data() + a.ItemCount());
}

std::vector<int32_t> Keys(const TSortedPtrArray& a) {
  std::vector<int32_t> keys;
  for (int32_t i = 0; i < a.ItemCount(); ++i) keys.push_back(a.Key(i));
  return keys;
}

TIntegerArray MakeArray(const std::vector<int32_t>& values) {
  TIntegerArray a(0, 10, 100);
  for (int32_t v : values) a.Add(v);
  return a;
}

// Capacities after each of `adds` single Adds.
std::vector<int32_t> CapacitiesWhileAdding(int32_t growDelta, int32_t maxDelta, int adds) {
  TIntegerArray a(0, growDelta, maxDelta);
  std::vector<int32_t> caps;
  for (int i = 0; i < adds; ++i) {
    a.Add(i);
    caps.push_back(a.Capacity());
  }
  return caps;
}

TEST(IntegerArrayGrowth, FirstAddCutsDoubledStepToMaxDelta) {
  TIntegerArray a(0, 10, 10);
  a.Add(7);
  EXPECT_EQ(a.Capacity(), 10);
  EXPECT_EQ(a.GrowDelta(), 10);
  EXPECT_EQ(a.ItemCount(), 1);
  EXPECT_EQ(a[0], 7);
}

TEST(IntegerArrayGrowth, SmallStepCapacitySequence) {
  EXPECT_EQ(CapacitiesWhileAdding(1, 10, 5), (std::vector<int32_t>{2, 2, 6, 6, 6}));
}

TEST(IntegerArrayGrowth, StepDoublesUpToCeiling) {
  // Capacities at each growth for GrowDelta 10, MaxDelta 1000.
  TIntegerArray a(0, 10, 1000);
  std::vector<int32_t> growths;
  int32_t last = 0;
  for (int i = 0; i < 3300; ++i) {
    a.Add(i);
    if (a.Capacity() != last) growths.push_back(last = a.Capacity());
  }
  EXPECT_EQ(growths, (std::vector<int32_t>{20, 60, 140, 300, 620, 1260, 2260, 3260, 4260}));
  // Values survive every growth.
  for (int32_t i = 0; i < a.ItemCount(); ++i) ASSERT_EQ(a[i], i);
}

TEST(IntegerArrayGrowth, InitialCountGivesZerosAndExactCapacity) {
  TIntegerArray a(5, 1, 10);
  EXPECT_EQ(a.ItemCount(), 5);
  EXPECT_EQ(a.Capacity(), 5);
  EXPECT_EQ(Values(a), (std::vector<int32_t>{0, 0, 0, 0, 0}));
}

TEST(IntegerArrayGrowth, LargeJumpTakesRequestedCount) {
  TIntegerArray a(0, 1, 10);
  a.SetSize(50);  // 0 + 2 is not above 50
  EXPECT_EQ(a.Capacity(), 50);
  a.SetSize(51);  // 50 + 4
  EXPECT_EQ(a.Capacity(), 54);
}

TEST(IntegerArrayGrowth, GrownSlotsReadZeroReusedSlotsKeepValues) {
  TIntegerArray a(0, 10, 10);
  a.Add(1);
  a.Add(2);
  a.Add(3);
  a.SetSize(1);  // capacity 10 - 1 = 9 is not above ShrinkDelta 10: storage kept
  EXPECT_EQ(a.Capacity(), 10);
  a.SetSize(3);  // reused slots keep what they held
  EXPECT_EQ(Values(a), (std::vector<int32_t>{1, 2, 3}));
  a.SetSize(12);  // grown slots are zero
  EXPECT_EQ(a.Capacity(), 20);
  for (int32_t i = 3; i < 12; ++i) EXPECT_EQ(a[i], 0) << i;
}

// Array with ItemCount and Capacity 100, ShrinkDelta 10 and MaxDelta 25.
TIntegerArray FullHundred() {
  TIntegerArray a(100, 10, 25);
  EXPECT_EQ(a.Capacity(), 100);
  EXPECT_EQ(a.ShrinkDelta(), 10);
  return a;
}

TEST(IntegerArrayShrink, ThresholdDecides) {
  {
    TIntegerArray a = FullHundred();
    a.SetSize(50);
    EXPECT_EQ(a.Capacity(), 50);
    EXPECT_EQ(a.ShrinkDelta(), 20);
    EXPECT_EQ(a.ItemCount(), 50);
  }
  {
    TIntegerArray a = FullHundred();
    a.SetSize(95);
    EXPECT_EQ(a.Capacity(), 100);
    EXPECT_EQ(a.ShrinkDelta(), 10);
    EXPECT_EQ(a.ItemCount(), 95);
  }
  {
    // Exactly the threshold idle is not enough.
    TIntegerArray a = FullHundred();
    a.SetSize(90);
    EXPECT_EQ(a.Capacity(), 100);
  }
}

TEST(IntegerArrayShrink, ThresholdDoublesToCeiling) {
  TIntegerArray a = FullHundred();
  a.SetSize(80);  // 20 idle > 10
  EXPECT_EQ(a.ShrinkDelta(), 20);
  a.SetSize(50);  // 30 idle > 20
  EXPECT_EQ(a.ShrinkDelta(), 25);
  EXPECT_EQ(a.Capacity(), 50);
  a.SetSize(25);  // exactly 25 idle: kept
  EXPECT_EQ(a.Capacity(), 50);
}

TEST(IntegerArrayShrink, SetSizeZeroReleasesStorage) {
  TIntegerArray a(30, 10, 25);
  a.SetSize(0);
  EXPECT_EQ(a.ItemCount(), 0);
  EXPECT_EQ(a.Capacity(), 0);
  a.Add(4);  // grows afresh with the step doubled once more (20 -> 25)
  EXPECT_EQ(a.Capacity(), 25);
}

TEST(IntegerArrayDelete, NeverShrinksUntilLastValue) {
  TIntegerArray a(0, 10, 1000);
  for (int i = 0; i < 300; ++i) a.Add(i);
  ASSERT_EQ(a.Capacity(), 300);
  for (int remaining = 299; remaining >= 1; --remaining) {
    a.Delete(0);
    ASSERT_EQ(a.Capacity(), 300) << remaining;
    ASSERT_EQ(a.ItemCount(), remaining);
    ASSERT_EQ(a[0], 300 - remaining);
  }
  a.Delete(0);
  EXPECT_EQ(a.ItemCount(), 0);
  EXPECT_EQ(a.Capacity(), 0);
}

TEST(IntegerArrayDelete, RemovesFromMiddleAndEnd) {
  TIntegerArray a = MakeArray({1, 2, 3, 4});
  a.Delete(1);
  EXPECT_EQ(Values(a), (std::vector<int32_t>{1, 3, 4}));
  a.Delete(2);
  EXPECT_EQ(Values(a), (std::vector<int32_t>{1, 3}));
}

TEST(IntegerArrayInsert, Placements) {
  struct Case {
    std::vector<int32_t> before;
    int32_t index;
    std::vector<int32_t> after;
  };
  const Case cases[] = {
      {{}, 0, {9}},
      {{}, 5, {9}},
      {{1, 2, 3}, 7, {1, 2, 3, 9}},  // beyond the end appends
      {{1, 2, 3}, 3, {1, 2, 3, 9}},
      {{1, 2, 3}, 0, {9, 1, 2, 3}},
      {{1, 2, 3}, 1, {1, 9, 2, 3}},
      {{1, 2, 3}, 2, {1, 2, 9, 3}},
      {{1, 2, 3}, -1, {9, 1, 2, 3}},  // negative: front
  };
  for (const Case& c : cases) {
    TIntegerArray a = MakeArray(c.before);
    a.Insert(c.index, 9);
    EXPECT_EQ(Values(a), c.after) << "index " << c.index << " on " << c.before.size() << " values";
  }
}

TEST(IntegerArrayInsert, GrowsLikeAdd) {
  TIntegerArray a(0, 1, 10);
  std::vector<int32_t> caps;
  for (int i = 0; i < 5; ++i) {
    a.Insert(0, i);
    caps.push_back(a.Capacity());
  }
  EXPECT_EQ(caps, (std::vector<int32_t>{2, 2, 6, 6, 6}));
  EXPECT_EQ(Values(a), (std::vector<int32_t>{4, 3, 2, 1, 0}));
}

TEST(IntegerArrayMove, AllCases) {
  // a..f as 0..5
  struct Case {
    int32_t from, to;
    std::vector<int32_t> after;
  };
  const Case cases[] = {
      {2, 5, {0, 1, 3, 4, 2, 5}},  // to > from + 1: lands at to - 1
      {5, 2, {0, 1, 5, 2, 3, 4}},  // to < from - 1: lands at to
      {2, 3, {0, 1, 3, 2, 4, 5}},  // neighbours exchanged
      {3, 2, {0, 1, 3, 2, 4, 5}}, {2, 2, {0, 1, 2, 3, 4, 5}},
      {0, 6, {1, 2, 3, 4, 5, 0}},                              // to = ItemCount: to the end
      {5, 0, {5, 0, 1, 2, 3, 4}}, {0, 2, {1, 0, 2, 3, 4, 5}},  // to = from + 2 is "insert before to"
      {5, 6, {0, 1, 2, 3, 4, 5}},                              // last value to the end stays put
  };
  for (const Case& c : cases) {
    TIntegerArray a = MakeArray({0, 1, 2, 3, 4, 5});
    a.Move(c.from, c.to);
    EXPECT_EQ(Values(a), c.after) << "Move(" << c.from << ", " << c.to << ")";
    EXPECT_EQ(a.Capacity(), 20);
  }
}

// Sorted array holding `keys` (in this order) through InsertAt at the end, so
// tests can set up equal keys directly.
TSortedPtrArray MakeSorted(const std::vector<int32_t>& keys) {
  TSortedPtrArray a(0, 10, 100);
  for (int32_t k : keys) a.InsertAt(a.ItemCount(), k, nullptr);
  return a;
}

TEST(SortedPtrArray, FindPositionExamples) {
  TSortedPtrArray a = MakeSorted({10, 20, 30});
  EXPECT_EQ(a.FindPosition(20), 1);
  EXPECT_EQ(a.FindPosition(5), 0);
  EXPECT_EQ(a.FindPosition(25), 2);
  EXPECT_EQ(a.FindPosition(35), 3);
  EXPECT_EQ(a.FindPosition(10), 0);
  EXPECT_EQ(a.FindPosition(30), 2);
  EXPECT_EQ(MakeSorted({}).FindPosition(3), 0);
}

TEST(SortedPtrArray, FindPositionMatchesLowerBoundOnEverySize) {
  // Distinct even keys; probe every key and every gap.
  for (int n = 1; n <= 70; ++n) {
    std::vector<int32_t> keys;
    for (int i = 0; i < n; ++i) keys.push_back(2 * i);
    TSortedPtrArray a = MakeSorted(keys);
    for (int32_t probe = -1; probe <= 2 * n; ++probe) {
      const auto expected =
          static_cast<int32_t>(std::lower_bound(keys.begin(), keys.end(), probe) - keys.begin());
      ASSERT_EQ(a.FindPosition(probe), expected) << "n=" << n << " key=" << probe;
    }
  }
}

TEST(SortedPtrArray, FindPositionWithDuplicatesFindsAnEqualKey) {
  std::mt19937 rng(42);
  for (int round = 0; round < 200; ++round) {
    std::vector<int32_t> keys(1 + rng() % 40);
    for (int32_t& k : keys) k = static_cast<int32_t>(rng() % 12);
    std::sort(keys.begin(), keys.end());
    TSortedPtrArray a = MakeSorted(keys);
    for (int32_t probe = -1; probe <= 12; ++probe) {
      const int32_t p = a.FindPosition(probe);
      const bool present = std::binary_search(keys.begin(), keys.end(), probe);
      if (present) {
        ASSERT_GE(p, 0);
        ASSERT_LT(p, a.ItemCount());
        ASSERT_EQ(a.Key(p), probe);
      } else {
        ASSERT_EQ(p, std::lower_bound(keys.begin(), keys.end(), probe) - keys.begin());
      }
    }
  }
}

TEST(SortedPtrArray, IndexOfAndFind) {
  int x = 1, y = 2;
  TSortedPtrArray a(0, 10, 25);
  a.Add(10, &x);
  a.Add(20, &y);
  EXPECT_EQ(a.IndexOf(20), 1);
  EXPECT_EQ(a.IndexOf(15), -1);
  EXPECT_EQ(a.IndexOf(99), -1);
  EXPECT_EQ(a.Find(10), &x);
  EXPECT_EQ(a.Find(20), &y);
  EXPECT_EQ(a.Find(30), nullptr);
  EXPECT_EQ(TSortedPtrArray(0, 10, 25).Find(0), nullptr);
}

TEST(SortedPtrArray, AddKeepsOrder) {
  TSortedPtrArray a(0, 10, 1000);
  std::vector<int32_t> model;
  std::mt19937 rng(7);
  for (int i = 0; i < 500; ++i) {
    const auto k = static_cast<int32_t>(rng() % 1000) - 500;
    a.Add(k, nullptr);
    model.insert(std::upper_bound(model.begin(), model.end(), k), k);
  }
  EXPECT_EQ(Keys(a), model);
}

TEST(SortedPtrArray, AddEqualKeyAfterSingleBeforeFoundOtherwise) {
  int oldP = 0, newP = 0;
  {
    TSortedPtrArray a(0, 10, 25);
    a.Add(20, &oldP);
    a.Add(20, &newP);
    EXPECT_EQ(a.Pointer(0), &oldP);
    EXPECT_EQ(a.Pointer(1), &newP);
  }
  {
    TSortedPtrArray a(0, 10, 25);
    a.Add(10, nullptr);
    a.Add(20, &oldP);
    a.Add(30, nullptr);
    a.Add(20, &newP);
    EXPECT_EQ(Keys(a), (std::vector<int32_t>{10, 20, 20, 30}));
    EXPECT_EQ(a.Pointer(1), &newP);
    EXPECT_EQ(a.Pointer(2), &oldP);
  }
  {
    // One pair with a larger key: the new one goes first.
    TSortedPtrArray a(0, 10, 25);
    a.Add(20, &oldP);
    a.Add(5, &newP);
    EXPECT_EQ(Keys(a), (std::vector<int32_t>{5, 20}));
    EXPECT_EQ(a.Pointer(0), &newP);
  }
}

TEST(SortedPtrArray, InsertAtAndDeleteAtKeepPairsTogether) {
  int p[4];
  TSortedPtrArray a(0, 10, 25);
  a.InsertAt(0, 30, &p[3]);
  a.InsertAt(0, 10, &p[1]);
  a.InsertAt(1, 20, &p[2]);
  a.InsertAt(9, 40, &p[0]);
  EXPECT_EQ(Keys(a), (std::vector<int32_t>{10, 20, 30, 40}));
  EXPECT_EQ(a.Pointer(1), &p[2]);
  a.DeleteAt(1);
  EXPECT_EQ(Keys(a), (std::vector<int32_t>{10, 30, 40}));
  EXPECT_EQ(a.Pointer(1), &p[3]);
  EXPECT_EQ(a.Pointer(2), &p[0]);
  EXPECT_EQ(a.Capacity(), 20);
}

TEST(SortedPtrArray, DeleteMessages) {
  TSortedPtrArray a(0, 10, 25);
  try {
    a.Delete(3);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "TSortedPtrArray.Delete - no elements in array!");
  }
  a.Add(1, nullptr);
  a.Add(2, nullptr);
  try {
    a.Delete(-7);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "TSortedPtrArray.Delete - element not found, key = -7, itemCount = 2!");
  }
  a.Delete(2);
  EXPECT_EQ(Keys(a), (std::vector<int32_t>{1}));
  a.Delete(1);
  EXPECT_EQ(a.ItemCount(), 0);
  EXPECT_EQ(a.Capacity(), 0);
}

TEST(SortedPtrArray, NextKeyCountsFromZero) {
  TSortedPtrArray a(0, 10, 1000);
  EXPECT_EQ(a.LastKey(), -1);
  EXPECT_EQ(a.NextKey(), 0);
  EXPECT_EQ(a.NextKey(), 1);
  EXPECT_EQ(a.LastKey(), 1);
}

TEST(SortedPtrArray, SameCapacityPolicyAsIntegerArray) {
  TSortedPtrArray a(0, 10, 1000);
  std::vector<int32_t> growths;
  int32_t last = 0;
  for (int i = 0; i < 700; ++i) {
    a.Add(a.NextKey(), nullptr);
    if (a.Capacity() != last) growths.push_back(last = a.Capacity());
  }
  EXPECT_EQ(growths, (std::vector<int32_t>{20, 60, 140, 300, 620, 1260}));
  a.SetSize(100);
  EXPECT_EQ(a.Capacity(), 100);
  EXPECT_EQ(a.ShrinkDelta(), 20);
  EXPECT_EQ(a.Key(99), 99);
}

}  // namespace
