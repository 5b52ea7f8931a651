// The Windows desktop: the agent's icons and hidden window, the main thread's message loop,
// and the small services the session events use (beep, clipboard).
#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "app/agent_state.h"
#include "ui/desktop.h"
#include "ui/win32/agent_window.h"
#include "ui/win32/tray_icon_image.h"

void desktop_open_console() {
  if (AllocConsole()) {
    FILE* f = nullptr;
    freopen_s(&f, "CONOUT$", "w", stderr);
  }
}

void desktop_init(bool) { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

namespace {
constexpr int kSmallIconPixels = 16;  // tray and small class icon
constexpr int kLargeIconPixels = 32;  // large class icon
}  // namespace

int desktop_create(AgentState* a, InboxChanged) {
  a->small_icon = make_tray_icon(kSmallIconPixels);
  a->large_icon = make_tray_icon(kLargeIconPixels);
  return agent_window_create(a);
}

void desktop_run(AgentState*) {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void desktop_destroy(AgentState* a) {
  if (a->small_icon) DestroyIcon(static_cast<HICON>(a->small_icon));
  if (a->large_icon) DestroyIcon(static_cast<HICON>(a->large_icon));
  a->small_icon = a->large_icon = nullptr;
}

void play_question_beep() { MessageBeep(MB_ICONQUESTION); }

// The tray shows the notice; the text itself is on the clipboard.
void show_received_text(const char*, int, const char*) {}

void clipboard_put_text(const char* text) {
  int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (units < 1) return;
  if (!OpenClipboard(static_cast<HWND>(agent_state()->agent_window))) return;
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(units) * 2);
  if (mem) {
    if (void* p = GlobalLock(mem)) {
      MultiByteToWideChar(CP_UTF8, 0, text, -1, static_cast<wchar_t*>(p), units);
      GlobalUnlock(mem);
      EmptyClipboard();
      if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);  // else the clipboard owns it
    } else {
      GlobalFree(mem);
    }
  }
  CloseClipboard();
}
