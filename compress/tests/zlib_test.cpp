// Tests of the zlib block adapter: its errors, its output sizes and the
// growth of the inflate output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CodecTestSupport.h"
#include "compress/ZUZZlib.h"

namespace {

using codec_test::Bytes;
using codec_test::ExpectDecodes;

Bytes Text(size_t count) {
  return codec_test::NumberedLines(
      count, [](size_t i) { return "line " + std::to_string(i * 7919 % 1000) + " of the stored text\r\n"; });
}

Bytes Deflate(const Bytes& raw, int32_t level = 5) {
  return codec_test::CompressWhole(ZlibCompressBlock, raw, level);
}

TEST(ZlibCompressBlock, OutputIsExactlyTheStream) {
  const Bytes raw = Text(100000);
  for (int32_t level : {1, 5, 9}) {
    Bytes stored = {1, 2, 3};
    int32_t storedLength = -1;
    ZlibCompressBlock(raw.data(), static_cast<int32_t>(raw.size()), stored, level, storedLength);
    EXPECT_GT(storedLength, 0);
    EXPECT_EQ(stored.size(), static_cast<size_t>(storedLength)) << "level " << level;
    ExpectDecodes(ZlibDecompressBlock, stored, static_cast<int32_t>(raw.size()), raw);
  }
}

TEST(ZlibCompressBlock, BadLevelRaisesAndLeavesNoBuffer) {
  const Bytes raw = Text(1000);
  Bytes stored = {1, 2, 3};
  int32_t storedLength = 99;
  try {
    ZlibCompressBlock(raw.data(), 1000, stored, 42, storedLength);
    FAIL() << "level 42 was accepted";
  } catch (const ECompressionError& error) {
    EXPECT_EQ(error.Message, "error");
    EXPECT_STREQ(error.what(), "error");
  }
  EXPECT_TRUE(stored.empty());
  EXPECT_EQ(storedLength, 0);
  EXPECT_THROW(ZlibCompressBlock(raw.data(), -5, stored, 5, storedLength), EZlibError);
}

TEST(ZlibDecompressBlock, SmallOrMissingEstimateGrowsInStepsOfTheStoredSize) {
  const Bytes raw = Text(200000);
  const Bytes stored = Deflate(raw);
  for (int32_t estimate : {0, 1, 255, 4096, static_cast<int32_t>(raw.size()) - 1}) {
    ExpectDecodes(ZlibDecompressBlock, stored, estimate, raw);
  }
}

TEST(ZlibDecompressBlock, LargerEstimateIsCutToTheOutput) {
  const Bytes raw = Text(5000);
  ExpectDecodes(ZlibDecompressBlock, Deflate(raw), 1 << 20, raw);
}

TEST(ZlibDecompressBlock, DamagedStreamsRaiseAndLeaveNoBuffer) {
  const Bytes stored = Deflate(Text(20000));
  Bytes badTrailer = stored;
  badTrailer.back() ^= 0x01;
  const Bytes cases[] = {
      Bytes(stored.begin(), stored.begin() + stored.size() / 2),    // cut short
      Bytes(stored.begin(), stored.end() - 1),                      // trailer cut
      badTrailer,                                                   // wrong Adler-32
      Bytes{'n', 'o', 't', ' ', 'z', 'l', 'i', 'b'},                // no zlib header
      Bytes{0x78, 0x20, 0x00, 0x00, 0x00, 0x01, 0x4B, 0x04, 0x00},  // wants a dictionary
  };
  for (const Bytes& input : cases) {
    Bytes decoded = {7};
    int32_t rawLength = 5;
    try {
      ZlibDecompressBlock(input.data(), static_cast<int32_t>(input.size()), 20000, decoded, rawLength);
      ADD_FAILURE() << "damaged stream of " << input.size() << " bytes was accepted";
    } catch (const EDecompressionError& error) {
      EXPECT_EQ(error.Message, "error");
    }
    EXPECT_TRUE(decoded.empty());
    EXPECT_EQ(rawLength, 0);
  }
}

TEST(ZlibDecompressBlock, BytesAfterTheStreamAreIgnored) {
  const Bytes raw = Text(3000);
  Bytes stored = Deflate(raw);
  stored.insert(stored.end(), 100, 0xEE);
  ExpectDecodes(ZlibDecompressBlock, stored, 3000, raw);
}

TEST(ZlibDecompressBlock, EmptySourceRaises) {
  Bytes decoded;
  int32_t rawLength = 0;
  const uint8_t byte = 0x78;
  EXPECT_THROW(ZlibDecompressBlock(&byte, 0, 100, decoded, rawLength), EDecompressionError);
  EXPECT_THROW(ZlibDecompressBlock(&byte, 0, 0, decoded, rawLength), EDecompressionError);
}

}  // namespace
