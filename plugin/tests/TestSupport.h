// Shared helpers of the plug-in tests: a host-memory allocator that accounts
// for every block, a guarded parameter array, iconv conversion and a fixture
// that puts the host slots and the action table back after each test.
#pragma once

#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/HostMemory.h"
#include "platform/Service.h"
#include "plugin/Dispatch.h"
#include "plugin/HostSlots.h"

namespace vvtest {

// Host memory that records every allocation and free, refuses to free a
// block it did not hand out, and can be told to fail the Nth allocation.
class CountingMemory : public platform::IHostMemory {
 public:
  ~CountingMemory() override {
    for (void* block : live) std::free(block);
  }
  void* Alloc(size_t size) override {
    ++allocs;
    if (failAt != 0 && allocs == failAt) return nullptr;
    void* block = std::malloc(size);
    live.insert(block);
    events.push_back("alloc " + std::to_string(size));
    return block;
  }
  void Free(void* block) override {
    if (block == nullptr) return;
    ++frees;
    if (live.erase(block) == 0) {
      ADD_FAILURE() << "freed a block this allocator did not hand out";
      return;
    }
    events.push_back("free " + std::string(static_cast<char*>(block)));
    std::free(block);
  }
  // A block holding `text`, as the host would have left it in a slot.
  char* Make(const std::string& text) {
    char* block = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(block, text.c_str(), text.size() + 1);
    live.insert(block);
    return block;
  }
  bool IsLive(const void* block) const { return live.count(const_cast<void*>(block)) != 0; }

  std::set<void*> live;
  std::vector<std::string> events;
  int allocs = 0;
  int frees = 0;
  int failAt = 0;  // 1-based allocation number that returns null; 0 never
};

// An array of `count` string pointers that ends exactly where an
// inaccessible page begins: reading one slot past the end faults.
class GuardedArray {
 public:
  explicit GuardedArray(size_t count) {
    page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    base_ = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base_ == MAP_FAILED) std::abort();
    if (mprotect(static_cast<char*>(base_) + page_, page_, PROT_NONE) != 0) std::abort();
    slots_ = reinterpret_cast<const char**>(static_cast<char*>(base_) + page_ - count * sizeof(char*));
    for (size_t i = 0; i < count; ++i) slots_[i] = nullptr;
  }
  ~GuardedArray() { munmap(base_, 2 * page_); }
  GuardedArray(const GuardedArray&) = delete;
  GuardedArray& operator=(const GuardedArray&) = delete;

  const char** slots() { return slots_; }

 private:
  size_t page_ = 0;
  void* base_ = nullptr;
  const char** slots_ = nullptr;
};

// Converts UTF-8 text to code page 1251 with the C library's iconv.
inline std::string Utf8To1251(const std::string& utf8) {
  iconv_t cd = iconv_open("CP1251", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    ADD_FAILURE() << "iconv has no CP1251 converter";
    return {};
  }
  std::string in = utf8;
  std::string out(in.size() * 2 + 1, '\0');
  char* src = in.data();
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) ADD_FAILURE() << "iconv failed";
  iconv_close(cd);
  out.resize(out.size() - dstLeft);
  return out;
}

// Saves the host slots and the action table override, and restores them.
class PlugInFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    savedHost_ = Host();
    Host() = HostSlots{};
    savedProcs_ = SetActionProcs(nullptr);
  }
  void TearDown() override {
    Host() = savedHost_;
    SetActionProcs(savedProcs_);
  }

 private:
  HostSlots savedHost_;
  const ActionProcs* savedProcs_ = nullptr;
};

}  // namespace vvtest
