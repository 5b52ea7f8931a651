// Notifications on a terminal: notices go to standard error and the log, received texts to
// standard output, and the clipboard is reached through the desktop's own tools when a
// graphical session is there. A terminal has no tray icon and no progress window.
#include <sys/wait.h>

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

int console_clipboard_put(const char* text) {
  const bool wayland = getenv("WAYLAND_DISPLAY"), x11 = getenv("DISPLAY");
  const char* tool = nullptr;
  if (wayland && tool_exists("wl-copy")) {
    tool = "wl-copy";
  } else if (x11 && tool_exists("xclip")) {
    tool = "xclip -selection clipboard";
  }
  if (!tool) {
    agent_log("text not copied to the clipboard: %s",
              wayland || x11 ? "neither wl-copy nor xclip is installed"
                             : "no graphical session (neither DISPLAY nor WAYLAND_DISPLAY is set)");
    return -1;
  }
  FILE* p = popen(tool, "w");
  if (!p) {
    agent_log("text not copied to the clipboard: %s could not be started", tool);
    return -1;
  }
  fputs(text, p);
  int status = pclose(p);
  if (status != 0) {
    agent_log("text not copied to the clipboard: %s failed (status %d)", tool,
              WIFEXITED(status) ? WEXITSTATUS(status) : status);
    return -1;
  }
  return 0;
}
