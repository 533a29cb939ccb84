// Tests of the free-space manager: the bit-map geometry and placement, the
// exact pages that requests receive, the PFS, GAM and SGAM bits and counters
// after each step, what reaches the file, reopening, the creation checks and
// the behaviour when the file cannot grow. Containers live in an in-memory
// file system, except the one with 4096-byte pages that reaches the second
// GAM range, which is a sparse file on disk.
#include "engine/FreeSpace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/EngineContainers.h"
#include "engine/EngineUtils.h"
#include "engine/PageFile.h"
#include "files/ZUZFileCtrl.h"
#include "platform/Exception.h"
#include "platform/Files.h"
#include "platform/MemoryFileSystem.h"
#include "platform/Service.h"

namespace {

using engine_test::kCreate;
using engine_test::kReadOnly;
using engine_test::kReadWrite;
using engine_test::ThrownMessage;
using engine_test::UnlimitedVolumes;
using engine_test::Values;

TIntegerArray ToArray(const std::vector<int32_t>& v) {
  TIntegerArray a(0, 10, 1000);
  for (int32_t x : v) a.Add(x);
  return a;
}

std::vector<int32_t> Range(int32_t from, int32_t to) {
  std::vector<int32_t> v;
  for (int32_t x = from; x <= to; ++x) v.push_back(x);
  return v;
}

// A container in an in-memory file system with its page file and manager.
// Unlike engine_test::MemoryContainerTest it creates containers of any page
// and extent size, and drives the manager itself.
class FreeSpaceTest : public ::testing::Test {
 protected:
  void NewContainer(int32_t pageSize = 4096, int32_t extent = 8) {
    fsm.reset();
    pf.reset();  // the old container holds the file exclusively
    pf = std::make_unique<TPageFileManager>(path, kCreate, "", "", "", false, pageSize, extent, -1);
    fsm = std::make_unique<TFreeSpaceManager>(*pf);
  }
  void Reopen(uint16_t mode = kReadWrite) {
    fsm.reset();
    pf.reset();
    pf = std::make_unique<TPageFileManager>(path, mode, "", "", "", false, 4096, 8, -1);
    fsm = std::make_unique<TFreeSpaceManager>(*pf);
  }
  std::vector<int32_t> Get(int32_t count, int32_t nearPage, bool uniform) {
    TIntegerArray pages(0, 10, 1000);
    pages.Add(999);  // emptied by GetPages
    EXPECT_TRUE(fsm->GetPages(count, nearPage, uniform, pages));
    return Values(pages);
  }
  void Free(const std::vector<int32_t>& pages) {
    TIntegerArray a = ToArray(pages);
    fsm->FreePages(a);
  }
  // The bits of extent j's pages, "1" free, "0" used, lowest page first.
  std::string PFSBits(int32_t j) const {
    std::string s;
    for (int32_t p = j * fsm->E; p < (j + 1) * fsm->E; ++p) s += fsm->PFSBit(p) ? '1' : '0';
    return s;
  }
  // Reads a bit-map page as stored.
  std::vector<uint8_t> StoredPage(int32_t pageNo, int32_t size, uint8_t expectedType) {
    std::vector<uint8_t> data(static_cast<size_t>(size));
    TSFSPage page;
    page.pData = data.data();
    EXPECT_TRUE(pf->ReadPage(page, pageNo, size, "", false)) << "page " << pageNo;
    EXPECT_EQ(page.Header.PageType, expectedType) << "page " << pageNo;
    EXPECT_EQ(page.Header.EncryptionType, 0) << "page " << pageNo;
    EXPECT_EQ(page.Header.ChecksumKind, 0) << "page " << pageNo;
    return data;
  }
  // Recounts the counters from the maps and checks the invariants between the
  // bit maps that every operation keeps.
  void ExpectConsistent() {
    int32_t freeExtents = 0;
    int32_t mixedExtents = 0;
    for (int32_t j = 0; j < fsm->FExtentCount; ++j) {
      const bool gam = fsm->GAMBit(j);
      const bool sgam = fsm->SGAMBit(j);
      EXPECT_FALSE(gam && sgam) << "extent " << j;
      if (gam) {
        EXPECT_EQ(PFSBits(j), std::string(static_cast<size_t>(fsm->E), '1')) << "free extent " << j;
      }
      freeExtents += gam;
      mixedExtents += sgam;
    }
    EXPECT_EQ(fsm->FreeExtentCount, freeExtents);
    EXPECT_EQ(fsm->MixedExtentCount, mixedExtents);
    EXPECT_EQ(pf->Header.PageCount, pf->Header.FirstExtentPage + fsm->FExtentCount * fsm->E);
    EXPECT_EQ(pf->Header.PFSPageCount, fsm->GetPFSPageMap().ItemCount());
    EXPECT_EQ(pf->Header.GAMPageCount, fsm->GetGAMPageMap().ItemCount());
  }

