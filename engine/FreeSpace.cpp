// Free-space management: the PFS, GAM and SGAM bit maps, page allocation and
// release, and the growth of the extent area.
#include "engine/FreeSpace.h"

#include <algorithm>
#include <limits>
#include <string>

#include "engine/EngineContainers.h"
#include "engine/EngineUtils.h"
#include "engine/PageFile.h"
#include "platform/Exception.h"

namespace {

constexpr int64_t kMaxPageNo = std::numeric_limits<int32_t>::max();

// A change list: one zero per bit-map page.
TIntegerArray MakeChangeList(int32_t count) {
  TIntegerArray list(count, 1, 10);
  for (int32_t i = 0; i < count; ++i) list[i] = 0;
  return list;
}

}  // namespace

TFreeSpaceGeometry TFreeSpaceGeometry::Compute(int32_t D, int32_t E) {
  TFreeSpaceGeometry g;
  if (D < 1 || E < 1) return g;
  const int64_t bits = 8 * static_cast<int64_t>(D);
  g.PFSBytesPerPage = static_cast<int32_t>((bits - bits % E) / 8);
  g.PFSExtentsPerPage = static_cast<int32_t>(static_cast<int64_t>(g.PFSBytesPerPage) * 8 / E);
  if (g.PFSExtentsPerPage < 1) return TFreeSpaceGeometry{};
  g.GAMBytesPerPage = static_cast<int32_t>((bits - bits % g.PFSExtentsPerPage) / 8);
  g.GAMExtentsPerPage = g.GAMBytesPerPage * 8;
  return g;
}

bool TFreeSpaceGeometry::Usable(int32_t E) const {
  return E >= 3 && PFSExtentsPerPage >= 1 &&
         static_cast<int64_t>(PFSExtentsPerPage) * E == static_cast<int64_t>(PFSBytesPerPage) * 8 &&
         GAMExtentsPerPage % PFSExtentsPerPage == 0;
}

int64_t TFreeSpaceGeometry::PFSPageNo(int32_t E, int32_t i) const {
  return 1 + static_cast<int64_t>(i) * PFSExtentsPerPage * E;
}

int64_t TFreeSpaceGeometry::GAMPageNo(int32_t E, int32_t i) const {
  return 2 + static_cast<int64_t>(i) * GAMExtentsPerPage * E;
}

TFreeSpaceManager::TFreeSpaceManager(TPageFileManager& PageFile) : PageFile(PageFile) {
  const TSFSFileHeader& h = PageFile.Header;
  D = PageFile.PageDataSize();
  E = h.ExtentPageCount;
  // A geometry under which the bit maps would not lie where their bits say
  // (or would lie in extents that do not exist yet) is refused.
  const TFreeSpaceGeometry g = TFreeSpaceGeometry::Compute(D, E);
  if (!g.Usable(E))
    throw Exception("TFreeSpaceManager.Create - extent page count does not suit the page size.");
  PFSBytesPerPage = g.PFSBytesPerPage;
  PFSExtentsPerPage = g.PFSExtentsPerPage;
  GAMBytesPerPage = g.GAMBytesPerPage;
  GAMExtentsPerPage = g.GAMExtentsPerPage;
  FExtentCount = std::max<int32_t>(0, (h.PageCount - h.FirstExtentPage) / E);

  if (static_cast<int64_t>(h.PFSPageCount) * PFSExtentsPerPage < FExtentCount) {
    throw Exception("TFreeSpaceManager.Create - PFSPageCount * FPageSize < FExtentCount!");
  }
  if (static_cast<int64_t>(h.GAMPageCount) * GAMExtentsPerPage < FExtentCount) {
    throw Exception("TFreeSpaceManager.Create - GAMPageCount * FPageSize < FExtentCount!");
  }
  // Every bit-map page lies in the first extent of its range, so a count that
  // names a page beyond the existing extents does not belong to this file
  // (and would make the loads read, and the buffers grow, without bound).
  if (h.PFSPageCount < 0 ||
      (h.PFSPageCount > 0 && static_cast<int64_t>(h.PFSPageCount - 1) * PFSExtentsPerPage >= FExtentCount)) {
    throw Exception("TFreeSpaceManager.Create - PFSPageCount does not fit the file!");
  }
  if (h.GAMPageCount < 0 ||
      (h.GAMPageCount > 0 && static_cast<int64_t>(h.GAMPageCount - 1) * GAMExtentsPerPage >= FExtentCount)) {
    throw Exception("TFreeSpaceManager.Create - GAMPageCount does not fit the file!");
  }

  PFSPageMap = std::make_unique<TIntegerArray>(0, 10, 10);
  GAMPageMap = std::make_unique<TIntegerArray>(0, 10, 10);
  LoadPFS();
  LoadGAM();
  FreeExtentCount = CountBits(GAMBits, FExtentCount);
  MixedExtentCount = CountBits(SGAMBits, FExtentCount);
}

