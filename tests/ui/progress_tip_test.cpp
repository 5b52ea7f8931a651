// The tray tooltip during a transfer: whatever the peer's name and the language, the text fits
// the tooltip's 63 UTF-16 units, is whole UTF-8 and keeps the percentage.
#include "app/messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ui/desktop.h"
#include "ui/format.h"
#include "ui/session_events.h"

namespace {

// True when every byte belongs to a complete UTF-8 sequence.
bool whole_utf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

TEST(ProgressTip, FitsTheTooltipInEveryLanguageWhateverTheName) {
  const std::string names[] = {
      "Anna",
      "Anna's iPhone",
      std::string(63, 'x'),                       // the longest name a peer can have
      "Alexandra Konstantinopoulou-Papadopoulou's iPad Pro",  // 51 characters
      "東京のとても長い名前の電話機東京のとても長い名前",  // 24 characters, 72 bytes
      "😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀",               // 30 units, 60 bytes
  };
  for (int lang = 0; lang < LANGUAGE_COUNT; ++lang) {
    set_language(lang);
    for (const std::string& name : names) {
      SCOPED_TRACE(testing::Message() << "language " << lang << " name " << name);
      char tip[128];
      std::memset(tip, 'x', sizeof tip);
      progress_tip_text(name.c_str(), 100, tip, sizeof tip);
      std::string text = tip;
      EXPECT_TRUE(whole_utf8(text)) << text;
      EXPECT_LE(utf16_length(tip), size_t{TRAY_TIP_UNITS}) << text;
      EXPECT_NE(text.find("100"), std::string::npos) << text;
      // The name shows: whole when there is room, else its start.
      EXPECT_NE(text.find(name.substr(0, 4)), std::string::npos) << text;
    }
  }
  set_language(LANG_ENGLISH);
  char tip[128];
  progress_tip_text("Anna", 42, tip, sizeof tip);
  EXPECT_STREQ(tip, "Receiving from Anna: 42%");
  // 63 units exactly: the whole tooltip is used.
  progress_tip_text(std::string(63, 'x').c_str(), 7, tip, sizeof tip);
  EXPECT_EQ(std::string(tip), "Receiving from " + std::string(29, 'x') + "\xE2\x80\xA6" +
                                  std::string(14, 'x') + ": 7%");
}

TEST(ProgressTip, ASmallBufferStillGetsWholeCharacters) {
  set_language(LANG_JAPANESE);
  char tip[40];
  progress_tip_text("東京のとても長い名前の電話機", 50, tip, sizeof tip);
  EXPECT_TRUE(whole_utf8(tip)) << tip;
  EXPECT_NE(std::string(tip).find("50"), std::string::npos) << tip;
  set_language(LANG_ENGLISH);
}

}  // namespace
