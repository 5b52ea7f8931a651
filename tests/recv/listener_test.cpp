#include "recv/listener.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "channel/channel.h"
#include "channel/handshake.h"
#include "crypto/x25519.h"
#include "platform/net.h"
#include "platform/sync.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

// ---- plain client sockets ----

// A client from a loopback address of its choice (the whole of 127/8 is this machine), so
// that the listener sees connections from several hosts.
Socket connect_client(int port, uint32_t from = 0) {
  Socket s = tcp_socket();
  if (s == kNoSocket) return kNoSocket;
  if ((from && socket_bind(s, from, 0) != 0) ||
      socket_connect(s, kLoopback, static_cast<uint16_t>(port), 3000) != 0) {
    socket_close(s);
    return kNoSocket;
  }
  return s;
}

// Reads up to len bytes, waiting at most timeout_ms for each piece. The count read, with
// *closed set when the peer closed before len bytes arrived.
size_t client_read(Socket s, void* buf, size_t len, int timeout_ms, bool* closed) {
  size_t got = 0;
  *closed = false;
  while (got < len) {
    if (socket_wait_readable(s, timeout_ms) != 1) break;
    int64_t n = socket_recv(s, static_cast<char*>(buf) + got, len - got);
    if (n <= 0) {
      *closed = true;
      break;
    }
    got += static_cast<size_t>(n);
  }
  return got;
}

// True when the peer closed the connection without sending anything.
bool closed_silently(Socket s) {
  char c;
  bool closed = false;
  return client_read(s, &c, 1, 5000, &closed) == 0 && closed;
}

// Waits until pred() holds, at most timeout_ms. The last pred().
template <typename Pred>
bool eventually(Pred pred, int timeout_ms = 5000) {
  const uint64_t end = monotonic_ms() + static_cast<uint64_t>(timeout_ms);
  while (!pred()) {
    if (monotonic_ms() > end) return pred();
    sleep_ms(5);
  }
  return true;
}

// A block of kListenerPortCount consecutive ports that nobody on this machine holds right
// now, found by holding each of them exclusively on the loopback address. The ports stay
// held until release() or the end of the object.
class PortBlock {
public:
  PortBlock() {
    if (net_startup() != 0) return;
    uint16_t r = 0;
    random_bytes(&r, sizeof r);
    // Well away from the agent's own block, so other programs of the house are not hit.
    for (int attempt = 0; attempt < 200 && base_ == 0; ++attempt) {
      const int base = 20000 + ((r + attempt * 37) % 1500) * kListenerPortCount;
      if (hold_all(base)) base_ = base;
    }
  }
  ~PortBlock() { release(); }
  int base() const { return base_; }
  void release(int first = 0) {
    for (size_t i = static_cast<size_t>(first); i < held_.size(); ++i) {
      socket_close(held_[i]);
      held_[i] = kNoSocket;
    }
  }

private:
  bool hold_all(int base) {
    release();
    held_.clear();
    for (int i = 0; i < kListenerPortCount; ++i) {
      Socket s = tcp_socket();
      if (s == kNoSocket || socket_set_exclusive_addr(s) != 0 ||
          socket_bind(s, kLoopback, static_cast<uint16_t>(base + i)) != 0) {
        socket_close(s);
        release();
        return false;
      }
      held_.push_back(s);
    }
    return true;
  }
  std::vector<Socket> held_;
  int base_ = 0;
};

// ---- a session body the test controls ----

// Reached through the config's user_data. Every session greets its peer with 'H', waits
// for one byte, answers with the device name of the config it was given, and closes.
struct SessionProbe {
  std::atomic<int> started{0};
  std::atomic<int> finished{0};
};

void greet_and_wait(const SessionConfig* config, StreamOps* stream, const ConnectionPeer*) {
  auto* probe = static_cast<SessionProbe*>(config->user_data);
  probe->started.fetch_add(1);
  char byte;
  if (stream->send_all(stream, "H", 1) == 0 && stream->recv_exact(stream, &byte, 1, -1) == 0)
    stream->send_all(stream, config->device_name, std::strlen(config->device_name));
  stream->close(stream);
  probe->finished.fetch_add(1);
}

