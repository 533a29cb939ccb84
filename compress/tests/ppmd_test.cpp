// Tests of the PPMd block codec: round trips over orders and model sizes,
// restarts, the header word, the encoder's destination bound and decoding of
// damaged blocks.
#include "compress/Ppmd.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

int32_t Bound(size_t length) { return int32_t(length + length / 20 + 50); }

// Pseudo-English text: words of a small vocabulary with punctuation and lines.
Bytes TextLike(size_t size, uint32_t seed) {
  static const char* const kWords[] = {
      "the",     "storage", "page",   "block",  "stream",  "header", "of",    "and",   "a",
      "file",    "map",     "item",   "free",   "returns", "when",   "to",    "is",    "directory",
      "context", "model",   "symbol", "escape", "order",   "memory", "with",  "each",  "every",
      "byte",    "offset",  "in",     "it",     "write",   "read",   "count", "chain", "number"};
  std::mt19937 rng(seed);
  Bytes out;
  out.reserve(size + 16);
  while (out.size() < size) {
    const char* w = kWords[rng() % (sizeof(kWords) / sizeof(kWords[0]))];
    out.insert(out.end(), w, w + std::char_traits<char>::length(w));
    uint32_t r = rng() % 16;
    out.push_back(r == 0 ? '.' : (r == 1 ? ',' : ' '));
    if (r == 0 && rng() % 3 == 0) {
      out.push_back('\r');
      out.push_back('\n');
    }
  }
  out.resize(size);
  return out;
}

// Binary records: little-endian counters, small tags, some noise and runs.
Bytes MixedBinary(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  out.reserve(size + 64);
  uint32_t counter = 1000;
  while (out.size() < size) {
    switch (rng() % 4) {
      case 0:
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(counter >> (8 * i)));
        counter += rng() % 7;
        break;
      case 1:
        out.push_back(uint8_t(0xF0 | (rng() % 4)));
        break;
      case 2:
        for (int i = 0, n = int(rng() % 24); i < n; ++i) out.push_back(uint8_t(rng()));
        break;
      default:
        out.insert(out.end(), rng() % 40, uint8_t(rng() % 3));
        break;
    }
  }
  out.resize(size);
  return out;
}

Bytes Random(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = uint8_t(rng());
  return out;
}

struct Coded {
  Bytes data;
  int32_t restarts = 0;
};

Coded Compress(const Bytes& in, int order, int memoryMiB) {
  Coded c;
  c.data.assign(size_t(Bound(in.size())), 0);
  int32_t n = PpmdCompressBlock(in.data(), int32_t(in.size()), c.data.data(), order, memoryMiB);
  EXPECT_EQ(PpmdLastGuardCount(), 0);
  c.restarts = PpmdLastRestartCount();
  EXPECT_GT(n, 0);
  c.data.resize(size_t(n > 0 ? n : 0));
  return c;
}

// Decodes into a buffer of exactly `capacity` bytes (ASan catches any write past it).
Bytes Decompress(const Bytes& coded, size_t capacity, int32_t* result = nullptr) {
  Bytes out(capacity);
  int32_t n = PpmdDecompressBlock(coded.data(), int32_t(coded.size()), out.data(), int32_t(capacity));
  if (result) *result = n;
  EXPECT_GE(n, 0);
  EXPECT_LE(size_t(n), capacity);
  out.resize(size_t(n < 0 ? 0 : n));
  return out;
}

uint32_t HeaderWord(const Bytes& coded) {
  return uint32_t(coded[0]) | uint32_t(coded[1]) << 8 | uint32_t(coded[2]) << 16 | uint32_t(coded[3]) << 24;
}

TEST(PpmdTest, HeaderWordOfEachMethod) {
  struct Case {
    int order, memory;
    uint32_t word;
  };
  const Case cases[] = {{5, 25, 0x00006184}, {13, 50, 0x0000631C}, {3, 10, 0x00006092}};
  const Bytes in = TextLike(300, 1);
  for (const Case& c : cases) {
    Coded coded = Compress(in, c.order, c.memory);
    ASSERT_GE(coded.data.size(), 4u);
    EXPECT_EQ(HeaderWord(coded.data), c.word) << "order " << c.order;
    EXPECT_EQ(Decompress(coded.data, in.size()), in);
  }
}

