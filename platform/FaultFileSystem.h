// A fault-injecting wrapper around any file system, for tests of every layer.
//
// Counts the calls of each kind made through files it opened and fails the
// Nth one (counted from the moment the rule is armed), once or from then on,
// with a chosen Windows error number. Crash() simulates a power loss: every
// file opened before it fails from then on and, over a MemoryFileSystem, what
// was never flushed is dropped. Fault loops arm N = 1, 2, ... and stop at the
// first N for which Injected() stays 0.
//
// The wrapper must outlive the files it opened. Not thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Files.h"

namespace platform {

enum class FaultOp { Open, Read, Write, Flush, SetEndOfFile };
constexpr int kFaultOpCount = 5;

class FaultFileSystem : public IFileSystem {
 public:
  explicit FaultFileSystem(IFileSystem& inner) : inner_(inner) {}
  FaultFileSystem(const FaultFileSystem&) = delete;
  FaultFileSystem& operator=(const FaultFileSystem&) = delete;

  std::unique_ptr<IFile> Open(const std::string& path, FileAccess access, FileShare share,
                              FileDisposition disposition) override;
  bool Exists(const std::string& path) override { return inner_.Exists(path); }
  bool Remove(const std::string& path) override { return inner_.Remove(path); }

  // Fails the `nth` (1-based) call of `op` from now on; with `persistent`,
  // that call and every later one. `error` 0 picks a fitting default
  // (kErrorReadFault for reads, kErrorWriteFault for writes, flushes and size
  // changes, kErrorAccessDenied for opens). Replaces an earlier rule for op.
  void FailNth(FaultOp op, int64_t nth, bool persistent = false, uint32_t error = 0);
  // Removes every rule (counters keep running).
  void Disarm();
  // Calls of `op` since construction (failed ones included).
  int64_t Calls(FaultOp op) const { return calls_[Index(op)]; }
  // Failures injected since construction.
  int64_t Injected() const { return injected_; }
  // Power loss: files opened so far fail every call (kErrorNotReady); with
  // `dropUnflushed` and a MemoryFileSystem inside, unflushed data is lost.
  // Files opened afterwards work again (the "restarted" process).
  void Crash(bool dropUnflushed = true);

  // Used by the wrapped files: counts a call of `op` and says whether it
  // must fail (then the error is already recorded).
  bool ShouldFail(FaultOp op);
  uint64_t Generation() const { return generation_; }

 private:
  struct Rule {
    bool armed = false;
    int64_t start = 0;  // Calls() when armed
    int64_t nth = 0;
    bool persistent = false;
    uint32_t error = 0;
  };
  static size_t Index(FaultOp op) { return static_cast<size_t>(op); }

  IFileSystem& inner_;
  std::array<int64_t, kFaultOpCount> calls_{};
  std::array<Rule, kFaultOpCount> rules_{};
  int64_t injected_ = 0;
  uint64_t generation_ = 0;  // bumped by Crash
};

}  // namespace platform
