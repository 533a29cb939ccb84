// The compression method table and the two whole-block entry points (see
// ZUZCompress.h).
#include "compress/ZUZCompress.h"

#include <algorithm>
#include <limits>

#include "compress/SFSBZip2.h"
#include "compress/ZUZZlib.h"

namespace {

enum class Codec { kStored, kDeflate, kPpmd, kBzip2 };

struct MethodInfo {
  Codec codec;
  int32_t parameter;  // deflate level, PPMd order or bzip2 block size
  int32_t memoryMiB;  // PPMd model memory, 0 otherwise
  int32_t blockSize;
};

constexpr int32_t kKiB = 1024;
constexpr int32_t kMiB = 1024 * kKiB;

constexpr MethodInfo kMethods[kMaxCompressionMethod + 1] = {
    {Codec::kStored, 0, 0, 1 * kMiB},       // 0
    {Codec::kDeflate, 1, 0, 512 * kKiB},    // 1
    {Codec::kDeflate, 5, 0, 1 * kMiB},      // 2
    {Codec::kPpmd, 5, 25, 1 * kMiB},        // 3
    {Codec::kPpmd, 13, 50, 3 * kMiB / 2},   // 4
    {Codec::kDeflate, 9, 0, 3 * kMiB / 2},  // 5
    {Codec::kPpmd, 3, 10, 512 * kKiB},      // 6
    {Codec::kBzip2, 2, 0, 512 * kKiB},      // 7
    {Codec::kBzip2, 6, 0, 1 * kMiB},        // 8
    {Codec::kBzip2, 9, 0, 3 * kMiB / 2},    // 9
};

constexpr int32_t kUnknownMethodBlockSize = 1 * kMiB;

// The PPMd coder's output bound for `length` input bytes, or -1 when it does
// not fit a 32-bit size.
int64_t PpmdBound(int32_t length) {
  const int64_t bound = static_cast<int64_t>(length) + length / 20 + 50;
  return bound > std::numeric_limits<int32_t>::max() ? -1 : bound;
}

}  // namespace

int32_t BlockSizeForMethod(uint8_t method) {
  return method <= kMaxCompressionMethod ? kMethods[method].blockSize : kUnknownMethodBlockSize;
}

bool CompressBuffer(const uint8_t* source, int32_t length, std::vector<uint8_t>& destination, uint8_t method,
                    int32_t& storedLength) {
  if (length == 0) return false;
  storedLength = 0;
  if (method > kMaxCompressionMethod || length < 0 || source == nullptr) return false;
  const MethodInfo& info = kMethods[method];
  try {
    switch (info.codec) {
      case Codec::kStored:
        storedLength = length;
        destination.assign(source, source + length);
        break;
      case Codec::kDeflate:
        ZlibCompressBlock(source, length, destination, info.parameter, storedLength);
        break;
      case Codec::kPpmd: {
        const int64_t bound = PpmdBound(length);
        if (bound < 0) return false;
        storedLength = static_cast<int32_t>(bound);
        destination.assign(static_cast<size_t>(bound), 0);
        storedLength = PpmdCompressBlock(source, length, destination.data(), info.parameter, info.memoryMiB);
        // The coder reports failure (including data that would not fit the
        // bound) as 0; keep a negative answer from looking like a length.
        storedLength = std::max(storedLength, 0);
        break;
      }
      case Codec::kBzip2:
        Bzip2CompressBlock(source, length, destination, info.parameter, storedLength);
        break;
    }
  } catch (...) {
    destination.clear();
    storedLength = 0;
    return false;
  }
  return storedLength > 0;
}

bool DecompressBuffer(const uint8_t* source, int32_t storedLength, std::vector<uint8_t>& destination,
                      uint8_t method, int32_t& rawLength) {
  if (rawLength < 1 || method > kMaxCompressionMethod) return false;
  if (storedLength < 0 || (storedLength > 0 && source == nullptr)) return false;
  const MethodInfo& info = kMethods[method];
  try {
    switch (info.codec) {
      case Codec::kStored:
        rawLength = storedLength;
        destination.assign(source, source + storedLength);
        return rawLength > 0;
      case Codec::kDeflate:
        ZlibDecompressBlock(source, storedLength, rawLength, destination, rawLength);
        return rawLength != 0;
      case Codec::kPpmd:
        destination.assign(static_cast<size_t>(rawLength), 0);
        rawLength = PpmdDecompressBlock(source, storedLength, destination.data(), rawLength);
        return rawLength > 0;
      case Codec::kBzip2:
        Bzip2DecompressBlock(source, storedLength, rawLength, destination, rawLength);
        return rawLength > 0;
    }
  } catch (...) {
    destination.clear();
    rawLength = 0;
  }
  return false;
}
