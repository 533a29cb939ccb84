#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "crypto/ZUZCipher.h"
#include "crypto/ZUZPassword.h"
#include "platform/Clock.h"
#include "platform/Exception.h"
#include "platform/Random.h"
#include "platform/Service.h"
#include "test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

// --- Checksums -----------------------------------------------------------

TEST(Checksum, Kinds) {
  const uint8_t words[] = {0x01, 0x02, 0x03, 0x04, 0x10, 0x20, 0x30, 0x40, 0xAA, 0xBB, 0xCC};
  const char* digits = "123456789";
  struct Case {
    const void* buffer;
    int32_t size;
    int32_t kind;
    uint32_t expected;
  } cases[] = {
      {words, 0, 0, 0},
      {words, 3, 0, 0},                        // shorter than one word
      {words, 4, 0, 0x04030201},               // little-endian word
      {words, 8, 0, 0x04030201 ^ 0x40302010},  // XOR of words
      {words, 11, 0, 0x04030201 ^ 0x40302010},  // trailing bytes ignored
      {words, -8, 0, 0},
      {digits, 9, 1, 0xBB3D},  // CRC-16/ARC check value
      {digits, 0, 1, 0},
      {digits, 1, 1, 0xD4C1},  // "1"
      {words, 8, 2, 0},        // unknown kind
      {words, 8, -1, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CalcChecksum(c.buffer, c.size, c.kind), c.expected) << "size " << c.size << " kind " << c.kind;
  }
}

TEST(Checksum, Verify) {
  const char* digits = "123456789";
  EXPECT_TRUE(VerifyChecksum(digits, 9, 1, 0xBB3D));
  EXPECT_FALSE(VerifyChecksum(digits, 9, 1, 0xBB3C));
  EXPECT_FALSE(VerifyChecksum(digits, 9, 1, 0x1BB3D));  // high bits must be zero
  EXPECT_TRUE(VerifyChecksum(digits, 8, 0, CalcChecksum(digits, 8, 0)));
  EXPECT_FALSE(VerifyChecksum(digits, 8, 0, CalcChecksum(digits, 8, 0) ^ 1));
  // Unknown kinds are not checked.
  EXPECT_TRUE(VerifyChecksum(digits, 9, 2, 0x12345678));
  EXPECT_TRUE(VerifyChecksum(digits, 9, 255, 0));
}

// --- Fakes ---------------------------------------------------------------

// A tick counter that advances by `step` on every reading.
class SteppingClock : public platform::IClock {
 public:
  explicit SteppingClock(uint32_t start, uint32_t step) : now_(start), step_(step) {}
  platform::CalendarTime LocalNow() override { return {}; }
  uint32_t TickCount() override {
    ++readings;
    const uint32_t t = now_;
    now_ += step_;
    return t;
  }
  bool LocalToUtc(platform::FileTimeValue local, platform::FileTimeValue& utc) override {
    utc = local;
    return true;
  }
  bool UtcToLocal(platform::FileTimeValue utc, platform::FileTimeValue& local) override {
    local = utc;
    return true;
  }
  uint32_t Now() const { return now_; }
  int readings = 0;

 private:
  uint32_t now_;
  uint32_t step_;
};

// Random bytes 0, 1, 2, ... 255, 0, 1, ...
class CountingRandom : public platform::IRandom {
 public:
  void Fill(void* buffer, size_t count) override {
    auto* p = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < count; ++i) p[i] = next_++;
  }

 private:
  uint8_t next_ = 0;
};

// Random bytes that are always 254 or 255 except every `period`-th byte.
class MostlyHighRandom : public platform::IRandom {
 public:
  void Fill(void* buffer, size_t count) override {
    auto* p = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < count; ++i, ++n_) p[i] = (n_ % 5 == 4) ? 253 : static_cast<uint8_t>(254 + n_ % 2);
  }

 private:
  size_t n_ = 0;
};

class PasswordTest : public ::testing::Test {
 protected:
  SteppingClock clock_{1000, 8};
  platform::ScopedService<platform::IClock> useClock_{platform::SetClock, clock_};

