#include "app/services.h"

#include <cstdio>
#include <cstring>

#include "app/agent_state.h"
#include "app/log.h"
#include "app/messages.h"
#include "mdns/mdns_responder.h"
#include "mdns/service_description.h"
#include "platform/fs.h"
#include "platform/net.h"
#include "recv/allowance.h"
#include "recv/listener.h"
#include "recv/session_config.h"
#include "trust/identity.h"
#include "trust/trust_store.h"
#include "ui/desktop.h"
#include "ui/session_events.h"

namespace {

constexpr uint64_t kAllowanceMs = 600000;  // ten minutes
// How long quitting waits for the cut sessions to close their files.
constexpr int kQuitWaitMs = 5000;

void fill_session_config(const AgentState* a, SessionConfig* c) {
  session_config_init(c);
  memcpy(c->static_private_key, a->private_key, sizeof c->static_private_key);
  if (a->settings.device_name[0]) {
    session_config_set_device_name(c, a->settings.device_name);
  } else {
    char name[64];
    default_device_name(name, sizeof name);
    session_config_set_device_name(c, name);
  }
  snprintf(c->inbox_dir, sizeof c->inbox_dir, "%s", a->settings.inbox_dir);
  c->trust_store = a->trust_store;
  c->pairing_window = nullptr;
  c->auto_accept_trusted = 0;
  c->open_mode = 1;
  c->allowance = a->allowance;
  c->allowance_ms = kAllowanceMs;
  c->user_data = nullptr;
  desktop_session_events(&c->events);
}

// Every connection's log lines count against its remote address's share of the log, so a
// peer that makes the agent log as fast as it can does not fill it.
void run_logged_session(const SessionConfig* config, StreamOps* stream,
                        const ConnectionPeer* peer) {
  LogSourceScope source(peer->ip);
  kDefaultSessionRunner(config, stream, peer);
}

// Starts a listener with a configuration made from the current settings and logs its port.
bool start_listener(AgentState* a) {
  SessionConfig config;
  fill_session_config(a, &config);
  int port = 0;
  if (net_startup() == 0)
    a->listener = listener_start_with_runner(&config, kFirstPort, &port, run_logged_session);
  if (!a->listener) return false;
  a->port = port;
  agent_log("listening on port %d", port);
  return true;
}

void describe_service(const AgentState* a, ServiceDescription* desc) {
  build_service_description(desc, a->settings.device_name, a->device_id,
                            static_cast<uint16_t>(a->port));
}

}  // namespace

void services_create_allowance(AgentState* a) { a->allowance = allowance_new(); }

int services_load_identity(AgentState* a) {
  char path[800];
  snprintf(path, sizeof path, "%s%cidentity.key", a->data_dir, kPathSep);
  if (identity_load_or_create(path, a->private_key, a->public_key) != 0) return -1;
  snprintf(path, sizeof path, "%s%ctrust.txt", a->data_dir, kPathSep);
  a->trust_store = trust_store_open(path);
  device_id_from_public_key(a->public_key, a->device_id);
  return 0;
}

void services_start_network(AgentState* a) {
  if (!start_listener(a)) {
    show_message_box(message_text(MESSAGE_LISTEN_FAILED), BOX_ICONERROR);
    return;
  }
  ServiceDescription desc;
  describe_service(a, &desc);
  a->responder = mdns_start(&desc, agent_log_text);
  if (!a->responder) agent_log("mdns failed to start");
}

void services_change_inbox(AgentState* a) {
  if (a->listener) listener_stop(a->listener);
  a->listener = nullptr;
  if (!start_listener(a)) return;
  ServiceDescription desc;
  describe_service(a, &desc);
  mdns_update(a->responder, &desc);
}

int services_stop_network(AgentState* a) {
  mdns_stop(a->responder);
  a->responder = nullptr;
  int left = listener_shutdown(a->listener, kQuitWaitMs);
  a->listener = nullptr;
  if (left > 0) agent_log("%d session(s) still waiting for an answer at quit", left);
  return left;
}

void services_release(AgentState* a) {
  allowance_free(a->allowance);
  a->allowance = nullptr;
}
