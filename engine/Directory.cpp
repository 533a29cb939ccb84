// The directory manager: directory pages, item creation and opening, open
// counts and the hand-over of lookups and searches to the table.
#include "engine/Directory.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "crypto/ZUZPassword.h"
#include "engine/EngineUtils.h"
#include "engine/FreeSpace.h"
#include "engine/PageFile.h"
#include "platform/Exception.h"

namespace {

constexpr int32_t kItemSize = static_cast<int32_t>(sizeof(TDIRItem));

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

TSFSPasswordRecord ItemPasswordRecord(const TDIRItem& item) {
  TSFSPasswordRecord record;
  static_assert(sizeof(record) == sizeof(item.PasswordRecord));
  std::memcpy(&record, item.PasswordRecord, sizeof(record));
  return record;
}

// The header a new directory page is written with.
TSFSPageHeader NewDirectoryPageHeader(uint8_t encryption) {
  TSFSPageHeader header;
  header.NextPage = -1;
  header.PageType = kPageTypeDirectory;
  header.EncryptionType = encryption;
  header.ChecksumKind = 0;
  return header;
}

}  // namespace

TDIRManager::TDIRManager(TPageFileManager& pageFile, TFreeSpaceManager& freeSpace)
    : free_space_(freeSpace),
      dir_pages_(0, 10, 100),
      items_per_page_(std::max(pageFile.PageDataSize() / kItemSize, 1)),
      page_bytes_(items_per_page_ * kItemSize),
      page_file_(pageFile),
      table_(std::make_unique<TDIRArray>(10 * items_per_page_, items_per_page_)),
      open_counts_(0, 10, 100) {
  Load();
}

void TDIRManager::Load() {
  const TSFSFileHeader& header = page_file_.Header;
  const int32_t pageCount = header.DirPageCount;
  const int32_t itemCount = header.DirItemCount;

  // The header is trusted only as far as the file can hold it: every item
  // needs a slot in the chain, and every page of the chain must lie in the
  // extent area.
  if (pageCount < 0 || itemCount < 0 ||
      static_cast<int64_t>(itemCount) > static_cast<int64_t>(pageCount) * items_per_page_ ||
      pageCount > header.PageCount) {
    throw Exception("TDIRManager.Load - invalid directory size, DirItemCount = " + std::to_string(itemCount) +
                    ", DirPageCount = " + std::to_string(pageCount));
  }

  std::vector<uint8_t> buffer(static_cast<size_t>(pageCount) * static_cast<size_t>(page_bytes_));
  dir_pages_.SetSize(0);
  TSFSPage page;
  int32_t pageNo = header.DirFirstPage;
  for (int32_t i = 0; i < pageCount; ++i) {
    if (pageNo < header.FirstExtentPage || pageNo >= header.PageCount) {
      throw Exception("TDIRManager.Load - invalid page No in directory chain, pageNo = " +
                      std::to_string(pageNo));
    }
    dir_pages_.Add(pageNo);
    page.pData = buffer.data() + static_cast<size_t>(i) * static_cast<size_t>(page_bytes_);
    if (!page_file_.ReadPage(page, pageNo, page_bytes_, page_file_.ContainerKey, false)) {
      throw Exception("TDIRManager.Load - can not load page, pageNo = " + std::to_string(pageNo));
    }
    pageNo = page.Header.NextPage;
  }
  page.pData = nullptr;

  // Two entries of the chain naming one page would make two slot ranges
  // share it.
  std::vector<int32_t> sorted(dir_pages_.Data(), dir_pages_.Data() + dir_pages_.ItemCount());
  std::sort(sorted.begin(), sorted.end());
  auto repeated = std::adjacent_find(sorted.begin(), sorted.end());
  if (repeated != sorted.end()) {
    throw Exception("TDIRManager.Load - page No repeated in directory chain, pageNo = " +
                    std::to_string(*repeated));
  }

  table_->SetSize(0);
  open_counts_.SetSize(0);
  for (int32_t n = 0; n < itemCount; ++n) {
    TDIRItem item;
    std::memcpy(&item, buffer.data() + static_cast<size_t>(n) * kItemSize, kItemSize);
    table_->AddItem(item);
    open_counts_.Add(0);
  }
}

