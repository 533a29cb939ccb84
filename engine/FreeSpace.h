// Free-space management of the extent area.
//
// The pages from FirstExtentPage on are grouped into extents of E =
// ExtentPageCount consecutive pages; extent j is the pages FirstExtentPage +
// j*E .. FirstExtentPage + j*E + E - 1, and page n has relative index p =
// n - FirstExtentPage. Three bit maps, stored in pages of the extent area
// itself, keep the state:
//   PFS  one bit per page,   1 = the page is free;
//   GAM  one bit per extent, 1 = every page of the extent is free;
//   SGAM one bit per extent, 1 = a mixed (shared) extent that the search may
//        still take free pages from.
// Bit b of a map is bit (b mod 8) of byte (b div 8); in memory each map is the
// concatenation of the bit bytes of all its pages, so bit numbers run across
// page boundaries.
//
// Placement: PFS page i is page 1 + i*PFSExtentsPerPage*E (the first page of
// extent i*PFSExtentsPerPage); GAM page i is page 2 + i*GAMExtentsPerPage*E and
// its SGAM page the page after it. One GAM page covers a whole number of PFS
// pages, so the first extent of a GAM range holds PFS, GAM and SGAM page in its
// first three pages. Bit-map pages are never encrypted and carry exactly
// PFSBytesPerPage / GAMBytesPerPage data bytes.
//
// Requests name whether they want whole extents for themselves (Uniform) or
// may share mixed extents. Every change to the maps is written at the end of
// the GetPages or FreePages call that made it; the page counts in the
// container header are saved by TPageFileManager::AddPages.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class TIntegerArray;
class TPageFileManager;

// Bit-map geometry for page data size D and extent size E (integer divisions):
//   PFSBytesPerPage   = (8D - (8D mod E)) div 8
//   PFSExtentsPerPage = PFSBytesPerPage * 8 div E
//   GAMBytesPerPage   = (8D - (8D mod PFSExtentsPerPage)) div 8
//   GAMExtentsPerPage = GAMBytesPerPage * 8
// With 4096-byte pages (D = 4064) and E = 8: 4064, 4064, 4064, 32512.
struct TFreeSpaceGeometry {
  int32_t PFSBytesPerPage = 0;
  int32_t PFSExtentsPerPage = 0;
  int32_t GAMBytesPerPage = 0;
  int32_t GAMExtentsPerPage = 0;

  // REQUIRES: D >= 1 and 1 <= E <= 8*D (otherwise the values are 0).
  static TFreeSpaceGeometry Compute(int32_t D, int32_t E);
  // Whether the bit maps can be placed as described above for extents of E
  // pages: E >= 3 (a GAM range opens with three bit-map pages), a PFS page
  // holds exactly PFSExtentsPerPage*E page bits (PFSBytesPerPage*8 of them),
  // and a GAM page covers a whole number of PFS pages. Always true for
  // E = 8.
  bool Usable(int32_t E) const;
  // Page number of PFS page i, GAM page i and SGAM page i (FirstExtentPage 1),
  // in 64 bits so that a caller can test whether it fits a page number.
  int64_t PFSPageNo(int32_t E, int32_t i) const;
  int64_t GAMPageNo(int32_t E, int32_t i) const;
  int64_t SGAMPageNo(int32_t E, int32_t i) const { return GAMPageNo(E, i) + 1; }
};

class TFreeSpaceManager {
 public:
  // Computes the geometry, checks the header's bit-map page counts against the
  // extents of the file, loads all bit-map pages and counts the GAM and SGAM
  // bits. Raises
  //   "TFreeSpaceManager.Create - PFSPageCount * FPageSize < FExtentCount!"
  //   "TFreeSpaceManager.Create - GAMPageCount * FPageSize < FExtentCount!"
  // when the maps cover too few extents, and
  //   "TFreeSpaceManager.Create - PFSPageCount does not fit the file!"
  //   "TFreeSpaceManager.Create - GAMPageCount does not fit the file!"
  // when a count is negative or names bit-map pages beyond the extents of the
  // file, and "TFreeSpaceManager.Create - extent page count does not suit the
  // page size." when TFreeSpaceGeometry::Usable is false; the load errors of
  // LoadPFS/LoadGAM pass through. PageFile must outlive this object.
  explicit TFreeSpaceManager(TPageFileManager& PageFile);
  // Frees the lists and buffers; writes nothing.
  ~TFreeSpaceManager();
  TFreeSpaceManager(const TFreeSpaceManager&) = delete;
  TFreeSpaceManager& operator=(const TFreeSpaceManager&) = delete;

