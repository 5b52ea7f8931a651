// The incoming file store on a real temporary inbox: safe names, unique names, partial files
// with resume metadata, verification and the final move.
#include "recv/file_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "crypto/sha256.h"
#include "platform/fs.h"
#include "support/temp_dir.h"

namespace {

namespace stdfs = std::filesystem;

constexpr char kPeer[] = "0123456789abcdef";

struct SanitizeCase {
  const char* name;
  std::string in;
  bool ok;
  std::string out;
};

std::string repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}

std::vector<SanitizeCase> sanitize_cases() {
  return {
      {"plain", "photo.jpg", true, "photo.jpg"},
      {"colon inside", "ab:c.txt", true, "ab_c.txt"},
      {"drive-like a:b.txt", "a:b.txt", false, ""},
      {"drive-like c:x", "c:x", false, ""},
      {"drive alone", "C:", false, ""},
      {"digit then colon is no drive", "1:x", true, "1_x"},
      {"empty", "", false, ""},
      {"dot", ".", false, ""},
      {"dot dot", "..", false, ""},
      {"three dots", "...", false, ""},
      {"space dot space", " . ", false, ""},
      {"trailing dot", "report.", true, "report"},
      {"trailing dots and spaces", "report. . ", true, "report"},
      {"leading dot kept", ".profile", true, ".profile"},
      {"forbidden characters", "a<b>c\"d|e?f*g", true, "a_b_c_d_e_f_g"},
      {"backslash", "a\\b", true, "a_b"},
      {"slash", "a/b", true, "a_b"},
      {"control bytes and DEL", std::string("a\tb\x01") + "c\x7f", true, "a_b_c_"},
      {"reserved nul.txt", "nul.txt", true, "_nul.txt"},
      {"reserved NUL.tar.gz", "NUL.tar.gz", true, "_NUL.tar.gz"},
      {"reserved con", "con", true, "_con"},
      {"reserved LPT1", "LPT1", true, "_LPT1"},
      {"reserved com9.log", "com9.log", true, "_com9.log"},
      {"reserved with spaces around stem", " aux .txt", true, "_ aux .txt"},
      {"reserved after trimming", "prn. ", true, "_prn"},
      {"COM0 is not reserved", "COM0", true, "COM0"},
      {"COM10 is not reserved", "COM10", true, "COM10"},
      {"CONSOLE is not reserved", "console.txt", true, "console.txt"},
      {"two-byte UTF-8", "caf\xC3\xA9.txt", true, "caf\xC3\xA9.txt"},
      {"three-byte UTF-8", "\xE6\x97\xA5\xE6\x9C\xAC.txt", true, "\xE6\x97\xA5\xE6\x9C\xAC.txt"},
      {"four-byte UTF-8", "\xF0\x9F\x98\x80.png", true, "\xF0\x9F\x98\x80.png"},
      // A lead byte must not carry a forbidden byte along as if it were part of its character.
      {"lead byte then backslash", "a\xC3\\b", true, "a\xC3_b"},
      {"lead byte then colon", "\xE2:x", true, "\xE2_x"},
      {"three-byte lead, one continuation, then colon", "\xE2\x82:x", true, "\xE2\x82_x"},
      {"four-byte lead, control byte inside", "\xF0\x9F\x98\x01z", true, "\xF0\x9F\x98_z"},
      {"lead byte then slash", "x\xF0/y", true, "x\xF0_y"},
      {"lead byte hides a dot-dot-backslash", "\xE2\\..\\x", true, "\xE2_.._x"},
      {"lead byte at the end", "abc\xC3", true, "abc\xC3"},
      {"stray continuation byte", "a\x80\xBF", true, "a\x80\xBF"},
      // A direction control would make "invoice<RLO>fdp.exe" read as "invoiceexe.pdf".
      {"right-to-left override", "invoice\xE2\x80\xAE" "fdp.exe", true, "invoice_fdp.exe"},
      {"isolate in the extension", "a.\xE2\x81\xA6" "exe", true, "a._exe"},
      {"arabic letter mark", "\xD8\x9C" "x", true, "_x"},
      // The store's own file endings: a received name must never be taken for them.
      {"partial-file ending", "notes.flpart", true, "notes_flpart"},
      {"metadata ending, other case", "notes.FLMeta", true, "notes_FLMeta"},
      {"numbered partial ending", "a.txt.3.flpart", true, "a.txt.3_flpart"},
      {"metadata temporary ending", "notes.flmeta.tmp", true, "notes.flmeta_tmp"},
      {"other .tmp files keep their name", "draft.tmp", true, "draft.tmp"},
  };
}

TEST(SanitizeComponent, Table) {
  for (const auto& c : sanitize_cases()) {
    char out[kComponentCap];
    int rc = sanitize_component(c.in.c_str(), out, sizeof out);
    if (!c.ok) {
      EXPECT_EQ(rc, -1) << c.name;
      continue;
    }
    ASSERT_EQ(rc, 0) << c.name;
    EXPECT_EQ(std::string(out), c.out) << c.name;
  }
}

