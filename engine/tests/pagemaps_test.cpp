// Tests of the stored-file page maps over a real page file and free-space
// manager on the in-memory file system: geometry, growing and shrinking
// across a map page boundary, the uniform rule for data pages, plain map
// pages in a protected container, the cache trim and damaged chains.
#include "engine/PageMaps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/EngineUtils.h"
#include "engine/FreeSpace.h"
#include "engine/PageFile.h"
#include "files/ZUZFileCtrl.h"
#include "platform/Exception.h"
#include "platform/MemoryFileSystem.h"
#include "platform/Service.h"

namespace {

using engine_test::kPage;
using engine_test::ThrownMessage;
using engine_test::Values;

constexpr int64_t D = 4064;

class PageMapsTest : public engine_test::MemoryContainerTest {
 protected:
  PageMapsTest() : MemoryContainerTest("/vv/maps.sfs") {}

  void BuildUpper() override { Maps = std::make_unique<TUserFilePageMapManager>(*Pf, *Free); }
  void DropUpper() override { Maps.reset(); }
  static TDIRItem NewFile() {
    TDIRItem item;
    ClearItem(item);
    item.FirstMapPageNo = -1;
    return item;
  }
  // Resizes as the container does: the map first, then the item's Size.
  void Resize(TDIRItem& file, int64_t size) {
    ASSERT_TRUE(Maps->SetFileSize(file, true, size));
    file.Size = size;
  }
  std::vector<int32_t> MapList(const TDIRItem& file) {
    TUserFilePageMapManager::PageList maps, data;
    Maps->GetMaps(file, maps, data);
    return Values(*maps);
  }
  std::vector<int32_t> DataList(const TDIRItem& file) {
    TUserFilePageMapManager::PageList maps, data;
    Maps->GetMaps(file, maps, data);
    return Values(*data);
  }
  // Entry k of map page `pageNo` as stored.
  int32_t StoredEntry(int32_t pageNo, int32_t k) const {
    const std::string bytes = Logical(static_cast<int64_t>(pageNo) * kPage + 32 + 4 * k, sizeof(int32_t));
    EXPECT_EQ(bytes.size(), sizeof(int32_t));
    int32_t v = 0;
    std::memcpy(&v, bytes.data(), std::min(bytes.size(), sizeof(v)));
    return v;
  }
  void Relink(int32_t pageNo, int32_t next) {
    TSFSPage page;
    ASSERT_TRUE(Pf->ReadPage(page, pageNo, 0, "", false));
    page.Header.NextPage = next;
    ASSERT_TRUE(Pf->WritePage(page, pageNo, 0, ""));
  }

