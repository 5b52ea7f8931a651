#include "app/log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/agent_state.h"
#include "app/line_budget.h"
#include "platform/sync.h"
#include "support/temp_dir.h"

namespace {

TEST(LogLine, StampsLocalDateAndTimeWithoutLevels) {
  char line[900];
  format_log_line(line, sizeof line, LocalTime{2024, 3, 5, 7, 8, 9}, "x");
  EXPECT_STREQ(line, "2024-03-05 07:08:09 x\n");
}

TEST(LogLine, LineIsCutAt899BytesAndLosesItsLineFeed) {
  char line[900];
  std::string message(1000, 'm');
  format_log_line(line, sizeof line, LocalTime{2024, 12, 31, 23, 59, 59}, message.c_str());
  EXPECT_EQ(std::string(line).size(), 899u);
  EXPECT_NE(line[898], '\n');
}

class LogFile : public ::testing::Test {
protected:
  void SetUp() override {
    AgentState* a = agent_state();
    snprintf(a->log_path, sizeof a->log_path, "%s", path.c_str());
    if (!a->log_lock) a->log_lock = lock_create();
  }
  void TearDown() override { agent_state()->log_path[0] = '\0'; }

  // The message parts of the lines in the file, without their stamps.
  std::vector<std::string> messages() {
    std::vector<std::string> out;
    std::string text = read_file(path);
    size_t pos = 0;
    while (pos < text.size()) {
      size_t lf = text.find('\n', pos);
      std::string line = text.substr(pos, lf == std::string::npos ? std::string::npos : lf - pos);
      EXPECT_GE(line.size(), 20u) << line;
      EXPECT_EQ(line[4], '-');
      EXPECT_EQ(line[13], ':');
      out.push_back(line.size() >= 20 ? line.substr(20) : line);
      if (lf == std::string::npos) break;
      pos = lf + 1;
    }
    return out;
  }

  TempDir dir;
  std::string path = dir.file("log.txt");
};

TEST_F(LogFile, AppendsFormattedLinesAndKeepsPercentSignsOfPlainTexts) {
  agent_log("listening on port %d", 47650);
  agent_log_text("100%d done");
  session_log(nullptr, "a % b");
  EXPECT_EQ(messages(), (std::vector<std::string>{"listening on port 47650", "100%d done", "a % b"}));
}

TEST_F(LogFile, MessageIsCutTo759Bytes) {
  agent_log("%s", std::string(2000, 'q').c_str());
  std::vector<std::string> m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0], std::string(759, 'q'));
}

TEST_F(LogFile, DeletedFileIsCreatedAgainByTheNextLine) {
  agent_log("one");
  ASSERT_EQ(std::remove(path.c_str()), 0);
  agent_log("two");
  EXPECT_EQ(messages(), std::vector<std::string>{"two"});
}

TEST_F(LogFile, LinesOfManyThreadsNeverInterleave) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 50; ++i) agent_log("thread %d line %d %s", t, i, std::string(300, 'a' + t).c_str());
    });
  }
  for (std::thread& th : threads) th.join();
  std::vector<std::string> m = messages();
  ASSERT_EQ(m.size(), 200u);
  for (const std::string& line : m) {
    char tag = line.back();
    EXPECT_EQ(line.substr(line.size() - 300), std::string(300, tag)) << line;
  }
}

TEST_F(LogFile, StartsAfreshWhenALineWouldTakeItPastItsLimit) {
  // Lines of 100 bytes (stamp included) up to 40 bytes short of the limit.
  const std::string filler(79, 'f');
  for (uint64_t size = 0; size + 100 <= kLogSizeLimit - 40; size += 100) agent_log("%s", filler.c_str());
  const std::string before = read_file(path);
  ASSERT_GT(before.size(), kLogSizeLimit - 140);
  agent_log("the line that does not fit");
  agent_log("the next one");
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "log started afresh: it had reached its limit of 262144 bytes",
                            "the line that does not fit", "the next one"}));
}

TEST_F(LogFile, LinesOfOneAddressAreLimitedAndSummedUp) {
  constexpr uint32_t kPeer = 0x0A000009;  // 10.0.0.9
  std::thread flood([] {
    LogSourceScope source(kPeer);
    for (int i = 0; i < 500; ++i) agent_log("notice %d", i);
  });
  flood.join();
  agent_log("from the agent itself");  // never limited
  std::vector<std::string> m = messages();
  ASSERT_EQ(m.size(), kLineBurst + 1);
  EXPECT_EQ(m[0], "notice 0");
  EXPECT_EQ(m[kLineBurst - 1], "notice " + std::to_string(kLineBurst - 1));
  EXPECT_EQ(m[kLineBurst], "from the agent itself");

  // Another connection of the same address shares the spent budget; once a line's worth of
  // time has passed, the summary comes with the next line anybody logs.
  std::thread again([] {
    LogSourceScope source(kPeer);
    agent_log("refused too");
  });
  again.join();
  sleep_ms(kLineRefillMs + 100);
  agent_log("a second later");
  m = messages();
  ASSERT_EQ(m.size(), kLineBurst + 3);
  EXPECT_EQ(m[kLineBurst + 1],
            "log: " + std::to_string(500 - kLineBurst + 1) + " more lines caused by 10.0.0.9 were left out");
  EXPECT_EQ(m[kLineBurst + 2], "a second later");
}

TEST_F(LogFile, AnotherAddressKeepsItsOwnBudget) {
  std::thread flood([] {
    LogSourceScope source(0x0A000011);
    for (int i = 0; i < 100; ++i) agent_log("flood %d", i);
  });
  flood.join();
  std::thread phone([] {
    LogSourceScope source(0x0A000012);
    agent_log("the phone's line");
  });
  phone.join();
  std::vector<std::string> m = messages();
  ASSERT_EQ(m.size(), kLineBurst + 1);
  EXPECT_EQ(m.back(), "the phone's line");
}

}  // namespace
