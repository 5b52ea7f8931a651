#pragma once
// The desktop's answers to what sessions report: prompts for pairing and offers,
// notifications, the clipboard and progress. In unattended mode (--autotest) offers and
// pairing codes are accepted without asking and logged instead.
#include <cstddef>

struct SessionEvents;

// Fills all eight callbacks.
void desktop_session_events(SessionEvents* events);

// The tray tooltip while a transfer runs: message 9 with the peer name and the percentage,
// the name shortened in the middle so that the whole text fits TRAY_TIP_UNITS (and cap).
void progress_tip_text(const char* peer_name, int percent, char* tip, size_t cap);
