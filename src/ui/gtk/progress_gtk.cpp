// The progress window: a small panel in the bottom-right corner of the work area that shows
// who is sending, the current file, the bytes and a bar. It never takes the keyboard focus.
// Receive sessions store their reports in ProgressState and wake the main thread, which
// alone touches the window.
#include <gtk/gtk.h>

#include <cstdio>

#include "app/messages.h"
#include "platform/sync.h"
#include "ui/format.h"
#include "ui/gtk/gtk_parts.h"
#include "ui/progress_state.h"

namespace {

constexpr int kPanelWidth = 360, kPanelHeight = 92;
constexpr int kPanelRightGap = 374, kPanelBottomGap = 106;  // from the work area's corner
constexpr int kMarginX = 12, kMarginTop = 8;

struct Panel {
  GtkWidget* window;
  GtkWidget* title;
  GtkWidget* detail;
  GtkWidget* bar;
};
Panel g_panel;  // main thread only

uint32_t tick_now() { return static_cast<uint32_t>(monotonic_ms()); }

GtkWidget* make_line(GtkWidget* box) {
  GtkWidget* line = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(line), 0.0f);
  gtk_label_set_ellipsize(GTK_LABEL(line), PANGO_ELLIPSIZE_END);
  gtk_label_set_single_line_mode(GTK_LABEL(line), TRUE);
  gtk_box_pack_start(GTK_BOX(box), line, FALSE, FALSE, 0);
  return line;
}

// The primary monitor's work area (without panels), or the first monitor's.
GdkRectangle work_area() {
  GdkRectangle area = {0, 0, kPanelWidth, kPanelHeight};
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor) monitor = gdk_display_get_monitor(display, 0);
  if (monitor) gdk_monitor_get_workarea(monitor, &area);
  return area;
}

void create_panel() {
  GtkWidget* w = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(w), "ferrylink");
  // A notice, not a window to work in: no frame, no taskbar entry, no focus, above others.
  gtk_window_set_type_hint(GTK_WINDOW(w), GDK_WINDOW_TYPE_HINT_NOTIFICATION);
  gtk_window_set_decorated(GTK_WINDOW(w), FALSE);
  gtk_window_set_resizable(GTK_WINDOW(w), FALSE);
  gtk_window_set_accept_focus(GTK_WINDOW(w), FALSE);
  gtk_window_set_focus_on_map(GTK_WINDOW(w), FALSE);
  gtk_window_set_keep_above(GTK_WINDOW(w), TRUE);
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(w), TRUE);
  gtk_window_set_skip_pager_hint(GTK_WINDOW(w), TRUE);
  gtk_widget_set_size_request(w, kPanelWidth, kPanelHeight);

  GtkWidget* frame = gtk_frame_new(nullptr);  // the thin border
  gtk_container_add(GTK_CONTAINER(w), frame);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
  gtk_widget_set_margin_start(box, kMarginX);
  gtk_widget_set_margin_end(box, kMarginX);
  gtk_widget_set_margin_top(box, kMarginTop);
  gtk_container_add(GTK_CONTAINER(frame), box);
  g_panel.title = make_line(box);
  g_panel.detail = make_line(box);
  g_panel.bar = gtk_progress_bar_new();
  gtk_widget_set_margin_top(g_panel.bar, kMarginTop);
  gtk_box_pack_start(GTK_BOX(box), g_panel.bar, FALSE, FALSE, 0);

  GdkRectangle area = work_area();
  gtk_window_move(GTK_WINDOW(w), area.x + area.width - kPanelRightGap,
                  area.y + area.height - kPanelBottomGap);
  g_panel.window = w;
}

void show_panel() {
  ProgressSnapshot now;
  progress_state_snapshot(progress_state(), gtk_ui_lock(), &now);
  if (!g_panel.window) create_panel();
  char title[160];
  snprintf(title, sizeof title, message_text(MESSAGE_PROGRESS_TITLE), now.peer_name);
  char detail[420];
  progress_detail_text(now.file_path, now.done, now.total, detail, sizeof detail);
  gtk_label_set_text(GTK_LABEL(g_panel.title), title);
  gtk_label_set_text(GTK_LABEL(g_panel.detail), detail);
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(g_panel.bar),
                                progress_permille(now.done, now.total) / 1000.0);
  if (!gtk_widget_get_visible(g_panel.window)) gtk_widget_show_all(g_panel.window);
  if (GdkWindow* gw = gtk_widget_get_window(g_panel.window)) gdk_window_raise(gw);
}

void hide_panel() {
  if (g_panel.window && gtk_widget_get_visible(g_panel.window)) gtk_widget_hide(g_panel.window);
  progress_state_hidden(progress_state(), gtk_ui_lock());
}

}  // namespace

void gtk_progress_report(const char* peer_name, const char* path, uint64_t done,
                         uint64_t total, int percent) {
  if (progress_state_report(progress_state(), gtk_ui_lock(), peer_name, path, done, total,
                            percent, tick_now())) {
    gtk_main_post(show_panel);
  }
}

void gtk_progress_post_hide() { gtk_main_post(hide_panel); }

void gtk_progress_idle_check() {
  if (!g_panel.window || !gtk_widget_get_visible(g_panel.window)) return;
  if (progress_state_idle(progress_state(), gtk_ui_lock(), tick_now())) hide_panel();
}

void gtk_progress_destroy() {
  if (g_panel.window) gtk_widget_destroy(g_panel.window);
  g_panel = Panel{};
}
