#pragma once
// The address rule both interface lists share. Internal to the platform layer.
#include <cstdint>

// False for 0.0.0.0, 127.0.0.0/8 and 169.254.0.0/16 (host byte order): addresses a phone
// on the network cannot reach the agent at.
inline bool ipv4_is_usable(uint32_t ip) {
  return ip != 0 && (ip >> 24) != 127 && (ip >> 16) != 0xA9FEu;
}
