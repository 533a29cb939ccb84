// The in-memory directory table: item slots, the name and parent indexes,
// path resolution and directory searches.
#include "engine/DirTable.h"

#include <algorithm>
#include <cstring>

#include "engine/EngineUtils.h"
#include "platform/Clock.h"
#include "platform/Exception.h"
#include "text/ZUZStrFunc.h"

namespace {

// A comparison result no comparison yields: "no comparison yet".
constexpr int32_t kNoCompare = 20000000;

// Attribute bits that take part in searches.
constexpr int32_t kSearchAttrMask = 0x1E;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A zero-terminated copy of an item name, bounded by the 260-byte field. Most
// names are terminated inside the field and are used in place; one that
// fills the whole field is copied so that nothing reads past it.
class BoundedName {
 public:
  explicit BoundedName(const TDIRItem& item) {
    const void* zero = std::memchr(item.FileName, 0, kDirItemFileNameSize);
    if (zero != nullptr) {
      str_ = item.FileName;
    } else {
      std::memcpy(copy_, item.FileName, kDirItemFileNameSize);
      copy_[kDirItemFileNameSize] = 0;
      str_ = copy_;
    }
  }
  const char* c_str() const { return str_; }

 private:
  const char* str_;
  char copy_[kDirItemFileNameSize + 1];
};

// The name in double quotes with inner double quotes doubled.
std::string QuotedName(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

}  // namespace

TSFSFileTime ToSFSFileTime(uint64_t value) {
  return TSFSFileTime{static_cast<uint32_t>(value & 0xFFFFFFFFu), static_cast<uint32_t>(value >> 32)};
}

uint64_t FromSFSFileTime(const TSFSFileTime& value) {
  return (static_cast<uint64_t>(value.HighDateTime) << 32) | value.LowDateTime;
}

std::string ItemFileName(const TDIRItem& item) {
  const void* zero = std::memchr(item.FileName, 0, kDirItemFileNameSize);
  size_t length = zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - item.FileName)
                                  : static_cast<size_t>(kDirItemFileNameSize);
  return std::string(item.FileName, length);
}

TDIRArray::TDIRArray(int32_t maxGrowStep, int32_t growStep)
    : grow_step_(growStep), max_grow_step_(maxGrowStep), name_index_(0, 10, 100), parent_index_(0, 10, 100) {
  SetSize(0);
}

void TDIRArray::SetSize(int32_t n) {
  if (n == 0) {
    searches_.clear();
    search_count_ = 0;
    item_count_ = 0;
    indexed_count_ = 0;
    capacity_ = 0;
    items_.clear();
    items_.shrink_to_fit();
    name_index_.SetSize(0);
    parent_index_.SetSize(0);
    return;
  }
  if (capacity_ < n) {
    grow_step_ = std::min(2 * grow_step_, max_grow_step_);
    capacity_ = std::max(n, capacity_ + grow_step_);
    items_.resize(static_cast<size_t>(capacity_), TDIRItem{});
    item_count_ = n;
    return;
  }
  if (n < item_count_) {
    throw Exception("TDIRArray.SetSize - newSize < itemCount error.  newSize = " + std::to_string(n) +
                    " itemCount = " + std::to_string(item_count_));
  }
  item_count_ = n;
}

void TDIRArray::AddItem(const TDIRItem& item) {
  SetSize(item_count_ + 1);
  const int32_t n = item_count_ - 1;
  items_[static_cast<size_t>(n)] = item;
  if (item.Deleted == 0) {
    name_index_.Insert(FindPos(item, true, true), n);
    parent_index_.Insert(FindPos(item, false, true), n);
    ++indexed_count_;
  }
}

void TDIRArray::UpdateItem(int32_t n, const TDIRItem& item) {
  if (n < 0 || n >= item_count_) {
    throw Exception("TDIRArray.UpdateItem - invalid itemNo = " + std::to_string(n));
  }
  const TDIRItem old = items_[static_cast<size_t>(n)];
  items_[static_cast<size_t>(n)] = item;
  const bool oldDeleted = old.Deleted != 0;
  const bool newDeleted = item.Deleted != 0;
  if (oldDeleted && newDeleted) return;

  int32_t oldNamePos = -1;
  int32_t oldParentPos = -1;
  if (!oldDeleted) {
    // The search starts at the first entry of old's run; a position of -1
    // (no equal key) is searched from the front, and an index that ends first
    // is reported.
    oldNamePos = std::max(FindPos(old, true, false, true), 0);
    while (oldNamePos < indexed_count_ && name_index_[oldNamePos] != n) ++oldNamePos;
    if (oldNamePos >= indexed_count_) {
      throw Exception("TDIRArray.UpdateItem - old name position not found. Position = " + std::to_string(n) +
                      ", ItemCount = " + std::to_string(item_count_) +
                      ", FileName = " + QuotedName(ItemFileName(old)));
    }
    oldParentPos = std::max(FindPos(old, false, false, true), 0);
    while (oldParentPos < indexed_count_ && parent_index_[oldParentPos] != n) ++oldParentPos;
    if (oldParentPos >= indexed_count_) {
      throw Exception(
          "TDIRArray.UpdateItem - old parentID position not found. Position = " + std::to_string(n) +
          ", ItemCount = " + std::to_string(item_count_) + ", ParentID = " + std::to_string(old.ParentID));
    }
  }

  int32_t newNamePos = -1;
  int32_t newParentPos = -1;
  if (!newDeleted) {
    newNamePos = FindPos(item, true, true);
    newParentPos = FindPos(item, false, true);
  }

  if (oldDeleted) {
    name_index_.Insert(newNamePos, n);
    parent_index_.Insert(newParentPos, n);
    ++indexed_count_;
  } else if (newDeleted) {
    name_index_.Delete(oldNamePos);
    parent_index_.Delete(oldParentPos);
    --indexed_count_;
  } else {
    if (newNamePos != oldNamePos && newNamePos != oldNamePos + 1) name_index_.Move(oldNamePos, newNamePos);
    if (newParentPos != oldParentPos && newParentPos != oldParentPos + 1) {
      parent_index_.Move(oldParentPos, newParentPos);
    }
  }
}

