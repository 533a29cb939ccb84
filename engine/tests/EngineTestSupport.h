// Test doubles and a fixture shared by the engine's tests: a volume service
// that always allows a large part, a clock whose tick count runs fast, the
// message of a thrown Exception, and a container in the in-memory file system
// with its page file and free-space manager, for the layers built on them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/EngineContainers.h"
#include "engine/FreeSpace.h"
#include "engine/PageFile.h"
#include "files/ZUZFileCtrl.h"
#include "platform/Clock.h"
#include "platform/Exception.h"
#include "platform/MemoryFileSystem.h"
#include "platform/Service.h"
#include "platform/Volumes.h"

namespace engine_test {

// Open modes of the page file.
constexpr uint16_t kCreate = 0xFFFF;
constexpr uint16_t kReadOnly = 0;
constexpr uint16_t kReadWrite = 2;
// The page size the containers of the tests use unless they say otherwise.
constexpr int32_t kPage = 4096;

// Reports an NTFS volume on a 5.1 system with a tebibyte free, so the
// part-size probe allows a part far larger than any test file and one part
// holds the whole container.
class UnlimitedVolumes : public platform::IVolumes {
 public:
  platform::OsVersionRecord VersionRecord() override { return {2, 5, 1}; }
  bool FileSystemName(const std::string&, const std::string&, std::string& name) override {
    name = "NTFS";
    return true;
  }
  bool FreeBytesAvailable(const std::string&, const std::string&, int64_t& bytes) override {
    bytes = int64_t{1} << 40;
    return true;
  }
};

// Local time = UTC, a settable "now", and a tick count that advances 64 ms
// on every reading, so the password delay costs no real time.
class FastClock : public platform::IClock {
 public:
  platform::CalendarTime LocalNow() override { return Now; }
  uint32_t TickCount() override { return ticks_ += 64; }
  bool LocalToUtc(platform::FileTimeValue local, platform::FileTimeValue& utc) override {
    utc = local;
    return true;
  }
  bool UtcToLocal(platform::FileTimeValue utc, platform::FileTimeValue& local) override {
    local = utc;
    return true;
  }
  platform::CalendarTime Now{2024, 3, 2, 5, 10, 20, 30, 0};

 private:
  uint32_t ticks_ = 0;
};

// The message of the Exception that f throws, or "<no exception>".
template <class F>
std::string ThrownMessage(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message;
  }
  return "<no exception>";
}

// The items of an integer array in order.
inline std::vector<int32_t> Values(const TIntegerArray& a) {
  std::vector<int32_t> v;
  for (int32_t i = 0; i < a.ItemCount(); ++i) v.push_back(a[i]);
  return v;
}

// A container at Path in an in-memory file system, with the file system, an
// unlimited volume and a fast clock installed as the platform services. The
// page file has 4096-byte pages and 8-page extents. A derived fixture makes
// the layer under test in BuildUpper() and drops it in DropUpper(); Create,
// Reopen and Close (also run after every test) keep the order: the upper
// layer goes before the free-space manager, the page file is flushed last.
class MemoryContainerTest : public ::testing::Test {
 protected:
  explicit MemoryContainerTest(std::string path) : Path(std::move(path)) {}

  void TearDown() override { Close(); }

  // Creates a new container (replacing any open one).
  void Create(const std::string& password = "") {
    Close();
    Pf = std::make_unique<TPageFileManager>(Path, kCreate, password, "", "", false, kPage, 8, -1);
    Build();
  }
  // Closes and opens the container again with `mode`.
  void Reopen(uint16_t mode = kReadWrite, const std::string& password = "") {
    Close();
    Pf = std::make_unique<TPageFileManager>(Path, mode, password, "", "", false, kPage, 8, -1);
    Build();
  }
  void Build() {
    Free = std::make_unique<TFreeSpaceManager>(*Pf);
    BuildUpper();
  }
  void Close() {
    DropUpper();
    Free.reset();
    if (Pf) Pf->Flush();
    Pf.reset();
  }
  virtual void BuildUpper() {}
  virtual void DropUpper() {}

  // Bytes at a logical offset of the container (after the volume header);
  // fewer where the file ends sooner.
  std::string Logical(int64_t offset, size_t count) const {
    const std::string all = Fs.Contents(Path).value_or("");
    const size_t at = static_cast<size_t>(offset + kVolumeHeaderSize);
    return at >= all.size() ? std::string() : all.substr(at, count);
  }
  // The page header as stored for page `pageNo`.
  TSFSPageHeader StoredPageHeader(int32_t pageNo) const {
    TSFSPageHeader header;
    const std::string bytes = Logical(static_cast<int64_t>(pageNo) * kPage, sizeof(header));
    EXPECT_EQ(bytes.size(), sizeof(header));
    std::memcpy(&header, bytes.data(), std::min(bytes.size(), sizeof(header)));
    return header;
  }

  platform::MemoryFileSystem Fs;
  platform::ScopedService<platform::IFileSystem> FilesInstalled{platform::SetFiles, Fs};
  UnlimitedVolumes Volumes;
  platform::ScopedService<platform::IVolumes> VolumesInstalled{platform::SetVolumes, Volumes};
  FastClock Clock;
  platform::ScopedService<platform::IClock> ClockInstalled{platform::SetClock, Clock};
  const std::string Path;
  std::unique_ptr<TPageFileManager> Pf;
  std::unique_ptr<TFreeSpaceManager> Free;
};

}  // namespace engine_test
