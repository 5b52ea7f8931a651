// Hostile peers for the fault tests: connections to an agent on 127.0.0.1 that misbehave in
// one way each, all at once on their own threads, and a report of how the agent ended every
// one of them.
//
//   hostile_peer --port P [--wait-s S] [--interval-ms I] [--items N] [--from A.B.C.D]
//                [--hosts H] [--name NAME] BEHAVIOUR[xN] ...
//
// --from connects from that local address (any of 127/8 on loopback), so that one run of
// this program is one host among several; --hosts spreads the connections, in turn, over H
// hosts at consecutive addresses from there (127.0.0.2 when --from is not given). Peers
// that complete a handshake are named <behaviour>-<n>, or <NAME>-<n> with --name.
//
// Every connection prints one line when it is over:
//   <behaviour> <n> closed_ms=<ms from connect until the agent closed> got=<what arrived>
// or, when the agent still held the connection after S seconds (default 90):
//   <behaviour> <n> open got=<...>
// got is "-" for nothing, "bytes:<n>" before the handshake, or the message types the agent
// sent after it ("62,12"). A connection the agent refused at once shows closed_ms near 0.
//
// Behaviours (before the handshake nothing authenticates, so anyone on the network can do
// these; after it the agent's open mode admits a peer announcing feature bit 3 unpaired):
//   silent        connects and sends nothing
//   hangup        connects and closes at once (a connection flood's usual shape)
//   slow          a 512-byte handshake frame, one byte every I ms (default 2000)
//   oversize      a handshake frame header announcing 65535 bytes
//   frame513      a 513-byte handshake frame
//   garbage       a random message 1 and a random message 3
//   hs-silent     the whole handshake, then nothing
//   hs-random     the whole handshake, then 70000 random bytes
//   idle-silent   handshake and trust states, then nothing
//   idle-random   handshake and trust states, then 70000 random bytes
//   idle-unknown  handshake and trust states, then a message of unknown type, no skip flag
//   idle-slow     handshake and trust states, then an offer trickled one byte every I ms
//   data-random   an accepted offer of one 8 MiB file, 1 MiB of its data, then random bytes
//   data-stall    the same 1 MiB, then nothing
//   data-slow     the same 1 MiB, then the next data message one byte every I ms
//   escape        offers of files named to land outside the inbox ("../", "/", "C:", ...),
//                 then MSG_END; got lists each answer's type and reject reason ("12,03,...")
//   same-names    one offer of N empty files (--items, default 500, at most 3000) all named
//                 "s", each finished in turn;
//                 got is "stored:<files the agent stored>"
// Sharing the agent with others (one host holding what every phone needs):
//   keepalive     handshake and trust states, then only keep-alives, one every I ms
//   pair-wait     a peer the agent must pair with (feature bit 3 clear) that confirms its
//                 own side at once; got is "paired", "pair-declined" when the agent sent
//                 MSG_PAIR_DECLINE, or "pair-failed"
//   offer-flood   text offers one after the other, each as soon as the last was answered,
//                 until S seconds have passed; then MSG_END; got is "answered:<offers>"
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "channel/channel.h"
#include "channel/handshake.h"
#include "channel/messages.h"
#include "client_stream.h"
#include "crypto/sha256.h"
#include "platform/net.h"
#include "platform/sync.h"
#include "recv/recv.h"
#include "recv/transfer.h"
#include "sender.h"
#include "trust/trust_store.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

struct Options {
  uint16_t port = 0;
  int wait_s = 90;
  int interval_ms = 2000;
  int items = 500;  // same-names; at most 3000 fit one offer
  uint32_t from = 0;  // local address to connect from; 0: the system's choice
  int hosts = 1;
  std::string name;  // the peers' name instead of their behaviour's
};
Options g_opt;
std::mutex g_print;

struct Peer {
  std::string behaviour;
  int index;
  uint32_t from = 0;  // local address, 0: the system's choice
  uint64_t start_ms = 0;
  std::string got = "-";
};

void report(const Peer& p, bool closed) {
  std::lock_guard<std::mutex> hold(g_print);
  if (closed)
    printf("%s %d closed_ms=%llu got=%s\n", p.behaviour.c_str(), p.index,
           static_cast<unsigned long long>(monotonic_ms() - p.start_ms), p.got.c_str());
  else
    printf("%s %d open got=%s\n", p.behaviour.c_str(), p.index, p.got.c_str());
  fflush(stdout);
}

