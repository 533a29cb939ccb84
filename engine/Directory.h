// The directory of a container.
//
// Every stored file is one 512-byte directory item. The items live in a chain
// of directory pages (page type 1): item n sits in directory page
// n div ItemsPerPage of the chain, at byte (n mod ItemsPerPage) * 512 of the
// page's data area, with ItemsPerPage = PageDataSize div 512 (7 for 4096-byte
// pages). A directory page is always written with its full set of slots
// (ItemsPerPage * 512 data bytes, 3584 for 4096-byte pages) and encrypted with
// the container key when the container has a password. The container header
// keeps DirFirstPage, DirPageCount and DirItemCount (deleted items included).
//
// TDIRManager loads the whole directory into a TDIRArray when it is built and
// from then on the table is authoritative: every change is written through at
// once (AddItem writes the item's page and the header, WriteItem the item's
// page). Items never move; a deleted item keeps its slot until a new item
// takes it over. Open counts and searches live in memory only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/DirItem.h"
#include "engine/DirTable.h"
#include "engine/EngineContainers.h"

class TFreeSpaceManager;
class TPageFileManager;
struct TSFSPage;

class TDIRManager {
 public:
  // Computes ItemsPerPage, makes the table (growth step ItemsPerPage, at most
  // 10 x ItemsPerPage) and loads the directory. Both managers must outlive
  // this object. Load errors pass through.
  TDIRManager(TPageFileManager& pageFile, TFreeSpaceManager& freeSpace);
  TDIRManager(const TDIRManager&) = delete;
  TDIRManager& operator=(const TDIRManager&) = delete;

  // Reads every directory page of the chain and rebuilds the table and the
  // open counts. Raises "TDIRManager.Load - can not load page, pageNo = N"
  // when a page cannot be read, and refuses a header or chain that does not
  // fit the file (item count beyond the pages' slots, a chain that ends
  // early, leaves the file or visits a page twice) before reading anything
  // past it.
  void Load();

  // Stores `item`: in the first deleted slot when there is one (WriteItem),
  // otherwise in a new slot at the end, adding and linking a directory page
  // when every page is full; then writes the item's page and the header.
  // False with LastError -17 when no page could be allocated (nothing
  // changed). Page read and write failures raise.
  bool AddItem(const TDIRItem& item);

  // The item in slot n (from memory). Raises the table's message on an
  // invalid n.
  TDIRItem ReadItem(int32_t n) const;
  // Replaces item n in the table and rewrites its directory page (the page
  // header is read and written back unchanged). A deleted item's open count
  // becomes 0.
  void WriteItem(int32_t n, const TDIRItem& item);

  // The table's FindPath from CurrentDir: an item number, -1 for the root,
  // -2 or -3 for a malformed or missing path.
  int32_t FindPath(const std::string& path) const;

  // Creates a new item for `path` (its parent must exist; the name is not
  // checked for duplicates) with its own password record when `password` is
  // not empty. Returns the slot number or -1 (empty or root path, missing
  // parent, no page for the directory). Password-length errors pass through.
  int32_t CreateItem(const std::string& path, const std::string& password, const std::string& question,
                     const std::string& answer);
  // Opens the item for `path`: counts the open handle, sets `key` to the
  // stored file's own key string (empty without a password; a wrong password
  // yields a wrong key) and, unless the container is read-only, stamps and
  // writes LastAccessTime. -1 when the path does not name an item or the item
  // refuses opening.
  int32_t OpenItem(const std::string& path, const std::string& password, std::string& key);
  // Decrements the open count of item n when n is valid.
  void ReleaseItem(int32_t n);
  // The open count of item n, or -1 when n is out of range.
  int32_t GetOpenCount(int32_t n) const;
  // Whether `password` opens the item for `path`: false for a path that does
  // not name an item, true for an item without a password.
  bool CheckItemPassword(const std::string& path, const std::string& password);

  // Directory searches of the table; a path beginning with "\" or "/" starts
  // at the root, any other at CurrentDir.
  int32_t FindFirst(const std::string& path, int32_t attributes, TSFSSearchRec& rec);
  int32_t FindNext(TSFSSearchRec& rec);
  void FindClose(TSFSSearchRec& rec);

  int32_t ItemsPerPage() const { return items_per_page_; }
  int32_t ItemCount() const { return table_->ItemCount(); }
  const TIntegerArray& DirPages() const { return dir_pages_; }
  const TDIRArray& Table() const { return *table_; }
  int32_t CurrentDir() const { return current_dir_; }
  const std::string& CurrentDirName() const { return current_dir_name_; }

  // -17 after a failed page allocation.
  int32_t LastError = 0;

 private:
  // AddItem, returning the slot the item went to or -1.
  int32_t StoreItem(const TDIRItem& item);
  // Copies the ItemsPerPage slots of directory page `pageIndex` into
  // `buffer` (slots past the last item are zero).
  void FillPageBuffer(int32_t pageIndex, std::vector<uint8_t>& buffer) const;

  TFreeSpaceManager& free_space_;
  TIntegerArray dir_pages_;
  int32_t items_per_page_;
  int32_t page_bytes_;
  TPageFileManager& page_file_;
  std::unique_ptr<TDIRArray> table_;
  TIntegerArray open_counts_;
  std::string current_dir_name_ = "\\";
  int32_t current_dir_ = -1;
};
