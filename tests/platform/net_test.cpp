// Sockets over loopback (127.0.0.1 only) and the address helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include "platform/net.h"
#include "platform/sync.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;  // 127.0.0.1

class Net : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(net_startup(), 0); }
};

// A listening TCP socket on 127.0.0.1 and a port the system picked.
Socket listen_loopback(uint16_t* port) {
  Socket s = tcp_socket();
  if (s == kNoSocket) return kNoSocket;
  if (socket_set_exclusive_addr(s) != 0 || socket_bind(s, kLoopback, 0) != 0 ||
      socket_listen(s, 8) != 0 || socket_local_port(s, port) != 0) {
    socket_close(s);
    return kNoSocket;
  }
  return s;
}

struct Sender {
  Socket s;
  std::string data;
  std::atomic<int> result{1};  // 1 running, 0 all sent, -1 failed
};

int send_everything(void* arg) {
  Sender* snd = static_cast<Sender*>(arg);
  size_t off = 0;
  while (off < snd->data.size()) {
    int64_t n = socket_send(snd->s, snd->data.data() + off, snd->data.size() - off);
    if (n <= 0) {
      snd->result.store(-1);
      return 1;
    }
    off += static_cast<size_t>(n);
  }
  snd->result.store(0);
  return 0;
}

std::string recv_exactly(Socket s, size_t len) {
  std::string out;
  char buf[65536];
  while (out.size() < len) {
    if (socket_wait_readable(s, 10000) != 1) break;
    int64_t n = socket_recv(s, buf, std::min(sizeof buf, len - out.size()));
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

std::string bytes(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed) >> 3);
  return s;
}

}  // namespace

TEST_F(Net, TcpLoopbackConnectTransferAndClose) {
  uint16_t port = 0;
  Socket server = listen_loopback(&port);
  ASSERT_NE(server, kNoSocket);
  EXPECT_NE(port, 0);

  EXPECT_EQ(socket_wait_readable(server, 50), 0) << "no connection pending yet";
  Socket client = tcp_socket();
  ASSERT_NE(client, kNoSocket);
  ASSERT_EQ(socket_connect(client, kLoopback, port, 5000), 0);
  ASSERT_EQ(socket_wait_readable(server, 5000), 1) << "a pending connection makes it readable";
  uint32_t peer_ip = 0;
  uint16_t peer_port = 0;
  Socket conn = socket_accept(server, &peer_ip, &peer_port);
  ASSERT_NE(conn, kNoSocket);
  uint16_t client_port = 0;
  ASSERT_EQ(socket_local_port(client, &client_port), 0);
  EXPECT_EQ(peer_ip, kLoopback);
  EXPECT_EQ(peer_port, client_port);
  EXPECT_EQ(socket_set_nodelay(conn, 1), 0);
  EXPECT_EQ(socket_set_keepalive(conn, 1), 0);
  EXPECT_EQ(socket_set_buffers(conn, 256 * 1024), 0);

  EXPECT_EQ(socket_wait_readable(conn, 50), 0) << "nothing sent yet: time-out";

  // More than the socket buffers hold, so sends are partial and the receiver must keep up.
  Sender up;
  up.s = client;
  up.data = bytes(3u << 20, 7);
  ASSERT_EQ(thread_start(send_everything, &up), 0);
  std::string got = recv_exactly(conn, up.data.size());
  EXPECT_EQ(got.size(), up.data.size());
  EXPECT_TRUE(got == up.data) << "bytes differ client -> server";
  while (up.result.load() == 1) sleep_ms(1);
  EXPECT_EQ(up.result.load(), 0);

  const char reply[] = "pong";
  ASSERT_EQ(socket_send(conn, reply, 4), 4);
  EXPECT_EQ(recv_exactly(client, 4), "pong");

  socket_close(client);
  EXPECT_EQ(socket_wait_readable(conn, 5000), 1) << "a closed peer makes it readable";
  char b;
  EXPECT_EQ(socket_recv(conn, &b, 1), 0) << "the peer closed";
  socket_close(conn);
  socket_close(server);
  socket_close(kNoSocket);
}

TEST_F(Net, ConnectToAClosedPortFails) {
  uint16_t port = 0;
  Socket probe = listen_loopback(&port);
  ASSERT_NE(probe, kNoSocket);
  socket_close(probe);  // the port is free again and nobody listens on it
  for (int timeout : {3000, -1}) {
    Socket c = tcp_socket();
    ASSERT_NE(c, kNoSocket);
    EXPECT_EQ(socket_connect(c, kLoopback, port, timeout), -1) << "timeout " << timeout;
    socket_close(c);
  }
}

