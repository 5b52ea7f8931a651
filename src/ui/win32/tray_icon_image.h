#pragma once
// The agent's drawn icon as a Windows icon.
#include <windows.h>

// An n x n icon (1 <= n <= ICON_MAX_SIZE) from the portable drawing, with its real alpha
// channel; null when the colour bitmap cannot be made. The caller destroys it.
HICON make_tray_icon(int n);

// The sizes Windows asks for at the current DPI: the small-icon metric (tray icon and small
// class icon) and the icon metric (large class icon); 16 and 32 when a metric is unknown.
int small_icon_pixels();
int large_icon_pixels();
