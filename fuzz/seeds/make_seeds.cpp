// Writes the seed inputs of the fuzz targets, each made by the project's own encoders, into
// <fuzz folder>/<target>/seeds/. Run it after changing an input layout:
//   fuzz_make_seeds <path of the fuzz folder>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "channel/channel.h"
#include "channel/handshake.h"
#include "channel/messages.h"
#include "mdns/dns_codec.h"
#include "support/fixed_keys.h"
#include "support/mem_stream.h"
#include "support/phone.h"
#include "support/scratch.h"
#include "support/script.h"
#include "trust/hex.h"
#include "trust/trust_store.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

static std::string g_fuzz_dir;

static void put(const std::string& target, const std::string& name, const Bytes& bytes) {
  fs::path dir = fs::path(g_fuzz_dir) / target / "seeds";
  fs::create_directories(dir);
  std::ofstream f(dir / name, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

static Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

static Bytes file_bytes(const std::string& path) {
  std::vector<unsigned char> v = scratch_read(path);
  return Bytes(v.begin(), v.end());
}

// ---- handshake ------------------------------------------------------------------------------

// The wire bytes a phone sends in a complete handshake with the fixed keys.
static Bytes recorded_handshake(const Bytes& payload3) {
  MemStream s;
  Phone phone;
  Bytes m1 = phone.hello(kPhoneEphemeral, {});
  s.queue_frame(m1.data(), m1.size());
  s.refill = [&]() {
    Bytes m3 = phone.answer(&s, payload3);
    if (m3.empty()) return false;
    s.queue_frame(m3.data(), m3.size());
    s.refill = nullptr;
    return true;
  };
  SecureChannel ch;
  HandshakePayload own = fuzz_agent_payload();
  if (handshake_run_timed(&ch, &s.ops, kAgentStatic, &own, 0, kAgentEphemeral, 0) != 0)
    std::fprintf(stderr, "recorded handshake did not complete\n");
  return s.in;
}

static void handshake_seeds() {
  Bytes phone = phone_payload("iPhone", 1, 0x0F);
  ScriptWriter raw;
  raw.u8(0);
  raw.bytes(recorded_handshake(phone));
  put("handshake_responder", "raw-complete", raw.out);

  struct Assisted {
    const char* name;
    Bytes payload1, payload3;
    uint8_t damage;
  } cases[] = {
      {"assisted-plain", {}, phone, 0},
      {"assisted-hello-payload", text("hello"), phone, 0},
      {"assisted-short-payload", {}, Bytes(phone.begin(), phone.end() - 1), 0},
      {"assisted-flip3", {}, phone, 1},
  };
  for (const Assisted& c : cases) {
    ScriptWriter w;
    w.u8(1);
    w.u8(0);
    w.blob(c.payload1);
    w.blob(c.payload3);
    w.u8(c.damage);
    w.u16(40);
    w.u8(c.damage ? 0x01 : 0);
    w.blob({});
    put("handshake_responder", c.name, w.out);
  }

  put("payload_decode", "iphone", phone);
  put("payload_decode", "abcd", {4, 'a', 'b', 'c', 'd', 1, 1, 0, 0, 0, 8});
  put("payload_decode", "long-name", phone_payload(std::string(70, 'n').c_str(), 1, 0x0F));
}

// ---- channel --------------------------------------------------------------------------------

static void channel_seeds() {
  auto seal_op = [](ScriptWriter& w, uint8_t type, uint8_t flags, const Bytes& body) {
    w.u8(0);
    w.u8(type);
    w.u8(flags);
    w.blob(body);
  };
  Bytes offer_id(16, 0x42);
  ScriptWriter w;
  w.u8(0);
  w.u16(0);
  w.u8(3);
  seal_op(w, MSG_TRUST_STATE, 0, {1});
  seal_op(w, MSG_NOOP, 0, {});
  seal_op(w, 0x05, MSG_FLAG_SKIPPABLE, text("skip me"));
  Bytes text_msg = offer_id;
  Bytes hello = text("https://example.org/");
  text_msg.insert(text_msg.end(), hello.begin(), hello.end());
  seal_op(w, MSG_TEXT, 0, text_msg);
  seal_op(w, MSG_END, 0, {});
  put("channel_recv", "conversation", w.out);

  ScriptWriter big;
  big.u8(0);
  big.u16(0);
  big.u8(0);
  big.u8(5);
  big.u8(MSG_DATA);
  big.u8(0);
  big.u16(uint16_t(kChannelMaxBody));
  big.u8(0xAB);
  big.u8(2);
  big.blob(text("not sealed"));
  put("channel_recv", "largest-then-forged", big.out);

  ScriptWriter refused;
  refused.u8(2);
  refused.u16(8);
  refused.u8(4);
  seal_op(refused, 0x05, 0, {});
  seal_op(refused, MSG_OFFER, 0, Bytes(40, 1));
  put("channel_recv", "refused-and-small-capacity", refused.out);
}

// ---- discovery ------------------------------------------------------------------------------

static Bytes query(const std::vector<std::string>& labels, uint16_t type, uint16_t cls) {
  Bytes q = {0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
  for (const std::string& l : labels) {
    q.push_back(uint8_t(l.size()));
    q.insert(q.end(), l.begin(), l.end());
  }
  q.insert(q.end(), {0, uint8_t(type >> 8), uint8_t(type), uint8_t(cls >> 8), uint8_t(cls)});
  return q;
}

static void dns_seeds() {
  struct Case {
    const char* name;
    Bytes packet;
  } cases[] = {
      {"ptr-service", query({"_ferrylink", "_tcp", "local"}, kDnsTypePtr, kDnsClassIn)},
      {"srv-instance", query({"Fuzz PC", "_ferrylink", "_tcp", "local"}, kDnsTypeSrv, 0x8001)},
      {"txt-instance", query({"Fuzz PC", "_ferrylink", "_tcp", "local"}, kDnsTypeTxt, kDnsClassIn)},
      {"a-host", query({"Fuzz-PC", "local"}, kDnsTypeA, kDnsClassIn)},
      {"services", query({"_services", "_dns-sd", "_udp", "local"}, kDnsTypePtr, kDnsClassIn)},
      {"any-upper", query({"_FERRYLINK", "_TCP", "LOCAL"}, kDnsTypeAny, kDnsClassAny)},
  };
  for (const Case& c : cases) {
    ScriptWriter w;
    w.blob(text("Fuzz PC"));
    w.u16(47650);
    w.u8(2);
    w.bytes(c.packet);
    put("dns_parse_query", c.name, w.out);
  }
  // Two questions, the second a compression pointer to the first's name.
  Bytes two = query({"_ferrylink", "_tcp", "local"}, kDnsTypePtr, kDnsClassIn);
  two[5] = 2;
  two.insert(two.end(), {0xC0, 0x0C, 0, kDnsTypeSrv, 0, 1});
  ScriptWriter w;
  w.blob(text("Fuzz PC"));
  w.u16(47650);
  w.u8(1);
  w.bytes(two);
  put("dns_parse_query", "pointer", w.out);
}

// ---- files in the data folder -----------------------------------------------------------------

static void data_file_seeds() {
  AgentSettings s{};
  std::strcpy(s.device_name, "Fuzz PC");
  std::strcpy(s.inbox_dir, "C:\\Users\\me\\Downloads\\ferrylink=inbox");
  s.auto_accept = 1;
  s.lang = 3;
  s.first_run_done = 1;
  std::string config = scratch_root() + "/config.ini";
  settings_save(config.c_str(), &s);
  Bytes saved = file_bytes(config);
  put("settings_load", "saved", saved);
  std::string crlf;
  for (uint8_t b : saved) crlf += b == '\n' ? std::string("\r\n") : std::string(1, char(b));
  crlf += "; comment\n[section]\nlang=-7\r\r\n";
  put("settings_load", "crlf-and-comments", text(crlf));

  std::string trust = scratch_root() + "/trust.txt";
  TrustStore* store = trust_store_open(trust.c_str());
  uint8_t key[32];
  for (int i = 0; i < 32; i++) key[i] = uint8_t(i * 7);
  trust_store_put(store, key, "Anna's iPhone", 1);
  key[0] ^= 0xFF;
  trust_store_put(store, key, "tab\there", 0);
  trust_store_close(store);
  put("trust_store_load", "two-records", file_bytes(trust));

  // The agent's own file form for a fixed key (a fresh one would change at every run).
  char hex[65];
  hex_encode(kAgentStatic, 32, hex);
  Bytes id = text(std::string(hex) + "\n");
  put("identity_load", "written", id);
  std::string upper(id.begin(), id.end() - 1);
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  put("identity_load", "upper-crlf", text(upper + "\r\nmore"));
}

static void offer_path_seeds() {
  const char* names[] = {"Photos/2024/IMG 1.jpg", "con.txt", "a\\b", "report.", "ab:c.txt",
                         "dir/sub/.profile"};
  int i = 0;
  for (const char* n : names) {
    Bytes b = {0};
    Bytes t = text(n);
    b.insert(b.end(), t.begin(), t.end());
    put("offer_path", "split-" + std::to_string(i++), b);
  }
  Bytes long_name = {1, 0};
  Bytes t = text(std::string(246, 'x') + ".jpg");
  long_name.insert(long_name.end(), t.begin(), t.end());
  put("offer_path", "component-long", long_name);
}

// ---- receive session ------------------------------------------------------------------------

// The operations of the receive-session script (recv_session/recv_session.cpp).
struct SessionScript {
  ScriptWriter w;
  SessionScript(uint8_t settings, uint8_t more, uint8_t features) {
    w.u8(settings);
    w.u8(more);
    w.u8(1);  // protocol version
    w.u8(features);
  }
  void trust_state(uint8_t v) {
    w.u8(1);
    w.u8(v);
  }
  void pair_confirm() { w.u8(2); }
  void offer_files(uint8_t id, const std::vector<std::pair<std::string, uint32_t>>& items) {
    w.u8(3);
    w.u8(id);
    w.u8(uint8_t(items.size() - 1));
    for (const auto& [name, size] : items) {
      w.blob(text(name));
      w.u8(1);  // size below 400000
      w.u64(size);
      w.u8(1);  // dated
    }
    w.u8(0);  // the total is the sum
  }
  void offer_text(uint8_t id, uint8_t kind, uint16_t total) {
    w.u8(4);
    w.u8(id);
    w.u8(kind);
    w.u16(total);
  }
  void text_message(const std::string& t) {
    w.u8(5);
    w.u8(0);
    w.blob(text(t));
  }
  void data(uint8_t item, uint16_t len) {
    w.u8(6);
    w.u8(item);
    w.u16(len);
    w.u8(0);
  }
  void finish(uint8_t item) {
    w.u8(7);
    w.u8(item);
  }
  void end() { w.u8(9); }
};

static void session_seeds() {
  // Trusted phone with its accept flag, trusted peers need no prompt: two files.
  SessionScript trusted(0x03, 0x01, 0x0F);
  trusted.trust_state(1);
  trusted.offer_files(1, {{"a.txt", 1000}, {"Photos/2024/IMG 1.jpg", 70000}});
  trusted.finish(0);
  trusted.finish(1);
  trusted.end();
  put("recv_session", "trusted-two-files", trusted.w.out);

  // A new phone pairs while the window is open, then sends a link.
  SessionScript pairing(0x38, 0x00, 0x07);
  pairing.trust_state(0);
  pairing.pair_confirm();
  pairing.offer_text(2, 3, 20);
  pairing.text_message("https://example.org/");
  pairing.end();
  put("recv_session", "pair-then-link", pairing.w.out);

  // Open mode, a phone that sends unpaired; the transfer stops midway and resumes.
  SessionScript resume(0x24, 0x00, 0x0F);
  resume.trust_state(0);
  resume.offer_files(3, {{"big.bin", 150000}});
  resume.data(0, 65000);
  resume.end();
  resume.offer_files(3, {{"big.bin", 150000}});
  resume.finish(0);
  resume.end();
  put("recv_session", "stop-and-resume", resume.w.out);

  // The user declines; no space for the next offer; a name that cannot be used.
  SessionScript refused(0x04, 0x02, 0x0F);
  refused.trust_state(0);
  refused.offer_files(4, {{"x.txt", 10}});
  refused.offer_files(5, {{"y.txt", 5000}});
  refused.offer_files(6, {{"/etc/passwd", 10}});
  refused.end();
  put("recv_session", "declined-no-space-bad-name", refused.w.out);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <fuzz folder>\n", argv[0]);
    return 2;
  }
  g_fuzz_dir = argv[1];
  handshake_seeds();
  channel_seeds();
  dns_seeds();
  data_file_seeds();
  offer_path_seeds();
  session_seeds();
  return 0;
}
