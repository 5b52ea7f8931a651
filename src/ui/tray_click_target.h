#pragma once
// What clicking the most recent balloon opens. Balloons are shown from worker threads and
// clicked on the window thread, so the slot is only touched under the UI state lock. Only
// the newest balloon counts: a balloon without a target clears the slot, and clicking an
// older balloon that is still on screen opens the newest one's target.
#include <cstddef>

struct Lock;

// Longest target kept, in bytes (longer ones are cut).
constexpr size_t kClickTargetMax = 1099;

// Records the target of the balloon just shown; null or "" means it has none.
void tray_click_target_set(Lock* lock, const char* target);
// Copies the current target into out (cut to cap - 1 bytes) and returns 1, or returns 0
// and leaves out empty when the newest balloon has none.
int tray_click_target_get(Lock* lock, char* out, size_t cap);
