// The order of installing and uninstalling and what the user is told; the system-specific
// steps (folders, copying, autostart, processes) come from install_os.h.
#include "app/install.h"

#include <cstdio>

#include "app/install_os.h"
#include "app/log.h"
#include "app/messages.h"
#include "platform/fs.h"
#include "platform/system.h"
#include "ui/desktop.h"

namespace {

CommandRunner g_runner = nullptr;

// The agent's own files in the data directory, in the order uninstall deletes them. The
// inbox and anything else in the directory are never touched.
const char* const kDataFiles[] = {"identity.key", "trust.txt", "config.ini", "log.txt"};

constexpr size_t kPathCap = 800;
constexpr int kStopAgentWaitMs = 10000;

unsigned long run_command(const char* command_line) {
  return (g_runner ? g_runner : run_hidden_and_wait)(command_line);
}

// "<folder>/<program name>"; -1 when it does not fit (a cut path would name another file).
int installed_file(const char* folder, char* out, size_t cap) {
  int n = snprintf(out, cap, "%s%c%s", folder, kPathSep, install_os_program_name());
  return (n < 0 || static_cast<size_t>(n) >= cap) ? -1 : 0;
}

// Runs the firewall commands of a step; returns the last one's exit code, or -1 when the
// system has no firewall step.
long run_firewall_step(int step, const char* program) {
  char commands[kFirewallMaxCommands][kFirewallCommandCap];
  int n = firewall_commands(install_os_firewall_tool(), step, program, commands);
  long code = -1;
  for (int i = 0; i < n; ++i) code = static_cast<long>(run_command(commands[i]));
  return code;
}

void delete_data_files(const char* data_dir) {
  for (const char* name : kDataFiles) {
    char path[kPathCap];
    snprintf(path, sizeof path, "%s%c%s", data_dir, kPathSep, name);
    fs_delete(path);
  }
  install_os_remove_dir(data_dir);  // succeeds only when nothing else was in it
}

}  // namespace

bool install_location(char* out, size_t cap) { return install_os_folder(out, cap) == 0; }

bool is_installed_copy() {
  char folder[kPathCap], installed[kPathCap], running[kPathCap];
  if (!install_location(folder, sizeof folder)) return false;
  if (installed_file(folder, installed, sizeof installed) != 0) return false;
  if (program_path_utf8(running, sizeof running) != 0) return false;
  return install_os_same_path(running, installed) != 0;
}

int firewall_commands(int tool, int step, const char* program,
                      char out[kFirewallMaxCommands][kFirewallCommandCap]) {
  if (!program) program = "";
  if (tool == FIREWALL_NETSH_ADVANCED) {
    // Deleting first keeps a single rule however often the agent is installed.
    snprintf(out[0], kFirewallCommandCap,
             "netsh advfirewall firewall delete rule name=\"ferrylink\"");
    if (step != FIREWALL_ON_INSTALL) return 1;
    snprintf(out[1], kFirewallCommandCap,
             "netsh advfirewall firewall add rule name=\"ferrylink\" dir=in action=allow "
             "program=\"%s\" enable=yes profile=private,domain",
             program);
    return 2;
  }
  if (tool == FIREWALL_NETSH_LEGACY) {
    if (step == FIREWALL_ON_INSTALL) {
      snprintf(out[0], kFirewallCommandCap,
               "netsh firewall add allowedprogram program=\"%s\" name=\"ferrylink\" "
               "mode=ENABLE scope=SUBNET",
               program);
    } else {
      snprintf(out[0], kFirewallCommandCap, "netsh firewall delete allowedprogram program=\"%s\"",
               program);
    }
    return 1;
  }
  return 0;
}

CommandRunner install_set_command_runner(CommandRunner runner) {
  CommandRunner before = g_runner;
  g_runner = runner;
  return before;
}

int install_program(char* installed_path, size_t cap) {
  if (installed_path && cap) installed_path[0] = '\0';
  char folder[kPathCap], installed[kPathCap], running[kPathCap];
  if (!install_location(folder, sizeof folder)) return INSTALL_NO_FOLDER;
  if (installed_file(folder, installed, sizeof installed) != 0) return INSTALL_NO_FOLDER;
  if (program_path_utf8(running, sizeof running) != 0) return INSTALL_NO_PROGRAM;
  install_os_make_folder(folder);
  if (!install_os_same_path(running, installed) &&
      install_os_copy_program(running, installed) != 0) {
    agent_log("install: the program could not be copied to %s", installed);
    return INSTALL_COPY_FAILED;
  }
  autostart_set(installed, true);
  long code = run_firewall_step(FIREWALL_ON_INSTALL, installed);
  // A refused or missing firewall tool is worth a log line, never a failed install. netsh
  // refuses a user without administrator rights; Windows then asks on the first connection.
  if (code >= 0) agent_log("firewall rule exit code %lu", static_cast<unsigned long>(code));
  if (code > 0) {
    agent_log("firewall rule not added (it needs administrator rights); Windows asks whether "
              "to allow ferrylink when a phone first connects");
  }
  if (installed_path && cap) snprintf(installed_path, cap, "%s", installed);
  return INSTALL_OK;
}

const char* install_failure_text(int result) {
  switch (result) {
    case INSTALL_NO_FOLDER:
      return "ferrylink could not be installed: this user has no folder to install it in.";
    case INSTALL_NO_PROGRAM:
      return "ferrylink could not be installed: the program cannot find its own file.";
    case INSTALL_COPY_FAILED:
      return "ferrylink could not be installed: the program could not be copied into its "
             "folder (see the log).";
    default:
      return "ferrylink could not be installed.";
  }
}

void uninstall_program(const char* data_dir) {
  // A running agent would save its settings and trust list again after they are deleted,
  // and its program file could not go.
  int stopped = install_os_stop_agent(kStopAgentWaitMs);
  if (stopped > 0) agent_log("uninstall: the running agent was asked to quit and has ended");
  if (stopped < 0) agent_log("uninstall: the running agent did not quit");
  char folder[kPathCap], installed[kPathCap];
  bool located = install_location(folder, sizeof folder) &&
                 installed_file(folder, installed, sizeof installed) == 0;
  if (located) {
    autostart_set(installed, false);
    run_firewall_step(FIREWALL_ON_UNINSTALL, installed);
  }
  if (show_message_box(message_text(MESSAGE_UNINSTALL_QUESTION), BOX_YESNO | BOX_ICONQUESTION) ==
      ANSWER_YES) {
    delete_data_files(data_dir);
  }
  char running[kPathCap];
  bool self = located && is_installed_copy() && program_path_utf8(running, sizeof running) == 0;
  if (self && install_os_remove_program(running) != 0) {
    // Only what really happened is claimed.
    agent_log("uninstall: the program file %s could not be removed", running);
    char text[kPathCap + 200];
    snprintf(text, sizeof text,
             "ferrylink was turned off, but its program file could not be removed:\n%s",
             running);
    show_message_box(text, BOX_ICONERROR);
    return;
  }
  show_message_box(message_text(MESSAGE_UNINSTALLED), BOX_ICONINFORMATION);
  // Only now: however long the person read the box, the rest goes after this process.
  if (self) install_os_finish_removal(running, folder);
}
