// Self-install is not available in this build yet: the agent runs from where it was started
// and the install question and --install leave everything as it is.
#include "app/install.h"

bool is_installed_copy() { return false; }

int install_program(char*, size_t) { return -1; }

void start_installed_copy(const char*) {}

void uninstall_program(const char*) {}
