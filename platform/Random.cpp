#include "platform/Random.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>

#include "platform/Exception.h"
#include "platform/Service.h"

namespace platform {
namespace {

class OsRandomSource final : public IRandom {
 public:
  void Fill(void* buffer, size_t count) override {
    auto* out = static_cast<uint8_t*>(buffer);
    while (count > 0) {
      const ssize_t got = getrandom(out, count, 0);
      if (got < 0) {
        if (errno == EINTR) continue;
        throw Exception("Random source failed");
      }
      out += got;
      count -= static_cast<size_t>(got);
    }
  }
};

ServiceSlot<IRandom> slot(&OsRandom);

}  // namespace

IRandom& OsRandom() {
  static OsRandomSource source;
  return source;
}
IRandom& Random() { return slot.Get(); }
IRandom* SetRandom(IRandom* random) { return slot.Set(random); }

}  // namespace platform
