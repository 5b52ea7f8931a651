// System facts and process services, on both builds.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "os_hooks.h"
#include "platform/fs.h"
#include "platform/locale_id.h"
#include "platform/sync.h"
#include "platform/system.h"
#include "support/temp_dir.h"

TEST(KnownFolder, ExistsAndRespectsTheBuffer) {
  for (int folder : {FOLDER_APPDATA, FOLDER_LOCAL_APPDATA, FOLDER_DOCUMENTS, FOLDER_DESKTOP}) {
    char path[1024];
    std::memset(path, 'x', sizeof path);
    known_folder_utf8(folder, path, sizeof path);
    ASSERT_NE(path[0], '\0') << "folder " << folder;
    EXPECT_EQ(fs_exists(path), 1) << path;

    // Too small a buffer gives the empty text, never a cut path.
    char small[4];
    std::memset(small, 'x', sizeof small);
    known_folder_utf8(folder, small, sizeof small);
    EXPECT_EQ(small[0], '\0') << "folder " << folder;
  }
  char unknown[64] = "junk";
  known_folder_utf8(99, unknown, sizeof unknown);
  EXPECT_STREQ(unknown, "");
}

TEST(Env, ValueMissingEmptyAndTooLong) {
  const char* name = "FL_PLATFORM_TEST_VAR";
  SavedEnv saved(name);
  char buf[16];

  test_set_env(name, "caf\xC3\xA9");  // café
  EXPECT_EQ(env_utf8(name, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "caf\xC3\xA9");

  test_set_env(name, "exactly 15 byte");  // 15 bytes + terminator fill the buffer
  EXPECT_EQ(env_utf8(name, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "exactly 15 byte");

  test_set_env(name, "sixteen bytes!!!");
  EXPECT_EQ(env_utf8(name, buf, sizeof buf), -1) << "does not fit";
  EXPECT_STREQ(buf, "");

  test_set_env(name, nullptr);
  std::strcpy(buf, "junk");
  EXPECT_EQ(env_utf8(name, buf, sizeof buf), -1) << "missing";
  EXPECT_STREQ(buf, "");
}

TEST(ComputerName, PresentAndCutNever) {
  char name[256];
  ASSERT_EQ(computer_name_utf8(name, sizeof name), 0);
  EXPECT_GT(std::strlen(name), 0u);
  char tiny[1];
  EXPECT_EQ(computer_name_utf8(tiny, sizeof tiny), -1);
  EXPECT_EQ(tiny[0], '\0');
}

TEST(ProgramPath, NamesThisTestProgram) {
  char path[4096];
  ASSERT_EQ(program_path_utf8(path, sizeof path), 0);
  EXPECT_EQ(fs_exists(path), 1) << path;
  EXPECT_NE(std::strstr(path, "platform_tests"), nullptr) << path;
  char tiny[4];
  EXPECT_EQ(program_path_utf8(tiny, sizeof tiny), -1);
  EXPECT_EQ(tiny[0], '\0');
}

TEST(OsInfo, LineNamesTheSystemAndFitsItsBuffer) {
  char line[128];
  os_info_line(line, sizeof line);
#ifdef _WIN32
  unsigned long major = 0, minor = 0, build = 0;
  ASSERT_EQ(std::sscanf(line, "info windows %lu.%lu build %lu", &major, &minor, &build), 3) << line;
  EXPECT_GE(major, 5u) << line;
  char again[128];
  std::snprintf(again, sizeof again, "info windows %lu.%lu build %lu", major, minor, build);
  EXPECT_STREQ(line, again) << "nothing after the build number";
#else
  EXPECT_EQ(std::strncmp(line, "info Linux ", 11), 0) << line;
  EXPECT_GT(std::strlen(line), 11u) << "a kernel release follows";
#endif
  char cut[8];
  os_info_line(cut, sizeof cut);
  EXPECT_EQ(std::strlen(cut), 7u) << "cut to the buffer, terminated";
  EXPECT_EQ(std::strncmp(cut, line, 7), 0);
}

TEST(Console, WritesTheLineWithCrLfAndNothingWithoutOutput) {
  TempDir dir;
  std::string out = dir.file("stdout.txt");
  {
    StdoutRedirect to_file(out.c_str());
    console_write_line("ok sha256");
    console_write_line("");
  }
  EXPECT_EQ(read_file(out), "ok sha256\r\n\r\n");
  {
    StdoutRedirect to_nothing(nullptr);
    console_write_line("lost");  // must neither crash nor block
  }
  EXPECT_EQ(read_file(out), "ok sha256\r\n\r\n") << "nothing went to the earlier file";
}

namespace {
std::string unique_guard_name() {
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  return "Local\\fltest-guard-" + std::to_string(stamp);
}
}  // namespace

TEST(InstanceGuard, SecondCopyIsToldAndReleaseFreesTheName) {
  // Where lock files are kept (Linux), in a folder of this test: they outlive the guard.
  SavedEnv runtime("XDG_RUNTIME_DIR");
  TempDir runtime_dir;
  test_set_env("XDG_RUNTIME_DIR", runtime_dir.path().c_str());
  std::string name = unique_guard_name();
  int running = -1;
  InstanceGuard* first = instance_guard_acquire(name.c_str(), &running);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(running, 0);

  InstanceGuard* second = instance_guard_acquire(name.c_str(), &running);
  ASSERT_NE(second, nullptr) << "the second guard is still returned";
  EXPECT_EQ(running, 1);
  instance_guard_release(second);

  // The first copy still holds the name after the second let go of its guard.
  InstanceGuard* third = instance_guard_acquire(name.c_str(), &running);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(running, 1);
  instance_guard_release(third);

  instance_guard_release(first);
  InstanceGuard* fresh = instance_guard_acquire(name.c_str(), &running);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(running, 0) << "after release a new copy may run";
  instance_guard_release(fresh);
  instance_guard_release(nullptr);
}

// The files said to be spare can really be held open at once, besides the process's own.
TEST(OpenFiles, TheSpareOnesCanAllBeOpenAtOnce) {
  const int spare = open_files_to_spare();
  ASSERT_GT(spare, 0);
  TempDir dir;
  const std::string path = dir.file("held.txt");
  ASSERT_TRUE(write_file(path, "x"));
  std::vector<FsFile*> held;
  for (int i = 0; i < spare; ++i) {
    FsFile* f = fs_open(path.c_str(), FS_READ);
    if (!f) break;
    held.push_back(f);
  }
  EXPECT_EQ(held.size(), size_t(spare));
  for (FsFile* f : held) fs_close(f);
}

TEST(LanguageId, LocaleNamesMapToWindowsIds) {
  struct Case {
    const char* locale;
    uint16_t id;
  };
  const Case cases[] = {
      {"ja_JP.UTF-8", 0x0411}, {"ja", 0x0411},          {"zh_TW.UTF-8", 0x0404},
      {"zh_HK", 0x0C04},       {"zh_MO.UTF-8", 0x1404}, {"zh_CN.UTF-8", 0x0804},
      {"zh_SG", 0x1004},       {"zh", 0x0804},          {"ko_KR.UTF-8", 0x0412},
      {"fr_FR.UTF-8", 0x040C}, {"fr_CA", 0x040C},       {"ru_RU.UTF-8", 0x0419},
      {"es_ES.UTF-8", 0x0C0A}, {"es_MX", 0x0C0A},       {"de_DE.UTF-8", 0x0407},
      {"de_AT@euro", 0x0407},  {"pt_BR.UTF-8", 0x0416}, {"pt_PT.UTF-8", 0x0816},
      {"pt_PT@euro", 0x0816},  {"en_US.UTF-8", 0x0409}, {"C", 0x0409},
      {"POSIX", 0x0409},       {"", 0x0409},            {"jav_ID", 0x0409},  // not Japanese
      {"french", 0x0409},      {"dex", 0x0409},
  };
  for (const Case& c : cases)
    EXPECT_EQ(language_id_from_locale(c.locale), c.id) << '"' << c.locale << '"';
  EXPECT_EQ(language_id_from_locale(nullptr), 0x0409);
}

TEST(LanguageId, UserLanguageIsAnId) {
  uint16_t id = ui_language_id();
  EXPECT_NE(id & 0x3FF, 0) << "a primary language is always named";
}
