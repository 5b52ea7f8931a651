#include "ui/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

std::string bytes_text(uint64_t n) {
  char buf[FORMAT_BYTES_CAP];
  std::memset(buf, 'x', sizeof buf);
  format_bytes(n, buf, sizeof buf);
  return buf;
}

TEST(FormatBytes, UnitsAndThresholds) {
  const uint64_t KiB = 1024, MiB = KiB * 1024, GiB = MiB * 1024, TiB = GiB * 1024;
  struct Case {
    uint64_t n;
    const char* text;
  } const cases[] = {
      {0, "0 B"},
      {1, "1 B"},
      {1023, "1023 B"},
      {1024, "1.0 KB"},
      {1536, "1.5 KB"},
      {1280, "1.2 KB"},  // exact ties round to even, the same on both builds
      {1792, "1.8 KB"},
      {10 * KiB + 102, "10.1 KB"},
      {MiB - 1, "1024.0 KB"},  // rounds up but stays in KB: the unit follows the count
      {MiB, "1.0 MB"},
      {MiB + MiB / 2, "1.5 MB"},
      {3 * MiB, "3.0 MB"},
      {GiB - 1, "1024.0 MB"},
      {GiB, "1.00 GB"},
      {GiB + GiB / 4, "1.25 GB"},
      {5 * TiB, "5120.00 GB"},
      {UINT64_MAX, "17179869184.00 GB"},
  };
  for (const Case& c : cases) EXPECT_EQ(bytes_text(c.n), c.text) << c.n;
}

TEST(FormatBytes, CutsToTheBufferAndAlwaysTerminates) {
  char buf[5];
  std::memset(buf, 'x', sizeof buf);
  format_bytes(1536, buf, sizeof buf);
  EXPECT_STREQ(buf, "1.5 ");

  char one[1] = {'x'};
  format_bytes(999, one, sizeof one);
  EXPECT_EQ(one[0], '\0');

  char untouched[2] = {'x', 'y'};
  format_bytes(999, untouched, 0);  // no room at all: nothing written
  EXPECT_EQ(untouched[0], 'x');
  format_bytes(999, nullptr, 8);  // must not crash
}

TEST(ProgressFigures, PercentAndPermille) {
  struct Case {
    uint64_t done, total;
    int percent, permille;
  } const cases[] = {
      {0, 0, 0, 0},            // nothing offered yet: 0, not a division by zero
      {5, 0, 0, 0},
      {0, 1000, 0, 0},
      {1, 3, 33, 333},         // truncated, not rounded
      {2, 3, 66, 666},
      {999, 1000, 99, 999},
      {1000, 1000, 100, 1000},
      {1500, 1000, 150, 1000},  // the tooltip may pass 100; the bar stays full
      {UINT64_MAX / 100, UINT64_MAX / 100, 100, 1000},  // products past 2^64 do not wrap
      {UINT64_MAX, UINT64_MAX, 100, 1000},
      {UINT64_MAX / 2, UINT64_MAX, 49, 499},
      {uint64_t{1} << 40, 1, INT_MAX, 1000},  // a wild report never turns negative
  };
  for (const Case& c : cases) {
    EXPECT_EQ(progress_percent(c.done, c.total), c.percent) << c.done << "/" << c.total;
    EXPECT_EQ(progress_permille(c.done, c.total), c.permille) << c.done << "/" << c.total;
  }
}

TEST(ProgressFigures, DetailLine) {
  const uint64_t MiB = 1024 * 1024;
  struct Case {
    const char* path;
    uint64_t done, total;
    const char* text;
  } const cases[] = {
      {"photos/a.jpg", MiB + MiB / 2, 3 * MiB, "photos/a.jpg  1.5 MB / 3.0 MB (50%)"},
      {"", 512, 2048, "512 B / 2.0 KB (25%)"},       // no path: starts with the counts
      {nullptr, 512, 2048, "512 B / 2.0 KB (25%)"},
      {"x", 0, 0, "x  0 B / 0 B (0%)"},              // nothing offered
      {"x", 5000, 1000, "x  1000 B / 1000 B (100%)"},  // done held at total
      {"b", 1999, 2000, "b  2.0 KB / 2.0 KB (99%)"},  // percent from the bar's permille
      {"名前.txt", 1, 2, "名前.txt  1 B / 2 B (50%)"},
  };
  for (const Case& c : cases) {
    char buf[420];
    progress_detail_text(c.path, c.done, c.total, buf, sizeof buf);
    EXPECT_STREQ(buf, c.text);
  }
}

TEST(ProgressFigures, DetailLineIsCutToItsBuffer) {
  std::string long_path(500, 'p');
  char buf[420];
  progress_detail_text(long_path.c_str(), 1, 2, buf, sizeof buf);
  EXPECT_EQ(std::string(buf), long_path.substr(0, sizeof buf - 1));

  char small[8];
  progress_detail_text("a", 1, 2, small, sizeof small);
  EXPECT_STREQ(small, "a  1 B ");
}

}  // namespace
