#pragma once
// The agent's drawn icon as a Windows icon.
#include <windows.h>

// An n x n icon (16 or 32) from the portable drawing, with its real alpha channel; null
// when the colour bitmap cannot be made. The caller destroys it.
HICON make_tray_icon(int n);
