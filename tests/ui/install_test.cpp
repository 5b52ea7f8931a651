// The install flow's portable pieces on both builds: the firewall command lines.
#include "app/install.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> commands(int tool, int step, const char* program) {
  char out[kFirewallMaxCommands][kFirewallCommandCap];
  int n = firewall_commands(tool, step, program, out);
  return std::vector<std::string>(out, out + n);
}

TEST(FirewallCommands, EachToolAndStepRunsItsExactLines) {
  const char* program = "C:\\Users\\Anna Lee\\AppData\\Local\\ferrylink\\ferrylink.exe";
  const std::string quoted = std::string("\"") + program + "\"";
  struct Case {
    int tool, step;
    std::vector<std::string> lines;
  } const cases[] = {
      {FIREWALL_NETSH_ADVANCED, FIREWALL_ON_INSTALL,
       {"netsh advfirewall firewall delete rule name=\"ferrylink\"",
        "netsh advfirewall firewall add rule name=\"ferrylink\" dir=in action=allow program=" +
            quoted + " enable=yes profile=private,domain"}},
      {FIREWALL_NETSH_ADVANCED, FIREWALL_ON_UNINSTALL,
       {"netsh advfirewall firewall delete rule name=\"ferrylink\""}},
      {FIREWALL_NETSH_LEGACY, FIREWALL_ON_INSTALL,
       {"netsh firewall add allowedprogram program=" + quoted +
        " name=\"ferrylink\" mode=ENABLE scope=SUBNET"}},
      {FIREWALL_NETSH_LEGACY, FIREWALL_ON_UNINSTALL,
       {"netsh firewall delete allowedprogram program=" + quoted}},
      {FIREWALL_NONE, FIREWALL_ON_INSTALL, {}},
      {FIREWALL_NONE, FIREWALL_ON_UNINSTALL, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(commands(c.tool, c.step, program), c.lines) << c.tool << "/" << c.step;
  }
}

TEST(FirewallCommands, OverlongProgramPathsAreCutButTerminated) {
  std::string program(3000, 'p');
  std::vector<std::string> lines =
      commands(FIREWALL_NETSH_ADVANCED, FIREWALL_ON_INSTALL, program.c_str());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].size(), kFirewallCommandCap - 1);
}

}  // namespace
