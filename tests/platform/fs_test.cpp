// The file layer against real files in a fresh temporary folder.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "os_hooks.h"
#include "platform/fs.h"
#include "platform/sync.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace stdfs = std::filesystem;

namespace {

stdfs::path native(const std::string& utf8) {
  return stdfs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.c_str())));
}

// The whole file through the layer under test, or "<null>".
std::string read_all(const std::string& path, size_t max = 1 << 24) {
  size_t len = 0;
  char* buf = fs_read_whole_file(path.c_str(), max, &len);
  if (!buf) return "<null>";
  std::string s(buf, len);
  std::free(buf);
  return s;
}

std::string pattern(size_t n, unsigned seed) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

}  // namespace

TEST(FsOpen, ModesCreateTruncateAndRefuseAsPromised) {
  TempDir dir;
  std::string p = dir.file("f.bin");
  EXPECT_EQ(fs_open(p.c_str(), FS_READ), nullptr) << "read of a missing file";
  EXPECT_EQ(fs_open(p.c_str(), FS_WRITE_EXISTING), nullptr) << "existing-only write of a missing file";

  FsFile* f = fs_open(p.c_str(), FS_CREATE_EXCLUSIVE);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fs_write_all(f, "first content", 13), 0);
  fs_close(f);

  EXPECT_EQ(fs_open(p.c_str(), FS_CREATE_EXCLUSIVE), nullptr) << "exclusive create on an existing name";
  EXPECT_EQ(read_all(p), "first content");

  f = fs_open(p.c_str(), FS_WRITE_EXISTING);  // keeps the content; position 0
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fs_write_all(f, "FIRST", 5), 0);
  fs_close(f);
  EXPECT_EQ(read_all(p), "FIRST content");

  f = fs_open(p.c_str(), FS_WRITE_NEW);  // truncates
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fs_write_all(f, "x", 1), 0);
  fs_close(f);
  EXPECT_EQ(read_all(p), "x");

  EXPECT_EQ(fs_open(p.c_str(), 0), nullptr) << "unknown mode";
  EXPECT_EQ(fs_open(dir.path().c_str(), FS_READ), nullptr) << "a folder is not a file";
  fs_close(nullptr);
}

TEST(FsOpen, ReadersAndWritersShareTheFile) {
  TempDir dir;
  std::string p = dir.file("shared.txt");
  FsFile* w = fs_open(p.c_str(), FS_WRITE_NEW);
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(fs_write_all(w, "hello", 5), 0);
  ASSERT_EQ(fs_flush(w), 0);
  FsFile* r = fs_open(p.c_str(), FS_READ);
  ASSERT_NE(r, nullptr) << "a reader must get in while a writer holds the file";
  FsFile* w2 = fs_open(p.c_str(), FS_WRITE_EXISTING);
  EXPECT_NE(w2, nullptr) << "a second writer must get in too";
  char buf[8] = {};
  EXPECT_EQ(fs_read(r, buf, sizeof buf), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  fs_close(w2);
  fs_close(r);
  fs_close(w);
}

TEST(FsReadWrite, LargeWriteSeekAndReadBack) {
  TempDir dir;
  std::string p = dir.file("big.bin");
  // Larger than one 1 MiB write chunk and not a multiple of it.
  std::string data = pattern((3u << 20) + 17, 1);
  FsFile* f = fs_open(p.c_str(), FS_WRITE_NEW);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fs_write_all(f, data.data(), data.size()), 0);
  ASSERT_EQ(fs_flush(f), 0);
  fs_close(f);

  uint64_t size = 0;
  ASSERT_EQ(fs_stat(p.c_str(), &size), 0);
  EXPECT_EQ(size, data.size());

  // Overwrite a stretch in the middle, as a resumed transfer does.
  const uint64_t at = (1u << 20) + 5;
  std::string patch = pattern(4096, 2);
  f = fs_open(p.c_str(), FS_WRITE_EXISTING);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fs_seek(f, at), 0);
  ASSERT_EQ(fs_write_all(f, patch.data(), patch.size()), 0);
  fs_close(f);
  data.replace(at, patch.size(), patch);

  f = fs_open(p.c_str(), FS_READ);
  ASSERT_NE(f, nullptr);
  std::string back;
  char buf[65536];
  for (;;) {
    int64_t n = fs_read(f, buf, sizeof buf);
    ASSERT_GE(n, 0);
    if (n == 0) break;
    back.append(buf, static_cast<size_t>(n));
  }
  EXPECT_TRUE(back == data) << "content differs after write, seek and overwrite";

  // Reading from an offset gives the bytes at that offset.
  ASSERT_EQ(fs_seek(f, at), 0);
  ASSERT_EQ(fs_read(f, buf, 16), 16);
  EXPECT_EQ(std::memcmp(buf, patch.data(), 16), 0);
  fs_close(f);
}

