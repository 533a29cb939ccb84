// Fixtures and helpers shared by the container tests: a scratch folder of its
// own for every test with the container file's path in it, a fixture that
// keeps one container open there, byte patterns to store, whole-stream and
// disk-file reading and writing, and the message of a thrown Exception.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "container/SingleFileSystem.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

namespace container_test {

using Bytes = std::vector<uint8_t>;

// `n` bytes drawn from a Mersenne twister seeded with `seed`.
inline Bytes Random(size_t n, uint32_t seed) {
  Bytes v(n);
  std::mt19937 rng(seed);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// `n` bytes of words picked from `words` by a Mersenne twister seeded with
// `seed`, the last word cut where the count is reached. Text like this
// compresses well.
template <size_t N>
Bytes WordText(size_t n, uint32_t seed, const char* const (&words)[N]) {
  Bytes v;
  v.reserve(n);
  std::mt19937 rng(seed);
  while (v.size() < n) {
    for (const char* p = words[rng() % N]; *p && v.size() < n; ++p) v.push_back(static_cast<uint8_t>(*p));
  }
  return v;
}

// The message of the Exception that f throws, or "<no exception>".
inline std::string ExceptionText(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message;
  }
  return "<no exception>";
}

// A fresh folder for every test below the system's temporary folder, named
// from `prefix`, the run's seed and the test's suite and name, and removed
// with all it holds after the test. path_ is the container file's path in it
// (the file itself is left to the test).
class TempFolderTest : public ::testing::Test {
 protected:
  explicit TempFolderTest(std::string prefix) : prefix_(std::move(prefix)) {}

  void SetUp() override {
    const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
    const ::testing::TestInfo& info = *unit.current_test_info();
    // Parameterised tests carry a '/' in their names; keep the folder a
    // single level so that removing it leaves nothing behind.
    std::string leaf =
        prefix_ + std::to_string(unit.random_seed()) + "_" + info.test_suite_name() + "_" + info.name();
    std::replace(leaf.begin(), leaf.end(), '/', '_');
    dir_ = std::filesystem::temp_directory_path() / leaf;
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "store.sfs").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // The path of a file `leaf` in the test's folder.
  std::string DiskPath(const std::string& leaf) const { return (dir_ / leaf).string(); }
  // Replaces the disk file at `path` with the bytes `b`.
  static void WriteDisk(const std::string& path, const Bytes& b) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  }
  // All bytes of the disk file at `path` (none where it cannot be opened).
  static Bytes ReadDisk(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }
  // All bytes of a stream, read from its start.
  static Bytes ReadAll(TStream& s) {
    s.SetPosition(0);
    Bytes out(static_cast<size_t>(s.GetSize()));
    if (!out.empty()) s.ReadBuffer(out.data(), static_cast<int32_t>(out.size()));
    return out;
  }

  const std::string prefix_;
  std::filesystem::path dir_;
  std::string path_;
};

// A temporary folder with one container c_ at path_, without a password,
// made or reopened by the test and closed before the folder is removed.
class OpenContainerTest : public TempFolderTest {
 protected:
  using TempFolderTest::TempFolderTest;

  void TearDown() override {
    c_.reset();
    TempFolderTest::TearDown();
  }

  // Creates a new container with `defaultMethod` (closing any open one).
  void Make(uint8_t defaultMethod = 2) {
    c_.reset();
    c_ = std::make_unique<TSingleFileSystem>(path_, kModeCreate, "", "", "", defaultMethod);
  }
  // Closes the container and opens it again with `mode`.
  void Reopen(uint16_t mode = 2) {
    c_.reset();
    c_ = std::make_unique<TSingleFileSystem>(path_, mode, "", "", "", 0);
  }
  // The stored bytes of a stored file, read through a raw stream.
  Bytes Stored(const std::string& name) {
    TSFSUserFileStream raw(c_.get(), name, 0, "", "", "");
    Bytes out(static_cast<size_t>(raw.GetSize()));
    raw.SetPosition(0);
    if (!out.empty()) raw.ReadBuffer(out.data(), static_cast<int32_t>(out.size()));
    return out;
  }

  std::unique_ptr<TSingleFileSystem> c_;
};

}  // namespace container_test
