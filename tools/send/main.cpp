// ferrylink-send: sends files, folders, a text or a link to a ferrylink agent on the local
// network, the way the phone app does: Noise handshake, pairing on first contact, offers,
// resumable verified transfers.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "channel/peer_text.h"
#include "client_stream.h"
#include "items.h"
#include "mdns_query.h"
#include "platform/fs.h"
#include "platform/net.h"
#include "platform/system.h"
#include "progress.h"
#include "recv/file_store.h"
#include "recv/session_config.h"
#include "sender.h"
#include "terminal.h"
#include "trust/identity.h"
#include "trust/trust_store.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

constexpr uint16_t kDefaultPort = 47650;
constexpr int kConnectTimeoutMs = 5000;
constexpr int kDiscoverMs = 2000;

const char kUsage[] =
    "usage: ferrylink-send --to HOST[:PORT] [options] FILE|FOLDER...\n"
    "       ferrylink-send --to HOST[:PORT] [options] --text TEXT\n"
    "       ferrylink-send --to HOST[:PORT] [options] --link URL\n"
    "       ferrylink-send --discover\n"
    "HOST is an IPv4 address, localhost, or the name an agent announces on the network.\n"
    "options:\n"
    "  --name NAME      the name the PC shows for this device (default: the computer's name)\n"
    "  --yes            confirm the pairing code without asking\n"
    "  --data-dir DIR   where this sender keeps its key and its paired PCs\n"
    "  --max-rate RATE  send at most RATE bytes per second (suffix K, M or G)\n"
    "  --from ADDRESS   connect from this local IPv4 address\n"
    "  --help           this text\n"
    "  --version        the version\n";

struct Options {
  std::string to, name, data_dir, text;
  int text_kind = 0;  // kOfferKindText or kOfferKindLink when a text is sent
  bool yes = false, discover = false;
  uint64_t max_rate = 0;
  uint32_t from = 0;  // local address to connect from; 0: the system's choice
  std::vector<std::string> paths;
};

int usage_error(const char* what) {
  fprintf(stderr, "ferrylink-send: %s\n%s", what, kUsage);
  return 2;
}

// 0 on success, else the exit status of a usage error.
int parse_options(const std::vector<std::string>& args, Options* o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) return false;
      *out = args[++i];
      return true;
    };
    bool ok = true;
    if (a == "--to") ok = value(&o->to);
    else if (a == "--name") ok = value(&o->name);
    else if (a == "--data-dir") ok = value(&o->data_dir);
    else if (a == "--text") { ok = value(&o->text); o->text_kind = kOfferKindText; }
    else if (a == "--link") { ok = value(&o->text); o->text_kind = kOfferKindLink; }
    else if (a == "--max-rate") {
      std::string rate;
      ok = value(&rate);
      if (ok && !parse_rate(rate.c_str(), &o->max_rate)) return usage_error("bad --max-rate");
    }
    else if (a == "--from") {
      std::string from;
      ok = value(&from);
      if (ok && ipv4_from_text(from.c_str(), &o->from) != 0) return usage_error("bad --from");
    }
    else if (a == "--yes") o->yes = true;
    else if (a == "--discover") o->discover = true;
    else if (a == "--help" || a == "-h") { fputs(kUsage, stdout); return -1; }
    else if (a == "--version") { printf("ferrylink-send %s\n", FL_VERSION_TEXT); return -1; }
    else if (a.size() > 1 && a[0] == '-' && a[1] == '-') return usage_error(("unknown option " + a).c_str());
    else o->paths.push_back(a);
    if (!ok) return usage_error(("missing value after " + a).c_str());
  }
  if (o->discover) return 0;
  if (o->to.empty()) return usage_error("--to is required");
  if (o->text_kind && !o->paths.empty()) return usage_error("send either files or a text");
  if (!o->text_kind && o->paths.empty()) return usage_error("nothing to send");
  return 0;
}

