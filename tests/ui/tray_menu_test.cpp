#include "ui/tray_menu.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/messages.h"
#include "recv/allowance.h"

namespace {

// The menu as lines: "---" separator, "Text >" submenu, "  " before submenu items,
// " #id", " grayed", " checked" as they apply (the same shape the desktop driver prints).
std::vector<std::string> lines(const TrayMenu& m) {
  std::vector<std::string> out;
  for (int i = 0; i < m.count; ++i) {
    const TrayMenuItem& it = m.items[i];
    std::string line = it.in_submenu ? "  " : "";
    if (it.kind == TRAY_ITEM_SEPARATOR) {
      out.push_back(line + "---");
      continue;
    }
    line += it.text;
    if (it.kind == TRAY_ITEM_SUBMENU) {
      out.push_back(line + " >");
      continue;
    }
    line += " #" + std::to_string(it.command);
    if (it.grayed) line += " grayed";
    if (it.checked) line += " checked";
    out.push_back(line);
  }
  return out;
}

AllowanceInfo grant(const char* name, uint64_t remaining_ms) {
  AllowanceInfo g{};
  snprintf(g.peer_name, sizeof g.peer_name, "%s", name);
  g.remaining_ms = remaining_ms;
  return g;
}

class TrayMenuTest : public ::testing::Test {
protected:
  // The autostart item's words differ per system (the message table's own tests check them).
  const std::string autostart_line =
      std::string("  ") + message_text(MESSAGE_START_WITH_WINDOWS);
  void SetUp() override { set_language(LANG_ENGLISH); }
  void TearDown() override { set_language(LANG_ENGLISH); }
};

TEST_F(TrayMenuTest, WithoutAllowancesTheMenuHasOnlyTheFixedItems) {
  for (int autostart : {0, 1}) {
    TrayMenu m;
    tray_menu_build(&m, nullptr, 0, autostart);
    std::vector<std::string> want = {
        "Open inbox folder #1",
        "Settings >",
        "  Change inbox folder... #3",
        autostart_line + (autostart ? " #4 checked" : " #4"),
        "About ferrylink #5",
        "---",
        "Quit #6",
    };
    EXPECT_EQ(lines(m), want) << "autostart " << autostart;
  }
}

TEST_F(TrayMenuTest, AllowancesAreListedGrayedBetweenSeparatorsWithTheStopCommand) {
  AllowanceInfo grants[] = {grant("Anna", 599999), grant("Ben's iPhone", 30000)};
  TrayMenu m;
  tray_menu_build(&m, grants, 2, 0);
  std::vector<std::string> want = {
      "Open inbox folder #1",
      "---",
      "Allowing Anna (10 min left) #0 grayed",
      "Allowing Ben's iPhone (1 min left) #0 grayed",
      "Stop allowing (ask every time) #2",
      "---",
      "Settings >",
      "  Change inbox folder... #3",
      autostart_line + " #4",
      "About ferrylink #5",
      "---",
      "Quit #6",
  };
  EXPECT_EQ(lines(m), want);
}

TEST_F(TrayMenuTest, MinutesLeftCountTheStartedMinute) {
  struct Case {
    uint64_t remaining_ms;
    const char* line;
  } const cases[] = {
      {0, "Allowing P (1 min left)"},       {30000, "Allowing P (1 min left)"},
      {59999, "Allowing P (1 min left)"},   {60000, "Allowing P (2 min left)"},
      {120000, "Allowing P (3 min left)"},  {600000, "Allowing P (11 min left)"},
  };
  for (const Case& c : cases) {
    AllowanceInfo g = grant("P", c.remaining_ms);
    TrayMenu m;
    tray_menu_build(&m, &g, 1, 0);
    EXPECT_STREQ(m.items[2].text, c.line) << c.remaining_ms;
  }
}

TEST_F(TrayMenuTest, AtMostEightAllowanceLinesInTheOrderGiven) {
  std::vector<AllowanceInfo> grants;
  for (int i = 0; i < 10; ++i) grants.push_back(grant(("phone" + std::to_string(i)).c_str(), 60000));
  TrayMenu m;
  tray_menu_build(&m, grants.data(), int(grants.size()), 0);
  std::vector<std::string> all = lines(m);
  std::vector<std::string> allowing;
  for (const std::string& l : all) {
    if (l.rfind("Allowing ", 0) == 0) allowing.push_back(l);
  }
  ASSERT_EQ(allowing.size(), 8u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(allowing[size_t(i)],
              "Allowing phone" + std::to_string(i) + " (2 min left) #0 grayed");
  }
  EXPECT_EQ(all.back(), "Quit #6");
  EXPECT_LE(m.count, kTrayMaxItems);
}

TEST_F(TrayMenuTest, LongPeerNamesAreCutToTheItemBuffer) {
  std::string name(63, 'x');
  AllowanceInfo g = grant(name.c_str(), 1000);
  TrayMenu m;
  tray_menu_build(&m, &g, 1, 0);
  std::string line = m.items[2].text;
  EXPECT_EQ(line, "Allowing " + name + " (1 min left)");
  EXPECT_LT(line.size(), kTrayItemTextCap);
}

TEST_F(TrayMenuTest, TextsFollowTheCurrentLanguage) {
  set_language(LANG_GERMAN);
  AllowanceInfo g = grant("Anna", 60000);
  TrayMenu m;
  tray_menu_build(&m, &g, 1, 1);
  EXPECT_STREQ(m.items[0].text, message_text(MESSAGE_OPEN_INBOX));
  EXPECT_STREQ(m.items[2].text, "Erlaubt: Anna (noch 2 Min.)");
  EXPECT_STREQ(m.items[m.count - 1].text, message_text(MESSAGE_QUIT));
  EXPECT_STRNE(m.items[m.count - 1].text, "Quit");
}

TEST_F(TrayMenuTest, AboutTextNamesVersionDeviceInboxAndPort) {
  char text[1800];
  tray_about_text(text, sizeof text, "0123456789abcdef", "C:\\Users\\anna\\Documents\\ferrylink Inbox",
                  47651);
  EXPECT_STREQ(text,
               "ferrylink 0.1.0\nReceives files from your iPhone over the local network.\n\n"
               "Device ID: 0123456789abcdef\nInbox: C:\\Users\\anna\\Documents\\ferrylink Inbox\n"
               "Port: 47651");
  char small[12];
  tray_about_text(small, sizeof small, "id", "inbox", 1);
  EXPECT_STREQ(small, "ferrylink 0");
}

}  // namespace
