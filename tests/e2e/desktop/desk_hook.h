#pragma once
// Requests between the desktop test driver and its hook library (see desk_hook.cpp).
#include <windows.h>

// The registered message that carries a request (lParam) to one of the agent's windows.
constexpr const wchar_t* kDeskHookRequestName = L"ferrylink-desk-hook-request";
constexpr LPARAM kDeskHookDumpMenu = 1;    // to a popup menu window
constexpr LPARAM kDeskHookEndMenu = 2;     // to a popup menu window
constexpr LPARAM kDeskHookPickFolder = 3;  // to a folder picker; the folder is the sink's title
constexpr LPARAM kDeskHookIconSizes = 4;   // to the agent window: its class icons' sizes
constexpr LPARAM kDeskHookPanelFit = 5;    // to the progress panel: its lines' text widths
// dwData of the WM_COPYDATA answer (UTF-8 text).
constexpr ULONG_PTR kDeskHookReply = 0x464C0100;
