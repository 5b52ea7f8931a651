// A receiving agent made of the receive subsystem alone, for the fault tests that need the
// session settings the shell does not expose: a pretended free space (so an offer that does
// not fit the disk is let in) and a shorter idle time-out. It accepts every pairing and
// offer like the agent's unattended mode and writes the sessions' log lines to a file.
//
//   fault_agent --data-dir D --inbox I [--free-space BYTES] [--idle-ms MS] [--port P]
//
// Prints "listening on port N" once it serves; SIGINT or SIGTERM stop it.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/fs.h"
#include "platform/net.h"
#include "platform/sync.h"
#include "recv/allowance.h"
#include "recv/listener.h"
#include "recv/session_config.h"
#include "trust/identity.h"
#include "trust/trust_store.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void on_signal(int) { g_stop = 1; }

std::mutex g_log_lock;
FILE* g_log = nullptr;

void log_line(void*, const char* line) {
  std::lock_guard<std::mutex> hold(g_log_lock);
  fprintf(g_log, "%s\n", line);
  fflush(g_log);
}

int accept_pairing(void*, const char* code, const char* peer, const char*) {
  char line[200];
  snprintf(line, sizeof line, "pairing code=%s peer=%s", code, peer);
  log_line(nullptr, line);
  return 1;
}

int accept_offer(void*, const OfferInfo* offer) {
  char line[200];
  snprintf(line, sizeof line, "offer from=%s count=%d total=%llu", offer->peer_name,
           offer->count, static_cast<unsigned long long>(offer->total_bytes));
  log_line(nullptr, line);
  return 1;
}

void files_received(void*, const char* peer, int count, uint64_t, const char* const*) {
  char line[200];
  snprintf(line, sizeof line, "received from=%s files=%d", peer, count);
  log_line(nullptr, line);
}

}  // namespace

int main(int argc, char** argv) {
  std::string data_dir, inbox;
  uint64_t free_space = kFreeSpaceAsk;
  int idle_ms = 0, port = kListenerBasePort;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--data-dir") data_dir = argv[i + 1];
    else if (a == "--inbox") inbox = argv[i + 1];
    else if (a == "--free-space") free_space = strtoull(argv[i + 1], nullptr, 10);
    else if (a == "--idle-ms") idle_ms = atoi(argv[i + 1]);
    else if (a == "--port") port = atoi(argv[i + 1]);
  }
  if (data_dir.empty() || inbox.empty()) {
    fprintf(stderr, "usage: fault_agent --data-dir D --inbox I [--free-space B] [--idle-ms MS]\n");
    return 2;
  }
  fs_make_dirs(data_dir.c_str());
  g_log = fopen((data_dir + "/log.txt").c_str(), "a");
  if (!g_log) return 1;

  SessionConfig config;
  session_config_init(&config);
  uint8_t public_key[32];
  if (identity_load_or_create((data_dir + "/identity.key").c_str(), config.static_private_key,
                              public_key) != 0)
    return 1;
  TrustStore* trust = trust_store_open((data_dir + "/trust.txt").c_str());
  Allowance* allowance = allowance_new();
  session_config_set_device_name(&config, "fault-agent");
  snprintf(config.inbox_dir, sizeof config.inbox_dir, "%s", inbox.c_str());
  config.trust_store = trust;
  config.auto_accept_trusted = 0;
  config.open_mode = 1;
  config.allowance = allowance;
  config.allowance_ms = 600000;
  config.free_space_override = free_space;
  config.idle_timeout_ms = idle_ms;
  config.events.on_pairing_prompt = accept_pairing;
  config.events.on_offer_prompt = accept_offer;
  config.events.on_files_received = files_received;
  config.events.on_log = log_line;

  signal(SIGINT, on_signal);
  signal(SIGTERM, on_signal);
  int bound = 0;
  Listener* listener = net_startup() == 0 ? listener_start(&config, port, &bound) : nullptr;
  if (!listener) {
    fprintf(stderr, "fault_agent: cannot listen\n");
    return 1;
  }
  printf("listening on port %d\n", bound);
  fflush(stdout);
  while (!g_stop) sleep_ms(50);
  // Sessions run on detached workers: give running ones a moment, and free the tables they
  // use only when none is left.
  for (int i = 0; i < 100 && listener_connections(listener) > 0; ++i) sleep_ms(50);
  const bool idle = listener_connections(listener) == 0;
  listener_stop(listener);
  if (idle) {
    allowance_free(allowance);
    trust_store_close(trust);
    fclose(g_log);
  }
  return 0;
}
