#pragma once
// The desktop's answers to what sessions report: prompts for pairing and offers,
// notifications, the clipboard and progress. In unattended mode (--autotest) offers and
// pairing codes are accepted without asking and logged instead.
struct SessionEvents;

// Fills all eight callbacks.
void desktop_session_events(SessionEvents* events);
