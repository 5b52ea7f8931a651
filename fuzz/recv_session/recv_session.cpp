// A whole receive session on the agent's side, from the handshake to the close, driven by a
// scripted phone into a scratch inbox. After every run nothing may exist outside the inbox,
// no item that holds no bytes may leave its partial file and metadata behind, the stream is
// closed exactly once, every frame the agent sent is one of its own messages with the layout
// of its type, and nothing follows an error or a declined pairing.
//
// Input: u8 settings (bit 0 the phone is trusted, bit 1 its accept flag, bit 2 open mode,
// bit 3 pairing window open, bit 4 the user confirms pairing codes, bit 5 the user accepts
// offers, bit 6 the inbox is on FAT, bit 7 an allowance table), u8 more (bit 0 trusted peers
// need no prompt, bits 1-2 free space: the file system's, 1000 bytes, 1 TiB, none), u8 the
// phone's protocol version, u8 its feature bits; then one operation after another, each
// played when the agent waits for the phone:
//   0 any message: u8 type, u8 flags, blob body      1 trust state: u8 value
//   2 pairing confirmed                                3 file offer (see offer_files)
//   4 text offer: u8 id, u8 kind, u16 total            5 the text: u8 id mode, blob text
//   6 data (see data)                                  7 the rest of an item and its end
//   8 file end: u8 item, u8 flags                      9 MSG_END
//   10 MSG_ERROR: blob text                            11 loose bytes: blob

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "channel/channel.h"
#include "channel/messages.h"
#include "crypto/sha256.h"
#include "crypto/x25519.h"
#include "recv/allowance.h"
#include "recv/recv.h"
#include "recv/session_config.h"
#include "recv/transfer.h"
#include "support/check.h"
#include "support/fixed_keys.h"
#include "support/mem_stream.h"
#include "support/phone.h"
#include "support/scratch.h"
#include "support/script.h"
#include "trust/identity.h"
#include "trust/trust_store.h"

namespace {

using Bytes = std::vector<uint8_t>;

// FL_FUZZ_LOG=1 shows what a run did, for looking at one input.
bool verbose() {
  static const bool on = std::getenv("FL_FUZZ_LOG") != nullptr;
  return on;
}

constexpr uint64_t kMaxSentItem = 4u << 20;  // larger items are offered but never sent whole

struct Item {
  std::string name;
  uint64_t size = 0;
  uint64_t next = 0;  // where the phone goes on sending: the resume offset, then onwards
  uint8_t seed = 0;   // the item's content depends on its name
};

struct Offer {
  uint8_t id[kOfferIdLen] = {};
  std::vector<Item> items;
};

// The bytes of an item: a function of its name and the offset, so a resumed item continues
// with exactly the bytes an earlier connection would have sent.
uint8_t content_at(const Item& it, uint64_t p) { return uint8_t((p * 131) ^ (p >> 9) ^ it.seed); }

void content(const Item& it, uint64_t from, size_t len, Bytes* out) {
  for (size_t i = 0; i < len; i++) out->push_back(content_at(it, from + i));
}

void content_digest(const Item& it, uint8_t out[32]) {
  Sha256Ctx ctx;
  sha256_init(&ctx);
  Bytes block;
  for (uint64_t p = 0; p < it.size && it.size <= kMaxSentItem; p += block.size()) {
    block.clear();
    content(it, p, size_t(std::min<uint64_t>(65536, it.size - p)), &block);
    sha256_update(&ctx, block.data(), uint32_t(block.size()));
  }
  sha256_final(&ctx, out);
}

void put_u16(Bytes* b, uint16_t v) { b->insert(b->end(), {uint8_t(v >> 8), uint8_t(v)}); }
void put_u64(Bytes* b, uint64_t v) {
  for (int i = 7; i >= 0; i--) b->push_back(uint8_t(v >> (8 * i)));
}
uint64_t get_u64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; i++) v = (v << 8) | p[i];
  return v;
}

// ---- what the agent says --------------------------------------------------------------

