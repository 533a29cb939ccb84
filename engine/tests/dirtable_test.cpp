// Tests of the in-memory directory table: storage growth, the two indexes and
// the order FindPos leaves equal keys in, path resolution, searches and the
// search record.
#include "engine/DirTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/EngineUtils.h"
#include "platform/Clock.h"
#include "platform/Exception.h"
#include "platform/Service.h"
#include "text/ZUZStrFunc.h"

namespace {

TDIRItem MakeItem(const std::string& name, int32_t parent, int32_t attributes = 0) {
  TDIRItem item;
  ClearItem(item);
  SetItemName(name, item);
  item.ParentID = parent;
  item.Attributes = attributes;
  item.FirstMapPageNo = -1;
  return item;
}

TDIRItem DeletedItem() {
  TDIRItem item;
  ClearItem(item);
  item.Deleted = 1;
  return item;
}

using engine_test::Values;

// Names of every match of a search, in the order FindFirst/FindNext give them.
std::vector<std::string> ListNames(TDIRArray& table, const std::string& path, int32_t start = -1,
                                   int32_t attributes = 0) {
  std::vector<std::string> names;
  TSFSSearchRec rec;
  int32_t rc = table.FindFirst(path, attributes, start, rec);
  while (rc == 0) {
    names.push_back(rec.Name);
    rc = table.FindNext(rec);
  }
  table.FindClose(rec);
  return names;
}

// The find-data record keeps the Windows layout.
static_assert(offsetof(TSFSFindData, CreationTime) == 4);
static_assert(offsetof(TSFSFindData, LastAccessTime) == 12);
static_assert(offsetof(TSFSFindData, LastWriteTime) == 20);
static_assert(offsetof(TSFSFindData, FileSizeHigh) == 28);
static_assert(offsetof(TSFSFindData, FileSizeLow) == 32);
static_assert(offsetof(TSFSFindData, FileName) == 44);
static_assert(offsetof(TSFSFindData, AlternateFileName) == 304);

TEST(DirTableStorage, GrowsByDoublingStepsAndStaysAWholeNumberOfPages) {
  // The directory passes (10 x ItemsPerPage, ItemsPerPage) with 7 items a page.
  TDIRArray table(70, 7);
  EXPECT_EQ(table.Capacity(), 0);
  std::vector<int32_t> capacities;
  for (int i = 0; i < 170; ++i) {
    table.AddItem(MakeItem("f" + std::to_string(i), -1));
    if (capacities.empty() || capacities.back() != table.Capacity()) capacities.push_back(table.Capacity());
    EXPECT_EQ(table.Capacity() % 7, 0);
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{14, 42, 98, 168, 238}));
  EXPECT_EQ(table.GrowStep(), 70);
  EXPECT_EQ(table.ItemCount(), 170);
  EXPECT_EQ(table.IndexedCount(), 170);
}

TEST(DirTableStorage, SetSizeBelowItemCountIsRefusedAndZeroEmptiesEverything) {
  TDIRArray table(70, 7);
  for (const char* name : {"a", "b", "c"}) table.AddItem(MakeItem(name, -1));
  try {
    table.SetSize(2);
    FAIL() << "SetSize below ItemCount must raise";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "TDIRArray.SetSize - newSize < itemCount error.  newSize = 2 itemCount = 3");
  }
  table.SetSize(5);  // growing inside the storage just sets the count
  EXPECT_EQ(table.ItemCount(), 5);
  EXPECT_EQ(table.ReadItem(4).FileName[0], 0);  // unused slots are zero

  TSFSSearchRec rec;
  ASSERT_EQ(table.FindFirst("*", 0, -1, rec), 0);
  EXPECT_EQ(table.SearchCount(), 1);
  table.SetSize(0);
  EXPECT_EQ(table.ItemCount(), 0);
  EXPECT_EQ(table.IndexedCount(), 0);
  EXPECT_EQ(table.Capacity(), 0);
  EXPECT_EQ(table.SearchCount(), 0);
  EXPECT_EQ(table.NameIndex().ItemCount(), 0);
  EXPECT_EQ(table.ParentIndex().ItemCount(), 0);
  EXPECT_EQ(table.FindNext(rec), -5);  // the search went with it
}

