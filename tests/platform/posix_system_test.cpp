// The Linux stand-ins for Windows facts: XDG folders, the locale and the lock file.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>

#include "os_hooks.h"
#include "platform/fs.h"
#include "platform/posix/user_dirs.h"
#include "platform/system.h"
#include "support/temp_dir.h"

TEST(UserDirs, ReadsTheFileAsXdgUserDirsWritesIt) {
  struct Case {
    const char* text;
    const char* expect;
  };
  const Case cases[] = {
      {"XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n", "/home/u/Documents"},
      {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n",
       "/home/u/Dokumente"},
      {"XDG_DOCUMENTS_DIR=\"/data/docs/\"", "/data/docs"},               // absolute, no newline
      {"XDG_DOCUMENTS_DIR=\"$HOME/My\\\"Docs\"\n", "/home/u/My\"Docs"},  // shell escape
      {"  XDG_DOCUMENTS_DIR=\"$HOME/Sp ace\"\n", "/home/u/Sp ace"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/a\"\nXDG_DOCUMENTS_DIR=\"$HOME/b\"\n", "/home/u/b"},  // last wins
      {"#XDG_DOCUMENTS_DIR=\"$HOME/x\"\n", ""},
      {"XDG_DOCUMENTS_DIR=\"relative/x\"\n", ""},
      {"XDG_DOCUMENTS_DIR=\"$HOMEX/x\"\n", ""},
      {"XDG_DOCUMENTS_DIR=$HOME/unquoted\n", ""},
      {"XDG_DOCUMENTS_DIR=\"$HOME/unterminated\n", ""},
      {"XDG_DOCUMENTS_DIRX=\"$HOME/x\"\n", ""},
      {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(user_dir_from_text(c.text, "XDG_DOCUMENTS_DIR", "/home/u"), c.expect) << c.text;
}

namespace {

// A throw-away home with the XDG variables cleared, restored afterwards.
class FakeHome : public ::testing::Test {
protected:
  SavedEnv home_{"HOME"}, config_{"XDG_CONFIG_HOME"}, data_{"XDG_DATA_HOME"};
  TempDir dir_;
  void SetUp() override {
    test_set_env("HOME", dir_.path().c_str());
    test_set_env("XDG_CONFIG_HOME", nullptr);
    test_set_env("XDG_DATA_HOME", nullptr);
  }
  std::string folder(int id) {
    char buf[1024];
    known_folder_utf8(id, buf, sizeof buf);
    return buf;
  }
};

}  // namespace

TEST_F(FakeHome, FoldersFallBackToHomeAndAreCreated) {
  const std::string& h = dir_.path();
  EXPECT_EQ(folder(FOLDER_APPDATA), h + "/.config");
  EXPECT_EQ(folder(FOLDER_LOCAL_APPDATA), h + "/.local/share");
  EXPECT_EQ(folder(FOLDER_DOCUMENTS), h + "/Documents");
  EXPECT_EQ(folder(FOLDER_DESKTOP), h + "/Desktop");
  for (const char* leaf : {"/.config", "/.local/share", "/Documents", "/Desktop"})
    EXPECT_EQ(fs_exists((h + leaf).c_str()), 1) << leaf;
}

TEST_F(FakeHome, XdgVariablesAndUserDirsFileWin) {
  const std::string& h = dir_.path();
  test_set_env("XDG_CONFIG_HOME", (h + "/cfg").c_str());
  test_set_env("XDG_DATA_HOME", (h + "/data").c_str());
  ASSERT_EQ(fs_make_dirs((h + "/cfg").c_str()), 0);
  ASSERT_TRUE(write_file(h + "/cfg/user-dirs.dirs",
                         "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                         "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"));
  EXPECT_EQ(folder(FOLDER_APPDATA), h + "/cfg");
  EXPECT_EQ(folder(FOLDER_LOCAL_APPDATA), h + "/data");
  EXPECT_EQ(folder(FOLDER_DOCUMENTS), h + "/Dokumente");
  EXPECT_EQ(folder(FOLDER_DESKTOP), h + "/Schreibtisch");
  EXPECT_EQ(fs_exists((h + "/Dokumente").c_str()), 1);

  // A relative XDG path is not meant for anyone; the default applies.
  test_set_env("XDG_CONFIG_HOME", "relative/cfg");
  EXPECT_EQ(folder(FOLDER_APPDATA), h + "/.config");
}

TEST_F(FakeHome, UncreatableFolderGivesEmptyText) {
  ASSERT_TRUE(write_file(dir_.file("blocker"), "x"));
  test_set_env("XDG_DATA_HOME", dir_.file("blocker/data").c_str());
  EXPECT_EQ(folder(FOLDER_LOCAL_APPDATA), "");
}

TEST(UiLanguage, FirstSetVariableDecides) {
  SavedEnv all("LC_ALL"), messages("LC_MESSAGES"), lang("LANG");
  struct Case {
    const char* lc_all;
    const char* lc_messages;
    const char* lang;
    uint16_t id;
  };
  const Case cases[] = {
      {"ja_JP.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8", 0x0411},
      {nullptr, "de_DE.UTF-8", "fr_FR.UTF-8", 0x0407},
      {"", "", "fr_FR.UTF-8", 0x040C},  // empty counts as unset
      {nullptr, nullptr, "pt_PT.UTF-8", 0x0816},
      {nullptr, nullptr, nullptr, 0x0409},
      {"C.UTF-8", nullptr, "ru_RU.UTF-8", 0x0409},
  };
  for (const Case& c : cases) {
    test_set_env("LC_ALL", c.lc_all);
    test_set_env("LC_MESSAGES", c.lc_messages);
    test_set_env("LANG", c.lang);
    EXPECT_EQ(ui_language_id(), c.id)
        << (c.lc_all ? c.lc_all : "-") << " " << (c.lc_messages ? c.lc_messages : "-") << " "
        << (c.lang ? c.lang : "-");
  }
}

TEST(ConsolePipe, ReaderGoneDoesNotEndTheProcess) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);  // nobody will read: a write raises SIGPIPE
  int saved = dup(STDOUT_FILENO);
  ASSERT_GE(saved, 0);
  ASSERT_EQ(dup2(fds[1], STDOUT_FILENO), STDOUT_FILENO);
  console_write_line("into a broken pipe");  // the default SIGPIPE action would end us here
  dup2(saved, STDOUT_FILENO);
  close(saved);
  close(fds[1]);
  sigset_t pending;
  sigpending(&pending);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0) << "no SIGPIPE left waiting for the thread";
}

TEST(InstanceGuardFile, LivesInTheRuntimeFolderWithASafeName) {
  SavedEnv runtime("XDG_RUNTIME_DIR");
  TempDir dir;
  test_set_env("XDG_RUNTIME_DIR", dir.path().c_str());
  std::string stamp = std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  std::string name = "Local\\fl/guard-" + stamp;
  int running = -1;
  InstanceGuard* g = instance_guard_acquire(name.c_str(), &running);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(running, 0);
  EXPECT_EQ(fs_exists(dir.file("Local-fl-guard-" + stamp + ".lock").c_str()), 1);
  instance_guard_release(g);

  // Without a runtime folder the lock goes to /tmp, named for the user.
  test_set_env("XDG_RUNTIME_DIR", nullptr);
  g = instance_guard_acquire(name.c_str(), &running);
  ASSERT_NE(g, nullptr);
  std::string tmp = "/tmp/Local-fl-guard-" + stamp + "-" + std::to_string(getuid()) + ".lock";
  EXPECT_EQ(fs_exists(tmp.c_str()), 1) << tmp;
  instance_guard_release(g);
  unlink(tmp.c_str());
}
