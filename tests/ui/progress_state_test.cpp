#include "ui/progress_state.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/sync.h"

namespace {

ProgressState fresh() { return ProgressState{{0}, {0}, 0, 0, -1, 0}; }

TEST(ProgressState, TheSharedStateStartsWithNoPercentPosted) {
  EXPECT_EQ(progress_state()->last_percent, -1);
}

// Each step is a report (percent, tick) and whether it asks the window thread to redraw.
TEST(ProgressState, RedrawsWhenThePercentMovesOrReportsPause) {
  struct Step {
    int percent;
    uint32_t now;
    int posts;
  };
  struct Case {
    const char* what;
    std::vector<Step> steps;
  } const cases[] = {
      {"the first report always posts, even at 0 %", {{0, 1000, 1}}},
      {"an unchanged percent 250 ms later stays quiet",
       {{5, 1000, 1}, {5, 1250, 0}}},
      {"an unchanged percent after a gap of 251 ms posts", {{5, 1000, 1}, {5, 1251, 1}}},
      {"a changed percent posts at once", {{5, 1000, 1}, {6, 1001, 1}}},
      {"quiet reports move the report time, so a steady stream stays quiet",
       {{5, 1000, 1}, {5, 1200, 0}, {5, 1400, 0}, {5, 1600, 0}, {5, 1851, 1}}},
      {"the tick counter's wrap is only a small step",
       {{7, 0xFFFFFFF0u, 1}, {7, 0x00000010u, 0}, {7, 0x00000200u, 1}}},
  };
  for (const Case& c : cases) {
    ProgressState s = fresh();
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const Step& st = c.steps[i];
      EXPECT_EQ(progress_state_report(&s, nullptr, "Anna", "a.jpg", 1, 2, st.percent, st.now),
                st.posts)
          << c.what << ", step " << i;
      EXPECT_EQ(s.last_report_ms, st.now) << c.what << ", step " << i;
    }
  }
}

// Reports every 10 ms with the percent rising by one a second post about once a second.
TEST(ProgressState, SteadyTransferPostsAboutOncePerSecond) {
  ProgressState s = fresh();
  int posts = 0;
  for (uint32_t t = 0; t < 10000; t += 10) {
    posts += progress_state_report(&s, nullptr, "Anna", "a.jpg", t, 10000, int(t / 1000), t);
  }
  EXPECT_EQ(posts, 10);
}

TEST(ProgressState, HidingMakesTheNextReportPostWhateverItsPercent) {
  ProgressState s = fresh();
  ASSERT_EQ(progress_state_report(&s, nullptr, "Anna", "a", 1, 2, 50, 100), 1);
  ASSERT_EQ(progress_state_report(&s, nullptr, "Anna", "a", 1, 2, 50, 110), 0);
  progress_state_hidden(&s, nullptr);
  EXPECT_EQ(s.last_percent, -1);
  EXPECT_EQ(progress_state_report(&s, nullptr, "Anna", "a", 1, 2, 50, 120), 1);
}

TEST(ProgressState, QuietReportsStillStoreTheirFiguresForTheNextRedraw) {
  ProgressState s = fresh();
  progress_state_report(&s, nullptr, "Anna", "photos/a.jpg", 100, 1000, 10, 5);
  progress_state_report(&s, nullptr, "Ben", "photos/b.jpg", 105, 1000, 10, 10);
  ProgressSnapshot snap;
  progress_state_snapshot(&s, nullptr, &snap);
  EXPECT_STREQ(snap.peer_name, "Ben");
  EXPECT_STREQ(snap.file_path, "photos/b.jpg");
  EXPECT_EQ(snap.done, 105u);
  EXPECT_EQ(snap.total, 1000u);
}

TEST(ProgressState, NamesAreCutToTheirFieldsAndMissingOnesAreEmpty) {
  ProgressState s = fresh();
  std::string long_name(100, 'n'), long_path(400, 'p');
  progress_state_report(&s, nullptr, long_name.c_str(), long_path.c_str(), 0, 0, 0, 1);
  EXPECT_EQ(std::string(s.peer_name), long_name.substr(0, 63));
  EXPECT_EQ(std::string(s.file_path), long_path.substr(0, 259));
  progress_state_report(&s, nullptr, nullptr, nullptr, 0, 0, 0, 2);
  EXPECT_STREQ(s.peer_name, "");
  EXPECT_STREQ(s.file_path, "");
}

TEST(ProgressState, IdleAfterMoreThanTenSecondsWithoutAReport) {
  struct Case {
    uint32_t last, now;
    int idle;
  } const cases[] = {
      {1000, 1000, 0},
      {1000, 11000, 0},          // exactly 10 s: not yet
      {1000, 11001, 1},
      {0xFFFFF000u, 0x1000u, 0},  // 8 s across the wrap
      {0xFFFFF000u, 0x2000u, 1},  // 12 s across the wrap
  };
  for (const Case& c : cases) {
    ProgressState s = fresh();
    s.last_report_ms = c.last;
    EXPECT_EQ(progress_state_idle(&s, nullptr, c.now), c.idle) << c.last << " -> " << c.now;
  }
}

// Workers report while the window thread reads: every snapshot must be one whole report
// (the name and the figures of the same call), never a mixture.
TEST(ProgressState, SnapshotsUnderTheLockAreNeverTorn) {
  Lock* lock = lock_create();
  ASSERT_NE(lock, nullptr);
  ProgressState s = fresh();
  std::atomic<bool> stop{false};
  std::vector<std::thread> workers;
  for (int w = 0; w < 3; ++w) {
    workers.emplace_back([&, w] {
      std::string name = "peer" + std::to_string(w);
      for (uint32_t i = 0; !stop; ++i) {
        progress_state_report(&s, lock, name.c_str(), name.c_str(), uint64_t(w), uint64_t(w),
                              int(i % 100), i);
      }
    });
  }
  for (int i = 0; i < 20000; ++i) {
    ProgressSnapshot snap;
    progress_state_snapshot(&s, lock, &snap);
    if (snap.peer_name[0] == '\0') continue;
    ASSERT_STREQ(snap.peer_name, snap.file_path);
    ASSERT_EQ(snap.done, uint64_t(snap.peer_name[4] - '0'));
    ASSERT_EQ(snap.done, snap.total);
  }
  stop = true;
  for (std::thread& t : workers) t.join();
  lock_destroy(lock);
}

}  // namespace
