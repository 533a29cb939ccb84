// Tests of the method table and the two whole-block entry points,
// CompressBuffer and DecompressBuffer, over every method.
#include <bzlib.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "compress/ZUZCompress.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes RepeatedByte(size_t count, uint8_t value) { return Bytes(count, value); }

Bytes RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 engine(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  Bytes bytes(count);
  for (auto& b : bytes) b = static_cast<uint8_t>(byte(engine));
  return bytes;
}

// Compressible but varied data: words drawn at random from a small list.
Bytes TextLike(size_t count, uint32_t seed) {
  static const char* const kWords[] = {"storage ",   "block ", "page ", "map ",
                                       "directory ", "\r\n",   "item ", "0x1F "};
  std::mt19937 engine(seed);
  std::uniform_int_distribution<size_t> pick(0, std::size(kWords) - 1);
  Bytes bytes;
  while (bytes.size() < count) {
    const std::string word = kWords[pick(engine)];
    bytes.insert(bytes.end(), word.begin(), word.end());
  }
  bytes.resize(count);
  return bytes;
}

bool IsPpmd(uint8_t method) { return method == 3 || method == 4 || method == 6; }

// Compresses `raw` with `method`, checks the outcome and returns the stored
// block (only the counted bytes).
Bytes MustCompress(const Bytes& raw, uint8_t method) {
  Bytes destination;
  int32_t storedLength = -1;
  EXPECT_TRUE(CompressBuffer(raw.data(), static_cast<int32_t>(raw.size()), destination, method, storedLength))
      << "method " << int{method};
  EXPECT_GT(storedLength, 0);
  EXPECT_LE(static_cast<size_t>(storedLength), destination.size());
  if (storedLength <= 0 || static_cast<size_t>(storedLength) > destination.size()) return {};
  return Bytes(destination.begin(), destination.begin() + storedLength);
}

TEST(BlockSizeForMethod, FollowsTheMethodTable) {
  const int32_t expected[] = {0x100000, 0x80000, 0x100000, 0x100000, 0x180000,
                              0x180000, 0x80000, 0x80000,  0x100000, 0x180000};
  for (int method = 0; method <= 9; ++method)
    EXPECT_EQ(BlockSizeForMethod(static_cast<uint8_t>(method)), expected[method]) << "method " << method;
  for (int method = 10; method <= 255; ++method)
    EXPECT_EQ(BlockSizeForMethod(static_cast<uint8_t>(method)), 0x100000) << "method " << method;
}

TEST(CompressBuffer, EmptyInputFailsForEveryMethodAndTouchesNothing) {
  const uint8_t byte = 'x';
  for (int method = 0; method <= 10; ++method) {
    Bytes destination = {1, 2, 3};
    int32_t storedLength = 77;
    EXPECT_FALSE(CompressBuffer(&byte, 0, destination, static_cast<uint8_t>(method), storedLength))
        << "method " << method;
    EXPECT_EQ(storedLength, 77);
    EXPECT_EQ(destination, (Bytes{1, 2, 3}));
  }
}

TEST(CompressBuffer, MethodZeroReturnsAnExactCopy) {
  const Bytes raw = RandomBytes(3000, 1);
  const Bytes original = raw;
  Bytes destination;
  int32_t storedLength = 0;
  ASSERT_TRUE(CompressBuffer(raw.data(), static_cast<int32_t>(raw.size()), destination, 0, storedLength));
  EXPECT_EQ(storedLength, 3000);
  EXPECT_EQ(destination, raw);
  EXPECT_EQ(raw, original);
}

