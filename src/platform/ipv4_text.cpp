// Dotted-quad text for IPv4 addresses, written without the platform's resolver so both
// builds give the same answers.
#include <cstdio>

#include "platform/net.h"

void ipv4_to_text(uint32_t ip, char out[16]) {
  std::snprintf(out, 16, "%u.%u.%u.%u", (ip >> 24) & 0xFFu, (ip >> 16) & 0xFFu,
                (ip >> 8) & 0xFFu, ip & 0xFFu);
}

int ipv4_from_text(const char* text, uint32_t* ip) {
  if (!text) return -1;
  uint32_t value = 0;
  const char* p = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (*p != '.') return -1;
      ++p;
    }
    int digits = 0;
    uint32_t octet = 0;
    while (*p >= '0' && *p <= '9' && digits < 4) {
      octet = octet * 10 + static_cast<uint32_t>(*p - '0');
      ++p;
      ++digits;
    }
    if (digits == 0 || digits > 3 || octet > 255) return -1;
    value = (value << 8) | octet;
  }
  if (*p != '\0') return -1;
  if (ip) *ip = value;
  return 0;
}
