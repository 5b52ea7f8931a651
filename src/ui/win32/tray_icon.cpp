// The tray icon, tooltip and balloons of the Windows desktop. The notify-icon function may
// be called from any thread, so workers set the tooltip and balloons directly.
// The message table first: <windows.h> defines its LANG_* names as macros.
#include "app/messages.h"
#include "ui/win32/tray_icon.h"

#include <cstring>

#include "app/agent_state.h"
#include "ui/desktop.h"
#include "ui/tray_click_target.h"
#include "ui/win32/agent_window.h"
#include "ui/win32/wide_text.h"

namespace {

constexpr UINT kTrayIconId = 1;
constexpr UINT kBalloonTimeoutMs = 8000;

}  // namespace

void notify_icon_record(NOTIFYICONDATAW* nid, UINT flags) {
  memset(nid, 0, sizeof *nid);
  nid->cbSize = kNotifyIconRecordSize;
  nid->hWnd = static_cast<HWND>(agent_state()->agent_window);
  nid->uID = kTrayIconId;
  nid->uFlags = flags;
}

void tray_icon_add() {
  NOTIFYICONDATAW nid;
  notify_icon_record(&nid, NIF_MESSAGE | NIF_ICON | NIF_TIP);
  nid.uCallbackMessage = WM_TRAY_CALLBACK;
  nid.hIcon = static_cast<HICON>(agent_state()->small_icon);
  utf8_to_wide_field(message_text(MESSAGE_TIP_READY), nid.szTip, 64);
  Shell_NotifyIconW(NIM_ADD, &nid);
}

void tray_icon_remove() {
  NOTIFYICONDATAW nid;
  notify_icon_record(&nid, 0);
  Shell_NotifyIconW(NIM_DELETE, &nid);
}

void tray_icon_show_image() {
  NOTIFYICONDATAW nid;
  notify_icon_record(&nid, NIF_ICON);
  nid.hIcon = static_cast<HICON>(agent_state()->small_icon);
  Shell_NotifyIconW(NIM_MODIFY, &nid);
}

void set_tray_tip(const char* text) {
  NOTIFYICONDATAW nid;
  notify_icon_record(&nid, NIF_TIP);
  utf8_to_wide_field(text, nid.szTip, 64);
  Shell_NotifyIconW(NIM_MODIFY, &nid);
}

void show_balloon(const char* text, const char* click_target) {
  NOTIFYICONDATAW nid;
  notify_icon_record(&nid, NIF_INFO);
  utf8_to_wide_field(text, nid.szInfo, 256);
  utf8_to_wide_field("ferrylink", nid.szInfoTitle, 64);
  nid.dwInfoFlags = NIIF_INFO;
  nid.uTimeout = kBalloonTimeoutMs;
  // The target is in place before the balloon can be clicked.
  tray_click_target_set(agent_state()->ui_lock, click_target);
  Shell_NotifyIconW(NIM_MODIFY, &nid);
}
