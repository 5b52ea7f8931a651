// Notifications on a terminal: notices go to standard error and the log, received texts to
// standard output, and the clipboard is reached through the desktop's own tools when a
// graphical session is there. A terminal has no tray icon and no progress window.
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "app/log.h"
#include "ui/console/console_parts.h"

namespace {

// Serialises the terminal lines of concurrent sessions.
std::mutex g_terminal;

bool tool_exists(const char* name) {
  char cmd[128];
  snprintf(cmd, sizeof cmd, "command -v %s >/dev/null 2>&1", name);
  return system(cmd) == 0;
}

}  // namespace

void console_balloon(const char* text, const char*) {
  {
    std::lock_guard<std::mutex> hold(g_terminal);
    fprintf(stderr, "ferrylink: %s\n", text);
  }
  agent_log("notice: %s", text);
}

void console_tray_tip(const char*) {}

void console_question_beep() {}

void console_progress_report(const char*, const char*, uint64_t, uint64_t, int) {}

void console_progress_post_hide() {}

void console_received_text(const char* peer_name, int kind, const char* text) {
  std::lock_guard<std::mutex> hold(g_terminal);
  printf("%s from %s: %s\n", kind == 3 ? "link" : "text", peer_name, text);
  fflush(stdout);
}

void console_clipboard_put(const char* text) {
  const char* tool = nullptr;
  if (getenv("WAYLAND_DISPLAY") && tool_exists("wl-copy")) {
    tool = "wl-copy";
  } else if (getenv("DISPLAY") && tool_exists("xclip")) {
    tool = "xclip -selection clipboard";
  }
  if (!tool) return;
  if (FILE* p = popen(tool, "w")) {
    fputs(text, p);
    pclose(p);
  }
}
