// Owner-only files and folders on Linux: created so from the first moment whatever the
// umask, and existing ones tightened.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "platform/fs.h"
#include "support/temp_dir.h"

namespace {

// The rights bits of a path, or -1 when it cannot be read.
int rights_of(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// The least restrictive umask: whatever the caller's habits, only the code decides.
class OpenUmask : public ::testing::Test {
protected:
  void SetUp() override { saved_ = umask(0); }
  void TearDown() override { umask(saved_); }
  TempDir dir;

private:
  mode_t saved_ = 022;
};

TEST_F(OpenUmask, PrivateWritesCreateOwnerOnlyFiles) {
  const std::string key = dir.file("identity.key");
  ASSERT_EQ(fs_write_atomic_private(key.c_str(), "abc", 3), 0);
  EXPECT_EQ(rights_of(key), 0600);
  // A left-over temporary file that anyone may read is not reused with its rights.
  ASSERT_TRUE(write_file(key + ".tmp", "old"));
  ASSERT_EQ(chmod((key + ".tmp").c_str(), 0666), 0);
  ASSERT_EQ(fs_write_atomic_private(key.c_str(), "defg", 4), 0);
  EXPECT_EQ(rights_of(key), 0600);
  EXPECT_EQ(read_file(key), "defg");
  // An existing target with wide rights is replaced by the private file.
  const std::string wide = dir.file("trust.txt");
  ASSERT_TRUE(write_file(wide, "x"));
  ASSERT_EQ(chmod(wide.c_str(), 0644), 0);
  ASSERT_EQ(fs_write_atomic_private(wide.c_str(), "y", 1), 0);
  EXPECT_EQ(rights_of(wide), 0600);
}

TEST_F(OpenUmask, OrdinaryWritesKeepTheUmask) {
  const std::string meta = dir.file("a.flmeta");
  ASSERT_EQ(fs_write_atomic(meta.c_str(), "m", 1), 0);
  EXPECT_EQ(rights_of(meta), 0666);
  umask(027);
  ASSERT_EQ(fs_make_dirs(dir.file("inbox/sub").c_str()), 0);
  EXPECT_EQ(rights_of(dir.file("inbox/sub")), 0750);
}

TEST_F(OpenUmask, PrivateFolderIsOwnerOnlyAndItsParentsAreNot) {
  const std::string data = dir.file("home/.config/ferrylink");
  ASSERT_EQ(fs_make_private_dirs(data.c_str()), 0);
  EXPECT_EQ(rights_of(data), 0700);
  EXPECT_EQ(rights_of(dir.file("home/.config")), 0777);
  EXPECT_EQ(fs_make_private_dirs(data.c_str()), 0);  // an existing folder is fine
}

TEST_F(OpenUmask, RestrictTakesOnlyWhatOthersHad) {
  struct Case {
    const char* name;
    bool folder;
    int before;  // -1: nothing there
    int result;
    int after;
  } cases[] = {
      {"dir-wide", true, 0755, 1, 0700},
      {"dir-private", true, 0700, 0, 0700},
      {"file-wide", false, 0644, 1, 0600},
      {"file-group", false, 0640, 1, 0600},
      {"file-private", false, 0600, 0, 0600},
      {"file-owner-read-only", false, 0400, 0, 0400},
      {"file-others-write", false, 0602, 1, 0600},
      {"missing", false, -1, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(c.name);
    if (c.before >= 0) {
      if (c.folder) {
        ASSERT_EQ(mkdir(path.c_str(), 0777), 0);
      } else {
        ASSERT_TRUE(write_file(path, "k"));
      }
      ASSERT_EQ(chmod(path.c_str(), mode_t(c.before)), 0);
    }
    EXPECT_EQ(fs_restrict_to_owner(path.c_str()), c.result);
    EXPECT_EQ(rights_of(path), c.after);
  }
}

}  // namespace
