// The tray icon as a StatusNotifierItem (libayatana-appindicator), whose menu the panel
// reads over D-Bus. The menu is the portable layout of tray_menu.h, rebuilt whenever what it
// shows changes, and its commands run on the main thread.
#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "app/agent_state.h"
#include "app/install.h"
#include "app/messages.h"
#include "app/settings.h"
#include "platform/fs.h"
#include "platform/sync.h"
#include "platform/system.h"
#include "recv/allowance.h"
#include "ui/desktop.h"
#include "ui/gtk/gtk_parts.h"
#include "ui/tray_menu.h"

namespace {

AgentState* g_agent = nullptr;
InboxChanged g_inbox_changed = nullptr;
AppIndicator* g_indicator = nullptr;
GtkWidget* g_menu = nullptr;
GtkWidget* g_chooser = nullptr;  // the open folder chooser, if any
TrayMenu g_shown;                // what the menu shows now

std::mutex g_tip_lock;
std::string g_tip;               // the newest tooltip
bool g_tip_posted = false;       // a hand-over to the main thread is pending

bool same_menu(const TrayMenu& a, const TrayMenu& b) {
  if (a.count != b.count) return false;
  for (int i = 0; i < a.count; ++i) {
    const TrayMenuItem& x = a.items[i];
    const TrayMenuItem& y = b.items[i];
    if (x.kind != y.kind || x.command != y.command || x.grayed != y.grayed ||
        x.checked != y.checked || x.in_submenu != y.in_submenu || strcmp(x.text, y.text) != 0) {
      return false;
    }
  }
  return true;
}

void current_menu(TrayMenu* menu) {
  AllowanceInfo grants[kTrayMaxAllowanceLines];
  int n = allowance_list(g_agent->allowance, grants, kTrayMaxAllowanceLines);
  tray_menu_build(menu, grants, n, autostart_is_enabled());
}

void apply_inbox(const char* folder) {
  AgentState* a = g_agent;
  {
    // Notifications copy the inbox as their click target on worker threads under this lock.
    LockGuard hold(a->ui_lock);
    snprintf(a->settings.inbox_dir, sizeof a->settings.inbox_dir, "%s", folder);
  }
  fs_make_dirs(a->settings.inbox_dir);
  settings_save(a->config_path, &a->settings);
  if (g_inbox_changed) g_inbox_changed(a);
}

void on_chooser_response(GtkDialog* dialog, int response, gpointer) {
  if (response == GTK_RESPONSE_ACCEPT) {
    if (gchar* folder = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
      apply_inbox(folder);
      g_free(folder);
    }
  }
  gtk_widget_destroy(GTK_WIDGET(dialog));
  g_chooser = nullptr;
}

// The folder chooser, without holding up anything: the answer arrives as a signal.
void choose_inbox() {
  if (g_chooser) {
    gtk_window_present(GTK_WINDOW(g_chooser));
    return;
  }
  g_chooser = gtk_file_chooser_dialog_new(
      message_text(MESSAGE_PICK_INBOX), nullptr, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
      (std::string("_") + button_text(BUTTON_CANCEL)).c_str(), GTK_RESPONSE_CANCEL,
      (std::string("_") + button_text(BUTTON_OK)).c_str(), GTK_RESPONSE_ACCEPT, nullptr);
  gtk_window_set_default_size(GTK_WINDOW(g_chooser), 720, 480);
  gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(g_chooser), TRUE);
  gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(g_chooser),
                                      g_agent->settings.inbox_dir);
  gtk_dialog_set_default_response(GTK_DIALOG(g_chooser), GTK_RESPONSE_ACCEPT);
  g_signal_connect(g_chooser, "response", G_CALLBACK(on_chooser_response), nullptr);
  gtk_widget_show_all(g_chooser);
  gtk_window_present(GTK_WINDOW(g_chooser));
}

void toggle_autostart() {
  char program[800];
  if (program_path_utf8(program, sizeof program) != 0) return;
  autostart_set(program, !autostart_is_enabled());
}

void show_about() {
  char text[1800];
  tray_about_text(text, sizeof text, g_agent->device_id, g_agent->settings.inbox_dir,
                  g_agent->port);
  show_message_box(text, BOX_ICONINFORMATION);
}

