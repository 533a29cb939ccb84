// Tests of the bzip2 block adapter: its errors and their codes, its output
// sizes, the growth of the output and the internal-error handler.
#include <bzlib.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CodecTestSupport.h"
#include "compress/SFSBZip2.h"

namespace {

using codec_test::Bytes;
using codec_test::ExpectDecodes;

Bytes Text(size_t count) {
  return codec_test::NumberedLines(
      count, [](size_t i) { return "record " + std::to_string(i * 104729 % 5000) + " in block form\n"; });
}

Bytes Compress(const Bytes& raw, int32_t blockSize = 2) {
  return codec_test::CompressWhole(Bzip2CompressBlock, raw, blockSize);
}

// Runs the decompressor expecting it to raise; returns the message.
std::string DecompressError(const Bytes& input, int32_t estimate) {
  Bytes decoded = {1};
  int32_t rawLength = 3;
  try {
    Bzip2DecompressBlock(input.data(), static_cast<int32_t>(input.size()), estimate, decoded, rawLength);
  } catch (const EBZDecompressionError& error) {
    EXPECT_TRUE(decoded.empty());
    EXPECT_EQ(rawLength, 0);
    return error.Message;
  }
  return "accepted";
}

TEST(Bzip2CompressBlock, OutputIsExactlyTheStream) {
  const Bytes raw = Text(150000);
  for (int32_t blockSize : {2, 6, 9}) {
    Bytes stored = {4, 5};
    int32_t storedLength = -1;
    Bzip2CompressBlock(raw.data(), static_cast<int32_t>(raw.size()), stored, blockSize, storedLength);
    EXPECT_GT(storedLength, 0);
    EXPECT_EQ(stored.size(), static_cast<size_t>(storedLength));
    EXPECT_EQ(stored[3], '0' + blockSize);
    ExpectDecodes(Bzip2DecompressBlock, stored, static_cast<int32_t>(raw.size()), raw);
  }
}

TEST(Bzip2CompressBlock, BadBlockSizeRaisesWithTheLibraryCode) {
  const Bytes raw = Text(1000);
  for (int32_t blockSize : {0, 10}) {
    Bytes stored = {1, 2, 3};
    int32_t storedLength = 99;
    try {
      Bzip2CompressBlock(raw.data(), 1000, stored, blockSize, storedLength);
      ADD_FAILURE() << "block size " << blockSize << " was accepted";
    } catch (const EBZCompressionError& error) {
      EXPECT_EQ(error.Message, "error " + std::to_string(BZ_PARAM_ERROR));
    }
    EXPECT_TRUE(stored.empty());
    EXPECT_EQ(storedLength, 0);
  }
}

TEST(Bzip2DecompressBlock, SmallOrMissingEstimateGrowsInStepsOfTheStoredSize) {
  const Bytes raw = Text(300000);
  const Bytes stored = Compress(raw);
  for (int32_t estimate : {0, 1, 1000, static_cast<int32_t>(raw.size()) - 1}) {
    ExpectDecodes(Bzip2DecompressBlock, stored, estimate, raw);
  }
}

TEST(Bzip2DecompressBlock, DamagedStreamsRaiseWithTheLibraryCode) {
  const Bytes stored = Compress(Text(40000));
  Bytes badCrc = stored;
  badCrc[badCrc.size() - 2] ^= 0xFF;  // inside the stream checksum
  EXPECT_EQ(DecompressError(badCrc, 40000), "error " + std::to_string(BZ_DATA_ERROR));
  EXPECT_EQ(DecompressError(Bytes{'B', 'Z', 'x', '9', 0, 0, 0, 0}, 100),
            "error " + std::to_string(BZ_DATA_ERROR_MAGIC));
  // A stream cut short leaves the library waiting for input that never
  // comes; that must end as an error, with a small and with no estimate.
  for (size_t keep : {size_t{4}, size_t{20}, stored.size() / 2, stored.size() - 1}) {
    const Bytes truncated(stored.begin(), stored.begin() + keep);
    EXPECT_EQ(DecompressError(truncated, 40000), "error " + std::to_string(BZ_UNEXPECTED_EOF))
        << "kept " << keep;
    EXPECT_EQ(DecompressError(truncated, 0), "error " + std::to_string(BZ_UNEXPECTED_EOF)) << "kept " << keep;
  }
  EXPECT_NE(DecompressError(Bytes{}, 100), "accepted");
}

TEST(Bzip2DecompressBlock, BytesAfterTheStreamAreIgnored) {
  const Bytes raw = Text(3000);
  Bytes stored = Compress(raw);
  stored.insert(stored.end(), 50, 0xAB);
  ExpectDecodes(Bzip2DecompressBlock, stored, 3000, raw);
}

TEST(Bzip2InternalError, RaisesTheBaseErrorWithTheLibraryNumber) {
  try {
    Bzip2InternalError(1007);
    FAIL() << "the handler returned";
  } catch (const EBZCompressionError&) {
    FAIL() << "the handler raised a compression-side error";
  } catch (const EBZip2Error& error) {
    EXPECT_EQ(error.Message, "Compression Error 1007");
  }
}

}  // namespace
