// Program entry of the Linux agent: the arguments are UTF-8 already. --help and --version
// are answered here and start nothing: shells and scripts ask a Linux program for them, and
// the agent would otherwise run and announce itself on the network.
#include <cstdio>
#include <cstring>

#include "app/agent.h"
#include "app/agent_state.h"

namespace {

const char kUsage[] =
    "usage: ferrylink [options]\n"
    "Receives files, texts and links from a phone on the local network.\n"
    "options:\n"
    "  --console          ask and notify on the terminal, even in a graphical session,\n"
    "                     and echo every log line on standard error\n"
    "  --data-dir FOLDER  settings, key, paired devices and log (default ~/.config/ferrylink)\n"
    "  --inbox FOLDER     store received files in FOLDER for this run\n"
    "  --install          install for this user: ~/.local/bin and a start at log-in\n"
    "  --uninstall        remove the installed copy and its start at log-in\n"
    "  --autotest         accept every pairing and offer without asking (for tests)\n"
    "  --test             self-test of the cryptography\n"
    "  --help             this text\n"
    "  --version          the version\n";

// "--help" or "--version" among the options (not as the value of one); null when neither.
const char* info_option(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (!strcmp(a, "--help") || !strcmp(a, "-h") || !strcmp(a, "--version")) return a;
    if (!strcmp(a, "--data-dir") || !strcmp(a, "--inbox")) ++i;  // skip the folder
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* info = info_option(argc, argv)) {
    if (!strcmp(info, "--version")) {
      printf("ferrylink %s\n", kVersionText);
    } else {
      fputs(kUsage, stdout);
    }
    return 0;
  }
  return agent_main(argc, const_cast<const char* const*>(argv), nullptr);
}
