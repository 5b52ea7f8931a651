#pragma once
// The units of the graphical Linux desktop and what they offer each other. GTK is used from
// the main thread only: worker threads hand their work over with gtk_main_post, and the
// ones that need an answer (questions) wait for it while the main loop stays live.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "ui/desktop.h"
#include "ui/gtk/icon_pixbuf.h"

struct AgentState;
struct Lock;

// --- desktop_gtk.cpp ---------------------------------------------------------------------
// Runs fn on the main thread from its loop (queued, also when called there). Any thread.
void gtk_main_post(std::function<void()> fn);
bool gtk_on_main_thread();
// The UI state lock of the agent (null until the desktop is created).
Lock* gtk_ui_lock();
// Ends the main loop: every open question is answered as if closed, later ones likewise.
void gtk_desktop_quit();
// Opens a folder or file with the desktop's default application. Main thread.
void gtk_open_path(const char* path);

// --- dialogs_gtk.cpp ---------------------------------------------------------------------
// A "ferrylink" dialog with the text and the buttons and icon of flags (BOX_*); blocks the
// caller until answered. On the main thread the loop keeps running meanwhile. `emphasis`,
// when not null, is set large where it last occurs in the text.
int gtk_ask(const char* text, unsigned flags, const char* emphasis);
// Answers every open question as closed (No, Cancel or OK) and every later one at once.
void gtk_dialogs_close_all();

// --- icon_gtk.cpp ------------------------------------------------------------------------
// Writes the icon as "<dir>/ferrylink.png" in a folder of the user's runtime directory, for
// the tray, and returns that folder in dir (empty on failure).
void gtk_icon_write_tray_file(char* dir, size_t cap);

// --- tray_gtk.cpp ------------------------------------------------------------------------
// inbox_changed is called after the user picked another inbox and it was saved.
void gtk_tray_create(AgentState* a, const char* icon_dir, InboxChanged inbox_changed);
// Rebuilds the menu when what it would show changed (allowances, minutes, autostart).
void gtk_tray_refresh();
// The tray item's title, which the panels show as its tooltip. Any thread.
void gtk_tray_set_tip(const char* text);
void gtk_tray_destroy();

// --- notify_gtk.cpp ----------------------------------------------------------------------
void gtk_notify_balloon(const char* text, const char* click_target);
int gtk_notify_clipboard_put(const char* text);
void gtk_notify_close();

// --- progress_gtk.cpp --------------------------------------------------------------------
void gtk_progress_report(const char* peer_name, const char* path, uint64_t done,
                         uint64_t total, int percent);
void gtk_progress_post_hide();
// Hides the window after kProgressIdleHideMs without a report (called every second).
void gtk_progress_idle_check();
void gtk_progress_destroy();
