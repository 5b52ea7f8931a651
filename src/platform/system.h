#pragma once
// System facts and process services: known folders, environment, names, language, version,
// the standard output handle and the one-copy-per-user guard.
#include <cstddef>
#include <cstdint>

enum KnownFolder {
  FOLDER_APPDATA,        // roaming application data (Linux: XDG config home)
  FOLDER_LOCAL_APPDATA,  // local application data (Linux: XDG data home)
  FOLDER_DOCUMENTS,      // documents (Linux: XDG documents folder, else ~/Documents)
  FOLDER_DESKTOP,        // desktop directory (Linux: XDG desktop folder, else ~/Desktop)
};

// The folder's current path in UTF-8, created when missing. On any failure the buffer holds
// the empty text; the last byte is always a terminator.
void known_folder_utf8(int folder, char* buf, size_t cap);

// An environment variable in UTF-8: 0 and the value, or -1 when it is missing, empty or
// does not fit (the buffer then holds the empty text).
int env_utf8(const char* name, char* buf, size_t cap);

// The computer's name in UTF-8 (Windows: GetComputerNameW into 16 characters). -1 on failure.
int computer_name_utf8(char* buf, size_t cap);

// The user's UI language as a Windows language id (Linux: derived from LC_ALL, LC_MESSAGES,
// LANG, e.g. ja -> 0x0411); 0x0409 when nothing tells.
uint16_t ui_language_id();

// The self-test's line about the operating system, e.g. "info windows 10.0 build 19045".
void os_info_line(char* buf, size_t cap);

// Makes large freed blocks (a transfer's buffers and item records) go back to the system.
// Linux's allocator otherwise raises its thresholds with every large block freed and from then
// on keeps such blocks in the heap of the thread that freed them: an agent whose connections
// each run on a new thread would end up holding them once per thread. Nothing to do on
// Windows. Called once, before any thread starts.
void memory_return_large_blocks();

// How many files the process may keep open for a while beyond what it needs anyway: half
// of what it may open at all. On Linux it first raises its own limit as far as the system
// allows, up to 16384 (many desktops start programs with 1024), and grows its table of
// open files to hold them: growing it later, once threads run, waits every time for all
// processors to pass a quiet point, tens of milliseconds on a busy machine. Windows has no
// such limit for file handles. Called once, before any thread starts.
int open_files_to_spare();

// Full path of the running program file in UTF-8. -1 on failure.
int program_path_utf8(char* buf, size_t cap);

// Writes the text and "\r\n" to the process's standard output handle; nothing when the
// process has none.
void console_write_line(const char* text);

// Guards one running copy per user session (Windows: the named mutex; Linux: an flock'ed
// file in the runtime folder). Returns the guard, or null when none could be made; sets
// *already_running to 1 when another copy holds it (the guard is then still returned and
// must be released).
struct InstanceGuard;
InstanceGuard* instance_guard_acquire(const char* name, int* already_running);
void instance_guard_release(InstanceGuard* g);  // null allowed
