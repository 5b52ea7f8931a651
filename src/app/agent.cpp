// Start-up, main loop and shutdown of the agent.
#include "app/agent.h"

#include <cstdio>
#include <cstring>

#include "app/agent_state.h"
#include "app/command_line.h"
#include "app/data_dir.h"
#include "app/install.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/selftest.h"
#include "app/services.h"
#include "app/settings.h"
#include "platform/fs.h"
#include "platform/sync.h"
#include "platform/system.h"
#include "recv/file_store.h"
#include "ui/desktop.h"

namespace {

void choose_language(const AgentSettings& s) {
  if (s.lang >= 0 && s.lang <= 9) {
    set_language(s.lang);
  } else {
    set_language(language_from_ui_language(ui_language_id()));
  }
}

// A log of more than 256 KiB is dropped before this run's first line (the log itself starts
// afresh when a line would take it past that while the agent runs).
void trim_log(const char* log_path) {
  uint64_t size = 0;
  if (fs_stat(log_path, &size) == 0 && size > kLogSizeLimit) fs_delete(log_path);
}

// A failed --install says why and ends with a non-zero code, so that neither a person nor a
// script takes it for done.
int install_mode(AgentState* a) {
  char installed[800];
  int result = install_program(installed, sizeof installed);
  if (result != INSTALL_OK) {
    agent_log("install failed: %s", install_failure_text(result));
    show_message_box(install_failure_text(result), BOX_ICONERROR);
    return 2;
  }
  a->settings.first_run_done = 1;
  settings_save(a->config_path, &a->settings);
  start_installed_copy(installed);
  show_message_box(message_text(MESSAGE_INSTALLED), BOX_ICONINFORMATION);
  return 0;
}

// The first-run question. Returns 1 when start-up goes on, 0 when the process ends here.
int settle_first_run(AgentState* a) {
  AgentSettings& s = a->settings;
  if (s.first_run_done) return 1;
  if (is_installed_copy()) {
    s.first_run_done = 1;
    settings_save(a->config_path, &s);
    return 1;
  }
  int answer = show_message_box(message_text(MESSAGE_INSTALL_QUESTION),
                                BOX_YESNOCANCEL | BOX_ICONQUESTION);
  if (answer == ANSWER_CANCEL) return 0;  // nothing saved: asked again next time
  s.first_run_done = 1;
  if (answer == ANSWER_YES) {
    char installed[800];
    int result = install_program(installed, sizeof installed);
    if (result == INSTALL_OK) {
      settings_save(a->config_path, &s);
      instance_guard_release(a->instance_guard);
      a->instance_guard = nullptr;
      start_installed_copy(installed);
      return 0;
    }
    // This run goes on as if No had been answered; the log keeps the reason.
    agent_log("install failed: %s", install_failure_text(result));
  }
  settings_save(a->config_path, &s);
  return 1;
}

void settle_inbox(AgentState* a) {
  AgentSettings& s = a->settings;
  if (!s.inbox_dir[0]) {
    char folder[1000];
    known_folder_utf8(FOLDER_DOCUMENTS, folder, sizeof folder);
    if (!folder[0]) known_folder_utf8(FOLDER_DESKTOP, folder, sizeof folder);
    snprintf(s.inbox_dir, sizeof s.inbox_dir, "%s%c%s", folder, kPathSep,
             message_text(MESSAGE_INBOX_NAME));
    settings_save(a->config_path, &s);
  }
  fs_make_dirs(s.inbox_dir);
}

// The one-time welcome balloon; unattended runs skip it and leave the flag alone.
void show_intro(AgentState* a) {
  if (a->settings.intro_shown || a->autotest) return;
  show_balloon(message_text(MESSAGE_INTRO), nullptr);
  a->settings.intro_shown = 1;
  settings_save(a->config_path, &a->settings);
}

int normal_run(AgentState* a) {
  int already_running = 0;
  a->instance_guard = instance_guard_acquire(kInstanceName, &already_running);
  if (already_running) {
    show_message_box(message_text(MESSAGE_ALREADY_RUNNING), BOX_ICONINFORMATION);
    instance_guard_release(a->instance_guard);
    return 0;
  }
  if (!settle_first_run(a)) {
    instance_guard_release(a->instance_guard);
    return 0;
  }
  settle_inbox(a);
  if (services_load_identity(a) != 0) {
    show_message_box("identity error", BOX_ICONERROR);
    instance_guard_release(a->instance_guard);
    return 1;
  }
  if (desktop_create(a, services_change_inbox) != 0) {
    // Without its window nobody could quit the agent, and it would keep holding the
    // one-copy lock: every later start would only say "already running".
    agent_log("agent window could not be created");
    show_message_box("ferrylink could not create its window and stops.", BOX_ICONERROR);
    instance_guard_release(a->instance_guard);
    a->instance_guard = nullptr;
    return 1;
  }
  services_start_network(a);
  agent_log("ferrylink %s started (id %s, inbox %s)", kVersionText, a->device_id,
            a->settings.inbox_dir);
  show_intro(a);
  desktop_run(a);

  int sessions_left = services_stop_network(a);
  desktop_destroy(a);
  instance_guard_release(a->instance_guard);
  a->instance_guard = nullptr;
  // A session still waiting for an answer goes on using the allowance table until the
  // process ends; it is never freed under it.
  if (sessions_left == 0) services_release(a);
  return 0;
}

}  // namespace

int agent_main(int argc, const char* const* argv, void* module_instance) {
  AgentState* a = agent_state();
  a->module_instance = module_instance;
  AgentOptions opt;
  parse_command_line(argc, argv, &opt);
  if (opt.self_test) return self_test_run();
  memory_return_large_blocks();
  incoming_set_keep_open_budget(open_files_to_spare());

  a->console = opt.console;
  a->autotest = opt.autotest;
  if (a->console) desktop_open_console();
  desktop_init(a->console != 0);
  a->log_lock = lock_create();
  a->ui_lock = lock_create();

  settle_data_dir(opt.data_dir_override, a->data_dir, sizeof a->data_dir);
  snprintf(a->config_path, sizeof a->config_path, "%s%cconfig.ini", a->data_dir, kPathSep);
  snprintf(a->log_path, sizeof a->log_path, "%s%clog.txt", a->data_dir, kPathSep);
  trim_log(a->log_path);
  secure_data_dir(a->data_dir);  // may log, so after the trim

  services_create_allowance(a);
  settings_load(a->config_path, &a->settings);
  if (a->autotest) a->settings.first_run_done = 1;
  if (opt.inbox_override[0]) {
    snprintf(a->settings.inbox_dir, sizeof a->settings.inbox_dir, "%s", opt.inbox_override);
  }
  choose_language(a->settings);

  if (opt.uninstall) {
    uninstall_program(a->data_dir);
    return 0;
  }
  if (opt.install) return install_mode(a);
  return normal_run(a);
}
