// Page cipher throughput as the storage uses it: for every 4064-byte page
// data area a fresh TCipher_Rijndael is made from the 33-byte key string (32
// key bytes and a zero byte), the page is processed in place and the cipher
// is dropped. memcpy of the same pages is the yardstick.
//
//   ninja -C <build> cipher_bench && <build>/bench/cipher_bench
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crypto/ZUZCipher.h"

namespace {

constexpr size_t kPageData = 4064;  // page size 4096 minus the 32-byte page header
constexpr size_t kPages = 64;

std::string KeyString() {
  std::string key(33, '\0');
  std::mt19937 rng(1);
  for (size_t i = 0; i < 32; ++i) key[i] = static_cast<char>(1 + rng() % 254);
  return key;
}

std::vector<uint8_t> Pages() {
  std::vector<uint8_t> pages(kPageData * kPages);
  std::mt19937 rng(2);
  for (auto& b : pages) b = static_cast<uint8_t>(rng());
  return pages;
}

void Finish(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPageData * kPages));
}

void BM_PageEncrypt(benchmark::State& state) {
  const std::string key = KeyString();
  std::vector<uint8_t> pages = Pages();
  for (auto _ : state) {
    for (size_t p = 0; p < kPages; ++p) {
      TCipher_Rijndael cipher(key);
      cipher.EncryptBuffer(&pages[p * kPageData], &pages[p * kPageData], kPageData);
    }
    benchmark::DoNotOptimize(pages.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}

void BM_PageDecrypt(benchmark::State& state) {
  const std::string key = KeyString();
  std::vector<uint8_t> pages = Pages();
  for (auto _ : state) {
    for (size_t p = 0; p < kPages; ++p) {
      TCipher_Rijndael cipher(key);
      cipher.DecryptBuffer(&pages[p * kPageData], &pages[p * kPageData], kPageData);
    }
    benchmark::DoNotOptimize(pages.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}

// The block work alone: one keyed cipher, chain reset per page. Shows what
// the per-page key setup (RIPEMD-256, key schedule, three block encryptions)
// costs beside the 254 blocks of a page.
void BM_PageEncryptKeyedOnce(benchmark::State& state) {
  const std::string key = KeyString();
  std::vector<uint8_t> pages = Pages();
  TCipher_Rijndael cipher(key);
  for (auto _ : state) {
    for (size_t p = 0; p < kPages; ++p) {
      cipher.ResetChain();
      cipher.EncryptBuffer(&pages[p * kPageData], &pages[p * kPageData], kPageData);
    }
    benchmark::DoNotOptimize(pages.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}

// Key setup per page alone (no data).
void BM_CipherFromKeyString(benchmark::State& state) {
  const std::string key = KeyString();
  for (auto _ : state) {
    TCipher_Rijndael cipher(key);
    benchmark::DoNotOptimize(cipher.StartState().data());
  }
}

void BM_PageMemcpy(benchmark::State& state) {
  const std::vector<uint8_t> pages = Pages();
  std::vector<uint8_t> out(pages.size());
  for (auto _ : state) {
    for (size_t p = 0; p < kPages; ++p) std::memcpy(&out[p * kPageData], &pages[p * kPageData], kPageData);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}

BENCHMARK(BM_PageEncrypt);
BENCHMARK(BM_PageDecrypt);
BENCHMARK(BM_PageEncryptKeyedOnce);
BENCHMARK(BM_CipherFromKeyString);
BENCHMARK(BM_PageMemcpy);

}  // namespace

BENCHMARK_MAIN();