TFreeSpaceManager::~TFreeSpaceManager() = default;

int32_t TFreeSpaceManager::CountBits(const std::vector<uint8_t>& bits, int32_t count) {
  int32_t n = 0;
  for (int32_t b = 0; b < count; ++b) {
    if (GetBit(bits.data(), b)) ++n;
  }
  return n;
}

bool TFreeSpaceManager::PFSBit(int32_t p) const { return GetBit(PFSBits.data(), p); }
bool TFreeSpaceManager::GAMBit(int32_t j) const { return GetBit(GAMBits.data(), j); }
bool TFreeSpaceManager::SGAMBit(int32_t j) const { return GetBit(SGAMBits.data(), j); }

void TFreeSpaceManager::LoadPFS() {
  PFSPageMap->SetSize(0);
  const int32_t count = PageFile.Header.PFSPageCount;
  if (count <= 0) return;
  PFSBits.assign(static_cast<size_t>(count) * static_cast<size_t>(PFSBytesPerPage), 0);
  const TFreeSpaceGeometry g = Geometry();
  TSFSPage page;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t pageNo = static_cast<int32_t>(g.PFSPageNo(E, i));
    PFSPageMap->Add(pageNo);
    page.pData = PFSBits.data() + static_cast<size_t>(i) * static_cast<size_t>(PFSBytesPerPage);
    if (!PageFile.ReadPage(page, pageNo, PFSBytesPerPage, std::string(), false)) {
      throw Exception("TFreeSpaceManager.LoadPFS - can not load page, pageNo = " + std::to_string(pageNo));
    }
  }
}

void TFreeSpaceManager::LoadGAM() {
  GAMPageMap->SetSize(0);
  const int32_t count = PageFile.Header.GAMPageCount;
  if (count <= 0) return;
  const size_t size = static_cast<size_t>(count) * static_cast<size_t>(GAMBytesPerPage);
  GAMBits.assign(size, 0);
  SGAMBits.assign(size, 0);
  const TFreeSpaceGeometry g = Geometry();
  TSFSPage page;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t pageNo = static_cast<int32_t>(g.GAMPageNo(E, i));
    const size_t offset = static_cast<size_t>(i) * static_cast<size_t>(GAMBytesPerPage);
    GAMPageMap->Add(pageNo);
    page.pData = GAMBits.data() + offset;
    if (!PageFile.ReadPage(page, pageNo, GAMBytesPerPage, std::string(), false)) {
      throw Exception("TFreeSpaceManager.LoadGAM - can not load page, pageNo = " + std::to_string(pageNo));
    }
    page.pData = SGAMBits.data() + offset;
    if (!PageFile.ReadPage(page, pageNo + 1, GAMBytesPerPage, std::string(), false)) {
      throw Exception("TFreeSpaceManager.LoadGAM - can not load SGAM page, pageNo = " +
                      std::to_string(pageNo + 1));
    }
  }
}

void TFreeSpaceManager::SavePFS(TIntegerArray& Changed) {
  if (Changed.ItemCount() != PFSPageMap->ItemCount()) {
    throw Exception("TFreeSpaceManager.SavePFS - pages.ItemCount <> PFSPageMap.ItemCount!");
  }
  for (int32_t i = 0; i < Changed.ItemCount(); ++i) {
    if (Changed[i] != 1) continue;
    TSFSPage page;
    page.Header.PageType = kPageTypePFS;
    page.Header.EncryptionType = kEncryptionNone;
    page.Header.ChecksumKind = 0;
    page.pData = PFSBits.data() + static_cast<size_t>(i) * static_cast<size_t>(PFSBytesPerPage);
    const int32_t pageNo = (*PFSPageMap)[i];
    if (!PageFile.WritePage(page, pageNo, PFSBytesPerPage, std::string())) {
      throw Exception("TFreeSpaceManager.SavePFS - can not save page, pageNo = " + std::to_string(pageNo));
    }
  }
}

