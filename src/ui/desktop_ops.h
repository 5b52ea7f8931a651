#pragma once
// The Linux agent carries two desktops and picks one at start: the graphical one when a
// graphical session is there, the terminal one otherwise. Each fills this table with its
// implementations of the desktop primitives of desktop.h, which forward to the chosen one.
#include <cstdint>

#include "ui/desktop.h"


struct DesktopOps {
  int (*message_box)(const char* text, unsigned flags);
  int (*pairing_box)(const char* text, const char* code);
  int (*create)(AgentState* a, InboxChanged inbox_changed);
  void (*run)(AgentState* a);
  void (*destroy)(AgentState* a);
  void (*balloon)(const char* text, const char* click_target);
  void (*tray_tip)(const char* text);
  void (*question_beep)();
  int (*clipboard_put)(const char* text);
  void (*progress_report)(const char* peer_name, const char* path, uint64_t done,
                          uint64_t total, int percent);
  void (*progress_post_hide)();
  void (*received_text)(const char* peer_name, int kind, const char* text);
};

// The terminal desktop; always available.
const DesktopOps* console_desktop();
// The graphical desktop (GTK), initialised: null when this build has none, when there is no
// display or no session bus, or when GTK cannot open the display.
const DesktopOps* gtk_desktop_open();
