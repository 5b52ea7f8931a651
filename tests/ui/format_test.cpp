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

namespace {

std::string shortened(const char* text, size_t max_units, size_t cap = 512) {
  std::string out(cap, 'x');
  shorten_middle(text, max_units, out.data(), cap);
  return out.c_str();
}

const char kEllipsis[] = "\xE2\x80\xA6";

}  // namespace

TEST(Utf16Length, CountsUnitsAsWindowsFieldsDo) {
  struct Case {
    const char* text;
    size_t units;
  } const cases[] = {
      {"", 0},
      {"a.jpg", 5},
      {"Grüße", 5},
      {"写真.jpg", 6},
      {"\xF0\x9F\x98\x80", 2},       // an emoji needs a surrogate pair
      {"e\xCC\x81", 2},              // a combining accent is a unit of its own
      {"\xFF\xFE" "a", 3},           // bytes that start nothing count one each
      {"\xE6\x97", 2},               // a sequence cut short by the end
  };
  for (const Case& c : cases) EXPECT_EQ(utf16_length(c.text), c.units) << c.text;
  EXPECT_EQ(utf16_length(nullptr), 0u);
}

TEST(ShortenMiddle, KeepsStartAndExtension) {
  struct Case {
    const char* text;
    size_t max_units;
    std::string want;
  } const cases[] = {
      {"a.jpg", 10, "a.jpg"},
      {"IMG_20240715_183422_HDR.jpg", 27, "IMG_20240715_183422_HDR.jpg"},
      {"IMG_20240715_183422_HDR.jpg", 20, std::string("IMG_20240715_") + kEllipsis + "DR.jpg"},
      {"photos/2024/summer_holiday_beach.jpeg", 16,
       std::string("photos/202") + kEllipsis + ".jpeg"},
      // An extension longer than 16 units is no extension: the end is a third.
      {"notes.abcdefghijklmnopqrstuvwxyz", 10, std::string("notes.") + kEllipsis + "xyz"},
      // A leading dot names a hidden file, not an extension.
      {".bash_history_of_a_long_session", 10, std::string(".bash_") + kEllipsis + "ion"},
      {"日本の写真とても長い名前.jpeg", 10, std::string("日本の写") + kEllipsis + ".jpeg"},
      // Surrogate pairs stay whole; a unit that cannot take half of one stays unused.
      {"😀😀😀😀😀😀.png", 9, std::string("😀😀") + kEllipsis + ".png"},
      {"😀😀😀😀😀😀.png", 8, std::string("😀") + kEllipsis + ".png"},
      // The accent stays with its letter.
      {"Cafe\xCC\x81" "Cafe\xCC\x81" "Cafe\xCC\x81.txt", 9,
       std::string("Caf") + kEllipsis + ".txt"},
      // So does a joined emoji (woman, joiner, laptop): its first half alone would fit.
      {"ab\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB" "cdefgh", 8,
       std::string("ab") + kEllipsis + "gh"},
      // With too little room the start still keeps a character.
      {"abcdefgh.jpg", 3, std::string("a") + kEllipsis + "g"},
      {"abcdefgh.jpg", 1, kEllipsis},
      {"abcdefgh.jpg", 0, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(shortened(c.text, c.max_units), c.want) << c.text;
}

// Over many names and every budget: at most the budget, a prefix and a suffix of the name
// around the ellipsis, never a piece of a character on either side of the cut.
TEST(ShortenMiddle, EveryCutIsAPrefixAndSuffixAtCharacterBoundaries) {
  const char* const names[] = {
      "IMG_20240715_183422_HDR.jpg",
      "Urlaubsfotos_vom_Sommer_am_Bodensee_mit_der_ganzen_Familie.jpeg",
      "東京タワーの夜景_2024年7月15日_とても長いファイル名.heic",
      "😀😀😀😀😀😀😀😀😀😀.png",
      "Cafe\xCC\x81_Cafe\xCC\x81_Cafe\xCC\x81_Cafe\xCC\x81.txt",
      "Привет_мир_очень_длинное_имя_файла.docx",
  };
  for (const char* name : names) {
    std::string text = name;
    size_t units = utf16_length(name);
    for (size_t m = 0; m <= units + 2; ++m) {
      char out[256];
      size_t got = shorten_middle(name, m, out, sizeof out);
      std::string s = out;
      EXPECT_EQ(got, utf16_length(out)) << name << " " << m;
      if (units <= m) {
        EXPECT_EQ(s, text) << m;
        continue;
      }
      EXPECT_LE(got, m) << name << " " << m;
      if (m == 0) {
        EXPECT_EQ(s, "");
        continue;
      }
      size_t cut = s.find(kEllipsis);
      ASSERT_NE(cut, std::string::npos) << name << " " << m;
      std::string head = s.substr(0, cut), tail = s.substr(cut + 3);
      EXPECT_EQ(text.compare(0, head.size(), head), 0) << s;
      ASSERT_LE(tail.size(), text.size());
      EXPECT_EQ(text.compare(text.size() - tail.size(), tail.size(), tail), 0) << s;
      // The byte after the start and the first byte of the end begin characters.
      unsigned char after_head = static_cast<unsigned char>(text[head.size()]);
      EXPECT_NE(after_head & 0xC0, 0x80) << s;
      EXPECT_NE(text.compare(head.size(), 2, "\xCC\x81"), 0) << "accent cut off: " << s;
      if (!tail.empty()) {
        EXPECT_NE(static_cast<unsigned char>(tail[0]) & 0xC0, 0x80) << s;
        EXPECT_NE(tail.compare(0, 2, "\xCC\x81"), 0) << "accent cut off: " << s;
      }
    }
  }
}

TEST(ShortenMiddle, FitsItsBufferWhateverTheBudget) {
  char out[6];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(shorten_middle("abcdefghij", 100, out, sizeof out), 3u);
  EXPECT_EQ(std::string(out), std::string("ab") + kEllipsis);
  // Three-byte characters: a cap of 8 holds one of them and the ellipsis.
  char cjk[8];
  shorten_middle("写真写真写真", 100, cjk, sizeof cjk);
  EXPECT_EQ(std::string(cjk), std::string("写") + kEllipsis);

  char one[1] = {'x'};
  EXPECT_EQ(shorten_middle("abc", 10, one, 1), 0u);
  EXPECT_EQ(one[0], '\0');
  char untouched[2] = {'x', 'y'};
  shorten_middle("abc", 10, untouched, 0);
  EXPECT_EQ(untouched[0], 'x');
  shorten_middle("abc", 10, nullptr, 8);  // must not crash
  char empty[4];
  EXPECT_EQ(shorten_middle(nullptr, 10, empty, sizeof empty), 0u);
  EXPECT_STREQ(empty, "");
}
