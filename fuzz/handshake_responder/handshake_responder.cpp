// The agent's side of the Noise XX handshake, fed with messages 1 and 3.
//
// Input, first byte even: the raw byte stream the responder reads (frames and all); a
// recorded conversation with the fixed keys replays in full.
// First byte odd: the target plays the phone with its own handshake state, so the fuzzer
// chooses the clear payload of message 1 and the sealed payload of message 3, and may then
// damage the messages:
//   u8 flags (bit 0: a 32-byte phone ephemeral key follows; bit 1: the stream times out at
//   its end instead of closing), [32 bytes], blob message-1 payload, blob message-3 payload,
//   u8 damage kind, u16 damage position, u8 damage value, blob appended bytes, then the rest
//   of the input follows message 3 on the wire.

#include <cstring>

#include "channel/handshake.h"
#include "support/check.h"
#include "support/fixed_keys.h"
#include "support/mem_stream.h"
#include "support/phone.h"
#include "support/script.h"

namespace {

enum Damage { NONE, FLIP3, TRUNCATE3, APPEND3, FLIP1, LENGTH3, kDamageKinds };

int run_responder(MemStream* s, SecureChannel* ch) {
  HandshakePayload own = fuzz_agent_payload();
  return handshake_run_timed(ch, &s->ops, kAgentStatic, &own, 0, kAgentEphemeral, 0);
}

void raw(ScriptReader& in) {
  MemStream s;
  std::vector<uint8_t> wire = in.rest();
  s.queue(wire.data(), wire.size());
  SecureChannel ch;
  int rc = run_responder(&s, &ch);
  FUZZ_CHECK(rc == 0 || (rc >= -5 && rc <= -2));
  FUZZ_CHECK((rc == 0) == (ch.established == 1));
}

void assisted(ScriptReader& in) {
  uint8_t flags = in.u8();
  uint8_t phone_e[32];
  std::memcpy(phone_e, kPhoneEphemeral, 32);
  if (flags & 1) {
    std::vector<uint8_t> e = in.bytes(32);
    if (!e.empty()) std::memcpy(phone_e, e.data(), e.size());
  }
  std::vector<uint8_t> payload1 = in.blob(kHandshakeMaxMessage - 32);
  std::vector<uint8_t> payload3 = in.blob(kHandshakeMaxMessage - 64);
  int damage = in.u8() % kDamageKinds;
  uint16_t at = in.u16();
  uint8_t value = in.u8();
  std::vector<uint8_t> appended = in.blob(kHandshakeMaxMessage);
  std::vector<uint8_t> trailing = in.rest();

  MemStream s;
  s.end_result = (flags & 2) ? -2 : -3;
  Phone phone;
  std::vector<uint8_t> m1 = phone.hello(phone_e, payload1);
  FUZZ_CHECK(!m1.empty());
  bool changed = false;  // whether a damage really altered what the agent receives
  if (damage == FLIP1 && value != 0) {
    m1[at % m1.size()] ^= value;
    changed = true;
  }
  s.queue_frame(m1.data(), m1.size());

  // Message 3 is made only once the agent's message 2 has been sent.
  bool answered = false;
  size_t len3 = 0;
  s.refill = [&]() {
    if (answered) return false;
    answered = true;
    std::vector<uint8_t> m3 = phone.answer(&s, payload3);
    if (m3.empty()) return false;
    len3 = m3.size();
    size_t frame_len = m3.size();
    switch (damage) {
      case FLIP3:
        if (value != 0) m3[at % m3.size()] ^= value, changed = true;
        break;
      case TRUNCATE3:
        if (at < m3.size()) m3.resize(at), changed = true;
        break;
      case APPEND3:
        if (!appended.empty()) m3.insert(m3.end(), appended.begin(), appended.end()), changed = true;
        break;
      case LENGTH3:
        if (at != m3.size()) frame_len = at, changed = true;
        break;
    }
    if (damage != LENGTH3) frame_len = m3.size();
    uint8_t hdr[2] = {uint8_t(frame_len >> 8), uint8_t(frame_len)};
    s.queue(hdr, 2);
    s.queue(m3.data(), m3.size());
    s.queue(trailing.data(), trailing.size());
    return true;
  };

  SecureChannel ch;
  int rc = run_responder(&s, &ch);
  FUZZ_CHECK((rc == 0) == (ch.established == 1));
  if (changed) {
    FUZZ_CHECK(rc != 0);
    size_t damaged_len = damage == TRUNCATE3 ? at : len3 + appended.size();
    if (damage == FLIP3 || damage == TRUNCATE3) FUZZ_CHECK(rc == -5);
    if (damage == APPEND3) FUZZ_CHECK(rc == (damaged_len > kHandshakeMaxMessage ? -4 : -5));
    return;
  }
  // An intact conversation succeeds exactly when the phone's payload decodes.
  HandshakePayload expected;
  bool decodes = payload_decode(payload3.data(), payload3.size(), &expected) == 0;
  FUZZ_CHECK(rc == (decodes ? 0 : -4));
  if (rc != 0) return;
  FUZZ_CHECK(std::memcmp(ch.remote_static, phone.hs.s_public, 32) == 0);
  FUZZ_CHECK(std::memcmp(ch.handshake_hash, phone.hs.h, 32) == 0);
  FUZZ_CHECK(std::memcmp(ch.recv.key, phone.send.key, 32) == 0);
  FUZZ_CHECK(std::memcmp(ch.send.key, phone.recv.key, 32) == 0);
  FUZZ_CHECK(ch.send.n == 0 && ch.recv.n == 0);
  FUZZ_CHECK(std::memcmp(ch.peer.name, expected.name, sizeof expected.name) == 0);
  FUZZ_CHECK(ch.peer.kind == expected.kind && ch.peer.version == expected.version);
  FUZZ_CHECK(ch.peer.features == expected.features);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptReader in(data, size);
  if (in.u8() % 2 == 0)
    raw(in);
  else
    assisted(in);
  return 0;
}
