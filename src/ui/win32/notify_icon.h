#pragma once
#include <windows.h>
#include <shellapi.h>

// The shell's notify-icon record as of shell version 5, which the agent always uses.
constexpr DWORD kNotifyIconRecordSize = 936;

// A zero-filled record for the agent's one tray icon (agent window, id 1) with the flags.
void notify_icon_record(NOTIFYICONDATAW* nid, UINT flags);
