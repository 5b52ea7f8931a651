#pragma once
// Installing the agent for the current user: a copy in a per-user folder that starts at
// log-on, and uninstalling it again. No administrator rights are needed. Windows: the copy
// lives in "<local application data>\ferrylink\ferrylink.exe", the Run key of the current
// user starts it and netsh opens the firewall for it. Linux: "~/.local/bin/ferrylink" and an
// XDG autostart entry; there is no firewall step.
#include <cstddef>

// The install folder: 1 and the folder in out, or 0 (out empty) when this user has no
// folder for it.
bool install_location(char* out, size_t cap);
// True when the install folder is known and the running program file is the installed
// program file (compared by the system's rules for file names).
bool is_installed_copy();
// The results of install_program.
enum InstallResult : int {
  INSTALL_OK = 0,
  INSTALL_NO_FOLDER = -1,     // this user has no install folder, or its path is too long
  INSTALL_NO_PROGRAM = -2,    // the running program's own path cannot be read
  INSTALL_COPY_FAILED = -3,   // the program could not be copied into the install folder
};
// Copies the program into the install folder (unless it runs from there), makes it start
// at log-on and opens the firewall for it, logging "firewall rule exit code %lu" and, when
// the firewall tool refused (it needs administrator rights), that no rule was added.
// INSTALL_OK and the installed program's path, or another InstallResult (then nothing else
// has been changed). A failing firewall command does not fail the install.
int install_program(char* installed_path, size_t cap);
// What a failed install tells the person: the reason for an InstallResult, in English.
const char* install_failure_text(int result);
// Starts the program file as a new process without waiting for it; failures are silent.
void start_installed_copy(const char* path);
// The whole uninstall with its question and messages, for the given data directory: a
// running agent of this user is asked to quit first (and waited for, ten seconds at most),
// the autostart entry and the firewall rule go, the user decides whether settings,
// identity, paired devices and the log go too (received files always stay), and an
// uninstall run by the installed copy removes that copy: its file is taken away before the
// last message, which says so only when that worked, and what is left goes after the
// process has ended.
void uninstall_program(const char* data_dir);

// Whether the autostart entry exists, wherever it points.
bool autostart_is_enabled();
// Enable makes the program file start at log-on; disable removes the entry. Silent on
// failure.
void autostart_set(const char* program_path, bool enable);

// Runs a console command line without a window and waits at most 15 s for it: its exit
// code, or 1 when it cannot start or does not end in time (it is then left running).
unsigned long run_hidden_and_wait(const char* command_line);

// The firewall commands of this system (the install and uninstall steps run them).
enum FirewallTool : int {
  FIREWALL_NONE = 0,         // no firewall step
  FIREWALL_NETSH_LEGACY,     // "netsh firewall" of Windows XP and older
  FIREWALL_NETSH_ADVANCED,   // "netsh advfirewall" of Windows Vista and newer
};
enum FirewallStep : int { FIREWALL_ON_INSTALL, FIREWALL_ON_UNINSTALL };
constexpr int kFirewallMaxCommands = 2;
constexpr size_t kFirewallCommandCap = 1200;
// Formats the command lines a step runs, in order, for the installed program file; returns
// how many (0 for FIREWALL_NONE). On install the last one is the one whose exit code is
// logged.
int firewall_commands(int tool, int step, const char* program,
                      char out[kFirewallMaxCommands][kFirewallCommandCap]);

// Where install and uninstall run their firewall commands; tests put a recorder here.
// Null restores run_hidden_and_wait. Returns the runner that was set before.
typedef unsigned long (*CommandRunner)(const char* command_line);
CommandRunner install_set_command_runner(CommandRunner runner);
