#pragma once
// The terminal desktop's notices, clipboard and received texts (notify_console.cpp), for
// the table of desktop_console.cpp.
#include <cstdint>

void console_balloon(const char* text, const char* click_target);
void console_tray_tip(const char* text);
void console_question_beep();
int console_clipboard_put(const char* text);
void console_progress_report(const char* peer_name, const char* path, uint64_t done,
                             uint64_t total, int percent);
void console_progress_post_hide();
void console_received_text(const char* peer_name, int kind, const char* text);
