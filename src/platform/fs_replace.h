#pragma once
// The one step of an atomic file write that each OS does its own way: moving the finished
// temporary file over the target. Internal to the platform layer.

// Moves tmp_path over target_path, replacing an existing target, and returns once the move
// is on disk. 0 on success, -1 on failure (the target is then unchanged).
int fs_replace_durably(const char* tmp_path, const char* target_path);