  // Empties Pages and allocates Count pages into it, in the order taken: the
  // extent of NearPage first (whatever its GAM/SGAM bits say), then free (and,
  // unless Uniform, mixed) extents in increasing order, each from its lowest
  // free page up, then new extents appended at the end of the file. A Uniform
  // request never enters a mixed extent in the search. Returns false only when
  // the file cannot be grown; the in-memory changes are then neither undone
  // nor written. A NearPage below FirstExtentPage names no near extent.
  bool GetPages(int32_t Count, int32_t NearPage, bool Uniform, TIntegerArray& Pages);
  // Marks the listed pages free. Page numbers outside FirstExtentPage ..
  // PageCount-1 and the bit-map pages themselves are ignored. An extent whose
  // pages are then all free becomes a free extent (GAM 1, SGAM 0).
  void FreePages(TIntegerArray& Pages);

  // Bit-map page input and output. LoadPFS/LoadGAM read all pages named by the
  // header counts ("TFreeSpaceManager.LoadPFS - can not load page, pageNo = N",
  // "TFreeSpaceManager.LoadGAM - can not load page, pageNo = N", "... can not
  // load SGAM page, pageNo = N"). SavePFS/SaveGAM write the pages whose entry in
  // Changed is 1; Changed has one entry per PFS (GAM) page, otherwise they raise
  // "TFreeSpaceManager.SavePFS - pages.ItemCount <> PFSPageMap.ItemCount!" /
  // "TFreeSpaceManager.SaveGAM - pages.ItemCount <> GAMPageMap.ItemCount!";
  // a failed write raises "... can not save page, pageNo = N" (SaveGAM also
  // "... can not save SGAM page, pageNo = N").
  void LoadPFS();
  void LoadGAM();
  void SavePFS(TIntegerArray& Changed);
  void SaveGAM(TIntegerArray& Changed);

  // State for inspection (bit numbers: pages relative to FirstExtentPage,
  // extents from 0). REQUIRES: the bit lies inside the loaded maps.
  bool PFSBit(int32_t p) const;
  bool GAMBit(int32_t j) const;
  bool SGAMBit(int32_t j) const;
  const TIntegerArray& GetPFSPageMap() const { return *PFSPageMap; }
  const TIntegerArray& GetGAMPageMap() const { return *GAMPageMap; }
  TFreeSpaceGeometry Geometry() const {
    return {PFSBytesPerPage, PFSExtentsPerPage, GAMBytesPerPage, GAMExtentsPerPage};
  }

 private:
  // Takes free pages from extent j into Pages (see GetPages).
  void TakeFromExtent(int32_t j, int32_t Count, bool Uniform, TIntegerArray& Pages, TIntegerArray& PFSChanged,
                      TIntegerArray& GAMChanged);
  // Appends extents until Needed usable pages are gained (for a Uniform
  // request only extents without bit-map pages count) and returns how many.
  // Stops early, setting LimitReached, where another extent would carry page
  // numbers beyond the signed 32-bit range.
  int32_t AddExtents(int32_t Needed, bool Uniform, TIntegerArray& PFSChanged, TIntegerArray& GAMChanged,
                     bool& LimitReached);
  // The search loop of GetPages over extents j .. FExtentCount-1.
  void Search(int32_t& j, int32_t Count, bool Uniform, TIntegerArray& Pages, TIntegerArray& PFSChanged,
              TIntegerArray& GAMChanged);
  // Whether page n (inside the extent area) holds one of the bit maps.
  bool IsBitmapPage(int32_t n) const;
  // Number of bits set among bits 0 .. count-1 of a map.
  static int32_t CountBits(const std::vector<uint8_t>& bits, int32_t count);

  TPageFileManager& PageFile;
  std::vector<uint8_t> PFSBits;   // PFSPageCount * PFSBytesPerPage bytes
  std::vector<uint8_t> GAMBits;   // GAMPageCount * GAMBytesPerPage bytes
  std::vector<uint8_t> SGAMBits;  // same size as GAMBits
  std::unique_ptr<TIntegerArray> PFSPageMap;
  std::unique_ptr<TIntegerArray> GAMPageMap;

 public:
  // Geometry and counters; read-only for clients.
  int32_t D = 0;  // PageDataSize of the page file
  int32_t GAMBytesPerPage = 0;
  int32_t GAMExtentsPerPage = 0;
  int32_t PFSExtentsPerPage = 0;
  int32_t PFSBytesPerPage = 0;
  int32_t E = 0;                 // ExtentPageCount
  int32_t FreeExtentCount = 0;   // GAM bits set among the existing extents
  int32_t MixedExtentCount = 0;  // SGAM bits set among the existing extents
  int32_t FExtentCount = 0;      // existing extents
};
