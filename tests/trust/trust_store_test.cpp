// The trust store: file format, loader rules, capacity, crash safety and concurrent use.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs.h"
#include "platform/sync.h"
#include "support/temp_dir.h"
#include "trust/hex.h"
#include "trust/trust_store.h"

namespace {

struct Key {
  uint8_t b[32];
};

// A distinct key per number, its bytes spread so that no two share a prefix.
Key key_of(int n) {
  Key k;
  for (int i = 0; i < 32; i++) k.b[i] = static_cast<uint8_t>(n * 31 + i * 7 + (n >> 8) * 13);
  k.b[0] = static_cast<uint8_t>(n);
  k.b[1] = static_cast<uint8_t>(n >> 8);
  return k;
}

std::string hex_key(const Key& k) {
  char text[65];
  hex_encode(k.b, 32, text);
  return text;
}

std::string line(const Key& k, int flag, unsigned long long added, const std::string& name) {
  return hex_key(k) + "\t" + std::to_string(flag) + "\t" + std::to_string(added) + "\t" + name +
         "\n";
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t lf = text.find('\n', start);
    if (lf == std::string::npos) lf = text.size();
    out.push_back(text.substr(start, lf - start));
    start = lf + 1;
  }
  return out;
}

struct StoreCloser {
  void operator()(TrustStore* s) const { trust_store_close(s); }
};
using StorePtr = std::unique_ptr<TrustStore, StoreCloser>;

StorePtr open_store(const std::string& path) { return StorePtr(trust_store_open(path.c_str())); }

TrustRecord get(TrustStore* s, int i) {
  TrustRecord r;
  memset(&r, 0xCC, sizeof r);
  EXPECT_TRUE(trust_store_get(s, i, &r));
  return r;
}

// The records of a store, in order, as one comparable text.
std::string dump(TrustStore* s) {
  std::string out;
  for (int i = 0; i < trust_store_count(s); i++) {
    TrustRecord r = get(s, i);
    Key k;
    memcpy(k.b, r.public_key, 32);
    out += hex_key(k) + "|" + std::to_string(r.accept_flag) + "|" + std::to_string(r.added_ms) +
           "|" + r.name + "\n";
  }
  return out;
}

// A missing file gives an empty store; the first pairing creates the file.
TEST(TrustStore, PairingOnAnEmptyStoreWritesOneLine) {
  TempDir dir;
  std::string path = dir.file("trust.txt");
  StorePtr s = open_store(path);
  ASSERT_TRUE(s);
  EXPECT_EQ(trust_store_count(s.get()), 0);
  EXPECT_FALSE(fs_exists(path.c_str()));  // loading never writes

  Key a = key_of(1);
  uint64_t before = unix_ms();
  trust_store_put(s.get(), a.b, "Anna's iPhone", 1);
  uint64_t after = unix_ms();

  TrustRecord r = get(s.get(), 0);
  EXPECT_GE(r.added_ms, before);
  EXPECT_LE(r.added_ms, after);
  EXPECT_EQ(read_file(path), line(a, 1, r.added_ms, "Anna's iPhone"));
  EXPECT_FALSE(fs_exists((path + ".tmp").c_str()));
}

