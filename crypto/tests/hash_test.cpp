#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "crypto/ZUZCipher.h"
#include "test_util.h"

#ifdef VV_HAVE_CRYPTOPP
#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md4.h>
#include <cryptopp/ripemd.h>
#endif

namespace {

using cryptotest::ToHex;

std::string HashHex(THash& hash, const std::string& message) {
  hash.Reset();
  hash.Update(message.data(), static_cast<int32_t>(message.size()));
  hash.Finish();
  return ToHex(hash.Digest(), static_cast<size_t>(hash.DigestSize()));
}

struct Vector {
  const char* message;
  const char* digest;
};

const std::string kAlnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const std::string kDigits80 =
    "12345678901234567890123456789012345678901234567890123456789012345678901234567890";

// RFC 1320 test suite.
TEST(MD4, PublishedVectors) {
  const Vector vectors[] = {
      {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
      {"a", "bde52cb31de33e46245e05fbdbd6fb24"},
      {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
      {"message digest", "d9130a8164549fe818874806e1c7014b"},
      {"abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
      {kAlnum.c_str(), "043f8582f241db351ce627e153e7f0e4"},
      {kDigits80.c_str(), "e33b4ddc9c38f2199c3e7b164fcc0536"},
  };
  THash_MD4 md4;
  EXPECT_EQ(md4.DigestSize(), 16);
  for (const auto& v : vectors) EXPECT_EQ(HashHex(md4, v.message), v.digest) << '"' << v.message << '"';
  EXPECT_TRUE(md4.SelfTest());
}

// Published RIPEMD-256 test vectors.
TEST(RipeMD256, PublishedVectors) {
  const Vector vectors[] = {
      {"", "02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d"},
      {"a", "f9333e45d857f5d90a91bab70a1eba0cfb1be4b0783c9acfcd883a9134692925"},
      {"abc", "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65"},
      {"message digest", "87e971759a1ce47a514d5c914c392c9018c7c46bc14465554afcdf54a5070c0e"},
      {"abcdefghijklmnopqrstuvwxyz", "649d3034751ea216776bf9a18acc81bc7896118a5197968782dd1fd97d8d5133"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "3843045583aac6c8c8d9128573e7a9809afb2a0f34ccc36ea9e72f16f6368e3f"},
      {kAlnum.c_str(), "5740a408ac16b720b84424ae931cbb1fe363d1d0bf4017f1a89f7ea6de77a0b8"},
      {kDigits80.c_str(), "06fdcc7a409548aaf91368c06a6275b553e3f099bf0ea4edfd6778df89a890dd"},
  };
  THash_RipeMD256 ripemd;
  EXPECT_EQ(ripemd.DigestSize(), 32);
  for (const auto& v : vectors) EXPECT_EQ(HashHex(ripemd, v.message), v.digest) << '"' << v.message << '"';
  EXPECT_TRUE(ripemd.SelfTest());
}

TEST(RipeMD256, MillionA) {
  THash_RipeMD256 ripemd;
  ripemd.Reset();
  const std::string chunk(1000, 'a');
  for (int i = 0; i < 1000; ++i) ripemd.Update(chunk.data(), static_cast<int32_t>(chunk.size()));
  ripemd.Finish();
  EXPECT_EQ(ToHex(ripemd.Digest(), 32), "ac953744e10e31514c150d4d8d7b677342e33399788296e43ae4850ce4f97978");
}

// The buffering must give the same digest however the message is split,
// around the 55/56/64-byte padding boundaries in particular.
TEST(RipeMD256, SplitUpdatesMatchOneUpdate) {
  std::mt19937 rng(7);
  THash_RipeMD256 whole, split;
  for (size_t length : {0u, 1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 200u}) {
    const auto data = cryptotest::RandomBytes(rng, length);
    whole.Reset();
    whole.Update(data.data(), static_cast<int32_t>(length));
    whole.Finish();
    for (size_t cut = 0; cut <= length; cut += 7) {
      split.Reset();
      split.Update(data.data(), static_cast<int32_t>(cut));
      split.Update(data.data() + cut, static_cast<int32_t>(length - cut));
      split.Finish();
      EXPECT_EQ(ToHex(split.Digest(), 32), ToHex(whole.Digest(), 32)) << length << " cut " << cut;
    }
  }
}

TEST(RipeMD256, NegativeSizeAddsNothing) {
  THash_RipeMD256 ripemd;
  ripemd.Reset();
  ripemd.Update("x", -5);
  ripemd.Finish();
  EXPECT_EQ(ToHex(ripemd.Digest(), 32), "02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d");
}

TEST(Hash, DefaultHashClassIsRipeMD256) {
  auto hash = DefaultHashClass()();
  ASSERT_NE(hash, nullptr);
  EXPECT_STREQ(hash->ClassName(), "THash_RipeMD256");
  EXPECT_EQ(hash->DigestSize(), 32);
}

#ifdef VV_HAVE_CRYPTOPP
// Cross-check against an independent implementation over random messages of
// every length up to a few blocks.
TEST(HashOracle, MatchesCryptoPP) {
  std::mt19937 rng(11);
  THash_RipeMD256 ripemd;
  THash_MD4 md4;
  for (size_t length = 0; length <= 300; ++length) {
    const auto data = cryptotest::RandomBytes(rng, length);
    uint8_t expect256[32];
    CryptoPP::RIPEMD256().CalculateDigest(expect256, data.data(), data.size());
    ripemd.Reset();
    ripemd.Update(data.data(), static_cast<int32_t>(length));
    ripemd.Finish();
    EXPECT_EQ(ToHex(ripemd.Digest(), 32), ToHex(expect256, 32)) << "length " << length;

    uint8_t expect4[16];
    CryptoPP::Weak::MD4().CalculateDigest(expect4, data.data(), data.size());
    md4.Reset();
    md4.Update(data.data(), static_cast<int32_t>(length));
    md4.Finish();
    EXPECT_EQ(ToHex(md4.Digest(), 16), ToHex(expect4, 16)) << "length " << length;
  }
}
#else
TEST(HashOracle, MatchesCryptoPP) { GTEST_SKIP() << "Crypto++ not installed"; }
#endif

}  // namespace