TEST(FsReadWholeFile, LimitsAndCounts) {
  struct Case {
    const char* content;
    size_t max;
    const char* expect;
  };
  const Case cases[] = {
      {"abcdefghij", 4, "abcd"},          // longer than the maximum: cut to it
      {"abcdefghij", 10, "abcdefghij"},   // exactly the maximum
      {"abcdefghij", 100, "abcdefghij"},  // room to spare
      {"", 16, ""},                       // empty file
      {"abc", 0, ""},                     // maximum 0: just the terminator
  };
  TempDir dir;
  for (const Case& c : cases) {
    std::string p = dir.file("w.txt");
    ASSERT_TRUE(write_file(p, c.content));
    size_t len = 12345;
    char* buf = fs_read_whole_file(p.c_str(), c.max, &len);
    ASSERT_NE(buf, nullptr) << c.content << " max " << c.max;
    EXPECT_EQ(len, std::strlen(c.expect)) << c.content << " max " << c.max;
    EXPECT_EQ(std::string(buf, len), c.expect);
    EXPECT_EQ(buf[len], '\0') << "terminator after the bytes read";
    std::free(buf);
  }
  std::string p = dir.file("w.txt");
  char* no_len = fs_read_whole_file(p.c_str(), 3, nullptr);  // the count is optional
  ASSERT_NE(no_len, nullptr);
  EXPECT_STREQ(no_len, "abc");
  std::free(no_len);

  size_t len = 99;
  EXPECT_EQ(fs_read_whole_file(dir.file("missing").c_str(), 16, &len), nullptr);
  EXPECT_EQ(len, 0u);
}

TEST(FsWriteAtomic, ReplacesAndSurvivesAStaleTemporaryFile) {
  TempDir dir;
  std::string p = dir.file("config.ini");
  ASSERT_EQ(fs_write_atomic(p.c_str(), "one", 3), 0);
  EXPECT_EQ(read_all(p), "one");
  ASSERT_EQ(fs_write_atomic(p.c_str(), "second", 6), 0) << "replacing an existing file";
  EXPECT_EQ(read_all(p), "second");

  // A crash can leave a longer .tmp behind; the next write must not inherit its tail.
  ASSERT_TRUE(write_file(p + ".tmp", std::string(5000, 'Z')));
  ASSERT_EQ(fs_write_atomic(p.c_str(), "3", 1), 0);
  EXPECT_EQ(read_all(p), "3");
  EXPECT_EQ(fs_exists((p + ".tmp").c_str()), 0) << "the temporary file is moved, not copied";

  ASSERT_EQ(fs_write_atomic(p.c_str(), "", 0), 0);
  EXPECT_EQ(read_all(p), "");
}

TEST(FsWriteAtomic, FailureLeavesTheTargetUnchanged) {
  TempDir dir;
  std::string p = dir.file("trust.txt");
  ASSERT_EQ(fs_write_atomic(p.c_str(), "old", 3), 0);
  // A folder where the temporary file belongs makes the write fail before the target moves.
  ASSERT_EQ(fs_make_dirs((p + ".tmp").c_str()), 0);
  EXPECT_EQ(fs_write_atomic(p.c_str(), "new content", 11), -1);
  EXPECT_EQ(read_all(p), "old");

  // A temporary name that would not fit its buffer is refused, not cut to some other name.
  std::string long_name = dir.file(std::string(1200, 'n'));
  EXPECT_EQ(fs_write_atomic(long_name.c_str(), "x", 1), -1);
}

namespace {

struct AtomicRace {
  std::string path;
  std::string a, b;
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0};
  std::atomic<int> mixtures{0};
  std::atomic<bool> done{false};
};

