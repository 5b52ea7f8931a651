#include "ui/tray_click_target.h"

#include <cstdio>

#include "platform/sync.h"

namespace {

struct ClickTarget {
  char path[kClickTargetMax + 1];
  int has_target;
};

ClickTarget g_target;

}  // namespace

void tray_click_target_set(Lock* lock, const char* target) {
  LockGuard hold(lock);
  if (target && target[0]) {
    snprintf(g_target.path, sizeof g_target.path, "%s", target);
    g_target.has_target = 1;
  } else {
    g_target.path[0] = '\0';
    g_target.has_target = 0;
  }
}

int tray_click_target_get(Lock* lock, char* out, size_t cap) {
  if (!out || cap == 0) return 0;
  LockGuard hold(lock);
  out[0] = '\0';
  if (!g_target.has_target) return 0;
  snprintf(out, cap, "%s", g_target.path);
  return 1;
}
