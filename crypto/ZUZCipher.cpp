// Hashes (MD4, RIPEMD-256), the cipher base with its buffer chaining mode,
// and Rijndael with the AES round function.
#include "crypto/ZUZCipher.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// ---------------------------------------------------------------------------
// Byte helpers

inline uint32_t Rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline uint32_t LoadBE32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
inline void StoreBE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// Overwrites `size` bytes with `value` through a volatile pointer, so that the
// compiler keeps the stores even when the memory is not read again.
void Overwrite(std::vector<uint8_t>& buffer, uint8_t value) {
  volatile uint8_t* p = buffer.data();
  for (size_t i = 0; i < buffer.size(); ++i) p[i] = value;
}
void Overwrite(uint8_t* buffer, size_t size, uint8_t value) {
  volatile uint8_t* p = buffer;
  for (size_t i = 0; i < size; ++i) p[i] = value;
}

// ---------------------------------------------------------------------------
// AES tables, built at compile time from the field arithmetic.

constexpr uint8_t XTime(uint8_t x) { return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0)); }

constexpr uint8_t GMul(uint8_t a, uint8_t b) {
  uint8_t r = 0;
  while (b) {
    if (b & 1) r ^= a;
    a = XTime(a);
    b >>= 1;
  }
  return r;
}

struct AesTables {
  uint8_t S[256];
  uint8_t Si[256];
  uint32_t Te[4][256];
  uint32_t Td[4][256];
};

constexpr uint32_t Ror(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

constexpr AesTables MakeAesTables() {
  AesTables t{};
  for (int x = 0; x < 256; ++x) {
    uint8_t inv = 0;
    if (x != 0) {
      for (int y = 1; y < 256; ++y) {
        if (GMul(static_cast<uint8_t>(x), static_cast<uint8_t>(y)) == 1) {
          inv = static_cast<uint8_t>(y);
          break;
        }
      }
    }
    uint8_t s = inv;
    uint8_t b = inv;
    for (int i = 0; i < 4; ++i) {
      b = static_cast<uint8_t>((b << 1) | (b >> 7));
      s ^= b;
    }
    s ^= 0x63;
    t.S[x] = s;
    t.Si[s] = static_cast<uint8_t>(x);
  }
  for (int x = 0; x < 256; ++x) {
    const uint8_t s = t.S[x];
    const uint32_t e = (uint32_t{GMul(s, 2)} << 24) | (uint32_t{s} << 16) | (uint32_t{s} << 8) | GMul(s, 3);
    const uint8_t si = t.Si[x];
    const uint32_t d = (uint32_t{GMul(si, 14)} << 24) | (uint32_t{GMul(si, 9)} << 16) |
                       (uint32_t{GMul(si, 13)} << 8) | GMul(si, 11);
    for (int r = 0; r < 4; ++r) {
      t.Te[r][x] = r == 0 ? e : Ror(e, 8 * r);
      t.Td[r][x] = r == 0 ? d : Ror(d, 8 * r);
    }
  }
  return t;
}

constexpr AesTables kAes = MakeAesTables();

inline uint32_t SubWord(uint32_t w) {
  return (uint32_t{kAes.S[w >> 24]} << 24) | (uint32_t{kAes.S[(w >> 16) & 0xFF]} << 16) |
         (uint32_t{kAes.S[(w >> 8) & 0xFF]} << 8) | kAes.S[w & 0xFF];
}

inline uint32_t RotWord(uint32_t w) { return (w << 8) | (w >> 24); }

// InvMixColumns of one round-key word.
inline uint32_t InvMixWord(uint32_t w) {
  return kAes.Td[0][kAes.S[w >> 24]] ^ kAes.Td[1][kAes.S[(w >> 16) & 0xFF]] ^
         kAes.Td[2][kAes.S[(w >> 8) & 0xFF]] ^ kAes.Td[3][kAes.S[w & 0xFF]];
}

constexpr uint8_t kRcon[10] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1B, 0x36};