void TFreeSpaceManager::SaveGAM(TIntegerArray& Changed) {
  if (Changed.ItemCount() != GAMPageMap->ItemCount()) {
    throw Exception("TFreeSpaceManager.SaveGAM - pages.ItemCount <> GAMPageMap.ItemCount!");
  }
  for (int32_t i = 0; i < Changed.ItemCount(); ++i) {
    if (Changed[i] != 1) continue;
    const size_t offset = static_cast<size_t>(i) * static_cast<size_t>(GAMBytesPerPage);
    const int32_t pageNo = (*GAMPageMap)[i];
    TSFSPage page;
    page.Header.PageType = kPageTypeGAM;
    page.Header.EncryptionType = kEncryptionNone;
    page.Header.ChecksumKind = 0;
    page.pData = GAMBits.data() + offset;
    if (!PageFile.WritePage(page, pageNo, GAMBytesPerPage, std::string())) {
      throw Exception("TFreeSpaceManager.SaveGAM - can not save page, pageNo = " + std::to_string(pageNo));
    }
    page.Header = TSFSPageHeader{};
    page.Header.PageType = kPageTypeSGAM;
    page.pData = SGAMBits.data() + offset;
    if (!PageFile.WritePage(page, pageNo + 1, GAMBytesPerPage, std::string())) {
      throw Exception("TFreeSpaceManager.SaveGAM - can not save SGAM page, pageNo = " +
                      std::to_string(pageNo + 1));
    }
  }
}

void TFreeSpaceManager::TakeFromExtent(int32_t j, int32_t Count, bool Uniform, TIntegerArray& Pages,
                                       TIntegerArray& PFSChanged, TIntegerArray& GAMChanged) {
  const int32_t first = PageFile.Header.FirstExtentPage;
  const int32_t start = j * E;
  for (int32_t p = start; p < start + E && Pages.ItemCount() < Count; ++p) {
    if (!GetBit(PFSBits.data(), p)) continue;
    PFSChanged[j / PFSExtentsPerPage] = 1;
    SetBit(PFSBits.data(), p, false);
    Pages.Add(p + first);
    if (GetBit(GAMBits.data(), j)) {
      // The extent was wholly free, so p is its first page.
      --FreeExtentCount;
      SetBit(GAMBits.data(), j, false);
      if (Uniform) {
        SetBit(SGAMBits.data(), j, false);  // the extent now belongs to this request alone
      } else {
        SetBit(SGAMBits.data(), j, true);
        ++MixedExtentCount;
      }
      GAMChanged[j / GAMExtentsPerPage] = 1;
    }
    if (p == start + E - 1) {
      // The extent's last page is taken: nothing more to find in it.
      if (GetBit(SGAMBits.data(), j)) --MixedExtentCount;
      SetBit(GAMBits.data(), j, false);
      SetBit(SGAMBits.data(), j, false);
      GAMChanged[j / GAMExtentsPerPage] = 1;
    }
  }
}

void TFreeSpaceManager::Search(int32_t& j, int32_t Count, bool Uniform, TIntegerArray& Pages,
                               TIntegerArray& PFSChanged, TIntegerArray& GAMChanged) {
  while (j < FExtentCount && Pages.ItemCount() < Count) {
    if (GetBit(GAMBits.data(), j) || (GetBit(SGAMBits.data(), j) && !Uniform)) {
      TakeFromExtent(j, Count, Uniform, Pages, PFSChanged, GAMChanged);
    }
    ++j;
  }
}