  static TSFSPasswordRecord Filled(uint8_t value) {
    TSFSPasswordRecord r;
    std::memset(&r, value, sizeof r);
    return r;
  }
  static Bytes BytesOf(const TSFSPasswordRecord& r) {
    const auto* p = reinterpret_cast<const uint8_t*>(&r);
    return Bytes(p, p + sizeof r);
  }
  static Bytes Decrypt(const std::string& keyString, const uint8_t* data, size_t size) {
    Bytes out(data, data + size);
    TCipher_Rijndael cipher(keyString);
    cipher.DecryptBuffer(out.data(), out.data(), static_cast<int32_t>(size));
    return out;
  }
};

// --- MakePasswordRecord --------------------------------------------------

TEST_F(PasswordTest, LengthLimits) {
  const std::string answer = "answer";
  TSFSPasswordRecord r = Filled(0xAB);
  EXPECT_NO_THROW(MakePasswordRecord(r, std::string(32, 'p'), std::string(100, 'q'), answer));

  struct Case {
    std::string password, question, message;
  } cases[] = {
      {std::string(33, 'p'), "q", "Password length should be shorter then 32"},
      {"p", std::string(101, 'q'), "Question length should be shorter then 100"},
      {std::string(33, 'p'), std::string(101, 'q'), "Password length should be shorter then 32"},
  };
  for (const auto& c : cases) {
    TSFSPasswordRecord refused = Filled(0xAB);
    try {
      MakePasswordRecord(refused, c.password, c.question, answer);
      ADD_FAILURE() << "no exception for " << c.message;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message, c.message);
    }
    EXPECT_EQ(BytesOf(refused), BytesOf(Filled(0xAB))) << "record changed";
  }
  // The answer has no limit.
  EXPECT_NO_THROW(MakePasswordRecord(r, "p", "q", std::string(1000, 'a')));
}

TEST_F(PasswordTest, NoHintWithoutBothQuestionAndAnswer) {
  const std::pair<std::string, std::string> hints[] = {{"question", ""}, {"", "answer"}, {"", ""}};
  for (const auto& [question, answer] : hints) {
    TSFSPasswordRecord r = Filled(0xAB);
    MakePasswordRecord(r, "secret", question, answer);
    const Bytes bytes = BytesOf(r);
    for (size_t i = 32; i < 172; ++i) {
      if (i >= 64 && i < 68) continue;  // KeyChecksum
      ASSERT_EQ(bytes[i], 0) << "offset " << i << " question '" << question << "' answer '" << answer << "'";
    }
    EXPECT_EQ(r.KeyChecksum >> 16, 0u);
    EXPECT_NE(Bytes(r.EncryptedKey, r.EncryptedKey + 32), Bytes(32, 0));
  }
}

TEST_F(PasswordTest, HintFields) {
  TSFSPasswordRecord r;
  MakePasswordRecord(r, "pass word", "What is it?", "this");
  Bytes question(100, 0);
  std::memcpy(question.data(), "What is it?", 11);
  EXPECT_EQ(Decrypt(QuestionKey, r.EncryptedQuestion, 100), question);
  EXPECT_EQ(std::string(QuestionKey), "Wn7%kR=p2!Yh8+Tz3");

  Bytes password(32, 0);
  std::memcpy(password.data(), "pass word", 9);
  EXPECT_EQ(Decrypt("this", r.EncryptedPassword, 32), password);
  EXPECT_EQ(r.PasswordChecksum, CalcChecksum(password.data(), 32, 1));
}

TEST_F(PasswordTest, KeyBytesComeFromTheRandomSourceAndSkip254And255) {
  for (int source = 0; source < 2; ++source) {
    CountingRandom counting;
    MostlyHighRandom high;
    platform::IRandom& random = source == 0 ? static_cast<platform::IRandom&>(counting) : high;
    platform::ScopedService<platform::IRandom> useRandom(platform::SetRandom, random);
    TSFSPasswordRecord r;
    MakePasswordRecord(r, "pw", "", "");
    std::string key;
    ASSERT_TRUE(VerifyPassword(r, "pw", key));
    ASSERT_EQ(key.size(), 33u);
    // 0, 1, 2 ... map to key bytes 1, 2, 3 ...; 253 maps to 254.
    for (size_t i = 0; i < 32; ++i) {
      EXPECT_EQ(static_cast<uint8_t>(key[i]), source == 0 ? i + 1 : 254) << i;
    }
    EXPECT_EQ(r.KeyChecksum, CalcChecksum(key.data(), 32, 1));
  }
}