// Claims the pairing prompt of its address and greets with 'P', or with 'R' when it was
// refused; holds the claim until its peer sends a byte.
void claim_pairing(const SessionConfig* config, StreamOps* stream, const ConnectionPeer* peer) {
  auto* probe = static_cast<SessionProbe*>(config->user_data);
  probe->started.fetch_add(1);
  const bool claimed = listener_begin_pairing(peer);
  char byte;
  if (stream->send_all(stream, claimed ? "P" : "R", 1) == 0)
    stream->recv_exact(stream, &byte, 1, -1);
  if (claimed) listener_end_pairing(peer);
  stream->close(stream);
  probe->finished.fetch_add(1);
}

// The first byte the session sent, or 0 when it sent none.
char greeting(Socket s) {
  char c = 0;
  bool closed = false;
  return client_read(s, &c, 1, 5000, &closed) == 1 ? c : 0;
}

// The session's greeting arrived: the connection is being served.
bool served(Socket s) {
  char c = 0;
  bool closed = false;
  return client_read(s, &c, 1, 5000, &closed) == 1 && c == 'H';
}

// Lets the session end; returns what it answered before closing.
std::string finish_session(Socket s) {
  if (socket_send(s, "x", 1) != 1) return "(send failed)";
  char buf[64];
  bool closed = false;
  size_t n = client_read(s, buf, sizeof buf, 5000, &closed);
  return std::string(buf, n) + (closed ? "" : "(still open)");
}

class ListenerTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(net_startup(), 0);
    session_config_init(&config);
    session_config_set_device_name(&config, "Desk");
    config.user_data = &probe;
  }
  void TearDown() override {
    for (Socket s : clients) socket_close(s);
    listener_stop(listener);
    // The probe must outlive every session that reaches it.
    EXPECT_TRUE(eventually([&] { return probe.finished.load() == probe.started.load(); }));
  }
  Listener* start(int base, int* port, SessionRunner runner = greet_and_wait) {
    listener = listener_start_with_runner(&config, base, port, runner);
    return listener;
  }
  Socket client(int port, uint32_t from = 0) {
    Socket s = connect_client(port, from);
    if (s != kNoSocket) clients.push_back(s);
    return s;
  }

  SessionConfig config;
  SessionProbe probe;
  Listener* listener = nullptr;
  std::vector<Socket> clients;
};

TEST_F(ListenerTest, BindsTheNextPortWhenTheFirstIsTakenAndReportsIt) {
  PortBlock block;
  ASSERT_NE(block.base(), 0) << "no free block of ports found";
  block.release(1);  // only the first port stays taken
  int port = 0;
  ASSERT_NE(start(block.base(), &port), nullptr);
  EXPECT_EQ(port, block.base() + 1);
  Socket c = client(port);
  ASSERT_NE(c, kNoSocket);
  EXPECT_TRUE(served(c));
  EXPECT_EQ(finish_session(c), "Desk");
}

TEST_F(ListenerTest, FailsWhenEveryPortOfTheBlockIsTaken) {
  PortBlock block;
  ASSERT_NE(block.base(), 0) << "no free block of ports found";
  int port = -7;
  EXPECT_EQ(start(block.base(), &port), nullptr);
  EXPECT_EQ(port, -7);  // nothing reported for a failed start
}

TEST_F(ListenerTest, AFifthConnectionIsClosedWhileFourAreServedAndAFreedPlaceIsReused) {
  PortBlock block;
  ASSERT_NE(block.base(), 0) << "no free block of ports found";
  block.release();
  int port = 0;
  ASSERT_NE(start(block.base(), &port), nullptr);

  // Two hosts with two connections each (one host may hold only two workers), then a
  // fifth connection from a third host.
  Socket four[4];
  for (int i = 0; i < 4; ++i) {
    four[i] = client(port, kLoopback + 1 + uint32_t(i / 2));
    ASSERT_NE(four[i], kNoSocket);
    ASSERT_TRUE(served(four[i]));
  }
  EXPECT_EQ(listener_connections(listener), 4);

  Socket fifth = client(port, kLoopback + 3);
  ASSERT_NE(fifth, kNoSocket);  // the system accepts it; the listener then drops it
  EXPECT_TRUE(closed_silently(fifth));
  EXPECT_EQ(probe.started.load(), 4);

  EXPECT_EQ(finish_session(four[0]), "Desk");
  ASSERT_TRUE(eventually([&] { return listener_connections(listener) == 3; }));

  Socket next = client(port, kLoopback + 3);
  ASSERT_NE(next, kNoSocket);
  EXPECT_TRUE(served(next));
  EXPECT_EQ(listener_connections(listener), 4);
  for (Socket s : {four[1], four[2], four[3], next}) EXPECT_EQ(finish_session(s), "Desk");
  EXPECT_TRUE(eventually([&] { return listener_connections(listener) == 0; }));
}