// Every message the agent sends must be one of its own with the layout of its type.
void check_agent_message(const Bytes& m, Offer* offer) {
  FUZZ_CHECK(m.size() >= 2 && m[1] == 0);
  size_t body = m.size() - 2;
  const uint8_t* b = m.data() + 2;
  switch (m[0]) {
    case MSG_TRUST_STATE:
      FUZZ_CHECK(body == 1 && b[0] <= TRUST_ADMITTED);
      break;
    case MSG_PAIR_CONFIRM:
      FUZZ_CHECK(body == 1 && b[0] == 1);
      break;
    case MSG_PAIR_DECLINE:
      FUZZ_CHECK(body == 0);
      break;
    case MSG_REJECT:
      FUZZ_CHECK(body == kOfferIdLen + 1 && b[kOfferIdLen] >= 1 && b[kOfferIdLen] <= 3);
      if (verbose()) std::fprintf(stderr, "agent: rejected, reason %d\n", b[kOfferIdLen]);
      break;
    case MSG_ACCEPT:
      FUZZ_CHECK(body >= kOfferIdLen && (body - kOfferIdLen) % 8 == 0);
      if (std::memcmp(b, offer->id, kOfferIdLen) == 0 && body > kOfferIdLen) {
        FUZZ_CHECK((body - kOfferIdLen) / 8 == offer->items.size());
        for (size_t i = 0; i < offer->items.size(); i++) {
          uint64_t resume = get_u64(b + kOfferIdLen + 8 * i);
          FUZZ_CHECK(resume <= offer->items[i].size);
          offer->items[i].next = resume;
          if (verbose()) std::fprintf(stderr, "agent: item %zu resumes at %llu\n", i,
                                      static_cast<unsigned long long>(resume));
        }
      }
      break;
    case MSG_ACK:
      FUZZ_CHECK(body == kOfferIdLen + 10);
      break;
    case MSG_FILE_RESULT:
      FUZZ_CHECK(body == kOfferIdLen + 3 && b[kOfferIdLen + 2] <= 2);
      break;
    case MSG_ERROR: {
      FUZZ_CHECK(body >= 4);
      size_t n = (size_t(b[2]) << 8) | b[3];
      FUZZ_CHECK(n == body - 4 && n <= kChannelMaxErrorText);
      break;
    }
    default:
      FUZZ_CHECK(!"the agent sent a message of another type");
  }
}

// ---- the phone ----------------------------------------------------------------------------

struct Script {
  ScriptReader in;
  MemStream stream;
  Phone phone;
  Bytes hello_payload;
  bool handshake_done = false;
  Offer offer;

  Script(const uint8_t* data, size_t size) : in(data, size) {}

  void send(const Bytes& plaintext) {
    Bytes body = phone.seal(plaintext);
    stream.queue_frame(body.data(), body.size());
  }

  bool agent_finished = false;  // the agent sent an error or declined: it must say no more

  void read_agent() {
    Bytes frame, plain;
    while (stream.take_sent_frame(&frame)) {
      FUZZ_CHECK(!agent_finished);
      FUZZ_CHECK(phone.open(frame, &plain));
      check_agent_message(plain, &offer);
      agent_finished = plain[0] == MSG_ERROR || plain[0] == MSG_PAIR_DECLINE;
    }
  }

  Item* item(uint8_t index) {
    return offer.items.empty() ? nullptr : &offer.items[index % offer.items.size()];
  }

  void offer_files() {
    // u8 id, u8 items - 1 (1..4), per item: blob name, u8 size kind, u64 size, u8 dated;
    // then u8 total kind (0: the sum, else the u64 that follows).
    offer = Offer{};
    std::memset(offer.id, in.u8(), kOfferIdLen);
    int count = in.u8() % 4 + 1;
    Bytes items;
    uint64_t sum = 0;
    for (int i = 0; i < count; i++) {
      Item it;
      Bytes name = in.blob(300);
      it.name.assign(name.begin(), name.end());
      uint8_t kind = in.u8();
      uint64_t raw = in.u64();
      it.size = kind % 4 == 0 ? raw % 70000 : kind % 4 == 1 ? raw % 400000 : kind % 4 == 2 ? 0 : raw;
      for (char c : it.name) it.seed = uint8_t(it.seed * 31 + uint8_t(c));
      put_u16(&items, uint16_t(name.size()));
      items.insert(items.end(), name.begin(), name.end());
      put_u64(&items, it.size);
      put_u64(&items, (in.u8() & 1) ? 1700000000000ull : 0);
      items.push_back(0);
      sum += it.size;
      offer.items.push_back(it);
    }
    uint64_t total = in.u8() == 0 ? sum : in.u64();
    Bytes m = {MSG_OFFER, 0};
    m.insert(m.end(), offer.id, offer.id + kOfferIdLen);
    m.push_back(kOfferKindFiles);
    put_u16(&m, uint16_t(count));
    put_u64(&m, total);
    m.insert(m.end(), items.begin(), items.end());
    send(m);
  }

  void offer_text() {
    offer = Offer{};
    std::memset(offer.id, in.u8(), kOfferIdLen);
    Bytes m = {MSG_OFFER, 0};
    m.insert(m.end(), offer.id, offer.id + kOfferIdLen);
    m.push_back(uint8_t(in.u8() % 5));
    put_u16(&m, 0);
    put_u64(&m, in.u16());
    send(m);
  }

