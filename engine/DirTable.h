// The in-memory directory table.
//
// TDIRArray holds every directory item of a container in a slot array
// numbered from 0, plus two sorted indexes over the items that are not
// deleted: NameIndex (by FileName, in the file-name collation) and
// ParentIndex (by ParentID). On them it resolves paths to item numbers and
// runs directory searches with a mask. It does no I/O: TDIRManager fills it
// when a container is opened and writes changed items back to the pages.
//
// Items with equal keys stand in each index in the order that FindPos and the
// index operations leave them; a directory search reports children in
// ParentIndex order, so that order is part of the observable behaviour and
// FindPos follows its fixed probing rules step by step.
//
// Item names are read only within their 260-byte field: a FileName without a
// terminating zero is taken as its 260 bytes, never read past.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/DirItem.h"
#include "engine/EngineContainers.h"

// A FILETIME as the find-data record holds it: two 32-bit halves, so the
// record keeps the 4-byte alignment of its Windows counterpart.
struct TSFSFileTime {
  uint32_t LowDateTime;
  uint32_t HighDateTime;
};

// The find-data record of a directory search, laid out like the Windows one.
struct TSFSFindData {
  uint32_t FileAttributes;
  TSFSFileTime CreationTime;
  TSFSFileTime LastAccessTime;
  TSFSFileTime LastWriteTime;
  uint32_t FileSizeHigh;
  uint32_t FileSizeLow;
  uint32_t Reserved0;
  uint32_t Reserved1;
  char FileName[260];
  char AlternateFileName[14];
};
static_assert(sizeof(TSFSFindData) == 320);

// The search record filled by FindFirst and FindNext.
struct TSFSSearchRec {
  // LastWriteTime as local DOS date (high 16 bits) and time (low 16 bits).
  int32_t Time = 0;
  // Low 32 bits of the item's Size.
  int32_t Size = 0;
  int32_t Attr = 0;
  std::string Name;
  // Attribute bits (of 0x1E) that keep an item out of the search.
  int32_t ExcludeAttr = 0;
  // Search slot of the table; -1 when none.
  int32_t FindHandle = -1;
  TSFSFindData FindData{};
};

// Wraps a 32/64-bit FILETIME value into the two halves and back.
TSFSFileTime ToSFSFileTime(uint64_t value);
uint64_t FromSFSFileTime(const TSFSFileTime& value);

// The item's name as a string, never longer than its 260-byte field.
std::string ItemFileName(const TDIRItem& item);

class TDIRArray {
 public:
  // Zero counts, two empty indexes, SetSize(0). The item storage grows by
  // `growStep`, doubling on every growth up to `maxGrowStep`.
  TDIRArray(int32_t maxGrowStep, int32_t growStep);
  TDIRArray(const TDIRArray&) = delete;
  TDIRArray& operator=(const TDIRArray&) = delete;

  // n = 0 empties everything (items, indexes, searches, storage). Otherwise
  // grows the storage when needed (new slots zero) and sets ItemCount to n.
  // Throws Exception when n < ItemCount.
  void SetSize(int32_t n);

  // Appends `item` in a new slot and indexes it unless it is deleted.
  void AddItem(const TDIRItem& item);

  // Replaces slot n and keeps both indexes in order: a slot that becomes
  // deleted leaves both indexes, a deleted slot that comes back joins them,
  // and a live item may move within its run of equal keys. A live item's
  // FileName and ParentID must not change. Throws Exception on an invalid n
  // or when the old entry cannot be found in an index.
  void UpdateItem(int32_t n, const TDIRItem& item);

  // Copy of slot n. Throws Exception on an invalid n.
  TDIRItem ReadItem(int32_t n) const;

  // Position in NameIndex (byName) or ParentIndex of the key item; only the
  // key's FileName or ParentID is used. With forInsert, the position at which
  // to insert the key (in front of an equal entry the probe meets); else a
  // position holding an equal key, the first of its run when firstOfRun, or
  // -1 when there is none.
  int32_t FindPos(const TDIRItem& key, bool byName, bool forInsert, bool firstOfRun = false) const;

  // Resolves `path` from item `start` (-1 the root): the item number, -1 for
  // the root, -2 for a malformed path, a start out of range or a missing
  // first lookup, -3 for a component that does not exist. A null path gives
  // -2. Components are cut to 259 characters.
  int32_t FindPath(const char* path, int32_t start) const;
  int32_t FindPath(const std::string& path, int32_t start) const { return FindPath(path.c_str(), start); }

  // Starts a directory search for the mask part of `path` in the directory
  // part (resolved from `start`) and fills `rec` with the first match: 0, -2
  // when the directory part cannot be resolved, -5 when nothing matches.
  // A search slot is taken in every case and stays until FindClose.
  int32_t FindFirst(const std::string& path, int32_t attributes, int32_t start, TSFSSearchRec& rec);
  // Next match of the search: 0, -4 for an empty slot, -5 for a handle out of
  // range or no further match (the cursor stays on the last match).
  int32_t FindNext(TSFSSearchRec& rec);
  // Frees the search's list and empties its slot.
  void FindClose(TSFSSearchRec& rec);

  // Fills the search record from item n (local DOS time of LastWriteTime).
  void FillSearchRec(int32_t n, TSFSSearchRec& rec) const;

  int32_t ItemCount() const { return item_count_; }
  int32_t IndexedCount() const { return indexed_count_; }
  int32_t Capacity() const { return capacity_; }
  int32_t GrowStep() const { return grow_step_; }
  int32_t MaxGrowStep() const { return max_grow_step_; }
  int32_t SearchCount() const { return search_count_; }
  const TIntegerArray& NameIndex() const { return name_index_; }
  const TIntegerArray& ParentIndex() const { return parent_index_; }

 private:
  // One open directory search: the matches found at FindFirst time and a
  // cursor into them. An empty slot has no list.
  struct SearchSlot {
    std::unique_ptr<TIntegerArray> List;
    int32_t Cursor = 0;
  };

  // -1, 0 or 1: 1 when the key belongs to the right of index position m.
  int32_t Compare(const TDIRItem& key, bool byName, int32_t m) const;

  int32_t grow_step_;
  int32_t max_grow_step_;
  int32_t capacity_ = 0;
  std::vector<SearchSlot> searches_;
  std::vector<TDIRItem> items_;  // capacity_ slots, the first item_count_ in use
  TIntegerArray name_index_;
  TIntegerArray parent_index_;
  int32_t search_count_ = 0;
  int32_t item_count_ = 0;
  int32_t indexed_count_ = 0;
};