TEST_F(ListenerTest, OneAddressHoldsAtMostTwoWorkersWhileOthersAreServed) {
  PortBlock block;
  ASSERT_NE(block.base(), 0) << "no free block of ports found";
  block.release();
  int port = 0;
  ASSERT_NE(start(block.base(), &port), nullptr);
  constexpr uint32_t kHostile = 0x7F000002, kPhone = 0x7F000003;

  Socket held[2];
  for (Socket& s : held) {
    s = client(port, kHostile);
    ASSERT_NE(s, kNoSocket);
    ASSERT_TRUE(served(s));
  }
  for (int i = 0; i < 3; ++i) {
    Socket more = client(port, kHostile);
    ASSERT_NE(more, kNoSocket);
    EXPECT_TRUE(closed_silently(more)) << "a third worker went to one address";
  }
  // The other two workers are left for everybody else.
  Socket phone[2];
  for (Socket& s : phone) {
    s = client(port, kPhone);
    ASSERT_NE(s, kNoSocket);
    EXPECT_TRUE(served(s));
  }
  EXPECT_EQ(listener_connections(listener), 4);

  EXPECT_EQ(finish_session(held[0]), "Desk");
  ASSERT_TRUE(eventually([&] { return listener_connections(listener) == 3; }));
  Socket again = client(port, kHostile);
  ASSERT_NE(again, kNoSocket);
  EXPECT_TRUE(served(again)) << "the freed share of the address was not given back";
  for (Socket s : {held[1], phone[0], phone[1], again}) EXPECT_EQ(finish_session(s), "Desk");
  EXPECT_TRUE(eventually([&] { return listener_connections(listener) == 0; }));
}

TEST_F(ListenerTest, OnePairingPromptPerAddressAtATime) {
  PortBlock block;
  ASSERT_NE(block.base(), 0) << "no free block of ports found";
  block.release();
  int port = 0;
  ASSERT_NE(start(block.base(), &port, claim_pairing), nullptr);
  constexpr uint32_t kHostile = 0x7F000002, kPhone = 0x7F000003;

  Socket first = client(port, kHostile);
  ASSERT_NE(first, kNoSocket);
  EXPECT_EQ(greeting(first), 'P');
  Socket second = client(port, kHostile);
  ASSERT_NE(second, kNoSocket);
  EXPECT_EQ(greeting(second), 'R') << "a second prompt from one address while one is open";
  Socket phone = client(port, kPhone);
  ASSERT_NE(phone, kNoSocket);
  EXPECT_EQ(greeting(phone), 'P') << "another address is not held up by it";

  // Once the open prompt is answered, the address may pair again.
  for (Socket s : {first, second}) socket_send(s, "x", 1);
  ASSERT_TRUE(eventually([&] { return listener_connections(listener) == 1; }));
  Socket later = client(port, kHostile);
  ASSERT_NE(later, kNoSocket);
  EXPECT_EQ(greeting(later), 'P');
  for (Socket s : {phone, later}) socket_send(s, "x", 1);
  EXPECT_TRUE(eventually([&] { return listener_connections(listener) == 0; }));
}

