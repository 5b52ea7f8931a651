#pragma once
// The process-wide state of the agent: created at start-up, alive until the process ends.
// The main (window) thread writes it during start-up, before any worker thread exists; later
// only the window thread changes the inbox, the listener and the port (when the user picks a
// new inbox). Sessions see the agent only through the copy in their SessionConfig.
#include <cstdint>

#include "app/settings.h"

struct Lock;
struct TrustStore;
struct Allowance;
struct Listener;
struct MdnsResponder;
struct InstanceGuard;

constexpr const char* kVersionText = "0.1.0";
constexpr int kFirstPort = 47650;
constexpr uint64_t kLogSizeLimit = 262144;
constexpr const char* kInstanceName = "Local\\ferrylink-agent-v1";

struct AgentState {
  void* module_instance;       // the program's instance handle (Windows)
  int console;                 // echo log lines to standard error
  int autotest;                // unattended mode
  char data_dir[700];
  char config_path[760];
  char log_path[800];          // empty until the data directory is settled
  AgentSettings settings;
  uint8_t private_key[32];
  uint8_t public_key[32];
  char device_id[17];
  TrustStore* trust_store;
  Allowance* allowance;
  Listener* listener;
  int port;
  MdnsResponder* responder;
  void* agent_window;          // hidden window that owns the tray icon (Windows)
  void* small_icon;
  void* large_icon;
  unsigned taskbar_created_msg;
  InstanceGuard* instance_guard;
  Lock* log_lock;
  Lock* ui_lock;               // guards the progress report; never destroyed
};

// The one instance.
AgentState* agent_state();
