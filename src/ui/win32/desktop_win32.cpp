// The Windows desktop: the hidden agent window that owns the tray icon and the one-second
// timer, and the message loop of the main thread.
#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "app/agent_state.h"
#include "ui/desktop.h"
#include "ui/win32/agent_window.h"

void desktop_open_console() {
  if (AllocConsole()) {
    FILE* f = nullptr;
    freopen_s(&f, "CONOUT$", "w", stderr);
  }
}

void desktop_init() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

int desktop_create(AgentState* a) { return agent_window_create(a); }

void desktop_run(AgentState*) {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void desktop_destroy(AgentState* a) { agent_window_release_icons(a); }