uint64_t deadline_ms() { return monotonic_ms() + uint64_t(g_opt.wait_s) * 1000; }
int left_ms(uint64_t deadline) {
  uint64_t now = monotonic_ms();
  return now >= deadline ? 0 : int(std::min<uint64_t>(deadline - now, 1u << 30));
}

std::vector<uint8_t> random_block(size_t n) {
  std::vector<uint8_t> b(n);
  random_bytes(b.data(), n);
  return b;
}

// ---- raw sockets, before any handshake ----------------------------------------------------

Socket connect_raw(Peer* p) {
  Socket s = tcp_socket();
  p->start_ms = monotonic_ms();
  if (s != kNoSocket && (p->from == 0 || socket_bind(s, p->from, 0) == 0) &&
      socket_connect(s, kLoopback, g_opt.port, 5000) == 0)
    return s;
  socket_close(s);
  return kNoSocket;
}

// Reads whatever the agent sends until it closes or the deadline passes; true when closed.
bool drain_until_closed(Socket s, Peer* p, uint64_t deadline) {
  uint8_t buf[4096];
  size_t total = 0;
  for (;;) {
    int ready = socket_wait_readable(s, left_ms(deadline));
    if (ready == 0) break;
    int64_t got = ready > 0 ? socket_recv(s, buf, sizeof buf) : -1;
    if (got <= 0) {
      if (total) p->got = "bytes:" + std::to_string(total);
      return true;
    }
    total += size_t(got);
  }
  if (total) p->got = "bytes:" + std::to_string(total);
  return false;
}

bool send_frame(Socket s, const uint8_t* body, size_t len) {
  std::vector<uint8_t> f(2 + len);
  f[0] = uint8_t(len >> 8);
  f[1] = uint8_t(len);
  if (len) memcpy(f.data() + 2, body, len);
  return socket_send(s, f.data(), f.size()) == int64_t(f.size());
}

void run_raw(Peer* p) {
  Socket s = connect_raw(p);
  if (s == kNoSocket) {
    p->got = "connect-failed";
    report(*p, true);
    return;
  }
  const uint64_t deadline = deadline_ms();
  bool closed = false;
  const std::string& b = p->behaviour;
  if (b == "hangup") {
    socket_close(s);
    p->got = "hung-up";
    report(*p, true);
    return;
  }
  if (b == "oversize") {
    const uint8_t hdr[2] = {0xFF, 0xFF};
    socket_send(s, hdr, 2);
  } else if (b == "frame513") {
    auto body = random_block(513);
    send_frame(s, body.data(), body.size());
  } else if (b == "garbage") {
    auto m1 = random_block(32);
    send_frame(s, m1.data(), m1.size());
    // The agent answers with its message 2 (about 100 bytes); then a message 3 it cannot open.
    uint8_t m2[600];
    socket_wait_readable(s, 10000);
    socket_recv(s, m2, sizeof m2);
    auto m3 = random_block(64 + 16);
    send_frame(s, m3.data(), m3.size());
  } else if (b == "slow") {
    // One byte at a time of a frame that would take 512 intervals to arrive.
    auto frame = random_block(2 + 512);
    frame[0] = 0x02;
    frame[1] = 0x00;
    for (size_t i = 0; i < frame.size() && !closed && left_ms(deadline) > 0; ++i) {
      if (socket_send(s, &frame[i], 1) != 1) {
        closed = true;
        break;
      }
      // A closed connection shows as readable; nothing else ever arrives here.
      if (socket_wait_readable(s, std::min(g_opt.interval_ms, left_ms(deadline))) != 0) {
        uint8_t c;
        closed = socket_recv(s, &c, 1) <= 0;
      }
    }
  }
  if (!closed) closed = drain_until_closed(s, p, deadline);
  socket_close(s);
  report(*p, closed);
}

// ---- after the handshake ------------------------------------------------------------------

std::string type_list(const std::vector<int>& types) {
  if (types.empty()) return "-";
  std::string out;
  char hex[8];
  for (int t : types) {
    snprintf(hex, sizeof hex, "%s%02x", out.empty() ? "" : ",", t);
    out += hex;
  }
  return out;
}

// Takes the agent's messages until it closes the connection or the deadline passes.
bool messages_until_closed(Sender* s, std::vector<int>* types, uint64_t deadline) {
  for (;;) {
    int left = left_ms(deadline);
    if (left == 0) return false;
    int len = sender_recv(s, left);
    if (len == -2) return false;
    if (len < 0) return true;
    types->push_back(s->msg[0]);
  }
}

// Sends bytes straight onto the connection, under the channel.
bool send_raw(Sender* s, const std::vector<uint8_t>& bytes) {
  return s->io->send_all(s->io, bytes.data(), bytes.size()) == 0;
}