TEST(SanitizeComponent, LongNamesAreCutToTwoHundredCharacters) {
  struct LongCase {
    const char* name;
    std::string in;
    std::string out;
  };
  const std::string a246 = repeat("a", 246);
  const std::string ext21 = "." + repeat("e", 21);
  const std::vector<LongCase> cases = {
      {"short extension kept", a246 + ".jpg", repeat("a", 196) + ".jpg"},
      {"extension of 21 bytes is no extension", repeat("a", 229) + ext21, repeat("a", 200)},
      {"extension of 20 bytes kept", repeat("a", 230) + "." + repeat("e", 20),
       repeat("a", 179) + "." + repeat("e", 20)},
      {"no dot", repeat("b", 300), repeat("b", 200)},
      {"two-byte characters counted once", repeat("\xC3\xA9", 250), repeat("\xC3\xA9", 200)},
      {"four-byte characters counted once", repeat("\xF0\x9F\x98\x80", 210) + ".gif",
       repeat("\xF0\x9F\x98\x80", 196) + ".gif"},
      // The "_" in front of a reserved name counts as a character.
      {"reserved prefix counted", "con." + repeat("x", 300), "_con." + repeat("x", 195)},
      {"exactly 200 characters untouched", repeat("c", 196) + ".txt", repeat("c", 196) + ".txt"},
  };
  for (const auto& c : cases) {
    char out[kComponentCap];
    ASSERT_EQ(sanitize_component(c.in.c_str(), out, sizeof out), 0) << c.name;
    EXPECT_EQ(std::string(out), c.out) << c.name;
  }
}

TEST(SanitizeComponent, ResultMustFitTheCapacity) {
  char out[6];
  EXPECT_EQ(sanitize_component("abcde", out, sizeof out), 0);
  EXPECT_STREQ(out, "abcde");
  EXPECT_EQ(sanitize_component("abcdef", out, sizeof out), -1);
  EXPECT_EQ(sanitize_component("nul.t", out, sizeof out), -1);  // "_nul.t" needs 7 bytes
}

TEST(SplitOfferPath, Table) {
  struct SplitCase {
    std::string in;
    bool ok;
    std::vector<std::string> parts;
  };
  const std::vector<SplitCase> cases = {
      {"Photos/2024/IMG 1.jpg", true, {"Photos", "2024", "IMG 1.jpg"}},
      {"a.txt", true, {"a.txt"}},
      {"a\\b", true, {"a_b"}},
      {"dir./x.", true, {"dir", "x"}},
      {"con/aux.txt", true, {"_con", "_aux.txt"}},
      {"/etc/passwd", false, {}},
      {"\\x", false, {}},
      {"a//b", false, {}},
      {"a/", false, {}},
      {"", false, {}},
      {"a/../b", false, {}},
      {"./a", false, {}},
      {"a/c:x", false, {}},
      {"d:/x", false, {}},
      {"a/ . /b", false, {}},
  };
  auto path = std::make_unique<OfferPath>();
  for (const auto& c : cases) {
    int rc = split_offer_path(c.in.c_str(), path.get());
    if (!c.ok) {
      EXPECT_EQ(rc, -1) << c.in;
      continue;
    }
    ASSERT_EQ(rc, 0) << c.in;
    ASSERT_EQ(path->count, int(c.parts.size())) << c.in;
    for (size_t i = 0; i < c.parts.size(); ++i) EXPECT_EQ(path->parts[i], c.parts[i]) << c.in;
  }
}

TEST(SplitOfferPath, AtMostSixtyFourComponents) {
  auto path = std::make_unique<OfferPath>();
  std::string name = repeat("d/", 63) + "leaf";
  ASSERT_EQ(split_offer_path(name.c_str(), path.get()), 0);
  EXPECT_EQ(path->count, 64);
  EXPECT_STREQ(path->parts[63], "leaf");
  name = "d/" + name;
  EXPECT_EQ(split_offer_path(name.c_str(), path.get()), -1);
}

// ---- on disk ------------------------------------------------------------------------------

std::string digest_of(const std::string& bytes) {
  uint8_t d[32];
  sha256(bytes.data(), bytes.size(), d);
  return std::string(reinterpret_cast<char*>(d), 32);
}

bool exists(const std::string& p) { return fs_exists(p.c_str()) == 1; }

// Paths of the file system library as UTF-8 with "/" (names may hold any bytes we stored).
std::string utf8(const stdfs::path& p) {
  std::u8string s = p.generic_u8string();
  return std::string(s.begin(), s.end());
}

// The process's keep-open budget for one test; none again afterwards.
struct KeepOpenBudget {
  explicit KeepOpenBudget(int files) { incoming_set_keep_open_budget(files); }
  ~KeepOpenBudget() { incoming_set_keep_open_budget(0); }
};

class StoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    inbox_ = tmp_.file("inbox");
    ASSERT_EQ(fs_make_dirs(inbox_.c_str()), 0);
  }

  // One offer's worth of records and claimed names, cleaned up at the end of the test.
  struct Offer {
    explicit Offer(int n) : count(n), records(n) {}
    ~Offer() { incoming_cleanup(records.data(), count); }
    int count;
    std::vector<IncomingFile> records;
    OfferNames names;
    IncomingFile& operator[](int i) { return records[i]; }
  };

  int prepare(Offer& o, int i, const std::string& name, uint64_t size, uint64_t mtime = 0,
              const char* peer = kPeer) {
    return incoming_prepare(o.records.data(), i, inbox_.c_str(), peer, name.c_str(), size, mtime,
                            &o.names);
  }

  // Writes bytes [from, to) of content as the session would and advances stored.
  static void write(IncomingFile& r, const std::string& content, size_t from, size_t to) {
    ASSERT_EQ(r.stored, from);
    ASSERT_EQ(incoming_write(&r, content.data() + from, to - from), 0);
    r.stored += to - from;
  }

  static int finish(IncomingFile& r, const std::string& content, int* code) {
    std::string d = digest_of(content);
    return incoming_finish(&r, reinterpret_cast<const uint8_t*>(d.data()), code);
  }

  std::string in(const std::string& rel) const { return inbox_ + "/" + rel; }

  TempDir tmp_;
  std::string inbox_;
};

