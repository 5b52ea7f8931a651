#include "ui/tray_click_target.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/sync.h"

namespace {

std::string target() {
  char out[kClickTargetMax + 1];
  return tray_click_target_get(nullptr, out, sizeof out) ? out : "(none)";
}

TEST(TrayClickTarget, OnlyTheNewestBalloonCounts) {
  tray_click_target_set(nullptr, "C:\\Inbox");
  EXPECT_EQ(target(), "C:\\Inbox");
  tray_click_target_set(nullptr, "D:\\Other");
  EXPECT_EQ(target(), "D:\\Other");
  tray_click_target_set(nullptr, nullptr);  // a balloon without a target
  EXPECT_EQ(target(), "(none)");
  tray_click_target_set(nullptr, "D:\\Other");
  tray_click_target_set(nullptr, "");
  EXPECT_EQ(target(), "(none)");
}

TEST(TrayClickTarget, LongTargetsAreCutAndSmallBuffersStayTerminated) {
  std::string path(1500, 'p');
  tray_click_target_set(nullptr, path.c_str());
  EXPECT_EQ(target(), path.substr(0, kClickTargetMax));
  char small[8];
  EXPECT_EQ(tray_click_target_get(nullptr, small, sizeof small), 1);
  EXPECT_STREQ(small, "ppppppp");
  tray_click_target_set(nullptr, nullptr);
  small[0] = 'x';
  EXPECT_EQ(tray_click_target_get(nullptr, small, sizeof small), 0);
  EXPECT_STREQ(small, "");
}

// Balloons come from worker threads while the window thread reads a click: a read sees one
// whole target, never parts of two.
TEST(TrayClickTarget, ReadsNeverMixTwoTargets) {
  Lock* lock = lock_create();
  ASSERT_NE(lock, nullptr);
  const std::string a(900, 'a'), b(700, 'b');
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i) tray_click_target_set(lock, (i & 1) ? a.c_str() : b.c_str());
  });
  char out[kClickTargetMax + 1];
  for (int i = 0; i < 20000; ++i) {
    if (!tray_click_target_get(lock, out, sizeof out)) continue;
    std::string got = out;
    ASSERT_TRUE(got == a || got == b) << got.size();
  }
  stop = true;
  writer.join();
  lock_destroy(lock);
}

}  // namespace