TEST(TrustStore, RoundTripsThroughTheFile) {
  TempDir dir;
  std::string path = dir.file("trust.txt");
  std::string expected;
  {
    StorePtr s = open_store(path);
    trust_store_put(s.get(), key_of(1).b, "one", 1);
    trust_store_put(s.get(), key_of(2).b, "", 0);
    trust_store_put(s.get(), key_of(3).b, "\xc3\xa9t\xc3\xa9", -7);  // UTF-8 bytes as received
    expected = dump(s.get());
  }
  StorePtr again = open_store(path);
  EXPECT_EQ(dump(again.get()), expected);
  EXPECT_EQ(trust_store_count(again.get()), 3);
  TrustRecord r;
  ASSERT_TRUE(trust_store_find(again.get(), key_of(3).b, &r));
  EXPECT_STREQ(r.name, "\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(r.accept_flag, -7);
}

TEST(TrustStore, PutOfAKnownKeyUpdatesInPlace) {
  TempDir dir;
  std::string path = dir.file("trust.txt");
  StorePtr s = open_store(path);
  trust_store_put(s.get(), key_of(1).b, "first", 1);
  trust_store_put(s.get(), key_of(2).b, "second", 1);
  TrustRecord old = get(s.get(), 0);

  trust_store_put(s.get(), key_of(1).b, "renamed", 0);
  ASSERT_EQ(trust_store_count(s.get()), 2);
  TrustRecord now = get(s.get(), 0);
  EXPECT_EQ(memcmp(now.public_key, key_of(1).b, 32), 0);
  EXPECT_STREQ(now.name, "renamed");
  EXPECT_EQ(now.accept_flag, 0);
  EXPECT_EQ(now.added_ms, old.added_ms);
  EXPECT_EQ(read_file(path), line(key_of(1), 0, old.added_ms, "renamed") +
                                line(key_of(2), 1, get(s.get(), 1).added_ms, "second"));
}

TEST(TrustStore, NamesAreCutTo63BytesAndNullIsEmpty) {
  StorePtr s(trust_store_open(nullptr));
  ASSERT_TRUE(s);
  std::string long_name(100, 'n');
  trust_store_put(s.get(), key_of(1).b, long_name.c_str(), 1);
  trust_store_put(s.get(), key_of(2).b, nullptr, 1);
  EXPECT_EQ(std::string(get(s.get(), 0).name), long_name.substr(0, 63));
  EXPECT_STREQ(get(s.get(), 1).name, "");
}

TEST(TrustStore, SeparatorsInANameBecomeSpacesOnlyInTheFile) {
  TempDir dir;
  std::string path = dir.file("trust.txt");
  {
    StorePtr s = open_store(path);
    trust_store_put(s.get(), key_of(1).b, "my\tphone\r\nx", 1);
    EXPECT_STREQ(get(s.get(), 0).name, "my\tphone\r\nx");  // memory keeps the bytes
    std::vector<std::string> lines = lines_of(read_file(path));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(lines[0].rfind('\t') + 1), "my phone  x");
  }
  StorePtr again = open_store(path);
  ASSERT_EQ(trust_store_count(again.get()), 1);
  EXPECT_STREQ(get(again.get(), 0).name, "my phone  x");
}