TEST_F(StoreTest, NewItemGetsPartialFileAndMetadataThenIsStored) {
  Offer o(1);
  const std::string content = "hello, inbox";
  ASSERT_EQ(prepare(o, 0, "Photos/2024/IMG 1.jpg", content.size(), 1700000000000ull), 0);
  EXPECT_EQ(std::string(o[0].final_path), in("Photos/2024/IMG 1.jpg"));
  EXPECT_EQ(std::string(o[0].partial_path), in("Photos/2024/IMG 1.jpg.flpart"));
  EXPECT_EQ(std::string(o[0].meta_path), in("Photos/2024/IMG 1.jpg.flmeta"));
  EXPECT_EQ(o.names.claimed, ClaimedNames{o[0].final_path});
  EXPECT_EQ(o[0].stored, 0u);
  EXPECT_EQ(read_file(o[0].partial_path), "");
  // The metadata is written with the first bytes that leave the item unfinished.
  EXPECT_FALSE(exists(o[0].meta_path));
  write(o[0], content, 0, 5);
  EXPECT_EQ(read_file(o[0].meta_path),
            std::string(kPeer) + "|Photos/2024/IMG 1.jpg|12|1700000000000");
  write(o[0], content, 5, content.size());
  int code = -1;
  ASSERT_EQ(finish(o[0], content, &code), FILE_STORED);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(o[0].finished, 1);
  EXPECT_EQ(read_file(in("Photos/2024/IMG 1.jpg")), content);
  EXPECT_FALSE(exists(in("Photos/2024/IMG 1.jpg.flpart")));
  EXPECT_FALSE(exists(in("Photos/2024/IMG 1.jpg.flmeta")));

  // The offered modification time is the file's last-write time (whole seconds: the test
  // reads it back through a library that may not see milliseconds).
  auto t = stdfs::last_write_time(stdfs::path(o[0].final_path));
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::file_clock::to_sys(t).time_since_epoch());
  EXPECT_EQ(ms.count(), 1700000000000ll);
}

// An item whose bytes come in one write never gets metadata: it has nothing to resume. If it
// still ends unfinished, nothing could resume it, so cleanup removes its partial file.
TEST_F(StoreTest, ItemWrittenWholeHasNoMetadataAndLeavesNothingBehind) {
  const std::string content = "one piece";
  {
    Offer o(2);
    ASSERT_EQ(prepare(o, 0, "whole.txt", content.size()), 0);
    ASSERT_EQ(prepare(o, 1, "unfinished.txt", content.size()), 0);
    write(o[0], content, 0, content.size());
    write(o[1], content, 0, content.size());
    EXPECT_FALSE(exists(in("whole.txt.flmeta")));
    EXPECT_FALSE(exists(in("unfinished.txt.flmeta")));
    int code = -1;
    ASSERT_EQ(finish(o[0], content, &code), FILE_STORED);
    EXPECT_EQ(read_file(in("whole.txt")), content);
  }  // the second item never saw its file end
  EXPECT_FALSE(exists(in("whole.txt.flpart")));
  EXPECT_FALSE(exists(in("unfinished.txt.flpart")));
  EXPECT_FALSE(exists(in("unfinished.txt")));
}

TEST_F(StoreTest, ZeroByteFileAndTimeZeroKeepsTheMoveTime) {
  Offer o(1);
  auto before = std::chrono::system_clock::now() - std::chrono::minutes(1);
  ASSERT_EQ(prepare(o, 0, "empty.bin", 0, 0), 0);
  int code = -1;
  ASSERT_EQ(finish(o[0], "", &code), FILE_STORED);
  EXPECT_TRUE(exists(in("empty.bin")));
  EXPECT_EQ(read_file(in("empty.bin")), "");
  auto t = std::chrono::file_clock::to_sys(stdfs::last_write_time(stdfs::path(in("empty.bin"))));
  EXPECT_GT(t, before);
}

TEST_F(StoreTest, UniqueNames) {
  ASSERT_TRUE(write_file(in("photo.jpg"), "x"));
  ASSERT_TRUE(write_file(in("README"), "x"));
  ASSERT_TRUE(write_file(in(".profile"), "x"));
  ASSERT_EQ(fs_make_dirs(in("dir.d").c_str()), 0);  // a folder takes a name as well
  ASSERT_TRUE(write_file(in("a (1).txt"), "x"));
  ASSERT_TRUE(write_file(in("a.txt"), "x"));

  struct Case {
    const char* leaf;
    std::vector<std::string> claimed;
    std::string expect;
  };
  const std::vector<Case> cases = {
      {"new.txt", {}, "new.txt"},
      {"photo.jpg", {}, "photo (1).jpg"},
      {"README", {}, "README (1)"},
      {".profile", {}, ".profile (1)"},
      {"dir.d", {}, "dir (1).d"},
      {"a.txt", {}, "a (2).txt"},
      {"b.txt", {in("b.txt")}, "b (1).txt"},
      {"b.txt", {in("b.txt"), in("b (1).txt")}, "b (2).txt"},
      {"tar.gz.", {}, "tar.gz."},
  };
  for (const auto& c : cases) {
    const ClaimedNames claimed(c.claimed.begin(), c.claimed.end());
    char out[kStorePathCap];
    ASSERT_EQ(unique_name(inbox_.c_str(), c.leaf, out, sizeof out, &claimed), 0)
        << c.leaf;
    EXPECT_EQ(std::string(out), in(c.expect)) << c.leaf;
  }
}

