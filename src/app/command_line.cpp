#include "app/command_line.h"

#include <cstring>

namespace {

bool same_word(const char* arg, const char* option) {
  if (!arg) return false;
  for (; *arg && *option; ++arg, ++option) {
    char c = *arg;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != *option) return false;
  }
  return *arg == *option;
}

void take_value(char* field, size_t cap, const char* value) {
  field[0] = '\0';
  if (!value) return;
  size_t len = strlen(value);
  if (len + 1 > cap) return;
  memcpy(field, value, len + 1);
}

}  // namespace

void parse_command_line(int argc, const char* const* argv, AgentOptions* out) {
  memset(out, 0, sizeof *out);
  if (argc < 2 || !argv) return;
  int i = 1;
  while (i < argc) {
    const char* arg = argv[i];
    if (same_word(arg, "--install")) {
      out->install = 1;
    } else if (same_word(arg, "--uninstall")) {
      out->uninstall = 1;
    } else if (same_word(arg, "--console")) {
      out->console = 1;
    } else if (same_word(arg, "--test")) {
      out->self_test = 1;
    } else if (same_word(arg, "--autotest")) {
      out->autotest = 1;
    } else if (same_word(arg, "--data-dir")) {
      if (i + 1 < argc) {
        take_value(out->data_dir_override, sizeof out->data_dir_override, argv[i + 1]);
        i += 2;
        continue;
      }
    } else if (same_word(arg, "--inbox")) {
      // Without a value the walk ends here.
      if (i + 1 >= argc) return;
      take_value(out->inbox_override, sizeof out->inbox_override, argv[i + 1]);
      i += 2;
      continue;
    }
    ++i;
  }
}