int race_reader(void* arg) {
  AtomicRace* r = static_cast<AtomicRace*>(arg);
  while (!r->stop.load()) {
    size_t len = 0;
    char* buf = fs_read_whole_file(r->path.c_str(), 1 << 20, &len);
    if (buf) {
      std::string s(buf, len);
      std::free(buf);
      if (s != r->a && s != r->b) r->mixtures.fetch_add(1);
      r->reads.fetch_add(1);
    }
  }
  r->done.store(true);
  return 0;
}

}  // namespace

TEST(FsWriteAtomic, ReaderSeesOldOrNewNeverAMixture) {
  TempDir dir;
  AtomicRace race;
  race.path = dir.file("identity.key");
  race.a = std::string(300000, 'a');
  race.b = std::string(100000, 'b');
  ASSERT_EQ(fs_write_atomic(race.path.c_str(), race.a.data(), race.a.size()), 0);
  ASSERT_EQ(thread_start(race_reader, &race), 0);

  int written = 0;
  const std::string* last = &race.a;
  for (int i = 0; i < 60; ++i) {
    const std::string& next = (i % 2) ? race.a : race.b;
    // Windows refuses to replace a file while a reader has it open; that is a failed write
    // that leaves the old content, which is allowed.
    if (fs_write_atomic(race.path.c_str(), next.data(), next.size()) == 0) {
      ++written;
      last = &next;
    }
  }
  race.stop.store(true);
  while (!race.done.load()) sleep_ms(1);
  EXPECT_GT(written, 0);
  EXPECT_GT(race.reads.load(), 0);
  EXPECT_EQ(race.mixtures.load(), 0) << "a reader saw a file that was neither version";
  EXPECT_TRUE(read_all(race.path) == *last);
}

TEST(FsRename, NeverReplaces) {
  TempDir dir;
  std::string a = dir.file("a.flpart"), b = dir.file("b.txt"), c = dir.file("c.txt");
  ASSERT_TRUE(write_file(a, "AAA"));
  ASSERT_TRUE(write_file(b, "BBB"));
  EXPECT_EQ(fs_rename(a.c_str(), b.c_str()), -1);
  EXPECT_EQ(read_all(a), "AAA");
  EXPECT_EQ(read_all(b), "BBB");

  EXPECT_EQ(fs_rename(a.c_str(), c.c_str()), 0);
  EXPECT_EQ(fs_exists(a.c_str()), 0);
  EXPECT_EQ(read_all(c), "AAA");
  EXPECT_EQ(fs_rename(a.c_str(), dir.file("d").c_str()), -1) << "source is gone";

  // Folders move too, and do not replace either.
  std::string d1 = dir.file("d1"), d2 = dir.file("d2");
  ASSERT_EQ(fs_make_dirs(d1.c_str()), 0);
  ASSERT_EQ(fs_make_dirs(d2.c_str()), 0);
  EXPECT_EQ(fs_rename(d1.c_str(), d2.c_str()), -1);
  EXPECT_EQ(fs_rename(d1.c_str(), dir.file("d3").c_str()), 0);
  EXPECT_EQ(fs_exists(dir.file("d3").c_str()), 1);
}

TEST(FsPaths, ExistsStatDeleteAndEitherSeparator) {
  TempDir dir;
  std::string f = dir.file("one.txt");
  ASSERT_TRUE(write_file(f, "12345"));
  EXPECT_EQ(fs_exists(f.c_str()), 1);
  EXPECT_EQ(fs_exists(dir.path().c_str()), 1);
  EXPECT_EQ(fs_exists(dir.file("none").c_str()), 0);
  uint64_t size = 0;
  EXPECT_EQ(fs_stat(f.c_str(), &size), 0);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(fs_stat(dir.file("none").c_str(), &size), -1);

  // The system joins its own paths with '\' on Windows and '/' elsewhere; both must work.
  std::string back = dir.path() + "\\sub\\two.txt";
  ASSERT_EQ(fs_make_dirs((dir.path() + "\\sub").c_str()), 0);
  ASSERT_EQ(fs_write_atomic(back.c_str(), "22", 2), 0);
  EXPECT_EQ(read_file(dir.file("sub/two.txt")), "22");

  EXPECT_EQ(fs_delete(f.c_str()), 0);
  EXPECT_EQ(fs_exists(f.c_str()), 0);
  EXPECT_EQ(fs_delete(f.c_str()), -1);
}