TEST(PpmdTest, EmptyAndOneByteBlocks) {
  Coded empty = Compress({}, 5, 25);
  // Header word, the byte the escape out of order 0 pushes out of the coder
  // (an interval of 1 in 256) and the coder's four final bytes.
  EXPECT_EQ(empty.data.size(), 9u);
  int32_t n = -1;
  Bytes out = Decompress(empty.data, 16, &n);
  EXPECT_EQ(n, 0);

  for (int order : {1, 2, 3, 5, 13, 16}) {
    for (uint8_t byte : {uint8_t(0), uint8_t('A'), uint8_t(0xFF)}) {
      Bytes one{byte};
      Coded coded = Compress(one, order, 1);
      EXPECT_EQ(Decompress(coded.data, 1), one) << "order " << order << " byte " << int(byte);
      // The decoder stops at the end of the block, not at the end of the buffer.
      EXPECT_EQ(Decompress(coded.data, 100), one);
    }
  }
}

TEST(PpmdTest, RoundTripsEveryOrderAndModelSize) {
  const int memories[] = {1, 2, 3, 5, 8, 10, 16, 25, 50};
  const Bytes text = TextLike(48 * 1024, 7);
  const Bytes mixed = MixedBinary(48 * 1024, 9);
  for (int order = 1; order <= 16; ++order) {
    const int memory = memories[order % (sizeof(memories) / sizeof(memories[0]))];
    for (const Bytes* in : {&text, &mixed}) {
      SCOPED_TRACE("order " + std::to_string(order) + " memory " + std::to_string(memory) +
                   (in == &text ? " text" : " mixed"));
      Coded coded = Compress(*in, order, memory);
      EXPECT_LT(coded.data.size(), in->size() / 2);
      EXPECT_EQ(HeaderWord(coded.data), uint32_t(order - 1) | uint32_t(memory - 1) << 4 | 0x6000u);
      Bytes back = Decompress(coded.data, in->size());
      EXPECT_EQ(PpmdLastGuardCount(), 0);
      EXPECT_TRUE(back == *in);
    }
  }
}

TEST(PpmdTest, CodingTheSameBlockTwiceGivesTheSameBytes) {
  const Bytes in = MixedBinary(20000, 3);
  for (int order : {3, 5, 13}) {
    EXPECT_EQ(Compress(in, order, 10).data, Compress(in, order, 10).data) << "order " << order;
  }
}

TEST(PpmdTest, RunningOutOfMemoryRestartsTheModel) {
  const Bytes in = Random(60000, 11);
  Coded coded = Compress(in, 16, 1);
  EXPECT_GT(coded.restarts, 0);
  Bytes back = Decompress(coded.data, in.size());
  EXPECT_EQ(PpmdLastGuardCount(), 0);
  // The decoder restarts at the same bytes as the encoder.
  EXPECT_EQ(PpmdLastRestartCount(), coded.restarts);
  EXPECT_TRUE(back == in);

  // Text with a small model restarts too, and still decodes.
  const Bytes text = TextLike(400000, 5);
  Coded codedText = Compress(text, 16, 1);
  EXPECT_GT(codedText.restarts, 0);
  EXPECT_TRUE(Decompress(codedText.data, text.size()) == text);
  EXPECT_EQ(PpmdLastRestartCount(), codedText.restarts);
}

TEST(PpmdTest, LargeBlocks) {
  const size_t kBlock = 1536 * 1024;
  const Bytes same(kBlock, 'x');
  Coded codedSame = Compress(same, 13, 50);
  EXPECT_LT(codedSame.data.size(), 2000u);
  EXPECT_TRUE(Decompress(codedSame.data, kBlock) == same);

  const Bytes noise = Random(kBlock, 21);
  Coded codedNoise = Compress(noise, 13, 50);
  EXPECT_GT(codedNoise.data.size(), kBlock);
  EXPECT_LT(codedNoise.data.size(), kBlock + kBlock / 20);
  EXPECT_TRUE(Decompress(codedNoise.data, kBlock) == noise);
}

TEST(PpmdTest, EncoderNeverWritesPastItsDestination) {
  const Bytes in = Random(5000, 4);
  Bytes full(size_t(Bound(in.size())));
  const int32_t needed = PpmdCompressBlock(in.data(), int32_t(in.size()), full.data(), 5, 1);
  ASSERT_GT(needed, 0);
  full.resize(size_t(needed));
  for (int32_t capacity : {needed, needed - 1, needed - 100, 4}) {
    Bytes dest(size_t(capacity) + 16, 0xA5);
    const int32_t n = PpmdCompressBlockInto(in.data(), int32_t(in.size()), dest.data(), capacity, 5, 1);
    if (capacity >= needed) {
      EXPECT_EQ(n, needed);
      EXPECT_TRUE(Bytes(dest.begin(), dest.begin() + n) == full);
    } else {
      EXPECT_EQ(n, 0) << "capacity " << capacity;
    }
    for (size_t i = size_t(capacity); i < dest.size(); ++i) ASSERT_EQ(dest[i], 0xA5) << "capacity " << capacity;
  }
  Bytes tiny(3);
  EXPECT_EQ(PpmdCompressBlockInto(in.data(), int32_t(in.size()), tiny.data(), 3, 5, 1), 0);
}