// Offset of the decryption round keys inside the key schedule.
constexpr size_t kDecryptKeysOffset = 240;

// One round column: the four table lookups for the bytes of a, b, c and d
// (high byte of a down to low byte of d) and the round-key word k.
inline uint32_t TableColumn(const uint32_t (&T)[4][256], uint32_t a, uint32_t b, uint32_t c, uint32_t d,
                            const uint8_t* k) {
  return T[0][a >> 24] ^ T[1][(b >> 16) & 0xFF] ^ T[2][(c >> 8) & 0xFF] ^ T[3][d & 0xFF] ^ LoadBE32(k);
}

// The last round's column: the S-box bytes of a, b, c and d and the
// round-key word k.
inline uint32_t BoxColumn(const uint8_t (&Box)[256], uint32_t a, uint32_t b, uint32_t c, uint32_t d,
                          const uint8_t* k) {
  return ((uint32_t{Box[a >> 24]} << 24) | (uint32_t{Box[(b >> 16) & 0xFF]} << 16) |
          (uint32_t{Box[(c >> 8) & 0xFF]} << 8) | Box[d & 0xFF]) ^
         LoadBE32(k);
}

// Runs one 16-byte block in place through `rounds` table-driven rounds with
// the round keys at rk: the forward cipher with Te and S, or (kInverse) the
// equivalent inverse cipher with Td, Si and the decryption keys. Column c of
// the forward cipher takes its bytes from columns c, c+1, c+2, c+3; the
// inverse one from c, c-1, c-2, c-3. Holding the words of columns 1 and 3 in
// each other's places turns the second order into the first, so one body
// serves both; w1 and w3 are the byte offsets of the words held as x1 and x3.
template <bool kInverse>
inline void RunRounds(uint8_t* p, const uint8_t* rk, int rounds, const uint32_t (&T)[4][256],
                      const uint8_t (&Box)[256]) {
  constexpr int w1 = kInverse ? 12 : 4;
  constexpr int w3 = kInverse ? 4 : 12;
  uint32_t x0 = LoadBE32(p) ^ LoadBE32(rk);
  uint32_t x1 = LoadBE32(p + w1) ^ LoadBE32(rk + w1);
  uint32_t x2 = LoadBE32(p + 8) ^ LoadBE32(rk + 8);
  uint32_t x3 = LoadBE32(p + w3) ^ LoadBE32(rk + w3);
  for (int r = 1; r < rounds; ++r) {
    rk += 16;
    const uint32_t y0 = TableColumn(T, x0, x1, x2, x3, rk);
    const uint32_t y1 = TableColumn(T, x1, x2, x3, x0, rk + w1);
    const uint32_t y2 = TableColumn(T, x2, x3, x0, x1, rk + 8);
    const uint32_t y3 = TableColumn(T, x3, x0, x1, x2, rk + w3);
    x0 = y0;
    x1 = y1;
    x2 = y2;
    x3 = y3;
  }
  rk += 16;
  StoreBE32(p, BoxColumn(Box, x0, x1, x2, x3, rk));
  StoreBE32(p + w1, BoxColumn(Box, x1, x2, x3, x0, rk + w1));
  StoreBE32(p + 8, BoxColumn(Box, x2, x3, x0, x1, rk + 8));
  StoreBE32(p + w3, BoxColumn(Box, x3, x0, x1, x2, rk + w3));
}