TEST_F(StoreTest, UniqueNameFailsWhenThePathDoesNotFit) {
  char out[kStorePathCap];
  size_t need = inbox_.size() + 1 + strlen("photo.jpg") + 1;
  EXPECT_EQ(unique_name(inbox_.c_str(), "photo.jpg", out, need, nullptr), 0);
  EXPECT_EQ(unique_name(inbox_.c_str(), "photo.jpg", out, need - 1, nullptr), -1);
  ASSERT_TRUE(write_file(in("photo.jpg"), "x"));
  // "photo (1).jpg" is four bytes longer than what fits.
  EXPECT_EQ(unique_name(inbox_.c_str(), "photo.jpg", out, need, nullptr), -1);
}

TEST_F(StoreTest, SameNameTwiceInOneOfferAndAgainLater) {
  ASSERT_TRUE(write_file(in("x.txt"), "old"));
  {
    Offer o(2);
    ASSERT_EQ(prepare(o, 0, "x.txt", 1), 0);
    ASSERT_EQ(prepare(o, 1, "x.txt", 1), 0);
    EXPECT_EQ(std::string(o[0].final_path), in("x (1).txt"));
    EXPECT_EQ(std::string(o[1].final_path), in("x (2).txt"));
    EXPECT_NE(std::string(o[0].partial_path), std::string(o[1].partial_path));
    write(o[0], "A", 0, 1);
    write(o[1], "B", 0, 1);
    int code;
    ASSERT_EQ(finish(o[0], "A", &code), FILE_STORED);
    ASSERT_EQ(finish(o[1], "B", &code), FILE_STORED);
  }
  EXPECT_EQ(read_file(in("x.txt")), "old");
  EXPECT_EQ(read_file(in("x (1).txt")), "A");
  EXPECT_EQ(read_file(in("x (2).txt")), "B");
}

TEST_F(StoreTest, InterruptedItemResumesWhenPeerNameSizeAndTimeMatch) {
  const std::string content = "0123456789";
  {
    Offer o(1);
    ASSERT_EQ(prepare(o, 0, "x.txt", content.size(), 42), 0);
    write(o[0], content, 0, 4);
  }  // cleanup keeps a partial file that holds bytes
  ASSERT_TRUE(exists(in("x.txt.flpart")));
  ASSERT_TRUE(exists(in("x.txt.flmeta")));
  const std::string meta = read_file(in("x.txt.flmeta"));

  Offer o(1);
  ASSERT_EQ(prepare(o, 0, "x.txt", content.size(), 42), 0);
  EXPECT_EQ(o[0].stored, 4u);
  EXPECT_EQ(std::string(o[0].partial_path), in("x.txt.flpart"));
  EXPECT_EQ(read_file(in("x.txt.flmeta")), meta);
  write(o[0], content, 4, content.size());
  int code;
  ASSERT_EQ(finish(o[0], content, &code), FILE_STORED);
  EXPECT_EQ(read_file(in("x.txt")), content);
}

TEST_F(StoreTest, MismatchedPartialIsLeftAloneAndANumberedOneStarts) {
  struct Case {
    const char* what;
    const char* peer;
    uint64_t size;
    uint64_t mtime;
  };
  const std::vector<Case> cases = {
      {"other size", kPeer, 11, 42},
      {"other time", kPeer, 10, 43},
      {"other peer", "fedcba9876543210", 10, 42},
      {"partial larger than size", kPeer, 3, 42},
  };
  for (const auto& c : cases) {
    TempDir t;
    inbox_ = t.file("inbox");
    {
      Offer o(1);
      ASSERT_EQ(prepare(o, 0, "x.txt", 10, 42), 0);
      write(o[0], "0123456789", 0, 4);
    }
    Offer o(1);
    ASSERT_EQ(prepare(o, 0, "x.txt", c.size, c.mtime, c.peer), 0) << c.what;
    EXPECT_EQ(o[0].stored, 0u) << c.what;
    EXPECT_EQ(std::string(o[0].partial_path), in("x.txt.1.flpart")) << c.what;
    EXPECT_EQ(std::string(o[0].meta_path), in("x.txt.1.flmeta")) << c.what;
    EXPECT_EQ(read_file(in("x.txt.flpart")), "0123") << c.what;
    EXPECT_TRUE(exists(in("x.txt.flmeta"))) << c.what;
  }
}

TEST_F(StoreTest, NumberedPartialIsNeverLookedUpAgain) {
  {
    Offer o(1);
    ASSERT_EQ(prepare(o, 0, "x.txt", 10, 1), 0);
    write(o[0], "0123456789", 0, 2);
  }
  {
    Offer o(1);  // another size: starts x.txt.1.flpart beside the first one
    ASSERT_EQ(prepare(o, 0, "x.txt", 20, 1), 0);
    write(o[0], std::string(20, 'z'), 0, 2);
  }
  Offer o(1);  // the second item again: its own leaf's partial does not match, so a new one
  ASSERT_EQ(prepare(o, 0, "x.txt", 20, 1), 0);
  EXPECT_EQ(o[0].stored, 0u);
  EXPECT_EQ(std::string(o[0].partial_path), in("x.txt.2.flpart"));
}

TEST_F(StoreTest, TwoItemsOfOneOfferNeverShareAResumedPartial) {
  {
    Offer o(1);
    ASSERT_EQ(prepare(o, 0, "x.txt", 10, 1), 0);
    write(o[0], "0123456789", 0, 3);
  }
  Offer o(2);
  ASSERT_EQ(prepare(o, 0, "x.txt", 10, 1), 0);
  ASSERT_EQ(prepare(o, 1, "x.txt", 10, 1), 0);
  EXPECT_EQ(o[0].stored, 3u);
  EXPECT_EQ(o[1].stored, 0u);
  EXPECT_NE(std::string(o[0].partial_path), std::string(o[1].partial_path));
  EXPECT_NE(std::string(o[0].final_path), std::string(o[1].final_path));
}