TEST_F(ListenerTest, StopReturnsPromptlyAndFreesThePort) {
  PortBlock block;
  ASSERT_NE(block.base(), 0) << "no free block of ports found";
  block.release();
  int port = 0;
  ASSERT_NE(start(block.base(), &port), nullptr);
  ASSERT_EQ(port, block.base());

  const uint64_t t0 = monotonic_ms();
  listener_stop(listener);
  listener = nullptr;
  const uint64_t took = monotonic_ms() - t0;
  // The accept thread looks at the stop flag every 300 ms; two seconds is the hard bound.
  EXPECT_LT(took, 1500u);

  EXPECT_EQ(connect_client(port), kNoSocket) << "still accepting after stop";
  int again = 0;
  ASSERT_NE(start(block.base(), &again), nullptr);
  EXPECT_EQ(again, port);
}

TEST_F(ListenerTest, ASessionOutlivesStopAndKeepsTheConfigItWasStartedWith) {
  PortBlock block;
  ASSERT_NE(block.base(), 0) << "no free block of ports found";
  block.release();
  int port = 0;
  ASSERT_NE(start(block.base(), &port), nullptr);
  Socket c = client(port);
  ASSERT_NE(c, kNoSocket);
  ASSERT_TRUE(served(c));

  // The shell's record changes and the listener goes away; the running session must not
  // see either.
  session_config_set_device_name(&config, "Changed");
  listener_stop(listener);
  listener = nullptr;
  EXPECT_EQ(finish_session(c), "Desk");
  EXPECT_TRUE(eventually([&] { return probe.finished.load() == 1; }));
}

// ---- the session every connection runs by default ----

// Collects the session's log lines; called on worker threads.
struct LogLines {
  std::mutex mutex;
  std::vector<std::string> lines;
  static void on_log(void* user_data, const char* line) {
    auto* self = static_cast<LogLines*>(user_data);
    std::lock_guard<std::mutex> guard(self->mutex);
    self->lines.emplace_back(line);
  }
  std::vector<std::string> snapshot() {
    std::lock_guard<std::mutex> guard(mutex);
    return lines;
  }
};

class DefaultSessionTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(net_startup(), 0);
    session_config_init(&config);
    ASSERT_EQ(random_bytes(config.static_private_key, 32), 0);
    session_config_set_device_name(&config, "Desk PC");
    config.user_data = &log;
    config.events.on_log = LogLines::on_log;
    ASSERT_NE(block.base(), 0) << "no free block of ports found";
    block.release();
    listener = listener_start(&config, block.base(), &port);
    ASSERT_NE(listener, nullptr);
  }
  void TearDown() override { listener_stop(listener); }

  SessionConfig config;
  LogLines log;
  PortBlock block;
  Listener* listener = nullptr;
  int port = 0;
};

TEST_F(DefaultSessionTest, APhoneCompletesTheHandshakeWithTheAgentsIdentity) {
  Socket c = connect_client(port);
  ASSERT_NE(c, kNoSocket);
  StreamOps* phone = stream_ops_new(c);
  ASSERT_NE(phone, nullptr);
  uint8_t phone_key[32];
  ASSERT_EQ(random_bytes(phone_key, sizeof phone_key), 0);
  HandshakePayload own{};
  std::strcpy(own.name, "Phone");
  own.kind = 2;
  own.version = 1;

  SecureChannel ch{};
  EXPECT_EQ(handshake_run(&ch, phone, phone_key, &own, 1, nullptr), 0);
  uint8_t agent_public[32];
  ASSERT_EQ(x25519_base(agent_public, config.static_private_key), 0);
  EXPECT_EQ(std::memcmp(ch.remote_static, agent_public, 32), 0);
  EXPECT_STREQ(ch.peer.name, "Desk PC");
  EXPECT_EQ(ch.peer.version, 1);
  EXPECT_EQ(ch.peer.features, 0x0Fu);
  phone->close(phone);
  EXPECT_TRUE(eventually([&] { return listener_connections(listener) == 0; }));
  EXPECT_TRUE(log.snapshot().empty());
}

TEST_F(DefaultSessionTest, AFailedHandshakeIsLoggedAndTheConnectionClosed) {
  Socket c = connect_client(port);
  ASSERT_NE(c, kNoSocket);
  // A well-framed first message far too short to hold an ephemeral key.
  const uint8_t junk[] = {0x00, 0x04, 'j', 'u', 'n', 'k'};
  ASSERT_EQ(socket_send(c, junk, sizeof junk), static_cast<int64_t>(sizeof junk));
  EXPECT_TRUE(closed_silently(c));
  socket_close(c);
  ASSERT_TRUE(eventually([&] { return !log.snapshot().empty(); }));
  EXPECT_EQ(log.snapshot(), std::vector<std::string>{"handshake failed"});
}

