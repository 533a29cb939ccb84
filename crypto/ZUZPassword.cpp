// Checksums and the password record.
#include "crypto/ZUZPassword.h"

#include <cstring>

#include "crypto/SFSDECUtil.h"
#include "crypto/ZUZCipher.h"
#include "platform/Clock.h"
#include "platform/Exception.h"
#include "platform/Random.h"

namespace {

constexpr size_t kKeySize = 32;
constexpr size_t kMaxPassword = 32;
constexpr size_t kMaxQuestion = 100;
// Every verification takes at least this long, right password or wrong.
constexpr uint32_t kVerifyDelayMs = 256;

// Overwrites memory that held key material; volatile so the stores stay.
void Scrub(void* buffer, size_t size) {
  volatile uint8_t* p = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < size; ++i) p[i] = 0;
}

void EncryptWith(const std::string& keyString, void* buffer, int32_t size) {
  TCipher_Rijndael cipher(keyString);
  cipher.EncryptBuffer(buffer, buffer, size);
}

void DecryptWith(const std::string& keyString, void* buffer, int32_t size) {
  TCipher_Rijndael cipher(keyString);
  cipher.DecryptBuffer(buffer, buffer, size);
}

// 32 key bytes, each uniformly one of 1..254, from the secure random source.
void DrawKeyBytes(uint8_t (&key)[kKeySize]) {
  size_t filled = 0;
  uint8_t pool[64];
  while (filled < kKeySize) {
    platform::Random().Fill(pool, sizeof pool);
    for (size_t i = 0; i < sizeof pool && filled < kKeySize; ++i) {
      // Rejecting 254 and 255 keeps the 254 accepted values equally likely.
      if (pool[i] < 254) key[filled++] = static_cast<uint8_t>(pool[i] + 1);
    }
  }
  Scrub(pool, sizeof pool);
}

}  // namespace

const char* const QuestionKey = "Wn7%kR=p2!Yh8+Tz3";

uint32_t CalcChecksum(const void* buffer, int32_t size, int32_t kind) {
  if (size <= 0) return 0;
  const auto* p = static_cast<const uint8_t*>(buffer);
  switch (kind) {
    case ckXor32: {
      uint32_t sum = 0;
      for (int32_t i = 0; i + 4 <= size; i += 4)
        sum ^= uint32_t{p[i]} | (uint32_t{p[i + 1]} << 8) | (uint32_t{p[i + 2]} << 16) | (uint32_t{p[i + 3]} << 24);
      return sum;
    }
    case ckCRC16:
      return CRC16(0, p, static_cast<size_t>(size));
    default:
      return 0;
  }
}

bool VerifyChecksum(const void* buffer, int32_t size, int32_t kind, uint32_t expected) {
  if (kind != ckXor32 && kind != ckCRC16) return true;
  return CalcChecksum(buffer, size, kind) == expected;
}

void MakePasswordRecord(TSFSPasswordRecord& record, const std::string& password, const std::string& question,
                        const std::string& answer) {
  if (password.size() > kMaxPassword)
    throw Exception("Password length should be shorter then " + std::to_string(kMaxPassword));
  if (question.size() > kMaxQuestion)
    throw Exception("Question length should be shorter then " + std::to_string(kMaxQuestion));

  // Built aside and copied at the end, so a failure leaves `record` as it was.
  TSFSPasswordRecord made;
  std::memset(&made, 0, sizeof made);
  uint8_t key[kKeySize];
  DrawKeyBytes(key);
  try {
    made.KeyChecksum = CalcChecksum(key, kKeySize, ckCRC16);
    std::memcpy(made.EncryptedKey, key, kKeySize);
    EncryptWith(password, made.EncryptedKey, kKeySize);
    if (!question.empty() && !answer.empty()) {
      std::memcpy(made.EncryptedQuestion, question.data(), question.size());
      std::memcpy(made.EncryptedPassword, password.data(), password.size());
      EncryptWith(QuestionKey, made.EncryptedQuestion, sizeof made.EncryptedQuestion);
      made.PasswordChecksum = CalcChecksum(made.EncryptedPassword, sizeof made.EncryptedPassword, ckCRC16);
      EncryptWith(answer, made.EncryptedPassword, sizeof made.EncryptedPassword);
    }
  } catch (...) {
    Scrub(key, sizeof key);
    Scrub(&made, sizeof made);
    throw;
  }
  Scrub(key, sizeof key);
  std::memcpy(&record, &made, sizeof made);
  Scrub(&made, sizeof made);
}

bool VerifyPassword(const TSFSPasswordRecord& record, const std::string& password, std::string& key) {
  if (password.empty()) return false;
  key.resize(kKeySize + 1);
  std::memcpy(key.data(), record.EncryptedKey, kKeySize);

  // Spend at least kVerifyDelayMs doing the real work over and over; the
  // results are discarded. Unsigned difference: a wrapping counter is fine.
  platform::IClock& clock = platform::Clock();
  const uint32_t t0 = clock.TickCount();
  volatile uint32_t discarded = 0;
  while (static_cast<uint32_t>(clock.TickCount() - t0) < kVerifyDelayMs) {
    DecryptWith(password, key.data(), kKeySize);
    discarded = CalcChecksum(key.data(), kKeySize, ckCRC16);
  }
  (void)discarded;

  std::memcpy(key.data(), record.EncryptedKey, kKeySize);
  DecryptWith(password, key.data(), kKeySize);
  const bool ok = CalcChecksum(key.data(), kKeySize, ckCRC16) == record.KeyChecksum;
  key[kKeySize] = '\0';
  return ok;
}
