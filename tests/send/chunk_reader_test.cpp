#include "chunk_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "crypto/sha256.h"
#include "support/temp_dir.h"

namespace {

std::string digest_of(const std::string& bytes) {
  uint8_t d[32];
  sha256(bytes.data(), bytes.size(), d);
  return std::string(reinterpret_cast<char*>(d), 32);
}

std::string filler(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; i++) s[i] = char((i * 131 + i / 251) & 0xff);
  return s;
}

// Chunks come in order, each behind its headroom, and together they are [from, to); the
// digest covers [0, to). Files of one chunk are read when they are opened, longer ones on the
// reader's thread: both ways, with and without a resumed prefix.
TEST(ChunkReader, HandsOutTheRangeInOrderAndHashesFromTheStart) {
  constexpr size_t kHeadroom = 28, kChunk = 1000;
  struct Case {
    size_t size, from;
  } cases[] = {{0, 0},    {1, 0},    {999, 0},   {1000, 0},   {1001, 0},
               {20500, 0}, {2500, 1700}, {2500, 2500}, {2500, 1000}, {9000, 10}};
  TempDir dir;
  for (const Case& c : cases) {
    const std::string content = filler(c.size), path = dir.file("f.bin");
    ASSERT_TRUE(write_file(path, content));
    ChunkReader* r = chunk_reader_start(path.c_str(), c.from, c.size, kHeadroom, kChunk);
    ASSERT_NE(r, nullptr) << c.size << " from " << c.from;
    std::string got;
    uint8_t* buf;
    size_t len;
    int rc;
    while ((rc = chunk_reader_next(r, &buf, &len)) == 1) {
      EXPECT_GT(len, 0u);
      EXPECT_LE(len, kChunk);
      got.append(reinterpret_cast<char*>(buf) + kHeadroom, len);
      chunk_reader_release(r);
    }
    EXPECT_EQ(rc, 0) << c.size << " from " << c.from;
    EXPECT_TRUE(got == content.substr(c.from)) << c.size << " from " << c.from;
    uint8_t d[32];
    chunk_reader_digest(r, d);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(d), 32), digest_of(content))
        << c.size << " from " << c.from;
    chunk_reader_stop(r);
  }
}

// A file shorter than promised (it shrank after it was listed) ends in -1, whether it fits
// one chunk or not; a missing file gives no reader at all.
TEST(ChunkReader, ShortOrMissingFileFails) {
  TempDir dir;
  const std::string path = dir.file("short.bin");
  ASSERT_TRUE(write_file(path, filler(500)));
  for (uint64_t promised : {800u, 5000u}) {
    ChunkReader* r = chunk_reader_start(path.c_str(), 0, promised, 28, 1000);
    ASSERT_NE(r, nullptr);
    uint8_t* buf;
    size_t len;
    int rc;
    while ((rc = chunk_reader_next(r, &buf, &len)) == 1) chunk_reader_release(r);
    EXPECT_EQ(rc, -1) << promised;
    chunk_reader_stop(r);
  }
  EXPECT_EQ(chunk_reader_start(dir.file("none").c_str(), 0, 10, 28, 1000), nullptr);
}

// Stopping before every chunk was taken ends the reader's thread without waiting for the end.
TEST(ChunkReader, StopsHalfWay) {
  TempDir dir;
  const std::string path = dir.file("big.bin");
  ASSERT_TRUE(write_file(path, filler(100000)));
  ChunkReader* r = chunk_reader_start(path.c_str(), 0, 100000, 28, 1000);
  ASSERT_NE(r, nullptr);
  uint8_t* buf;
  size_t len;
  ASSERT_EQ(chunk_reader_next(r, &buf, &len), 1);
  chunk_reader_stop(r);
}

}  // namespace