// ---- the stream operations over a connected pair ----

// Both ends of one loopback connection, each as stream operations.
struct StreamPair {
  StreamOps* a = nullptr;
  StreamOps* b = nullptr;
  StreamPair() {
    if (net_startup() != 0) return;
    Socket l = tcp_socket();
    uint16_t port = 0;
    if (l == kNoSocket || socket_bind(l, kLoopback, 0) != 0 || socket_listen(l, 1) != 0 ||
        socket_local_port(l, &port) != 0) {
      socket_close(l);
      return;
    }
    Socket c = connect_client(port);
    Socket s = c == kNoSocket ? kNoSocket : socket_accept(l, nullptr, nullptr);
    socket_close(l);
    if (s == kNoSocket) {
      socket_close(c);
      return;
    }
    a = stream_ops_new(s);
    b = stream_ops_new(c);
  }
  ~StreamPair() {
    close_a();
    close_b();
  }
  void close_a() {
    if (a) a->close(a);
    a = nullptr;
  }
  void close_b() {
    if (b) b->close(b);
    b = nullptr;
  }
};

class StreamTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(pair.a, nullptr);
    ASSERT_NE(pair.b, nullptr);
  }
  StreamPair pair;
};

TEST_F(StreamTest, RecvExactGathersPiecesAndEachWaitHasTheFullTimeout) {
  // 5 + 15 bytes, each after 600 ms: 1.2 s in all, longer than the 1 s time-out of one
  // wait, yet no single wait runs out.
  const char msg[] = "hello, piecewise 20b";
  static_assert(sizeof msg - 1 == 20);
  std::thread sender([&] {
    sleep_ms(600);
    pair.b->send_all(pair.b, msg, 5);
    sleep_ms(600);
    pair.b->send_all(pair.b, msg + 5, 15);
  });
  char got[20] = {};
  EXPECT_EQ(pair.a->recv_exact(pair.a, got, sizeof got, 1000), 0);
  sender.join();
  EXPECT_EQ(std::string(got, sizeof got), std::string(msg, 20));
}

TEST_F(StreamTest, RecvExactEndsAfterTwiceItsTimeoutOnATricklingPeer) {
  // One byte every 300 ms never lets a 500 ms wait run out, but the whole read of ten
  // bytes may take at most about 1 s: a trickling peer cannot hold a worker.
  std::atomic<bool> done{false};
  std::thread trickler([&] {
    for (int i = 0; i < 10 && !done; ++i) {
      sleep_ms(300);
      pair.b->send_all(pair.b, "x", 1);
    }
  });
  char got[10];
  const uint64_t t0 = monotonic_ms();
  EXPECT_EQ(pair.a->recv_exact(pair.a, got, sizeof got, 500), -2);
  const uint64_t took = monotonic_ms() - t0;
  done = true;
  trickler.join();
  EXPECT_GE(took, 900u);
  EXPECT_LT(took, 2500u);
}

TEST_F(StreamTest, RecvExactRunsOutOnASilentPeer) {
  char got[4];
  const uint64_t t0 = monotonic_ms();
  EXPECT_EQ(pair.a->recv_exact(pair.a, got, sizeof got, 200), -2);
  EXPECT_GE(monotonic_ms() - t0, 150u);
  // The connection stays usable after a time-out.
  ASSERT_EQ(pair.b->send_all(pair.b, "ok!!", 4), 0);
  EXPECT_EQ(pair.a->recv_exact(pair.a, got, sizeof got, 5000), 0);
  EXPECT_EQ(std::string(got, 4), "ok!!");
}

