#include "app/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace {

class SettingsFile : public ::testing::Test {
protected:
  AgentSettings load(const std::string& content, int* result = nullptr) {
    write_file(path, content);
    AgentSettings s;
    int r = settings_load(path.c_str(), &s);
    if (result) *result = r;
    return s;
  }
  TempDir dir;
  std::string path = dir.file("config.ini");
};

TEST_F(SettingsFile, MissingFileGivesDefaultsAndMinusOne) {
  AgentSettings s;
  s.lang = 5;
  EXPECT_EQ(settings_load(dir.file("none.ini").c_str(), &s), -1);
  EXPECT_STREQ(s.device_name, "");
  EXPECT_STREQ(s.inbox_dir, "");
  EXPECT_EQ(s.auto_accept, 1);
  EXPECT_EQ(s.lang, -1);
  EXPECT_EQ(s.first_run_done, 0);
  EXPECT_EQ(s.intro_shown, 0);
}

TEST_F(SettingsFile, SaveWritesTheSevenLinesAndLoadsBackTheSameRecord) {
  AgentSettings s = {};
  snprintf(s.device_name, sizeof s.device_name, "Büro-PC");
  snprintf(s.inbox_dir, sizeof s.inbox_dir, "C:\\a=b\\Inbox");
  s.auto_accept = 0;
  s.lang = 12;
  s.first_run_done = 1;
  s.intro_shown = 1;
  ASSERT_EQ(settings_save(path.c_str(), &s), 0);
  EXPECT_EQ(read_file(path),
            "# ferrylink settings\ndevice_name=Büro-PC\ninbox_dir=C:\\a=b\\Inbox\n"
            "auto_accept=0\nlang=12\nfirst_run_done=1\nintro_shown=1\n");
  AgentSettings back;
  ASSERT_EQ(settings_load(path.c_str(), &back), 0);
  EXPECT_STREQ(back.device_name, s.device_name);
  EXPECT_STREQ(back.inbox_dir, s.inbox_dir);
  EXPECT_EQ(back.auto_accept, 0);
  EXPECT_EQ(back.lang, 12);
  EXPECT_EQ(back.first_run_done, 1);
  EXPECT_EQ(back.intro_shown, 1);
}

struct GrammarCase {
  const char* content;
  const char* device_name;
  const char* inbox_dir;
  int auto_accept, lang, first_run_done;
};

TEST_F(SettingsFile, LineGrammar) {
  const GrammarCase cases[] = {
      // Spaces belong to the key or the value.
      {"device_name =x\ninbox_dir= y\n", "", " y", 1, -1, 0},
      // Comment and section lines are skipped even when they name a key.
      {";device_name=a\n#inbox_dir=b\n[lang=3\n", "", "", 1, -1, 0},
      // Everything after the first '=' is the value.
      {"inbox_dir=C:\\a=b\n", "", "C:\\a=b", 1, -1, 0},
      // atoi semantics; flags become 0 or 1, lang stays as it is.
      {"auto_accept=yes\nfirst_run_done=2\nlang=  -7x\n", "", "", 0, -7, 1},
      // CR LF endings load like LF; a text value that still holds a CR (two at its end, or
      // one inside) sets nothing, since it could never be saved back.
      {"device_name=pc\r\ninbox_dir=in\r\r\n", "pc", "", 1, -1, 0},
      {"device_name=p\rc\ninbox_dir=in\n", "", "in", 1, -1, 0},
      // The last occurrence wins; lines without '=' and unknown keys are skipped.
      {"lang=1\nnonsense\ncolour=red\nlang=4", "", "", 1, 4, 0},
      // Keys compare case-sensitively.
      {"LANG=3\nDevice_Name=x\n", "", "", 1, -1, 0},
  };
  for (const GrammarCase& c : cases) {
    SCOPED_TRACE(c.content);
    AgentSettings s = load(c.content);
    EXPECT_STREQ(s.device_name, c.device_name);
    EXPECT_STREQ(s.inbox_dir, c.inbox_dir);
    EXPECT_EQ(s.auto_accept, c.auto_accept);
    EXPECT_EQ(s.lang, c.lang);
    EXPECT_EQ(s.first_run_done, c.first_run_done);
  }
}

TEST_F(SettingsFile, ZeroByteInsideTheFileEndsTheWalk) {
  AgentSettings s = load(std::string("lang=2\n\0lang=3\n", 15));
  EXPECT_EQ(s.lang, 2);
}

TEST_F(SettingsFile, LongValuesAreCutToTheirFields) {
  AgentSettings s = load("device_name=" + std::string(100, 'n') + "\ninbox_dir=" +
                         std::string(2000, 'i') + "\n");
  EXPECT_EQ(std::string(s.device_name), std::string(63, 'n'));
  EXPECT_EQ(std::string(s.inbox_dir), std::string(1023, 'i'));
}

TEST_F(SettingsFile, OnlyTheFirst16KiBAreRead) {
  // The limit falls inside "lang=12": the cut line is taken up to the cut.
  std::string head = "lang=3\n#";
  std::string content = head + std::string(16384 - head.size() - 7, 'x') + "\nlang=12\nlang=9\n";
  int r = -1;
  AgentSettings s = load(content, &r);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(s.lang, 1);
}

TEST_F(SettingsFile, EmptyFileIsReadAndGivesDefaults) {
  int r = -1;
  AgentSettings s = load("", &r);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(s.lang, -1);
  EXPECT_EQ(s.auto_accept, 1);
}

TEST_F(SettingsFile, FailedSaveLeavesTheOldFile) {
  AgentSettings s = load("lang=4\n");
  s.lang = 5;
  // A directory in the way of the temporary file makes the write fail.
  std::string tmp = path + ".tmp";
  ASSERT_TRUE(write_file(path, "lang=4\n"));
  ASSERT_TRUE(std::filesystem::create_directories(tmp));
  EXPECT_EQ(settings_save(path.c_str(), &s), -1);
  EXPECT_EQ(read_file(path), "lang=4\n");
}

// A line break inside a value would become lines of their own in the file (an inbox
// "x\nlang=3" would come back as a language): such a record is refused and the file stays.
TEST_F(SettingsFile, ValuesWithALineBreakAreNeverWritten) {
  struct Case {
    const char* field;
    const char* value;
  } cases[] = {
      {"inbox_dir", "/home/a/Inbox\nlang=3"},
      {"inbox_dir", "C:\\Inbox\r\nfirst_run_done=0"},
      {"inbox_dir", "/home/a/In\rbox"},
      {"device_name", "PC\nintro_shown=0"},
      {"device_name", "PC\r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " = " + c.value);
    ASSERT_TRUE(write_file(path, "lang=4\n"));
    AgentSettings s = load("lang=4\n");
    char* field = std::string(c.field) == "inbox_dir" ? s.inbox_dir : s.device_name;
    snprintf(field, 64, "%s", c.value);
    EXPECT_EQ(settings_save(path.c_str(), &s), -1);
    EXPECT_EQ(read_file(path), "lang=4\n");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  }
}

}  // namespace
