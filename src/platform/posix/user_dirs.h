#pragma once
// Reading the desktop's user folders (~/.config/user-dirs.dirs) as xdg-user-dirs writes them:
//   XDG_DOCUMENTS_DIR="$HOME/Documents"
// Values are either "$HOME/..." or absolute paths; anything else is ignored.
#include <string>

// The folder the file's text names for key (e.g. "XDG_DOCUMENTS_DIR"), with $HOME replaced
// by home; the last valid line wins. Empty when the key is missing or its value unusable.
std::string user_dir_from_text(const std::string& text, const char* key, const std::string& home);
