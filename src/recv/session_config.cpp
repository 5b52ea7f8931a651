#include "recv/session_config.h"

#include <cstring>

int session_config_init(SessionConfig* config) {
  std::memset(config, 0, sizeof *config);
  config->auto_accept_trusted = 1;
  config->free_space_override = kFreeSpaceAsk;
  return 0;
}

// A cut never splits a UTF-8 sequence: the name travels to the phone as UTF-8, and a
// dangling lead byte would make the whole name unreadable there.
void session_config_set_device_name(SessionConfig* config, const char* name) {
  const size_t cap = sizeof config->device_name - 1;
  size_t len = name ? std::strlen(name) : 0;
  if (len > cap) {
    len = cap;
    // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
    size_t start = len;
    while (start > 0 && (static_cast<unsigned char>(name[start]) & 0xC0) == 0x80) --start;
    len = start;
  }
  if (len) std::memcpy(config->device_name, name, len);
  config->device_name[len] = '\0';
}

int session_config_pairing_timeout(const SessionConfig* config) {
  return config->pairing_timeout_ms > 0 ? config->pairing_timeout_ms : kDefaultPairingTimeoutMs;
}

int session_config_idle_timeout(const SessionConfig* config) {
  return config->idle_timeout_ms > 0 ? config->idle_timeout_ms : kDefaultIdleTimeoutMs;
}
