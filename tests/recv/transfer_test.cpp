// File transfers through a real receive session over loopback TCP: resume offsets, data in
// any order of items, the acknowledgement cadence, verification, every abort, stopping
// half-way and resuming on a new connection; both with raw messages and with the sender's
// own transfer code.
#include "session_harness.h"

namespace {

using namespace harness;

constexpr size_t kChunk = 32768;

// An agent with a paired peer whose offers are accepted without asking.
struct Transfer : ::testing::Test {
  void SetUp() override {
    agent.config.auto_accept_trusted = 1;
    agent.start();
    ASSERT_EQ(peer.open(agent.port), SEND_OK);
  }

  // Sends a file offer and returns the resume offsets of its MSG_ACCEPT.
  std::vector<uint64_t> offer(const std::vector<uint8_t>& id, const std::vector<Item>& items) {
    EXPECT_EQ(peer.send(MSG_OFFER, file_offer(id, items)), 0);
    Peer::Msg m = peer.recv();
    EXPECT_EQ(m.type, MSG_ACCEPT);
    std::vector<uint64_t> offsets;
    if (m.type != MSG_ACCEPT || m.body.size() != 16 + 8 * items.size()) return offsets;
    EXPECT_EQ(std::vector<uint8_t>(m.body.begin(), m.body.begin() + 16), id);
    for (size_t i = 0; i < items.size(); ++i) offsets.push_back(be64(&m.body[16 + 8 * i]));
    return offsets;
  }

  void send_data(const std::vector<uint8_t>& id, int index, uint64_t offset,
                 const std::string& data) {
    ASSERT_EQ(peer.send(MSG_DATA, data_msg(id, index, offset, data)), 0);
  }

  // Sends content[from, to) in chunks.
  void send_range(const std::vector<uint8_t>& id, int index, const std::string& content,
                  size_t from, size_t to, size_t chunk = kChunk) {
    for (size_t off = from; off < to; off += chunk)
      send_data(id, index, off, content.substr(off, std::min(chunk, to - off)));
  }

  // MSG_FILE_RESULT of (index, status).
  static std::pair<int, int> result_of(const Peer::Msg& m) {
    if (m.type != MSG_FILE_RESULT || m.body.size() != 19) return {-1, -1};
    return {(m.body[16] << 8) | m.body[17], m.body[18]};
  }

  // The stored counts of the MSG_ACKs that arrive before the next MSG_FILE_RESULT, which
  // goes to *result.
  std::vector<uint64_t> acks_until_result(Peer::Msg* result) {
    std::vector<uint64_t> acks;
    for (;;) {
      Peer::Msg m = peer.recv();
      if (m.type != MSG_ACK) {
        *result = m;
        return acks;
      }
      EXPECT_EQ(m.body.size(), 26u);
      acks.push_back(be64(&m.body[18]));
    }
  }

  void expect_aborted(int code) {
    ASSERT_TRUE(agent.wait_sessions_ended(1));
    auto logs = agent.recorder.log_copy();
    const std::vector<std::string> tail = {
        "receive_files aborted (recv:" + std::to_string(code) + ")", "handle_offer failed"};
    ASSERT_GE(logs.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(logs.end() - 2, logs.end()), tail);
  }