TEST(CompressBuffer, UnknownMethodsAndNegativeLengthsFail) {
  const Bytes raw = RepeatedByte(1000, 'a');
  for (int method = 10; method <= 255; ++method) {
    Bytes destination;
    int32_t storedLength = 5;
    EXPECT_FALSE(CompressBuffer(raw.data(), 1000, destination, static_cast<uint8_t>(method), storedLength))
        << "method " << method;
    EXPECT_EQ(storedLength, 0);
  }
  for (int method = 0; method <= 9; ++method) {
    Bytes destination;
    int32_t storedLength = 5;
    EXPECT_FALSE(CompressBuffer(raw.data(), -1, destination, static_cast<uint8_t>(method), storedLength))
        << "method " << method;
    EXPECT_EQ(storedLength, 0);
  }
}

TEST(DecompressBuffer, UnknownMethodOrNoExpectedLengthFailsWithoutTouchingAnything) {
  const Bytes stored = MustCompress(RepeatedByte(1000, 'a'), 2);
  const Bytes original = stored;
  struct Case {
    int method;
    int32_t rawLength;
  };
  const Case cases[] = {{10, 1000}, {11, 1000}, {255, 1000}, {2, 0}, {2, -1}, {0, 0}, {7, 0}, {3, 0}};
  for (const Case& c : cases) {
    Bytes destination = {9, 9};
    int32_t rawLength = c.rawLength;
    EXPECT_FALSE(DecompressBuffer(stored.data(), static_cast<int32_t>(stored.size()), destination,
                                  static_cast<uint8_t>(c.method), rawLength))
        << "method " << c.method << " rawLength " << c.rawLength;
    EXPECT_EQ(rawLength, c.rawLength);
    EXPECT_EQ(destination, (Bytes{9, 9}));
    EXPECT_EQ(stored, original);
  }
}

class EveryMethod : public testing::TestWithParam<int> {
 protected:
  uint8_t method() const { return static_cast<uint8_t>(GetParam()); }
};

TEST_P(EveryMethod, RunOfOneByteRoundTrips) {
  const Bytes raw = RepeatedByte(1000, 0x5A);
  Bytes stored;
  int32_t storedLength = 0;
  ASSERT_TRUE(CompressBuffer(raw.data(), 1000, stored, method(), storedLength));
  if (method() == 0) {
    EXPECT_EQ(storedLength, 1000);
  } else {
    EXPECT_LT(storedLength, 100) << "a run should compress to far fewer bytes";
  }
  // The counted length and the allocated size differ only for PPMd, whose
  // buffer keeps the coder's bound.
  EXPECT_EQ(stored.size(),
            IsPpmd(method()) ? size_t{1000 + 1000 / 20 + 50} : static_cast<size_t>(storedLength));

  Bytes decoded;
  int32_t rawLength = 1000;
  ASSERT_TRUE(DecompressBuffer(stored.data(), storedLength, decoded, method(), rawLength));
  ASSERT_EQ(rawLength, 1000);
  ASSERT_GE(decoded.size(), 1000u);
  EXPECT_EQ(Bytes(decoded.begin(), decoded.begin() + 1000), raw);
}

TEST_P(EveryMethod, VariedDataRoundTrips) {
  const Bytes raw = TextLike(200000, 7);
  const Bytes stored = MustCompress(raw, method());
  ASSERT_FALSE(stored.empty());
  if (method() != 0) {
    EXPECT_LT(stored.size(), raw.size() / 2);
  }
  Bytes decoded;
  int32_t rawLength = static_cast<int32_t>(raw.size());
  ASSERT_TRUE(
      DecompressBuffer(stored.data(), static_cast<int32_t>(stored.size()), decoded, method(), rawLength));
  ASSERT_EQ(rawLength, static_cast<int32_t>(raw.size()));
  EXPECT_EQ(decoded, raw);
}

TEST_P(EveryMethod, OneByteRoundTrips) {
  const Bytes raw = {0xC3};
  const Bytes stored = MustCompress(raw, method());
  ASSERT_FALSE(stored.empty());
  Bytes decoded;
  int32_t rawLength = 1;
  ASSERT_TRUE(
      DecompressBuffer(stored.data(), static_cast<int32_t>(stored.size()), decoded, method(), rawLength));
  ASSERT_EQ(rawLength, 1);
  EXPECT_EQ(decoded[0], 0xC3);
}

