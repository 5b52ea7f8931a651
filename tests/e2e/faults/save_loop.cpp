// Saves the agent's own files over and over with the product's save functions, so that a test
// can kill the process at any moment of a save; and checks afterwards that what is on disk is
// one whole version of the file, never a torn or truncated one.
//
//   save_loop run trust|settings|identity DIR   prints "ready" once the file exists, then
//                                               saves until killed
//   save_loop check trust|settings|identity DIR exit 0 when the file is whole, else 1 with
//                                               the reason on stderr
//
// Every version the loop writes differs in length from the one before, so a write that was
// cut short, or a mixture of two versions, cannot look like a whole file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/settings.h"
#include "crypto/sha256.h"
#include "platform/fs.h"
#include "trust/hex.h"
#include "trust/identity.h"
#include "trust/trust_store.h"

namespace {

constexpr int kPeers = 40;
// What the identity loop writes (atomically) before each new key is made.
constexpr char kSpoiled[] = "spoiled";

void peer_key(int i, uint8_t key[32]) {
  uint8_t seed[4] = {uint8_t(i), uint8_t(i >> 8), 0x5a, 0xa5};
  sha256(seed, sizeof seed, key);
}

std::string peer_name(int i, unsigned round) {
  // 1 to 40 characters, changing with every round.
  return "phone-" + std::to_string(i) + std::string((round + unsigned(i)) % 34, 'x');
}

std::string path_of(const std::string& dir, const std::string& kind) {
  if (kind == "trust") return dir + "/trust.txt";
  if (kind == "settings") return dir + "/config.ini";
  return dir + "/identity.key";
}

void ready() {
  printf("ready\n");
  fflush(stdout);
}

[[noreturn]] void run_trust(const std::string& path) {
  TrustStore* store = trust_store_open(path.c_str());
  for (int i = 0; i < kPeers; ++i) {
    uint8_t key[32];
    peer_key(i, key);
    trust_store_put(store, key, peer_name(i, 0).c_str(), 1);
  }
  ready();
  for (unsigned round = 1;; ++round) {
    uint8_t key[32];
    int i = int(round % kPeers);
    peer_key(i, key);
    trust_store_put(store, key, peer_name(i, round).c_str(), 1);
  }
}

void fill_settings(AgentSettings* s, unsigned round) {
  memset(s, 0, sizeof *s);
  snprintf(s->device_name, sizeof s->device_name, "PC %u", round);
  std::string inbox = "/srv/inbox/" + std::string(round % 700, 'd');
  snprintf(s->inbox_dir, sizeof s->inbox_dir, "%s", inbox.c_str());
  s->auto_accept = 1;
  s->lang = int(round % 12) - 1;
  s->first_run_done = 1;
  s->intro_shown = int(round & 1);
}

[[noreturn]] void run_settings(const std::string& path) {
  AgentSettings s;
  fill_settings(&s, 0);
  settings_save(path.c_str(), &s);
  ready();
  for (unsigned round = 1;; ++round) {
    fill_settings(&s, round);
    settings_save(path.c_str(), &s);
  }
}

[[noreturn]] void run_identity(const std::string& path) {
  uint8_t priv[32], pub[32];
  identity_load_or_create(path.c_str(), priv, pub);
  ready();
  for (;;) {
    // A spoiled file makes the loader write a new key: the save under test.
    fs_write_atomic_private(path.c_str(), kSpoiled, sizeof kSpoiled - 1);
    identity_load_or_create(path.c_str(), priv, pub);
  }
}

int bad(const char* why) {
  fprintf(stderr, "save_loop: %s\n", why);
  return 1;
}

int check_trust(const std::string& path, const std::string& text) {
  // Every line whole: 64 hex digits, flag 1, a time, a name of this loop's shape.
  size_t pos = 0, lines = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) return bad("trust.txt: last line without its line feed");
    std::string line = text.substr(pos, end - pos);
    char hexkey[65] = {}, name[80] = {};
    unsigned long long added = 0;
    int flag = 0;
    if (sscanf(line.c_str(), "%64[0-9a-f]\t%d\t%llu\t%79[^\n]", hexkey, &flag, &added, name) != 4 ||
        strlen(hexkey) != 64 || flag != 1 || strncmp(name, "phone-", 6) != 0)
      return bad(("trust.txt: torn line: " + line).c_str());
    ++lines;
    pos = end + 1;
  }
  if (lines != kPeers) return bad("trust.txt: records lost");
  TrustStore* store = trust_store_open(path.c_str());
  int count = trust_store_count(store);
  bool all = count == kPeers;
  for (int i = 0; all && i < kPeers; ++i) {
    uint8_t key[32];
    peer_key(i, key);
    all = trust_store_contains(store, key);
  }
  trust_store_close(store);
  return all ? 0 : bad("trust.txt: the store does not load every peer");
}

int check_settings(const std::string& path, const std::string& text) {
  AgentSettings s;
  if (settings_load(path.c_str(), &s) != 0) return bad("config.ini: cannot be read");
  // The round number in the device name decides every other field.
  unsigned round = 0;
  if (sscanf(s.device_name, "PC %u", &round) != 1) return bad("config.ini: device name lost");
  AgentSettings want;
  fill_settings(&want, round);
  char expect[2400];
  snprintf(expect, sizeof expect,
           "# ferrylink settings\ndevice_name=%s\ninbox_dir=%s\nauto_accept=%d\nlang=%d\n"
           "first_run_done=%d\nintro_shown=%d\n",
           want.device_name, want.inbox_dir, want.auto_accept, want.lang, want.first_run_done,
           want.intro_shown);
  return text == expect ? 0 : bad("config.ini: not one whole version of the file");
}

int check_identity(const std::string& path, const std::string& text) {
  if (text == kSpoiled) return 0;  // the loop's own whole write, made before the next key
  if (text.size() != 65 || text[64] != '\n') return bad("identity.key: not 65 bytes ending in LF");
  uint8_t key[32];
  if (hex_decode(text.c_str(), key, 32) != 0) return bad("identity.key: not hex");
  for (char c : text.substr(0, 64))
    if (c >= 'A' && c <= 'F') return bad("identity.key: upper case");
  uint8_t priv[32], pub[32];
  identity_load_or_create(path.c_str(), priv, pub);
  return memcmp(priv, key, 32) == 0 ? 0 : bad("identity.key: the loader replaced it");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: save_loop run|check trust|settings|identity DIR\n");
    return 2;
  }
  const std::string mode = argv[1], kind = argv[2], path = path_of(argv[3], kind);
  if (kind != "trust" && kind != "settings" && kind != "identity") return 2;
  if (mode == "run") {
    if (kind == "trust") run_trust(path);
    if (kind == "settings") run_settings(path);
    run_identity(path);
  }
  size_t len = 0;
  char* raw = fs_read_whole_file(path.c_str(), 1 << 20, &len);
  if (!raw) return bad("the file is missing");
  const std::string text(raw, len);
  free(raw);
  if (kind == "trust") return check_trust(path, text);
  if (kind == "settings") return check_settings(path, text);
  return check_identity(path, text);
}