// FIPS-197 Appendix C.1.
constexpr uint8_t kRijndaelTestKey[16] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                          0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f};
constexpr uint8_t kRijndaelTestPlain[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                            0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
constexpr uint8_t kRijndaelTestCipher[16] = {0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30,
                                             0xd8, 0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a};

// Digests of "abc".
constexpr uint8_t kMD4Abc[16] = {0xa4, 0x48, 0x01, 0x7a, 0xaf, 0x21, 0xd8, 0x52,
                                 0x5f, 0xc1, 0x0a, 0xe8, 0x7a, 0xa6, 0x72, 0x9d};
constexpr uint8_t kRipeMD256Abc[32] = {0xaf, 0xbd, 0x6e, 0x22, 0x8b, 0x9d, 0x8c, 0xbb, 0xce, 0xf5, 0xca,
                                       0x2d, 0x03, 0xe6, 0xdb, 0xa1, 0x0a, 0xc0, 0xbc, 0x7d, 0xcb, 0xe4,
                                       0x68, 0x0e, 0x1e, 0x42, 0xd2, 0xe9, 0x75, 0x45, 0x9b, 0x65};

}  // namespace

// ---------------------------------------------------------------------------
// THash

bool THash::SelfTest() {
  Reset();
  Update("abc", 3);
  Finish();
  const bool ok = std::memcmp(Digest(), SelfTestVector(), static_cast<size_t>(DigestSize())) == 0;
  Reset();
  return ok;
}

THashClass DefaultHashClass() { return &THash_RipeMD256::Make; }

// ---------------------------------------------------------------------------
// THash_MD4

THash_MD4::THash_MD4(std::shared_ptr<TProtection> protection) : THash(std::move(protection)) {
  THash_MD4::Reset();
}

THash_MD4::~THash_MD4() {
  Overwrite(Buffer_, sizeof Buffer_, 0);
  Overwrite(DigestBytes_, sizeof DigestBytes_, 0);
  Overwrite(reinterpret_cast<uint8_t*>(State_), sizeof State_, 0);
}

std::shared_ptr<THash> THash_MD4::Make() { return std::make_shared<THash_MD4>(); }

const uint8_t* THash_MD4::SelfTestVector() const { return kMD4Abc; }

void THash_MD4::Reset() {
  std::memset(Buffer_, 0, sizeof Buffer_);
  std::memset(DigestBytes_, 0, sizeof DigestBytes_);
  std::memset(State_, 0, sizeof State_);
  BufferCount_ = 0;
  Length_ = 0;
  State_[0] = 0x67452301;
  State_[1] = 0xEFCDAB89;
  State_[2] = 0x98BADCFE;
  State_[3] = 0x10325476;
}

void THash_MD4::Update(const void* buffer, int32_t size) {
  if (size <= 0) return;
  const auto* p = static_cast<const uint8_t*>(buffer);
  size_t left = static_cast<size_t>(size);
  Length_ += left;
  if (BufferCount_ > 0) {
    const size_t take = std::min(left, static_cast<size_t>(64 - BufferCount_));
    std::memcpy(Buffer_ + BufferCount_, p, take);
    BufferCount_ += static_cast<int32_t>(take);
    p += take;
    left -= take;
    if (BufferCount_ < 64) return;
    CompressBlock(Buffer_);
    BufferCount_ = 0;
  }
  while (left >= 64) {
    CompressBlock(p);
    p += 64;
    left -= 64;
  }
  std::memcpy(Buffer_, p, left);
  BufferCount_ = static_cast<int32_t>(left);
}

void THash_MD4::Finish() {
  const uint64_t bits = Length_ * 8;
  Buffer_[BufferCount_++] = 0x80;
  if (BufferCount_ > 56) {
    std::memset(Buffer_ + BufferCount_, 0, static_cast<size_t>(64 - BufferCount_));
    CompressBlock(Buffer_);
    BufferCount_ = 0;
  }
  std::memset(Buffer_ + BufferCount_, 0, static_cast<size_t>(56 - BufferCount_));
  StoreLE32(Buffer_ + 56, static_cast<uint32_t>(bits));
  StoreLE32(Buffer_ + 60, static_cast<uint32_t>(bits >> 32));
  CompressBlock(Buffer_);
  BufferCount_ = 0;
  std::memset(Buffer_, 0, sizeof Buffer_);
  const int32_t words = DigestSize() / 4;
  for (int32_t i = 0; i < words; ++i) StoreLE32(DigestBytes_ + 4 * i, State_[i]);
}

