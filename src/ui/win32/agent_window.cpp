#include "ui/win32/agent_window.h"

#include <windows.h>

#include "app/agent_state.h"

namespace {

const wchar_t kClassName[] = L"ferrylinkAgentWnd";

LRESULT CALLBACK agent_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_DESTROY:
      KillTimer(hwnd, kTimerId);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

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
  HWND hwnd = CreateWindowExW(0, kClassName, L"ferrylink", WS_POPUP, 0, 0, 0, 0, nullptr,
                              nullptr, instance, nullptr);
  if (!hwnd) return -1;
  a->agent_window = hwnd;
  a->taskbar_created_msg = RegisterWindowMessageW(L"TaskbarCreated");
  SetTimer(hwnd, kTimerId, kTimerPeriodMs, nullptr);
  return 0;
}

void agent_window_release_icons(AgentState* a) {
  if (a->small_icon) DestroyIcon(static_cast<HICON>(a->small_icon));
  if (a->large_icon) DestroyIcon(static_cast<HICON>(a->large_icon));
  a->small_icon = a->large_icon = nullptr;
}