TEST_F(StoreTest, FinishFailures) {
  const std::string content = "abcdef";
  {  // wrong digest: both files deleted, the next offer starts from 0
    Offer o(1);
    ASSERT_EQ(prepare(o, 0, "h.txt", content.size()), 0);
    write(o[0], content, 0, content.size());
    int code = 0;
    EXPECT_EQ(finish(o[0], "abcdeX", &code), FILE_HASH_MISMATCH);
    EXPECT_EQ(code, ABORT_HASH_MISMATCH);
    EXPECT_FALSE(exists(in("h.txt.flpart")));
    EXPECT_FALSE(exists(in("h.txt.flmeta")));
    EXPECT_FALSE(exists(in("h.txt")));
  }
  {  // file end before all bytes arrived
    Offer o(1);
    ASSERT_EQ(prepare(o, 0, "s.txt", content.size()), 0);
    write(o[0], content, 0, 3);
    int code = 0;
    EXPECT_EQ(finish(o[0], content, &code), FILE_FAILED);
    EXPECT_EQ(code, ABORT_SIZE_MISMATCH);
    EXPECT_EQ(read_file(in("s.txt.flpart")), "abc");
  }
  {  // the partial file vanished
    Offer o(1);
    ASSERT_EQ(prepare(o, 0, "r.txt", 0), 0);
    ASSERT_EQ(fs_delete(o[0].partial_path), 0);
    int code = 0;
    EXPECT_EQ(finish(o[0], "", &code), FILE_FAILED);
    EXPECT_EQ(code, ABORT_READ_BACK);
  }
  {  // the final place cannot be reached
    Offer o(1);
    ASSERT_EQ(prepare(o, 0, "m.txt", 0), 0);
    free(o[0].final_path);
    o[0].final_path = strdup(in("no/such/folder/m.txt").c_str());
    int code = 0;
    EXPECT_EQ(finish(o[0], "", &code), FILE_FAILED);
    EXPECT_EQ(code, ABORT_MOVE);
    EXPECT_TRUE(exists(in("m.txt.flpart")));
  }
}

// In a folder the offer made, names are chosen among the offer's own; in one that was there
// before, what it holds counts too. Either way the final move never replaces a file that
// appeared meanwhile.
TEST_F(StoreTest, NamesInAFolderTheOfferMadeAndInOneThatWasThere) {
  ASSERT_EQ(fs_make_dirs(in("old").c_str()), 0);
  ASSERT_TRUE(write_file(in("old/a.txt"), "before"));
  Offer o(5);
  ASSERT_EQ(prepare(o, 0, "old/a.txt", 1), 0);
  ASSERT_EQ(prepare(o, 1, "new/a.txt", 1), 0);
  ASSERT_EQ(prepare(o, 2, "new/a.txt", 1), 0);
  ASSERT_EQ(prepare(o, 3, "new/b.txt", 1), 0);
  ASSERT_EQ(prepare(o, 4, "old/c.txt", 1), 0);
  EXPECT_EQ(std::string(o[0].final_path), in("old/a (1).txt"));
  EXPECT_EQ(std::string(o[1].final_path), in("new/a.txt"));
  EXPECT_EQ(std::string(o[2].final_path), in("new/a (1).txt"));
  EXPECT_EQ(std::string(o[3].final_path), in("new/b.txt"));
  EXPECT_EQ(std::string(o[4].final_path), in("old/c.txt"));
  ASSERT_TRUE(write_file(in("new/b.txt"), "someone else's"));
  int code;
  for (int i = 0; i < 5; ++i) {
    write(o[i], "x", 0, 1);
    ASSERT_EQ(finish(o[i], "x", &code), FILE_STORED) << i;
  }
  EXPECT_EQ(std::string(o[3].final_path), in("new/b (1).txt"));
  EXPECT_EQ(read_file(in("new/b.txt")), "someone else's");
  EXPECT_EQ(read_file(in("old/a.txt")), "before");
}

TEST_F(StoreTest, FileAppearingAtTheFinalNameIsNotReplaced) {
  Offer o(1);
  ASSERT_EQ(prepare(o, 0, "x.txt", 3), 0);
  write(o[0], "new", 0, 3);
  ASSERT_TRUE(write_file(in("x.txt"), "someone else's"));
  int code;
  ASSERT_EQ(finish(o[0], "new", &code), FILE_STORED);
  EXPECT_EQ(std::string(o[0].final_path), in("x (1).txt"));
  EXPECT_EQ(read_file(in("x.txt")), "someone else's");
  EXPECT_EQ(read_file(in("x (1).txt")), "new");
}

TEST_F(StoreTest, CleanupRemovesEmptyPartialsAndKeepsOnesWithBytes) {
  {
    Offer o(3);
    ASSERT_EQ(prepare(o, 0, "kept.txt", 10), 0);
    ASSERT_EQ(prepare(o, 1, "gone.txt", 10), 0);
    ASSERT_EQ(prepare(o, 2, "done.txt", 1), 0);
    write(o[0], "0123456789", 0, 5);
    write(o[2], "d", 0, 1);
    int code;
    ASSERT_EQ(finish(o[2], "d", &code), FILE_STORED);
  }
  EXPECT_EQ(read_file(in("kept.txt.flpart")), "01234");
  EXPECT_TRUE(exists(in("kept.txt.flmeta")));
  EXPECT_FALSE(exists(in("gone.txt.flpart")));
  EXPECT_FALSE(exists(in("gone.txt.flmeta")));
  EXPECT_EQ(read_file(in("done.txt")), "d");
}

