// The message table first: <windows.h> defines its LANG_* names as macros.
#include "app/messages.h"
#include "ui/win32/tray_menu_win32.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>

#include "app/agent_state.h"
#include "app/install.h"
#include "app/services.h"
#include "app/settings.h"
#include "platform/fs.h"
#include "platform/sync.h"
#include "platform/system.h"
#include "platform/win32/text.h"
#include "recv/allowance.h"
#include "ui/desktop.h"
#include "ui/tray_menu.h"
#include "ui/win32/wide_text.h"

namespace {

void append_item(HMENU menu, const TrayMenuItem& item) {
  if (item.kind == TRAY_ITEM_SEPARATOR) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    return;
  }
  wchar_t text[kTrayItemTextCap];
  utf8_to_wide_field(item.text, text, kTrayItemTextCap);
  UINT flags = MF_STRING | (item.grayed ? MF_GRAYED : MF_ENABLED) |
               (item.checked ? MF_CHECKED : MF_UNCHECKED);
  AppendMenuW(menu, flags, static_cast<UINT_PTR>(item.command), text);
}

// The Windows menu for the list: a submenu item takes the items marked in_submenu that
// follow it, and is appended once they are in it.
HMENU build_menu(const TrayMenu& list) {
  HMENU main = CreatePopupMenu();
  for (int i = 0; i < list.count; ++i) {
    const TrayMenuItem& item = list.items[i];
    if (item.kind != TRAY_ITEM_SUBMENU) {
      append_item(main, item);
      continue;
    }
    HMENU sub = CreatePopupMenu();
    while (i + 1 < list.count && list.items[i + 1].in_submenu) append_item(sub, list.items[++i]);
    wchar_t text[kTrayItemTextCap];
    utf8_to_wide_field(item.text, text, kTrayItemTextCap);
    AppendMenuW(main, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), text);
  }
  return main;
}

int choose(HWND owner) {
  AllowanceInfo grants[kTrayMaxAllowanceLines];
  int n = allowance_list(agent_state()->allowance, grants, kTrayMaxAllowanceLines);
  TrayMenu list;
  tray_menu_build(&list, grants, n, autostart_is_enabled());
  HMENU menu = build_menu(list);
  POINT at = {};
  GetCursorPos(&at);
  // Without the foreground the menu would not close when the user clicks elsewhere. The
  // owner is shown for the time of the menu (it has no size, and as a tool window no taskbar
  // button): not every system hands the keys to a hidden window, and the menu reads its
  // arrow keys and Enter through its owner.
  ShowWindow(owner, SW_SHOW);
  SetForegroundWindow(owner);
  int command = static_cast<int>(TrackPopupMenu(
      menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, at.x,
      at.y, 0, owner, nullptr));
  PostMessageW(owner, WM_NULL, 0, 0);
  ShowWindow(owner, SW_HIDE);
  DestroyMenu(menu);  // and the submenu with it
  return command;
}

void toggle_autostart() {
  char program[800];
  if (program_path_utf8(program, sizeof program) != 0) return;
  autostart_set(program, !autostart_is_enabled());
}

void show_about(const AgentState* a) {
  char text[1800];
  tray_about_text(text, sizeof text, a->device_id, a->settings.inbox_dir, a->port);
  show_message_box(text, BOX_ICONINFORMATION);
}

void change_inbox(AgentState* a) {
  wchar_t title[200];
  utf8_to_wide_field(message_text(MESSAGE_PICK_INBOX), title, 200);
  wchar_t display_name[MAX_PATH];
  BROWSEINFOW bi = {};
  bi.pszDisplayName = display_name;
  bi.lpszTitle = title;
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&bi);
  if (!chosen) return;  // cancelled
  wchar_t path[MAX_PATH];
  if (SHGetPathFromIDListW(chosen, path)) {
    {
      // Balloons copy the inbox as their click target on worker threads under this lock.
      LockGuard hold(a->ui_lock);
      wide_to_utf8(path, a->settings.inbox_dir, sizeof a->settings.inbox_dir);
    }
    fs_make_dirs(a->settings.inbox_dir);
    settings_save(a->config_path, &a->settings);
    services_change_inbox(a);
  }
  CoTaskMemFree(chosen);
}

}  // namespace

void open_in_shell(const char* utf8_path) {
  wchar_t path[1100];
  utf8_to_wide_field(utf8_path, path, 1100);
  ShellExecuteW(nullptr, L"open", path, nullptr, nullptr, SW_SHOWNORMAL);
}

void tray_menu_show(AgentState* a, HWND owner) {
  switch (choose(owner)) {
    case TRAY_OPEN_INBOX:
      open_in_shell(a->settings.inbox_dir);
      break;
    case TRAY_STOP_ALLOWING:
      allowance_revoke_all(a->allowance);
      break;
    case TRAY_CHANGE_INBOX:
      change_inbox(a);
      break;
    case TRAY_START_WITH_WINDOWS:
      toggle_autostart();
      break;
    case TRAY_ABOUT:
      show_about(a);
      break;
    case TRAY_QUIT:
      DestroyWindow(owner);
      break;
    default:
      break;
  }
}