TEST_F(Net, ExclusivePortCannotBeTakenTwice) {
  uint16_t port = 0;
  Socket first = listen_loopback(&port);
  ASSERT_NE(first, kNoSocket);

  Socket second = tcp_socket();
  ASSERT_NE(second, kNoSocket);
  ASSERT_EQ(socket_set_exclusive_addr(second), 0);
  EXPECT_EQ(socket_bind(second, kLoopback, port), -1) << "exclusive bind of a taken port";
  socket_close(second);

  Socket sharer = tcp_socket();
  ASSERT_NE(sharer, kNoSocket);
  ASSERT_EQ(socket_set_reuse_addr(sharer), 0);
  EXPECT_EQ(socket_bind(sharer, kLoopback, port), -1) << "address reuse must not get in either";
  socket_close(sharer);
  socket_close(first);
}

TEST_F(Net, UdpSendToAndReceiveFrom) {
  Socket a = udp_socket(), b = udp_socket();
  ASSERT_NE(a, kNoSocket);
  ASSERT_NE(b, kNoSocket);
  ASSERT_EQ(socket_bind(a, kLoopback, 0), 0);
  ASSERT_EQ(socket_bind(b, kLoopback, 0), 0);
  uint16_t pa = 0, pb = 0;
  ASSERT_EQ(socket_local_port(a, &pa), 0);
  ASSERT_EQ(socket_local_port(b, &pb), 0);
  EXPECT_EQ(udp_set_multicast_ttl(a, 255), 0);
  EXPECT_EQ(udp_set_multicast_loop(a, 1), 0);

  EXPECT_EQ(socket_wait_readable(b, 50), 0);
  const char msg[] = "mdns datagram";
  ASSERT_EQ(udp_send_to(a, msg, sizeof msg, kLoopback, pb), static_cast<int64_t>(sizeof msg));
  ASSERT_EQ(socket_wait_readable(b, 5000), 1);
  char buf[2048];
  uint32_t from_ip = 0;
  uint16_t from_port = 0;
  ASSERT_EQ(udp_recv_from(b, buf, sizeof buf, &from_ip, &from_port),
            static_cast<int64_t>(sizeof msg));
  EXPECT_STREQ(buf, msg);
  EXPECT_EQ(from_ip, kLoopback);
  EXPECT_EQ(from_port, pa);
  socket_close(a);
  socket_close(b);
}

TEST(Ipv4Text, RoundTrip) {
  struct Case {
    const char* text;
    uint32_t ip;
  };
  const Case cases[] = {
      {"0.0.0.0", 0},
      {"127.0.0.1", 0x7F000001},
      {"192.168.1.20", 0xC0A80114},
      {"224.0.0.251", 0xE00000FB},
      {"255.255.255.255", 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    char text[16];
    ipv4_to_text(c.ip, text);
    EXPECT_STREQ(text, c.text);
    uint32_t ip = 1;
    ASSERT_EQ(ipv4_from_text(c.text, &ip), 0) << c.text;
    EXPECT_EQ(ip, c.ip) << c.text;
  }
}

TEST(Ipv4Text, RejectsWhatIsNotADottedQuad) {
  const char* bad[] = {"",        "1.2.3",    "1.2.3.4.5", "256.1.1.1", "1..2.3",
                       "a.b.c.d", "1.2.3.4 ", " 1.2.3.4",  "1.2.3.-4",  "0001.2.3.4",
                       "1.2.3.",  ".1.2.3",   "1.2.3.4x"};
  for (const char* text : bad) {
    uint32_t ip = 0xDEADBEEF;
    EXPECT_EQ(ipv4_from_text(text, &ip), -1) << '"' << text << '"';
    EXPECT_EQ(ip, 0xDEADBEEF) << "no address is written on failure";
  }
  EXPECT_EQ(ipv4_from_text(nullptr, nullptr), -1);
}

TEST_F(Net, AddressListHoldsOnlyUsableAddresses) {
  uint32_t all[32];
  int n = list_ipv4_addresses(all, 32);
  ASSERT_GE(n, 0);
  ASSERT_LE(n, 32);
  for (int i = 0; i < n; ++i) {
    char text[16];
    ipv4_to_text(all[i], text);
    EXPECT_NE(all[i], 0u) << text;
    EXPECT_NE(all[i] >> 24, 127u) << "loopback listed: " << text;
    EXPECT_NE(all[i] >> 16, 0xA9FEu) << "link-local listed: " << text;
  }
  uint32_t one[1] = {0};
  int m = list_ipv4_addresses(one, 1);
  EXPECT_EQ(m, n > 0 ? 1 : 0) << "the maximum caps the count";
  if (m == 1) {
    EXPECT_EQ(one[0], all[0]) << "the system's order is kept";
  }
  EXPECT_EQ(list_ipv4_addresses(one, 0), 0);
}
