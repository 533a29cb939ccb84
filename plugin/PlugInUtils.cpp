#include "plugin/PlugInUtils.h"

#include <cstring>
#include <new>

#include "platform/HostMemory.h"

void SetHostString(char** slot, const std::string& text) {
  FreeHostString(slot);
  void* block = platform::HostMemory().Alloc(text.size() + 1);
  if (block == nullptr) throw std::bad_alloc();
  std::memcpy(block, text.data(), text.size());
  static_cast<char*>(block)[text.size()] = '\0';
  *slot = static_cast<char*>(block);
}

void FreeHostString(char** slot) {
  if (*slot != nullptr) platform::HostMemory().Free(*slot);
  *slot = nullptr;
}
