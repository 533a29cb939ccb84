// Exception hierarchy of the system. Every error the engine, the streams and
// the container raise is an Exception (or a subclass) carrying the exact
// message text that callers and tests compare against.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }

  std::string Message;
};

// Stream errors of the byte-stream base ("Stream read error", ...).
class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// An operating-system failure raised as an error: carries the system's error
// code beside its text.
class EOSError : public Exception {
 public:
  EOSError(uint32_t code, std::string message) : Exception(std::move(message)), ErrorCode(code) {}
  uint32_t ErrorCode;
};