INSTANTIATE_TEST_SUITE_P(Methods, EveryMethod, testing::Range(0, 10),
                         [](const testing::TestParamInfo<int>& info) {
                           return "Method" + std::to_string(info.param);
                         });

// Incompressible data grows a little and still comes back exactly; for
// PPMd it must still fit the coder's bound, or such data could not be stored.
class RandomHalfMebibyte : public testing::TestWithParam<int> {};

TEST_P(RandomHalfMebibyte, GrowsSlightlyAndRoundTrips) {
  const uint8_t method = static_cast<uint8_t>(GetParam());
  const Bytes raw = RandomBytes(512 * 1024, 42);
  const Bytes stored = MustCompress(raw, method);
  ASSERT_FALSE(stored.empty());
  EXPECT_GT(stored.size(), raw.size());
  if (IsPpmd(method)) {
    // PPMd spends a few percent on unpredictable bytes but stays within the
    // coder's bound.
    EXPECT_LE(stored.size(), raw.size() + raw.size() / 20 + 50);
  } else {
    EXPECT_LT(stored.size(), raw.size() + raw.size() / 50);
  }
  Bytes decoded;
  int32_t rawLength = static_cast<int32_t>(raw.size());
  ASSERT_TRUE(
      DecompressBuffer(stored.data(), static_cast<int32_t>(stored.size()), decoded, method, rawLength));
  ASSERT_EQ(rawLength, static_cast<int32_t>(raw.size()));
  EXPECT_EQ(decoded, raw);
}

INSTANTIATE_TEST_SUITE_P(Codecs, RandomHalfMebibyte, testing::Values(1, 7, 6, 3, 4));

// The stored form of each method is the codec's own format with the
// method's setting, so other readers of the format can decode it.
TEST(StoredForm, DeflateMethodsWriteZlibStreamsAtTheirLevels) {
  const Bytes raw = TextLike(50000, 3);
  // The second header byte carries zlib's level class: 1 -> fastest,
  // 5 -> default class below 6, 9 -> maximum.
  const std::pair<int, uint8_t> cases[] = {{1, 0x01}, {2, 0x5E}, {5, 0xDA}};
  for (const auto& [method, flags] : cases) {
    const Bytes stored = MustCompress(raw, static_cast<uint8_t>(method));
    ASSERT_GE(stored.size(), 6u);
    EXPECT_EQ(stored[0], 0x78) << "method " << method;
    EXPECT_EQ(stored[1], flags) << "method " << method;
    Bytes decoded(raw.size());
    uLongf decodedLength = decoded.size();
    ASSERT_EQ(uncompress(decoded.data(), &decodedLength, stored.data(), stored.size()), Z_OK);
    EXPECT_EQ(decodedLength, raw.size());
    EXPECT_EQ(decoded, raw);
  }
}

TEST(StoredForm, Bzip2MethodsWriteCompleteStreamsWithTheirBlockSizes) {
  const Bytes raw = TextLike(50000, 4);
  const std::pair<int, char> cases[] = {{7, '2'}, {8, '6'}, {9, '9'}};
  for (const auto& [method, level] : cases) {
    const Bytes stored = MustCompress(raw, static_cast<uint8_t>(method));
    ASSERT_GE(stored.size(), 4u);
    EXPECT_EQ(std::string(stored.begin(), stored.begin() + 4), std::string("BZh") + level)
        << "method " << method;
    Bytes decoded(raw.size());
    unsigned int decodedLength = static_cast<unsigned int>(decoded.size());
    Bytes input = stored;
    ASSERT_EQ(BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(decoded.data()), &decodedLength,
                                         reinterpret_cast<char*>(input.data()),
                                         static_cast<unsigned int>(input.size()), 0, 0),
              BZ_OK);
    EXPECT_EQ(decodedLength, raw.size());
    EXPECT_EQ(decoded, raw);
  }
}

