// Stored-file page maps.
//
// A stored file's bytes live in data pages (page type 6) scattered over the
// container; data page i of a file holds its bytes i*D .. (i+1)*D-1, D being
// PageDataSize (4064 for 4096-byte pages), and a file of Size s owns exactly
// PagesForSize(s) data pages. Which pages, in which order, is written in the
// file's page map: a chain of map pages (page type 5, never encrypted), each
// listing E = D div 4 data page numbers as little-endian int32 entries (1016
// for 4096-byte pages). Entry k of map page m names data page m*E + k; a file
// with n data pages has ceil(n / E) map pages. FirstMapPageNo of the file's
// directory item is the first map page and identifies the map; -1 means the
// file has no pages and no map.
//
// TUserFilePageMapManager reads and caches the maps, grows files by appending
// data pages, shrinks them by freeing pages from their end and tells the
// container which data pages cover a byte range. Of the directory item it
// changes only FirstMapPageNo and reads only Size; writing the item back and
// keeping Size up to date are the caller's business.
//
// The two caches (map pages and data pages, keyed by FirstMapPageNo) are
// emptied once either holds more than 100 files; only the entry of the file
// being looked up survives the trim. Lists handed out by GetMaps are shared:
// a caller that still holds one after a trim keeps a valid list.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "engine/DirItem.h"
#include "engine/EngineContainers.h"

class TFreeSpaceManager;
class TPageFileManager;

class TUserFilePageMapManager {
 public:
  using PageList = std::shared_ptr<TIntegerArray>;

  // E := PageDataSize div 4; empty caches. Both managers must outlive this
  // object.
  TUserFilePageMapManager(TPageFileManager& pageFile, TFreeSpaceManager& freeSpace);
  TUserFilePageMapManager(const TUserFilePageMapManager&) = delete;
  TUserFilePageMapManager& operator=(const TUserFilePageMapManager&) = delete;

  // The file's map page numbers (chain order) and data page numbers (file
  // order), from the caches or read from the map chain. Raises
  // "TUserFilePageMapManager.GetMaps - ..." for a file without map, a map
  // page that cannot be read, and a chain that ends early, loops or names
  // pages outside the file.
  void GetMaps(const TDIRItem& FileRec, PageList& mapPages, PageList& dataPages);

  // Appends PageCount data pages (and the map pages they need) to the file,
  // writes the changed map pages and, with InitPages, zero-fills the new data
  // pages. False with LastError -17 when pages could not be allocated (map
  // pages already taken stay with the file). Raises
  // "TUserFilePageMapManager.AppendPages - PageCount <= 0." for a count <= 0.
  bool AppendPages(TDIRItem& FileRec, int32_t PageCount, bool InitPages);
  // Frees the file's last PageCount data pages and the map pages no longer
  // needed; a file left without pages loses its map (FirstMapPageNo -1).
  // Raises for a file without map and for a PageCount outside 0 .. the file's
  // data page count.
  void DeletePagesFromEOF(TDIRItem& FileRec, int32_t PageCount);
  // Writes map pages First .. First+Count-1 from the two lists.
  void WriteMapPages(int32_t First, int32_t Count, const TIntegerArray& dataPages,
                     const TIntegerArray& mapPages);
  // Gives the file exactly PagesForSize(NewSize) data pages. False (LastError
  // -17) when pages could not be allocated.
  bool SetFileSize(TDIRItem& FileRec, bool InitPages, int64_t NewSize);
  // The data pages covering Position .. Position+Count (the page holding the
  // end byte included when it exists). With Grow, first enlarges the file to
  // the end of the range when needed; false when that fails.
  bool GetPageList(TDIRItem& FileRec, bool Grow, int64_t Position, int64_t Count, TIntegerArray& Pages);
  // Size div D, plus 1 when Size mod D is not 0.
  int32_t PagesForSize(int64_t Size) const;

  int32_t EntriesPerMapPage() const { return entries_per_map_page_; }
  int32_t MapPageCacheCount() const { return static_cast<int32_t>(map_page_cache_.size()); }
  int32_t DataPageCacheCount() const { return static_cast<int32_t>(data_page_cache_.size()); }

  // -17 after a failed page allocation.
  int32_t LastError = 0;

 private:
  // Reads the map chain of FileRec into two new lists.
  void LoadMaps(const TDIRItem& FileRec, PageList& mapPages, PageList& dataPages);
  static PageList NewPageList();
  // Empties `cache` when it holds more than 100 files, keeping the entry of
  // keepKey.
  static void TrimCache(std::map<int32_t, PageList>& cache, int32_t keepKey);

  TPageFileManager& page_file_;
  TFreeSpaceManager& free_space_;
  std::map<int32_t, PageList> map_page_cache_;
  std::map<int32_t, PageList> data_page_cache_;
  int32_t entries_per_map_page_;
  TIntegerArray scratch_;
};