TEST(DirTableItems, ReadAndUpdateRefuseInvalidItemNumbers) {
  TDIRArray table(70, 7);
  table.AddItem(MakeItem("a", -1));
  for (int32_t n : {-1, 1}) {
    try {
      table.ReadItem(n);
      FAIL();
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message, "TDIRArray.ReadItem - invalid itemNo = " + std::to_string(n));
    }
    try {
      table.UpdateItem(n, MakeItem("a", -1));
      FAIL();
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message, "TDIRArray.UpdateItem - invalid itemNo = " + std::to_string(n));
    }
  }
}

// All items under one parent: every insert probes the middle of the run, meets
// an equal key and goes in front of it. Worked through by hand:
//   add 0 -> [0]; add 1: c=1, probe 0 equal -> [1,0]; add 2: c=2, probe 1 ->
//   [1,2,0]; add 3: c=3, probe 1 -> [1,3,2,0]; add 4: c=4, probe 2 ->
//   [1,3,4,2,0]; add 5: c=5, probe 2 -> [1,3,5,4,2,0].
TEST(DirTableOrder, ChildrenOfOneParentFollowTheProbeOrder) {
  TDIRArray table(70, 7);
  for (int i = 0; i < 6; ++i) table.AddItem(MakeItem("f" + std::to_string(i), -1));
  EXPECT_EQ(Values(table.ParentIndex()), (std::vector<int32_t>{1, 3, 5, 4, 2, 0}));
  EXPECT_EQ(ListNames(table, "*"), (std::vector<std::string>{"f1", "f3", "f5", "f4", "f2", "f0"}));

  // Rewriting item 1 (at position 0): the insert probe finds the run at
  // position 3, so the entry moves right and lands at 3 - 1 = 2.
  TDIRItem item = table.ReadItem(1);
  item.Size = 99;
  table.UpdateItem(1, item);
  EXPECT_EQ(Values(table.ParentIndex()), (std::vector<int32_t>{3, 5, 1, 4, 2, 0}));
  // Rewriting item 4 (at position 3, where the probe lands too) moves nothing.
  table.UpdateItem(4, table.ReadItem(4));
  EXPECT_EQ(Values(table.ParentIndex()), (std::vector<int32_t>{3, 5, 1, 4, 2, 0}));
  EXPECT_EQ(table.ReadItem(1).Size, 99);
}

// A small tree: dir(0) at the root with b(1), c(3), d(4) inside; a(2), e(5)
// at the root. By hand, ParentIndex (keys by ParentID) evolves:
//   [0]; add 1 (key 0): probe 0 is smaller, step 1 runs past the end -> [0,1];
//   add 2 (key -1): probe 1 is larger, mid 0, probe 0 equal -> [2,0,1];
//   add 3 (key 0): probe 1 smaller, mid 2, probe 2 equal -> [2,0,3,1];
//   add 4 (key 0): probe 2 equal -> [2,0,4,3,1];
//   add 5 (key -1): probe 2 larger, mid 1, probe 1 equal -> [2,5,0,4,3,1].
// The root lists a, e, dir and dir lists d, c, b.
class DirTableTree : public ::testing::Test {
 protected:
  void SetUp() override {
    table.AddItem(MakeItem("dir", -1));
    table.AddItem(MakeItem("b", 0));
    table.AddItem(MakeItem("a", -1));
    table.AddItem(MakeItem("c", 0));
    table.AddItem(MakeItem("d", 0));
    table.AddItem(MakeItem("e", -1));
  }
  TDIRArray table{70, 7};
};