// What the network said (an agent's name, its error text, an announcement) as the terminal
// may show it: an agent cannot start a line or an escape sequence on this side either.
std::string shown(const char* text) {
  std::string out(3 * strlen(text) + 1, '\0');
  peer_text_for_display(text, out.data(), out.size());
  out.resize(strlen(out.c_str()));
  return out;
}

int discover() {
  DiscoveredAgent agents[kMaxDiscovered];
  int n = mdns_browse(kDiscoverMs, agents, kMaxDiscovered);
  if (n < 0) {
    fprintf(stderr, "ferrylink-send: cannot open a socket for discovery\n");
    return 1;
  }
  for (int i = 0; i < n; ++i) {
    char ip[16];
    ipv4_to_text(agents[i].ip, ip);
    printf("%s\t%s:%u\tid=%s\n", shown(agents[i].instance).c_str(), ip, agents[i].port,
           shown(agents[i].device_id).c_str());
  }
  if (n == 0) printf("no agents found\n");
  return 0;
}

// HOST[:PORT] as an address: dotted IPv4, localhost, or an announced agent name.
bool resolve(const std::string& to, uint32_t* ip, uint16_t* port) {
  std::string host = to;
  *port = kDefaultPort;
  size_t colon = to.rfind(':');
  bool has_port = colon != std::string::npos;
  if (has_port) {
    host = to.substr(0, colon);
    unsigned long p = strtoul(to.c_str() + colon + 1, nullptr, 10);
    if (p == 0 || p > 65535) return false;
    *port = uint16_t(p);
  }
  if (host == "localhost") host = "127.0.0.1";
  if (ipv4_from_text(host.c_str(), ip) == 0) return true;
  DiscoveredAgent a;
  if (mdns_lookup(host.c_str(), kDiscoverMs, &a) != 0 || a.ip == 0) return false;
  *ip = a.ip;
  if (!has_port) *port = a.port;
  return true;
}

std::string default_data_dir() {
  char base[1024];
  known_folder_utf8(FOLDER_APPDATA, base, sizeof base);
  return std::string(base) + "/ferrylink-send";
}

int confirm_pairing(void* ctx, const char* code, const char* agent_name, const char* agent_id) {
  const Options* o = static_cast<const Options*>(ctx);
  printf("Pairing with \"%s\" (device %s).\nCode: %s\n", shown(agent_name).c_str(), agent_id,
         code);
  printf("Same code on the PC? [y/N] ");
  if (o->yes) {
    printf("y (--yes)\n");
    fflush(stdout);
    return 1;
  }
  fflush(stdout);
  char line[64];
  if (!fgets(line, sizeof line, stdin)) {
    printf("\n");
    return 0;
  }
  return line[0] == 'y' || line[0] == 'Y';
}

int fail(const Sender* s, int status) {
  char text[1200];
  fprintf(stderr, "ferrylink-send: %s\n",
          shown(send_status_text(s, status, text, sizeof text)).c_str());
  return 1;
}

void print_summary(const ItemList& list) {
  int stored = 0;
  for (const SendItem& it : list.items) {
    char size[32], from[32];
    format_size(it.size, size, sizeof size);
    if (it.status == FILE_STORED) {
      ++stored;
      if (it.resumed_from > 0) {
        format_size(it.resumed_from, from, sizeof from);
        printf("stored    %s (%s, resumed at %s)\n", it.name, size, from);
      } else {
        printf("stored    %s (%s)\n", it.name, size);
      }
    } else if (it.local_error) {
      printf("FAILED    %s: could not read the local file\n", it.name);
    } else if (it.status == FILE_HASH_MISMATCH) {
      printf("FAILED    %s: checksum mismatch on the PC (send it again)\n", it.name);
    } else if (it.status == FILE_FAILED) {
      printf("FAILED    %s: the PC could not store it\n", it.name);
    } else {
      printf("not sent  %s\n", it.name);
    }
  }
  printf("%d of %d file(s) stored\n", stored, int(list.items.size()));
}

