// The directory item: the 512-byte record of one stored file.
//
// The same 512 bytes are kept in the in-memory directory table and stored in
// the directory pages, so the struct is laid out byte for byte as the on-disk
// record, without padding (little-endian; the host must be little-endian too,
// which the static_assert below checks). The 64-bit fields sit at offsets 4,
// 12, 20 and 28 and are therefore not 8-aligned; they are held as Unaligned<T>,
// which stores the bytes and converts to and from T by value, so no reference
// or pointer to a misaligned integer ever comes into being (binding a
// `const int64_t&` to a packed member, as a test assertion does, is undefined
// behaviour). The 32-bit fields are naturally aligned.
//
// Items are numbered from 0 by slot; the number -1 stands for the root, which
// has no item of its own.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

static_assert(std::endian::native == std::endian::little,
              "TDIRItem is read and written as raw little-endian bytes");

// Size of a stored file's own password record kept inside the item.
inline constexpr int kDirItemPasswordRecordSize = 172;
// Room for the item name including its terminating zero.
inline constexpr int kDirItemFileNameSize = 260;
// Longest item name; longer names are cut.
inline constexpr int kMaxItemNameLength = 259;

// An integer of type T kept as raw bytes (alignment 1) inside an on-disk
// record. Reads and writes go through memcpy; the value converts implicitly to
// and from T, so `item.Size = n`, `int64_t s = item.Size` and `item.Size += n`
// read as for a plain integer. A default-constructed value is uninitialised,
// like a plain integer member, which keeps the record trivially copyable.
template <class T>
class Unaligned {
 public:
  Unaligned() = default;
  Unaligned(T value) { std::memcpy(bytes_, &value, sizeof value); }  // NOLINT: implicit by design
  Unaligned& operator=(T value) {
    std::memcpy(bytes_, &value, sizeof value);
    return *this;
  }
  operator T() const {  // NOLINT: implicit by design
    T value;
    std::memcpy(&value, bytes_, sizeof value);
    return value;
  }
  T Get() const { return *this; }
  Unaligned& operator+=(T delta) { return *this = static_cast<T>(Get() + delta); }
  Unaligned& operator-=(T delta) { return *this = static_cast<T>(Get() - delta); }

 private:
  unsigned char bytes_[sizeof(T)];
};

struct TDIRItem {
  // First map page of the stored file's page map; -1 when the file has no pages.
  int32_t FirstMapPageNo;
  // Length of the stored file in bytes.
  Unaligned<int64_t> Size;
  // FILETIME values (100-ns units since 1601-01-01, UTC).
  Unaligned<uint64_t> CreationTime;
  Unaligned<uint64_t> LastWriteTime;
  Unaligned<uint64_t> LastAccessTime;
  // Attribute bits; 0 for every item this system creates.
  int32_t Attributes;
  // Item number of the parent item, -1 for an item at the root.
  int32_t ParentID;
  uint8_t Reserved1[4];
  // The stored file's own password record; all zero when HasPassword is 0.
  uint8_t PasswordRecord[kDirItemPasswordRecordSize];
  // Non-zero: opening the item is refused.
  uint8_t OpenDenied;
  // Non-zero: the slot is free.
  uint8_t Deleted;
  // 1: the stored file has a password of its own (PasswordRecord).
  uint8_t HasPassword;
  uint8_t Reserved2;
  // The item's name (last path component only), zero-terminated, at most
  // 259 characters, single-byte code page.
  char FileName[kDirItemFileNameSize];
  uint8_t Reserved3[28];
};

static_assert(sizeof(TDIRItem) == 512);
static_assert(alignof(TDIRItem) == 4);
static_assert(std::is_trivially_copyable_v<TDIRItem> && std::is_standard_layout_v<TDIRItem>);
static_assert(offsetof(TDIRItem, FirstMapPageNo) == 0);
static_assert(offsetof(TDIRItem, Size) == 4);
static_assert(offsetof(TDIRItem, CreationTime) == 12);
static_assert(offsetof(TDIRItem, LastWriteTime) == 20);
static_assert(offsetof(TDIRItem, LastAccessTime) == 28);
static_assert(offsetof(TDIRItem, Attributes) == 36);
static_assert(offsetof(TDIRItem, ParentID) == 40);
static_assert(offsetof(TDIRItem, Reserved1) == 44);
static_assert(offsetof(TDIRItem, PasswordRecord) == 48);
static_assert(offsetof(TDIRItem, OpenDenied) == 220);
static_assert(offsetof(TDIRItem, Deleted) == 221);
static_assert(offsetof(TDIRItem, HasPassword) == 222);
static_assert(offsetof(TDIRItem, Reserved2) == 223);
static_assert(offsetof(TDIRItem, FileName) == 224);
static_assert(offsetof(TDIRItem, Reserved3) == 484);
