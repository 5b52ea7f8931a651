#pragma once
// How UTF-8 paths become the wide paths the file API takes.
#include <cstddef>

// The wide form of a UTF-8 path with every '/' turned into '\', in a buffer freed with
// free(); null when the text is not valid UTF-8 or converts to nothing. With long_prefix
// set, an absolute drive path gains "\\?\" (C:\x -> \\?\C:\x) and a network path becomes
// "\\?\UNC\server\share\x"; drive-relative (C:foo), relative and already prefixed paths are
// kept as they are.
wchar_t* fs_convert_path(const char* utf8, int long_prefix);

// Characters at the start of a converted path that name its root and are never created as
// folders: "\\?\C:\" (7), "\\?\UNC\server\share\" (through the share: a share cannot be
// made, only folders inside it), "C:\" (3); 0 for a relative path.
size_t fs_root_length(const wchar_t* path);

// 1 when a volume's file-system name is "FAT32" or "FAT" (any case), else 0.
int fs_is_fat_name(const wchar_t* fs_name);
