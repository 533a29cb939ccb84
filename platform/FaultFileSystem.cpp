// Fault-injecting file system wrapper; see FaultFileSystem.h.
#include "platform/FaultFileSystem.h"

#include "platform/MemoryFileSystem.h"

namespace platform {
namespace {

class FaultFile final : public IFile {
 public:
  FaultFile(FaultFileSystem& fs, std::unique_ptr<IFile> inner)
      : fs_(fs), inner_(std::move(inner)), generation_(fs.Generation()) {}

  int32_t Read(void* buffer, int32_t count) override {
    if (Dead() || fs_.ShouldFail(FaultOp::Read)) return -1;
    return inner_->Read(buffer, count);
  }
  int32_t Write(const void* buffer, int32_t count) override {
    if (Dead() || fs_.ShouldFail(FaultOp::Write)) return -1;
    return inner_->Write(buffer, count);
  }
  int64_t Seek(int64_t offset, int origin) override {
    if (Dead()) return -1;
    return inner_->Seek(offset, origin);
  }
  bool SetEndOfFile() override {
    if (Dead() || fs_.ShouldFail(FaultOp::SetEndOfFile)) return false;
    return inner_->SetEndOfFile();
  }
  bool Flush() override {
    if (Dead() || fs_.ShouldFail(FaultOp::Flush)) return false;
    return inner_->Flush();
  }

 private:
  bool Dead() const {
    if (generation_ == fs_.Generation()) return false;
    SetLastErrorCode(kErrorNotReady);
    return true;
  }

  FaultFileSystem& fs_;
  std::unique_ptr<IFile> inner_;
  uint64_t generation_;
};

uint32_t DefaultError(FaultOp op) {
  switch (op) {
    case FaultOp::Open:
      return kErrorAccessDenied;
    case FaultOp::Read:
      return kErrorReadFault;
    default:
      return kErrorWriteFault;
  }
}

}  // namespace

std::unique_ptr<IFile> FaultFileSystem::Open(const std::string& path, FileAccess access, FileShare share,
                                             FileDisposition disposition) {
  if (ShouldFail(FaultOp::Open)) return nullptr;
  auto inner = inner_.Open(path, access, share, disposition);
  if (!inner) return nullptr;
  return std::make_unique<FaultFile>(*this, std::move(inner));
}

void FaultFileSystem::FailNth(FaultOp op, int64_t nth, bool persistent, uint32_t error) {
  Rule& rule = rules_[Index(op)];
  rule.armed = true;
  rule.start = calls_[Index(op)];
  rule.nth = nth;
  rule.persistent = persistent;
  rule.error = error != 0 ? error : DefaultError(op);
}

void FaultFileSystem::Disarm() {
  for (Rule& rule : rules_) rule.armed = false;
}

void FaultFileSystem::Crash(bool dropUnflushed) {
  ++generation_;
  if (dropUnflushed)
    if (auto* memory = dynamic_cast<MemoryFileSystem*>(&inner_)) memory->DropUnflushed();
}

bool FaultFileSystem::ShouldFail(FaultOp op) {
  const int64_t call = ++calls_[Index(op)];
  const Rule& rule = rules_[Index(op)];
  if (!rule.armed) return false;
  const int64_t k = call - rule.start;
  if (k == rule.nth || (rule.persistent && k > rule.nth)) {
    ++injected_;
    SetLastErrorCode(rule.error);
    return true;
  }
  return false;
}

}  // namespace platform