TEST_F(StoreTest, PrepareFailures) {
  Offer o(4);
  EXPECT_EQ(prepare(o, 0, "a//b", 1), ABORT_SPLIT_NAME);
  EXPECT_EQ(o[0].partial_path, nullptr);
  ASSERT_TRUE(write_file(in("file"), "x"));
  EXPECT_EQ(prepare(o, 1, "file/sub/x.txt", 1), ABORT_MAKE_FOLDER);
  std::string deep;  // 2200 bytes of folder path: 11 components of 199 bytes
  for (int i = 0; i < 11; ++i) deep += repeat("d", 199) + "/";
  EXPECT_EQ(prepare(o, 2, deep + "x", 1), ABORT_FOLDER_TOO_LONG);
  // A folder that fits, but no room is left for the leaf.
  // A folder of 1999..2198 bytes: it fits, but folder, "/" and 200 more bytes do not.
  const size_t k = (1999 - inbox_.size() + 199) / 200;
  const std::string fits = repeat(repeat("f", 199) + "/", int(k));
  EXPECT_EQ(prepare(o, 3, fits + repeat("n", 200), 1), ABORT_NO_NAME_NEW);
}

// Several sessions store the same file name into the same folder at the same time: each
// gets a partial file of its own and a final name of its own, and every byte arrives.
TEST_F(StoreTest, ConcurrentSessionsNeverShareFiles) {
  constexpr int kSessions = 8;
  std::vector<std::string> contents;
  for (int s = 0; s < kSessions; ++s) contents.push_back(repeat(std::string(1, char('A' + s)), 100000));
  std::vector<int> results(kSessions, -1);
  std::vector<std::thread> threads;
  for (int s = 0; s < kSessions; ++s) {
    threads.emplace_back([&, s] {
      Offer o(1);
      if (prepare(o, 0, "same/name.bin", contents[s].size(), 7) != 0) return;
      for (size_t off = 0; off < contents[s].size(); off += 4096) {
        size_t n = std::min<size_t>(4096, contents[s].size() - off);
        if (incoming_write(&o[0], contents[s].data() + off, n) != 0) return;
        o[0].stored += n;
        std::this_thread::yield();
      }
      int code;
      results[s] = finish(o[0], contents[s], &code);
    });
  }
  for (auto& t : threads) t.join();
  for (int s = 0; s < kSessions; ++s) EXPECT_EQ(results[s], FILE_STORED) << s;

  std::vector<std::string> seen, names;
  for (const auto& e : stdfs::directory_iterator(stdfs::path(in("same")))) {
    names.push_back(utf8(e.path().filename()));
    seen.push_back(read_file(utf8(e.path())));
  }
  std::sort(seen.begin(), seen.end());
  // Compared whole, so that a failure lists names rather than megabytes of content.
  EXPECT_TRUE(seen == contents) << ::testing::PrintToString(names);
}

// Small files under the same names from several sessions at once: one session moves its
// partial file to the final name while another is just creating a partial of that name.
// Every item of every session is stored, each under a name of its own.
TEST_F(StoreTest, SessionsStoringTheSameSmallFilesAtOnceAllSucceed) {
  constexpr int kSessions = 4, kItems = 300;
  KeepOpenBudget budget(2);  // some partial files kept open from their creation, some not
  // One item's whole life, as a session goes through it for a small file.
  auto store = [&](const char* name, const std::string& content) {
    Offer o(1);
    if (prepare(o, 0, name, content.size(), 7) != 0) return false;
    if (incoming_write(&o[0], content.data(), content.size()) != 0) return false;
    o[0].stored = content.size();
    int code = 0;
    return finish(o[0], content, &code) == FILE_STORED;
  };
  std::vector<int> failures(kSessions, 0);
  std::vector<std::thread> threads;
  for (int s = 0; s < kSessions; ++s) {
    threads.emplace_back([&, s] {
      const std::string content(16, char('A' + s));
      for (int i = 0; i < kItems; ++i) {
        char name[32];
        snprintf(name, sizeof name, "batch/f%03d.dat", i);
        if (!store(name, content)) ++failures[s];
      }
    });
  }
  for (auto& t : threads) t.join();
  for (int s = 0; s < kSessions; ++s) EXPECT_EQ(failures[s], 0) << "session " << s;
  size_t files = 0;
  for (const auto& e : stdfs::directory_iterator(stdfs::path(in("batch")))) {
    EXPECT_EQ(e.path().extension(), ".dat") << utf8(e.path());
    ++files;
  }
  EXPECT_EQ(files, size_t(kSessions * kItems));
}

TEST_F(StoreTest, PartialInUseByAnotherSessionIsNotResumed) {
  Offer first(1);
  ASSERT_EQ(prepare(first, 0, "x.txt", 10, 5), 0);
  write(first[0], "0123456789", 0, 2);
  Offer second(1);  // same peer, name, size and time while the first is still receiving
  ASSERT_EQ(prepare(second, 0, "x.txt", 10, 5), 0);
  EXPECT_EQ(second[0].stored, 0u);
  EXPECT_STRNE(second[0].partial_path, first[0].partial_path);
}

