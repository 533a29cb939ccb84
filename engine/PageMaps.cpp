// Stored-file page maps: reading and caching the map chains, growing and
// shrinking files, and the page lists of byte ranges.
#include "engine/PageMaps.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "engine/FreeSpace.h"
#include "engine/PageFile.h"
#include "platform/Exception.h"

namespace {

// Files whose maps either cache may hold before it is emptied.
constexpr size_t kCacheLimit = 100;

// ceil(a / b) for a >= 0, b > 0.
int64_t CeilDiv(int64_t a, int64_t b) { return a / b + (a % b != 0 ? 1 : 0); }

}  // namespace

TUserFilePageMapManager::TUserFilePageMapManager(TPageFileManager& pageFile, TFreeSpaceManager& freeSpace)
    : page_file_(pageFile),
      free_space_(freeSpace),
      entries_per_map_page_(pageFile.PageDataSize() / 4),
      scratch_(0, 10, 100) {}

TUserFilePageMapManager::PageList TUserFilePageMapManager::NewPageList() {
  return std::make_shared<TIntegerArray>(0, 10, 25);
}

void TUserFilePageMapManager::TrimCache(std::map<int32_t, PageList>& cache, int32_t keepKey) {
  if (cache.size() <= kCacheLimit) return;
  PageList kept;
  if (auto it = cache.find(keepKey); it != cache.end()) kept = it->second;
  cache.clear();
  if (kept != nullptr) cache[keepKey] = std::move(kept);
}

int32_t TUserFilePageMapManager::PagesForSize(int64_t Size) const {
  const int64_t d = page_file_.PageDataSize();
  return static_cast<int32_t>(Size / d + (Size % d != 0 ? 1 : 0));
}

void TUserFilePageMapManager::LoadMaps(const TDIRItem& FileRec, PageList& mapPages, PageList& dataPages) {
  const TSFSFileHeader& header = page_file_.Header;
  const int32_t firstPage = FileRec.FirstMapPageNo;
  const int64_t d = page_file_.PageDataSize();
  const int32_t e = entries_per_map_page_;
  auto insideFile = [&header](int32_t pageNo) {
    return pageNo >= header.FirstExtentPage && pageNo < header.PageCount;
  };

  // A file cannot own more data pages than the container has pages.
  const int64_t size = FileRec.Size;
  if (size < 0 || CeilDiv(size, d) > header.PageCount) {
    throw Exception("TUserFilePageMapManager.GetMaps - Invalid parameter FileRec.Size");
  }
  const int32_t n = static_cast<int32_t>(CeilDiv(size, d));
  const int32_t pages = static_cast<int32_t>(CeilDiv(n, e));

  PageList maps = NewPageList();
  PageList data = NewPageList();
  if (!insideFile(firstPage)) {
    throw Exception("TUserFilePageMapManager.GetMaps - Invalid page No in map chain.");
  }
  if (pages == 0) {
    maps->Add(firstPage);
  } else {
    std::vector<uint8_t> buffer(static_cast<size_t>(d));
    std::unordered_set<int32_t> seen;
    TSFSPage page;
    page.pData = buffer.data();
    int32_t pageNo = firstPage;
    int32_t j = 0;
    for (int32_t m = 0; m < pages; ++m) {
      // A chain that leaves the file or comes back to one of its pages is
      // refused instead of being followed.
      if (!insideFile(pageNo) || !seen.insert(pageNo).second) {
        throw Exception("TUserFilePageMapManager.GetMaps - Invalid page No in map chain.");
      }
      if (!page_file_.ReadPage(page, pageNo, static_cast<int32_t>(d), page_file_.ContainerKey, false)) {
        throw Exception("TUserFilePageMapManager.GetMaps - Error on reading map page.");
      }
      maps->Add(pageNo);
      for (int32_t k = 0; k < e; ++k, ++j) {
        if (j >= n) continue;
        int32_t entry;
        std::memcpy(&entry, buffer.data() + static_cast<size_t>(k) * 4, 4);
        if (!insideFile(entry)) {
          throw Exception("TUserFilePageMapManager.GetMaps - Invalid page No in map chain.");
        }
        data->Add(entry);
      }
      pageNo = page.Header.NextPage;
      if (j < n && pageNo == -1) {
        throw Exception("TUserFilePageMapManager.GetMaps - Invalid page No in map chain.");
      }
    }
  }
  map_page_cache_[firstPage] = maps;
  data_page_cache_[firstPage] = data;
  mapPages = std::move(maps);
  dataPages = std::move(data);
}