TEST_F(DirTableTree, IndexesAndSearchOrderMatchTheHandWorkedCase) {
  EXPECT_EQ(Values(table.ParentIndex()), (std::vector<int32_t>{2, 5, 0, 4, 3, 1}));
  EXPECT_EQ(Values(table.NameIndex()), (std::vector<int32_t>{2, 1, 3, 4, 0, 5}));  // a b c d dir e
  EXPECT_EQ(ListNames(table, "*"), (std::vector<std::string>{"a", "e", "dir"}));
  EXPECT_EQ(ListNames(table, "dir\\*"), (std::vector<std::string>{"d", "c", "b"}));
  EXPECT_EQ(ListNames(table, "*", 0), (std::vector<std::string>{"d", "c", "b"}));
  EXPECT_EQ(ListNames(table, "\\*", 0), (std::vector<std::string>{"a", "e", "dir"}));
}

TEST_F(DirTableTree, UpdateMovesAnEntryWithinItsRun) {
  // Item 3 stands at position 4; the insert probe lands on position 3, one to
  // the left, so the two neighbours swap.
  TDIRItem item = table.ReadItem(3);
  item.LastWriteTime = 1234;
  table.UpdateItem(3, item);
  EXPECT_EQ(Values(table.ParentIndex()), (std::vector<int32_t>{2, 5, 0, 3, 4, 1}));
  EXPECT_EQ(Values(table.NameIndex()), (std::vector<int32_t>{2, 1, 3, 4, 0, 5}));
  EXPECT_EQ(ListNames(table, "dir\\*"), (std::vector<std::string>{"c", "d", "b"}));
}

TEST_F(DirTableTree, DeletingAndReusingASlotKeepsBothIndexes) {
  table.UpdateItem(4, DeletedItem());
  EXPECT_EQ(table.IndexedCount(), 5);
  EXPECT_EQ(table.ItemCount(), 6);
  EXPECT_EQ(Values(table.ParentIndex()), (std::vector<int32_t>{2, 5, 0, 3, 1}));
  EXPECT_EQ(Values(table.NameIndex()), (std::vector<int32_t>{2, 1, 3, 0, 5}));
  EXPECT_EQ(table.FindPath("dir\\d", -1), -2);  // no item of that name any more

  // Deleting a deleted slot changes nothing.
  table.UpdateItem(4, DeletedItem());
  EXPECT_EQ(table.IndexedCount(), 5);

  // The slot comes back as "x" in dir: the parent probe at position 2 is
  // smaller, position 3 equal -> inserted at 3.
  table.UpdateItem(4, MakeItem("x", 0));
  EXPECT_EQ(table.IndexedCount(), 6);
  EXPECT_EQ(Values(table.ParentIndex()), (std::vector<int32_t>{2, 5, 0, 4, 3, 1}));
  EXPECT_EQ(Values(table.NameIndex()), (std::vector<int32_t>{2, 1, 3, 0, 5, 4}));
  EXPECT_EQ(table.FindPath("dir\\x", -1), 4);
  EXPECT_EQ(ListNames(table, "dir\\*"), (std::vector<std::string>{"x", "c", "b"}));
}

TEST(DirTableFindPos, ResultsOnAHandBuiltIndex) {
  // Parent keys 1, 3, 5, 7 (one item each), added in order.
  TDIRArray table(70, 7);
  for (int32_t parent : {1, 3, 5, 7}) table.AddItem(MakeItem("n" + std::to_string(parent), parent));
  ASSERT_EQ(Values(table.ParentIndex()), (std::vector<int32_t>{0, 1, 2, 3}));
  struct Case {
    int32_t key;
    int32_t insertPos;
    int32_t exactPos;
  };
  // Keys 2, 4 and 6 take the flip path: the probe swings between two
  // neighbours until the comparison settles the gap.
  const Case cases[] = {{0, 0, -1}, {1, 0, 0},  {2, 1, -1}, {3, 1, 1}, {4, 2, -1},
                        {5, 2, 2},  {6, 3, -1}, {7, 3, 3},  {8, 4, -1}};
  for (const Case& c : cases) {
    TDIRItem key = MakeItem("", c.key);
    EXPECT_EQ(table.FindPos(key, false, true), c.insertPos) << "key " << c.key;
    EXPECT_EQ(table.FindPos(key, false, false), c.exactPos) << "key " << c.key;
    EXPECT_EQ(table.FindPos(key, false, false, true), c.exactPos) << "key " << c.key;
  }
  TDIRArray empty(70, 7);
  EXPECT_EQ(empty.FindPos(MakeItem("a", -1), true, true), 0);
  EXPECT_EQ(empty.FindPos(MakeItem("a", -1), true, false), -1);
}

