// The abstract byte stream that the stored-file streams derive from.
//
// Virtual operations, in slot order: SetSize (32-bit), SetSize (64-bit),
// Read, Write, Seek (32-bit offset, 16-bit origin), Seek (64-bit offset,
// origin). The 32-bit forms forward to the 64-bit ones, which derived classes
// must supply. Position, Size, ReadBuffer and WriteBuffer are built on them.
// Seek origins: 0 from the beginning, 1 from the current position, 2 from the
// end.
//
// A derived class that overrides one overload of SetSize or Seek should write
// `using TStream::SetSize; using TStream::Seek;` so the others stay visible.
#pragma once

#include <cstdint>

class TStream {
 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  virtual void SetSize(int32_t newSize);
  virtual void SetSize(int64_t newSize) = 0;
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  virtual int32_t Seek(int32_t offset, uint16_t origin);
  virtual int64_t Seek(int64_t offset, uint16_t origin) = 0;

  int64_t GetPosition();
  void SetPosition(int64_t position);
  // Remembers the position, seeks to the end for the size, seeks back.
  int64_t GetSize();

  // Raise EReadError "Stream read error" / EWriteError "Stream write error"
  // when fewer than count bytes move. A count of 0 does nothing.
  void ReadBuffer(void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);
};
