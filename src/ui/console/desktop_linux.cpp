// The Linux desktop primitives: each forwards to the desktop chosen at start, the graphical
// one in a graphical session, the terminal otherwise.
#include "ui/desktop.h"
#include "ui/desktop_ops.h"

namespace {

// Set once on the main thread by desktop_init, before any other thread exists; the
// terminal until then, so that nothing said earlier is lost.
const DesktopOps* g_desktop = nullptr;

const DesktopOps* chosen() { return g_desktop ? g_desktop : console_desktop(); }

}  // namespace

#ifndef FL_DESKTOP_GTK
// A build without the graphical desktop runs on the terminal only.
const DesktopOps* gtk_desktop_open() { return nullptr; }
#endif

void desktop_open_console() {}

void desktop_init(bool want_console) {
  const DesktopOps* graphical = want_console ? nullptr : gtk_desktop_open();
  g_desktop = graphical ? graphical : console_desktop();
}

int show_message_box(const char* text, unsigned flags) {
  return chosen()->message_box(text, flags);
}
int show_pairing_box(const char* text, const char* code) {
  return chosen()->pairing_box(text, code);
}
int desktop_create(AgentState* a, InboxChanged inbox_changed) {
  return chosen()->create(a, inbox_changed);
}
void desktop_run(AgentState* a) { chosen()->run(a); }
void desktop_destroy(AgentState* a) { chosen()->destroy(a); }
void show_balloon(const char* text, const char* click_target) {
  chosen()->balloon(text, click_target);
}
void set_tray_tip(const char* text) { chosen()->tray_tip(text); }
void play_question_beep() { chosen()->question_beep(); }
int clipboard_put_text(const char* text) { return chosen()->clipboard_put(text); }
void progress_report(const char* peer_name, const char* path, uint64_t done, uint64_t total,
                     int percent) {
  chosen()->progress_report(peer_name, path, done, total, percent);
}
void progress_post_hide() { chosen()->progress_post_hide(); }
void show_received_text(const char* peer_name, int kind, const char* text) {
  chosen()->received_text(peer_name, kind, text);
}