  const std::string path = "/mem/c.dat";
  platform::MemoryFileSystem memory;
  platform::ScopedService<platform::IFileSystem> filesInstalled{platform::SetFiles, memory};
  UnlimitedVolumes volumes;
  platform::ScopedService<platform::IVolumes> volumesInstalled{platform::SetVolumes, volumes};
  std::unique_ptr<TPageFileManager> pf;
  std::unique_ptr<TFreeSpaceManager> fsm;
};

// ---------------------------------------------------------------------------
// Geometry and placement.

TEST(FreeSpaceGeometry, Table) {
  struct Case {
    int32_t pageSize, extent;
    int32_t pfsBytes, pfsExtents, gamBytes, gamExtents;
    bool usable;
  };
  const Case cases[] = {
      {4096, 8, 4064, 4064, 4064, 32512, true},
      {544, 8, 512, 512, 512, 4096, true},
      {4096, 4, 4064, 8128, 4064, 32512, true},
      {4096, 16, 4064, 2032, 4064, 32512, true},
      // 8D mod 3 = 1: a PFS page would not hold exactly its extents' bits,
      // and a GAM range would not start at a PFS range.
      {4096, 3, 4063, 10834, 4062, 32496, false},
      {4096, 2, 4064, 16256, 4064, 32512, false},  // too short for PFS, GAM and SGAM
      {4096, 1, 4064, 32512, 4064, 32512, false},
  };
  for (const Case& c : cases) {
    const TFreeSpaceGeometry g = TFreeSpaceGeometry::Compute(c.pageSize - 32, c.extent);
    EXPECT_EQ(g.PFSBytesPerPage, c.pfsBytes) << c.pageSize << "/" << c.extent;
    EXPECT_EQ(g.PFSExtentsPerPage, c.pfsExtents) << c.pageSize << "/" << c.extent;
    EXPECT_EQ(g.GAMBytesPerPage, c.gamBytes) << c.pageSize << "/" << c.extent;
    EXPECT_EQ(g.GAMExtentsPerPage, c.gamExtents) << c.pageSize << "/" << c.extent;
    EXPECT_EQ(g.Usable(c.extent), c.usable) << c.pageSize << "/" << c.extent;
  }
  // An extent longer than a PFS page's bits has no geometry at all.
  EXPECT_FALSE(TFreeSpaceGeometry::Compute(512, 4097).Usable(4097));
}

TEST(FreeSpaceGeometry, PlacementWith4096BytePages) {
  const TFreeSpaceGeometry g = TFreeSpaceGeometry::Compute(4064, 8);
  auto firstPageOfExtent = [](int64_t j) { return 1 + j * 8; };
  EXPECT_EQ(g.PFSPageNo(8, 0), 1);
  EXPECT_EQ(g.GAMPageNo(8, 0), 2);
  EXPECT_EQ(g.SGAMPageNo(8, 0), 3);
  // Extent 4064 (first page 32513) holds the second PFS page.
  EXPECT_EQ(g.PFSPageNo(8, 1), 32513);
  EXPECT_EQ(g.PFSPageNo(8, 1), firstPageOfExtent(4064));
  // Extent 32512 holds the ninth PFS page and the second GAM and SGAM pages.
  EXPECT_EQ(g.PFSPageNo(8, 8), firstPageOfExtent(32512));
  EXPECT_EQ(g.GAMPageNo(8, 1), firstPageOfExtent(32512) + 1);
  EXPECT_EQ(g.SGAMPageNo(8, 1), firstPageOfExtent(32512) + 2);
  EXPECT_EQ(g.PFSPageNo(8, 8), 260097);
}

// ---------------------------------------------------------------------------
// Allocation on a new container.

TEST_F(FreeSpaceTest, NewContainerHasNoExtents) {
  NewContainer();
  EXPECT_EQ(fsm->FExtentCount, 0);
  EXPECT_EQ(fsm->FreeExtentCount, 0);
  EXPECT_EQ(fsm->MixedExtentCount, 0);
  EXPECT_EQ(fsm->GetPFSPageMap().ItemCount(), 0);
  EXPECT_EQ(fsm->D, 4064);
  EXPECT_EQ(fsm->E, 8);
  EXPECT_EQ(fsm->PFSBytesPerPage, 4064);
  EXPECT_EQ(fsm->PFSExtentsPerPage, 4064);
  EXPECT_EQ(fsm->GAMBytesPerPage, 4064);
  EXPECT_EQ(fsm->GAMExtentsPerPage, 32512);
}

TEST_F(FreeSpaceTest, FirstNonUniformPageIsPage4) {
  NewContainer();
  EXPECT_EQ(Get(1, 1, false), std::vector<int32_t>{4});
  EXPECT_EQ(pf->Header.PageCount, 9);
  EXPECT_EQ(pf->HugeFile().GetSize(), 9 * 4096);
  EXPECT_EQ(pf->Header.PFSPageCount, 1);
  EXPECT_EQ(pf->Header.GAMPageCount, 1);
  EXPECT_EQ(Values(fsm->GetPFSPageMap()), std::vector<int32_t>{1});
  EXPECT_EQ(Values(fsm->GetGAMPageMap()), std::vector<int32_t>{2});
  EXPECT_EQ(PFSBits(0), "00001111");
  EXPECT_FALSE(fsm->GAMBit(0));
  EXPECT_TRUE(fsm->SGAMBit(0));
  EXPECT_EQ(fsm->FreeExtentCount, 0);
  EXPECT_EQ(fsm->MixedExtentCount, 1);

  // What reached the file: PFS page 1, GAM page 2, SGAM page 3, the header.
  const std::vector<uint8_t> pfs = StoredPage(1, 4064, kPageTypePFS);
  EXPECT_EQ(pfs[0], 0xF0);  // pages 1..4 used, 5..8 free
  EXPECT_TRUE(std::all_of(pfs.begin() + 1, pfs.end(), [](uint8_t b) { return b == 0xFF; }));
  const std::vector<uint8_t> gam = StoredPage(2, 4064, kPageTypeGAM);
  EXPECT_EQ(gam[0], 0xFE);
  EXPECT_TRUE(std::all_of(gam.begin() + 1, gam.end(), [](uint8_t b) { return b == 0xFF; }));
  const std::vector<uint8_t> sgam = StoredPage(3, 4064, kPageTypeSGAM);
  EXPECT_EQ(sgam[0], 0x01);
  EXPECT_TRUE(std::all_of(sgam.begin() + 1, sgam.end(), [](uint8_t b) { return b == 0; }));
  TSFSPage pfsHeader;
  ASSERT_TRUE(pf->ReadPage(pfsHeader, 1, 0, "", false));
  EXPECT_EQ(pfsHeader.Header.Checksum, CalcChecksum(pfs.data(), 4064, 0));

  // The next small requests fill extent 0: pages 5 to 8, lowest first.
  EXPECT_EQ(Get(2, 1, false), (std::vector<int32_t>{5, 6}));
  EXPECT_TRUE(fsm->SGAMBit(0));
  EXPECT_EQ(Get(2, 1, false), (std::vector<int32_t>{7, 8}));
  // Taking the extent's highest page clears its SGAM bit.
  EXPECT_FALSE(fsm->SGAMBit(0));
  EXPECT_EQ(fsm->MixedExtentCount, 0);
  EXPECT_EQ(pf->Header.PageCount, 9);
  ExpectConsistent();

  // Extent 0 is full: the next request appends extent 1 and shares it.
  EXPECT_EQ(Get(1, 1, false), std::vector<int32_t>{9});
  EXPECT_EQ(pf->Header.PageCount, 17);
  EXPECT_FALSE(fsm->GAMBit(1));
  EXPECT_TRUE(fsm->SGAMBit(1));
  EXPECT_EQ(fsm->MixedExtentCount, 1);
  ExpectConsistent();
}

TEST_F(FreeSpaceTest, FirstUniformRequestGetsAnExtentOfItsOwn) {
  NewContainer();
  EXPECT_EQ(Get(8, 1, true), Range(9, 16));
  EXPECT_EQ(fsm->FExtentCount, 2);
  EXPECT_EQ(pf->Header.PageCount, 17);
  EXPECT_EQ(PFSBits(0), "00011111");  // extent 0's five free pages stay free
  EXPECT_EQ(PFSBits(1), "00000000");
  EXPECT_FALSE(fsm->GAMBit(0));
  EXPECT_TRUE(fsm->SGAMBit(0));
  EXPECT_FALSE(fsm->GAMBit(1));
  EXPECT_FALSE(fsm->SGAMBit(1));
  EXPECT_EQ(fsm->FreeExtentCount, 0);
  EXPECT_EQ(fsm->MixedExtentCount, 1);
  ExpectConsistent();

  // A non-uniform request still finds extent 0's free pages.
  EXPECT_EQ(Get(3, 20, false), (std::vector<int32_t>{4, 5, 6}));
  // A uniform request never enters the mixed extent 0 in the search: it gets
  // extent 2...
  EXPECT_EQ(Get(1, 100, true), std::vector<int32_t>{17});
  // ...but near it, extent 0 is tried first all the same.
  EXPECT_EQ(Get(1, 4, true), std::vector<int32_t>{7});
  EXPECT_FALSE(fsm->SGAMBit(2));
  ExpectConsistent();
}

TEST_F(FreeSpaceTest, NearExtentIsTriedFirstWhateverItsBits) {
  NewContainer();
  ASSERT_EQ(Get(8, 1, true), Range(9, 16));    // extent 1, uniform
  ASSERT_EQ(Get(8, 17, true), Range(17, 24));  // extent 2, uniform (no near extent yet)
  Free({10, 12});
  // Freeing some pages of an extent changes no GAM or SGAM bit.
  EXPECT_FALSE(fsm->GAMBit(1));
  EXPECT_FALSE(fsm->SGAMBit(1));
  EXPECT_EQ(PFSBits(1), "01010000");
  // The search does not find them (extent 1 is neither free nor mixed)...
  EXPECT_EQ(Get(1, 1, false), std::vector<int32_t>{4});
  // ...but a request near them does, uniform or not, from the lowest up; the
  // rest comes from the search in extent order.
  EXPECT_EQ(Get(3, 15, true), (std::vector<int32_t>{10, 12, 25}));
  EXPECT_EQ(Get(2, 24, false), (std::vector<int32_t>{5, 6}));  // extent 2 full: search
  // A hint beyond the last extent or before the area names no extent.
  EXPECT_EQ(Get(1, 100000, false), std::vector<int32_t>{7});
  EXPECT_EQ(Get(1, 0, false), std::vector<int32_t>{8});
  // Extent 0 is full now and extent 3 is not shared: a new extent follows.
  EXPECT_EQ(Get(1, -50, false), std::vector<int32_t>{33});
  ExpectConsistent();
}

TEST_F(FreeSpaceTest, FreedUniformExtentServesTheNextUniformRequest) {
  NewContainer();
  ASSERT_EQ(Get(8, 1, true), Range(9, 16));
  ASSERT_EQ(Get(8, 17, true), Range(17, 24));
  Free(Range(9, 16));
  EXPECT_TRUE(fsm->GAMBit(1));
  EXPECT_FALSE(fsm->SGAMBit(1));
  EXPECT_EQ(fsm->FreeExtentCount, 1);
  ExpectConsistent();
  // Freeing them again changes nothing.
  Free(Range(9, 16));
  EXPECT_EQ(fsm->FreeExtentCount, 1);
  ExpectConsistent();

  EXPECT_EQ(Get(8, 100, true), Range(9, 16));
  EXPECT_EQ(pf->Header.PageCount, 25);  // no growth
  EXPECT_EQ(fsm->FreeExtentCount, 0);
  ExpectConsistent();
}

TEST_F(FreeSpaceTest, FreedMixedExtentBecomesFree) {
  NewContainer();
  ASSERT_EQ(Get(5, 1, false), Range(4, 8));
  ASSERT_EQ(Get(3, 1, false), Range(9, 11));  // extent 1, mixed
  EXPECT_TRUE(fsm->SGAMBit(1));
  Free(Range(9, 11));
  EXPECT_TRUE(fsm->GAMBit(1));
  EXPECT_FALSE(fsm->SGAMBit(1));
  EXPECT_EQ(fsm->MixedExtentCount, 0);
  EXPECT_EQ(fsm->FreeExtentCount, 1);
  // Extent 0 holds the bit maps: freed completely it never becomes free.
  Free(Range(4, 8));
  EXPECT_FALSE(fsm->GAMBit(0));
  EXPECT_EQ(PFSBits(0), "00011111");
  ExpectConsistent();
}

TEST_F(FreeSpaceTest, FreePagesIgnoresPagesOutsideTheAreaAndTheBitMaps) {
  NewContainer();
  ASSERT_EQ(Get(5, 1, false), Range(4, 8));
  const std::vector<uint8_t> before = StoredPage(1, 4064, kPageTypePFS);
  Free({0, -1, 9, 10, 1000, 2147483647, 1, 2, 3});
  EXPECT_EQ(PFSBits(0), "00000000");
  EXPECT_EQ(StoredPage(1, 4064, kPageTypePFS), before);
  ExpectConsistent();
  // Pages 1 to 3 are never handed out again.
  EXPECT_EQ(Get(1, 1, false), std::vector<int32_t>{9});
}

TEST_F(FreeSpaceTest, EveryChangeIsWrittenAndReopenRecounts) {
  NewContainer();
  ASSERT_EQ(Get(3, 1, false), Range(4, 6));
  ASSERT_EQ(Get(16, 100, true), Range(9, 24));
  ASSERT_EQ(Get(2, 1, false), (std::vector<int32_t>{7, 8}));
  ASSERT_EQ(Get(4, 30, false), Range(25, 28));
  Free(Range(17, 24));
  Free({5});
  ExpectConsistent();
  const int32_t freeExtents = fsm->FreeExtentCount;
  const int32_t mixedExtents = fsm->MixedExtentCount;
  const int32_t extents = fsm->FExtentCount;
  std::vector<std::string> bits;
  for (int32_t j = 0; j < extents; ++j) {
    bits.push_back(PFSBits(j) + (fsm->GAMBit(j) ? "G" : "-") + (fsm->SGAMBit(j) ? "S" : "-"));
  }
  EXPECT_EQ(freeExtents, 1);
  EXPECT_EQ(mixedExtents, 1);  // extent 3; extent 0 lost its SGAM bit with page 8

  Reopen();
  EXPECT_EQ(fsm->FExtentCount, extents);
  EXPECT_EQ(fsm->FreeExtentCount, freeExtents);
  EXPECT_EQ(fsm->MixedExtentCount, mixedExtents);
  for (int32_t j = 0; j < extents; ++j) {
    EXPECT_EQ(PFSBits(j) + (fsm->GAMBit(j) ? "G" : "-") + (fsm->SGAMBit(j) ? "S" : "-"), bits[j]) << j;
  }
  // And allocation goes on where it left off.
  EXPECT_EQ(Get(8, 100, true), Range(17, 24));
}

TEST_F(FreeSpaceTest, ZeroCountChangesNothing) {
  NewContainer();
  EXPECT_TRUE(Get(0, 1, false).empty());
  EXPECT_EQ(pf->Header.PageCount, 1);
  EXPECT_EQ(fsm->FExtentCount, 0);
}

TEST_F(FreeSpaceTest, LargeRequestAcrossManyExtents) {
  NewContainer();
  ASSERT_EQ(Get(1, 1, false), std::vector<int32_t>{4});
  // 4 pages left in extent 0, then 10 extents of 8.
  const std::vector<int32_t> pages = Get(84, 1, false);
  std::vector<int32_t> expected = Range(5, 8);
  for (int32_t p : Range(9, 88)) expected.push_back(p);
  EXPECT_EQ(pages, expected);
  EXPECT_EQ(pf->Header.PageCount, 89);
  ExpectConsistent();
}

// ---------------------------------------------------------------------------
// Placement of later bit-map pages, end to end. With 544-byte pages a PFS
// page covers 512 extents and a GAM page 4096.

TEST_F(FreeSpaceTest, SecondPFSAndGAMRangesWithSmallPages) {
  NewContainer(544, 8);
  ASSERT_EQ(fsm->PFSExtentsPerPage, 512);
  ASSERT_EQ(fsm->GAMExtentsPerPage, 4096);
  // Uniform: the extents holding bit maps count for nothing, extents 1..511,
  // then 513.. each count 8 pages.
  const std::vector<int32_t> pages = Get(512 * 8, 1, true);
  ASSERT_EQ(pages.size(), 4096u);
  EXPECT_EQ(pages.front(), 9);
  EXPECT_EQ(pages[511 * 8 - 1], 1 + 512 * 8 - 1);  // the last page of extent 511
  EXPECT_EQ(pages[511 * 8], 1 + 513 * 8);          // extent 512 is skipped
  EXPECT_EQ(fsm->FExtentCount, 514);
  EXPECT_EQ(Values(fsm->GetPFSPageMap()), (std::vector<int32_t>{1, 1 + 512 * 8}));
  EXPECT_EQ(Values(fsm->GetGAMPageMap()), std::vector<int32_t>{2});
  EXPECT_EQ(PFSBits(512), "01111111");  // the second PFS page in its first page
  EXPECT_TRUE(fsm->SGAMBit(512));
  StoredPage(1 + 512 * 8, 512, kPageTypePFS);
  ExpectConsistent();

  // Non-uniform up to the first free page of the second GAM range: extent
  // 0's five pages, extent 512's seven, then extents 514 .. 4095 (six of them
  // with a PFS page only) and one page of extent 4096.
  const std::vector<int32_t> more = Get(5 + 7 + (3576 * 8 + 6 * 7) + 1, 1, false);
  EXPECT_EQ(more.front(), 4);  // extent 0's free pages first
  const int32_t rangeStart = 1 + 4096 * 8;
  EXPECT_EQ(fsm->FExtentCount, 4097);
  EXPECT_EQ(Values(fsm->GetGAMPageMap()), (std::vector<int32_t>{2, rangeStart + 1}));
  ASSERT_EQ(fsm->GetPFSPageMap().ItemCount(), 9);
  EXPECT_EQ(fsm->GetPFSPageMap()[8], rangeStart);
  for (int32_t i = 0; i < 9; ++i) EXPECT_EQ(fsm->GetPFSPageMap()[i], 1 + i * 512 * 8) << i;
  EXPECT_EQ(pf->Header.PFSPageCount, 9);
  EXPECT_EQ(pf->Header.GAMPageCount, 2);
  EXPECT_EQ(more.back(), rangeStart + 3);  // the first page after PFS, GAM and SGAM
  EXPECT_EQ(PFSBits(4096), "00001111");
  EXPECT_FALSE(fsm->GAMBit(4096));
  EXPECT_TRUE(fsm->SGAMBit(4096));
  // No bit-map page is ever handed out.
  std::set<int32_t> all(pages.begin(), pages.end());
  all.insert(more.begin(), more.end());
  EXPECT_EQ(all.size(), pages.size() + more.size());
  for (int32_t i = 0; i < 9; ++i) EXPECT_EQ(all.count(1 + i * 512 * 8), 0u) << i;
  for (int32_t p : {2, 3, rangeStart + 1, rangeStart + 2}) EXPECT_EQ(all.count(p), 0u) << p;
  StoredPage(rangeStart, 512, kPageTypePFS);
  StoredPage(rangeStart + 1, 512, kPageTypeGAM);
  StoredPage(rangeStart + 2, 512, kPageTypeSGAM);
  ExpectConsistent();

  const int32_t freeExtents = fsm->FreeExtentCount;
  const int32_t mixedExtents = fsm->MixedExtentCount;
  fsm.reset();
  pf.reset();
  pf = std::make_unique<TPageFileManager>(path, kReadWrite, "", "", "", false, 4096, 8, -1);
  fsm = std::make_unique<TFreeSpaceManager>(*pf);
  EXPECT_EQ(fsm->FExtentCount, 4097);
  EXPECT_EQ(fsm->FreeExtentCount, freeExtents);
  EXPECT_EQ(fsm->MixedExtentCount, mixedExtents);
  EXPECT_EQ(PFSBits(4096), "00001111");
  ExpectConsistent();
}

// ---------------------------------------------------------------------------
// Random operations against a model of the allocated pages.

TEST_F(FreeSpaceTest, RandomOperationsKeepTheMapsConsistent) {
  NewContainer();
  std::mt19937 rng(12345);
  std::set<int32_t> allocated;
  auto isBitmap = [](int32_t n) { return n >= 1 && n <= 3; };
  for (int step = 0; step < 400; ++step) {
    if (allocated.empty() || rng() % 3 != 0) {
      const int32_t count = 1 + static_cast<int32_t>(rng() % 20);
      const bool uniform = rng() % 2 == 0;
      const int32_t nearPage =
          1 + static_cast<int32_t>(rng() % static_cast<uint32_t>(pf->Header.PageCount + 10));
      const std::vector<int32_t> got = Get(count, nearPage, uniform);
      ASSERT_EQ(static_cast<int32_t>(got.size()), count);
      for (int32_t p : got) {
        ASSERT_FALSE(isBitmap(p)) << p;
        ASSERT_LT(p, pf->Header.PageCount);
        ASSERT_TRUE(allocated.insert(p).second) << "page " << p << " handed out twice";
      }
    } else {
      std::vector<int32_t> release;
      for (int32_t p : allocated) {
        if (rng() % 3 == 0) release.push_back(p);
      }
      for (int32_t p : release) allocated.erase(p);
      Free(release);
    }
  }
  ExpectConsistent();
  auto checkModel = [&] {
    for (int32_t n = 4; n < pf->Header.PageCount; ++n) {
      ASSERT_EQ(fsm->PFSBit(n - 1), allocated.count(n) == 0) << "page " << n;
    }
  };
  checkModel();
  Reopen();
  ExpectConsistent();
  checkModel();
}

// ---------------------------------------------------------------------------
// Creation checks, load and save failures.

TEST_F(FreeSpaceTest, CreationChecksTheBitMapPageCounts) {
  NewContainer();
  ASSERT_EQ(Get(1, 1, false), std::vector<int32_t>{4});  // 1 extent, 1 PFS page, 1 GAM page
  fsm.reset();
  struct Case {
    int32_t pfs, gam;
    const char* message;
  };
  const Case cases[] = {
      {0, 1, "TFreeSpaceManager.Create - PFSPageCount * FPageSize < FExtentCount!"},
      {1, 0, "TFreeSpaceManager.Create - GAMPageCount * FPageSize < FExtentCount!"},
      {-1, 1, "TFreeSpaceManager.Create - PFSPageCount * FPageSize < FExtentCount!"},
      {2, 1, "TFreeSpaceManager.Create - PFSPageCount does not fit the file!"},
      {2147483647, 1, "TFreeSpaceManager.Create - PFSPageCount does not fit the file!"},
      {1, 2, "TFreeSpaceManager.Create - GAMPageCount does not fit the file!"},
      {1, 1000000, "TFreeSpaceManager.Create - GAMPageCount does not fit the file!"},
  };
  for (const Case& c : cases) {
    pf->Header.PFSPageCount = c.pfs;
    pf->Header.GAMPageCount = c.gam;
    EXPECT_EQ(ThrownMessage([&] { TFreeSpaceManager check(*pf); }), c.message) << c.pfs << "/" << c.gam;
  }
  // With no extents, counts above zero name pages that do not exist.
  NewContainer();
  fsm.reset();
  pf->Header.PFSPageCount = 1;
  pf->Header.GAMPageCount = 1;
  EXPECT_EQ(ThrownMessage([&] { TFreeSpaceManager check(*pf); }),
            "TFreeSpaceManager.Create - PFSPageCount does not fit the file!");
}

TEST_F(FreeSpaceTest, CreationRefusesExtentsTheBitMapsCannotServe) {
  for (int32_t extent : {1, 2, 3}) {
    fsm.reset();
    pf.reset();
    pf = std::make_unique<TPageFileManager>(path, kCreate, "", "", "", false, 4096, extent, -1);
    EXPECT_EQ(ThrownMessage([&] { TFreeSpaceManager check(*pf); }),
              "TFreeSpaceManager.Create - extent page count does not suit the page size.")
        << extent;
  }
  pf.reset();
  pf = std::make_unique<TPageFileManager>(path, kCreate, "", "", "", false, 544, 8192, -1);
  EXPECT_EQ(ThrownMessage([&] { TFreeSpaceManager check(*pf); }),
            "TFreeSpaceManager.Create - extent page count does not suit the page size.");
}

TEST_F(FreeSpaceTest, LoadFailuresNameThePage) {
  struct Case {
    int64_t offset;  // logical offset of the damaged byte
    const char* message;
  };
  const Case cases[] = {
      {1 * 4096 + 32 + 10, "TFreeSpaceManager.LoadPFS - can not load page, pageNo = 1"},
      {2 * 4096 + 32 + 10, "TFreeSpaceManager.LoadGAM - can not load page, pageNo = 2"},
      {3 * 4096 + 32 + 10, "TFreeSpaceManager.LoadGAM - can not load SGAM page, pageNo = 3"},
  };
  for (const Case& c : cases) {
    NewContainer();
    ASSERT_EQ(Get(1, 1, false), std::vector<int32_t>{4});
    fsm.reset();
    pf.reset();
    std::string bytes = *memory.Contents(path);
    bytes[static_cast<size_t>(280 + c.offset)] ^= 0x10;
    memory.SetContents(path, bytes);
    pf = std::make_unique<TPageFileManager>(path, kReadWrite, "", "", "", false, 4096, 8, -1);
    EXPECT_EQ(ThrownMessage([&] { TFreeSpaceManager check(*pf); }), c.message);
  }
}

TEST_F(FreeSpaceTest, SaveChecksTheChangeLists) {
  NewContainer();
  ASSERT_EQ(Get(1, 1, false), std::vector<int32_t>{4});
  TIntegerArray wrong(2, 1, 10);
  EXPECT_EQ(ThrownMessage([&] { fsm->SavePFS(wrong); }),
            "TFreeSpaceManager.SavePFS - pages.ItemCount <> PFSPageMap.ItemCount!");
  EXPECT_EQ(ThrownMessage([&] { fsm->SaveGAM(wrong); }),
            "TFreeSpaceManager.SaveGAM - pages.ItemCount <> GAMPageMap.ItemCount!");
  // Only pages marked 1 are written.
  std::string bytes = *memory.Contents(path);
  TIntegerArray none(1, 1, 10);
  none[0] = 0;
  fsm->SavePFS(none);
  fsm->SaveGAM(none);
  EXPECT_EQ(*memory.Contents(path), bytes);
}

TEST_F(FreeSpaceTest, SaveFailuresNameThePage) {
  NewContainer();
  ASSERT_EQ(Get(1, 1, false), std::vector<int32_t>{4});
  fsm.reset();
  Reopen(kReadOnly);  // every write fails
  TIntegerArray changed(1, 1, 10);
  changed[0] = 1;
  EXPECT_EQ(ThrownMessage([&] { fsm->SavePFS(changed); }),
            "TFreeSpaceManager.SavePFS - can not save page, pageNo = 1");
  EXPECT_EQ(ThrownMessage([&] { fsm->SaveGAM(changed); }),
            "TFreeSpaceManager.SaveGAM - can not save page, pageNo = 2");
}

// ---------------------------------------------------------------------------
// A file that cannot grow.

TEST_F(FreeSpaceTest, GetPagesFailsWhenTheFileCannotGrow) {
  NewContainer();
  ASSERT_EQ(Get(5, 1, false), Range(4, 8));
  const std::string before = *memory.Contents(path);
  memory.SetCapacity(memory.UsedBytes());  // the disk is full

  TIntegerArray pages(0, 10, 100);
  EXPECT_FALSE(fsm->GetPages(8, 1, true, pages));
  // Nothing was written, and the extents that could not be added are gone
  // again, header counts included.
  EXPECT_EQ(*memory.Contents(path), before);
  EXPECT_EQ(fsm->FExtentCount, 1);
  EXPECT_EQ(pf->Header.PageCount, 9);
  EXPECT_EQ(pf->Header.PFSPageCount, 1);
  EXPECT_EQ(pf->Header.GAMPageCount, 1);
  ExpectConsistent();

  // Once there is room again, allocation picks up normally.
  memory.SetCapacity(INT64_MAX);
  EXPECT_EQ(Get(8, 1, true), Range(9, 16));
  ExpectConsistent();
  Reopen();
  ExpectConsistent();
}

// The same placement with the system's 4096-byte pages, on a sparse disk
// file: only the bit-map pages and the header are ever written.
TEST(FreeSpaceLargeFile, SecondGAMRangeWith4096BytePages) {
  UnlimitedVolumes volumes;
  platform::ScopedService<platform::IVolumes> volumesInstalled{platform::SetVolumes, volumes};
  std::random_device rd;
  const std::filesystem::path dir =
      std::filesystem::path(::testing::TempDir()) / ("vv_freespace_large_" + std::to_string(rd()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "big.dat").string();
  {
    TPageFileManager pf(file, kCreate, "", "", "", false, 4096, 8, -1);
    TFreeSpaceManager fsm(pf);
    TIntegerArray pages(0, 10, 1 << 20);
    // Extent 0 gives 5 pages, extents with a PFS page only 7, the others 8;
    // one page more reaches the first free page of extent 32512.
    const int32_t count = 5 + 7 * 7 + 8 * (32512 - 8) + 1;
    ASSERT_TRUE(fsm.GetPages(count, 1, false, pages));
    ASSERT_EQ(pages.ItemCount(), count);
    EXPECT_EQ(fsm.FExtentCount, 32513);
    ASSERT_EQ(fsm.GetPFSPageMap().ItemCount(), 9);
    EXPECT_EQ(fsm.GetPFSPageMap()[1], 32513);  // first page of extent 4064
    EXPECT_EQ(fsm.GetPFSPageMap()[8], 1 + 32512 * 8);
    EXPECT_EQ(Values(fsm.GetGAMPageMap()), (std::vector<int32_t>{2, 2 + 32512 * 8}));
    EXPECT_EQ(pages[count - 1], 1 + 32512 * 8 + 3);
    EXPECT_FALSE(fsm.PFSBit(4064 * 8));
    EXPECT_FALSE(fsm.SGAMBit(4064));  // its seven other pages were all taken
    EXPECT_EQ(pf.Header.PageCount, 1 + 32513 * 8);
  }
  {
    TPageFileManager pf(file, kReadWrite, "", "", "", false, 4096, 8, -1);
    TFreeSpaceManager fsm(pf);  // loads nine PFS pages and two GAM/SGAM pairs
    EXPECT_EQ(fsm.FExtentCount, 32513);
    EXPECT_EQ(fsm.FreeExtentCount, 0);
    EXPECT_EQ(fsm.MixedExtentCount, 1);  // extent 32512
    EXPECT_TRUE(fsm.SGAMBit(32512));
    EXPECT_FALSE(fsm.PFSBit(32512 * 8 + 2));
    EXPECT_TRUE(fsm.PFSBit(32512 * 8 + 4));
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

}  // namespace
