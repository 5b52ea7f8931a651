// The Windows desktop: the agent's icons and hidden window, the main thread's message loop,
// and the small services the session events use (beep, clipboard).
#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "app/agent_state.h"
#include "app/log.h"
#include "ui/desktop.h"
#include "ui/win32/agent_window.h"
#include "ui/win32/tray_icon.h"
#include "ui/win32/tray_icon_image.h"

void desktop_open_console() {
  if (AllocConsole()) {
    FILE* f = nullptr;
    freopen_s(&f, "CONOUT$", "w", stderr);
  }
}

void desktop_init(bool) { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

namespace {

// The sizes the icons were last drawn at.
int g_small_pixels, g_large_pixels;

// Draws both icons at the sizes of the current DPI: drawn at its own size an icon stays sharp,
// where a 16-pixel one stretched to 24 is blurred.
void draw_icons(AgentState* a) {
  g_small_pixels = small_icon_pixels();
  g_large_pixels = large_icon_pixels();
  a->small_icon = make_tray_icon(g_small_pixels);
  a->large_icon = make_tray_icon(g_large_pixels);
}

void destroy_icons(HICON small, HICON large) {
  if (small) DestroyIcon(small);
  if (large) DestroyIcon(large);
}

}  // namespace

int desktop_create(AgentState* a, InboxChanged) {
  draw_icons(a);
  return agent_window_create(a);
}

void agent_icons_follow_dpi(AgentState* a) {
  if (small_icon_pixels() == g_small_pixels && large_icon_pixels() == g_large_pixels) return;
  HICON old_small = static_cast<HICON>(a->small_icon), old_large = static_cast<HICON>(a->large_icon);
  draw_icons(a);
  HWND window = static_cast<HWND>(a->agent_window);
  SetClassLongPtrW(window, GCLP_HICONSM, reinterpret_cast<LONG_PTR>(a->small_icon));
  SetClassLongPtrW(window, GCLP_HICON, reinterpret_cast<LONG_PTR>(a->large_icon));
  tray_icon_show_image();
  destroy_icons(old_small, old_large);
}

void desktop_run(AgentState* a) {
  HWND agent = static_cast<HWND>(a->agent_window);
  MSG msg;
  // The run ends with the agent window. Quit chosen while a box of this thread is open (About)
  // destroys the window inside the box's own loop, and that loop may keep the quit message.
  while (IsWindow(agent) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void desktop_destroy(AgentState* a) {
  destroy_icons(static_cast<HICON>(a->small_icon), static_cast<HICON>(a->large_icon));
  a->small_icon = a->large_icon = nullptr;
}

void play_question_beep() { MessageBeep(MB_ICONQUESTION); }

// The tray shows the notice; the text itself is on the clipboard.
void show_received_text(const char*, int, const char*) {}

namespace {

constexpr int kClipboardTries = 10;
constexpr DWORD kClipboardRetryMs = 50;

// Another program may hold the clipboard open for a moment (a clipboard manager reading the
// last copy): it is asked again for about half a second.
bool open_clipboard(HWND owner) {
  for (int i = 0; i < kClipboardTries; ++i) {
    if (OpenClipboard(owner)) return true;
    Sleep(kClipboardRetryMs);
  }
  return false;
}

// The text as a movable global block for SetClipboardData; null on failure.
HGLOBAL wide_block(const char* text, int units) {
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(units) * 2);
  void* p = mem ? GlobalLock(mem) : nullptr;
  if (!p) {
    if (mem) GlobalFree(mem);
    return nullptr;
  }
  MultiByteToWideChar(CP_UTF8, 0, text, -1, static_cast<wchar_t*>(p), units);
  GlobalUnlock(mem);
  return mem;
}

// Logs why; the error code is taken before anything else can change it.
int clipboard_failed(const char* what, DWORD error = GetLastError()) {
  agent_log("text not copied to the clipboard: %s (error %lu)", what, error);
  return -1;
}

}  // namespace

int clipboard_put_text(const char* text) {
  int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (units < 1) return clipboard_failed("the text does not convert");
  if (!open_clipboard(static_cast<HWND>(agent_state()->agent_window))) {
    return clipboard_failed("another program holds the clipboard");
  }
  HGLOBAL mem = wide_block(text, units);
  if (!mem) {
    DWORD error = GetLastError();
    CloseClipboard();
    return clipboard_failed("no memory for the text", error);
  }
  EmptyClipboard();
  if (!SetClipboardData(CF_UNICODETEXT, mem)) {  // on success the clipboard owns the block
    DWORD error = GetLastError();
    GlobalFree(mem);
    CloseClipboard();
    return clipboard_failed("the clipboard refused the text", error);
  }
  CloseClipboard();
  return 0;
}