  std::unique_ptr<TUserFilePageMapManager> Maps;
};

TEST_F(PageMapsTest, Geometry) {
  Create();
  EXPECT_EQ(Maps->EntriesPerMapPage(), 1016);
  const struct {
    int64_t size;
    int32_t pages;
  } cases[] = {{0, 0},
               {1, 1},
               {4064, 1},
               {4065, 2},
               {1016 * D, 1016},
               {1016 * D + 1, 1017},
               {int64_t{1} << 32, 1056833}};
  for (const auto& c : cases) EXPECT_EQ(Maps->PagesForSize(c.size), c.pages) << c.size;
}

TEST_F(PageMapsTest, SmallFilesAndTheirPages) {
  Create();
  TDIRItem file = NewFile();
  Resize(file, 4064);
  ASSERT_NE(file.FirstMapPageNo, -1);
  EXPECT_EQ(file.FirstMapPageNo, 4);
  EXPECT_EQ(MapList(file), (std::vector<int32_t>{4}));
  EXPECT_EQ(DataList(file), (std::vector<int32_t>{5}));
  Resize(file, 4065);
  EXPECT_EQ(DataList(file), (std::vector<int32_t>{5, 6}));
  const TSFSPageHeader map = StoredPageHeader(4);
  EXPECT_EQ(map.PageType, 5);
  EXPECT_EQ(map.NextPage, -1);
  EXPECT_EQ(StoredEntry(4, 0), 5);
  EXPECT_EQ(StoredEntry(4, 1), 6);
  const TSFSPageHeader dataPage = StoredPageHeader(6);
  EXPECT_EQ(dataPage.PageType, 6);
  EXPECT_EQ(dataPage.EncryptionType, 0);

  // Page lists of byte ranges; a range ending on a page boundary includes the
  // page that starts there.
  TIntegerArray pages(0, 1, 100);
  ASSERT_TRUE(Maps->GetPageList(file, false, 0, 10, pages));
  EXPECT_EQ(Values(pages), (std::vector<int32_t>{5}));
  ASSERT_TRUE(Maps->GetPageList(file, false, 0, D, pages));
  EXPECT_EQ(Values(pages), (std::vector<int32_t>{5, 6}));
  ASSERT_TRUE(Maps->GetPageList(file, false, D, 100000, pages));
  EXPECT_EQ(Values(pages), (std::vector<int32_t>{6}));
  // Growing through a write range.
  ASSERT_TRUE(Maps->GetPageList(file, true, 2 * D, 10, pages));
  file.Size = 2 * D + 10;
  EXPECT_EQ(Values(pages), (std::vector<int32_t>{7}));
  EXPECT_EQ(DataList(file).size(), 3u);

  // A file without pages.
  TDIRItem empty = NewFile();
  ASSERT_TRUE(Maps->GetPageList(empty, false, 0, 100, pages));
  EXPECT_EQ(pages.ItemCount(), 0);
  EXPECT_TRUE(Maps->SetFileSize(empty, true, 0));
  EXPECT_EQ(empty.FirstMapPageNo, -1);
}

TEST_F(PageMapsTest, GrowingAndShrinkingAcrossTheFirstMapPage) {
  Create();
  TDIRItem file = NewFile();
  Resize(file, 1016 * D);
  const int32_t firstMap = file.FirstMapPageNo;
  ASSERT_EQ(MapList(file).size(), 1u);
  EXPECT_EQ(StoredPageHeader(firstMap).NextPage, -1);

  Resize(file, 1016 * D + 1);  // the 1017th data page starts a second map page
  const std::vector<int32_t> maps = MapList(file);
  const std::vector<int32_t> data = DataList(file);
  ASSERT_EQ(maps.size(), 2u);
  ASSERT_EQ(data.size(), 1017u);
  EXPECT_EQ(StoredPageHeader(firstMap).NextPage, maps[1]);
  EXPECT_EQ(StoredPageHeader(maps[1]).NextPage, -1);
  EXPECT_EQ(StoredPageHeader(maps[1]).PageType, 5);
  EXPECT_EQ(StoredEntry(maps[1], 0), data[1016]);
  EXPECT_EQ(StoredEntry(firstMap, 1015), data[1015]);

  Reopen();
  EXPECT_EQ(MapList(file), maps);
  EXPECT_EQ(DataList(file), data);

  Resize(file, 1016 * D);  // back: the second map page goes
  EXPECT_EQ(MapList(file), (std::vector<int32_t>{firstMap}));
  EXPECT_EQ(DataList(file).size(), 1016u);
  EXPECT_EQ(StoredPageHeader(firstMap).NextPage, -1);
  EXPECT_TRUE(Free->PFSBit(maps[1] - 1));
  EXPECT_TRUE(Free->PFSBit(data[1016] - 1));
  EXPECT_FALSE(Free->PFSBit(data[1015] - 1));

  Resize(file, 0);  // everything goes
  EXPECT_EQ(file.FirstMapPageNo, -1);
  EXPECT_EQ(Maps->MapPageCacheCount(), 0);
  EXPECT_EQ(Maps->DataPageCacheCount(), 0);
  EXPECT_TRUE(Free->PFSBit(firstMap - 1));
  for (int32_t p : data) ASSERT_TRUE(Free->PFSBit(p - 1)) << p;
}

// Data pages are asked for as uniform exactly when the file then has more
// than ExtentPageCount (8) pages. After the near extent 0, a uniform request
// leaves the new extent unmixed, a shared one marks it mixed.
TEST_F(PageMapsTest, UniformRuleForDataPages) {
  Create();
  TDIRItem eight = NewFile();
  Resize(eight, 8 * D);
  EXPECT_EQ(DataList(eight), (std::vector<int32_t>{5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_TRUE(Free->SGAMBit(1));

  Create();
  TDIRItem nine = NewFile();
  Resize(nine, 9 * D);
  EXPECT_EQ(DataList(nine), (std::vector<int32_t>{5, 6, 7, 8, 9, 10, 11, 12, 13}));
  EXPECT_FALSE(Free->SGAMBit(1));
}

TEST_F(PageMapsTest, MapPagesArePlainInAProtectedContainer) {
  Create("pw");
  ASSERT_EQ(Pf->Header.Encrypted, 1);
  TDIRItem file = NewFile();
  Resize(file, 3 * D);
  const TSFSPageHeader h = StoredPageHeader(file.FirstMapPageNo);
  EXPECT_EQ(h.EncryptionType, 0);
  const std::vector<int32_t> data = DataList(file);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(StoredEntry(file.FirstMapPageNo, k), data[static_cast<size_t>(k)]);
}

TEST_F(PageMapsTest, MoreThanAHundredCachedMapsEmptyTheCaches) {
  Create();
  std::vector<TDIRItem> files(102, NewFile());
  for (TDIRItem& f : files) Resize(f, 10);
  Reopen();  // fresh caches
  TUserFilePageMapManager::PageList heldMaps, heldData;
  Maps->GetMaps(files[0], heldMaps, heldData);
  for (int i = 1; i < 101; ++i) MapList(files[static_cast<size_t>(i)]);
  EXPECT_EQ(Maps->MapPageCacheCount(), 101);
  EXPECT_EQ(Maps->DataPageCacheCount(), 101);

  MapList(files[101]);  // trims before it loads
  EXPECT_EQ(Maps->MapPageCacheCount(), 1);
  EXPECT_EQ(Maps->DataPageCacheCount(), 1);
  // A list held across the trim stays valid.
  ASSERT_EQ(heldMaps->ItemCount(), 1);
  EXPECT_EQ((*heldMaps)[0], files[0].FirstMapPageNo);
  EXPECT_EQ(heldData->ItemCount(), 1);
}

TEST_F(PageMapsTest, AFileJustGrownKeepsItsListsThroughATrim) {
  Create();
  std::vector<TDIRItem> files(101, NewFile());
  for (TDIRItem& f : files) Resize(f, 10);
  Reopen();
  for (TDIRItem& f : files) MapList(f);  // 101 cached
  TDIRItem grown = NewFile();
  TIntegerArray pages(0, 1, 100);
  // The write grows the file (Size is stored by the caller afterwards); the
  // lookup that follows within the call must not reload with the old size.
  ASSERT_TRUE(Maps->GetPageList(grown, true, 0, 3 * D, pages));
  EXPECT_EQ(pages.ItemCount(), 3);
}

TEST_F(PageMapsTest, MessagesAndDamagedChains) {
  Create();
  TDIRItem none = NewFile();
  TUserFilePageMapManager::PageList maps, data;
  EXPECT_EQ(ThrownMessage([&] { Maps->GetMaps(none, maps, data); }),
            "TUserFilePageMapManager.GetMaps - Invalid parameter FileRec.FirstMapPageNo");
  EXPECT_EQ(ThrownMessage([&] { Maps->AppendPages(none, 0, true); }),
            "TUserFilePageMapManager.AppendPages - PageCount <= 0.");
  EXPECT_EQ(ThrownMessage([&] { Maps->DeletePagesFromEOF(none, 1); }),
            "TUserFilePageMapManager.DeletePagesFromEOF - File map not exists.");

  TDIRItem file = NewFile();
  Resize(file, 1017 * D);
  const std::vector<int32_t> good = MapList(file);
  const char chain[] = "TUserFilePageMapManager.GetMaps - Invalid page No in map chain.";
  auto fresh = [&] {
    Maps = std::make_unique<TUserFilePageMapManager>(*Pf, *Free);
    return ThrownMessage([&] { Maps->GetMaps(file, maps, data); });
  };
  Relink(good[0], -1);  // ends early
  EXPECT_EQ(fresh(), chain);
  Relink(good[0], good[0]);  // loops
  EXPECT_EQ(fresh(), chain);
  Relink(good[0], 1000000);  // leaves the file
  EXPECT_EQ(fresh(), chain);
  Relink(good[0], good[1]);
  EXPECT_EQ(fresh(), "<no exception>");

  TDIRItem far = file;
  far.FirstMapPageNo = 1000000;
  EXPECT_EQ(ThrownMessage([&] { Maps->GetMaps(far, maps, data); }), chain);
  TDIRItem huge = NewFile();
  huge.FirstMapPageNo = good[0] + 1000;
  huge.Size = int64_t{1} << 50;
  EXPECT_EQ(ThrownMessage([&] { Maps->GetMaps(huge, maps, data); }),
            "TUserFilePageMapManager.GetMaps - Invalid parameter FileRec.Size");
}

}  // namespace
