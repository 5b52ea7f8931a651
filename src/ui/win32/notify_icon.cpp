#include "ui/win32/notify_icon.h"

#include <cstring>

#include "app/agent_state.h"

void notify_icon_record(NOTIFYICONDATAW* nid, UINT flags) {
  memset(nid, 0, sizeof *nid);
  nid->cbSize = kNotifyIconRecordSize;
  nid->hWnd = static_cast<HWND>(agent_state()->agent_window);
  nid->uID = 1;
  nid->uFlags = flags;
}
