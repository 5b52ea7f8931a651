#pragma once
// The tray icon's context menu on Windows and the commands it runs, on the window thread.
#include <windows.h>

struct AgentState;

// Builds the menu afresh at the mouse position, waits for the user's choice and runs the
// chosen command; returns when the command is done.
void tray_menu_show(AgentState* a, HWND owner);
// Asks the shell to open a folder or file as a double click in Explorer would. The result
// is not checked: a missing folder gets the shell's own error.
void open_in_shell(const char* utf8_path);