// A valid offer of one file of size bytes; its id goes to id.
std::vector<uint8_t> offer_message(uint64_t size, uint8_t id[16],
                                   const char* name = "hostile.bin") {
  random_bytes(id, 16);
  SendItem item{};
  item.name = name;
  item.size = size;
  std::vector<uint8_t> msg(2 + 256);
  msg[0] = MSG_OFFER;
  size_t n = offer_encode(id, kOfferKindFiles, 1, size, &item, msg.data() + 2, 256);
  msg.resize(2 + n);
  return msg;
}

// The frame of one sealed message, as the channel would send it, without sending it.
std::vector<uint8_t> sealed_frame(Sender* s, const std::vector<uint8_t>& plain) {
  std::vector<uint8_t> f(2 + plain.size() + 16);
  int n = cipher_encrypt(&s->ch.send, nullptr, 0, plain.data(), plain.size(), f.data() + 2);
  f[0] = uint8_t(n >> 8);
  f[1] = uint8_t(n);
  ++s->ch.sent_count;
  return f;
}

// A MSG_DATA of len random bytes at offset for item 0 of offer id.
std::vector<uint8_t> data_message(const uint8_t id[16], uint64_t offset, size_t len) {
  std::vector<uint8_t> m = random_block(2 + 16 + 2 + 8 + len);
  m[0] = MSG_DATA;
  m[1] = 0;
  memcpy(&m[2], id, 16);
  m[18] = m[19] = 0;
  for (int b = 0; b < 8; ++b) m[20 + b] = uint8_t(offset >> (56 - 8 * b));
  return m;
}

bool send_data(Sender* s, const uint8_t id[16], uint64_t offset, size_t len) {
  auto m = data_message(id, offset, len);
  return channel_send(&s->ch, m.data(), m.size()) == 0;
}

// Sends a frame one byte per interval until it is out, the agent closes or the deadline.
void trickle(Sender* s, const std::vector<uint8_t>& frame, uint64_t deadline) {
  for (size_t i = 0; i < frame.size() && left_ms(deadline) > 0; ++i) {
    if (s->io->send_all(s->io, &frame[i], 1) != 0) return;
    // Readable means closed (or an acknowledgement, which the agent sends only after whole
    // data messages): either way the trickle has been answered.
    if (client_stream_readable(s->io, std::min(g_opt.interval_ms, left_ms(deadline))) != 0)
      return;
  }
}

const char* const kEscapes[] = {"../evil-1.txt", "a/../../evil-2.txt", "/tmp/evil-3.txt",
                                "C:evil-4.txt", "c:/evil-5.txt", "a//evil-6.txt",
                                "a/./../evil-7.txt", "\\evil-8.txt"};

// ---- sharing the agent with others ----------------------------------------------------------

bool is_sharing(const std::string& b) {
  return b == "keepalive" || b == "pair-wait" || b == "offer-flood";
}

int confirm_own_code(void*, const char*, const char*, const char*) { return 1; }

// What the pairing peer announces: no feature bit 3, so the agent must pair with it.
void sharing_config(const std::string& b, SenderConfig* config) {
  if (b != "pair-wait") return;
  config->features = kSenderFeatures;
  config->confirm_pairing = confirm_own_code;
}

const char* pairing_outcome(int status) {
  if (status == SEND_OK) return "paired";
  return status == SEND_PAIRING_REFUSED ? "pair-declined" : "pair-failed";
}

// The behaviour after an opening that succeeded; true when the agent closed meanwhile.
bool run_sharing(Sender* s, Peer* p, uint64_t deadline) {
  const std::string& b = p->behaviour;
  if (b == "pair-wait") {
    p->got = pairing_outcome(SEND_OK);
    channel_send_message(&s->ch, MSG_END, nullptr, 0);
    return false;
  }
  if (b == "keepalive") {
    while (left_ms(deadline) > 0) {
      if (channel_send_message(&s->ch, MSG_NOOP, nullptr, 0) != 0) return true;
      // Anything readable is the agent closing: it never sends on its own between offers.
      if (client_stream_readable(s->io, std::min(g_opt.interval_ms, left_ms(deadline))) != 0)
        return true;
    }
    return false;
  }
  // offer-flood: every offer is a new notice for the agent's user (and log).
  int answered = 0;
  while (left_ms(deadline) > 0) {
    const int rc = sender_send_text(s, kOfferKindText, "flood");
    if (rc == SEND_CONNECTION_LOST) return true;
    if (rc != SEND_OK && rc != SEND_REJECTED) break;
    ++answered;
  }
  p->got = "answered:" + std::to_string(answered);
  channel_send_message(&s->ch, MSG_END, nullptr, 0);
  return false;
}