  void text() {
    Bytes m = {MSG_TEXT, 0};
    uint8_t other = in.u8() & 1;
    for (size_t i = 0; i < kOfferIdLen; i++) m.push_back(uint8_t(offer.id[i] ^ other));
    Bytes t = in.blob(kChannelMaxBody - kOfferIdLen);
    m.insert(m.end(), t.begin(), t.end());
    send(m);
  }

  // u8 item, u16 length, u8 flags (bit 0: the u64 offset that follows instead of the next
  // one, bit 1: another offer id, bit 2: an index past the items).
  void data() {
    uint8_t index = in.u8();
    size_t len = std::min<size_t>(in.u16(), kMaxDataPerMessage);
    uint8_t flags = in.u8();
    uint64_t raw_offset = (flags & 1) ? in.u64() : 0;
    Item* it = item(index);
    if (!it) return;
    uint16_t wire_index = uint16_t((flags & 4) ? 0x8000 | index : index % offer.items.size());
    uint64_t offset = (flags & 1) ? raw_offset : it->next;
    Bytes m = {MSG_DATA, 0};
    for (size_t i = 0; i < kOfferIdLen; i++) m.push_back(uint8_t(offer.id[i] ^ ((flags >> 1) & 1)));
    put_u16(&m, wire_index);
    put_u64(&m, offset);
    content(*it, offset, len, &m);
    send(m);
    if (offset == it->next) it->next += len;
  }

  void file_end(uint8_t index, uint8_t flags) {
    Item* it = item(index);
    if (!it) return;
    Bytes m = {MSG_FILE_END, 0};
    for (size_t i = 0; i < kOfferIdLen; i++) m.push_back(uint8_t(offer.id[i] ^ ((flags >> 1) & 1)));
    put_u16(&m, uint16_t(index % offer.items.size()));
    uint8_t digest[32];
    content_digest(*it, digest);
    if (flags & 1) digest[0] ^= 1;
    m.insert(m.end(), digest, digest + 32);
    send(m);
  }

  void finish_item() {
    uint8_t index = in.u8();
    Item* it = item(index);
    if (!it || it->size > kMaxSentItem) return;
    while (it->next < it->size) {
      size_t len = size_t(std::min<uint64_t>(kMaxDataPerMessage, it->size - it->next));
      Bytes m = {MSG_DATA, 0};
      m.insert(m.end(), offer.id, offer.id + kOfferIdLen);
      put_u16(&m, uint16_t(index % offer.items.size()));
      put_u64(&m, it->next);
      content(*it, it->next, len, &m);
      send(m);
      it->next += len;
    }
    file_end(index, 0);
  }

  // Plays the next operation; false when the script has ended.
  bool next() {
    if (!handshake_done) {
      handshake_done = true;
      Bytes m3 = phone.answer(&stream, hello_payload);
      if (m3.empty()) return false;
      stream.queue_frame(m3.data(), m3.size());
      return true;
    }
    read_agent();
    size_t before = stream.queued();
    while (!in.done() && stream.queued() == before) {
      switch (in.u8() % 12) {
        case 0: {
          Bytes m = {in.u8(), in.u8()};
          Bytes body = in.blob(kChannelMaxBody);
          m.insert(m.end(), body.begin(), body.end());
          send(m);
          break;
        }
        case 1: send({MSG_TRUST_STATE, 0, in.u8()}); break;
        case 2: send({MSG_PAIR_CONFIRM, 0, 1}); break;
        case 3: offer_files(); break;
        case 4: offer_text(); break;
        case 5: text(); break;
        case 6: data(); break;
        case 7: finish_item(); break;
        case 8: {
          uint8_t index = in.u8();
          file_end(index, in.u8());
          break;
        }
        case 9: send({MSG_END, 0}); break;
        case 10: {
          Bytes m = {MSG_ERROR, 0, 0, 2};
          Bytes t = in.blob(1000);
          put_u16(&m, uint16_t(t.size()));
          m.insert(m.end(), t.begin(), t.end());
          send(m);
          break;
        }
        default: {
          Bytes b = in.blob(65535);
          stream.queue(b.data(), b.size());
          break;
        }
      }
    }
    return stream.queued() > before;
  }
};

// ---- the agent's surroundings ---------------------------------------------------------------

struct Desk {
  uint8_t settings = 0;
  std::string inbox;
};

int on_pairing(void* ud, const char* code, const char*, const char*) {
  FUZZ_CHECK(std::strlen(code) == 6);
  return (static_cast<Desk*>(ud)->settings >> 4) & 1;
}