TEST(TrustStore, LoaderRules) {
  const Key a = key_of(1), b = key_of(2);
  const std::string ka = hex_key(a);
  struct Case {
    const char* what;
    std::string file;
    std::string records;  // dump() of the loaded store
  };
  auto rec = [](const Key& k, int flag, unsigned long long added, const std::string& name) {
    return hex_key(k) + "|" + std::to_string(flag) + "|" + std::to_string(added) + "|" + name +
           "\n";
  };
  std::string upper = ka;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  std::string bad_hex = ka;
  bad_hex[5] = 'z';
  const Case cases[] = {
      {"CR LF line ends", ka + "\t1\t1700000000000\tPhone\r\n" + hex_key(b) + "\t0\t5\tTab\r\n",
       rec(a, 1, 1700000000000ULL, "Phone") + rec(b, 0, 5, "Tab")},
      {"a line with two TABs is dropped", ka + "\t1\t2\n" + hex_key(b) + "\t1\t2\tB\n",
       rec(b, 1, 2, "B")},
      {"short lines are dropped", "hello\n\n" + ka + "\n" + ka + "\t1\t2\tA\n",
       rec(a, 1, 2, "A")},
      {"a non-hex key is dropped", bad_hex + "\t1\t2\tX\n" + hex_key(b) + "\t1\t2\tB\n",
       rec(b, 1, 2, "B")},
      {"an upper-case key loads", upper + "\t1\t2\tU\n", rec(a, 1, 2, "U")},
      {"text between the key and the first TAB is ignored", ka + "junk\t1\t2\tJ\n",
       rec(a, 1, 2, "J")},
      {"a TAB inside the key digits does not count", ka.substr(0, 10) + "\t" + ka.substr(11) +
                                                          "\t1\t2\tK\n",
       ""},
      {"further TABs belong to the name", ka + "\t1\t2\tx\ty\tz\n", rec(a, 1, 2, "x\ty\tz")},
      {"numbers: blanks, signs, stops, none", ka + "\t  -12abc\t 99xyz\tN\n" + hex_key(b) +
                                                  "\t\t\tE\n",
       rec(a, -12, 99, "N") + rec(b, 0, 0, "E")},
      {"numbers out of range saturate", ka + "\t99999999999\t99999999999999999999999\tS\n",
       rec(a, 2147483647, 18446744073709551615ULL, "S")},
      {"a last line without LF loads", ka + "\t1\t2\tLast", rec(a, 1, 2, "Last")},
      {"a name is cut to 63 bytes before CRs are removed",
       ka + "\t1\t2\t" + std::string(62, 'n') + "\r\r\n", rec(a, 1, 2, std::string(62, 'n'))},
      {"the same key twice gives two records", ka + "\t1\t2\tA\n" + ka + "\t0\t3\tA2\n",
       rec(a, 1, 2, "A") + rec(a, 0, 3, "A2")},
      {"an empty file", "", ""},
      {"a NUL ends the text", ka + "\t1\t2\tA\n" + std::string(1, '\0') + hex_key(b) +
                                  "\t1\t2\tB\n",
       rec(a, 1, 2, "A")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::string path = dir.file("trust.txt");
    ASSERT_TRUE(write_file(path, c.file));
    StorePtr s = open_store(path);
    ASSERT_TRUE(s);
    EXPECT_EQ(dump(s.get()), c.records);
    EXPECT_EQ(read_file(path), c.file);  // loading never rewrites
  }
}

TEST(TrustStore, TheNextSaveDropsMalformedLinesAndWritesLowerCase) {
  TempDir dir;
  std::string path = dir.file("trust.txt");
  std::string upper = hex_key(key_of(1));
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  ASSERT_TRUE(write_file(path, "garbage line\n" + upper + "\t1\t2\tU\r\n"));
  StorePtr s = open_store(path);
  trust_store_put(s.get(), key_of(2).b, "new", 1);
  TrustRecord added = get(s.get(), 1);
  EXPECT_EQ(read_file(path), line(key_of(1), 1, 2, "U") + line(key_of(2), 1, added.added_ms, "new"));
}

TEST(TrustStore, HoldsAt256Peers) {
  TempDir dir;
  std::string path = dir.file("trust.txt");
  std::string file;
  for (int i = 0; i < 300; i++) file += line(key_of(i), 1, 1000 + i, "p" + std::to_string(i));
  ASSERT_TRUE(write_file(path, file));

  StorePtr s = open_store(path);
  ASSERT_EQ(trust_store_count(s.get()), 256);  // the rest of the file is ignored
  EXPECT_TRUE(trust_store_contains(s.get(), key_of(255).b));
  EXPECT_FALSE(trust_store_contains(s.get(), key_of(256).b));

  // The 257th distinct peer is refused; the save still runs and writes the 256 records.
  trust_store_put(s.get(), key_of(400).b, "late", 1);
  EXPECT_EQ(trust_store_count(s.get()), 256);
  EXPECT_FALSE(trust_store_contains(s.get(), key_of(400).b));
  std::vector<std::string> lines = lines_of(read_file(path));
  ASSERT_EQ(lines.size(), 256u);
  EXPECT_EQ(lines[255] + "\n", line(key_of(255), 1, 1255, "p255"));

  // A known peer is still updated when the store is full.
  trust_store_put(s.get(), key_of(7).b, "renamed", 0);
  TrustRecord r;
  ASSERT_TRUE(trust_store_find(s.get(), key_of(7).b, &r));
  EXPECT_STREQ(r.name, "renamed");
  EXPECT_EQ(lines_of(read_file(path))[7] + "\n", line(key_of(7), 0, 1007, "renamed"));
}

TEST(TrustStore, RemoveKeepsTheOrderOfTheOthers) {
  TempDir dir;
  std::string path = dir.file("trust.txt");
  ASSERT_TRUE(write_file(path, line(key_of(1), 1, 10, "a") + line(key_of(2), 1, 20, "b") +
                                   line(key_of(3), 1, 30, "c")));
  StorePtr s = open_store(path);
  trust_store_remove(s.get(), key_of(1).b);
  EXPECT_EQ(read_file(path), line(key_of(2), 1, 20, "b") + line(key_of(3), 1, 30, "c"));
  EXPECT_FALSE(trust_store_contains(s.get(), key_of(1).b));

  // Removing an unknown key changes nothing and writes nothing.
  ASSERT_TRUE(write_file(path, "sentinel"));
  trust_store_remove(s.get(), key_of(9).b);
  EXPECT_EQ(read_file(path), "sentinel");
  EXPECT_EQ(trust_store_count(s.get()), 2);

  trust_store_remove(s.get(), key_of(3).b);
  trust_store_remove(s.get(), key_of(2).b);
  EXPECT_EQ(trust_store_count(s.get()), 0);
  EXPECT_TRUE(fs_exists(path.c_str()));
  EXPECT_EQ(read_file(path), "");  // no records: an empty file
}

TEST(TrustStore, LookupsAndBounds) {
  StorePtr s(trust_store_open(nullptr));
  trust_store_put(s.get(), key_of(1).b, "a", 1);
  trust_store_put(s.get(), key_of(2).b, "b", 0);
  TrustRecord r;
  memset(&r, 0xCC, sizeof r);
  EXPECT_FALSE(trust_store_find(s.get(), key_of(3).b, &r));
  EXPECT_EQ(r.accept_flag, static_cast<int32_t>(0xCCCCCCCC));  // untouched when not found
  EXPECT_TRUE(trust_store_find(s.get(), key_of(2).b, nullptr));
  EXPECT_TRUE(trust_store_find(s.get(), key_of(2).b, &r));
  EXPECT_STREQ(r.name, "b");
  EXPECT_FALSE(trust_store_get(s.get(), -1, &r));
  EXPECT_FALSE(trust_store_get(s.get(), 2, &r));
  // Keys that differ only in the last byte are different peers.
  Key near = key_of(1);
  near.b[31] ^= 0x80;
  EXPECT_FALSE(trust_store_contains(s.get(), near.b));
}

TEST(TrustStore, ReadsOnlyTheFirstMebibyte) {
  // Padding of long malformed lines up to near the limit, then records around the cut.
  const size_t limit = kTrustLoadLimit;
  Key a = key_of(1), b = key_of(2), c = key_of(3);
  std::string before = line(a, 1, 5, "before");
  std::string cut = hex_key(b) + "\t1\t6\t";
  const size_t name_in = 30;  // bytes of the straddling name inside the limit
  const size_t padding_size = limit - name_in - cut.size() - before.size();
  std::string padding;
  std::string pad_line = std::string(998, 'x') + "\n";
  while (padding.size() + pad_line.size() + 100 <= padding_size) padding += pad_line;
  padding += std::string(padding_size - padding.size() - 1, 'x') + "\n";
  // The name of the next record straddles the limit: its first part loads as the last line.
  std::string prefix = padding + before;
  ASSERT_EQ(prefix.size() + cut.size() + name_in, limit);
  std::string straddling = cut + std::string(name_in, 'N') + std::string(20, 'M') + "\n";
  std::string file = prefix + straddling + line(c, 1, 7, "after");
  ASSERT_GT(file.size(), limit);

  TempDir dir;
  std::string path = dir.file("trust.txt");
  ASSERT_TRUE(write_file(path, file));
  StorePtr s = open_store(path);
  ASSERT_EQ(trust_store_count(s.get()), 2);
  EXPECT_TRUE(trust_store_contains(s.get(), a.b));
  EXPECT_STREQ(get(s.get(), 1).name, std::string(name_in, 'N').c_str());
  EXPECT_FALSE(trust_store_contains(s.get(), c.b));

  // Cut inside the key digits: the piece is too short to load.
  std::string key_cut = padding + before;
  key_cut += std::string(limit - key_cut.size() - 30, 'y') + "\n";
  key_cut += hex_key(b) + "\t1\t6\tB\n";  // starts 29 bytes before the limit
  ASSERT_GT(key_cut.size(), limit);
  ASSERT_TRUE(write_file(path, key_cut));
  StorePtr s2 = open_store(path);
  EXPECT_EQ(trust_store_count(s2.get()), 1);
  EXPECT_FALSE(trust_store_contains(s2.get(), b.b));
}

TEST(TrustStore, AStaleTempFileNeverLeavesATruncatedList) {
  TempDir dir;
  std::string path = dir.file("trust.txt");
  std::string good = line(key_of(1), 1, 10, "a") + line(key_of(2), 1, 20, "b");
  ASSERT_TRUE(write_file(path, good));
  // A crash during an earlier save left half a line in the temporary file.
  ASSERT_TRUE(write_file(path + ".tmp", good.substr(0, 40)));

  StorePtr s = open_store(path);
  ASSERT_EQ(trust_store_count(s.get()), 2);  // the temporary file is not read
  trust_store_put(s.get(), key_of(3).b, "c", 1);
  std::string saved = read_file(path);
  EXPECT_EQ(saved.substr(0, good.size()), good);
  EXPECT_EQ(lines_of(saved).size(), 3u);
  StorePtr again = open_store(path);
  EXPECT_EQ(dump(again.get()), dump(s.get()));
}

TEST(TrustStore, AFailedSaveKeepsTheOldFileAndTheRecordsInMemory) {
  TempDir dir;
  std::string path = dir.file("trust.txt");
  std::string good = line(key_of(1), 1, 10, "a");
  ASSERT_TRUE(write_file(path, good));
  ASSERT_EQ(fs_make_dirs((path + ".tmp").c_str()), 0);  // the temporary name cannot be written

  StorePtr s = open_store(path);
  trust_store_put(s.get(), key_of(2).b, "b", 1);
  EXPECT_TRUE(trust_store_contains(s.get(), key_of(2).b));
  EXPECT_EQ(read_file(path), good);
}

TEST(TrustStore, APathThatDoesNotFitIsNeverCutToAnotherName) {
  TempDir dir;
  // Folders that exist, so that a path cut to 1023 bytes would name a writable file.
  std::string folder = dir.path();
  while (folder.size() < 900) {
    folder += "/" + std::string(100, 'd');
    ASSERT_EQ(fs_make_dirs(folder.c_str()), 0);
  }
  std::string path = folder + "/" + std::string(1100 - folder.size(), 't');
  ASSERT_GE(path.size(), kTrustPathCap);
  std::string cut = path.substr(0, kTrustPathCap - 1);

  StorePtr s = open_store(path);
  ASSERT_TRUE(s);
  trust_store_put(s.get(), key_of(1).b, "a", 1);
  EXPECT_TRUE(trust_store_contains(s.get(), key_of(1).b));
  EXPECT_FALSE(fs_exists(cut.c_str()));
  EXPECT_FALSE(fs_exists(path.c_str()));
}

TEST(TrustStore, ANullStoreAnswersNothing) {
  TrustRecord r;
  trust_store_put(nullptr, key_of(1).b, "a", 1);
  trust_store_remove(nullptr, key_of(1).b);
  EXPECT_FALSE(trust_store_contains(nullptr, key_of(1).b));
  EXPECT_FALSE(trust_store_find(nullptr, key_of(1).b, &r));
  EXPECT_FALSE(trust_store_get(nullptr, 0, &r));
  EXPECT_EQ(trust_store_count(nullptr), 0);
  trust_store_close(nullptr);
}

// Sessions on several workers pair, re-pair and look peers up at once. Every save happens
// under the lock, so the last file written must hold exactly the records in memory.
TEST(TrustStore, ConcurrentPutsAndFindsLeaveAFileThatMatchesMemory) {
  TempDir dir;
  std::string path = dir.file("trust.txt");
  StorePtr s = open_store(path);
  constexpr int kThreads = 4;
  constexpr int kKeysPerThread = 24;
  std::vector<std::thread> threads;
  std::vector<int> missing(kThreads, 0);
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kKeysPerThread; i++) {
        Key k = key_of(t * 100 + i);
        std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
        trust_store_put(s.get(), k.b, name.c_str(), 1);
        TrustRecord r;
        if (!trust_store_find(s.get(), k.b, &r) || strcmp(r.name, name.c_str()) != 0) missing[t]++;
        // Look at another worker's peers and the whole list while they change.
        trust_store_contains(s.get(), key_of(((t + 1) % kThreads) * 100 + i).b);
        int n = trust_store_count(s.get());
        if (n > 0) trust_store_get(s.get(), n - 1, &r);
        if (i % 3 == 0) trust_store_put(s.get(), k.b, (name + "-again").c_str(), 0);
      }
    });
  }
  for (std::thread& th : threads) th.join();

  for (int t = 0; t < kThreads; t++) EXPECT_EQ(missing[t], 0) << "thread " << t;
  ASSERT_EQ(trust_store_count(s.get()), kThreads * kKeysPerThread);
  for (int t = 0; t < kThreads; t++) {
    for (int i = 0; i < kKeysPerThread; i++) {
      TrustRecord r;
      ASSERT_TRUE(trust_store_find(s.get(), key_of(t * 100 + i).b, &r));
      std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
      EXPECT_EQ(std::string(r.name), i % 3 == 0 ? name + "-again" : name);
      EXPECT_EQ(r.accept_flag, i % 3 == 0 ? 0 : 1);
    }
  }
  StorePtr again = open_store(path);
  EXPECT_EQ(dump(again.get()), dump(s.get()));
}

}  // namespace