void TDIRManager::FillPageBuffer(int32_t pageIndex, std::vector<uint8_t>& buffer) const {
  buffer.assign(static_cast<size_t>(page_bytes_), 0);
  const int32_t first = pageIndex * items_per_page_;
  for (int32_t k = 0; k < items_per_page_; ++k) {
    const int32_t n = first + k;
    if (n >= table_->ItemCount()) break;
    const TDIRItem item = table_->ReadItem(n);
    std::memcpy(buffer.data() + static_cast<size_t>(k) * kItemSize, &item, kItemSize);
  }
}

bool TDIRManager::AddItem(const TDIRItem& item) { return StoreItem(item) >= 0; }

int32_t TDIRManager::StoreItem(const TDIRItem& item) {
  for (int32_t n = 0; n < table_->ItemCount(); ++n) {
    if (table_->ReadItem(n).Deleted != 0) {
      WriteItem(n, item);
      return n;
    }
  }

  TSFSFileHeader& header = page_file_.Header;
  TSFSPage page;
  page.Header = NewDirectoryPageHeader(header.Encrypted);

  if (static_cast<int64_t>(header.DirPageCount) * items_per_page_ == header.DirItemCount) {
    const bool first = header.DirPageCount == 0;
    const int32_t nearPage = first ? header.FirstExtentPage : dir_pages_[dir_pages_.ItemCount() - 1];
    const bool uniform = !first && header.DirPageCount > 8;
    TIntegerArray pages(1, 1, 1);
    if (!free_space_.GetPages(1, nearPage, uniform, pages)) {
      LastError = -17;
      return -1;
    }
    const int32_t newPage = pages[0];
    if (first) {
      header.DirFirstPage = newPage;
    } else {
      const int32_t lastPage = dir_pages_[dir_pages_.ItemCount() - 1];
      if (!page_file_.ReadPage(page, lastPage, 0, page_file_.ContainerKey, false)) {
        throw Exception("TDIRManager.AddItem - can not load last page, pageNo = " + std::to_string(lastPage));
      }
      page.Header.NextPage = newPage;
      if (!page_file_.WritePage(page, lastPage, 0, page_file_.ContainerKey)) {
        throw Exception("TDIRManager.AddItem - can not save last page, pageNo = " + std::to_string(lastPage));
      }
    }
    dir_pages_.Add(newPage);
    ++header.DirPageCount;
  }

  ++header.DirItemCount;
  table_->AddItem(item);
  open_counts_.Add(0);

  const int32_t n = header.DirItemCount - 1;
  const int32_t pageIndex = n / items_per_page_;
  const int32_t pageNo = dir_pages_[pageIndex];
  if (n % items_per_page_ != 0) {
    if (!page_file_.ReadPage(page, pageNo, 0, page_file_.ContainerKey, false)) {
      throw Exception("TDIRManager.AddItem - can not load  page, pageNo = " + std::to_string(pageNo));
    }
  } else {
    page.Header = NewDirectoryPageHeader(header.Encrypted);
  }

  std::vector<uint8_t> scratch;
  FillPageBuffer(pageIndex, scratch);
  page.pData = scratch.data();
  if (!page_file_.WritePage(page, pageNo, page_bytes_, page_file_.ContainerKey)) {
    throw Exception("TDIRManager.AddItem - can not save page, pageNo = " + std::to_string(pageNo));
  }
  page_file_.SaveHeader();
  return n;
}

TDIRItem TDIRManager::ReadItem(int32_t n) const { return table_->ReadItem(n); }