void THash_MD4::CompressBlock(const uint8_t* block) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLE32(block + 4 * i);
  uint32_t a = State_[0], b = State_[1], c = State_[2], d = State_[3];

  auto f = [](uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); };
  auto g = [](uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (x & z) | (y & z); };
  auto h = [](uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; };

  static constexpr int kR1[4] = {3, 7, 11, 19};
  for (int i = 0; i < 16; ++i) {
    const uint32_t t = Rol(a + f(b, c, d) + x[i], kR1[i % 4]);
    a = d;
    d = c;
    c = b;
    b = t;
  }
  static constexpr int kK2[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
  static constexpr int kR2[4] = {3, 5, 9, 13};
  for (int i = 0; i < 16; ++i) {
    const uint32_t t = Rol(a + g(b, c, d) + x[kK2[i]] + 0x5A827999, kR2[i % 4]);
    a = d;
    d = c;
    c = b;
    b = t;
  }
  static constexpr int kK3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
  static constexpr int kR3[4] = {3, 9, 11, 15};
  for (int i = 0; i < 16; ++i) {
    const uint32_t t = Rol(a + h(b, c, d) + x[kK3[i]] + 0x6ED9EBA1, kR3[i % 4]);
    a = d;
    d = c;
    c = b;
    b = t;
  }
  State_[0] += a;
  State_[1] += b;
  State_[2] += c;
  State_[3] += d;
}

// ---------------------------------------------------------------------------
// THash_RipeMD256

THash_RipeMD256::THash_RipeMD256(std::shared_ptr<TProtection> protection) : THash_MD4(std::move(protection)) {
  THash_RipeMD256::Reset();
}

std::shared_ptr<THash> THash_RipeMD256::Make() { return std::make_shared<THash_RipeMD256>(); }

const uint8_t* THash_RipeMD256::SelfTestVector() const { return kRipeMD256Abc; }

void THash_RipeMD256::Reset() {
  THash_MD4::Reset();
  State_[4] = 0x76543210;
  State_[5] = 0xFEDCBA98;
  State_[6] = 0x89ABCDEF;
  State_[7] = 0x01234567;
}

