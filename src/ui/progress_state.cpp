#include "ui/progress_state.h"

#include <cstdio>

#include "platform/sync.h"

namespace {

ProgressState g_progress = {{0}, {0}, 0, 0, -1, 0};

}  // namespace

ProgressState* progress_state() { return &g_progress; }

int progress_state_report(ProgressState* s, Lock* lock, const char* peer_name,
                          const char* file_path, uint64_t done, uint64_t total, int percent,
                          uint32_t now) {
  LockGuard hold(lock);
  snprintf(s->peer_name, sizeof s->peer_name, "%s", peer_name ? peer_name : "");
  snprintf(s->file_path, sizeof s->file_path, "%s", file_path ? file_path : "");
  s->done = done;
  s->total = total;
  uint32_t since = now - s->last_report_ms;  // unsigned: wraps with the tick counter
  s->last_report_ms = now;
  if (percent == s->last_percent && since <= kProgressRepostMs) return 0;
  s->last_percent = percent;
  return 1;
}

void progress_state_snapshot(ProgressState* s, Lock* lock, ProgressSnapshot* out) {
  LockGuard hold(lock);
  snprintf(out->peer_name, sizeof out->peer_name, "%s", s->peer_name);
  snprintf(out->file_path, sizeof out->file_path, "%s", s->file_path);
  out->done = s->done;
  out->total = s->total;
}

void progress_state_hidden(ProgressState* s, Lock* lock) {
  LockGuard hold(lock);
  s->last_percent = -1;
}

int progress_state_idle(ProgressState* s, Lock* lock, uint32_t now) {
  LockGuard hold(lock);
  return static_cast<uint32_t>(now - s->last_report_ms) > kProgressIdleHideMs;
}
