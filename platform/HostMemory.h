// Global memory for strings that change owner between the plug-in and the
// host: GlobalAlloc(GMEM_FIXED, n) / GlobalFree. Plug-in and host use the same
// allocator (the C library's heap on this platform), so a block allocated on
// one side can be freed on the other.
#pragma once

#include <cstddef>

namespace platform {

class IHostMemory {
 public:
  virtual ~IHostMemory() = default;
  // A fixed block of `size` bytes, or null when none can be had.
  virtual void* Alloc(size_t size) = 0;
  // Frees a block from Alloc; null is ignored.
  virtual void Free(void* block) = 0;
};

IHostMemory& HostMemory();
IHostMemory* SetHostMemory(IHostMemory* memory);
IHostMemory& OsHostMemory();

}  // namespace platform