TEST(DirTableFindPos, FirstOfRunWalksBackToTheStartOfEqualKeys) {
  TDIRArray table(70, 7);
  // Keys: one item under 1, five under 2, one under 3.
  table.AddItem(MakeItem("p1", 1));
  for (int i = 0; i < 5; ++i) table.AddItem(MakeItem("q" + std::to_string(i), 2));
  table.AddItem(MakeItem("p3", 3));
  const TIntegerArray& index = table.ParentIndex();
  TDIRItem key = MakeItem("", 2);
  int32_t any = table.FindPos(key, false, false);
  int32_t first = table.FindPos(key, false, false, true);
  ASSERT_GE(any, 1);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(table.ReadItem(index[first]).ParentID, 2);
  EXPECT_EQ(table.ReadItem(index[first - 1]).ParentID, 1);
  EXPECT_EQ(table.ReadItem(index[any]).ParentID, 2);
}

TEST(DirTableFindPos, NameIndexStaysSortedAndEveryNameIsFound) {
  TDIRArray table(70, 7);
  // A fixed scramble of 200 names with repeats.
  std::vector<std::string> names;
  for (int i = 0; i < 200; ++i) names.push_back("n" + std::to_string((i * 37) % 71));
  for (const std::string& name : names) table.AddItem(MakeItem(name, -1));
  const TIntegerArray& index = table.NameIndex();
  for (int32_t i = 1; i < index.ItemCount(); ++i) {
    EXPECT_LE(
        CompareNames(ItemFileName(table.ReadItem(index[i - 1])), ItemFileName(table.ReadItem(index[i]))), 0)
        << "at " << i;
  }
  for (const std::string& name : names) {
    int32_t pos = table.FindPos(MakeItem(name, -1), true, false, true);
    ASSERT_GE(pos, 0) << name;
    EXPECT_EQ(ItemFileName(table.ReadItem(index[pos])), name);
    if (pos > 0) {
      EXPECT_NE(ItemFileName(table.ReadItem(index[pos - 1])), name);
    }
  }
  EXPECT_EQ(table.FindPos(MakeItem("n99", -1), true, false), -1);
}