void THash_RipeMD256::CompressBlock(const uint8_t* block) {
  static constexpr uint8_t kRL[64] = {0, 1, 2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                                      7, 4, 13, 1,  10, 6,  15, 3,  12, 0,  9,  5,  2,  14, 11, 8,
                                      3, 10, 14, 4, 9,  15, 8,  1,  2,  7,  0,  6,  13, 11, 5,  12,
                                      1, 9, 11, 10, 0,  8,  12, 4,  13, 3,  7,  15, 14, 5,  6,  2};
  static constexpr uint8_t kRR[64] = {5,  14, 7,  0, 9, 2,  11, 4,  13, 6,  15, 8,  1,  10, 3,  12,
                                      6,  11, 3,  7, 0, 13, 5,  10, 14, 15, 8,  12, 4,  9,  1,  2,
                                      15, 5,  1,  3, 7, 14, 6,  9,  11, 8,  12, 2,  10, 0,  4,  13,
                                      8,  6,  4,  1, 3, 11, 15, 0,  5,  12, 2,  13, 9,  7,  10, 14};
  static constexpr uint8_t kSL[64] = {11, 14, 15, 12, 5,  8,  7,  9,  11, 13, 14, 15, 6,  7,  9,  8,
                                      7,  6,  8,  13, 11, 9,  7,  15, 7,  12, 15, 9,  11, 7,  13, 12,
                                      11, 13, 6,  7,  14, 9,  13, 15, 14, 8,  13, 6,  5,  12, 7,  5,
                                      11, 12, 14, 15, 14, 15, 9,  8,  9,  14, 5,  6,  8,  6,  5,  12};
  static constexpr uint8_t kSR[64] = {8,  9,  9,  11, 13, 15, 15, 5,  7,  7,  8,  11, 14, 14, 12, 6,
                                      9,  13, 15, 7,  12, 8,  9,  11, 7,  7,  12, 7,  6,  15, 13, 11,
                                      9,  7,  15, 11, 8,  6,  6,  14, 12, 13, 5,  14, 13, 13, 7,  5,
                                      15, 5,  8,  11, 14, 14, 6,  14, 6,  9,  12, 9,  12, 5,  15, 8};
  static constexpr uint32_t kKL[4] = {0x00000000, 0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC};
  static constexpr uint32_t kKR[4] = {0x50A28BE6, 0x5C4DD124, 0x6D703EF3, 0x00000000};

  auto f = [](int round, uint32_t x, uint32_t y, uint32_t z) -> uint32_t {
    switch (round) {
      case 0:
        return x ^ y ^ z;
      case 1:
        return (x & y) | (~x & z);
      case 2:
        return (x | ~y) ^ z;
      default:
        return (x & z) | (y & ~z);
    }
  };

  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLE32(block + 4 * i);
  uint32_t a = State_[0], b = State_[1], c = State_[2], d = State_[3];
  uint32_t aa = State_[4], bb = State_[5], cc = State_[6], dd = State_[7];

  for (int round = 0; round < 4; ++round) {
    for (int k = 0; k < 16; ++k) {
      const int j = 16 * round + k;
      uint32_t t = Rol(a + f(round, b, c, d) + x[kRL[j]] + kKL[round], kSL[j]);
      a = d;
      d = c;
      c = b;
      b = t;
      t = Rol(aa + f(3 - round, bb, cc, dd) + x[kRR[j]] + kKR[round], kSR[j]);
      aa = dd;
      dd = cc;
      cc = bb;
      bb = t;
    }
    // The two lines trade one chaining word after each round.
    switch (round) {
      case 0:
        std::swap(a, aa);
        break;
      case 1:
        std::swap(b, bb);
        break;
      case 2:
        std::swap(c, cc);
        break;
      default:
        std::swap(d, dd);
        break;
    }
  }
  State_[0] += a;
  State_[1] += b;
  State_[2] += c;
  State_[3] += d;
  State_[4] += aa;
  State_[5] += bb;
  State_[6] += cc;
  State_[7] += dd;
}

// ---------------------------------------------------------------------------
// TCipher

TCipher::TCipher(const TCipherSizes& sizes, std::shared_ptr<TProtection> protection)
    : TProtection(std::move(protection)),
      KeyHashClass_(DefaultHashClass()),
      CipherKeySize_(sizes.KeySize),
      CipherBlockSize_(sizes.BlockSize),
      ScheduleSize_(sizes.ScheduleSize),
      WorkBlock_(static_cast<size_t>(sizes.BlockSize)),
      StartState_(static_cast<size_t>(sizes.BlockSize)),
      ChainState_(static_cast<size_t>(sizes.BlockSize)),
      KeySchedule_(static_cast<size_t>(sizes.ScheduleSize)) {
  TCipher::Wipe();
}

TCipher::~TCipher() {
  TCipher::Wipe();
  KeyHash_.reset();
}

THash& TCipher::KeyHash() {
  if (!KeyHash_) KeyHash_ = KeyHashClass_();
  return *KeyHash_;
}

void TCipher::SetStateFlag(int32_t bit, bool value) {
  if (value)
    Flags_ |= (1 << bit);
  else
    Flags_ &= ~(1 << bit);
}

void TCipher::Wipe() {
  Flags_ = 0;
  for (uint8_t value : {uint8_t{170}, uint8_t{85}}) {
    Overwrite(StartState_, value);
    Overwrite(ChainState_, value);
    Overwrite(WorkBlock_, value);
  }
  std::fill(StartState_.begin(), StartState_.end(), uint8_t{0xFF});
  std::fill(ChainState_.begin(), ChainState_.end(), uint8_t{0xFF});
  Overwrite(WorkBlock_, 0);
  Overwrite(KeySchedule_, 170);
  Overwrite(KeySchedule_, 85);
  Overwrite(KeySchedule_, 0);
}