void run_after_handshake(Peer* p) {
  SenderConfig config{};
  random_bytes(config.private_key, 32);
  snprintf(config.name, sizeof config.name, "%s-%d",
           (g_opt.name.empty() ? p->behaviour : g_opt.name).c_str(), p->index);
  TrustStore* agents = trust_store_open(nullptr);
  config.agents = agents;
  config.features = kSenderFeatures | kFeatureSendUnpaired;
  config.version = 1;
  sharing_config(p->behaviour, &config);
  StreamOps* io = nullptr;
  p->start_ms = monotonic_ms();
  const uint64_t deadline = deadline_ms();
  if (client_stream_connect_from(p->from, kLoopback, g_opt.port, 5000, &io) != CONNECT_OK) {
    p->got = "connect-failed";
    report(*p, true);
    trust_store_close(agents);
    return;
  }
  Sender s;
  const std::string& b = p->behaviour;
  bool closed = false;
  std::vector<int> types;
  if (b == "hs-silent" || b == "hs-random") {
    // Only the handshake: the agent's trust state is left unanswered.
    memset(&s, 0, sizeof s);
    s.io = io;
    s.msg = static_cast<uint8_t*>(malloc(kSessionMessageCap));
    HandshakePayload own{};
    snprintf(own.name, sizeof own.name, "%s", config.name);
    own.kind = 2;
    own.version = 1;
    own.features = config.features;
    if (handshake_run(&s.ch, io, config.private_key, &own, 1, nullptr) != 0) {
      p->got = "handshake-failed";
      closed = true;
    } else if (b == "hs-random") {
      send_raw(&s, random_block(70000));
    }
  } else if (int opened = sender_open(&s, io, &config); opened != SEND_OK) {
    p->got = b == "pair-wait" ? pairing_outcome(opened) : "open-failed";
    closed = true;
  } else if (is_sharing(b)) {
    closed = run_sharing(&s, p, deadline);
  } else if (b == "idle-random") {
    send_raw(&s, random_block(70000));
  } else if (b == "idle-unknown") {
    const uint8_t msg[3] = {0x05, 0x00, 0x00};
    channel_send(&s.ch, msg, sizeof msg);
  } else if (b == "idle-slow") {
    uint8_t id[16];
    trickle(&s, sealed_frame(&s, offer_message(1000, id)), deadline);
  } else if (b == "escape") {
    // Names that would land outside the inbox: each offer must be rejected as unusable (3).
    for (const char* name : kEscapes) {
      uint8_t id[16];
      auto offer = offer_message(10, id, name);
      channel_send(&s.ch, offer.data(), offer.size());
      int len = sender_recv(&s, 5000);
      if (len < 2) break;
      types.push_back(s.msg[0]);
      if (s.msg[0] == MSG_REJECT && len >= 2 + 17) types.push_back(s.msg[2 + 16]);
    }
    channel_send_message(&s.ch, MSG_END, nullptr, 0);
  } else if (b == "same-names") {
    // One offer of as many empty files as fit, all under one name: every one must get a
    // name of its own, and the agent must get through them in reasonable time.
    const int kItems = g_opt.items;
    std::vector<SendItem> items(static_cast<size_t>(kItems));
    for (SendItem& it : items) it = SendItem{"", "s", 0, 0, 0, -1, 0};
    uint8_t id[16];
    random_bytes(id, 16);
    std::vector<uint8_t> msg(2 + kChannelMaxBody);
    msg[0] = MSG_OFFER;
    size_t n = offer_encode(id, kOfferKindFiles, kItems, 0, items.data(), msg.data() + 2,
                            kChannelMaxBody);
    channel_send(&s.ch, msg.data(), 2 + n);
    int len = sender_recv(&s, left_ms(deadline));
    if (len >= 2) types.push_back(s.msg[0]);
    if (len >= 2 && s.msg[0] == MSG_ACCEPT) {
      // Every file is empty: its end and the digest of nothing finish it.
      std::vector<uint8_t> end(4 + 16 + 32);
      end[0] = MSG_FILE_END;
      memcpy(&end[2], id, 16);
      sha256(nullptr, 0, &end[4 + 16]);
      int stored = 0;
      for (int i = 0; i < kItems; ++i) {
        end[18] = uint8_t(i >> 8);
        end[19] = uint8_t(i);
        if (channel_send(&s.ch, end.data(), end.size()) != 0) break;
        len = sender_recv(&s, left_ms(deadline));
        if (len < 2 + 19 || s.msg[0] != MSG_FILE_RESULT) break;
        stored += s.msg[2 + 18] == 0;
      }
      char note[32];
      snprintf(note, sizeof note, "stored:%d", stored);
      p->got = note;
    }
    channel_send_message(&s.ch, MSG_END, nullptr, 0);
  } else if (b == "data-random" || b == "data-stall" || b == "data-slow") {
    // 1 MiB of an accepted 8 MiB file, then the misbehaviour.
    uint8_t id[16];
    auto offer = offer_message(8 << 20, id);
    channel_send(&s.ch, offer.data(), offer.size());
    int len = sender_recv(&s, left_ms(deadline));
    if (len >= 2) types.push_back(s.msg[0]);
    if (len >= 2 && s.msg[0] == MSG_ACCEPT) {
      for (uint64_t off = 0; off < (1u << 20); off += 32768) send_data(&s, id, off, 32768);
      if (b == "data-random") send_raw(&s, random_block(70000));
      if (b == "data-slow") {
        // The mebibyte earns an acknowledgement; take it so that only a close ends the trickle.
        if ((len = sender_recv(&s, 5000)) >= 2) types.push_back(s.msg[0]);
        trickle(&s, sealed_frame(&s, data_message(id, 1u << 20, 1000)), deadline);
      }
    }
  }
  if (!closed) closed = messages_until_closed(&s, &types, deadline);
  if (p->got == "-") p->got = type_list(types);
  sender_drop(&s);
  trust_store_close(agents);
  report(*p, closed);
}