// However hostile the offered names, nothing is ever written outside the inbox, and nothing
// inside it carries a separator, a drive colon or a control byte in its name.
TEST_F(StoreTest, HostileNamesStayInsideTheInbox) {
  const std::vector<std::string> names = {
      "../escape.txt", "..", "a/../../escape.txt", "..\\escape.txt", "a\\..\\..\\escape.txt",
      "/etc/escape.txt", "\\escape.txt", "C:/escape.txt", "c:escape.txt", "c:\\escape.txt",
      "//server/share/escape.txt", "a/..", "x/./../../escape.txt", "...", ". ./escape.txt",
      "\xE2\\..\\..\\escape.txt", "\xC3\\..\\escape.txt", "\xF0..\\..\\escape.txt",
      "\xE2\x82\\..\\escape.txt", "dir\xC3/..\\..\\escape.txt", "\xC0\xAE\xC0\xAE/escape.txt",
      "a/\xE2:\\escape.txt", "con/../escape.txt", "..\\..", "x/...\\escape.txt",
      "%2e%2e/escape.txt", std::string("tab\t/..\\escape.txt"), "\xE2\x82:stream.txt",
      "\xC3\\/inner.txt", "\xF0\x9F\x98\\escape.txt",
  };
  for (const auto& name : names) {
    Offer o(1);
    if (prepare(o, 0, name, 4) != 0) continue;
    write(o[0], "data", 0, 4);
    int code;
    finish(o[0], "data", &code);
  }
  const stdfs::path parent(tmp_.path());
  for (const auto& e : stdfs::recursive_directory_iterator(parent)) {
    const std::string p = utf8(e.path());
    ASSERT_TRUE(p == inbox_ || p.rfind(inbox_ + "/", 0) == 0) << "outside the inbox: " << p;
    const std::string leaf = utf8(e.path().filename());
    EXPECT_EQ(leaf.find_first_of("\\:"), std::string::npos) << p;
    for (unsigned char c : leaf) EXPECT_GE(c, 0x20) << p;
    EXPECT_NE(leaf, "..");
  }
}

// The store's bookkeeping never writes over or deletes a file that was already there, even
// when it has the very name the store would give its own metadata or partial file.
TEST_F(StoreTest, BookkeepingNeverTouchesAUsersFile) {
  ASSERT_TRUE(write_file(in("notes.flmeta"), "mine"));
  ASSERT_TRUE(write_file(in("notes.1.flpart"), "mine too"));
  {
    Offer o(3);
    ASSERT_EQ(prepare(o, 0, "notes", 4), 0);
    EXPECT_EQ(std::string(o[0].partial_path), in("notes.flpart"));
    // Half the bytes: the metadata is due now, but its name is somebody else's file, so the
    // item goes on without it (it cannot resume).
    write(o[0], "abcd", 0, 2);
    EXPECT_EQ(o[0].has_meta, 0);
    ASSERT_EQ(prepare(o, 1, "notes", 4), 0);  // its final name is "notes (1)"
    write(o[1], "wxyz", 0, 2);
    EXPECT_EQ(o[1].has_meta, 1);
    ASSERT_EQ(prepare(o, 2, "unfinished", 4), 0);
  }  // cleanup deletes the partial files that cannot resume or hold nothing, and their
     // metadata: only the store's own
  EXPECT_EQ(read_file(in("notes.flmeta")), "mine");
  EXPECT_EQ(read_file(in("notes.1.flpart")), "mine too");
  EXPECT_FALSE(exists(in("notes.flpart")));
  EXPECT_FALSE(exists(in("unfinished.flpart")));
  EXPECT_TRUE(exists(in("notes (1).flpart"))) << "two bytes and metadata: kept for a resume";
  EXPECT_TRUE(exists(in("notes (1).flmeta")));

  // A received file with such a name is stored under a changed one, and a later item of
  // the same stem neither resumes from it nor removes it.
  Offer o(2);
  ASSERT_EQ(prepare(o, 0, "report.flmeta", 4), 0);
  write(o[0], "meta", 0, 4);
  int code;
  ASSERT_EQ(finish(o[0], "meta", &code), FILE_STORED);
  EXPECT_EQ(std::string(o[0].final_path), in("report_flmeta"));
  ASSERT_EQ(prepare(o, 1, "report", 4), 0);
  EXPECT_EQ(o[1].stored, 0u);
  write(o[1], "body", 0, 4);
  ASSERT_EQ(finish(o[1], "body", &code), FILE_STORED);
  EXPECT_EQ(read_file(in("report_flmeta")), "meta");
  EXPECT_EQ(read_file(in("report")), "body");
}

// A new partial file stays open from its creation while the budget allows; its data then goes
// into that very file. A finished, paused or cleaned-up item gives its place back.
TEST_F(StoreTest, PartialFilesStayOpenFromCreationWithinTheBudget) {
  KeepOpenBudget budget(2);
  {
    Offer o(3);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(prepare(o, i, "f" + std::to_string(i), 3, 5000), 0);
    EXPECT_NE(o[0].handle, nullptr);
    EXPECT_NE(o[1].handle, nullptr);
    EXPECT_EQ(o[2].handle, nullptr) << "beyond the budget: opened for its data";
    int code;
    for (int i = 0; i < 3; ++i) {
      const std::string content = "ab" + std::to_string(i);
      write(o[i], content, 0, 3);
      ASSERT_EQ(finish(o[i], content, &code), FILE_STORED) << i;
      EXPECT_EQ(read_file(in("f" + std::to_string(i))), content);
      uint64_t size = 0, mtime = 0;
      ASSERT_EQ(fs_stat(o[i].final_path, &size, &mtime), 0);
      EXPECT_EQ(mtime, 5000u) << "the time is set through the kept file too";
    }
  }
  {
    Offer o(2);
    ASSERT_EQ(prepare(o, 0, "paused", 3), 0);
    ASSERT_EQ(prepare(o, 1, "left", 3), 0);
    EXPECT_NE(o[0].handle, nullptr) << "the finished items gave their places back";
    EXPECT_NE(o[1].handle, nullptr);
    incoming_pause(&o[0]);
  }
  Offer o(2);
  ASSERT_EQ(prepare(o, 0, "again1", 3), 0);
  ASSERT_EQ(prepare(o, 1, "again2", 3), 0);
  EXPECT_NE(o[0].handle, nullptr) << "a paused and a cleaned-up item gave theirs back";
  EXPECT_NE(o[1].handle, nullptr);
}

