#pragma once
#include <windows.h>
#include <shellapi.h>

// The shell's notify-icon record as of shell version 5, which the agent always uses: 936
// bytes in a 32-bit program, 952 in this 64-bit one (the same fields, wider handles).
constexpr DWORD kNotifyIconRecordSize = NOTIFYICONDATAW_V2_SIZE;

// A zero-filled record for the agent's one tray icon (agent window, id 1) with the flags.
void notify_icon_record(NOTIFYICONDATAW* nid, UINT flags);
