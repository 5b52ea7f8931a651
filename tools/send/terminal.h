#pragma once
// The few facts about the console the sender needs.

// True when the standard error stream is an interactive terminal (a progress bar can be
// redrawn in place there).
bool stderr_is_terminal();
// True when the standard input stream is an interactive terminal (a question can be asked).
bool stdin_is_terminal();
// Makes the console show UTF-8 text as such (Windows consoles default to another code page).
void terminal_use_utf8();
