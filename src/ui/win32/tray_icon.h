#pragma once
// The agent's one tray icon (agent window, id 1), its tooltip and its balloons, all through
// the shell's notify-icon function. Balloons and the tooltip may be set from any thread.
#include <windows.h>
#include <shellapi.h>

// The shell's notify-icon record as of shell version 5, which the agent always uses: 936
// bytes in a 32-bit program, 952 in this 64-bit one (the same fields, wider handles). The
// icon never asks for a newer version, so its events arrive as plain mouse messages.
constexpr DWORD kNotifyIconRecordSize = NOTIFYICONDATAW_V2_SIZE;

// A zero-filled record for the agent's icon with the flags.
void notify_icon_record(NOTIFYICONDATAW* nid, UINT flags);

// Adds the icon with the agent's small icon, WM_TRAY_CALLBACK and the "ready" tooltip
// (message 8), whatever the tooltip showed before. The result is not checked.
void tray_icon_add();
void tray_icon_remove();
// Shows the agent's small icon anew (it was drawn again at another size).
void tray_icon_show_image();
