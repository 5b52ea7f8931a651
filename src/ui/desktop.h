#pragma once
// What the agent shell needs from the desktop it runs on: the hidden agent window with its
// tray icon and message loop on Windows; on Linux the graphical desktop (ui/gtk: tray icon,
// dialogs, notifications) in a graphical session, the terminal (ui/console) otherwise.
// Everything here runs on the main thread unless stated.

#include <cstdint>

struct AgentState;

// Buttons and icons of show_message_box, with the values of the Windows message box.
enum : unsigned {
  BOX_OK = 0x0,
  BOX_YESNOCANCEL = 0x3,
  BOX_YESNO = 0x4,
  BOX_ICONERROR = 0x10,
  BOX_ICONQUESTION = 0x20,
  BOX_ICONINFORMATION = 0x40,
  BOX_DEFBUTTON2 = 0x100,  // the second button (No) is the default: Enter does not accept
};
// The answers of show_message_box.
enum : int { ANSWER_OK = 1, ANSWER_CANCEL = 2, ANSWER_YES = 6, ANSWER_NO = 7 };

// Shows a "ferrylink" message box and blocks the calling thread until it is answered;
// returns the answer. On a terminal the text goes to standard error and a question is asked
// when standard input is a terminal; without one, a question is answered No (a three-way
// question too: nothing is installed, nothing is deleted).
int show_message_box(const char* text, unsigned flags);
// The pairing question: a Yes/No box with the text, in which a desktop that can sets the
// code (the last place it occurs in the text) large. Any thread; blocks like
// show_message_box.
int show_pairing_box(const char* text, const char* code);

// Opens a console for --console and points standard error at it (Windows); the terminal is
// already there elsewhere.
void desktop_open_console();
// Set-up of the desktop on the main thread (COM on Windows). On Linux it chooses the
// desktop: the terminal when want_console is set or no graphical session is there, the
// graphical one otherwise.
void desktop_init(bool want_console);
// What the desktop's "Change inbox folder..." asks of the shell once the new folder is
// stored in the settings and saved: new sessions must use it (restart the listener).
typedef void (*InboxChanged)(AgentState* a);
// Draws the icons, creates the hidden agent window, adds the tray icon and starts the
// one-second timer. 0 on success. (The Windows menu still calls the shell itself and
// ignores inbox_changed.)
int desktop_create(AgentState* a, InboxChanged inbox_changed);
// Runs the main loop until the user quits (Windows: the window message loop; Linux: until
// SIGINT or SIGTERM).
void desktop_run(AgentState* a);
// Releases what desktop_create made that outlives the window (the icons).
void desktop_destroy(AgentState* a);

// Shows a notification (Windows: a balloon on the tray icon; Linux: a line on the terminal
// and in the log). With a click target, clicking it opens that folder or file. Any thread.
void show_balloon(const char* text, const char* click_target);

// The tray tooltip holds this many UTF-16 units; a longer text shows nothing at all.
enum : unsigned { TRAY_TIP_UNITS = 63 };
// Replaces the tray icon's tooltip (Linux: nothing to show). Any thread.
void set_tray_tip(const char* text);
// The short sound that goes with a question (Linux: none).
void play_question_beep();
// Puts a text on the clipboard (Linux: through GTK, or wl-copy or xclip from a terminal in a
// graphical session). Any thread. 0 when the text is there; -1 when it is not, with the
// reason in the log, so that the notice can say so.
int clipboard_put_text(const char* text);
// Where a transfer stands, for the progress window; cheap, never blocks on the window thread.
void progress_report(const char* peer_name, const char* path, uint64_t done, uint64_t total,
                     int percent);
// Hides the progress window (from a worker thread: by a posted message).
void progress_post_hide();
// Prints a received text or link where the user sees it (Linux: standard output).
void show_received_text(const char* peer_name, int kind, const char* text);
