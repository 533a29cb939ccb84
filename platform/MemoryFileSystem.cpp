// In-memory file system for tests; see MemoryFileSystem.h.
#include "platform/MemoryFileSystem.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace platform {
namespace {

std::string Normal(const std::string& path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

class MemoryFile final : public IFile {
 public:
  MemoryFile(MemoryFileSystem& fs, std::shared_ptr<MemoryFileSystem::Node> node, FileAccess access,
             bool exclusive)
      : fs_(fs), node_(std::move(node)), access_(access), exclusive_(exclusive) {
    if (exclusive_)
      ++node_->exclusiveHolders;
    else
      ++node_->sharedHolders;
  }
  ~MemoryFile() override {
    if (exclusive_)
      --node_->exclusiveHolders;
    else
      --node_->sharedHolders;
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  int32_t Read(void* buffer, int32_t count) override {
    if (count < 0 || (count > 0 && buffer == nullptr)) return Fail(kErrorInvalidParameter);
    if (access_ == FileAccess::Write) return Fail(kErrorAccessDenied);
    const auto size = static_cast<int64_t>(node_->data.size());
    if (position_ >= size || count == 0) return 0;
    const int64_t n = std::min<int64_t>(count, size - position_);
    std::memcpy(buffer, node_->data.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return static_cast<int32_t>(n);
  }

  int32_t Write(const void* buffer, int32_t count) override {
    if (count < 0 || (count > 0 && buffer == nullptr)) return Fail(kErrorInvalidParameter);
    if (access_ == FileAccess::Read) return Fail(kErrorAccessDenied);
    if (count == 0) return 0;
    const int64_t end = position_ + count;
    if (end > static_cast<int64_t>(node_->data.size()) && !Resize(end)) return -1;
    std::memcpy(node_->data.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
  }

  int64_t Seek(int64_t offset, int origin) override {
    int64_t base;
    switch (origin) {
      case 0:
        base = 0;
        break;
      case 1:
        base = position_;
        break;
      case 2:
        base = static_cast<int64_t>(node_->data.size());
        break;
      default:
        return Fail(kErrorInvalidParameter);
    }
    if (offset < 0 && base < -offset) return Fail(kErrorNegativeSeek);
    position_ = base + offset;
    return position_;
  }

  bool SetEndOfFile() override {
    if (access_ == FileAccess::Read) return Refuse(kErrorAccessDenied);
    return Resize(position_);
  }

  bool Flush() override {
    node_->durable = node_->data;
    return true;
  }

 private:
  static int32_t Fail(uint32_t code) {
    SetLastErrorCode(code);
    return -1;
  }
  static bool Refuse(uint32_t code) {
    SetLastErrorCode(code);
    return false;
  }

  bool Resize(int64_t size) {
    const int64_t grow = size - static_cast<int64_t>(node_->data.size());
    if (grow > 0 && fs_.UsedBytes() > fs_.Capacity() - grow) return Refuse(kErrorDiskFull);
    try {
      node_->data.resize(static_cast<size_t>(size));
    } catch (const std::exception&) {
      return Refuse(kErrorDiskFull);
    }
    return true;
  }

  MemoryFileSystem& fs_;
  std::shared_ptr<MemoryFileSystem::Node> node_;
  FileAccess access_;
  bool exclusive_;
  int64_t position_ = 0;
};

}  // namespace

std::unique_ptr<IFile> MemoryFileSystem::Open(const std::string& path, FileAccess access, FileShare share,
                                              FileDisposition disposition) {
  const std::string name = Normal(path);
  if (name.empty() || name.back() == '/') {
    SetLastErrorCode(name.empty() ? kErrorPathNotFound : kErrorAccessDenied);
    return nullptr;
  }
  auto it = files_.find(name);
  const bool exists = it != files_.end();
  if (!exists && disposition == FileDisposition::OpenExisting) {
    SetLastErrorCode(kErrorFileNotFound);
    return nullptr;
  }
  if (exists && disposition == FileDisposition::CreateNew) {
    SetLastErrorCode(kErrorFileExists);
    return nullptr;
  }
  const bool exclusive = share == FileShare::None;
  if (exists) {
    const Node& node = *it->second;
    if (node.exclusiveHolders > 0 || (exclusive && node.sharedHolders > 0)) {
      SetLastErrorCode(kErrorSharingViolation);
      return nullptr;
    }
  }
  std::shared_ptr<Node> node;
  if (exists) {
    node = it->second;
    if (disposition == FileDisposition::CreateAlways) node->data.clear();
  } else {
    node = std::make_shared<Node>();
    files_[name] = node;
  }
  return std::make_unique<MemoryFile>(*this, std::move(node), access, exclusive);
}

bool MemoryFileSystem::Exists(const std::string& path) { return files_.count(Normal(path)) != 0; }

bool MemoryFileSystem::Remove(const std::string& path) {
  if (files_.erase(Normal(path)) == 0) {
    SetLastErrorCode(kErrorFileNotFound);
    return false;
  }
  return true;
}

std::optional<std::string> MemoryFileSystem::Contents(const std::string& path) const {
  auto it = files_.find(Normal(path));
  if (it == files_.end()) return std::nullopt;
  const auto& data = it->second->data;
  return std::string(data.begin(), data.end());
}

void MemoryFileSystem::SetContents(const std::string& path, const std::string& data) {
  auto node = std::make_shared<Node>();
  node->data.assign(data.begin(), data.end());
  node->durable = node->data;
  files_[Normal(path)] = std::move(node);
}

std::vector<std::string> MemoryFileSystem::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : files_) names.push_back(entry.first);
  return names;
}

void MemoryFileSystem::DropUnflushed() {
  for (auto& entry : files_) entry.second->data = entry.second->durable;
}

int64_t MemoryFileSystem::UsedBytes() const {
  int64_t used = 0;
  for (const auto& entry : files_) used += static_cast<int64_t>(entry.second->data.size());
  return used;
}

}  // namespace platform