int send_files(Sender* s, const Options& o) {
  ItemList list;
  std::string error;
  if (!collect_items(o.paths, &list, &error)) {
    fprintf(stderr, "ferrylink-send: %s\n", error.c_str());
    return 1;
  }
  if (list.items.empty()) {
    fprintf(stderr, "ferrylink-send: no files to send\n");
    return 1;
  }
  ProgressView view;
  progress_init(&view, stderr, stderr_is_terminal());
  view.max_rate = o.max_rate;
  SendProgress progress{progress_report, &view};
  int rc = sender_send_files(s, list.items.data(), int(list.items.size()), &progress);
  progress_finish(&view);
  print_summary(list);
  if (rc != SEND_OK) return fail(s, rc);
  return 0;
}

int run(const std::vector<std::string>& args) {
  Options o;
  if (int rc = parse_options(args, &o)) return rc < 0 ? 0 : rc;
  if (o.discover) return discover();

  uint32_t ip;
  uint16_t port;
  if (!resolve(o.to, &ip, &port)) {
    fprintf(stderr, "ferrylink-send: cannot find %s (no such address, or no agent of that name "
                    "answered)\n", o.to.c_str());
    return 1;
  }
  if (o.data_dir.empty()) o.data_dir = default_data_dir();
  fs_make_private_dirs(o.data_dir.c_str());
  SenderConfig config{};
  uint8_t public_key[32];
  if (identity_load_or_create((o.data_dir + "/identity.key").c_str(), config.private_key,
                              public_key) != 0) {
    fprintf(stderr, "ferrylink-send: cannot create a key in %s\n", o.data_dir.c_str());
    return 1;
  }
  TrustStore* agents = trust_store_open((o.data_dir + "/trust.txt").c_str());
  if (o.name.empty()) {
    char host[64];
    o.name = computer_name_utf8(host, sizeof host) == 0 ? host : "ferrylink-send";
  }
  snprintf(config.name, sizeof config.name, "%s", o.name.c_str());
  config.agents = agents;
  config.features = kSenderFeatures;
  config.version = 1;
  config.confirm_pairing = confirm_pairing;
  config.ctx = &o;

  char ip_text[16];
  ipv4_to_text(ip, ip_text);
  StreamOps* io = nullptr;
  int c = client_stream_connect_from(o.from, ip, port, kConnectTimeoutMs, &io);
  if (c != CONNECT_OK) {
    fprintf(stderr, "ferrylink-send: cannot connect to %s:%u: %s\n", ip_text, port,
            c == CONNECT_REFUSED   ? "connection refused"
            : c == CONNECT_TIMEOUT ? "no answer"
                                   : "no socket");
    trust_store_close(agents);
    return 1;
  }
  Sender s;
  int rc = sender_open(&s, io, &config);
  if (rc == SEND_OK && s.paired) printf("Paired with \"%s\".\n", shown(s.agent_name).c_str());
  int exit_code;
  if (rc != SEND_OK) {
    exit_code = fail(&s, rc);
  } else if (o.text_kind) {
    rc = sender_send_text(&s, o.text_kind, o.text.c_str());
    exit_code = rc == SEND_OK ? (printf("sent\n"), 0) : fail(&s, rc);
  } else {
    exit_code = send_files(&s, o);
  }
  sender_close(&s);
  trust_store_close(agents);
  return exit_code;
}

}  // namespace

#ifdef _WIN32
// The narrow argv is in the ANSI code page; the UTF-16 command line holds every name as it
// is, and everything inside works in UTF-8.
int main() {
  terminal_use_utf8();
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 2;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string a(n > 0 ? size_t(n) : 1, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, a.data(), n, nullptr, nullptr);
    a.resize(strlen(a.c_str()));
    args.push_back(a);
  }
  LocalFree(argv);
  return run(args);
}
#else
int main(int argc, char** argv) { return run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