int on_offer(void* ud, const OfferInfo* info) {
  FUZZ_CHECK(info->kind >= kOfferKindFiles && info->kind <= kOfferKindLink);
  FUZZ_CHECK(std::strchr(info->first_name, '/') == nullptr);
  return (static_cast<Desk*>(ud)->settings >> 5) & 1;
}

void on_files(void* ud, const char*, int count, uint64_t, const char* const* paths) {
  const std::string& inbox = static_cast<Desk*>(ud)->inbox;
  if (verbose()) std::fprintf(stderr, "agent: %d file(s) received\n", count);
  for (int i = 0; i < count; i++) {
    FUZZ_CHECK(std::string(paths[i]).compare(0, inbox.size() + 1, inbox + "/") == 0);
    FUZZ_CHECK(std::filesystem::is_regular_file(paths[i]));
  }
}

void on_text(void*, const char*, int kind, const char* text) {
  FUZZ_CHECK(kind == kOfferKindText || kind == kOfferKindLink);
  FUZZ_CHECK(std::strlen(text) <= kChannelMaxBody);
  if (verbose()) std::fprintf(stderr, "agent: text received: %s\n", text);
}

void on_log(void*, const char* line) {
  if (verbose()) std::fprintf(stderr, "agent: %s\n", line);
}

bool g_fat = false;
int fat_answer(const char*) { return g_fat ? 1 : 0; }

bool ends_with(const std::string& s, const char* tail) {
  size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Nothing outside the inbox (its two parents excepted, which the agent creates), and no item
// without bytes left as a partial file with its metadata.
void check_tree(const std::string& root, const std::string& inbox, const char* peer_id) {
  const std::string parent = root + "/in box";
  for (const std::string& p : tree_paths(root)) {
    FUZZ_CHECK(p == parent || p == inbox || p.compare(0, inbox.size() + 1, inbox + "/") == 0);
    if (!ends_with(p, ".flpart") || !std::filesystem::is_regular_file(p) ||
        !scratch_read(p).empty())
      continue;
    std::string meta = p.substr(0, p.size() - 7) + ".flmeta";
    std::vector<unsigned char> m = scratch_read(meta);
    std::string text(m.begin(), m.end());
    FUZZ_CHECK(text.compare(0, 17, std::string(peer_id) + "|") != 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  scratch_clear();
  Script script(data, size);
  Desk desk;
  desk.settings = script.in.u8();
  uint8_t more = script.in.u8();
  uint8_t version = script.in.u8();
  uint8_t features = script.in.u8();
  const std::string root = scratch_root();
  desk.inbox = root + "/in box/inbox";

  SessionConfig config;
  session_config_init(&config);
  std::memcpy(config.static_private_key, kAgentStatic, 32);
  session_config_set_device_name(&config, "fuzz agent");
  std::snprintf(config.inbox_dir, sizeof config.inbox_dir, "%s", desk.inbox.c_str());
  config.trust_store = trust_store_open(nullptr);
  uint8_t phone_public[32];
  x25519_base(phone_public, kPhoneStatic);
  if (desk.settings & 1) trust_store_put(config.trust_store, phone_public, "phone", (desk.settings >> 1) & 1);
  int window = (desk.settings >> 3) & 1;
  config.pairing_window = &window;
  config.open_mode = (desk.settings >> 2) & 1;
  config.auto_accept_trusted = more & 1;
  config.allowance = (desk.settings & 0x80) ? allowance_new() : nullptr;
  config.allowance_ms = 600000;
  const uint64_t space[] = {kFreeSpaceAsk, 1000, uint64_t(1) << 40, 0};
  config.free_space_override = space[(more >> 1) & 3];
  config.user_data = &desk;
  config.events.on_pairing_prompt = on_pairing;
  config.events.on_offer_prompt = on_offer;
  config.events.on_files_received = on_files;
  config.events.on_text_received = on_text;
  config.events.on_log = on_log;
  g_fat = (desk.settings >> 6) & 1;
  receive_session_set_fat_test(fat_answer);

  script.hello_payload = phone_payload("fuzz phone", version, features);
  Bytes m1 = script.phone.hello(kPhoneEphemeral, {});
  script.stream.queue_frame(m1.data(), m1.size());
  script.stream.refill = [&]() { return script.next(); };

  receive_session_run(&config, &script.stream.ops);
  script.read_agent();
  FUZZ_CHECK(script.stream.close_calls == 1);
  char peer_id[17];
  device_id_from_public_key(phone_public, peer_id);
  check_tree(root, desk.inbox, peer_id);

  allowance_free(config.allowance);
  trust_store_close(config.trust_store);
  return 0;
}