TEST(PpmdTest, RejectsBadArguments) {
  const Bytes in = TextLike(100, 2);
  Bytes dest(size_t(Bound(in.size())));
  EXPECT_EQ(PpmdCompressBlock(in.data(), int32_t(in.size()), dest.data(), 0, 10), 0);
  EXPECT_EQ(PpmdCompressBlock(in.data(), int32_t(in.size()), dest.data(), 17, 10), 0);
  EXPECT_EQ(PpmdCompressBlock(in.data(), int32_t(in.size()), dest.data(), 5, 0), 0);
  EXPECT_EQ(PpmdCompressBlock(in.data(), int32_t(in.size()), dest.data(), 5, 257), 0);
  EXPECT_EQ(PpmdCompressBlock(in.data(), -1, dest.data(), 5, 10), 0);
}

TEST(PpmdTest, HeaderWordWithAnotherVariantDecodesToNothing) {
  const Bytes in = TextLike(2000, 8);
  Coded coded = Compress(in, 5, 25);
  Bytes out(in.size(), 0x5A);
  for (uint32_t variant : {7u, 5u, 0u, 15u}) {
    Bytes other = coded.data;
    other[1] = uint8_t((other[1] & 0x0F) | variant << 4);
    EXPECT_EQ(PpmdDecompressBlock(other.data(), int32_t(other.size()), out.data(), int32_t(out.size())), 0);
  }
  // Bits above 15 belong to the variant field too.
  Bytes high = coded.data;
  high[2] = 1;
  EXPECT_EQ(PpmdDecompressBlock(high.data(), int32_t(high.size()), out.data(), int32_t(out.size())), 0);
  EXPECT_EQ(out, Bytes(in.size(), 0x5A));
  // Too short for a header word.
  EXPECT_EQ(PpmdDecompressBlock(coded.data.data(), 3, out.data(), int32_t(out.size())), 0);
}

TEST(PpmdTest, DestinationTooSmallIsNotOverrun) {
  const Bytes in = TextLike(5000, 6);
  Coded coded = Compress(in, 5, 10);
  int32_t n = -1;
  Decompress(coded.data, in.size() - 1, &n);
  EXPECT_EQ(n, 0);
  Decompress(coded.data, 0, &n);
  EXPECT_EQ(n, 0);
}

TEST(PpmdTest, DamagedBlocksDecodeSafely) {
  const Bytes text = TextLike(12000, 12);
  const Bytes mixed = MixedBinary(12000, 13);
  std::mt19937 rng(99);
  for (int order : {2, 5, 13}) {
    for (const Bytes* in : {&text, &mixed}) {
      Coded coded = Compress(*in, order, 1);
      const size_t size = coded.data.size();
      for (int trial = 0; trial < 40; ++trial) {
        Bytes bad = coded.data;
        const int flips = 1 + int(rng() % 3);
        for (int f = 0; f < flips; ++f) bad[4 + rng() % (size - 4)] ^= uint8_t(1 + rng() % 255);
        int32_t n = -1;
        Bytes out = Decompress(bad, in->size(), &n);
        EXPECT_LE(size_t(n), in->size());
      }
      for (size_t cut : {size_t(4), size_t(5), size_t(8), size / 2, size - 1}) {
        Bytes bad(coded.data.begin(), coded.data.begin() + std::ptrdiff_t(cut));
        int32_t n = -1;
        Decompress(bad, in->size(), &n);
        EXPECT_LE(size_t(n), in->size());
      }
    }
  }
  // Noise behind a valid header word, small destination and one oversized one.
  for (int trial = 0; trial < 20; ++trial) {
    Bytes noise = Random(2000, uint32_t(100 + trial));
    noise[0] = uint8_t(rng() & 0xFF);
    noise[1] = uint8_t(0x60 | (trial == 0 ? 0x0F : rng() % 3));
    noise[2] = noise[3] = 0;
    int32_t n = -1;
    Decompress(noise, trial == 1 ? 200000 : 3000, &n);
  }
}

}  // namespace
