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
// Removes the running program file (and its install folder, when that is empty) once this
// process has ended; nothing waits for it and failures are silent.
void install_os_self_delete(const char* program, const char* folder);
