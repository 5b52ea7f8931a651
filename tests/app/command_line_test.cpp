#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

AgentOptions parse(std::vector<const char*> args) {
  args.insert(args.begin(), "ferrylink.exe");
  AgentOptions o;
  parse_command_line(static_cast<int>(args.size()), args.data(), &o);
  return o;
}

struct FlagCase {
  std::vector<const char*> args;
  int install, uninstall, console, self_test, autotest;
};

TEST(CommandLine, FlagsIgnoreCaseAndUnknownWords) {
  const FlagCase cases[] = {
      {{}, 0, 0, 0, 0, 0},
      {{"--install"}, 1, 0, 0, 0, 0},
      {{"--UNINSTALL"}, 0, 1, 0, 0, 0},
      {{"--Console", "whatever", "-x"}, 0, 0, 1, 0, 0},
      {{"--TEST"}, 0, 0, 0, 1, 0},
      {{"--autotest", "--install", "--uninstall"}, 1, 1, 0, 0, 1},
      {{"--install-now", "install", "-install"}, 0, 0, 0, 0, 0},
  };
  for (const FlagCase& c : cases) {
    AgentOptions o = parse(c.args);
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
    EXPECT_EQ(o.install, c.install);
    EXPECT_EQ(o.uninstall, c.uninstall);
    EXPECT_EQ(o.console, c.console);
    EXPECT_EQ(o.self_test, c.self_test);
    EXPECT_EQ(o.autotest, c.autotest);
  }
}

TEST(CommandLine, DataDirAsLastWordIsIgnoredAndEarlierOptionsStay) {
  AgentOptions o = parse({"--console", "--data-dir"});
  EXPECT_EQ(o.console, 1);
  EXPECT_STREQ(o.data_dir_override, "");
}

TEST(CommandLine, InboxAsLastWordEndsTheWalk) {
  AgentOptions o = parse({"--inbox", "C:\\in", "--console", "--inbox"});
  EXPECT_STREQ(o.inbox_override, "C:\\in");
  EXPECT_EQ(o.console, 1);
}

TEST(CommandLine, ValuesAreTakenWholeAndTheLastOneWins) {
  AgentOptions o = parse({"--DATA-DIR", "/a", "--data-dir", "/b b", "--inbox", "--console"});
  EXPECT_STREQ(o.data_dir_override, "/b b");
  // The word after --inbox is its value, even when it looks like an option.
  EXPECT_STREQ(o.inbox_override, "--console");
  EXPECT_EQ(o.console, 0);
}

TEST(CommandLine, ValueThatDoesNotFitCountsAsNotGiven) {
  std::string fits(699, 'd');
  std::string too_long(700, 'd');
  EXPECT_STREQ(parse({"--data-dir", fits.c_str()}).data_dir_override, fits.c_str());
  EXPECT_STREQ(parse({"--data-dir", too_long.c_str()}).data_dir_override, "");
  std::string inbox_fits(999, 'i');
  std::string inbox_too_long(1000, 'i');
  EXPECT_STREQ(parse({"--inbox", inbox_fits.c_str()}).inbox_override, inbox_fits.c_str());
  EXPECT_STREQ(parse({"--inbox", inbox_too_long.c_str()}).inbox_override, "");
  // An earlier good value is replaced by the empty text, not kept.
  EXPECT_STREQ(parse({"--data-dir", "/a", "--data-dir", too_long.c_str()}).data_dir_override, "");
}

TEST(CommandLine, ArgumentThatDidNotConvertIsNoOptionAndNoValue) {
  AgentOptions o = parse({nullptr, "--data-dir", nullptr, "--console"});
  EXPECT_STREQ(o.data_dir_override, "");
  EXPECT_EQ(o.console, 1);
}

TEST(CommandLine, NoArgumentsAtAllMeansEveryOptionOff) {
  AgentOptions o;
  parse_command_line(0, nullptr, &o);
  EXPECT_EQ(o.install + o.uninstall + o.console + o.self_test + o.autotest, 0);
}

}  // namespace