void TCipher::FinishInit(const void* start) {
  if (start != nullptr)
    std::memcpy(StartState_.data(), start, StartState_.size());
  else
    EncryptBlock(StartState_.data());
  ChainState_ = StartState_;
  SetStateFlag(ReadyBit, true);
}

void TCipher::ResetChain() {
  if (ChainState_ != StartState_) {
    WorkBlock_ = ChainState_;
    ChainState_ = StartState_;
  }
}

void TCipher::InitKey(const std::string& key, const void* start) {
  THash& hash = KeyHash();
  hash.Reset();
  hash.Update(key.data(), static_cast<int32_t>(key.size()));
  hash.Finish();
  const int32_t size = std::min(hash.DigestSize(), CipherKeySize_);
  Init(hash.Digest(), size, start);
  // Keep no plain copy of the key inside the hash object.
  EncryptBuffer(hash.Digest(), hash.Digest(), hash.DigestSize());
  ResetChain();
}

void TCipher::CheckReady() const {
  if (!Ready())
    throw ECipherException(errNotInitialized,
                           std::string(ClassName()) + " is not initialized call Init() or InitKey() before.");
}

void TCipher::EncryptBuffer(const void* source, void* dest, int32_t size) {
  CheckReady();
  const auto* src = static_cast<const uint8_t*>(source);
  auto* dst = static_cast<uint8_t*>(dest);
  const size_t bs = static_cast<size_t>(CipherBlockSize_);
  uint8_t* f = ChainState_.data();
  size_t left = size > 0 ? static_cast<size_t>(size) : 0;
  std::array<uint8_t, 64> block;
  while (left >= bs) {
    for (size_t i = 0; i < bs; ++i) block[i] = src[i] ^ f[i];
    EncryptBlock(block.data());
    for (size_t i = 0; i < bs; ++i) {
      f[i] ^= block[i];
      dst[i] = block[i];
    }
    src += bs;
    dst += bs;
    left -= bs;
  }
  if (left > 0) {
    uint8_t* t = WorkBlock_.data();
    std::memcpy(t, f, bs);
    EncryptBlock(t);
    for (size_t i = 0; i < left; ++i) dst[i] = src[i] ^ t[i];
    for (size_t i = 0; i < bs; ++i) f[i] ^= t[i];
  }
}

void TCipher::DecryptBuffer(const void* source, void* dest, int32_t size) {
  CheckReady();
  const auto* src = static_cast<const uint8_t*>(source);
  auto* dst = static_cast<uint8_t*>(dest);
  const size_t bs = static_cast<size_t>(CipherBlockSize_);
  uint8_t* f = ChainState_.data();
  size_t left = size > 0 ? static_cast<size_t>(size) : 0;
  std::array<uint8_t, 64> block;
  std::array<uint8_t, 64> cipherText;
  while (left >= bs) {
    std::memcpy(cipherText.data(), src, bs);
    std::memcpy(block.data(), src, bs);
    DecryptBlock(block.data());
    for (size_t i = 0; i < bs; ++i) {
      dst[i] = block[i] ^ f[i];
      f[i] ^= cipherText[i];
    }
    src += bs;
    dst += bs;
    left -= bs;
  }
  if (left > 0) {
    uint8_t* t = WorkBlock_.data();
    std::memcpy(t, f, bs);
    EncryptBlock(t);
    for (size_t i = 0; i < left; ++i) dst[i] = src[i] ^ t[i];
    for (size_t i = 0; i < bs; ++i) f[i] ^= t[i];
  }
}

bool TCipher::SelfTest() {
  const TCipherTestVector v = SelfTestVector();
  const size_t bs = static_cast<size_t>(CipherBlockSize_);
  std::vector<uint8_t> block(v.Plain, v.Plain + bs);
  Init(v.Key, v.KeySize, nullptr);
  EncryptBlock(block.data());
  bool ok = std::memcmp(block.data(), v.Cipher, bs) == 0;
  DecryptBlock(block.data());
  ok = ok && std::memcmp(block.data(), v.Plain, bs) == 0;
  Wipe();
  return ok;
}

