// Notifications through the session's notification server (libnotify) and the clipboard
// through GTK. Both are handed to the main thread; a new notification replaces the last one.
#include <gtk/gtk.h>
#include <libnotify/notify.h>

#include <string>

#include "app/messages.h"
#include "ui/gtk/gtk_parts.h"
#include "ui/tray_click_target.h"

namespace {

constexpr int kNotificationTimeoutMs = 8000;
constexpr int kNotificationIconPixels = 64;

NotifyNotification* g_note = nullptr;  // main thread only

// The user clicked the notification (its default action).
void on_clicked(NotifyNotification*, char*, gpointer) {
  char target[kClickTargetMax + 1];
  if (tray_click_target_get(gtk_ui_lock(), target, sizeof target)) gtk_open_path(target);
}

void show(const std::string& text, bool clickable) {
  if (!g_note) {
    g_note = notify_notification_new("ferrylink", text.c_str(), nullptr);
    if (GdkPixbuf* icon = gtk_icon_pixbuf(kNotificationIconPixels)) {
      notify_notification_set_image_from_pixbuf(g_note, icon);
      g_object_unref(icon);
    }
    notify_notification_set_hint_string(g_note, "desktop-entry", "ferrylink");
    notify_notification_set_timeout(g_note, kNotificationTimeoutMs);
  } else {
    notify_notification_update(g_note, "ferrylink", text.c_str(), nullptr);
  }
  notify_notification_clear_actions(g_note);
  if (clickable) {
    notify_notification_add_action(g_note, "default", message_text(MESSAGE_OPEN_INBOX),
                                   on_clicked, nullptr, nullptr);
  }
  // No server (or a failing one): the notice is lost, as a balloon without a tray would be.
  notify_notification_show(g_note, nullptr);
}

}  // namespace

void gtk_notify_balloon(const char* text, const char* click_target) {
  // The target is in place before the notification can be clicked.
  tray_click_target_set(gtk_ui_lock(), click_target);
  bool clickable = click_target && *click_target;
  gtk_main_post([t = std::string(text ? text : ""), clickable] { show(t, clickable); });
}

// The agent itself owns the clipboard's content from the main loop's next turn on; taking
// it cannot fail on a display GTK has opened.
int gtk_notify_clipboard_put(const char* text) {
  gtk_main_post([t = std::string(text ? text : "")] {
    GtkClipboard* board = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    gtk_clipboard_set_text(board, t.c_str(), static_cast<gint>(t.size()));
    // A clipboard manager, when the session has one, keeps the text after the agent ends.
    gtk_clipboard_set_can_store(board, nullptr, 0);
  });
  return 0;
}

void gtk_notify_close() {
  if (g_note) g_object_unref(g_note);
  g_note = nullptr;
  notify_uninit();
}
