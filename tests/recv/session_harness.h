#pragma once
// A real receive session on loopback TCP and a peer built from ferrylink-send's own code.
// The agent side accepts connections on 127.0.0.1 and runs receive_session_run for each on
// a thread of its own; every event the session raises is recorded. The peer side is a
// Sender (sender.h): the normal opening and offers through its functions, anything odd
// through raw messages on its channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "channel/channel.h"
#include "channel/field.h"
#include "channel/handshake.h"
#include "channel/messages.h"
#include "channel/pairing.h"
#include "client_stream.h"
#include "crypto/sha256.h"
#include "crypto/x25519.h"
#include "platform/fs.h"
#include "platform/net.h"
#include "platform/sync.h"
#include "recv/allowance.h"
#include "recv/file_store.h"
#include "recv/listener.h"
#include "recv/recv.h"
#include "recv/session_config.h"
#include "recv/transfer.h"
#include "sender.h"
#include "support/temp_dir.h"
#include "trust/identity.h"
#include "trust/trust_store.h"

namespace harness {

constexpr uint32_t kLoopback = 0x7F000001;

// Everything the session told the desktop, in order.
struct Recorder {
  std::mutex m;
  std::condition_variable cv;
  std::vector<std::string> logs;
  std::vector<std::string> pairing_codes;
  std::vector<OfferInfo> offers;          // strings copied into the fields below
  std::vector<std::string> offer_first_names, offer_peer_names;
  std::vector<std::pair<int, std::string>> texts;
  struct Files {
    int count;
    uint64_t total;
    std::vector<std::string> paths;
  };
  std::vector<Files> files;
  struct Progress {
    uint64_t received, total;
    std::string path;
  };
  std::vector<Progress> progress;
  std::vector<std::string> paired;
  std::vector<uint64_t> grants;
  int pairing_answer = 1;
  int offer_answer = 1;

  bool has_log(const std::string& line) {
    std::lock_guard<std::mutex> g(m);
    return std::find(logs.begin(), logs.end(), line) != logs.end();
  }
  std::vector<std::string> log_copy() {
    std::lock_guard<std::mutex> g(m);
    return logs;
  }
  size_t offer_count() {
    std::lock_guard<std::mutex> g(m);
    return offers.size();
  }
};

inline Recorder* rec(void* p) { return static_cast<Recorder*>(p); }

inline int on_pairing_prompt(void* u, const char* code, const char*, const char*) {
  std::lock_guard<std::mutex> g(rec(u)->m);
  rec(u)->pairing_codes.push_back(code);
  return rec(u)->pairing_answer;
}
inline int on_offer_prompt(void* u, const OfferInfo* info) {
  std::lock_guard<std::mutex> g(rec(u)->m);
  rec(u)->offers.push_back(*info);
  rec(u)->offer_first_names.push_back(info->first_name ? info->first_name : "(null)");
  rec(u)->offer_peer_names.push_back(info->peer_name);
  return rec(u)->offer_answer;
}
inline void on_text_received(void* u, const char*, int kind, const char* text) {
  std::lock_guard<std::mutex> g(rec(u)->m);
  rec(u)->texts.emplace_back(kind, text);
}
inline void on_files_received(void* u, const char*, int count, uint64_t total,
                              const char* const* paths) {
  std::lock_guard<std::mutex> g(rec(u)->m);
  rec(u)->files.push_back({count, total, std::vector<std::string>(paths, paths + count)});
}
inline void on_progress(void* u, const char*, uint64_t received, uint64_t total,
                        const char* path) {
  std::lock_guard<std::mutex> g(rec(u)->m);
  rec(u)->progress.push_back({received, total, path});
}
inline void on_paired(void* u, const char* name) {
  std::lock_guard<std::mutex> g(rec(u)->m);
  rec(u)->paired.push_back(name);
}
inline void on_allowance_granted(void* u, const char*, uint64_t ms) {
  std::lock_guard<std::mutex> g(rec(u)->m);
  rec(u)->grants.push_back(ms);
}
inline void on_log(void* u, const char* line) {
  std::lock_guard<std::mutex> g(rec(u)->m);
  rec(u)->logs.push_back(line);
  rec(u)->cv.notify_all();
}

// Waits until pred() holds, at most timeout_ms; the last pred().
template <typename Pred>
bool eventually(Pred pred, int timeout_ms = 10000) {
  const uint64_t end = monotonic_ms() + uint64_t(timeout_ms);
  while (!pred()) {
    if (monotonic_ms() > end) return pred();
    sleep_ms(5);
  }
  return true;
}

// The agent: a config as the shell fills it (open mode, prompts for every offer, ten-minute
// allowance), an in-memory trust store, and a loopback accept loop running real sessions.
class Agent {
public:
  Agent() {
    net_startup();
    inbox = tmp.file("inbox");
    session_config_init(&config);
    random_bytes(config.static_private_key, 32);
    session_config_set_device_name(&config, "Test PC");
    snprintf(config.inbox_dir, sizeof config.inbox_dir, "%s", inbox.c_str());
    trust = trust_store_open(nullptr);
    allowance = allowance_new();
    config.trust_store = trust;
    config.allowance = allowance;
    config.allowance_ms = 600000;
    config.auto_accept_trusted = 0;
    config.open_mode = 1;
    config.user_data = &recorder;
    config.idle_timeout_ms = 10000;
    config.events = {on_pairing_prompt, on_offer_prompt, on_text_received, on_files_received,
                     on_progress, on_paired, on_allowance_granted, on_log};
  }

