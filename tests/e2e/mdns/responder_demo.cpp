// Runs the mDNS responder with a fixed description, for the namespace tests.
//   mdns_responder_demo --name NAME --id DEVICE_ID --port PORT
//                       [--log-delay-ms N] [--linger-ms N]
// Prints "LOG <line>" for each responder log line, "READY" once started ("LOG mdns failed to
// start" and exit 3 when not). Reads commands on standard input: "port N" pushes a new
// description with that port ("UPDATED"); "quit", end of input or SIGTERM stop the
// responder ("STOPPED", exit 0).
// --log-delay-ms stalls the log callback after each line, as a log writer stuck on its disk
// would; --linger-ms keeps the process alive after the stop, so that a responder thread that
// outlived the stop can finish (and be caught if it touches freed memory).
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mdns/mdns_responder.h"
#include "mdns/service_description.h"

namespace {

volatile sig_atomic_t g_terminate = 0;
int g_log_delay_ms = 0;

void on_term(int) { g_terminate = 1; }

void print_log(const char* line) {
  printf("LOG %s\n", line);
  fflush(stdout);
  if (g_log_delay_ms > 0) usleep(useconds_t(g_log_delay_ms) * 1000);
}

struct Options {
  std::string name, id;
  int port = 47650;
  int linger_ms = 0;
};

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i];
    if (key == "--name") o.name = argv[i + 1];
    else if (key == "--id") o.id = argv[i + 1];
    else if (key == "--port") o.port = atoi(argv[i + 1]);
    else if (key == "--log-delay-ms") g_log_delay_ms = atoi(argv[i + 1]);
    else if (key == "--linger-ms") o.linger_ms = atoi(argv[i + 1]);
    else return false;
  }
  return argc % 2 == 1 && o.port > 0 && o.port < 65536;
}

// One line from standard input within 100 ms: 1 a line, 0 nothing yet, -1 end of input.
int read_command(std::string& pending, std::string& line) {
  pollfd p{0, POLLIN, 0};
  if (poll(&p, 1, 100) <= 0) return 0;
  char buf[256];
  ssize_t n = read(0, buf, sizeof buf);
  if (n <= 0) return -1;
  pending.append(buf, size_t(n));
  size_t nl = pending.find('\n');
  if (nl == std::string::npos) return 0;
  line = pending.substr(0, nl);
  pending.erase(0, nl + 1);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    fprintf(stderr, "usage: %s --name NAME --id DEVICE_ID --port PORT\n", argv[0]);
    return 2;
  }
  signal(SIGTERM, on_term);
  signal(SIGPIPE, SIG_IGN);
  ServiceDescription d;
  build_service_description(&d, o.name.c_str(), o.id.c_str(), uint16_t(o.port));
  MdnsResponder* r = mdns_start(&d, print_log);
  if (!r) {
    print_log("mdns failed to start");
    return 3;
  }
  printf("READY\n");
  fflush(stdout);
  std::string pending, line;
  while (!g_terminate) {
    int got = read_command(pending, line);
    if (got < 0 || (got == 1 && line == "quit")) break;
    if (got == 1 && line.rfind("port ", 0) == 0) {
      build_service_description(&d, o.name.c_str(), o.id.c_str(), uint16_t(atoi(line.c_str() + 5)));
      mdns_update(r, &d);
      printf("UPDATED\n");
      fflush(stdout);
    }
  }
  mdns_stop(r);
  printf("STOPPED\n");
  fflush(stdout);
  if (o.linger_ms > 0) {
    usleep(useconds_t(o.linger_ms) * 1000);
    printf("EXIT\n");
    fflush(stdout);
  }
  return 0;
}