void TDIRManager::WriteItem(int32_t n, const TDIRItem& item) {
  table_->UpdateItem(n, item);
  if (item.Deleted != 0) open_counts_[n] = 0;

  const int32_t pageIndex = n / items_per_page_;
  const int32_t pageNo = dir_pages_[pageIndex];
  TSFSPage page;
  if (!page_file_.ReadPage(page, pageNo, 0, page_file_.ContainerKey, false)) {
    throw Exception("TDIRManager.WriteItem - can not load  page, pageNo = " + std::to_string(pageNo));
  }
  std::vector<uint8_t> scratch;
  FillPageBuffer(pageIndex, scratch);
  page.pData = scratch.data();
  if (!page_file_.WritePage(page, pageNo, page_bytes_, page_file_.ContainerKey)) {
    throw Exception("TDIRManager.WriteItem - can not save page, pageNo = " + std::to_string(pageNo));
  }
}

int32_t TDIRManager::FindPath(const std::string& path) const { return table_->FindPath(path, current_dir_); }

int32_t TDIRManager::CreateItem(const std::string& path, const std::string& password,
                                const std::string& question, const std::string& answer) {
  if (path.empty() || path == "\\" || path == "/") return -1;

  TDIRItem item;
  ClearItem(item);
  std::string dirPart;
  std::string name;
  int32_t parent;
  if (SplitPath(path, dirPart, name)) {
    parent = table_->FindPath(dirPart, current_dir_);
  } else {
    parent = current_dir_;
    name = path;
  }
  SetItemName(name, item);
  if (parent <= -2) return -1;

  item.ParentID = parent;
  if (!password.empty()) {
    item.HasPassword = 1;
    TSFSPasswordRecord record{};
    MakePasswordRecord(record, password, question, answer);
    std::memcpy(item.PasswordRecord, &record, sizeof(record));
  }
  item.FirstMapPageNo = -1;
  item.Size = 0;
  platform::FileTimeValue now = 0;
  GetCurrentFileTime(now);
  item.CreationTime = now;
  item.LastWriteTime = now;
  item.LastAccessTime = now;
  item.Attributes = 0;
  item.OpenDenied = 0;
  return StoreItem(item);
}

int32_t TDIRManager::OpenItem(const std::string& path, const std::string& password, std::string& key) {
  const int32_t n = FindPath(path);
  if (n <= -1) return -1;
  TDIRItem item = table_->ReadItem(n);
  if (item.OpenDenied != 0) return -1;

  ++open_counts_[n];
  key.clear();
  if (item.HasPassword != 0) VerifyPassword(ItemPasswordRecord(item), password, key);

  if (!page_file_.ReadOnly) {
    platform::FileTimeValue now = 0;
    GetCurrentFileTime(now);
    item.LastAccessTime = now;
    WriteItem(n, item);
  }
  return n;
}

void TDIRManager::ReleaseItem(int32_t n) {
  if (n >= 0 && n < open_counts_.ItemCount()) --open_counts_[n];
}

int32_t TDIRManager::GetOpenCount(int32_t n) const {
  if (n < 0 || n >= open_counts_.ItemCount()) return -1;
  return open_counts_[n];
}

bool TDIRManager::CheckItemPassword(const std::string& path, const std::string& password) {
  const int32_t n = FindPath(path);
  if (n < 0 || n >= table_->ItemCount()) return false;
  const TDIRItem item = table_->ReadItem(n);
  if (item.HasPassword == 0) return true;
  std::string key;
  return VerifyPassword(ItemPasswordRecord(item), password, key);
}

int32_t TDIRManager::FindFirst(const std::string& path, int32_t attributes, TSFSSearchRec& rec) {
  const int32_t start = (!path.empty() && IsSeparator(path[0])) ? -1 : current_dir_;
  return table_->FindFirst(path, attributes, start, rec);
}

int32_t TDIRManager::FindNext(TSFSSearchRec& rec) { return table_->FindNext(rec); }

void TDIRManager::FindClose(TSFSSearchRec& rec) { table_->FindClose(rec); }
