#include "plugin/HostSlots.h"

#include "plugin/PlugInUtils.h"

HostSlots& Host() {
  static HostSlots slots;
  return slots;
}

std::string GetHostVar(const std::string& name) {
  if (Host().GetVar == nullptr) return {};
  // Frees the host's block on every path, also when copying the text throws.
  struct Block {
    char* text = nullptr;
    ~Block() { FreeHostString(&text); }
  } block;
  Host().GetVar(name.c_str(), &block.text);
  return block.text != nullptr ? std::string(block.text) : std::string();
}

void SetHostVar(const std::string& name, const std::string& value) {
  if (Host().SetVar == nullptr) return;
  Host().SetVar(name.c_str(), value.c_str());
}