  ~Agent() {
    stop_ = true;
    if (accept_thread_.joinable()) accept_thread_.join();
    for (auto& t : sessions_) t.join();
    socket_close(listen_);
    trust_store_close(trust);
    allowance_free(allowance);
  }

  // Starts accepting; every connection runs one session with the config as it is now.
  void start() {
    listen_ = tcp_socket();
    ASSERT_NE(listen_, kNoSocket);
    ASSERT_EQ(socket_bind(listen_, kLoopback, 0), 0);
    ASSERT_EQ(socket_listen(listen_, 8), 0);
    ASSERT_EQ(socket_local_port(listen_, &port), 0);
    accept_thread_ = std::thread([this] { accept_loop(); });
  }

  int sessions_ended() const { return ended_.load(); }
  bool wait_sessions_ended(int n, int timeout_ms = 10000) {
    return eventually([&] { return ended_.load() >= n; }, timeout_ms);
  }

  std::string in(const std::string& rel) const { return inbox + "/" + rel; }

  TempDir tmp;
  std::string inbox;
  SessionConfig config;
  TrustStore* trust;
  Allowance* allowance;
  Recorder recorder;
  uint16_t port = 0;

private:
  void accept_loop() {
    while (!stop_) {
      if (socket_wait_readable(listen_, 50) != 1) continue;
      Socket s = socket_accept(listen_, nullptr, nullptr);
      if (s == kNoSocket) continue;
      socket_set_nodelay(s, 1);
      StreamOps* stream = stream_ops_new(s);
      std::lock_guard<std::mutex> g(m_);
      sessions_.emplace_back([this, stream] {
        receive_session_run(&config, stream);
        ++ended_;
      });
    }
  }

  Socket listen_ = kNoSocket;
  std::atomic<bool> stop_{false};
  std::atomic<int> ended_{0};
  std::mutex m_;
  std::thread accept_thread_;
  std::vector<std::thread> sessions_;
};

inline int confirm_yes(void*, const char*, const char*, const char*) { return 1; }
inline int confirm_no(void*, const char*, const char*, const char*) { return 0; }

// The phone: its own key, its own list of trusted agents, and one connection at a time.
class Peer {
public:
  explicit Peer(const char* name = "Test Phone") {
    memset(&config, 0, sizeof config);
    random_bytes(config.private_key, 32);
    snprintf(config.name, sizeof config.name, "%s", name);
    agents = trust_store_open(nullptr);
    config.agents = agents;
    config.features = kSenderFeatures;
    config.version = 1;
    config.confirm_pairing = confirm_yes;
    config.answer_timeout_ms = 10000;
    memset(&s, 0, sizeof s);
  }
  ~Peer() {
    sender_close(&s);
    trust_store_close(agents);
  }

  // Connects and runs the sender's opening; its SendStatus.
  int open(uint16_t port) {
    sender_close(&s);
    StreamOps* io = nullptr;
    if (client_stream_connect(kLoopback, port, 3000, &io) != CONNECT_OK) return -100;
    return sender_open(&s, io, &config);
  }
  // Connects and runs only the handshake; the channel is then the test's to use.
  int handshake(uint16_t port) {
    sender_close(&s);
    memset(&s, 0, sizeof s);
    s.msg = static_cast<uint8_t*>(malloc(kSessionMessageCap));
    if (client_stream_connect(kLoopback, port, 3000, &s.io) != CONNECT_OK) return -100;
    HandshakePayload own{};
    snprintf(own.name, sizeof own.name, "%s", config.name);
    own.kind = 2;
    own.version = config.version;
    own.features = config.features;
    return handshake_run(&s.ch, s.io, config.private_key, &own, 1, nullptr);
  }
  // Ends the connection with MSG_END.
  void close() { sender_close(&s); }
  // Vanishes without a word.
  void drop() { sender_drop(&s); }

