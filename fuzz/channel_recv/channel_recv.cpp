// channel_recv over a scripted byte stream. The target holds the sending half of the
// channel's receive key, so it can seal messages that authenticate, and mixes them with
// forged frames, damaged frames and loose bytes. Every delivered message must be exactly the
// one the target sealed under the nonce the channel just used.
//
// Input: u8 capacity kind, u16 capacity value, u8 start (bits 0-1: frames left before the
// rekey point; bit 2: the nonce starts just below exhaustion; bit 3: the stream times out at
// its end instead of closing), then operations until the input ends:
//   0 seal: u8 type, u8 flags, blob body          1 seal any plaintext: blob
//   2 forged frame: blob body                      3 loose bytes: blob
//   4 seal, then damage: u8 type, u8 flags, blob body, u16 position, u8 xor
//   5 seal a large message: u8 type, u8 flags, u16 length, u8 fill byte

#include <cstring>
#include <map>

#include "channel/channel.h"
#include "channel/messages.h"
#include "support/check.h"
#include "support/mem_stream.h"
#include "support/phone.h"
#include "support/script.h"

namespace {

constexpr uint8_t kKey[32] = {0x6b, 0x65, 0x79, 0x20, 0x6b, 0x6e, 0x6f, 0x77, 0x6e, 0x20, 0x74,
                              0x6f, 0x20, 0x74, 0x68, 0x65, 0x20, 0x74, 0x61, 0x72, 0x67, 0x65,
                              0x74, 0x20, 0x6f, 0x6e, 0x6c, 0x79, 0x2e, 0x2e, 0x2e, 0x21};

// The peer's sending half, remembering what it sealed under each nonce.
struct Sender {
  Phone phone;
  std::map<uint64_t, std::vector<uint8_t>> by_nonce;

  std::vector<uint8_t> seal(const std::vector<uint8_t>& plaintext) {
    uint64_t nonce = phone.send.n;
    std::vector<uint8_t> body = phone.seal(plaintext);
    if (!body.empty()) by_nonce[nonce] = plaintext;
    return body;
  }
};

size_t capacity(uint8_t kind, uint16_t value) {
  switch (kind % 4) {
    case 0: return 65583;
    case 1: return kChannelMaxPlaintext;
    case 2: return value;
    default: return value % 64;
  }
}

std::vector<uint8_t> message(uint8_t type, uint8_t flags, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> m{type, flags};
  m.insert(m.end(), body.begin(), body.end());
  return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptReader in(data, size);
  uint8_t cap_kind = in.u8();
  size_t cap = capacity(cap_kind, in.u16());
  uint8_t start = in.u8();

  SecureChannel ch{};
  MemStream s;
  s.end_result = (start & 8) ? -2 : -3;
  ch.io = &s.ops;
  ch.established = 1;
  cipher_init_key(&ch.recv, kKey);
  Sender peer;
  cipher_init_key(&peer.phone.send, kKey);
  ch.recv_count = peer.phone.sent_count = kRekeyInterval - 1 - (start & 3);
  if (start & 4) ch.recv.n = peer.phone.send.n = UINT64_MAX - 1 - (start & 3);

  while (!in.done()) {
    switch (in.u8() % 6) {
      case 0: {
        uint8_t type = in.u8(), flags = in.u8();
        std::vector<uint8_t> f = peer.seal(message(type, flags, in.blob(kChannelMaxBody)));
        s.queue_frame(f.data(), f.size());
        break;
      }
      case 1: {
        std::vector<uint8_t> f = peer.seal(in.blob(kChannelMaxPlaintext));
        s.queue_frame(f.data(), f.size());
        break;
      }
      case 2: {
        std::vector<uint8_t> f = in.blob(65535);
        s.queue_frame(f.data(), f.size());
        break;
      }
      case 3: {
        std::vector<uint8_t> b = in.blob(65535);
        s.queue(b.data(), b.size());
        break;
      }
      case 4: {
        uint8_t type = in.u8(), flags = in.u8();
        std::vector<uint8_t> f = peer.seal(message(type, flags, in.blob(kChannelMaxBody)));
        uint16_t at = in.u16();
        uint8_t x = in.u8() | 1;
        if (!f.empty()) f[at % f.size()] ^= x;
        s.queue_frame(f.data(), f.size());
        break;
      }
      default: {
        uint8_t type = in.u8(), flags = in.u8();
        size_t len = in.u16() % (kChannelMaxBody + 1);
        std::vector<uint8_t> body(len, in.u8());
        std::vector<uint8_t> f = peer.seal(message(type, flags, body));
        s.queue_frame(f.data(), f.size());
        break;
      }
    }
  }

  std::vector<uint8_t> out(cap + 1);
  for (int calls = 0; calls < 10000; calls++) {
    out[cap] = 0x5a;  // a guard byte just past the capacity
    int rc = channel_recv(&ch, out.data(), cap, 0);
    FUZZ_CHECK(out[cap] == 0x5a);
    if (rc == -2 || rc == -3) break;
    FUZZ_CHECK(rc == -4 || rc == -5 || rc >= 2);
    if (rc < 0) continue;
    FUZZ_CHECK(size_t(rc) <= cap);
    FUZZ_CHECK(msg_type_delivered(out[0]));
    // The message opened last was sealed under the nonce before the current one.
    auto sealed = peer.by_nonce.find(ch.recv.n - 1);
    FUZZ_CHECK(sealed != peer.by_nonce.end());
    FUZZ_CHECK(sealed->second.size() == size_t(rc));
    FUZZ_CHECK(std::memcmp(sealed->second.data(), out.data(), size_t(rc)) == 0);
  }
  return 0;
}
