// Storage policy and list operations of TIntegerArray and TSortedPtrArray.
#include "engine/EngineContainers.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <string>

#include "platform/Exception.h"

namespace {

// The shared growth/shrink rule. Works out the new capacity for a request of
// n items and updates the deltas; returns whether the storage must be resized
// to `capacity`. n = 0 is handled by the callers (release).
bool PlanResize(int32_t n, int32_t itemCount, int32_t& capacity, int32_t& growDelta, int32_t& shrinkDelta,
                int32_t maxDelta) {
  if (n > capacity) {
    // The step doubles before it is used.
    growDelta = std::min(2 * growDelta, maxDelta);
    const int32_t grown = capacity + growDelta;
    capacity = grown > n ? grown : n;
    return true;
  }
  if (n < itemCount && capacity - n > shrinkDelta) {
    // Compare with the old threshold, then double it.
    shrinkDelta = std::min(2 * shrinkDelta, maxDelta);
    capacity = n;
    return true;
  }
  return false;
}

template <class T>
void ReleaseStorage(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

// Resizes to exactly `capacity` slots: new slots are zero, a cut releases the
// memory beyond.
template <class T>
void ResizeStorage(std::vector<T>& v, int32_t capacity) {
  const auto size = static_cast<std::size_t>(capacity);
  if (size < v.size()) {
    std::vector<T>(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(size)).swap(v);
  } else {
    v.resize(size, T{});
  }
}

// Opens a gap at `index` in the first `count` slots of `v` (which has room for
// count + 1) and returns the index used: the front for a negative index, the
// end for an index at or beyond count.
template <class T>
int32_t OpenGap(std::vector<T>& v, int32_t count, int32_t index) {
  if (index >= count) return count;
  if (index < 0) index = 0;
  std::memmove(&v[static_cast<std::size_t>(index) + 1], &v[static_cast<std::size_t>(index)],
               sizeof(T) * static_cast<std::size_t>(count - index));
  return index;
}

// Closes the slot at `index` of the first `count` slots.
template <class T>
void CloseGap(std::vector<T>& v, int32_t count, int32_t index) {
  if (index + 1 < count) {
    std::memmove(&v[static_cast<std::size_t>(index)], &v[static_cast<std::size_t>(index) + 1],
                 sizeof(T) * static_cast<std::size_t>(count - index - 1));
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// TIntegerArray

TIntegerArray::TIntegerArray(int32_t initialCount, int32_t growDelta, int32_t maxDelta)
    : grow_delta_(growDelta), shrink_delta_(growDelta), max_delta_(maxDelta) {
  SetSize(initialCount);
}

void TIntegerArray::SetSize(int32_t n) {
  assert(n >= 0);
  if (n <= 0) {
    item_count_ = 0;
    capacity_ = 0;
    ReleaseStorage(items_);
    return;
  }
  if (PlanResize(n, item_count_, capacity_, grow_delta_, shrink_delta_, max_delta_)) {
    ResizeStorage(items_, capacity_);
  }
  item_count_ = n;
}

void TIntegerArray::Add(int32_t value) {
  SetSize(item_count_ + 1);
  items_[static_cast<std::size_t>(item_count_ - 1)] = value;
}

void TIntegerArray::Insert(int32_t index, int32_t value) {
  const int32_t old = item_count_;
  SetSize(old + 1);
  items_[static_cast<std::size_t>(OpenGap(items_, old, index))] = value;
}

void TIntegerArray::Delete(int32_t index) {
  assert(index >= 0 && index < item_count_);
  CloseGap(items_, item_count_, index);
  // ItemCount drops first, so SetSize never sees a shrink request; only the
  // last value's deletion (SetSize(0)) releases the storage.
  --item_count_;
  SetSize(item_count_);
}

void TIntegerArray::Move(int32_t from, int32_t to) {
  if (from == to) return;
  if (to == from + 1 || to == from - 1) {
    // Moving the last value to the end leaves it where it is.
    if (to >= item_count_) return;
    std::swap(items_[static_cast<std::size_t>(from)], items_[static_cast<std::size_t>(to)]);
    return;
  }
  const int32_t value = items_[static_cast<std::size_t>(from)];
  if (to < from) {
    std::memmove(&items_[static_cast<std::size_t>(to) + 1], &items_[static_cast<std::size_t>(to)],
                 sizeof(int32_t) * static_cast<std::size_t>(from - to));
    items_[static_cast<std::size_t>(to)] = value;
  } else {
    std::memmove(&items_[static_cast<std::size_t>(from)], &items_[static_cast<std::size_t>(from) + 1],
                 sizeof(int32_t) * static_cast<std::size_t>(to - from - 1));
    items_[static_cast<std::size_t>(to) - 1] = value;
  }
}

// ---------------------------------------------------------------------------
// TSortedPtrArray

TSortedPtrArray::TSortedPtrArray(int32_t initialCount, int32_t growDelta, int32_t maxDelta)
    : grow_delta_(growDelta), shrink_delta_(growDelta), max_delta_(maxDelta) {
  SetSize(initialCount);
}

void TSortedPtrArray::SetSize(int32_t n) {
  assert(n >= 0);
  if (n <= 0) {
    item_count_ = 0;
    capacity_ = 0;
    ReleaseStorage(keys_);
    ReleaseStorage(pointers_);
    return;
  }
  if (PlanResize(n, item_count_, capacity_, grow_delta_, shrink_delta_, max_delta_)) {
    ResizeStorage(keys_, capacity_);
    ResizeStorage(pointers_, capacity_);
  }
  item_count_ = n;
}

int32_t TSortedPtrArray::FindPosition(int32_t key) const {
  const int32_t count = item_count_;
  if (count <= 0) return 0;
  // Probe the middle, then move by a step that starts at a quarter of the
  // count and halves at each probe (never below 1). Once the probe walks by
  // single steps it is a linear scan, which ends at an equal key, at either
  // end of the array, or where the comparison flips between neighbours.
  int32_t p = count / 2;
  int32_t step = std::max(count / 4, 1);
  int32_t previous = -1;
  int lastDirection = 0;
  for (;;) {
    const int32_t k = keys_[static_cast<std::size_t>(p)];
    if (k == key) return p;
    const int direction = key < k ? -1 : 1;
    if (lastDirection != 0 && direction != lastDirection && (p - previous == 1 || previous - p == 1)) {
      // The key lies between the two neighbouring probes.
      return direction < 0 ? p : p + 1;
    }
    previous = p;
    lastDirection = direction;
    if (direction < 0) {
      if (p == 0) return 0;
      p = std::max(p - step, 0);
    } else {
      if (p == count - 1) return count;
      p = std::min(p + step, count - 1);
    }
    step = std::max(step / 2, 1);
  }
}

int32_t TSortedPtrArray::IndexOf(int32_t key) const {
  const int32_t p = FindPosition(key);
  if (p >= 0 && p < item_count_ && keys_[static_cast<std::size_t>(p)] == key) return p;
  return -1;
}

void* TSortedPtrArray::Find(int32_t key) const {
  const int32_t i = IndexOf(key);
  return i < 0 ? nullptr : pointers_[static_cast<std::size_t>(i)];
}

void TSortedPtrArray::InsertAt(int32_t index, int32_t key, void* pointer) {
  const int32_t old = item_count_;
  SetSize(old + 1);
  const int32_t at = OpenGap(keys_, old, index);
  OpenGap(pointers_, old, index);
  keys_[static_cast<std::size_t>(at)] = key;
  pointers_[static_cast<std::size_t>(at)] = pointer;
}

void TSortedPtrArray::Add(int32_t key, void* pointer) {
  int32_t at;
  if (item_count_ == 0) {
    at = 0;
  } else if (item_count_ == 1) {
    at = keys_[0] > key ? 0 : 1;
  } else {
    at = FindPosition(key);
  }
  InsertAt(at, key, pointer);
}

void TSortedPtrArray::DeleteAt(int32_t index) {
  assert(index >= 0 && index < item_count_);
  CloseGap(keys_, item_count_, index);
  CloseGap(pointers_, item_count_, index);
  --item_count_;
  SetSize(item_count_);
}

void TSortedPtrArray::Delete(int32_t key) {
  if (item_count_ <= 0) throw Exception("TSortedPtrArray.Delete - no elements in array!");
  const int32_t i = IndexOf(key);
  if (i == -1) {
    throw Exception("TSortedPtrArray.Delete - element not found, key = " + std::to_string(key) +
                    ", itemCount = " + std::to_string(item_count_) + "!");
  }
  DeleteAt(i);
}
