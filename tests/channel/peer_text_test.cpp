#include "channel/peer_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string shown(const std::string& in, size_t cap = 256) {
  std::string out(cap, '#');
  peer_text_for_display(in.c_str(), out.data(), cap);
  return out.c_str();
}

const std::string R = kReplacementChar;

struct Case {
  const char* what;
  std::string in;
  std::string want;
};

// One row per rule: what a hostile device name or file name would use it for.
TEST(PeerText, HostileNamesAreShownSafely) {
  const Case cases[] = {
      {"plain text stays", "Anna's phone", "Anna's phone"},
      {"other scripts stay", "\xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0 \xF0\x9F\x93\xB1",
       "\xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0 \xF0\x9F\x93\xB1"},
      {"line feed cannot start a line", "Anna\nCode: 000000", "Anna" + R + "Code: 000000"},
      {"carriage return", "Anna\rCode", "Anna" + R + "Code"},
      {"escape cannot start a sequence", "A\x1b[2KB", "A" + R + "[2KB"},
      {"tab", "a\tb", "a" + R + "b"},
      {"DEL", "a\x7f" "b", "a" + R + "b"},
      {"C1 control (CSI)", "a\xC2\x9B" "2J", "a" + R + "2J"},
      {"C1 next line", "a\xC2\x85" "b", "a" + R + "b"},
      {"line separator", "a\xE2\x80\xA8" "b", "a" + R + "b"},
      {"paragraph separator", "a\xE2\x80\xA9" "b", "a" + R + "b"},
      {"arabic letter mark", "a\xD8\x9C" "b", "a" + R + "b"},
      {"left-to-right mark", "a\xE2\x80\x8E" "b", "a" + R + "b"},
      {"right-to-left mark", "a\xE2\x80\x8F" "b", "a" + R + "b"},
      {"right-to-left override", "invoice\xE2\x80\xAE" "fdp.exe", "invoice" + R + "fdp.exe"},
      {"embedding, first of its range", "a\xE2\x80\xAA" "b", "a" + R + "b"},
      {"first isolate", "a\xE2\x81\xA6" "b", "a" + R + "b"},
      {"pop isolate, last of its range", "a\xE2\x81\xA9" "b", "a" + R + "b"},
      {"neighbours of the ranges stay", "\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
       "\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA"},
      {"stray continuation byte", "a\x80" "b", "a" + R + "b"},
      {"lone lead byte before ASCII", "a\xC3" "b", "a" + R + "b"},
      {"overlong slash", "a\xC0\xAF" "b", "a" + R + R + "b"},
      {"surrogate", "a\xED\xA0\x80" "b", "a" + R + R + R + "b"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", R + R + R + R},
      {"sequence cut by the end", "ab\xE2\x80", "ab" + R + R},
  };
  for (const Case& c : cases) EXPECT_EQ(shown(c.in), c.want) << c.what;
}

TEST(PeerText, CutsOnlyAtCharacterBoundaries) {
  // 8 bytes of room: "ab" and one replacement (5) fit, a second one (8) does not.
  EXPECT_EQ(shown("ab\n\n", 8), "ab" + R);
  EXPECT_EQ(shown("\xE2\x82\xAC\xE2\x82\xAC", 6), "\xE2\x82\xAC");
  EXPECT_EQ(shown("abc", 1), "");
  EXPECT_EQ(shown("", 4), "");
  char out[4] = "xyz";
  peer_text_for_display(nullptr, out, sizeof out);
  EXPECT_STREQ(out, "");
  // Three bytes of output per input byte is enough for the worst input.
  std::string worst(20, '\x01');
  std::string got = shown(worst, worst.size() * 3 + 1);
  EXPECT_EQ(got.size(), worst.size() * 3);
}

TEST(PeerText, ValidityCheck) {
  EXPECT_TRUE(utf8_is_valid("photo.jpg", 9));
  EXPECT_TRUE(utf8_is_valid("\xC3\xA9t\xC3\xA9", 5));
  EXPECT_TRUE(utf8_is_valid("", 0));
  EXPECT_FALSE(utf8_is_valid("a\xFF", 2));
  EXPECT_FALSE(utf8_is_valid("\xC3", 1));
  EXPECT_FALSE(utf8_is_valid("a\0b", 3));
  EXPECT_FALSE(utf8_is_valid("\xE0\x80\x80", 3));
}

TEST(PeerText, DropsACharacterCutAtTheEnd) {
  const Case cases[] = {
      {"cut after a lead byte", "ab\xE2", "ab"},
      {"cut inside a four-byte character", "ab\xF0\x9F\x93", "ab"},
      {"whole character stays", "ab\xE2\x82\xAC", "ab\xE2\x82\xAC"},
      {"ASCII stays", "abc", "abc"},
      {"only a cut character", "\xC3", ""},
  };
  for (const Case& c : cases) {
    std::string text = c.in;
    utf8_drop_cut_tail(text.data());
    EXPECT_STREQ(text.c_str(), c.want.c_str()) << c.what;
  }
}

}  // namespace
