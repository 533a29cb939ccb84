#include "platform/HostMemory.h"

#include <cstdlib>

#include "platform/Service.h"

namespace platform {
namespace {

class HeapMemory final : public IHostMemory {
 public:
  void* Alloc(size_t size) override { return std::malloc(size == 0 ? 1 : size); }
  void Free(void* block) override { std::free(block); }
};

ServiceSlot<IHostMemory> slot(&OsHostMemory);

}  // namespace

IHostMemory& OsHostMemory() {
  static HeapMemory memory;
  return memory;
}
IHostMemory& HostMemory() { return slot.Get(); }
IHostMemory* SetHostMemory(IHostMemory* memory) { return slot.Set(memory); }

}  // namespace platform
