#include "ui/win32/agent_window.h"

#include "app/agent_state.h"
#include "ui/tray_click_target.h"
#include "ui/win32/progress_window.h"
#include "ui/win32/tray_icon.h"
#include "ui/win32/tray_menu_win32.h"

namespace {

const wchar_t kClassName[] = L"ferrylinkAgentWnd";

// What the user did on the icon or one of its balloons.
void on_tray_event(HWND hwnd, UINT event) {
  AgentState* a = agent_state();
  switch (event) {
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
      tray_menu_show(a, hwnd);
      break;
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
      open_in_shell(a->settings.inbox_dir);
      break;
    case NIN_BALLOONUSERCLICK: {
      char target[kClickTargetMax + 1];
      if (tray_click_target_get(a->ui_lock, target, sizeof target)) open_in_shell(target);
      break;
    }
    default:
      break;
  }
}

void on_destroy(HWND hwnd) {
  progress_window_destroy();
  KillTimer(hwnd, kTimerId);
  tray_icon_remove();
  PostQuitMessage(0);
}

}  // namespace

LRESULT CALLBACK agent_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  UINT taskbar_created = agent_state()->taskbar_created_msg;
  if (taskbar_created != 0 && msg == taskbar_created) {
    // The notification area was made anew (the shell restarted): every icon is gone.
    tray_icon_add();
    return 0;
  }
  switch (msg) {
    case WM_TRAY_CALLBACK:
      on_tray_event(hwnd, static_cast<UINT>(lp));
      return 0;
    case WM_PROGRESS_UPDATE:
      progress_show();
      return 0;
    case WM_PROGRESS_HIDE:
      progress_hide();
      return 0;
    case WM_TIMER:
      progress_idle_check();
      return 0;
    case WM_DPICHANGED:
    case WM_DISPLAYCHANGE:
    case WM_SETTINGCHANGE:
      // The screen's scale may have changed: the icons follow it.
      agent_icons_follow_dpi(agent_state());
      return DefWindowProcW(hwnd, msg, wp, lp);
    case WM_ENDSESSION:
      // Only a session that really ends takes the icon; a cancelled log-off keeps it.
      if (wp) tray_icon_remove();
      return 0;
    case WM_DESTROY:
      on_destroy(hwnd);
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

int agent_window_create(AgentState* a) {
  HINSTANCE instance = static_cast<HINSTANCE>(a->module_instance);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = agent_window_proc;
  wc.hInstance = instance;
  wc.hIcon = static_cast<HICON>(a->large_icon);
  wc.hIconSm = static_cast<HICON>(a->small_icon);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);
  // A tool window: it never gets a taskbar button, also while the tray menu shows it.
  HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"ferrylink", WS_POPUP, 0, 0, 0, 0,
                              nullptr, nullptr, instance, nullptr);
  if (!hwnd) return -1;
  a->agent_window = hwnd;
  a->taskbar_created_msg = RegisterWindowMessageW(L"TaskbarCreated");
  tray_icon_add();
  SetTimer(hwnd, kTimerId, kTimerPeriodMs, nullptr);
  return 0;
}
