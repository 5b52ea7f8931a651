#include <windows.h>
#include <shellapi.h>

#include "ui/desktop.h"
#include "ui/win32/notify_icon.h"
#include "ui/win32/wide_text.h"

void show_balloon(const char* text, const char*) {
  NOTIFYICONDATAW nid;
  notify_icon_record(&nid, NIF_INFO);
  utf8_to_wide_field(text, nid.szInfo, 256);
  utf8_to_wide_field("ferrylink", nid.szInfoTitle, 64);
  nid.dwInfoFlags = NIIF_INFO;
  nid.uTimeout = 8000;
  Shell_NotifyIconW(NIM_MODIFY, &nid);
}

void progress_report(const char*, const char*, uint64_t, uint64_t, int) {}

void progress_post_hide() {}
