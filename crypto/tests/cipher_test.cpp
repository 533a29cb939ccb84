#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crypto/ZUZCipher.h"
#include "test_util.h"

#ifdef VV_HAVE_CRYPTOPP
#include <cryptopp/aes.h>
#endif

namespace {

using cryptotest::FromHex;
using cryptotest::RandomBytes;
using cryptotest::ToHex;
using Bytes = std::vector<uint8_t>;

const Bytes kFipsPlain = FromHex("00112233445566778899aabbccddeeff");
const Bytes kFipsKey32 = FromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");

// A keyed cipher from raw key bytes (no key hashing), started from E(FF..).
std::unique_ptr<TCipher_Rijndael> RawCipher(const Bytes& key) {
  auto cipher = std::make_unique<TCipher_Rijndael>();
  cipher->Init(key.data(), static_cast<int32_t>(key.size()), nullptr);
  return cipher;
}

Bytes EncryptBlockWith(const Bytes& key, Bytes block) {
  RawCipher(key)->EncryptBlock(block.data());
  return block;
}

Bytes Encrypt(const std::string& keyString, Bytes data) {
  TCipher_Rijndael cipher(keyString);
  cipher.EncryptBuffer(data.data(), data.data(), static_cast<int32_t>(data.size()));
  return data;
}

Bytes Decrypt(const std::string& keyString, Bytes data) {
  TCipher_Rijndael cipher(keyString);
  cipher.DecryptBuffer(data.data(), data.data(), static_cast<int32_t>(data.size()));
  return data;
}

Bytes RipeMD256Of(const std::string& s) {
  THash_RipeMD256 hash;
  hash.Reset();
  hash.Update(s.data(), static_cast<int32_t>(s.size()));
  hash.Finish();
  return Bytes(hash.Digest(), hash.Digest() + 32);
}

uint32_t RoundKeyWord(const TCipher& cipher, int index) {
  const uint8_t* p = cipher.KeySchedule().data() + 4 * index;
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// FIPS-197 Appendix C: keys of 16 and 24 bytes give the AES ciphertexts; the
// 32-byte key does not, because its key schedule is this cipher's own.
TEST(Rijndael, FipsAppendixC) {
  struct Case {
    size_t keySize;
    int rounds;
    const char* fipsCipher;
    bool equalsFips;
  } cases[] = {
      {16, 10, "69c4e0d86a7b0430d8cdb78070b4c55a", true},
      {24, 12, "dda97ca4864cdfe06eaf70a0ec0d7191", true},
      {32, 14, "8ea2b7ca516745bfeafc49904b496089", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keySize);
    const Bytes key(kFipsKey32.begin(), kFipsKey32.begin() + static_cast<long>(c.keySize));
    auto cipher = RawCipher(key);
    EXPECT_EQ(cipher->Rounds(), c.rounds);
    Bytes block = kFipsPlain;
    cipher->EncryptBlock(block.data());
    EXPECT_EQ(ToHex(block) == c.fipsCipher, c.equalsFips) << ToHex(block);
    cipher->DecryptBlock(block.data());
    EXPECT_EQ(block, kFipsPlain);
  }
}

// FIPS-197 Appendix A: the AES-128 schedule matches to the last word; the
// 32-byte schedule matches AES-256 for words 0..11 and then departs from it.
TEST(Rijndael, KeyExpansion) {
  auto aes128 = RawCipher(FromHex("2b7e151628aed2a6abf7158809cf4f3c"));
  EXPECT_EQ(RoundKeyWord(*aes128, 4), 0xa0fafe17u);
  EXPECT_EQ(RoundKeyWord(*aes128, 43), 0xb6630ca6u);

  auto long_key = RawCipher(FromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4"));
  const uint32_t fips256[12] = {0x603deb10, 0x15ca71be, 0x2b73aef0, 0x857d7781, 0x1f352c07, 0x3b6108d7,
                                0x2d9810a3, 0x0914dff4, 0x9ba35411, 0x8e6925af, 0xa51a8b5f, 0x2067fcde};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(RoundKeyWord(*long_key, i), fips256[i]) << "word " << i;
  // AES-256 has w12 = a8b09c1a; here word 4 of the key block is chained with
  // w11 before the SubWord step: a8b09c1a xor 2067fcde.
  EXPECT_NE(RoundKeyWord(*long_key, 12), 0xa8b09c1au);
  EXPECT_EQ(RoundKeyWord(*long_key, 12), 0x88d760c4u);
}

TEST(Rijndael, SizesAndSelfTest) {
  const TCipherSizes sizes = TCipher_Rijndael::GetSizes();
  EXPECT_EQ(sizes.BlockSize, 16);
  EXPECT_EQ(sizes.KeySize, 32);
  EXPECT_EQ(sizes.ScheduleSize, 480);
  TCipher_Rijndael cipher;
  EXPECT_EQ(cipher.CipherBlockSize(), 16);
  EXPECT_EQ(cipher.CipherKeySize(), 32);
  EXPECT_EQ(cipher.KeySchedule().size(), 480u);
  EXPECT_EQ(cipher.ChainingMode(), 0);
  EXPECT_TRUE(cipher.SelfTest());
  EXPECT_FALSE(cipher.Ready());
}

TEST(Rijndael, KeySizeClamping) {
  // Longer than 32 bytes is cut; a negative size counts as 0 (an all-zero
  // 16-byte key, 10 rounds).
  Bytes long_key = kFipsKey32;
  long_key.push_back(0x99);
  auto cut = std::make_unique<TCipher_Rijndael>();
  cut->Init(long_key.data(), 33, nullptr);
  EXPECT_EQ(EncryptBlockWith(kFipsKey32, kFipsPlain), [&] {
    Bytes b = kFipsPlain;
    cut->EncryptBlock(b.data());
    return b;
  }());

  TCipher_Rijndael negative;
  negative.Init(kFipsKey32.data(), -4, nullptr);
  EXPECT_EQ(negative.Rounds(), 10);
  Bytes b = kFipsPlain;
  negative.EncryptBlock(b.data());
  EXPECT_EQ(b, EncryptBlockWith(Bytes(16, 0), kFipsPlain));
}

TEST(Rijndael, BlockRoundTripEveryKeySize) {
  std::mt19937 rng(3);
  for (int size = 0; size <= 32; ++size) {
    const Bytes key = RandomBytes(rng, static_cast<size_t>(size));
    auto cipher = RawCipher(key);
    const Bytes plain = RandomBytes(rng, 16);
    Bytes block = plain;
    cipher->EncryptBlock(block.data());
    EXPECT_NE(block, plain);
    cipher->DecryptBlock(block.data());
    EXPECT_EQ(block, plain) << "key size " << size;
  }
}

// --- Keying, start value, wipe ---------------------------------------------

TEST(Cipher, InitKeyUsesRipeMD256OfTheKeyString) {
  const std::string keyString = "page key";
  const Bytes digest = RipeMD256Of(keyString);
  TCipher_Rijndael fromString(keyString);
  auto fromBytes = RawCipher(digest);
  EXPECT_TRUE(fromString.Ready());
  EXPECT_EQ(fromString.Rounds(), 14);
  EXPECT_EQ(fromString.KeySchedule(), fromBytes->KeySchedule());
  EXPECT_EQ(fromString.StartState(), fromBytes->StartState());
  // The chain is back at its start value after the digest was encrypted.
  EXPECT_EQ(fromString.ChainState(), fromString.StartState());
  // The start value is E(sixteen 0xFF bytes).
  EXPECT_EQ(fromString.StartState(), EncryptBlockWith(digest, Bytes(16, 0xFF)));
}

TEST(Cipher, InitKeyLeavesNoPlainDigestInTheKeyHash) {
  const std::string keyString = "secret";
  TCipher_Rijndael cipher(keyString);
  const uint8_t* kept = cipher.KeyHash().Digest();
  const Bytes digest = RipeMD256Of(keyString);
  EXPECT_NE(Bytes(kept, kept + 32), digest);
  // It holds the digest encrypted as one 32-byte buffer.
  auto raw = RawCipher(digest);
  Bytes expect = digest;
  raw->EncryptBuffer(expect.data(), expect.data(), 32);
  EXPECT_EQ(Bytes(kept, kept + 32), expect);
}

TEST(Cipher, ExplicitStartValue) {
  const Bytes start = FromHex("0102030405060708090a0b0c0d0e0f10");
  TCipher_Rijndael cipher;
  cipher.InitKey("k", start.data());
  EXPECT_EQ(cipher.StartState(), start);
  EXPECT_EQ(cipher.ChainState(), start);
}

TEST(Cipher, WipeLeavesFixedPattern) {
  TCipher_Rijndael cipher("some key");
  Bytes data(40, 7);
  cipher.EncryptBuffer(data.data(), data.data(), 40);
  cipher.Wipe();
  EXPECT_FALSE(cipher.Ready());
  EXPECT_EQ(cipher.StartState(), Bytes(16, 0xFF));
  EXPECT_EQ(cipher.ChainState(), Bytes(16, 0xFF));
  EXPECT_EQ(cipher.WorkBlock(), Bytes(16, 0));
  EXPECT_EQ(cipher.KeySchedule(), Bytes(480, 0));
  EXPECT_THROW(cipher.EncryptBuffer(data.data(), data.data(), 16), ECipherException);
}

TEST(Cipher, ResetChainRestartsTheChain) {
  TCipher_Rijndael cipher("k");
  const Bytes plain(48, 0x5A);
  Bytes first = plain;
  cipher.EncryptBuffer(first.data(), first.data(), 48);
  const Bytes chainBefore = cipher.ChainState();
  cipher.ResetChain();
  EXPECT_EQ(cipher.WorkBlock(), chainBefore);
  EXPECT_EQ(cipher.ChainState(), cipher.StartState());
  Bytes second = plain;
  cipher.EncryptBuffer(second.data(), second.data(), 48);
  EXPECT_EQ(first, second);
}

TEST(Cipher, EmptyKeyIsNotInitialized) {
  TCipher_Rijndael cipher("");
  EXPECT_FALSE(cipher.Ready());
  uint8_t buffer[16] = {};
  for (bool encrypt : {true, false}) {
    try {
      if (encrypt)
        cipher.EncryptBuffer(buffer, buffer, 16);
      else
        cipher.DecryptBuffer(buffer, buffer, 16);
      ADD_FAILURE() << "no exception";
    } catch (const ECipherException& e) {
      EXPECT_EQ(e.ErrorCode, 3);
      EXPECT_EQ(e.Message, "TCipher_Rijndael is not initialized call Init() or InitKey() before.");
    }
  }
  // Even an empty buffer needs a key.
  EXPECT_THROW(cipher.EncryptBuffer(buffer, buffer, 0), ECipherException);
}

// --- Buffer mode ------------------------------------------------------------

TEST(BufferMode, ZeroBytesChangeNothing) {
  TCipher_Rijndael cipher("k");
  const Bytes chain = cipher.ChainState();
  uint8_t buffer[4] = {1, 2, 3, 4};
  cipher.EncryptBuffer(buffer, buffer, 0);
  cipher.DecryptBuffer(buffer, buffer, 0);
  EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(cipher.ChainState(), chain);
}

TEST(BufferMode, OneCallEqualsTwoBlockCalls) {
  std::mt19937 rng(5);
  const Bytes plain = RandomBytes(rng, 32);
  TCipher_Rijndael once("k"), twice("k");
  Bytes a = plain, b = plain;
  once.EncryptBuffer(a.data(), a.data(), 32);
  twice.EncryptBuffer(b.data(), b.data(), 16);
  twice.EncryptBuffer(b.data() + 16, b.data() + 16, 16);
  EXPECT_EQ(a, b);
  EXPECT_EQ(once.ChainState(), twice.ChainState());

  TCipher_Rijndael dOnce("k"), dTwice("k");
  dOnce.DecryptBuffer(a.data(), a.data(), 32);
  dTwice.DecryptBuffer(b.data(), b.data(), 16);
  dTwice.DecryptBuffer(b.data() + 16, b.data() + 16, 16);
  EXPECT_EQ(a, plain);
  EXPECT_EQ(b, plain);
}

TEST(BufferMode, BlockThenTail) {
  std::mt19937 rng(9);
  const Bytes plain = RandomBytes(rng, 20);
  TCipher_Rijndael cipher("k");
  Bytes out = plain;
  cipher.EncryptBuffer(out.data(), out.data(), 20);

  // The whole block is C = E(P xor F), F' = C xor F.
  TCipher_Rijndael model("k");
  Bytes f = model.ChainState();
  Bytes c(16);
  for (int i = 0; i < 16; ++i) c[i] = plain[i] ^ f[i];
  model.EncryptBlock(c.data());
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 16), c);
  for (int i = 0; i < 16; ++i) f[i] ^= c[i];
  // The 4-byte tail is P xor E(F'), and F'' = E(F') xor F'.
  Bytes t = f;
  model.EncryptBlock(t.data());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[16 + i], plain[16 + i] ^ t[i]) << i;
  EXPECT_EQ(cipher.WorkBlock(), t);
  for (int i = 0; i < 16; ++i) f[i] ^= t[i];
  EXPECT_EQ(cipher.ChainState(), f);
}

