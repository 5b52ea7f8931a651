#include "ui/tray_menu.h"

#include <cstdio>

#include "app/agent_state.h"
#include "app/messages.h"
#include "channel/peer_text.h"
#include "recv/allowance.h"

namespace {

TrayMenuItem* next_item(TrayMenu* menu, int kind, int command) {
  TrayMenuItem* item = &menu->items[menu->count++];
  *item = TrayMenuItem{};
  item->kind = kind;
  item->command = command;
  return item;
}

void add_command(TrayMenu* menu, int message, int command) {
  TrayMenuItem* item = next_item(menu, TRAY_ITEM_COMMAND, command);
  snprintf(item->text, sizeof item->text, "%s", message_text(message));
}

void add_separator(TrayMenu* menu) { next_item(menu, TRAY_ITEM_SEPARATOR, TRAY_NONE); }

void add_allowance_block(TrayMenu* menu, const AllowanceInfo* grants, int grant_count) {
  add_separator(menu);
  int shown = grant_count < kTrayMaxAllowanceLines ? grant_count : kTrayMaxAllowanceLines;
  for (int i = 0; i < shown; ++i) {
    TrayMenuItem* line = next_item(menu, TRAY_ITEM_COMMAND, TRAY_NONE);
    line->grayed = 1;
    // The name is the one the phone gave itself: shown in its display form.
    char name[3 * sizeof grants[i].peer_name];
    peer_text_for_display(grants[i].peer_name, name, sizeof name);
    snprintf(line->text, sizeof line->text, message_text(MESSAGE_ALLOWING), name,
             allowance_minutes_left(grants[i].remaining_ms));
    utf8_drop_cut_tail(line->text);
  }
  add_command(menu, MESSAGE_STOP_ALLOWING, TRAY_STOP_ALLOWING);
  add_separator(menu);
}

void add_settings_submenu(TrayMenu* menu, int autostart_on) {
  TrayMenuItem* sub = next_item(menu, TRAY_ITEM_SUBMENU, TRAY_NONE);
  snprintf(sub->text, sizeof sub->text, "%s", message_text(MESSAGE_SETTINGS));
  add_command(menu, MESSAGE_CHANGE_INBOX, TRAY_CHANGE_INBOX);
  menu->items[menu->count - 1].in_submenu = 1;
  add_command(menu, MESSAGE_START_WITH_WINDOWS, TRAY_START_WITH_WINDOWS);
  menu->items[menu->count - 1].in_submenu = 1;
  menu->items[menu->count - 1].checked = autostart_on ? 1 : 0;
}

}  // namespace

void tray_menu_build(TrayMenu* menu, const AllowanceInfo* grants, int grant_count,
                     int autostart_on) {
  menu->count = 0;
  add_command(menu, MESSAGE_OPEN_INBOX, TRAY_OPEN_INBOX);
  if (grants && grant_count > 0) add_allowance_block(menu, grants, grant_count);
  add_settings_submenu(menu, autostart_on);
  add_command(menu, MESSAGE_ABOUT_ITEM, TRAY_ABOUT);
  add_separator(menu);
  add_command(menu, MESSAGE_QUIT, TRAY_QUIT);
}

void tray_about_text(char* out, size_t cap, const char* device_id, const char* inbox_dir,
                     int port) {
  if (!out || cap == 0) return;
  snprintf(out, cap, message_text(MESSAGE_ABOUT), kVersionText, device_id, inbox_dir, port);
}