// The table for an item a at the root (item 0) and b inside it (item 1).
TEST(DirTableFindPath, ResultsForTheListedPaths) {
  TDIRArray table(70, 7);
  table.AddItem(MakeItem("a", -1));
  table.AddItem(MakeItem("b", 0));
  struct Case {
    const char* path;
    int32_t start;
    int32_t expected;
  };
  const Case cases[] = {
      {"", 0, 0},        {"", -1, -1},       {"\\", 0, -1},
      {"/", 0, -1},      {"a\\\\b", -1, -2}, {"\\a", 0, 0},
      {"a\\", -1, 0},    {"..", 0, -1},      {"..", -1, -1},
      {"a\\..", -1, -1}, {"a\\b", -1, 1},    {"a/b", -1, 1},
      {"/a/b/", -1, 1},  {"A\\B", -1, 1},    {"b", 0, 1},
      {"\\b", 0, -3},    {"b", -1, -3},      {"x", -1, -2},
      {"a\\x", -1, -2},  {".", -1, -2},      {"a\\b\\..\\..", -1, -1},
      {"a", 2, -2},      {"a", -2, -2},      {"\\\\a", -1, -2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(table.FindPath(c.path, c.start), c.expected) << "path \"" << c.path << "\" from " << c.start;
  }
  EXPECT_EQ(table.FindPath(static_cast<const char*>(nullptr), -1), -2);
}

TEST(DirTableFindPath, DotIsAnOrdinaryName) {
  TDIRArray table(70, 7);
  table.AddItem(MakeItem(".", -1));
  EXPECT_EQ(table.FindPath(".", -1), 0);
  EXPECT_EQ(table.FindPath("\\.\\..", 0), -1);
}

TEST(DirTableFindPath, LongComponentsAreCutTo259Characters) {
  TDIRArray table(70, 7);
  const std::string longName(300, 'k');
  table.AddItem(MakeItem(longName, -1));  // stored as its first 259 characters
  EXPECT_EQ(ItemFileName(table.ReadItem(0)), std::string(259, 'k'));
  EXPECT_EQ(table.FindPath(longName, -1), 0);
  EXPECT_EQ(table.FindPath(std::string(259, 'k') + "zzz", -1), 0);
  EXPECT_EQ(table.FindPath(std::string(258, 'k'), -1), -2);
}

TEST(DirTableFindPath, DamagedParentIdsEndTheWalk) {
  TDIRArray table(70, 7);
  table.AddItem(MakeItem("far", 99));  // parent beyond the table
  table.AddItem(MakeItem("neg", -7));  // parent below the root
  EXPECT_EQ(table.FindPath("..\\..", 0), -3);
  EXPECT_EQ(table.FindPath("..\\..", 1), -3);
}

TEST(DirTableNames, AnUnterminatedNameIsNeverReadPastItsField) {
  TDIRArray table(70, 7);
  TDIRItem item = MakeItem("", -1);
  std::memset(item.FileName, 'u', sizeof(item.FileName));
  std::memset(item.Reserved3, 'r', sizeof(item.Reserved3));
  table.AddItem(item);
  table.AddItem(MakeItem("v", -1));
  EXPECT_EQ(ItemFileName(table.ReadItem(0)), std::string(260, 'u'));
  std::vector<std::string> names = ListNames(table, "*");
  ASSERT_EQ(names.size(), 2u);
  EXPECT_TRUE(names[0] == std::string(260, 'u') || names[1] == std::string(260, 'u'));
  EXPECT_EQ(table.FindPath("v", -1), 1);
  // A lookup is cut to 259 characters, so it cannot equal the 260-byte name.
  EXPECT_LT(table.FindPath(std::string(260, 'u'), -1), 0);
}

TEST(DirTableUpdate, OldPositionsNotFoundAreReported) {
  // Changing a live item's key is outside the system's use; when the slot
  // already holds the new key the old entry can no longer be found.
  {
    TDIRArray table(70, 7);
    table.AddItem(MakeItem("b", -1));
    table.AddItem(MakeItem("q\"q", -1));
    table.AddItem(MakeItem("q\"q", -1));
    ASSERT_EQ(Values(table.NameIndex()), (std::vector<int32_t>{0, 2, 1}));
    try {
      table.UpdateItem(2, MakeItem("a", -1));
      FAIL();
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message,
                "TDIRArray.UpdateItem - old name position not found. Position = 2, ItemCount = 3, "
                "FileName = \"q\"\"q\"");
    }
  }
  {
    TDIRArray table(70, 7);
    table.AddItem(MakeItem("a", -1));
    table.AddItem(MakeItem("b", -1));
    table.AddItem(MakeItem("c", 3));
    ASSERT_EQ(Values(table.ParentIndex()), (std::vector<int32_t>{1, 0, 2}));
    try {
      table.UpdateItem(1, MakeItem("b", 3));
      FAIL();
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message,
                "TDIRArray.UpdateItem - old parentID position not found. Position = 1, ItemCount = 3, "
                "ParentID = -1");
    }
  }
}

