#include "mdns/service_description.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/system.h"

namespace {

std::string sanitize(const std::string& text, size_t capacity = 48) {
  char out[64];
  memset(out, 'Z', sizeof out);
  sanitize_host_label(text.c_str(), out, capacity);
  return out;
}

TEST(SanitizeHostLabel, Table) {
  struct Case {
    const char* text;
    const char* label;
  };
  const Case cases[] = {
      {"OFFICE-PC7", "OFFICE-PC7"},
      {"Windows PC", "Windows-PC"},
      {"PC #2-home", "PC-2-home"},
      {"two__words", "two-words"},
      {"two  words", "two-words"},
      {"a - _ b", "a-b"},
      {"a-#-b", "a-b"},  // a dropped byte does not separate: the '-' on both sides collapse
      {"a#b", "ab"},
      {"-x-", "x"},
      {"  _lead and trail_  ", "lead-and-trail"},
      {"Café Ünïcode", "Caf-ncode"},
      {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "ferrylink-pc"},  // Japanese only
      {"___", "ferrylink-pc"},
      {"#!?", "ferrylink-pc"},
      {"", "ferrylink-pc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(sanitize(c.text), c.label);
  }
}

TEST(SanitizeHostLabel, LengthLimits) {
  const std::string letters60(60, 'k');
  EXPECT_EQ(sanitize(letters60), std::string(40, 'k'));
  // The 40th character would be '-': it goes with the trailing separators, leaving 39.
  EXPECT_EQ(sanitize(std::string(39, 'a') + " tail"), std::string(39, 'a'));
  // Separators beyond the 40th character are never looked at.
  EXPECT_EQ(sanitize(std::string(40, 'a') + "-b"), std::string(40, 'a'));
  // A small buffer bounds the label at capacity - 1, also for the fallback.
  EXPECT_EQ(sanitize("abcdefgh", 5), "abcd");
  EXPECT_EQ(sanitize("a-b-c", 3), "a");
  EXPECT_EQ(sanitize("", 8), "ferryli");
  EXPECT_EQ(sanitize("abc", 1), "");
  char untouched[4] = "xyz";
  sanitize_host_label("abc", untouched, 0);
  EXPECT_STREQ(untouched, "xyz");
}

std::string default_name() {
  char name[64];
  default_device_name(name, sizeof name);
  return name;
}

TEST(DefaultDeviceName, IsTheComputerNameOrTheFallback) {
  char computer[64];
  std::string expected = (computer_name_utf8(computer, sizeof computer) == 0 && computer[0])
                             ? computer
                             : "Windows PC";
  EXPECT_EQ(default_name(), expected);
  char tiny[3];
  default_device_name(tiny, sizeof tiny);
  EXPECT_EQ(strlen(tiny), 2u) << "cut to the buffer, always terminated";
}

ServiceDescription describe(const char* setting, uint16_t port = 47650) {
  ServiceDescription d;
  memset(&d, 0xAB, sizeof d);  // everything not filled must come out zero
  build_service_description(&d, setting, "0123456789abcdef", port);
  return d;
}

TEST(BuildServiceDescription, NamesFromTheSetting) {
  struct Case {
    const char* setting;
    const char* instance;
    const char* host;
  };
  const Case cases[] = {
      {"PC #2.home", "PC #2-home", "PC-2-home"},
      {"Windows PC", "Windows PC", "Windows-PC"},
      {"a.b.c", "a-b-c", "a-b-c"},
      {"\xE6\x97\xA5\xE6\x9C\xAC", "\xE6\x97\xA5\xE6\x9C\xAC", "ferrylink-pc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    ServiceDescription d = describe(c.setting);
    EXPECT_STREQ(d.instance, c.instance);
    EXPECT_STREQ(d.host, c.host);
    EXPECT_EQ(std::string(d.txt[2]), std::string("nm=") + c.instance);
  }
}

TEST(BuildServiceDescription, SevenTxtStringsInOrder) {
  ServiceDescription d = describe("Desk", 47651);
  EXPECT_EQ(d.port, 47651);
  ASSERT_EQ(d.txt_count, 7);
  const std::string expected[] = {"v=1",           "id=0123456789abcdef", "nm=Desk",
                                  "os=" FL_TEST_OS_WORD, "sv=0.1.0",   "pm=0",
                                  "op=1"};
  for (int i = 0; i < 7; i++) EXPECT_EQ(d.txt[i], expected[i]) << i;
  // Unused slots and the address list are zero: the responder fills the addresses.
  EXPECT_EQ(d.txt[7][0], '\0');
  EXPECT_EQ(d.txt[6][sizeof d.txt[6] - 1], '\0');
  EXPECT_EQ(d.address_count, 0);
  for (uint32_t a : d.addresses) EXPECT_EQ(a, 0u);
  EXPECT_EQ(d.instance[sizeof d.instance - 1], '\0');
  EXPECT_EQ(d.host[sizeof d.host - 1], '\0');
}

TEST(BuildServiceDescription, EmptySettingUsesTheDefaultName) {
  std::string name = default_name();
  for (char& c : name)
    if (c == '.') c = '-';
  for (const char* setting : {"", static_cast<const char*>(nullptr)}) {
    ServiceDescription d = describe(setting);
    EXPECT_EQ(d.instance, name);
    EXPECT_EQ(d.txt[2], "nm=" + name);
    EXPECT_EQ(d.host, sanitize(name));
  }
}

TEST(BuildServiceDescription, LongSettingsAreCutAtACharacterBoundary) {
  EXPECT_EQ(std::string(describe(std::string(100, 'n').c_str()).instance), std::string(63, 'n'));
  // 62 bytes and a two-byte character: cutting at 63 would leave half a character, which
  // readers of the instance name reject.
  std::string split = std::string(62, 'n') + "\xC3\xA9" + "more";
  EXPECT_EQ(std::string(describe(split.c_str()).instance), std::string(62, 'n'));
  std::string fits = std::string(61, 'n') + "\xC3\xA9" + "more";
  EXPECT_EQ(std::string(describe(fits.c_str()).instance), std::string(61, 'n') + "\xC3\xA9");
}

TEST(BuildServiceDescription, ResultIsAValidAnnouncement) {
  ServiceDescription d = describe("Kitchen.lan");
  d.addresses[0] = 0x0A000002;
  d.address_count = 1;
  uint8_t buf[1400];
  EXPECT_GT(dns_build_response(&d, kAnswerAnnounce, 0, buf, sizeof buf), 0);
}

}  // namespace
