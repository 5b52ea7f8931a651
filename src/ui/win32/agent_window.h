#pragma once
// The hidden agent window (class "ferrylinkAgentWnd", never shown): hub of the tray icon, the
// timer and the progress window. Destroying it ends the program.
struct AgentState;

constexpr unsigned kTimerId = 1;
constexpr unsigned kTimerPeriodMs = 1000;

// Registers the class, creates the window, registers "TaskbarCreated", adds the tray icon and
// starts the timer. 0 on success.
int agent_window_create(AgentState* a);
void agent_window_release_icons(AgentState* a);
