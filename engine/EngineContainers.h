// The engine's two list classes.
//
// TIntegerArray is the growable list of signed 32-bit integers behind every
// page-number list, change list, index and search result of the engine.
// TSortedPtrArray keeps (integer key, pointer) pairs in ascending key order for
// binary search; it is the table of open handles and the page-list caches.
//
// Both share one storage policy: the allocated storage (Capacity slots) grows
// by a step that doubles before each growth, capped by MaxDelta, and shrinks
// only on a direct SetSize to a count that leaves more than ShrinkDelta slots
// idle (the threshold also doubles, capped by MaxDelta). Slots gained by a
// growth read as zero; slots reused inside the existing storage keep what they
// held. Capacities are part of the observable behaviour, so Capacity() is
// exposed.
//
// Neither class tests indexes: an index outside 0 .. ItemCount()-1 (beyond the
// cases each method states) is a programming error of the caller. The pointer
// array does not own what its pointers point to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TIntegerArray {
 public:
  // GrowDelta and ShrinkDelta start at `growDelta`, MaxDelta is `maxDelta`;
  // then SetSize(initialCount), so the array starts with that many zeros.
  TIntegerArray(int32_t initialCount, int32_t growDelta, int32_t maxDelta);

  // Sets ItemCount to n, growing or shrinking the storage by the policy above.
  // n = 0 releases the storage entirely.
  void SetSize(int32_t n);
  // Appends `value`.
  void Add(int32_t value);
  // Inserts `value` before index; an index at or beyond ItemCount (or an empty
  // array) appends, a negative index inserts at the front.
  void Insert(int32_t index, int32_t value);
  // Removes the value at index. Never shrinks the storage, except that deleting
  // the last remaining value releases it.
  void Delete(int32_t index);
  // Moves one value: for to != from + 1 the value is taken out and inserted
  // before the value that was at `to` (`to` may be ItemCount: to the end); for
  // to = from + 1 the two neighbours are exchanged.
  void Move(int32_t from, int32_t to);

  int32_t& operator[](int32_t i) { return items_[static_cast<std::size_t>(i)]; }
  const int32_t& operator[](int32_t i) const { return items_[static_cast<std::size_t>(i)]; }
  // Same as operator[], for callers holding a pointer.
  int32_t& Item(int32_t i) { return items_[static_cast<std::size_t>(i)]; }
  int32_t Item(int32_t i) const { return items_[static_cast<std::size_t>(i)]; }
  // The first ItemCount() values (valid until the next size change).
  int32_t* Data() { return items_.data(); }
  const int32_t* Data() const { return items_.data(); }

  int32_t ItemCount() const { return item_count_; }
  int32_t Capacity() const { return capacity_; }
  int32_t GrowDelta() const { return grow_delta_; }
  int32_t ShrinkDelta() const { return shrink_delta_; }
  int32_t MaxDelta() const { return max_delta_; }

 private:
  std::vector<int32_t> items_;  // always exactly capacity_ long
  int32_t item_count_ = 0;
  int32_t grow_delta_;
  int32_t shrink_delta_;
  int32_t max_delta_;
  int32_t capacity_ = 0;
};

class TSortedPtrArray {
 public:
  // As TIntegerArray; LastKey starts at -1.
  TSortedPtrArray(int32_t initialCount, int32_t growDelta, int32_t maxDelta);

  // Sets ItemCount to n; Keys and Pointers always keep the same length.
  void SetSize(int32_t n);
  // Index of a pair whose key equals `key` when there is one; otherwise the
  // number of keys smaller than `key` (where it would be inserted). 0 on an
  // empty array. Requires the keys to be in ascending order.
  int32_t FindPosition(int32_t key) const;
  // Index of a pair with this key, or -1.
  int32_t IndexOf(int32_t key) const;
  // The pointer stored with `key`, or nullptr when the key is absent.
  void* Find(int32_t key) const;
  // Inserts the pair before index, as TIntegerArray::Insert, in both storages.
  void InsertAt(int32_t index, int32_t key, void* pointer);
  // Inserts the pair at its sorted place. With exactly one pair an equal key
  // goes after it; with two or more an equal key goes before the one that
  // FindPosition finds.
  void Add(int32_t key, void* pointer);
  // Removes the pair at index, as TIntegerArray::Delete, in both storages.
  void DeleteAt(int32_t index);
  // Removes the pair with `key`. Throws Exception when the array is empty or
  // the key is absent.
  void Delete(int32_t key);
  // Hands out 0, 1, 2, ... in order.
  int32_t NextKey() { return ++last_key_; }

  int32_t Key(int32_t i) const { return keys_[static_cast<std::size_t>(i)]; }
  void* Pointer(int32_t i) const { return pointers_[static_cast<std::size_t>(i)]; }
  void SetPointer(int32_t i, void* pointer) { pointers_[static_cast<std::size_t>(i)] = pointer; }

  int32_t ItemCount() const { return item_count_; }
  int32_t Capacity() const { return capacity_; }
  int32_t GrowDelta() const { return grow_delta_; }
  int32_t ShrinkDelta() const { return shrink_delta_; }
  int32_t MaxDelta() const { return max_delta_; }
  int32_t LastKey() const { return last_key_; }

 private:
  int32_t last_key_ = -1;
  int32_t grow_delta_;
  int32_t shrink_delta_;
  int32_t max_delta_;
  int32_t capacity_ = 0;
  std::vector<int32_t> keys_;    // always exactly capacity_ long
  std::vector<void*> pointers_;  // always exactly capacity_ long
  int32_t item_count_ = 0;
};