TEST(StoredForm, PpmdMethodsRecordOrderAndModelMemory) {
  const Bytes raw = TextLike(20000, 5);
  // Header word: bits 0-3 order - 1, bits 4-11 memory in MiB - 1, bits 12-15
  // the variant value 6.
  const std::pair<int, uint16_t> cases[] = {{3, (5 - 1) | (25 - 1) << 4 | 6 << 12},
                                            {4, (13 - 1) | (50 - 1) << 4 | 6 << 12},
                                            {6, (3 - 1) | (10 - 1) << 4 | 6 << 12}};
  for (const auto& [method, word] : cases) {
    const Bytes stored = MustCompress(raw, static_cast<uint8_t>(method));
    ASSERT_GE(stored.size(), 2u);
    EXPECT_EQ(stored[0] | stored[1] << 8, word) << "method " << method;
  }
}

TEST(StoredForm, PpmdMethodsShareOneDecoder) {
  const Bytes raw = TextLike(20000, 6);
  for (int coded : {3, 4, 6}) {
    const Bytes stored = MustCompress(raw, static_cast<uint8_t>(coded));
    for (int reading : {3, 4, 6}) {
      Bytes decoded;
      int32_t rawLength = static_cast<int32_t>(raw.size());
      ASSERT_TRUE(DecompressBuffer(stored.data(), static_cast<int32_t>(stored.size()), decoded,
                                   static_cast<uint8_t>(reading), rawLength));
      ASSERT_EQ(rawLength, static_cast<int32_t>(raw.size()));
      EXPECT_EQ(Bytes(decoded.begin(), decoded.begin() + rawLength), raw) << coded << " read as " << reading;
    }
  }
}

// The expected raw length is only an estimate for deflate and bzip2: a
// smaller one makes the output grow in steps of the stored size.
class SmallEstimate : public testing::TestWithParam<int> {};

