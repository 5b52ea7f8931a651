// The graphical Linux desktop: chosen when a display and a session bus are there. The main
// thread runs the GLib main loop; the tray icon is a StatusNotifierItem, notifications go to
// the session's notification server, questions are dialogs that never hold up the loop.
#include <gio/gio.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <libnotify/notify.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "app/agent_state.h"
#include "ui/desktop.h"
#include "ui/desktop_ops.h"
#include "ui/gtk/gtk_parts.h"

namespace {

constexpr int kWindowIconPixels = 32;

GThread* g_main_thread = nullptr;
GMainLoop* g_loop = nullptr;
bool g_quitting = false;
guint g_timer = 0;
Lock* g_ui_lock = nullptr;

bool has_text(const char* s) { return s && *s; }

// A display to draw on and a session bus for the tray and the notifications. A session
// without a bus address may still have the bus at its standard place.
bool graphical_session() {
  if (!has_text(getenv("DISPLAY")) && !has_text(getenv("WAYLAND_DISPLAY"))) return false;
  if (has_text(getenv("DBUS_SESSION_BUS_ADDRESS"))) return true;
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  return has_text(runtime) && access((std::string(runtime) + "/bus").c_str(), F_OK) == 0;
}

gboolean run_posted(gpointer data) {
  auto* fn = static_cast<std::function<void()>*>(data);
  (*fn)();
  delete fn;
  return G_SOURCE_REMOVE;
}

gboolean on_second(gpointer) {
  gtk_progress_idle_check();
  gtk_tray_refresh();
  return G_SOURCE_CONTINUE;
}

gboolean on_stop_signal(gpointer) {
  gtk_desktop_quit();
  return G_SOURCE_CONTINUE;
}

int gtk_create(AgentState* a, InboxChanged inbox_changed) {
  g_ui_lock = a->ui_lock;
  signal(SIGPIPE, SIG_IGN);
  g_unix_signal_add(SIGINT, on_stop_signal, nullptr);
  g_unix_signal_add(SIGTERM, on_stop_signal, nullptr);
  char icon_dir[1024];
  gtk_icon_write_tray_file(icon_dir, sizeof icon_dir);
  gtk_tray_create(a, icon_dir, inbox_changed);
  g_timer = g_timeout_add_seconds(1, on_second, nullptr);
  return 0;
}

void gtk_run(AgentState*) {
  if (!g_quitting) {
    g_loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(g_loop);
    g_main_loop_unref(g_loop);
    g_loop = nullptr;
  }
  // Questions still waiting for the main thread get their "closed" answer.
  gtk_dialogs_close_all();
}

void gtk_destroy(AgentState*) {
  if (g_timer) g_source_remove(g_timer);
  g_timer = 0;
  gtk_progress_destroy();
  gtk_tray_destroy();
  gtk_notify_close();
}

int gtk_message_box(const char* text, unsigned flags) { return gtk_ask(text, flags, nullptr); }

int gtk_pairing_box(const char* text, const char* code) {
  return gtk_ask(text, BOX_YESNO | BOX_ICONQUESTION | BOX_DEFBUTTON2, code);
}

void gtk_question_beep() {
  gtk_main_post([] { gdk_display_beep(gdk_display_get_default()); });
}

// The notification says what arrived; there is no terminal to print it on.
void gtk_received_text(const char*, int, const char*) {}

const DesktopOps kGtkDesktop = {
    gtk_message_box,    gtk_pairing_box,     gtk_create,
    gtk_run,            gtk_destroy,         gtk_notify_balloon,
    gtk_tray_set_tip,   gtk_question_beep,   gtk_notify_clipboard_put,
    gtk_progress_report, gtk_progress_post_hide, gtk_received_text,
};

}  // namespace

const DesktopOps* gtk_desktop_open() {
  if (!graphical_session() || !gtk_init_check(nullptr, nullptr)) return nullptr;
  g_main_thread = g_thread_self();
  notify_init("ferrylink");
  if (GdkPixbuf* icon = gtk_icon_pixbuf(kWindowIconPixels)) {
    gtk_window_set_default_icon(icon);
    g_object_unref(icon);
  }
  return &kGtkDesktop;
}

void gtk_main_post(std::function<void()> fn) {
  g_idle_add_full(G_PRIORITY_DEFAULT, run_posted, new std::function<void()>(std::move(fn)),
                  nullptr);
}

bool gtk_on_main_thread() { return g_thread_self() == g_main_thread; }

Lock* gtk_ui_lock() { return g_ui_lock; }

void gtk_desktop_quit() {
  g_quitting = true;
  gtk_dialogs_close_all();
  if (g_loop) g_main_loop_quit(g_loop);
}

void gtk_open_path(const char* path) {
  gchar* uri = g_filename_to_uri(path, nullptr, nullptr);
  if (!uri) return;
  // Failures (no file manager, a missing folder) are the desktop's to report.
  g_app_info_launch_default_for_uri(uri, nullptr, nullptr);
  g_free(uri);
}