int32_t TFreeSpaceManager::AddExtents(int32_t Needed, bool Uniform, TIntegerArray& PFSChanged,
                                      TIntegerArray& GAMChanged, bool& LimitReached) {
  TSFSFileHeader& h = PageFile.Header;
  const int32_t first = h.FirstExtentPage;
  const int32_t base = FExtentCount;
  int64_t gained = 0;
  int32_t k = 0;
  LimitReached = false;
  while (gained < Needed) {
    const int32_t x = base + k;
    if (first + (static_cast<int64_t>(x) + 1) * E - 1 > kMaxPageNo) {
      LimitReached = true;
      break;
    }
    const bool newPFS = static_cast<int64_t>(x) == static_cast<int64_t>(PFSExtentsPerPage) * h.PFSPageCount;
    const bool newGAM = static_cast<int64_t>(x) == static_cast<int64_t>(GAMExtentsPerPage) * h.GAMPageCount;
    if (newPFS || newGAM) {
      // A new PFS page, all its pages and extents marked free in advance.
      ++h.PFSPageCount;
      PFSBits.resize(static_cast<size_t>(h.PFSPageCount) * static_cast<size_t>(PFSBytesPerPage), 0xFF);
      const int32_t pfsPage = PFSPageMap->ItemCount() == 0
                                  ? 1
                                  : (*PFSPageMap)[PFSPageMap->ItemCount() - 1] + PFSExtentsPerPage * E;
      PFSPageMap->Add(pfsPage);
      PFSChanged.Add(1);
      SetBit(PFSBits.data(), x * E, false);  // the PFS page itself
      if (newGAM) {
        ++h.GAMPageCount;
        const size_t size = static_cast<size_t>(h.GAMPageCount) * static_cast<size_t>(GAMBytesPerPage);
        GAMBits.resize(size, 0xFF);
        SGAMBits.resize(size, 0x00);
        SetBit(GAMBits.data(), x, false);
        SetBit(SGAMBits.data(), x, true);
        SetBit(PFSBits.data(), x * E + 1, false);  // the GAM page
        SetBit(PFSBits.data(), x * E + 2, false);  // the SGAM page
        const int32_t gamPage = GAMPageMap->ItemCount() == 0
                                    ? 2
                                    : (*GAMPageMap)[GAMPageMap->ItemCount() - 1] + GAMExtentsPerPage * E;
        GAMPageMap->Add(gamPage);
        GAMChanged.Add(1);
        if (!Uniform) gained += E - 3;
      } else {
        SetBit(GAMBits.data(), x, false);
        SetBit(SGAMBits.data(), x, true);
        GAMChanged[x / GAMExtentsPerPage] = 1;
        if (!Uniform) gained += E - 1;
      }
      // An extent holding bit-map pages is a mixed extent.
      ++MixedExtentCount;
    } else {
      // Its GAM and PFS bits are already 1 from the fills above.
      gained += E;
      ++FreeExtentCount;
    }
    ++k;
  }
  FExtentCount = base + k;
  return k;
}

bool TFreeSpaceManager::GetPages(int32_t Count, int32_t NearPage, bool Uniform, TIntegerArray& Pages) {
  TSFSFileHeader& h = PageFile.Header;
  const int32_t first = h.FirstExtentPage;
  Pages.SetSize(0);
  TIntegerArray PFSChanged = MakeChangeList(PFSPageMap->ItemCount());
  TIntegerArray GAMChanged = MakeChangeList(GAMPageMap->ItemCount());

  // The near extent is tried whatever its GAM and SGAM bits say. A hint
  // before the extent area names no extent.
  int32_t j = 0;
  if (NearPage >= first) {
    j = (NearPage - first) / E;
    if (j < FExtentCount) {
      TakeFromExtent(j, Count, Uniform, Pages, PFSChanged, GAMChanged);
    } else {
      j = 0;
    }
  }

  auto searchWorthwhile = [&] {
    return (Uniform && FreeExtentCount > 0) || (!Uniform && (MixedExtentCount > 0 || FreeExtentCount > 0));
  };
  if (searchWorthwhile()) {
    j = 0;
    Search(j, Count, Uniform, Pages, PFSChanged, GAMChanged);
  }

  bool result = true;
  if (Pages.ItemCount() < Count) {
    // What the growth changes, so that a file that cannot grow keeps the maps
    // and the header counts that match it.
    const int32_t oldExtentCount = FExtentCount;
    const int32_t oldFree = FreeExtentCount;
    const int32_t oldMixed = MixedExtentCount;
    const int32_t oldPFSPageCount = h.PFSPageCount;
    const int32_t oldGAMPageCount = h.GAMPageCount;
    const size_t oldPFSSize = PFSBits.size();
    const size_t oldGAMSize = GAMBits.size();

    bool limitReached = false;
    const int32_t k = AddExtents(Count - Pages.ItemCount(), Uniform, PFSChanged, GAMChanged, limitReached);
    if (k < 1) {
      if (!limitReached) {
        throw Exception("TFreeSpaceManager.GetPages - AddExtents does not append any extents.");
      }
      result = false;
    } else {
      result = PageFile.AddPages(E * k);
      if (result) {
        if (searchWorthwhile()) Search(j, Count, Uniform, Pages, PFSChanged, GAMChanged);
        if (Pages.ItemCount() < Count) {
          if (!limitReached) {
            throw Exception("TFreeSpaceManager.GetPages - AddExtents appends too small pages.");
          }
          result = false;
        }
      } else {
        // The file did not grow: forget the extents that were appended in
        // memory only. Otherwise a later header save would record bit-map
        // pages that the file does not hold, and the container could no
        // longer be opened.
        for (int32_t x = oldExtentCount; x < FExtentCount; ++x) {
          if (static_cast<size_t>(x) / 8 < oldGAMSize) {
            SetBit(GAMBits.data(), x, true);
            SetBit(SGAMBits.data(), x, false);
          }
        }
        FExtentCount = oldExtentCount;
        FreeExtentCount = oldFree;
        MixedExtentCount = oldMixed;
        h.PFSPageCount = oldPFSPageCount;
        h.GAMPageCount = oldGAMPageCount;
        PFSBits.resize(oldPFSSize);
        GAMBits.resize(oldGAMSize);
        SGAMBits.resize(oldGAMSize);
        PFSPageMap->SetSize(oldPFSPageCount);
        GAMPageMap->SetSize(oldGAMPageCount);
      }
    }
  }

  if (result) {
    int32_t maxPage = 0;
    for (int32_t i = 0; i < Pages.ItemCount(); ++i) maxPage = std::max(maxPage, Pages[i]);
    if (maxPage > h.PageCount - 1) result = PageFile.AddPages(maxPage - h.PageCount + 1);
  }
  if (result) {
    SaveGAM(GAMChanged);
    SavePFS(PFSChanged);
  }
  return result;
}

