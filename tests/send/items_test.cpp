#include "items.h"

#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "platform/fs.h"
#include "support/temp_dir.h"

namespace {

void set_mtime(const std::string& path, uint64_t ms) {
  FsFile* f = fs_open(path.c_str(), FS_WRITE_EXISTING);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fs_set_file_mtime(f, ms), 0);
  fs_close(f);
}

// A folder is offered under its own name with everything below it, sorted; a file under its
// own name. Each item carries the size and time of its file.
TEST(CollectItems, FolderAndFileWithTheirSizesAndTimes) {
  TempDir dir;
  ASSERT_EQ(fs_make_dirs(dir.file("Trip/day 1").c_str()), 0);
  ASSERT_TRUE(write_file(dir.file("Trip/day 1/b.jpg"), "bb"));
  ASSERT_TRUE(write_file(dir.file("Trip/a.txt"), "a"));
  ASSERT_TRUE(write_file(dir.file("single.bin"), "12345"));
  set_mtime(dir.file("Trip/day 1/b.jpg"), 1600000000123ull);
  set_mtime(dir.file("Trip/a.txt"), 1500000000000ull);
  set_mtime(dir.file("single.bin"), 1700000000999ull);

  ItemList list;
  std::string error;
  ASSERT_TRUE(collect_items({dir.file("Trip"), dir.file("single.bin")}, &list, &error)) << error;
  struct Want {
    const char* name;
    uint64_t size, mtime_ms;
  } want[] = {{"Trip/a.txt", 1, 1500000000000ull},
              {"Trip/day 1/b.jpg", 2, 1600000000123ull},
              {"single.bin", 5, 1700000000999ull}};
  ASSERT_EQ(list.items.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_STREQ(list.items[i].name, want[i].name);
    EXPECT_EQ(list.items[i].size, want[i].size) << want[i].name;
    EXPECT_EQ(list.items[i].mtime_ms, want[i].mtime_ms) << want[i].name;
  }
}

// A folder named with a separator at its end is the same folder: the same names, and paths
// below it with one separator.
TEST(CollectItems, FolderNamedWithASeparatorAtItsEnd) {
  TempDir dir;
  ASSERT_EQ(fs_make_dirs(dir.file("Trip/day 1").c_str()), 0);
  ASSERT_TRUE(write_file(dir.file("Trip/day 1/b.jpg"), "bb"));
  for (const std::string& arg : {dir.file("Trip") + "/", dir.file("Trip") + "//"}) {
    ItemList list;
    std::string error;
    ASSERT_TRUE(collect_items({arg}, &list, &error)) << error;
    ASSERT_EQ(list.items.size(), 1u) << arg;
    EXPECT_STREQ(list.items[0].name, "Trip/day 1/b.jpg") << arg;
    EXPECT_EQ(std::string(list.items[0].local_path), dir.file("Trip") + "/day 1/b.jpg") << arg;
    EXPECT_EQ(list.items[0].size, 2u) << arg;
  }
}

TEST(CollectItems, APathThatIsNoFileOrFolderIsNamedInTheError) {
  TempDir dir;
  ItemList list;
  std::string error;
  EXPECT_FALSE(collect_items({dir.file("gone.txt")}, &list, &error));
  EXPECT_EQ(error, "no such file or folder: " + dir.file("gone.txt"));
#ifndef _WIN32
  // A pipe has no size to offer; reading it could wait for ever.
  const std::string fifo = dir.file("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(collect_items({fifo}, &list, &error));
  EXPECT_EQ(error, "cannot read " + fifo);
#endif
}

}  // namespace