void TUserFilePageMapManager::GetMaps(const TDIRItem& FileRec, PageList& mapPages, PageList& dataPages) {
  const int32_t firstPage = FileRec.FirstMapPageNo;
  if (firstPage == -1) {
    throw Exception("TUserFilePageMapManager.GetMaps - Invalid parameter FileRec.FirstMapPageNo");
  }
  // The caches only drop their share of a list, so a caller holding one
  // keeps it valid. The lists of the file asked for stay: they may be ahead
  // of FileRec.Size (a file just grown whose caller has not stored the new
  // size yet), and reading them back from the chain with the old size would
  // lose the new pages.
  TrimCache(map_page_cache_, firstPage);
  TrimCache(data_page_cache_, firstPage);

  PageList maps;
  PageList data;
  if (auto it = map_page_cache_.find(firstPage); it != map_page_cache_.end()) maps = it->second;
  if (auto it = data_page_cache_.find(firstPage); it != data_page_cache_.end()) data = it->second;
  if (maps == nullptr) LoadMaps(FileRec, maps, data);

  if (maps == nullptr) throw Exception("TUserFilePageMapManager.GetMaps - Cannot find UFPM page map");
  if (data == nullptr) throw Exception("TUserFilePageMapManager.GetMaps - Cannot find user file page map");
  if (maps->ItemCount() == 0 || (*maps)[0] != firstPage) {
    throw Exception("TUserFilePageMapManager.GetMaps - UFPMMap.Items[0] <> FirstMapPageNo");
  }
  mapPages = std::move(maps);
  dataPages = std::move(data);
}

bool TUserFilePageMapManager::AppendPages(TDIRItem& FileRec, int32_t PageCount, bool InitPages) {
  if (PageCount <= 0) throw Exception("TUserFilePageMapManager.AppendPages - PageCount <= 0.");
  const int32_t e = entries_per_map_page_;

  PageList maps;
  PageList data;
  int32_t firstToWrite;
  int32_t countToWrite;
  if (FileRec.FirstMapPageNo == -1) {
    const int32_t need = static_cast<int32_t>(CeilDiv(PageCount, e));
    maps = NewPageList();
    if (!free_space_.GetPages(need, 1, false, *maps)) {
      LastError = -17;
      return false;
    }
    FileRec.FirstMapPageNo = (*maps)[0];
    data = NewPageList();
    map_page_cache_[FileRec.FirstMapPageNo] = maps;
    data_page_cache_[FileRec.FirstMapPageNo] = data;
    firstToWrite = 0;
    countToWrite = maps->ItemCount();
  } else {
    GetMaps(FileRec, maps, data);
    const int32_t oldMapCount = maps->ItemCount();
    const int64_t extra = CeilDiv(static_cast<int64_t>(data->ItemCount()) + PageCount, e) - oldMapCount;
    if (extra <= 0) {
      firstToWrite = oldMapCount - 1;
      countToWrite = 1;
    } else {
      const int32_t lastMap = (*maps)[oldMapCount - 1];
      if (!free_space_.GetPages(static_cast<int32_t>(extra), lastMap + 1, false, scratch_)) {
        LastError = -17;
        return false;
      }
      for (int32_t i = 0; i < scratch_.ItemCount(); ++i) maps->Add(scratch_[i]);
      firstToWrite = oldMapCount - 1;
      countToWrite = static_cast<int32_t>(extra) + 1;
    }
  }

  const int32_t dataCount = data->ItemCount();
  const int32_t nearPage = dataCount > 0 ? (*data)[dataCount - 1] + 1 : 1;
  const bool uniform = static_cast<int64_t>(dataCount) + PageCount > page_file_.Header.ExtentPageCount;
  if (!free_space_.GetPages(PageCount, nearPage, uniform, scratch_)) {
    LastError = -17;
    return false;
  }
  for (int32_t i = 0; i < scratch_.ItemCount(); ++i) data->Add(scratch_[i]);

  WriteMapPages(firstToWrite, countToWrite, *data, *maps);

  if (InitPages) {
    TSFSPage page;
    page_file_.InitPage(page);
    page.Header.PageType = kPageTypeFileData;
    page.Header.EncryptionType = 0;
    page.Header.ChecksumKind = 0;
    page.Header.NextPage = -1;
    const size_t d = static_cast<size_t>(page_file_.PageDataSize());
    for (int32_t i = 0; i < scratch_.ItemCount(); ++i) {
      // WritePage leaves the stored bytes in the buffer; with no encryption
      // they are the zeros, but the buffer is cleared for every page anyway.
      std::memset(page.pData, 0, d);
      page_file_.WritePage(page, scratch_[i], -1, page_file_.ContainerKey);
    }
    page_file_.DonePage(page);
  }
  return true;
}