  int send(uint8_t type, const std::vector<uint8_t>& body) {
    return channel_send_message(&s.ch, type, body.data(), body.size());
  }
  // The next message: type and body; type 0 with the channel result in len on failure.
  struct Msg {
    int len;
    uint8_t type;
    std::vector<uint8_t> body;
  };
  Msg recv(int timeout_ms = 10000) {
    int len = sender_recv(&s, timeout_ms);
    if (len < 2) return {len, 0, {}};
    return {len, s.msg[0], std::vector<uint8_t>(s.msg + 2, s.msg + len)};
  }

  SenderConfig config;
  TrustStore* agents;
  Sender s;
};

// ---- message bodies -----------------------------------------------------------------------

struct Body {
  std::vector<uint8_t> b;
  Body& u8(uint8_t v) { b.push_back(v); return *this; }
  Body& u16(uint16_t v) { u8(uint8_t(v >> 8)); return u8(uint8_t(v)); }
  Body& u64(uint64_t v) {
    for (int i = 7; i >= 0; --i) u8(uint8_t(v >> (8 * i)));
    return *this;
  }
  Body& bytes(const void* p, size_t n) {
    auto* c = static_cast<const uint8_t*>(p);
    b.insert(b.end(), c, c + n);
    return *this;
  }
  Body& str(const std::string& s) { return bytes(s.data(), s.size()); }
  Body& id(const std::vector<uint8_t>& id) { return bytes(id.data(), id.size()); }
};

inline std::vector<uint8_t> offer_id(uint8_t fill) { return std::vector<uint8_t>(16, fill); }

struct Item {
  std::string name;
  uint64_t size;
  uint64_t mtime = 0;
};

inline std::vector<uint8_t> file_offer(const std::vector<uint8_t>& id,
                                       const std::vector<Item>& items) {
  uint64_t total = 0;
  for (const auto& it : items) total += it.size;
  Body o;
  o.id(id).u8(kOfferKindFiles).u16(uint16_t(items.size())).u64(total);
  for (const auto& it : items) o.u16(uint16_t(it.name.size())).str(it.name).u64(it.size).u64(it.mtime).u8(0);
  return o.b;
}

inline std::vector<uint8_t> data_msg(const std::vector<uint8_t>& id, int index, uint64_t offset,
                                     const std::string& data) {
  return Body().id(id).u16(uint16_t(index)).u64(offset).str(data).b;
}

inline std::string digest(const std::string& data) {
  uint8_t d[32];
  sha256(data.data(), data.size(), d);
  return std::string(reinterpret_cast<char*>(d), 32);
}

inline std::vector<uint8_t> file_end(const std::vector<uint8_t>& id, int index,
                                     const std::string& content) {
  return Body().id(id).u16(uint16_t(index)).str(digest(content)).b;
}

inline uint64_t be64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}

// A MSG_ERROR body as (code, text).
inline std::pair<int, std::string> error_of(const std::vector<uint8_t>& body) {
  if (body.size() < 4) return {-1, ""};
  int n = (body[2] << 8) | body[3];
  return {(body[0] << 8) | body[1], std::string(body.begin() + 4, body.begin() + 4 + n)};
}

// The next message is MSG_ERROR with this code and text, and then the agent closes.
inline ::testing::AssertionResult error_then_close(Peer& peer, int code, const std::string& text) {
  Peer::Msg m = peer.recv();
  if (m.type != MSG_ERROR)
    return ::testing::AssertionFailure() << "got type " << int(m.type) << " len " << m.len;
  auto e = error_of(m.body);
  if (e.first != code || e.second != text)
    return ::testing::AssertionFailure() << "got error " << e.first << " \"" << e.second << "\"";
  int after = peer.recv().len;
  if (after != -3) return ::testing::AssertionFailure() << "not closed: " << after;
  return ::testing::AssertionSuccess();
}

// Deterministic file content of n bytes.
inline std::string content_of(size_t n, uint32_t seed = 1) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = char(x);
  }
  return s;
}

}  // namespace harness