bool is_raw(const std::string& b) {
  return b == "silent" || b == "hangup" || b == "slow" || b == "oversize" ||
         b == "frame513" || b == "garbage";
}
bool is_known(const std::string& b) {
  return is_raw(b) || b == "hs-silent" || b == "hs-random" || b == "idle-silent" ||
         b == "idle-random" || b == "idle-unknown" || b == "idle-slow" || b == "data-random" ||
         b == "data-stall" || b == "data-slow" || b == "escape" || b == "same-names" ||
         is_sharing(b);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Peer> peers;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--port" && i + 1 < argc) {
      g_opt.port = uint16_t(atoi(argv[++i]));
    } else if (a == "--wait-s" && i + 1 < argc) {
      g_opt.wait_s = atoi(argv[++i]);
    } else if (a == "--interval-ms" && i + 1 < argc) {
      g_opt.interval_ms = atoi(argv[++i]);
    } else if (a == "--from" && i + 1 < argc) {
      if (ipv4_from_text(argv[++i], &g_opt.from) != 0) {
        fprintf(stderr, "hostile_peer: not an IPv4 address: %s\n", argv[i]);
        return 2;
      }
    } else if (a == "--name" && i + 1 < argc) {
      g_opt.name = argv[++i];
    } else if (a == "--hosts" && i + 1 < argc) {
      g_opt.hosts = std::max(1, atoi(argv[++i]));
    } else if (a == "--items" && i + 1 < argc) {
      g_opt.items = std::min(3000, std::max(1, atoi(argv[++i])));
    } else {
      size_t x = a.rfind('x');
      int n = 1;
      std::string name = a;
      if (x != std::string::npos && x + 1 < a.size() && isdigit(uint8_t(a[x + 1]))) {
        name = a.substr(0, x);
        n = atoi(a.c_str() + x + 1);
      }
      if (!is_known(name)) {
        fprintf(stderr, "hostile_peer: unknown behaviour %s\n", a.c_str());
        return 2;
      }
      for (int k = 0; k < n; ++k) peers.push_back(Peer{name, k});
    }
  }
  if (!g_opt.port || peers.empty()) {
    fprintf(stderr, "usage: hostile_peer --port P [--wait-s S] [--interval-ms I] BEHAVIOUR[xN]...\n");
    return 2;
  }
  if (g_opt.hosts > 1 && g_opt.from == 0) g_opt.from = kLoopback + 1;
  for (size_t i = 0; i < peers.size(); ++i)
    if (g_opt.from) peers[i].from = g_opt.from + uint32_t(i % size_t(g_opt.hosts));
  net_startup();
  std::vector<std::thread> threads;
  threads.reserve(peers.size());
  for (Peer& p : peers) {
    threads.emplace_back(is_raw(p.behaviour) ? run_raw : run_after_handshake, &p);
    // Connections in the order given, so that the first ones hold the agent's workers.
    sleep_ms(p.behaviour == "hangup" ? 1 : 20);
  }
  for (auto& t : threads) t.join();
  return 0;
}