TEST(BufferMode, RoundTripEveryLength) {
  std::mt19937 rng(13);
  for (size_t n = 0; n <= 64; ++n) {
    const Bytes plain = RandomBytes(rng, n);
    const Bytes enc = Encrypt("round trip", plain);
    ASSERT_EQ(enc.size(), n);
    if (n > 0) {
      EXPECT_NE(enc, plain) << n;
    }
    EXPECT_EQ(Decrypt("round trip", enc), plain) << n;
  }
}

TEST(BufferMode, SeparateSourceAndDestGiveTheSameBytes) {
  std::mt19937 rng(17);
  const Bytes plain = RandomBytes(rng, 45);
  Bytes out(45);
  TCipher_Rijndael a("k");
  a.EncryptBuffer(plain.data(), out.data(), 45);
  EXPECT_EQ(out, Encrypt("k", plain));
  Bytes back(45);
  TCipher_Rijndael b("k");
  b.DecryptBuffer(out.data(), back.data(), 45);
  EXPECT_EQ(back, plain);
}

TEST(BufferMode, TrailingZeroInKeyStringChangesTheKey) {
  const Bytes plain(37, 0x11);
  const std::string key = "abc";
  const std::string keyWithZero("abc\0", 4);
  EXPECT_NE(Encrypt(key, plain), Encrypt(keyWithZero, plain));
  EXPECT_NE(TCipher_Rijndael(key).KeySchedule(), TCipher_Rijndael(keyWithZero).KeySchedule());
}

