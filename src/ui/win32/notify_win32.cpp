// Tooltip, beep and clipboard of the Windows desktop. The notify-icon function may be called
// from any thread, so workers set the tooltip directly.
#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "app/agent_state.h"
#include "ui/desktop.h"
#include "ui/win32/notify_icon.h"
#include "ui/win32/wide_text.h"

void set_tray_tip(const char* text) {
  NOTIFYICONDATAW nid;
  notify_icon_record(&nid, NIF_TIP);
  utf8_to_wide_field(text, nid.szTip, 64);
  Shell_NotifyIconW(NIM_MODIFY, &nid);
}

void play_question_beep() { MessageBeep(MB_ICONQUESTION); }

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
      if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);
    } else {
      GlobalFree(mem);
    }
  }
  CloseClipboard();
}