  Agent agent;
  Peer peer;
};

TEST_F(Transfer, AcknowledgesEveryMebibyteOfAnItem) {
  struct Case {
    size_t size;
    std::vector<uint64_t> acks;
  };
  const Case cases[] = {
      {1048575, {}},
      {1048576, {1048576}},
      {3 * 1048576 + 100, {1048576, 2097152, 3145728}},
      {0, {}},
  };
  uint8_t n = 0;
  for (const Case& c : cases) {
    const auto id = offer_id(++n);
    const std::string content = content_of(c.size, n);
    const std::string name = "f" + std::to_string(c.size) + ".bin";
    ASSERT_EQ(offer(id, {{name, c.size}}), std::vector<uint64_t>{0});
    send_range(id, 0, content, 0, c.size);
    ASSERT_EQ(peer.send(MSG_FILE_END, file_end(id, 0, content)), 0);
    Peer::Msg result;
    EXPECT_EQ(acks_until_result(&result), c.acks) << c.size;
    EXPECT_EQ(result_of(result), std::make_pair(0, int(FILE_STORED))) << c.size;
    EXPECT_EQ(read_file(agent.in(name)), content) << c.size;
  }
  // Progress: once after each acceptance, then once with every acknowledgement.
  ASSERT_TRUE(eventually([&] {
    std::lock_guard<std::mutex> g(agent.recorder.m);
    return agent.recorder.files.size() == 4;
  }));
  std::lock_guard<std::mutex> g(agent.recorder.m);
  std::vector<uint64_t> seen;
  for (const auto& p : agent.recorder.progress) seen.push_back(p.received);
  EXPECT_EQ(seen, (std::vector<uint64_t>{0, 0, 1048576, 0, 1048576, 2097152, 3145728, 0}));
  ASSERT_EQ(agent.recorder.files.size(), 4u);
  EXPECT_EQ(agent.recorder.files[2].total, 3u * 1048576 + 100);
}

TEST_F(Transfer, InterleavedItemsKeepTheirOwnCounts) {
  const auto id = offer_id(1);
  const size_t size = 2 * 1048576 + 5000;
  const std::string a = content_of(size, 1), b = content_of(size, 2);
  ASSERT_EQ(offer(id, {{"dir/a.bin", size}, {"dir/sub/b.bin", size}}),
            (std::vector<uint64_t>{0, 0}));
  for (size_t off = 0; off < size; off += kChunk) {
    size_t n = std::min(kChunk, size - off);
    send_data(id, 1, off, b.substr(off, n));  // the second item leads
    send_data(id, 0, off, a.substr(off, n));
  }
  ASSERT_EQ(peer.send(MSG_FILE_END, file_end(id, 1, b)), 0);
  ASSERT_EQ(peer.send(MSG_FILE_END, file_end(id, 0, a)), 0);
  std::vector<std::pair<int, uint64_t>> acks;
  std::vector<std::pair<int, int>> results;
  while (results.size() < 2) {
    Peer::Msg m = peer.recv();
    ASSERT_GT(m.len, 0);
    if (m.type == MSG_ACK) acks.emplace_back((m.body[16] << 8) | m.body[17], be64(&m.body[18]));
    else results.push_back(result_of(m));
  }
  const std::vector<std::pair<int, uint64_t>> expect_acks = {
      {1, 1048576}, {0, 1048576}, {1, 2097152}, {0, 2097152}};
  EXPECT_EQ(acks, expect_acks);
  EXPECT_EQ(results, (std::vector<std::pair<int, int>>{{1, 0}, {0, 0}}));
  EXPECT_EQ(read_file(agent.in("dir/a.bin")), a);
  EXPECT_EQ(read_file(agent.in("dir/sub/b.bin")), b);
  std::lock_guard<std::mutex> g(agent.recorder.m);
  ASSERT_EQ(agent.recorder.files.size(), 1u);
  // Paths in the order the items were finished.
  EXPECT_EQ(agent.recorder.files[0].paths,
            (std::vector<std::string>{agent.in("dir/sub/b.bin"), agent.in("dir/a.bin")}));
  EXPECT_EQ(agent.recorder.files[0].total, 2 * size);
}

// Every way a transfer aborts: what the peer hears, the log lines, the connection closed.
TEST(TransferAborts, EachFaultIsNamedLoggedAndClosesTheConnection) {
  const std::string content = content_of(60000, 7);
  struct Case {
    const char* what;
    // Sends the faulty part after an offer of two items of 60000 bytes was accepted.
    void (*act)(Peer& p, const std::vector<uint8_t>& id, const std::string& content);
    int abort;
    int error;            // MSG_ERROR code expected, or 0
    std::string text;     // its text
    int result_status;    // MSG_FILE_RESULT status expected for item 0, or -1
  };
  const Case cases[] = {
      {"data at a later offset",
       [](Peer& p, const std::vector<uint8_t>& id, const std::string& c) {
         p.send(MSG_DATA, data_msg(id, 0, 0, c.substr(0, 30000)));
         p.send(MSG_DATA, data_msg(id, 0, 40000, c.substr(40000, 100)));
       },
       237, ERROR_PROTOCOL, "data offset mismatch", -1},
      {"data beyond the size",
       [](Peer& p, const std::vector<uint8_t>& id, const std::string& c) {
         p.send(MSG_DATA, data_msg(id, 0, 0, c.substr(0, 30000)));
         p.send(MSG_DATA, data_msg(id, 0, 30000, c.substr(30000) + "x"));
       },
       237, ERROR_PROTOCOL, "data offset mismatch", -1},
      {"data for a finished item",
       [](Peer& p, const std::vector<uint8_t>& id, const std::string& c) {
         p.send(MSG_DATA, data_msg(id, 0, 0, c));
         p.send(MSG_FILE_END, file_end(id, 0, c));
         p.recv();  // its result
         p.send(MSG_DATA, data_msg(id, 0, 60000, ""));
       },
       237, ERROR_PROTOCOL, "data offset mismatch", -1},
      {"data of another offer",
       [](Peer& p, const std::vector<uint8_t>&, const std::string& c) {
         p.send(MSG_DATA, data_msg(offer_id(0xEE), 0, 0, c.substr(0, 10)));
       },
       235, ERROR_PROTOCOL, "bad data frame", -1},
      {"data for item 2 of 2",
       [](Peer& p, const std::vector<uint8_t>& id, const std::string& c) {
         p.send(MSG_DATA, data_msg(id, 2, 0, c.substr(0, 10)));
       },
       235, ERROR_PROTOCOL, "bad data frame", -1},
      {"data without its offset",
       [](Peer& p, const std::vector<uint8_t>& id, const std::string&) {
         p.send(MSG_DATA, Body().id(id).u16(0).u8(0).b);
       },
       235, ERROR_PROTOCOL, "bad data frame", -1},
      {"file end of another offer",
       [](Peer& p, const std::vector<uint8_t>&, const std::string& c) {
         p.send(MSG_FILE_END, file_end(offer_id(0xEE), 0, c));
       },
       256, ERROR_PROTOCOL, "bad file end", -1},
      {"file end without its digest",
       [](Peer& p, const std::vector<uint8_t>& id, const std::string&) {
         p.send(MSG_FILE_END, Body().id(id).u16(0).str("short").b);
       },
       256, ERROR_PROTOCOL, "bad file end", -1},
      {"file end before all bytes",
       [](Peer& p, const std::vector<uint8_t>& id, const std::string& c) {
         p.send(MSG_DATA, data_msg(id, 0, 0, c.substr(0, 30000)));
         p.send(MSG_FILE_END, file_end(id, 0, c));
       },
       258, 0, "", FILE_FAILED},
      {"wrong digest",
       [](Peer& p, const std::vector<uint8_t>& id, const std::string& c) {
         p.send(MSG_DATA, data_msg(id, 0, 0, c));
         p.send(MSG_FILE_END, file_end(id, 0, c + "other"));
       },
       262, 0, "", FILE_HASH_MISMATCH},
      {"second file end of an item",
       [](Peer& p, const std::vector<uint8_t>& id, const std::string& c) {
         p.send(MSG_DATA, data_msg(id, 0, 0, c));
         p.send(MSG_FILE_END, file_end(id, 0, c));
         p.recv();  // its result: stored
         p.send(MSG_FILE_END, file_end(id, 0, c));
       },
       259, 0, "", FILE_FAILED},
  };
  for (const Case& c : cases) {
    Agent agent;
    agent.config.auto_accept_trusted = 1;
    agent.start();
    Peer peer;
    ASSERT_EQ(peer.open(agent.port), SEND_OK) << c.what;
    const auto id = offer_id(0x42);
    ASSERT_EQ(peer.send(MSG_OFFER, file_offer(id, {{"a.bin", 60000}, {"b.bin", 60000}})), 0);
    ASSERT_EQ(peer.recv().type, MSG_ACCEPT) << c.what;
    c.act(peer, id, content);
    if (c.error) {
      EXPECT_TRUE(error_then_close(peer, c.error, c.text)) << c.what;
    } else {
      Peer::Msg m = peer.recv();
      EXPECT_EQ(Transfer::result_of(m), std::make_pair(0, c.result_status)) << c.what;
      EXPECT_EQ(peer.recv().len, -3) << c.what;
    }
    ASSERT_TRUE(agent.wait_sessions_ended(1)) << c.what;
    auto logs = agent.recorder.log_copy();
    ASSERT_GE(logs.size(), 2u) << c.what;
    EXPECT_EQ(logs[logs.size() - 2], "receive_files aborted (recv:" + std::to_string(c.abort) + ")")
        << c.what;
    EXPECT_EQ(logs.back(), "handle_offer failed") << c.what;
    std::lock_guard<std::mutex> g(agent.recorder.m);
    EXPECT_TRUE(agent.recorder.files.empty()) << c.what;
    // The untouched second item leaves nothing behind.
    EXPECT_FALSE(fs_exists(agent.in("b.bin.flpart").c_str())) << c.what;
    EXPECT_FALSE(fs_exists(agent.in("b.bin.flmeta").c_str())) << c.what;
  }
}

TEST_F(Transfer, OffsetMismatchKeepsTheBytesStoredBefore) {
  const auto id = offer_id(1);
  const std::string content = content_of(200000);
  offer(id, {{"x.bin", content.size()}});
  send_range(id, 0, content, 0, 65536);
  send_data(id, 0, 70000, content.substr(70000, 10));
  EXPECT_TRUE(error_then_close(peer, ERROR_PROTOCOL, "data offset mismatch"));
  expect_aborted(237);
  EXPECT_EQ(read_file(agent.in("x.bin.flpart")), content.substr(0, 65536));
  EXPECT_TRUE(fs_exists(agent.in("x.bin.flmeta").c_str()));
}

TEST_F(Transfer, WrongDigestDeletesThePartialData) {
  const auto id = offer_id(1);
  const std::string content = content_of(5000);
  offer(id, {{"x.bin", content.size()}});
  send_data(id, 0, 0, content);
  ASSERT_EQ(peer.send(MSG_FILE_END, file_end(id, 0, "not it")), 0);
  EXPECT_EQ(result_of(peer.recv()), std::make_pair(0, int(FILE_HASH_MISMATCH)));
  expect_aborted(262);
  EXPECT_FALSE(fs_exists(agent.in("x.bin.flpart").c_str()));
  EXPECT_FALSE(fs_exists(agent.in("x.bin.flmeta").c_str()));
  EXPECT_FALSE(fs_exists(agent.in("x.bin").c_str()));
}

// Results of stored files may wait for a shared folder sync; a later failure still reaches the
// peer after them, and the files stored before it stay.
TEST_F(Transfer, ResultsKeepTheirOrderWhenALaterFileFails) {
  const auto id = offer_id(1);
  const std::string a = content_of(3000, 1), b = content_of(4000, 2), c = content_of(5000, 3);
  offer(id, {{"a.bin", a.size()}, {"b.bin", b.size()}, {"c.bin", c.size()}});
  send_data(id, 0, 0, a);
  ASSERT_EQ(peer.send(MSG_FILE_END, file_end(id, 0, a)), 0);
  send_data(id, 1, 0, b);
  ASSERT_EQ(peer.send(MSG_FILE_END, file_end(id, 1, b)), 0);
  send_data(id, 2, 0, c);
  ASSERT_EQ(peer.send(MSG_FILE_END, file_end(id, 2, "not it")), 0);
  std::vector<std::pair<int, int>> results;
  for (int i = 0; i < 3; ++i) results.push_back(result_of(peer.recv()));
  EXPECT_EQ(results, (std::vector<std::pair<int, int>>{{0, int(FILE_STORED)},
                                                       {1, int(FILE_STORED)},
                                                       {2, int(FILE_HASH_MISMATCH)}}));
  expect_aborted(262);
  EXPECT_EQ(read_file(agent.in("a.bin")), a);
  EXPECT_EQ(read_file(agent.in("b.bin")), b);
  EXPECT_FALSE(fs_exists(agent.in("c.bin").c_str()));
}

TEST_F(Transfer, PeerStopsHalfWayThenResumesTheSameOffer) {
  const std::string a = content_of(3 * 1048576 + 17, 1), b = content_of(1000, 2);
  const std::vector<Item> items = {{"a.bin", a.size(), 1700000000000ull}, {"b.bin", b.size()}};
  const auto first = offer_id(1);
  EXPECT_EQ(offer(first, items), (std::vector<uint64_t>{0, 0}));
  send_range(first, 0, a, 0, 40 * kChunk);
  ASSERT_EQ(peer.send(MSG_END, {}), 0);
  // The connection stays: a text offer goes through on it.
  ASSERT_EQ(sender_send_text(&peer.s, kOfferKindText, "still open"), SEND_OK);
  EXPECT_EQ(read_file(agent.in("a.bin.flpart")).size(), 40 * kChunk);
  EXPECT_FALSE(fs_exists(agent.in("b.bin.flpart").c_str()));  // nothing arrived: removed
  {
    std::lock_guard<std::mutex> g(agent.recorder.m);
    EXPECT_TRUE(agent.recorder.files.empty());
  }

  // The same items again on a new connection: a resumes where it stopped.
  ASSERT_EQ(peer.open(agent.port), SEND_OK);
  const auto second = offer_id(2);
  EXPECT_EQ(offer(second, items), (std::vector<uint64_t>{40 * kChunk, 0}));
  // The first report of the new offer already counts the resumed bytes.
  EXPECT_TRUE(eventually([&] {
    std::lock_guard<std::mutex> g(agent.recorder.m);
    const auto& p = agent.recorder.progress.back();
    return p.received == 40 * kChunk && p.path == "a.bin" && p.total == a.size() + b.size();
  }));
  send_range(second, 0, a, 40 * kChunk, a.size());
  send_data(second, 1, 0, b);
  ASSERT_EQ(peer.send(MSG_FILE_END, file_end(second, 0, a)), 0);
  ASSERT_EQ(peer.send(MSG_FILE_END, file_end(second, 1, b)), 0);
  Peer::Msg result;
  // The acknowledged count includes the resumed bytes: 40 chunks were there, 32 more make
  // the first acknowledgement.
  EXPECT_EQ(acks_until_result(&result), (std::vector<uint64_t>{72 * kChunk}));
  EXPECT_EQ(result_of(result), std::make_pair(0, 0));
  EXPECT_EQ(result_of(peer.recv()), std::make_pair(1, 0));
  EXPECT_EQ(read_file(agent.in("a.bin")), a);
  EXPECT_EQ(read_file(agent.in("b.bin")), b);
  EXPECT_FALSE(fs_exists(agent.in("a.bin.flpart").c_str()));
  EXPECT_FALSE(fs_exists(agent.in("a.bin.flmeta").c_str()));
}

// ---- with the sender's own transfer code ---------------------------------------------------

struct LocalFiles {
  TempDir dir;
  std::vector<std::string> paths, names;
  std::vector<std::string> contents;
  std::vector<SendItem> items;

