#pragma once
// The progress panel: a small topmost window in the bottom-right corner of the work area
// that shows who is sending, the current file, the bytes so far and a bar. It never takes
// the focus and has no buttons. Everything here runs on the window thread; the reports
// come in through the progress state (worker threads only post messages).

// Creates the panel on first use, refreshes it from the progress state, shows it without
// activating it and puts it on top again. When the panel cannot be created the report is
// dropped; the next one tries again.
void progress_show();
// Hides the panel when it is visible; the next report redraws whatever its percentage.
void progress_hide();
// The timer's check: hides a visible panel once no report has come for more than 10 s.
void progress_idle_check();
// Destroys the panel (the agent window is going away).
void progress_window_destroy();
