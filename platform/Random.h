// Random bytes for new key material, from the operating system's
// cryptographically secure source.
#pragma once

#include <cstddef>

namespace platform {

class IRandom {
 public:
  virtual ~IRandom() = default;
  // Fills `count` bytes at `buffer`. Never fails silently: an unusable source
  // throws (key material must never be predictable).
  virtual void Fill(void* buffer, size_t count) = 0;
};

IRandom& Random();
IRandom* SetRandom(IRandom* random);
IRandom& OsRandom();

}  // namespace platform