TDIRItem TDIRArray::ReadItem(int32_t n) const {
  if (n < 0 || n >= item_count_) {
    throw Exception("TDIRArray.ReadItem - invalid itemNo = " + std::to_string(n));
  }
  return items_[static_cast<size_t>(n)];
}

int32_t TDIRArray::Compare(const TDIRItem& key, bool byName, int32_t m) const {
  const TIntegerArray& index = byName ? name_index_ : parent_index_;
  const TDIRItem& item = items_[static_cast<size_t>(index[m])];
  if (byName) {
    const int32_t r = -CompareNames(BoundedName(item).c_str(), BoundedName(key).c_str());
    return r > 0 ? 1 : (r < 0 ? -1 : 0);
  }
  if (item.ParentID == key.ParentID) return 0;
  return item.ParentID < key.ParentID ? 1 : -1;
}

// The probe: it starts in the middle with a step of a quarter of the index,
// halving the step (never below 1) at every probe. Once the step is 1 it
// counts the changes of direction; after two of them each probe is checked
// against its neighbour to settle the position between a key that belongs to
// the right and one that belongs to the left.
int32_t TDIRArray::FindPos(const TDIRItem& key, bool byName, bool forInsert, bool firstOfRun) const {
  const int32_t c = indexed_count_;
  int32_t mid = c / 2;
  int32_t step = c / 2;
  int32_t result = 0;
  if (c <= 0) return forInsert ? 0 : -1;

  int32_t flips = 0;
  int32_t cmp = kNoCompare;
  for (;;) {
    step /= 2;
    if (step < 1) step = 1;
    const int32_t prev = cmp;
    cmp = Compare(key, byName, mid);
    if (cmp < 0) {
      mid -= step;
    } else if (cmp > 0) {
      mid += step;
    } else {
      result = mid;
      break;
    }

    if (mid < 0 && step == 1) {
      result = 0;
      break;
    }
    if (mid > c - 1 && step == 1) {
      result = c;
      break;
    }
    if (mid > c - 1) mid = c - 1;
    if (mid < 0) mid = 0;

    if (step == 1 && flips > 1) {
      cmp = Compare(key, byName, mid);
      if (cmp < 0 && prev > 0) result = mid;
      if (cmp > 0 && prev < 0) result = mid + 1;
      if (cmp == prev) continue;
      break;
    }
    if (cmp != prev && step == 1 && prev != kNoCompare) ++flips;
  }

  if (result >= c && !forInsert) result = -1;
  if (result < 0) result = forInsert ? 0 : -1;
  if (!forInsert && result >= 0) {
    mid = result;
    cmp = Compare(key, byName, mid);
    if (cmp != 0) result = -1;
  }

  if (firstOfRun && !forInsert && result > 0 && cmp == 0) {
    for (;;) {
      --result;
      cmp = Compare(key, byName, result);
      if (cmp != 0) {
        ++result;
        break;
      }
      if (result == 0) break;
    }
  }
  return result;
}