TEST(FsPaths, NonAsciiNamesRoundTrip) {
  TempDir dir;
  std::string name = dir.file("r\xC3\xA9sum\xC3\xA9-\xE5\x90\x8D\xE5\x89\x8D.txt");  // résumé-名前.txt
  ASSERT_EQ(fs_write_atomic(name.c_str(), "u", 1), 0);
  EXPECT_TRUE(stdfs::exists(native(name))) << "the name must reach the disk as the same text";
  EXPECT_EQ(read_all(name), "u");
  EXPECT_EQ(fs_open("\xFF\xFE bad", FS_WRITE_NEW), nullptr) << "invalid UTF-8 is refused";
}

// What fs_list_folder said of each entry, by name: "folder", "file <size> <mtime>" or "other";
// *calls counts the entries handed over (a name handed over twice shows only there).
std::map<std::string, std::string> listing(const std::string& folder, int* rc,
                                           int* calls = nullptr) {
  struct Seen {
    std::map<std::string, std::string> by_name;
    int calls = 0;
  } seen;
  *rc = fs_list_folder(
      folder.c_str(),
      [](void* ctx, const FsFolderEntry& e) {
        std::string what = e.is_folder ? "folder" : "other";
        if (e.is_file)
          what = "file " + std::to_string(e.size) + " " + std::to_string(e.mtime_ms);
        auto* s = static_cast<Seen*>(ctx);
        s->by_name[e.name] = what;
        ++s->calls;
      },
      &seen);
  if (calls) *calls = seen.calls;
  return seen.by_name;
}

TEST(FsListFolder, FilesWithSizeAndTimeFoldersAndNothingElse) {
  TempDir dir;
  ASSERT_EQ(fs_make_dirs(dir.file("top/sub").c_str()), 0);
  ASSERT_TRUE(write_file(dir.file("top/three.bin"), "123"));
  ASSERT_EQ(fs_write_atomic(dir.file("top/r\xC3\xA9sum\xC3\xA9.txt").c_str(), "", 0), 0);
  FsFile* f = fs_open(dir.file("top/three.bin").c_str(), FS_WRITE_EXISTING);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fs_set_file_mtime(f, 1700000000123ull), 0);
  fs_close(f);
  std::map<std::string, std::string> want = {
      {"sub", "folder"}, {"three.bin", "file 3 1700000000123"}};
  int rc = -1;
  std::map<std::string, std::string> got = listing(dir.file("top"), &rc);
  EXPECT_EQ(rc, 0);
  ASSERT_EQ(got.count("r\xC3\xA9sum\xC3\xA9.txt"), 1u) << "the name comes back as UTF-8";
  EXPECT_EQ(got["r\xC3\xA9sum\xC3\xA9.txt"].rfind("file 0 ", 0), 0u);
  got.erase("r\xC3\xA9sum\xC3\xA9.txt");
  EXPECT_EQ(got, want);
  EXPECT_EQ(listing(dir.file("top/sub/"), &rc).size(), 0u)
      << "an empty folder, named with a separator at its end";
  EXPECT_EQ(rc, 0);

  listing(dir.file("missing"), &rc);
  EXPECT_EQ(rc, -1);
  listing(dir.file("top/three.bin"), &rc);
  EXPECT_EQ(rc, -1) << "a file is no folder";
}

// A folder large enough to be looked at in parts still comes back whole: every entry once,
// each with its own size.
TEST(FsListFolder, ALargeFolderComesBackWhole) {
  TempDir dir;
  constexpr int kFiles = 3000;
  for (int i = 0; i < kFiles; ++i)
    ASSERT_TRUE(write_file(dir.file("f" + std::to_string(i)), std::string(size_t(i % 7), 'x')));
  int rc = -1, calls = 0;
  std::map<std::string, std::string> got = listing(dir.path(), &rc, &calls);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(calls, kFiles);
  ASSERT_EQ(got.size(), size_t(kFiles));
  for (int i = 0; i < kFiles; ++i) {
    const std::string& what = got["f" + std::to_string(i)];
    EXPECT_EQ(what.rfind("file " + std::to_string(i % 7) + " ", 0), 0u) << i << ": " << what;
  }
}