TEST_F(PasswordTest, TwoRecordsOfOnePasswordDiffer) {
  std::set<Bytes> keys;
  std::set<uint32_t> checksums;
  for (int i = 0; i < 4; ++i) {
    TSFSPasswordRecord r;
    MakePasswordRecord(r, "same", "", "");
    keys.insert(Bytes(r.EncryptedKey, r.EncryptedKey + 32));
    checksums.insert(r.KeyChecksum);
  }
  EXPECT_EQ(keys.size(), 4u);
  EXPECT_GT(checksums.size(), 1u);  // all four equal by chance: about 2^-48
}

// --- VerifyPassword -----------------------------------------------------

TEST_F(PasswordTest, RightPasswordGivesTheKeyString) {
  for (int round = 0; round < 20; ++round) {
    TSFSPasswordRecord r;
    MakePasswordRecord(r, "right", "q", "a");
    std::string key = "old";
    const uint32_t before = clock_.Now();
    EXPECT_TRUE(VerifyPassword(r, "right", key));
    // The loop ran until the tick count had moved on by 256 ms.
    EXPECT_GE(clock_.Now() - before, 256u + 8u);
    ASSERT_EQ(key.size(), 33u);
    EXPECT_EQ(key[32], '\0');
    for (size_t i = 0; i < 32; ++i) EXPECT_NE(key[i], '\0') << i;
    EXPECT_EQ(r.KeyChecksum, CalcChecksum(key.data(), 32, 1));
  }
}

TEST_F(PasswordTest, WrongPasswordIsFalseButSetsAKey) {
  TSFSPasswordRecord r;
  MakePasswordRecord(r, "right", "", "");
  std::string right, wrong;
  ASSERT_TRUE(VerifyPassword(r, "right", right));
  EXPECT_FALSE(VerifyPassword(r, "wrong", wrong));
  ASSERT_EQ(wrong.size(), 33u);
  EXPECT_EQ(wrong[32], '\0');
  EXPECT_NE(wrong, right);
  EXPECT_FALSE(VerifyPassword(r, std::string("right\0", 6), wrong));
}

TEST_F(PasswordTest, EmptyPasswordFailsAtOnceAndKeepsTheKey) {
  TSFSPasswordRecord r;
  MakePasswordRecord(r, "right", "", "");
  std::string key = "unchanged";
  clock_.readings = 0;
  EXPECT_FALSE(VerifyPassword(r, "", key));
  EXPECT_EQ(key, "unchanged");
  EXPECT_EQ(clock_.readings, 0);
}

TEST_F(PasswordTest, DelaySurvivesTickWrapAround) {
  TSFSPasswordRecord r;
  MakePasswordRecord(r, "pw", "", "");
  SteppingClock wrapping(0xFFFFFF80u, 1);
  platform::ScopedService<platform::IClock> useWrapping(platform::SetClock, wrapping);
  std::string key;
  EXPECT_TRUE(VerifyPassword(r, "pw", key));
  EXPECT_GE(wrapping.readings, 257);
  EXPECT_LT(wrapping.readings, 300);
}

TEST_F(PasswordTest, TrailingZeroOfTheKeyStringMatters) {
  TSFSPasswordRecord r;
  MakePasswordRecord(r, "pw", "", "");
  std::string key;
  ASSERT_TRUE(VerifyPassword(r, "pw", key));
  Bytes withZero(4064, 0x42), without(4064, 0x42);
  TCipher_Rijndael(key).EncryptBuffer(withZero.data(), withZero.data(), 4064);
  TCipher_Rijndael(key.substr(0, 32)).EncryptBuffer(without.data(), without.data(), 4064);
  EXPECT_NE(withZero, without);
}

// With the system's own tick count the check takes at least 256 ms.
TEST(PasswordRealClock, VerifyTakesAtLeast256ms) {
  TSFSPasswordRecord r;
  MakePasswordRecord(r, "pw", "", "");
  std::string key;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(VerifyPassword(r, "pw", key));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 255);
}

}  // namespace
