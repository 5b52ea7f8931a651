#pragma once
// The steps of installing that differ per operating system. install.cpp keeps the order of
// the steps, the questions and the messages; each desktop (ui/win32, ui/console) supplies
// these, together with autostart_is_enabled, autostart_set, run_hidden_and_wait and
// start_installed_copy of install.h. Paths are UTF-8.
#include <cstddef>

// The per-user install folder: 0 and the folder, or -1 (out empty) when there is none or it
// does not fit.
int install_os_folder(char* out, size_t cap);
// Name of the installed program file inside the install folder.
const char* install_os_program_name();
// 1 when both paths name the same file by the system's rules (Windows ignores case).
int install_os_same_path(const char* a, const char* b);
// Creates the install folder; an existing folder is fine and failures show up later.
void install_os_make_folder(const char* folder);
// Copies the running program file to `to`, replacing a file there. 0 or -1.
int install_os_copy_program(const char* from, const char* to);
// Removes a directory when it is empty. 0 or -1.
int install_os_remove_dir(const char* dir);
// Which FirewallTool (install.h) this system has.
int install_os_firewall_tool();
// Takes the running program file away from its place now, so that the installed program is
// gone whatever happens next: 0 when it is gone (Linux: deleted; Windows: renamed aside, to
// be deleted by install_os_finish_removal), -1 when it cannot be removed.
int install_os_remove_program(const char* program);
// The last step of an uninstall, after its last message: deletes what
// install_os_remove_program left behind, and the install folder when it is then empty, once
// this process has ended (Windows: by a delayed command). Failures are silent.
void install_os_finish_removal(const char* program, const char* folder);
// Asks the agent of this user that is running, if any, to quit as its Quit command would,
// and waits for it at most wait_ms. 1 when one was running and has ended, 0 when none ran,
// -1 when it is still running.
int install_os_stop_agent(int wait_ms);
