// The handshake payload a peer sends about itself: any bytes must decode into a terminated
// name of at most 63 bytes, and exactly the bodies that hold the name and the six bytes
// after it succeed, with the fields taken from their places.

#include <cstring>

#include "channel/handshake.h"
#include "support/check.h"

static uint32_t be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HandshakePayload p;
  std::memset(&p, 0xA5, sizeof p);  // stale bytes must not survive into the result
  int rc = payload_decode(data, size, &p);

  FUZZ_CHECK(std::memchr(p.name, 0, sizeof p.name) != nullptr);
  bool complete = size >= 1 && size - 1 >= size_t(data[0]) + 6;
  FUZZ_CHECK((rc == 0) == complete);
  if (rc != 0) return 0;

  size_t n = data[0];
  size_t kept = n < 63 ? n : 63;
  FUZZ_CHECK(std::memcmp(p.name, data + 1, kept) == 0);
  FUZZ_CHECK(p.name[kept] == '\0');
  FUZZ_CHECK(p.kind == data[1 + n]);
  FUZZ_CHECK(p.version == data[2 + n]);
  FUZZ_CHECK(p.features == be32(data + 3 + n));

  // What we encode from a decoded payload decodes to the same fields (the name may only
  // lose a character that the 63-byte cut had split).
  uint8_t again[kPayloadMaxEncoded];
  size_t len = payload_encode(&p, again);
  HandshakePayload q;
  FUZZ_CHECK(payload_decode(again, len, &q) == 0);
  FUZZ_CHECK(q.kind == p.kind && q.version == p.version && q.features == p.features);
  FUZZ_CHECK(std::strncmp(q.name, p.name, std::strlen(q.name)) == 0);
  return 0;
}