TEST_F(DirTableTree, SearchSlotsAreTakenReusedAndClosed) {
  TSFSSearchRec first;
  TSFSSearchRec second;
  ASSERT_EQ(table.FindFirst("*", 0, -1, first), 0);
  ASSERT_EQ(table.FindFirst("dir\\*", 0, -1, second), 0);
  EXPECT_EQ(first.FindHandle, 0);
  EXPECT_EQ(second.FindHandle, 1);
  table.FindClose(first);
  EXPECT_EQ(table.FindNext(first), -4);  // the slot is empty now
  TSFSSearchRec third;
  EXPECT_EQ(table.FindFirst("nothere\\*", 0, -1, third), -2);
  EXPECT_EQ(third.FindHandle, 0);  // the first empty slot, kept after -2
  TSFSSearchRec fourth;
  EXPECT_EQ(table.FindFirst("*.none", 0, -1, fourth), -5);
  EXPECT_EQ(fourth.FindHandle, 2);
  EXPECT_EQ(table.SearchCount(), 3);
  EXPECT_EQ(table.FindNext(fourth), -5);

  TSFSSearchRec none;
  none.FindHandle = -1;
  EXPECT_EQ(table.FindNext(none), -5);
  none.FindHandle = 3;
  EXPECT_EQ(table.FindNext(none), -5);
  table.FindClose(none);  // out of range: nothing happens
  table.FindClose(second);
  table.FindClose(third);
  table.FindClose(fourth);
}

TEST_F(DirTableTree, FindNextAfterTheLastMatchStaysOnIt) {
  TSFSSearchRec rec;
  ASSERT_EQ(table.FindFirst("dir\\*", 0, -1, rec), 0);
  EXPECT_EQ(rec.Name, "d");
  ASSERT_EQ(table.FindNext(rec), 0);
  ASSERT_EQ(table.FindNext(rec), 0);
  EXPECT_EQ(rec.Name, "b");
  EXPECT_EQ(table.FindNext(rec), -5);
  EXPECT_EQ(rec.Name, "b");
  EXPECT_EQ(table.FindNext(rec), -5);
  table.FindClose(rec);
}

TEST_F(DirTableTree, ASearchListsWhatMatchedAtItsStart) {
  TSFSSearchRec rec;
  ASSERT_EQ(table.FindFirst("dir\\*", 0, -1, rec), 0);
  // The list holds item numbers: a later item is not seen, while a listed
  // item is reported as it stands when the cursor reaches it.
  table.AddItem(MakeItem("f", 0));
  TDIRItem c = table.ReadItem(3);
  c.Size = 4321;
  table.UpdateItem(3, c);
  std::vector<std::string> names{rec.Name};
  while (table.FindNext(rec) == 0) {
    names.push_back(rec.Name);
    if (rec.Name == "c") {
      EXPECT_EQ(rec.Size, 4321);
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"d", "c", "b"}));
  table.FindClose(rec);
}

TEST(DirTableSearch, MaskAndExcludedAttributes) {
  TDIRArray table(70, 7);
  table.AddItem(MakeItem("plain.txt", -1, 0x00));
  table.AddItem(MakeItem("ronly.txt", -1, 0x01));
  table.AddItem(MakeItem("hidden.txt", -1, 0x02));
  table.AddItem(MakeItem("system.txt", -1, 0x04));
  table.AddItem(MakeItem("subdir", -1, 0x10));
  table.AddItem(MakeItem("archive.TXT", -1, 0x20));
  table.AddItem(MakeItem("notes.doc", -1, 0x00));

  TSFSSearchRec rec;
  table.FindFirst("*", 0x16, -1, rec);
  EXPECT_EQ(rec.ExcludeAttr, 0x08);
  table.FindClose(rec);
  table.FindFirst("*", 0, -1, rec);
  EXPECT_EQ(rec.ExcludeAttr, 0x1E);
  table.FindClose(rec);

  auto sorted = [](std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  };
  EXPECT_EQ(sorted(ListNames(table, "*.txt")),
            (std::vector<std::string>{"archive.TXT", "plain.txt", "ronly.txt"}));
  EXPECT_EQ(sorted(ListNames(table, "*.txt", -1, 0x02)),
            (std::vector<std::string>{"archive.TXT", "hidden.txt", "plain.txt", "ronly.txt"}));
  EXPECT_EQ(sorted(ListNames(table, "*.*", -1, 0x10)),
            (std::vector<std::string>{"archive.TXT", "notes.doc", "plain.txt", "ronly.txt", "subdir"}));
  EXPECT_EQ(ListNames(table, "s*", -1, 0x1E).size(), 2u);
  EXPECT_TRUE(ListNames(table, "*.xls").empty());
}