bool TFreeSpaceManager::IsBitmapPage(int32_t n) const {
  const TSFSFileHeader& h = PageFile.Header;
  const int32_t p = n - h.FirstExtentPage;
  const int32_t x = p / E;
  const int32_t offset = p % E;
  if (offset == 0 && x % PFSExtentsPerPage == 0 && x / PFSExtentsPerPage < h.PFSPageCount) return true;
  return (offset == 1 || offset == 2) && x % GAMExtentsPerPage == 0 && x / GAMExtentsPerPage < h.GAMPageCount;
}

void TFreeSpaceManager::FreePages(TIntegerArray& Pages) {
  const TSFSFileHeader& h = PageFile.Header;
  const int32_t first = h.FirstExtentPage;
  TIntegerArray Touched = MakeChangeList(FExtentCount);
  TIntegerArray PFSChanged = MakeChangeList(PFSPageMap->ItemCount());
  TIntegerArray GAMChanged = MakeChangeList(GAMPageMap->ItemCount());
  const int64_t extentPages = static_cast<int64_t>(FExtentCount) * E;

  for (int32_t i = 0; i < Pages.ItemCount(); ++i) {
    const int32_t n = Pages[i];
    if (n < first || n >= h.PageCount) continue;
    const int32_t p = n - first;
    // Pages past the last whole extent have no bits, and the bit-map pages
    // are never free: a damaged page list must not hand them out again.
    if (p >= extentPages || IsBitmapPage(n)) continue;
    SetBit(PFSBits.data(), p, true);
    Touched[p / E] = 1;
    PFSChanged[(p / E) / PFSExtentsPerPage] = 1;
  }

  for (int32_t j = 0; j < FExtentCount; ++j) {
    if (Touched[j] != 1) continue;
    bool allFree = true;
    for (int32_t p = j * E; p < j * E + E && allFree; ++p) allFree = GetBit(PFSBits.data(), p);
    // An extent already counted as free (its pages freed twice) is not
    // counted again.
    if (!allFree || GetBit(GAMBits.data(), j)) continue;
    if (GetBit(SGAMBits.data(), j)) --MixedExtentCount;
    SetBit(GAMBits.data(), j, true);
    SetBit(SGAMBits.data(), j, false);
    GAMChanged[j / GAMExtentsPerPage] = 1;
    ++FreeExtentCount;
  }

  SaveGAM(GAMChanged);
  SavePFS(PFSChanged);
}