// Only the item whose data flows holds an open file; a paused item goes on where it stopped.
TEST_F(StoreTest, PausedItemReopensAndGoesOn) {
  Offer o(2);
  ASSERT_EQ(prepare(o, 0, "a.bin", 6), 0);
  ASSERT_EQ(prepare(o, 1, "b.bin", 6), 0);
  write(o[0], "aaaAAA", 0, 3);
  incoming_pause(&o[0]);
  EXPECT_EQ(o[0].handle, nullptr);
  write(o[1], "bbbBBB", 0, 6);
  incoming_pause(&o[1]);
  write(o[0], "aaaAAA", 3, 6);
  int code;
  ASSERT_EQ(finish(o[0], "aaaAAA", &code), FILE_STORED);
  ASSERT_EQ(finish(o[1], "bbbBBB", &code), FILE_STORED);
  EXPECT_EQ(read_file(in("a.bin")), "aaaAAA");
  EXPECT_EQ(read_file(in("b.bin")), "bbbBBB");
}

// Folders an offer created and left empty go when it ends; folders that were there before,
// or that hold a stored file, stay.
TEST_F(StoreTest, EmptyFoldersMadeByAnOfferAreRemoved) {
  ASSERT_EQ(fs_make_dirs(in("kept/before").c_str()), 0);
  {
    Offer o(4);
    ASSERT_EQ(prepare(o, 0, "t1/x/y/first.bin", 1), 0);
    ASSERT_EQ(prepare(o, 1, "t1/x/y/z/second.bin", 1), 0);
    ASSERT_EQ(prepare(o, 2, "kept/before/new/third.bin", 1), 0);
    ASSERT_EQ(prepare(o, 3, "stored/deep/fourth.bin", 1), 0);
    write(o[3], "4", 0, 1);
    int code;
    ASSERT_EQ(finish(o[3], "4", &code), FILE_STORED);
  }
  EXPECT_FALSE(exists(in("t1")));
  EXPECT_FALSE(exists(in("kept/before/new")));
  EXPECT_TRUE(exists(in("kept/before")));
  EXPECT_EQ(read_file(in("stored/deep/fourth.bin")), "4");

  // An item refused after its folders were made (no room left for its name) leaves none.
  Offer o(1);
  const size_t k = (1999 - inbox_.size() + 199) / 200;
  const std::string fits = repeat(repeat("f", 199) + "/", int(k));
  ASSERT_EQ(prepare(o, 0, fits + repeat("n", 200), 1), ABORT_NO_NAME_NEW);
  EXPECT_FALSE(exists(in(repeat("f", 199))));
}

// A link planted in the inbox is never followed: not as a folder on the way, not as a
// partial or metadata file to resume, not as the partial file written to.
TEST_F(StoreTest, LinksInTheInboxAreNeverFollowed) {
  const std::string outside = tmp_.file("outside");
  ASSERT_EQ(fs_make_dirs(outside.c_str()), 0);
  ASSERT_TRUE(write_file(outside + "/a.txt.flpart", "ab"));
  std::error_code err;
  stdfs::create_directory_symlink(outside, in("linked"), err);
  if (err) GTEST_SKIP() << "no symbolic links here: " << err.message();

  Offer o(3);
  EXPECT_EQ(prepare(o, 0, "linked/x.txt", 4), ABORT_MAKE_FOLDER);
  EXPECT_EQ(prepare(o, 0, "linked/sub/x.txt", 4), ABORT_MAKE_FOLDER);

  // A pair that would resume "a.txt" from two bytes, both links to files outside.
  const std::string line = std::string(kPeer) + "|a.txt|4|0";
  ASSERT_TRUE(write_file(outside + "/a.txt.flmeta", line));
  stdfs::create_symlink(outside + "/a.txt.flpart", in("a.txt.flpart"));
  stdfs::create_symlink(outside + "/a.txt.flmeta", in("a.txt.flmeta"));
  ASSERT_EQ(prepare(o, 1, "a.txt", 4), 0);
  EXPECT_EQ(o[1].stored, 0u);
  EXPECT_EQ(std::string(o[1].partial_path), in("a.txt.1.flpart"));
  write(o[1], "abcd", 0, 4);
  int code;
  ASSERT_EQ(finish(o[1], "abcd", &code), FILE_STORED);
  EXPECT_EQ(read_file(in("a.txt")), "abcd");

  // The partial file swapped for a link between preparing and writing.
  ASSERT_EQ(prepare(o, 2, "b.txt", 4), 0);
  ASSERT_EQ(fs_delete(o[2].partial_path), 0);
  stdfs::create_symlink(outside + "/a.txt.flpart", o[2].partial_path);
  EXPECT_EQ(incoming_write(&o[2], "evil", 4), -1);

  EXPECT_EQ(read_file(outside + "/a.txt.flpart"), "ab");
  EXPECT_EQ(read_file(outside + "/a.txt.flmeta"), line);
  EXPECT_EQ(std::distance(stdfs::directory_iterator(outside), stdfs::directory_iterator()), 2);
}

}  // namespace