void run_command(int command) {
  switch (command) {
    case TRAY_OPEN_INBOX:
      gtk_open_path(g_agent->settings.inbox_dir);
      break;
    case TRAY_STOP_ALLOWING:
      allowance_revoke_all(g_agent->allowance);
      break;
    case TRAY_CHANGE_INBOX:
      choose_inbox();
      break;
    case TRAY_START_WITH_WINDOWS:
      toggle_autostart();
      break;
    case TRAY_ABOUT:
      show_about();
      break;
    case TRAY_QUIT:
      gtk_desktop_quit();
      break;
    default:
      break;
  }
  gtk_tray_refresh();
}

void on_item(GtkMenuItem*, gpointer command) {
  // After the menu's own handling is over: About waits for its answer.
  int c = GPOINTER_TO_INT(command);
  gtk_main_post([c] { run_command(c); });
}

GtkWidget* make_item(const TrayMenuItem& item) {
  if (item.kind == TRAY_ITEM_SEPARATOR) return gtk_separator_menu_item_new();
  GtkWidget* w = item.command == TRAY_START_WITH_WINDOWS
                     ? gtk_check_menu_item_new_with_label(item.text)
                     : gtk_menu_item_new_with_label(item.text);
  if (GTK_IS_CHECK_MENU_ITEM(w)) {
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(w), item.checked);
  }
  gtk_widget_set_sensitive(w, !item.grayed);
  // Connected after the check mark is set: setting it activates the item.
  if (item.command != TRAY_NONE) {
    g_signal_connect(w, "activate", G_CALLBACK(on_item), GINT_TO_POINTER(item.command));
  }
  return w;
}

void fill_menu(const TrayMenu& list) {
  gtk_container_foreach(GTK_CONTAINER(g_menu), [](GtkWidget* w, gpointer) { gtk_widget_destroy(w); },
                        nullptr);
  GtkWidget* submenu = nullptr;
  for (int i = 0; i < list.count; ++i) {
    const TrayMenuItem& item = list.items[i];
    if (item.kind == TRAY_ITEM_SUBMENU) {
      GtkWidget* head = gtk_menu_item_new_with_label(item.text);
      submenu = gtk_menu_new();
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(head), submenu);
      gtk_menu_shell_append(GTK_MENU_SHELL(g_menu), head);
      continue;
    }
    GtkWidget* w = make_item(item);
    gtk_menu_shell_append(GTK_MENU_SHELL(item.in_submenu && submenu ? submenu : g_menu), w);
    // A middle click on the icon opens the inbox, as a left click does on Windows.
    if (item.command == TRAY_OPEN_INBOX) {
      app_indicator_set_secondary_activate_target(g_indicator, w);
    }
  }
  gtk_widget_show_all(g_menu);
}

}  // namespace

void gtk_tray_create(AgentState* a, const char* icon_dir, InboxChanged inbox_changed) {
  g_agent = a;
  g_inbox_changed = inbox_changed;
  g_indicator = app_indicator_new_with_path("ferrylink", "ferrylink",
                                            APP_INDICATOR_CATEGORY_APPLICATION_STATUS, icon_dir);
  app_indicator_set_title(g_indicator, message_text(MESSAGE_TIP_READY));
  g_menu = gtk_menu_new();
  g_object_ref_sink(g_menu);
  current_menu(&g_shown);
  fill_menu(g_shown);
  app_indicator_set_menu(g_indicator, GTK_MENU(g_menu));
  app_indicator_set_status(g_indicator, APP_INDICATOR_STATUS_ACTIVE);
}

void gtk_tray_refresh() {
  if (!g_indicator) return;
  TrayMenu now;
  current_menu(&now);
  if (same_menu(now, g_shown)) return;
  g_shown = now;
  fill_menu(g_shown);
}

void gtk_tray_set_tip(const char* text) {
  std::lock_guard<std::mutex> hold(g_tip_lock);
  g_tip = text ? text : "";
  if (g_tip_posted) return;  // the pending hand-over takes the newest text
  g_tip_posted = true;
  gtk_main_post([] {
    std::string tip;
    {
      std::lock_guard<std::mutex> hold(g_tip_lock);
      tip = g_tip;
      g_tip_posted = false;
    }
    if (g_indicator) app_indicator_set_title(g_indicator, tip.c_str());
  });
}

void gtk_tray_destroy() {
  if (g_chooser) gtk_widget_destroy(g_chooser);
  g_chooser = nullptr;
  if (g_indicator) {
    app_indicator_set_status(g_indicator, APP_INDICATOR_STATUS_PASSIVE);
    g_object_unref(g_indicator);
  }
  g_indicator = nullptr;
  if (g_menu) g_object_unref(g_menu);
  g_menu = nullptr;
}
