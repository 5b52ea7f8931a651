#pragma once
// The command line: --install, --uninstall, --console, --test, --autotest,
// --data-dir FOLDER, --inbox FOLDER. Option names ignore case; unknown words are ignored.

struct AgentOptions {
  int install;
  int uninstall;
  int console;
  int self_test;
  int autotest;
  char data_dir_override[700];   // empty when not given
  char inbox_override[1000];     // empty when not given
};

// argv holds the arguments in UTF-8, argv[0] being the program; a null entry stands for an
// argument that could not be converted. A value that does not fit its field (with its
// terminator) counts as not given. A repeated option takes its last value.
void parse_command_line(int argc, const char* const* argv, AgentOptions* out);
