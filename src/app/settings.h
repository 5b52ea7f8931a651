#pragma once
// config.ini: the agent's few user settings, read once at start and rewritten whole,
// atomically, whenever something that must survive a restart changes.

struct AgentSettings {
  char device_name[64];   // announced to phones; empty means the computer's name
  char inbox_dir[1024];   // empty is replaced at start-up by a default
  int auto_accept;        // kept and written back; nothing depends on it
  int lang;               // 0-9 picks a language; anything else follows the system
  int first_run_done;
  int intro_shown;
};

// Resets the record to the defaults, then applies the file. 0 when the file was read,
// -1 when it cannot be read (the defaults stay).
int settings_load(const char* path, AgentSettings* s);
// Replaces the file as a whole. 0 on success, -1 on failure (the old file stays); a text
// value holding CR or LF is refused that way, since the file has one value per line.
int settings_save(const char* path, const AgentSettings* s);
