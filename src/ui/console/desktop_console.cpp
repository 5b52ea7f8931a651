// The Linux desktop: message boxes become text on the terminal, the main loop waits for a
// stop signal.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "ui/console/console_parts.h"
#include "ui/desktop.h"
#include "ui/desktop_ops.h"

namespace {

std::atomic<int> g_stop{0};
std::mutex g_question;
int g_wake_pipe[2] = {-1, -1};

void on_stop_signal(int) {
  g_stop = 1;
  if (g_wake_pipe[1] >= 0) {
    char b = 1;
    ssize_t n = write(g_wake_pipe[1], &b, 1);
    (void)n;
  }
}

// Reads one answer line from the terminal: the first non-blank character, lower-cased,
// or 0 at end of input.
int read_answer() {
  char line[64];
  if (!fgets(line, sizeof line, stdin)) return 0;
  for (const char* p = line; *p; ++p) {
    if (*p != ' ' && *p != '\t') return (*p >= 'A' && *p <= 'Z') ? *p - 'A' + 'a' : *p;
  }
  return 0;
}

int console_message_box(const char* text, unsigned flags) {
  // One question at a time: two sessions may ask at once, and the terminal is shared.
  std::lock_guard<std::mutex> hold(g_question);
  unsigned buttons = flags & 0xF;
  fprintf(stderr, "ferrylink: %s\n", text);
  if (buttons != BOX_YESNO && buttons != BOX_YESNOCANCEL) return ANSWER_OK;
  // Without a terminal nobody can answer: No installs nothing, deletes nothing, takes no
  // offer.
  if (!isatty(STDIN_FILENO)) return ANSWER_NO;
  fputs(buttons == BOX_YESNO ? "[y/N] " : "[y/n/C] ", stderr);
  fflush(stderr);
  int c = read_answer();
  if (c == 'y') return ANSWER_YES;
  if (buttons == BOX_YESNOCANCEL && c != 'n') return ANSWER_CANCEL;
  return ANSWER_NO;
}

int console_pairing_box(const char* text, const char*) {
  return console_message_box(text, BOX_YESNO | BOX_ICONQUESTION);
}

int console_create(AgentState*, InboxChanged) {
  if (pipe(g_wake_pipe) != 0) return -1;
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_stop_signal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return 0;
}

void console_run(AgentState*) {
  while (!g_stop) {
    pollfd p{g_wake_pipe[0], POLLIN, 0};
    poll(&p, 1, 1000);
  }
}

void console_destroy(AgentState*) {
  for (int& fd : g_wake_pipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace

const DesktopOps* console_desktop() {
  static const DesktopOps ops = {
      console_message_box, console_pairing_box,   console_create,
      console_run,         console_destroy,       console_balloon,
      console_tray_tip,    console_question_beep, console_clipboard_put,
      console_progress_report, console_progress_post_hide, console_received_text,
  };
  return &ops;
}