int32_t TDIRArray::FindPath(const char* path, int32_t start) const {
  if (path == nullptr || start < -1 || start >= item_count_) return -2;
  if (IsSeparator(path[0]) && path[1] == 0) return -1;

  int32_t current = start;
  size_t pos = 0;
  for (;;) {
    if (path[pos] == 0) return current;
    size_t end = pos;
    while (path[end] != 0 && !IsSeparator(path[end])) ++end;
    const size_t length = end - pos;

    if (length == 0) {
      if (pos != 0) return -2;
      current = -1;
    } else if (length == 2 && path[pos] == '.' && path[pos + 1] == '.') {
      // A ParentID outside the table (a damaged item) ends the walk rather
      // than being used as a slot number.
      if (current >= item_count_ || current < -1) return -3;
      if (current != -1) current = items_[static_cast<size_t>(current)].ParentID;
    } else {
      TDIRItem key{};
      std::memcpy(key.FileName, path + pos, std::min(length, static_cast<size_t>(kMaxItemNameLength)));
      int32_t j = FindPos(key, true, false, true);
      if (j == -1) return -2;
      while (j < indexed_count_ && items_[static_cast<size_t>(name_index_[j])].ParentID != current) ++j;
      if (j >= indexed_count_) return -3;
      const TDIRItem& found = items_[static_cast<size_t>(name_index_[j])];
      if (CompareNames(BoundedName(found).c_str(), key.FileName) != 0) return -3;
      current = name_index_[j];
    }

    pos = end;
    if (path[pos] != 0) ++pos;  // past the separator
  }
}

int32_t TDIRArray::FindFirst(const std::string& path, int32_t attributes, int32_t start, TSFSSearchRec& rec) {
  rec.FindHandle = -1;

  size_t slot = 0;
  while (slot < searches_.size() && searches_[slot].List != nullptr) ++slot;
  if (slot == searches_.size()) {
    searches_.emplace_back();
    search_count_ = static_cast<int32_t>(searches_.size());
  }
  SearchSlot& search = searches_[slot];
  search.List = std::make_unique<TIntegerArray>(0, 10, 10);
  search.Cursor = 0;
  rec.FindHandle = static_cast<int32_t>(slot);
  rec.ExcludeAttr = ~attributes & kSearchAttrMask;

  std::string dirPart;
  std::string mask;
  if (!SplitPath(path, dirPart, mask)) {
    dirPart.clear();
    mask = path;
  }
  int32_t directory;
  if (dirPart.empty()) {
    directory = (!path.empty() && IsSeparator(path[0])) ? -1 : start;
  } else {
    directory = FindPath(dirPart, start);
  }
  if (directory <= -2) return -2;

  TDIRItem key{};
  key.ParentID = directory;
  int32_t j = FindPos(key, false, false, true);
  if (j == -1) return -5;
  for (; j < indexed_count_; ++j) {
    const int32_t n = parent_index_[j];
    const TDIRItem& item = items_[static_cast<size_t>(n)];
    if (item.ParentID != directory) break;
    if ((item.Attributes & rec.ExcludeAttr) != 0) continue;
    if (MatchMask(BoundedName(item).c_str(), mask.c_str(), true)) search.List->Add(n);
  }
  if (search.List->ItemCount() == 0) return -5;
  FillSearchRec((*search.List)[0], rec);
  return 0;
}

int32_t TDIRArray::FindNext(TSFSSearchRec& rec) {
  if (static_cast<uint32_t>(rec.FindHandle) >= static_cast<uint32_t>(search_count_)) return -5;
  SearchSlot& search = searches_[static_cast<size_t>(rec.FindHandle)];
  if (search.List == nullptr) return -4;
  if (search.Cursor >= search.List->ItemCount() - 1) return -5;
  ++search.Cursor;
  FillSearchRec((*search.List)[search.Cursor], rec);
  return 0;
}

void TDIRArray::FindClose(TSFSSearchRec& rec) {
  if (static_cast<uint32_t>(rec.FindHandle) >= static_cast<uint32_t>(search_count_)) return;
  SearchSlot& search = searches_[static_cast<size_t>(rec.FindHandle)];
  search.List.reset();
  search.Cursor = 0;
}

void TDIRArray::FillSearchRec(int32_t n, TSFSSearchRec& rec) const {
  const TDIRItem& item = items_[static_cast<size_t>(n)];
  rec.Attr = item.Attributes;

  // A time the conversions refuse gives 0.
  platform::FileTimeValue local = 0;
  uint16_t dosDate = 0;
  uint16_t dosTime = 0;
  if (!platform::Clock().UtcToLocal(item.LastWriteTime, local) ||
      !platform::FileTimeToDos(local, dosDate, dosTime)) {
    dosDate = 0;
    dosTime = 0;
  }
  rec.Time = static_cast<int32_t>((static_cast<uint32_t>(dosDate) << 16) | dosTime);
  rec.Size = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(item.Size) & 0xFFFFFFFFu));
  rec.Name = ItemFileName(item);

  rec.FindData.FileAttributes = static_cast<uint32_t>(rec.Attr);
  rec.FindData.CreationTime = ToSFSFileTime(item.CreationTime);
  rec.FindData.LastAccessTime = ToSFSFileTime(item.LastAccessTime);
  rec.FindData.LastWriteTime = ToSFSFileTime(item.LastWriteTime);
  rec.FindData.FileSizeHigh = 0;
  rec.FindData.FileSizeLow = static_cast<uint32_t>(rec.Size);
  std::memcpy(rec.FindData.FileName, item.FileName, kDirItemFileNameSize);
}