// P xor F = F for a zero block, so it encrypts to E(E(FF..)).
TEST(BufferMode, ZeroBlockEncryptsToDoubleEncryptionOfOnes) {
  const std::string keyString = "zero identity";
  const Bytes enc = Encrypt(keyString, Bytes(64, 0));
  auto raw = RawCipher(RipeMD256Of(keyString));
  Bytes expect(16, 0xFF);
  raw->EncryptBlock(expect.data());
  raw->EncryptBlock(expect.data());
  EXPECT_EQ(Bytes(enc.begin(), enc.begin() + 16), expect);
}

TEST(BufferMode, ShortBufferIsXorWithEncryptedStartValue) {
  const std::string keyString = "short";
  const Bytes plain = {1, 2, 3, 4, 5, 6, 7};
  const Bytes enc = Encrypt(keyString, plain);
  TCipher_Rijndael cipher(keyString);
  Bytes t = cipher.StartState();
  cipher.EncryptBlock(t.data());
  for (size_t i = 0; i < plain.size(); ++i) EXPECT_EQ(enc[i], plain[i] ^ t[i]);
}

// --- Protection links -----------------------------------------------------

TEST(Protection, CircularLinkIsRefused) {
  auto a = std::make_shared<THash_MD4>();
  auto b = std::make_shared<THash_MD4>();
  auto c = std::make_shared<TCipher_Rijndael>("", b);
  a->SetProtection(c);  // a -> c -> b
  try {
    b->SetProtection(a);  // would close b -> a -> c -> b
    ADD_FAILURE() << "no exception";
  } catch (const EProtection& e) {
    EXPECT_EQ(e.Message, "Circular Protection detected, Protection Object is invalid.");
  }
  EXPECT_EQ(b->Protection(), nullptr);
  EXPECT_THROW(a->SetProtection(a), EProtection);
  EXPECT_EQ(a->Protection(), c);
  a->SetProtection(nullptr);
  EXPECT_EQ(a->Protection(), nullptr);
  b->SetProtection(a);  // no cycle any more
  EXPECT_EQ(b->Protection(), a);
}

