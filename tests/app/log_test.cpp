#include "app/log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/agent_state.h"
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

}  // namespace
