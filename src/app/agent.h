#pragma once
// The agent's entry point after the desktop's own entry has split the command line.

// argv: the arguments in UTF-8 (argv[0] the program; a null entry is an argument that did
// not convert). module_instance: the program's instance handle on Windows, else null.
// Returns the process exit code.
int agent_main(int argc, const char* const* argv, void* module_instance);