TEST_F(StreamTest, RecvExactFailsWhenThePeerCloses) {
  struct Case { const char* sent_first; int timeout_ms; };
  const Case cases[] = {
      {"", 5000},     // closed before any byte
      {"abc", 5000},  // closed in the middle of the read
      {"abc", -1},    // waiting without limit ends too
  };
  for (const Case& k : cases) {
    StreamPair p;
    ASSERT_NE(p.b, nullptr);
    if (*k.sent_first) {
      ASSERT_EQ(p.b->send_all(p.b, k.sent_first, std::strlen(k.sent_first)), 0);
    }
    p.close_b();
    char got[10];
    EXPECT_EQ(p.a->recv_exact(p.a, got, sizeof got, k.timeout_ms), -3)
        << "'" << k.sent_first << "' timeout " << k.timeout_ms;
  }
}

// Reads take what else has arrived along with them; the bytes must come out in order
// whatever the mix of read sizes (around the read-ahead's 256 KiB), and bytes already taken
// in are still delivered after the peer has closed.
TEST_F(StreamTest, ReadsOfEverySizeSeeTheBytesInOrderEvenAfterThePeerClosed) {
  std::vector<uint8_t> out(900000);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
  // More than the sockets hold unread: the peer sends from its own thread, then closes.
  int sent = 1;
  std::thread peer([&] {
    sent = pair.b->send_all(pair.b, out.data(), out.size());
    pair.close_b();
  });
  const size_t sizes[] = {2, 1, 700, 16384, 262143, 2, 262144, 3, 262145, 9000};
  std::vector<uint8_t> in;
  for (size_t n : sizes) {
    std::vector<uint8_t> piece(n);
    EXPECT_EQ(pair.a->recv_exact(pair.a, piece.data(), n, 5000), 0) << "read of " << n;
    in.insert(in.end(), piece.begin(), piece.end());
  }
  peer.join();
  ASSERT_EQ(sent, 0);
  std::vector<uint8_t> rest(out.size() - in.size());
  ASSERT_EQ(pair.a->recv_exact(pair.a, rest.data(), rest.size(), 5000), 0);
  in.insert(in.end(), rest.begin(), rest.end());
  EXPECT_TRUE(in == out);
  uint8_t more;
  EXPECT_EQ(pair.a->recv_exact(pair.a, &more, 1, 5000), -3);
}

// A borrow lends only bytes a read has already taken in, in their place in the stream, and
// takes nothing when not all of them are there.
TEST_F(StreamTest, BorrowLendsOnlyBytesAlreadyTakenInAndKeepsTheOrder) {
  ASSERT_EQ(pair.b->send_all(pair.b, "0123456789", 10), 0);
  char got[3];
  ASSERT_EQ(pair.a->recv_exact(pair.a, got, 2, 5000), 0);  // takes in the other 8 as well
  EXPECT_EQ(pair.a->borrow(pair.a, 9), nullptr);
  const uint8_t* lent = pair.a->borrow(pair.a, 8);
  ASSERT_NE(lent, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(lent), 8), "23456789");
  EXPECT_EQ(pair.a->borrow(pair.a, 1), nullptr);
  ASSERT_EQ(pair.b->send_all(pair.b, "abc", 3), 0);
  EXPECT_EQ(pair.a->borrow(pair.a, 1), nullptr);  // arrived, but not yet taken in
  ASSERT_EQ(pair.a->recv_exact(pair.a, got, 3, 5000), 0);
  EXPECT_EQ(std::string(got, 3), "abc");
}

TEST_F(StreamTest, SendAllAndRecvExactMoveSeveralMebibytesIntact) {
  std::vector<uint8_t> out(5 * 1048576 + 13);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i * 7 + (i >> 16));
  std::vector<uint8_t> in(out.size());
  int recv_result = 1;
  std::thread reader([&] { recv_result = pair.b->recv_exact(pair.b, in.data(), in.size(), 5000); });
  EXPECT_EQ(pair.a->send_all(pair.a, out.data(), out.size()), 0);
  reader.join();
  EXPECT_EQ(recv_result, 0);
  EXPECT_TRUE(in == out);
}

TEST_F(StreamTest, SendAllFailsOnceThePeerHasClosed) {
  pair.close_b();
  std::vector<uint8_t> big(8 * 1048576, 0x5A);
  // The first bytes may still fit the system's buffers; the whole of it cannot.
  EXPECT_EQ(pair.a->send_all(pair.a, big.data(), big.size()), -1);
}

}  // namespace