// --- Cross-checks against Crypto++ -----------------------------------------

#ifdef VV_HAVE_CRYPTOPP
TEST(RijndaelOracle, BlocksMatchAes128And192) {
  std::mt19937 rng(21);
  for (size_t keySize : {16u, 24u}) {
    for (int trial = 0; trial < 200; ++trial) {
      const Bytes key = RandomBytes(rng, keySize);
      const Bytes plain = RandomBytes(rng, 16);
      CryptoPP::AES::Encryption enc(key.data(), key.size());
      CryptoPP::AES::Decryption dec(key.data(), key.size());
      Bytes expect(16);
      enc.ProcessBlock(plain.data(), expect.data());
      auto cipher = RawCipher(key);
      Bytes block = plain;
      cipher->EncryptBlock(block.data());
      ASSERT_EQ(ToHex(block), ToHex(expect)) << "key " << ToHex(key);
      Bytes back(16);
      dec.ProcessBlock(block.data(), back.data());
      cipher->DecryptBlock(block.data());
      ASSERT_EQ(block, plain);
      ASSERT_EQ(back, plain);
    }
  }
}

TEST(RijndaelOracle, ThirtyTwoByteKeyIsNotAes256) {
  std::mt19937 rng(23);
  const Bytes key = RandomBytes(rng, 32);
  CryptoPP::AES::Encryption aes256(key.data(), key.size());
  Bytes expect(16);
  aes256.ProcessBlock(kFipsPlain.data(), expect.data());
  EXPECT_NE(EncryptBlockWith(key, kFipsPlain), expect);
}

