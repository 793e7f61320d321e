#include <gtest/gtest.h>

#include <numeric>

#include "foundation/assert.h"
#include "package/partial_stream.h"
#include "test_util.h"

namespace zem {
namespace {

std::vector<uint8_t> Counting(size_t n) {
  std::vector<uint8_t> v(n);
  std::iota(v.begin(), v.end(), uint8_t(0));
  return v;
}

TEST(PartialStream, WindowReadsOnlyItsBytesAndRefusesBadPositions) {
  TMemoryStream source(Counting(200));
  std::string err;
  auto w = TPartialStream::Create(&source, false, 50, 100, &err);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->Size(), 100);
  EXPECT_EQ(w->Position(), 0);
  uint8_t buf[300];
  EXPECT_EQ(w->Read(buf, 300), 100);  // never beyond the window
  EXPECT_EQ(buf[0], 50);
  EXPECT_EQ(buf[99], 149);
  EXPECT_EQ(w->Read(buf, 10), 0);
  EXPECT_EQ(w->Seek(-10, TSeekOrigin::End), 90);
  EXPECT_EQ(w->Read(buf, 300), 10);
  EXPECT_EQ(buf[0], 140);
  EXPECT_EQ(w->Seek(-1, TSeekOrigin::Begin), -1);
  EXPECT_EQ(w->LastError(), "Incorrect Position");
  EXPECT_FALSE(w->SetSize(10));
  EXPECT_EQ(w->LastError(), "Stream Cannot be resized");
  EXPECT_EQ(w->Size(), 100);
}

TEST(PartialStream, WindowOutsideSourceIsRefused) {
  TMemoryStream source(Counting(100));
  std::string err;
  EXPECT_FALSE(TPartialStream::Create(&source, false, 50, 51, &err));
  EXPECT_EQ(err, "Insufficient Source Size");
  EXPECT_FALSE(TPartialStream::Create(&source, false, 101, 0, &err));
  EXPECT_EQ(err, "Insufficient Source Size");
  // Offsets near the 64-bit limit must not wrap around.
  EXPECT_FALSE(TPartialStream::Create(&source, false, 10, INT64_MAX, &err));
  EXPECT_FALSE(TPartialStream::Create(&source, false, -1, 10, &err));
  EXPECT_EQ(err, "Incorrect Position");
  EXPECT_TRUE(TPartialStream::Create(&source, false, 100, 0, &err));
}

int g_throttle_calls = 0;
void CountThrottle() { ++g_throttle_calls; }

TEST(PartialStream, ThrottleRunsAfterEveryChunk) {
  TMemoryStream source(Counting(1000));
  auto w = TPartialStream::Create(&source, false, 0, 1000);
  ASSERT_TRUE(w);
  g_throttle_calls = 0;
  w->SetThrottle(CountThrottle);  // without a request: 256-byte chunks
  EXPECT_EQ(w->ChunkSize(), TPartialStream::kThrottledChunk);
  std::vector<uint8_t> buf(1000);
  EXPECT_EQ(w->Read(buf.data(), 1000), 1000);
  EXPECT_EQ(g_throttle_calls, 4);
  EXPECT_EQ(buf, Counting(1000));
  w->SetPosition(0);
  g_throttle_calls = 0;
  w->SetThrottle(CountThrottle, TPartialStream::kChunk);
  EXPECT_EQ(w->Read(buf.data(), 1000), 1000);
  EXPECT_EQ(g_throttle_calls, 1);
}

TEST(CryptStream, ReadsAtAnyOffsetUseTheMatchingKeyByte) {
  const auto& key = PackageScrambleKey();
  ASSERT_EQ(key.size(), 32u);
  EXPECT_EQ(std::string(key.begin(), key.end()), "7F3C1A90D24E58B6A1C0E9F2354D8B17");
  std::vector<uint8_t> plain = test::Noise(1000, 7);
  std::vector<uint8_t> stored = plain;
  TCryptStream::Apply(stored.data(), static_cast<int64_t>(stored.size()), 0, key);
  EXPECT_EQ(stored[40], plain[40] ^ key[8]);  // position 40 starts at key byte 8

  TCryptStream crypt(std::make_unique<TMemoryStream>(stored), key);
  for (int64_t pos : {0, 1, 31, 32, 33, 40, 63, 511, 999}) {
    ASSERT_EQ(crypt.Seek(pos, TSeekOrigin::Begin), pos);
    uint8_t buf[77];
    int64_t n = crypt.Read(buf, sizeof buf);
    ASSERT_EQ(n, std::min<int64_t>(77, 1000 - pos));
    for (int64_t i = 0; i < n; ++i) ASSERT_EQ(buf[i], plain[pos + i]) << "at " << pos + i;
  }
}

TEST(CryptStream, WriteScramblesACopyAndReadsBack) {
  std::vector<uint8_t> plain = test::Text(100);
  const std::vector<uint8_t> original = plain;
  auto* mem = new TMemoryStream();
  TCryptStream crypt(std::unique_ptr<TStream>(mem), PackageScrambleKey());
  crypt.Seek(0, TSeekOrigin::Begin);
  EXPECT_EQ(crypt.Write(plain.data(), 60), 60);
  EXPECT_EQ(crypt.Write(plain.data() + 60, 40), 40);  // continues the key at byte 60
  EXPECT_EQ(plain, original);                          // the caller's data is untouched
  EXPECT_NE(mem->Data(), original);
  crypt.Seek(0, TSeekOrigin::Begin);
  EXPECT_EQ(test::ReadAll(crypt), original);
}

TEST(CryptStream, EmptyKeyIsAProgrammingError) {
  EXPECT_THROW(TCryptStream(std::make_unique<TMemoryStream>(), {}), EAssertionFailed);
}

}  // namespace
}  // namespace zem
