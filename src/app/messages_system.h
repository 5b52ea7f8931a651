#pragma once
// The rows of the message table that each system words in its own way: the table's texts
// speak of Windows, the notification area and right-clicking the tray icon; the Linux
// build has rows that are true on a Linux desktop and on a terminal. One unit per system
// (messages_windows.cpp, messages_linux.cpp) defines this.
#include "app/messages.h"

// This system's row for the message (one text per language, as in the table), or null
// when the table's row is right here.
const char* const* message_system_row(int id);