// The buffer mode over AES-128 from Crypto++ as the block function.
TEST(RijndaelOracle, BufferModeOverAes128) {
  std::mt19937 rng(25);
  const Bytes key = RandomBytes(rng, 16);
  CryptoPP::AES::Encryption aes(key.data(), key.size());
  CryptoPP::AES::Decryption aesInv(key.data(), key.size());
  for (size_t n : {0u, 5u, 16u, 31u, 64u, 4064u}) {
    const Bytes plain = RandomBytes(rng, n);
    Bytes f(16, 0xFF), expect(n);
    aes.ProcessBlock(f.data());
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
      uint8_t b[16];
      for (int k = 0; k < 16; ++k) b[k] = plain[i + k] ^ f[k];
      aes.ProcessBlock(b);
      for (int k = 0; k < 16; ++k) {
        expect[i + k] = b[k];
        f[k] ^= b[k];
      }
    }
    if (i < n) {
      uint8_t t[16];
      aes.ProcessBlock(f.data(), t);
      for (size_t k = 0; i + k < n; ++k) expect[i + k] = plain[i + k] ^ t[k];
    }
    auto cipher = RawCipher(key);
    Bytes out = plain;
    cipher->EncryptBuffer(out.data(), out.data(), static_cast<int32_t>(n));
    EXPECT_EQ(out, expect) << n;
    auto decipher = RawCipher(key);
    decipher->DecryptBuffer(out.data(), out.data(), static_cast<int32_t>(n));
    EXPECT_EQ(out, plain) << n;
  }
}
#else
TEST(RijndaelOracle, BlocksMatchAes128And192) { GTEST_SKIP() << "Crypto++ not installed"; }
#endif

}  // namespace