TEST(DirTableSearch, AnEmptyDirectoryGivesMinusFive) {
  TDIRArray table(70, 7);
  table.AddItem(MakeItem("dir", -1));
  TSFSSearchRec rec;
  EXPECT_EQ(table.FindFirst("dir\\*", 0, -1, rec), -5);
  table.FindClose(rec);
  TDIRArray empty(70, 7);
  EXPECT_EQ(empty.FindFirst("*", 0, -1, rec), -5);
  empty.FindClose(rec);
}

// Local time two hours ahead of UTC.
class PlusTwoHoursClock : public platform::IClock {
 public:
  platform::CalendarTime LocalNow() override { return {}; }
  uint32_t TickCount() override { return 0; }
  bool LocalToUtc(platform::FileTimeValue local, platform::FileTimeValue& utc) override {
    utc = local - kOffset;
    return true;
  }
  bool UtcToLocal(platform::FileTimeValue utc, platform::FileTimeValue& local) override {
    local = utc + kOffset;
    return true;
  }
  static constexpr platform::FileTimeValue kOffset = 7200ull * 10000000ull;
};

TEST(DirTableSearch, FillSearchRecTakesLocalDosTimeAndTheLowSize) {
  PlusTwoHoursClock clock;
  platform::ScopedService<platform::IClock> scoped(platform::SetClock, clock);
  TDIRArray table(70, 7);
  TDIRItem item = MakeItem("report.txt", -1, 0x21);
  item.Size = 0x100000005LL;
  item.CreationTime = 0x0123456789ABCDEFull;
  item.LastAccessTime = 0x1111111122222222ull;
  item.LastWriteTime = 132366906200000000ull;  // 2020-06-15 10:30:20 UTC
  table.AddItem(item);

  TSFSSearchRec rec;
  std::memset(rec.FindData.AlternateFileName, 'z', sizeof(rec.FindData.AlternateFileName));
  rec.FindData.Reserved0 = 77;
  table.FillSearchRec(0, rec);
  // Local 12:30:20 on 2020-06-15: date (40 << 9) | (6 << 5) | 15, time
  // (12 << 11) | (30 << 5) | 10.
  EXPECT_EQ(static_cast<uint32_t>(rec.Time), 0x50CF63CAu);
  EXPECT_EQ(rec.Size, 5);
  EXPECT_EQ(rec.Attr, 0x21);
  EXPECT_EQ(rec.Name, "report.txt");
  EXPECT_EQ(rec.FindData.FileAttributes, 0x21u);
  EXPECT_EQ(FromSFSFileTime(rec.FindData.CreationTime), 0x0123456789ABCDEFull);
  EXPECT_EQ(rec.FindData.CreationTime.LowDateTime, 0x89ABCDEFu);
  EXPECT_EQ(FromSFSFileTime(rec.FindData.LastAccessTime), 0x1111111122222222ull);
  EXPECT_EQ(FromSFSFileTime(rec.FindData.LastWriteTime), 132366906200000000ull);
  EXPECT_EQ(rec.FindData.FileSizeHigh, 0u);
  EXPECT_EQ(rec.FindData.FileSizeLow, 5u);
  EXPECT_EQ(std::memcmp(rec.FindData.FileName, item.FileName, 260), 0);
  // Fields the record does not fill are left as they were.
  EXPECT_EQ(rec.FindData.Reserved0, 77u);
  EXPECT_EQ(rec.FindData.AlternateFileName[0], 'z');
}

}  // namespace
