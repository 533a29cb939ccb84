// PPMd block codec throughput and ratio beside zlib level 5 and bzip2 -9.
//
// Plain program (not a test): ppmd_bench [text files...]. Text-like data is the
// given files (or else the project's own sources) concatenated and cut to
// 1.5 MiB; random and repetitive blocks of the same size are generated. Each
// codec runs in a child process so that its peak resident memory is its own.
#include <bzlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "compress/Ppmd.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kBlock = 1536 * 1024;

Bytes TextData(int argc, char** argv) {
  Bytes out;
  auto add = [&out](const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    out.insert(out.end(), std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  };
  for (int i = 1; i < argc; ++i) add(argv[i]);
  for (const auto& e : std::filesystem::recursive_directory_iterator(VV_SOURCE_DIR)) {
    if (out.size() >= kBlock) break;
    const std::string ext = e.path().extension().string();
    if (e.path().string().find("/build/") == std::string::npos && (ext == ".cpp" || ext == ".h")) add(e.path());
  }
  while (!out.empty() && out.size() < kBlock) out.insert(out.end(), out.begin(), out.begin() + std::min(out.size(), kBlock - out.size()));
  out.resize(kBlock);
  return out;
}

struct Result {
  double compressMBs = 0, decompressMBs = 0, ratio = 0;
  int ok = 0;
};

double Seconds(std::chrono::steady_clock::time_point a) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

Result Run(const std::string& codec, const Bytes& in) {
  Bytes coded(in.size() + in.size() / 10 + 1024), back(in.size());
  size_t codedLen = 0, backLen = 0;
  auto t0 = std::chrono::steady_clock::now();
  if (codec == "zlib-5") {
    uLongf n = uLongf(coded.size());
    compress2(coded.data(), &n, in.data(), uLong(in.size()), 5);
    codedLen = n;
  } else if (codec == "bzip2-9") {
    unsigned int n = unsigned(coded.size());
    BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(coded.data()), &n, (char*)in.data(), unsigned(in.size()), 9, 0, 0);
    codedLen = n;
  } else {
    int order = codec == "ppmd-o3" ? 3 : codec == "ppmd-o5" ? 5 : 13;
    int mem = order == 3 ? 10 : order == 5 ? 25 : 50;
    codedLen = size_t(PpmdCompressBlock(in.data(), int32_t(in.size()), coded.data(), order, mem));
  }
  double tc = Seconds(t0);
  t0 = std::chrono::steady_clock::now();
  if (codec == "zlib-5") {
    uLongf n = uLongf(back.size());
    uncompress(back.data(), &n, coded.data(), uLong(codedLen));
    backLen = n;
  } else if (codec == "bzip2-9") {
    unsigned int n = unsigned(back.size());
    BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(back.data()), &n, reinterpret_cast<char*>(coded.data()), unsigned(codedLen), 0, 0);
    backLen = n;
  } else {
    backLen = size_t(PpmdDecompressBlock(coded.data(), int32_t(codedLen), back.data(), int32_t(back.size())));
  }
  double td = Seconds(t0);
  Result r;
  r.compressMBs = in.size() / 1e6 / tc;
  r.decompressMBs = in.size() / 1e6 / td;
  r.ratio = double(codedLen) / double(in.size());
  r.ok = backLen == in.size() && std::memcmp(back.data(), in.data(), in.size()) == 0;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const Bytes text = TextData(argc, argv);
  Bytes random(kBlock);
  std::mt19937 rng(1);
  for (auto& b : random) b = uint8_t(rng());
  Bytes repetitive(kBlock);
  for (size_t i = 0; i < kBlock; ++i) repetitive[i] = uint8_t("abcabcabd"[i % 9]);
  const std::pair<const char*, const Bytes*> inputs[] = {{"text", &text}, {"random", &random}, {"repetitive", &repetitive}};
  const char* codecs[] = {"ppmd-o3", "ppmd-o5", "ppmd-o13", "zlib-5", "bzip2-9"};
  std::printf("| data | codec | compress MB/s | decompress MB/s | coded/raw | peak RSS MiB | ok |\n|---|---|---|---|---|---|---|\n");
  for (const auto& [name, data] : inputs) {
    for (const char* codec : codecs) {
      int fds[2];
      if (pipe(fds) != 0) return 1;
      pid_t pid = fork();
      if (pid == 0) {
        close(fds[0]);
        Result r = Run(codec, *data);
        ssize_t w = write(fds[1], &r, sizeof r);
        _exit(w == sizeof r ? 0 : 1);
      }
      close(fds[1]);
      Result r;
      ssize_t got = read(fds[0], &r, sizeof r);
      close(fds[0]);
      int status = 0;
      struct rusage ru {};
      wait4(pid, &status, 0, &ru);
      if (got != sizeof r) r = Result{};
      std::printf("| %s | %s | %.2f | %.2f | %.4f | %.1f | %s |\n", name, codec, r.compressMBs, r.decompressMBs, r.ratio,
                  ru.ru_maxrss / 1024.0, r.ok ? "yes" : "NO");
      std::fflush(stdout);
    }
  }
  return 0;
}
