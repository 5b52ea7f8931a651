// Connections per second against a running agent: each connection does the whole opening a
// phone does (TCP connect, Noise handshake, version and trust-state exchange), then says
// goodbye and closes. The sender's identity must already be paired with the agent, so no
// connection stops for a pairing prompt.
//
//   handshake_client PORT SENDER_DATA_DIR CONNECTIONS [CLIENT_THREADS]
//
// Prints one line of key=value pairs: completed and failed connections, seconds, completed
// handshakes per second and the client's CPU seconds. A connection can fail when the agent is
// still winding down earlier ones and turns a new one away; those are counted, not retried.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "client_stream.h"
#include "sender.h"
#include "trust/identity.h"
#include "trust/trust_store.h"

namespace {

constexpr uint32_t kLoopback = 0x7f000001;

struct Shared {
  SenderConfig config{};
  uint16_t port = 0;
  std::atomic<int> left{0};
  std::atomic<int> done{0};
  std::atomic<int> failures{0};
};

// Opens and closes connections until the shared count runs out.
void connect_loop(Shared* sh) {
  while (sh->left.fetch_sub(1) > 0) {
    StreamOps* io = nullptr;
    if (client_stream_connect(kLoopback, sh->port, 5000, &io) != CONNECT_OK) {
      sh->failures++;
      continue;
    }
    Sender s;
    int rc = sender_open(&s, io, &sh->config);
    if (rc != SEND_OK) {
      sh->failures++;
      continue;  // sender_open has closed it
    }
    if (s.paired) sh->failures++;  // not what is measured: the identity should be known
    else sh->done++;
    sender_close(&s);
  }
}

double cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: handshake_client PORT SENDER_DATA_DIR CONNECTIONS [THREADS]\n");
    return 2;
  }
  Shared sh;
  sh.port = uint16_t(atoi(argv[1]));
  const std::string dir = argv[2];
  const int total = atoi(argv[3]);
  const int threads = argc > 4 ? atoi(argv[4]) : 1;
  uint8_t public_key[32];
  if (identity_load_or_create((dir + "/identity.key").c_str(), sh.config.private_key,
                              public_key) != 0) {
    fprintf(stderr, "handshake_client: no identity in %s\n", dir.c_str());
    return 1;
  }
  TrustStore* agents = trust_store_open((dir + "/trust.txt").c_str());
  snprintf(sh.config.name, sizeof sh.config.name, "handshake bench");
  sh.config.agents = agents;
  sh.config.features = kSenderFeatures;
  sh.config.version = 1;
  sh.left = total;

  const double cpu0 = cpu_seconds();
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<std::thread> pool;
  for (int i = 0; i < threads; i++) pool.emplace_back(connect_loop, &sh);
  for (std::thread& t : pool) t.join();
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = cpu_seconds() - cpu0;
  trust_store_close(agents);

  if (sh.done == 0) {
    fprintf(stderr, "handshake_client: no connection completed its handshake\n");
    return 1;
  }
  printf("ok=%d failed=%d seconds=%.3f rate=%.0f client_cpu=%.3f\n", sh.done.load(),
         sh.failures.load(), secs, sh.done / secs, cpu);
  return 0;
}