TEST_P(SmallEstimate, OutputGrowsToTheWholeBlock) {
  const uint8_t method = static_cast<uint8_t>(GetParam());
  for (const Bytes& raw : {RepeatedByte(1000, 'q'), TextLike(300000, 8)}) {
    const Bytes stored = MustCompress(raw, method);
    for (int32_t estimate : {1, 10, static_cast<int32_t>(raw.size()) - 1}) {
      Bytes decoded;
      int32_t rawLength = estimate;
      ASSERT_TRUE(
          DecompressBuffer(stored.data(), static_cast<int32_t>(stored.size()), decoded, method, rawLength))
          << "estimate " << estimate;
      EXPECT_EQ(rawLength, static_cast<int32_t>(raw.size()));
      EXPECT_EQ(decoded, raw);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(DeflateAndBzip2, SmallEstimate, testing::Values(1, 2, 5, 7, 8, 9));

// Damaged stored blocks: every decoder answers false or some output, never
// raises and never writes past its output. zlib and bzip2 streams carry
// checksums, so for them "some output" can only be the original bytes (a
// flipped padding bit, say); PPMd has none and may decode garbage.
enum class Outcome { kFailed, kOriginal, kOther };

class CorruptInput : public testing::TestWithParam<int> {
 protected:
  uint8_t method() const { return static_cast<uint8_t>(GetParam()); }
  bool checked() const { return !IsPpmd(method()); }

  Outcome Decode(const Bytes& stored, const Bytes& original) {
    const int32_t expected = static_cast<int32_t>(original.size());
    Bytes decoded;
    int32_t rawLength = expected;
    bool ok = false;
    EXPECT_NO_THROW(ok = DecompressBuffer(stored.data(), static_cast<int32_t>(stored.size()), decoded,
                                          method(), rawLength));
    if (!ok) return Outcome::kFailed;
    EXPECT_GT(rawLength, 0);
    EXPECT_LE(static_cast<size_t>(rawLength), decoded.size());
    if (IsPpmd(method())) {
      EXPECT_EQ(decoded.size(), static_cast<size_t>(expected)) << "the PPMd output keeps its allocated size";
      EXPECT_LE(rawLength, expected);
    }
    if (rawLength == expected && Bytes(decoded.begin(), decoded.begin() + rawLength) == original)
      return Outcome::kOriginal;
    return Outcome::kOther;
  }
};

TEST_P(CorruptInput, FlippedTruncatedOrForeignDataIsRefused) {
  const Bytes raw = TextLike(60000, 9);
  const Bytes stored = MustCompress(raw, method());
  ASSERT_GT(stored.size(), 40u);

  std::mt19937 engine(11);
  int failed = 0;
  const int rounds = 40;
  for (int round = 0; round < rounds; ++round) {
    Bytes flipped = stored;
    const size_t at = std::uniform_int_distribution<size_t>(0, flipped.size() - 1)(engine);
    flipped[at] ^= static_cast<uint8_t>(1u << (round % 8));
    const Outcome outcome = Decode(flipped, raw);
    if (outcome == Outcome::kFailed) ++failed;
    if (checked()) {
      EXPECT_NE(outcome, Outcome::kOther) << "flip at " << at << " went unnoticed";
    }
  }
  if (checked()) {
    EXPECT_GT(failed, rounds / 2) << "the stream checksums should catch most flips";
  }

  for (size_t keep : {size_t{1}, size_t{2}, size_t{5}, stored.size() / 2, stored.size() - 1}) {
    const Outcome outcome = Decode(Bytes(stored.begin(), stored.begin() + keep), raw);
    if (checked()) {
      EXPECT_EQ(outcome, Outcome::kFailed) << "kept " << keep;
    }
    // The range coder's last byte may carry no information, so only a
    // stream cut well short must lose data.
    if (keep <= stored.size() / 2) {
      EXPECT_NE(outcome, Outcome::kOriginal) << "kept " << keep;
    }
  }
  for (const Bytes& foreign :
       {RandomBytes(5000, 1), RandomBytes(5000, 2), Bytes(5000, 0), Bytes(5000, 0xFF)}) {
    const Outcome outcome = Decode(foreign, raw);
    if (checked()) {
      EXPECT_EQ(outcome, Outcome::kFailed);
    }
    EXPECT_NE(outcome, Outcome::kOriginal);
  }
}

TEST_P(CorruptInput, EmptyStoredBlockFails) {
  Bytes decoded;
  int32_t rawLength = 1000;
  const uint8_t byte = 0;
  bool ok = true;
  EXPECT_NO_THROW(ok = DecompressBuffer(&byte, 0, decoded, method(), rawLength));
  EXPECT_FALSE(ok);
}

INSTANTIATE_TEST_SUITE_P(Decoders, CorruptInput, testing::Range(1, 10),
                         [](const testing::TestParamInfo<int>& info) {
                           return "Method" + std::to_string(info.param);
                         });

TEST(CorruptInput, DeflateStreamAskingForADictionaryFails) {
  // A valid zlib header with the preset-dictionary flag, a dictionary id and
  // some data: it can never be decoded here and must not loop.
  const Bytes stored = {0x78, 0x20, 0x00, 0x00, 0x00, 0x01, 0x4B, 0x04, 0x00};
  for (int method : {1, 2, 5}) {
    Bytes decoded;
    int32_t rawLength = 10;
    EXPECT_FALSE(DecompressBuffer(stored.data(), static_cast<int32_t>(stored.size()), decoded,
                                  static_cast<uint8_t>(method), rawLength));
    EXPECT_EQ(rawLength, 0);
    EXPECT_TRUE(decoded.empty());
  }
}

}  // namespace
