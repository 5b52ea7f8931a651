#pragma once
// The hidden agent window (class "ferrylinkAgentWnd", shown only, without a size, while its
// tray menu is open): hub of the tray icon, the timer and the progress window. Only the main
// thread touches it; worker threads post the private messages below. Destroying it ends the
// program.
#include <windows.h>

struct AgentState;

// Private messages of the agent window (WM_APP is 0x8000). The progress messages carry
// nothing: their payload waits in the progress state.
constexpr UINT WM_TRAY_CALLBACK = 0x8001;    // the shell, for the tray icon: lParam the event
constexpr UINT WM_PROGRESS_UPDATE = 0x8003;  // show or refresh the progress window
constexpr UINT WM_PROGRESS_HIDE = 0x8004;    // hide the progress window

constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerPeriodMs = 1000;

// Registers the class and creates the window with the agent's icons, registers
// "TaskbarCreated", adds the tray icon and starts the timer. 0 on success.
int agent_window_create(AgentState* a);
// Draws the agent's icons anew when the icon sizes of the current DPI differ from the ones
// they were drawn at, and gives the new ones to the window class and the tray icon.
// Implemented with the icons (desktop_win32.cpp).
void agent_icons_follow_dpi(AgentState* a);
// The window procedure (exposed so that tests can drive it with messages).
LRESULT CALLBACK agent_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
