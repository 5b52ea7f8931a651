#include "support/phone.h"

#include <cstring>

#include "channel/channel.h"
#include "support/fixed_keys.h"

std::vector<uint8_t> Phone::hello(const uint8_t ephemeral[32], const std::vector<uint8_t>& payload) {
  handshake_init(&hs, 1, kPhoneStatic, reinterpret_cast<const uint8_t*>(kHandshakePrologue),
                 sizeof kHandshakePrologue - 1, ephemeral);
  uint8_t msg[kHandshakeMaxMessage];
  size_t len = 0;
  if (handshake_write_message(&hs, payload.data(), payload.size(), msg, &len) != 0) return {};
  return std::vector<uint8_t>(msg, msg + len);
}

std::vector<uint8_t> Phone::answer(MemStream* s, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> m2;
  if (!s->take_sent_frame(&m2)) return {};
  uint8_t agent_payload[kHandshakeMaxMessage];
  size_t agent_payload_len = 0;
  if (handshake_read_message(&hs, m2.data(), m2.size(), agent_payload, &agent_payload_len) != 0)
    return {};
  uint8_t msg[kHandshakeMaxMessage];
  size_t len = 0;
  if (handshake_write_message(&hs, payload.data(), payload.size(), msg, &len) != 0) return {};
  if (handshake_split(&hs, &send, &recv) != 0) return {};
  return std::vector<uint8_t>(msg, msg + len);
}

std::vector<uint8_t> Phone::seal(const std::vector<uint8_t>& plaintext) {
  std::vector<uint8_t> body(plaintext.size() + 16);
  int n = cipher_encrypt(&send, nullptr, 0, plaintext.data(), plaintext.size(), body.data());
  if (n < 0) return {};
  if (++sent_count % kRekeyInterval == 0) cipher_rekey(&send);
  return body;
}

bool Phone::open(const std::vector<uint8_t>& body, std::vector<uint8_t>* plaintext) {
  plaintext->resize(body.size());
  int n = cipher_decrypt(&recv, nullptr, 0, body.data(), body.size(), plaintext->data());
  if (n < 0) return false;
  plaintext->resize(size_t(n));
  if (++recv_count % kRekeyInterval == 0) cipher_rekey(&recv);
  return true;
}

std::vector<uint8_t> phone_payload(const char* name, uint8_t version, uint32_t features) {
  HandshakePayload p{};
  std::strncpy(p.name, name, sizeof p.name - 1);
  p.kind = 2;
  p.version = version;
  p.features = features;
  uint8_t out[kPayloadMaxEncoded];
  size_t len = payload_encode(&p, out);
  return std::vector<uint8_t>(out, out + len);
}

HandshakePayload fuzz_agent_payload() {
  HandshakePayload p{};
  std::strcpy(p.name, "fuzz agent");
  p.kind = 1;
  p.version = 1;
  p.features = 0x0F;
  return p;
}