// ---------------------------------------------------------------------------
// TCipher_Rijndael

TCipher_Rijndael::TCipher_Rijndael(const std::string& key, std::shared_ptr<TProtection> protection)
    : TCipher(GetSizes(), std::move(protection)) {
  static_assert(sizeof(kAes.S) == 256);
  if (!key.empty()) InitKey(key, nullptr);
}

TCipher_Rijndael::~TCipher_Rijndael() = default;

TCipherTestVector TCipher_Rijndael::SelfTestVector() const {
  return {kRijndaelTestKey, 16, kRijndaelTestPlain, kRijndaelTestCipher};
}

void TCipher_Rijndael::Init(const void* key, int32_t size, const void* start) {
  SetStateFlag(ReadyBit, false);
  Wipe();
  if (size < 0) size = 0;
  if (size > CipherKeySize_) size = CipherKeySize_;
  Rounds_ = size <= 16 ? 10 : size <= 24 ? 12 : 14;

  uint8_t keyBuffer[32] = {};
  if (size > 0) std::memcpy(keyBuffer, key, static_cast<size_t>(size));

  const int nk = Rounds_ - 6;
  const int total = 4 * (Rounds_ + 1);
  uint32_t tk[8];
  for (int j = 0; j < nk; ++j) tk[j] = LoadBE32(keyBuffer + 4 * j);
  uint32_t w[60];
  int count = 0;
  for (int j = 0; j < nk; ++j) w[count++] = tk[j];
  for (int i = 1; count < total; ++i) {
    tk[0] ^= SubWord(RotWord(tk[nk - 1])) ^ (uint32_t{kRcon[i - 1]} << 24);
    if (nk != 8) {
      for (int j = 1; j < nk; ++j) tk[j] ^= tk[j - 1];
    } else {
      // The 32-byte schedule chains all eight words first, then applies the
      // SubWord step to word 4 and chains words 5..7 once more.
      for (int j = 1; j < 8; ++j) tk[j] ^= tk[j - 1];
      tk[4] ^= SubWord(tk[3]);
      for (int j = 5; j < 8; ++j) tk[j] ^= tk[j - 1];
    }
    for (int j = 0; j < nk && count < total; ++j) w[count++] = tk[j];
  }

  uint8_t* enc = KeySchedule_.data();
  uint8_t* dec = KeySchedule_.data() + kDecryptKeysOffset;
  for (int i = 0; i < total; ++i) StoreBE32(enc + 4 * i, w[i]);
  // Equivalent inverse cipher: round keys in reverse order, InvMixColumns
  // applied to all but the first and the last.
  for (int r = 0; r <= Rounds_; ++r) {
    for (int c = 0; c < 4; ++c) {
      uint32_t word = w[4 * (Rounds_ - r) + c];
      if (r != 0 && r != Rounds_) word = InvMixWord(word);
      StoreBE32(dec + 16 * r + 4 * c, word);
    }
  }
  Overwrite(keyBuffer, sizeof keyBuffer, 0);
  Overwrite(reinterpret_cast<uint8_t*>(tk), sizeof tk, 0);
  Overwrite(reinterpret_cast<uint8_t*>(w), sizeof w, 0);

  FinishInit(start);
}

void TCipher_Rijndael::EncryptBlock(void* block) {
  RunRounds<false>(static_cast<uint8_t*>(block), KeySchedule_.data(), Rounds_, kAes.Te, kAes.S);
}

void TCipher_Rijndael::DecryptBlock(void* block) {
  RunRounds<true>(static_cast<uint8_t*>(block), KeySchedule_.data() + kDecryptKeysOffset, Rounds_, kAes.Td,
                  kAes.Si);
}
