// Installing on Linux, for real, into a temporary home folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/install.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::string> g_ran;

unsigned long record(const char* command_line) {
  g_ran.push_back(command_line);
  return 0;
}

// Points HOME at a fresh folder (and the config folder below it) for one test.
class ConsoleInstall : public ::testing::Test {
protected:
  void SetUp() override {
    save("HOME", &home_was_);
    save("XDG_CONFIG_HOME", &config_was_);
    setenv("HOME", home_.path().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    g_ran.clear();
    before_ = install_set_command_runner(record);
  }
  void TearDown() override {
    install_set_command_runner(before_);
    restore("HOME", home_was_);
    restore("XDG_CONFIG_HOME", config_was_);
  }
  std::string bin() const { return home_.path() + "/.local/bin/ferrylink"; }
  std::string entry() const { return home_.path() + "/.config/autostart/ferrylink.desktop"; }

  TempDir home_;

private:
  static void save(const char* name, std::string* out) {
    const char* v = getenv(name);
    *out = v ? std::string(1, '=') + v : "";
  }
  static void restore(const char* name, const std::string& was) {
    if (was.empty()) unsetenv(name);
    else setenv(name, was.c_str() + 1, 1);
  }
  std::string home_was_, config_was_;
  CommandRunner before_ = nullptr;
};

std::string self_exe() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, size_t(n)) : "";
}

TEST_F(ConsoleInstall, CopiesTheProgramAndWritesTheAutostartEntry) {
  char installed[800];
  ASSERT_EQ(install_program(installed, sizeof installed), 0);
  EXPECT_EQ(std::string(installed), bin());
  EXPECT_EQ(read_file(bin()), read_file(self_exe()));
  struct stat st;
  ASSERT_EQ(stat(bin().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
  EXPECT_FALSE(std::ifstream(bin() + ".tmp").good()) << "the copy's temporary file stays behind";

  std::string desktop = read_file(entry());
  EXPECT_NE(desktop.find("[Desktop Entry]\n"), std::string::npos);
  EXPECT_NE(desktop.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(desktop.find("\nExec=\"" + bin() + "\"\n"), std::string::npos) << desktop;
  EXPECT_TRUE(autostart_is_enabled());
  EXPECT_TRUE(g_ran.empty()) << "Linux has no firewall step, yet ran: " << g_ran[0];
  EXPECT_FALSE(is_installed_copy()) << "the test program is not the installed copy";

  // Installing again replaces the copy in place.
  ASSERT_TRUE(write_file(bin(), "old"));
  ASSERT_EQ(install_program(installed, sizeof installed), 0);
  EXPECT_EQ(read_file(bin()), read_file(self_exe()));
}

TEST_F(ConsoleInstall, AFailedCopyChangesNothingElse) {
  // ~/.local/bin is a file: no folder, no copy.
  ASSERT_EQ(mkdir((home_.path() + "/.local").c_str(), 0700), 0);
  ASSERT_TRUE(write_file(home_.path() + "/.local/bin", "not a folder"));
  char installed[800] = "x";
  EXPECT_EQ(install_program(installed, sizeof installed), INSTALL_COPY_FAILED);
  EXPECT_STREQ(installed, "");
  EXPECT_FALSE(autostart_is_enabled());
  EXPECT_FALSE(std::ifstream(entry()).good());
}

TEST_F(ConsoleInstall, WithoutAHomeFolderThereIsNoInstallLocation) {
  unsetenv("HOME");
  char folder[800] = "x";
  EXPECT_FALSE(install_location(folder, sizeof folder));
  EXPECT_STREQ(folder, "");
  char installed[800];
  EXPECT_EQ(install_program(installed, sizeof installed), INSTALL_NO_FOLDER);
  EXPECT_FALSE(is_installed_copy());
}

TEST_F(ConsoleInstall, AutostartEntryQuotesAnyProgramPath) {
  struct Case {
    const char* path;
    const char* exec;
  } const cases[] = {
      {"/opt/ferry link/ferrylink", "Exec=\"/opt/ferry link/ferrylink\""},
      {"/home/a\"b/ferrylink", "Exec=\"/home/a\\\"b/ferrylink\""},
      {"/home/$USER/`x`/ferrylink", "Exec=\"/home/\\$USER/\\`x\\`/ferrylink\""},
      {"/home/a\\b/ferrylink", "Exec=\"/home/a\\\\b/ferrylink\""},
      {"/home/100%/ferrylink", "Exec=\"/home/100%%/ferrylink\""},
  };
  for (const Case& c : cases) {
    autostart_set(c.path, true);
    std::string desktop = read_file(entry());
    EXPECT_NE(desktop.find(std::string("\n") + c.exec + "\n"), std::string::npos)
        << c.path << "\n" << desktop;
  }
  autostart_set("/anything", false);
  EXPECT_FALSE(autostart_is_enabled());
  EXPECT_FALSE(std::ifstream(entry()).good());
}

TEST_F(ConsoleInstall, CommandsReportTheirExitCode) {
  struct Case {
    const char* command;
    unsigned long code;
  } const cases[] = {
      {"exit 0", 0},
      {"exit 7", 7},
      {"kill -KILL $$", 1},  // no exit code of its own
      {"/nonexistent/program", 127},
  };
  for (const Case& c : cases) EXPECT_EQ(run_hidden_and_wait(c.command), c.code) << c.command;
}

}  // namespace
