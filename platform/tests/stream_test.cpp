#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/Exception.h"

namespace {

// A stream over a byte vector that moves at most `limit` bytes per call.
class VectorStream : public TStream {
 public:
  using TStream::Seek;
  using TStream::SetSize;
  std::vector<uint8_t> data;
  int64_t pos = 0;
  int32_t limit = 1 << 30;

  void SetSize(int64_t n) override { data.resize(static_cast<size_t>(n)); }
  int32_t Read(void* buffer, int32_t count) override {
    int64_t n = std::min<int64_t>({count, limit, static_cast<int64_t>(data.size()) - pos});
    if (n < 0) n = 0;
    std::memcpy(buffer, data.data() + pos, static_cast<size_t>(n));
    pos += n;
    return static_cast<int32_t>(n);
  }
  int32_t Write(const void* buffer, int32_t count) override {
    const int32_t n = std::min(count, limit);
    if (pos + n > static_cast<int64_t>(data.size())) data.resize(static_cast<size_t>(pos + n));
    std::memcpy(data.data() + pos, buffer, static_cast<size_t>(n));
    pos += n;
    return n;
  }
  int64_t Seek(int64_t offset, uint16_t origin) override {
    if (origin == 0) pos = offset;
    if (origin == 1) pos += offset;
    if (origin == 2) pos = static_cast<int64_t>(data.size()) + offset;
    return pos;
  }
};

TEST(StreamTest, PositionAndSizeAreBuiltOnSeek) {
  VectorStream s;
  s.data.assign(10, 0);
  s.SetPosition(3);
  EXPECT_EQ(s.GetSize(), 10);
  EXPECT_EQ(s.GetPosition(), 3);
  EXPECT_EQ(s.Seek(int32_t{2}, uint16_t{1}), 5);
  s.SetSize(int32_t{4});
  EXPECT_EQ(s.data.size(), 4u);
}

TEST(StreamTest, ShortTransfersRaiseTheStreamErrors) {
  VectorStream s;
  s.limit = 2;
  uint8_t buf[4] = {1, 2, 3, 4};
  try {
    s.WriteBuffer(buf, 4);
    FAIL() << "no error";
  } catch (const EWriteError& e) {
    EXPECT_STREQ(e.what(), "Stream write error");
  }
  s.SetPosition(0);
  try {
    s.ReadBuffer(buf, 4);
    FAIL() << "no error";
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
  // A count of 0 never raises.
  s.ReadBuffer(buf, 0);
  s.WriteBuffer(buf, 0);
}

}  // namespace
