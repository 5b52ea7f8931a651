#pragma once
// Installing the agent for the current user: a copy in a per-user folder that starts at
// log-on, and uninstalling it again. No administrator rights are needed.
#include <cstddef>

// True when the running program file is the installed copy.
bool is_installed_copy();
// Copies the program into the install folder, makes it start at log-on and opens the
// firewall for it. 0 and the installed program's path, or -1.
int install_program(char* installed_path, size_t cap);
// Starts the program file as a new process without waiting for it.
void start_installed_copy(const char* path);
// The whole uninstall with its question and messages, for the given data directory.
void uninstall_program(const char* data_dir);
