#include "platform/Stream.h"

#include "platform/Exception.h"

void TStream::SetSize(int32_t newSize) { SetSize(static_cast<int64_t>(newSize)); }

int32_t TStream::Seek(int32_t offset, uint16_t origin) {
  return static_cast<int32_t>(Seek(static_cast<int64_t>(offset), origin));
}

int64_t TStream::GetPosition() { return Seek(static_cast<int64_t>(0), 1); }

void TStream::SetPosition(int64_t position) { Seek(position, 0); }

int64_t TStream::GetSize() {
  const int64_t position = Seek(static_cast<int64_t>(0), 1);
  const int64_t size = Seek(static_cast<int64_t>(0), 2);
  Seek(position, 0);
  return size;
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}