  void add(const std::string& name, const std::string& content, uint64_t mtime = 0) {
    paths.push_back(dir.file("f" + std::to_string(paths.size())));
    EXPECT_TRUE(write_file(paths.back(), content));
    names.push_back(name);
    contents.push_back(content);
    SendItem it{};
    it.size = content.size();
    it.mtime_ms = mtime;
    items.push_back(it);
  }
  SendItem* get() {
    for (size_t i = 0; i < items.size(); ++i) {
      items[i].local_path = paths[i].c_str();
      items[i].name = names[i].c_str();
    }
    return items.data();
  }
  int count() const { return int(items.size()); }
};

TEST_F(Transfer, SenderStoresAFolderTreeWithDuplicateNames) {
  LocalFiles files;
  files.add("Trip/day 1/IMG 1.jpg", content_of(1500000, 1), 1600000000000ull);
  files.add("Trip/day 2/IMG 1.jpg", content_of(70000, 2));
  files.add("Trip/notes.txt", "notes");
  files.add("Trip/notes.txt", "second notes");
  files.add("Trip/empty", "");
  ASSERT_EQ(sender_send_files(&peer.s, files.get(), files.count(), nullptr), SEND_OK);
  for (const SendItem& it : files.items) EXPECT_EQ(it.status, FILE_STORED) << it.name;
  EXPECT_EQ(read_file(agent.in("Trip/day 1/IMG 1.jpg")), files.contents[0]);
  EXPECT_EQ(read_file(agent.in("Trip/day 2/IMG 1.jpg")), files.contents[1]);
  EXPECT_EQ(read_file(agent.in("Trip/notes.txt")), "notes");
  EXPECT_EQ(read_file(agent.in("Trip/notes (1).txt")), "second notes");
  EXPECT_TRUE(fs_exists(agent.in("Trip/empty").c_str()));
  // The session reports the stored files right after the last result went out.
  ASSERT_TRUE(eventually([&] {
    std::lock_guard<std::mutex> g(agent.recorder.m);
    return !agent.recorder.files.empty();
  }));
  std::lock_guard<std::mutex> g(agent.recorder.m);
  EXPECT_EQ(agent.recorder.files[0].count, 5);
}

TEST_F(Transfer, SenderResumesAfterTheConnectionWasLost) {
  const std::string content = content_of(10 * 1000 * 1000, 3);
  const auto id = offer_id(9);
  const uint64_t mtime = 1650000000000ull;
  offer(id, {{"video.mp4", content.size(), mtime}});
  send_range(id, 0, content, 0, 5 * 1000 * 1000, 65491);
  // Once the agent has taken every byte sent (an acknowledgement after each 17 messages of
  // 65491 bytes, the first count above 1 MiB), the phone vanishes.
  for (int i = 1; i <= 4; ++i) {
    Peer::Msg m = peer.recv();
    ASSERT_EQ(m.type, MSG_ACK);
    EXPECT_EQ(be64(&m.body[18]), uint64_t(i) * 17 * 65491);
  }
  peer.drop();
  ASSERT_TRUE(agent.wait_sessions_ended(1));
  auto logs = agent.recorder.log_copy();
  ASSERT_GE(logs.size(), 2u);
  EXPECT_EQ(logs[logs.size() - 2], "recv error -3");
  EXPECT_EQ(logs.back(), "handle_offer failed");
  uint64_t kept = 0;
  ASSERT_EQ(fs_stat(agent.in("video.mp4.flpart").c_str(), &kept), 0);
  EXPECT_EQ(kept, 5u * 1000 * 1000);

  LocalFiles files;
  files.add("video.mp4", content, mtime);
  ASSERT_EQ(peer.open(agent.port), SEND_OK);
  std::vector<uint64_t> reported;
  SendProgress progress{[](void* ctx, uint64_t done, uint64_t, const char*) {
                          static_cast<std::vector<uint64_t>*>(ctx)->push_back(done);
                        },
                        &reported};
  ASSERT_EQ(sender_send_files(&peer.s, files.get(), 1, &progress), SEND_OK);
  EXPECT_EQ(files.items[0].resumed_from, kept);
  ASSERT_FALSE(reported.empty());
  EXPECT_EQ(reported.front(), kept);
  EXPECT_EQ(reported.back(), content.size());
  EXPECT_EQ(read_file(agent.in("video.mp4")), content);
  EXPECT_FALSE(fs_exists(agent.in("video.mp4.flpart").c_str()));
}

TEST_F(Transfer, SenderReportsFilesTheAgentRefused) {
  LocalFiles files;
  files.add("ok.txt", "fine");
  files.add("gone.txt", "will vanish");
  // The second file disappears after it was listed.
  SendItem* items = files.get();
  ASSERT_EQ(fs_delete(files.paths[1].c_str()), 0);
  EXPECT_EQ(sender_send_files(&peer.s, items, files.count(), nullptr), SEND_NOT_STORED);
  EXPECT_EQ(files.items[0].status, FILE_STORED);
  EXPECT_EQ(files.items[1].local_error, 1);
  EXPECT_EQ(read_file(agent.in("ok.txt")), "fine");
  // The transfer was ended, not broken: the connection takes another offer.
  EXPECT_EQ(sender_send_text(&peer.s, kOfferKindText, "after"), SEND_OK);
}

}  // namespace
