// Swappable process-wide services.
//
// Each platform service is an interface with a default implementation for
// this operating system. Code above platform/ reaches it through an accessor
// such as platform::Files(); tests put their own implementation in place for a
// scope with ScopedService.
#pragma once

namespace platform {

// Holds the current implementation of interface I. `Default` returns the
// built-in one; Set(nullptr) goes back to it.
template <class I>
class ServiceSlot {
 public:
  using DefaultFn = I& (*)();
  explicit constexpr ServiceSlot(DefaultFn fallback) : fallback_(fallback) {}

  I& Get() const { return current_ ? *current_ : fallback_(); }
  // Installs `service` (not owned) and returns the previous override.
  I* Set(I* service) {
    I* previous = current_;
    current_ = service;
    return previous;
  }

 private:
  DefaultFn fallback_;
  I* current_ = nullptr;
};

// Installs a service for the lifetime of this object, then puts back what was
// there before. `Setter` is one of the platform::SetXxx functions.
template <class I>
class ScopedService {
 public:
  using SetFn = I* (*)(I*);
  ScopedService(SetFn setter, I& service) : setter_(setter), previous_(setter(&service)) {}
  ~ScopedService() { setter_(previous_); }
  ScopedService(const ScopedService&) = delete;
  ScopedService& operator=(const ScopedService&) = delete;

 private:
  SetFn setter_;
  I* previous_;
};

}  // namespace platform
