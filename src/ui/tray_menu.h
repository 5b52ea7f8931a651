#pragma once
// The tray icon's context menu as a plain list, built fresh each time it opens so it shows
// the current allowances and the autostart state. The desktop turns the list into its own
// menu and runs the chosen command. Texts come from the message table in the current
// language.
#include <cstddef>

struct AllowanceInfo;

// Command ids the menu returns; 0 is "nothing chosen" and also marks the allowance lines.
enum TrayCommand : int {
  TRAY_NONE = 0,
  TRAY_OPEN_INBOX = 1,
  TRAY_STOP_ALLOWING = 2,
  TRAY_CHANGE_INBOX = 3,
  TRAY_START_WITH_WINDOWS = 4,
  TRAY_ABOUT = 5,
  TRAY_QUIT = 6,
};

enum TrayItemKind : int {
  TRAY_ITEM_COMMAND,    // a clickable line (or a grayed one)
  TRAY_ITEM_SEPARATOR,
  TRAY_ITEM_SUBMENU,    // "Settings": the items that follow with in_submenu set belong to it
};

// Allowance lines shown at most; further grants are left out of the menu.
constexpr int kTrayMaxAllowanceLines = 8;
// Item texts are cut to this many bytes (with the terminator).
constexpr size_t kTrayItemTextCap = 300;
// Top level (9 fixed) + 8 allowance lines + submenu (2).
constexpr int kTrayMaxItems = 20;

struct TrayMenuItem {
  int kind;          // TrayItemKind
  int command;       // TrayCommand; TRAY_NONE for separators, submenus and allowance lines
  int grayed;        // shown but not selectable
  int checked;       // carries a check mark
  int in_submenu;    // belongs to the submenu item before it
  char text[kTrayItemTextCap];
};

struct TrayMenu {
  TrayMenuItem items[kTrayMaxItems];
  int count;
};

// Lays the menu out, top to bottom:
//   Open inbox folder
//   [only with grants: separator, one grayed "Allowing %s (%d min left)" line per grant
//    (the first eight), Stop allowing (ask every time), separator]
//   Settings > Change inbox folder..., Start with Windows (checked when autostart_on)
//   About ferrylink, separator, Quit
void tray_menu_build(TrayMenu* menu, const AllowanceInfo* grants, int grant_count,
                     int autostart_on);

// The About box's text: message 24 with the version, device id, inbox folder and port,
// cut to cap - 1 bytes (the box uses 1800).
void tray_about_text(char* out, size_t cap, const char* device_id, const char* inbox_dir,
                     int port);
