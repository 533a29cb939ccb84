// An in-memory file system for tests of every layer.
//
// Files live in a map from path to content; "\" reads as "/", and every
// folder is taken to exist. Sharing follows the rules of the operating
// system's file services: an open without sharing fails while anyone holds
// the file, a sharing open fails while a holder without sharing has it
// (kErrorSharingViolation), and a refused open never truncates. Removing a
// file that is open keeps its content for the open handles (as unlink does).
//
// Each file also keeps the content its last Flush made durable, so that a
// test can simulate a power loss with DropUnflushed().
//
// Not thread-safe; handles must not outlive the file system.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace platform {

class MemoryFileSystem : public IFileSystem {
 public:
  MemoryFileSystem() = default;
  MemoryFileSystem(const MemoryFileSystem&) = delete;
  MemoryFileSystem& operator=(const MemoryFileSystem&) = delete;

  std::unique_ptr<IFile> Open(const std::string& path, FileAccess access, FileShare share,
                              FileDisposition disposition) override;
  bool Exists(const std::string& path) override;
  bool Remove(const std::string& path) override;

  // The content of `path`, or nothing when there is no such file.
  std::optional<std::string> Contents(const std::string& path) const;
  // Creates or replaces `path` with `data` (durable at once).
  void SetContents(const std::string& path, const std::string& data);
  // All file paths, sorted.
  std::vector<std::string> Names() const;
  // Total bytes all files may hold; a write or size change beyond it fails
  // with kErrorDiskFull. Unlimited by default.
  void SetCapacity(int64_t bytes) { capacity_ = bytes; }
  // Every file goes back to the content of its last Flush (empty when it was
  // never flushed), as after a power loss.
  void DropUnflushed();

  struct Node {
    std::vector<uint8_t> data;
    std::vector<uint8_t> durable;
    int sharedHolders = 0;
    int exclusiveHolders = 0;
  };

  // Bytes held by all files (used for the capacity check).
  int64_t UsedBytes() const;
  int64_t Capacity() const { return capacity_; }

 private:
  std::map<std::string, std::shared_ptr<Node>> files_;
  int64_t capacity_ = INT64_MAX;
};

}  // namespace platform