void TUserFilePageMapManager::WriteMapPages(int32_t First, int32_t Count, const TIntegerArray& dataPages,
                                            const TIntegerArray& mapPages) {
  const int32_t e = entries_per_map_page_;
  TSFSPage page;
  page_file_.InitPage(page);
  page.Header.PageType = kPageTypeFileMap;
  page.Header.EncryptionType = 0;
  page.Header.ChecksumKind = 0;
  for (int32_t i = First; i < First + Count; ++i) {
    page.Header.NextPage = i + 1 < mapPages.ItemCount() ? mapPages[i + 1] : -1;
    const int64_t start = static_cast<int64_t>(i) * e;
    const int64_t entries = std::clamp<int64_t>(dataPages.ItemCount() - start, 0, e);
    if (entries > 0) {
      std::memcpy(page.pData, dataPages.Data() + start, static_cast<size_t>(entries) * 4);
    }
    page_file_.WritePage(page, mapPages[i], -1, page_file_.ContainerKey);
  }
  page_file_.DonePage(page);
}

void TUserFilePageMapManager::DeletePagesFromEOF(TDIRItem& FileRec, int32_t PageCount) {
  if (FileRec.FirstMapPageNo == -1) {
    throw Exception("TUserFilePageMapManager.DeletePagesFromEOF - File map not exists.");
  }
  PageList maps;
  PageList data;
  GetMaps(FileRec, maps, data);
  if (PageCount < 0 || PageCount > data->ItemCount()) {
    throw Exception("TUserFilePageMapManager.DeletePagesFromEOF - Invalid PageCount = " +
                    std::to_string(PageCount));
  }
  const int32_t e = entries_per_map_page_;
  const int32_t remaining = data->ItemCount() - PageCount;
  const int32_t keep = static_cast<int32_t>(CeilDiv(remaining, e));

  scratch_.SetSize(0);
  if (keep < maps->ItemCount()) {
    for (int32_t i = keep; i < maps->ItemCount(); ++i) scratch_.Add((*maps)[i]);
    maps->SetSize(keep);
  }
  for (int32_t i = remaining; i < data->ItemCount(); ++i) scratch_.Add((*data)[i]);
  data->SetSize(remaining);

  free_space_.FreePages(scratch_);

  if (keep <= 0) {
    map_page_cache_.erase(FileRec.FirstMapPageNo);
    data_page_cache_.erase(FileRec.FirstMapPageNo);
    FileRec.FirstMapPageNo = -1;
  } else {
    WriteMapPages(keep - 1, 1, *data, *maps);
  }
}

bool TUserFilePageMapManager::SetFileSize(TDIRItem& FileRec, bool InitPages, int64_t NewSize) {
  if (FileRec.FirstMapPageNo == -1) {
    if (NewSize == 0) return true;
    return AppendPages(FileRec, PagesForSize(NewSize), InitPages);
  }
  PageList maps;
  PageList data;
  GetMaps(FileRec, maps, data);
  const int32_t need = PagesForSize(NewSize);
  if (FileRec.Size < NewSize) {
    const int32_t add = need - data->ItemCount();
    if (add <= 0) return true;
    return AppendPages(FileRec, add, InitPages);
  }
  if (FileRec.Size > NewSize) {
    const int32_t del = data->ItemCount() - need;
    if (del > 0) DeletePagesFromEOF(FileRec, del);
  }
  return true;
}

bool TUserFilePageMapManager::GetPageList(TDIRItem& FileRec, bool Grow, int64_t Position, int64_t Count,
                                          TIntegerArray& Pages) {
  const int64_t end = Position + Count;
  if (Grow && (FileRec.FirstMapPageNo == -1 || end > FileRec.Size)) {
    if (!SetFileSize(FileRec, true, end)) return false;
  }
  Pages.SetSize(0);
  if (FileRec.FirstMapPageNo == -1) return true;

  PageList maps;
  PageList data;
  GetMaps(FileRec, maps, data);
  const int64_t d = page_file_.PageDataSize();
  // A negative position starts at the first page rather than before it.
  const int64_t first = std::max<int64_t>(Position / d, 0);
  const int64_t last = end / d;
  for (int64_t i = first; i <= last && i < data->ItemCount(); ++i)
    Pages.Add((*data)[static_cast<int32_t>(i)]);
  return true;
}