#ifndef _WIN32
// A link to a file counts as that file; a link to a folder is not followed, and neither is a
// link that leads nowhere or a pipe.
TEST(FsListFolder, LinksToFilesAreFilesAndTheRestIsNeither) {
  TempDir dir;
  ASSERT_EQ(fs_make_dirs(dir.file("top").c_str()), 0);
  ASSERT_EQ(fs_make_dirs(dir.file("elsewhere").c_str()), 0);
  ASSERT_TRUE(write_file(dir.file("elsewhere/two.txt"), "22"));
  stdfs::create_symlink(native(dir.file("elsewhere/two.txt")), native(dir.file("top/to-file")));
  stdfs::create_directory_symlink(native(dir.file("elsewhere")),
                                  native(dir.file("top/to-folder")));
  stdfs::create_symlink(native(dir.file("nowhere")), native(dir.file("top/dangling")));
  ASSERT_EQ(mkfifo(dir.file("top/pipe").c_str(), 0600), 0);
  uint64_t mtime = 0;
  ASSERT_EQ(fs_stat(dir.file("elsewhere/two.txt").c_str(), nullptr, &mtime), 0);
  int rc = -1;
  const std::map<std::string, std::string> want = {
      {"to-file", "file 2 " + std::to_string(mtime)},
      {"to-folder", "other"},
      {"dangling", "other"},
      {"pipe", "other"}};
  EXPECT_EQ(listing(dir.file("top"), &rc), want);
  EXPECT_EQ(rc, 0);
}
#endif

TEST(FsMakeDirs, NestedExistingAndBlockedByAFile) {
  TempDir dir;
  std::string nested = dir.file("a/b/c/d");
  ASSERT_EQ(fs_make_dirs(nested.c_str()), 0);
  EXPECT_TRUE(stdfs::is_directory(native(nested)));
  EXPECT_EQ(fs_make_dirs(nested.c_str()), 0) << "an existing folder is success";
  EXPECT_EQ(fs_make_dirs((nested + "/").c_str()), 0) << "trailing separator";

  std::string file = dir.file("plain");
  ASSERT_TRUE(write_file(file, "x"));
  EXPECT_EQ(fs_make_dirs((file + "/sub").c_str()), -1) << "parent is a regular file";
  EXPECT_EQ(fs_make_dirs(file.c_str()), -1) << "the path itself is a regular file";
  EXPECT_EQ(fs_make_dirs(""), -1);
}

TEST(FsMtime, SetThroughTheOpenFileAndReadByStatInMilliseconds) {
  TempDir dir;
  std::string p = dir.file("m.txt");
  ASSERT_TRUE(write_file(p, "m"));
  const long long values[] = {0, 1700000000123LL, 4102444800999LL /* 2100-01-01 */};
  for (long long ms : values) {
    FsFile* f = fs_open(p.c_str(), FS_WRITE_EXISTING);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fs_set_file_mtime(f, static_cast<uint64_t>(ms)), 0) << ms;
    EXPECT_EQ(fs_flush(f), 0);
    fs_close(f);
    EXPECT_EQ(test_mtime_ms(p), ms) << "closing the file leaves the time set";
    uint64_t size = 0, seen = 1;
    ASSERT_EQ(fs_stat(p.c_str(), &size, &seen), 0);
    EXPECT_EQ(seen, uint64_t(ms)) << "fs_stat reads the same time";
    EXPECT_EQ(size, 1u);
  }
  EXPECT_EQ(fs_set_file_mtime(nullptr, 0), -1);
}

TEST(FsVolume, FreeSpaceAndFatAnswer) {
  TempDir dir;
  uint64_t bytes = 0;
  ASSERT_EQ(fs_free_space(dir.path().c_str(), &bytes), 0);
  EXPECT_GT(bytes, 0u);
  EXPECT_EQ(fs_free_space(dir.file("no/such/dir").c_str(), &bytes), -1);
  EXPECT_EQ(fs_is_fat_volume(dir.path().c_str()), 0) << "the temporary folder is not on FAT";
  EXPECT_EQ(fs_is_fat_volume(dir.file("no/such/dir").c_str()), 0);
  EXPECT_EQ(fs_is_fat_volume(""), 0);
}
