#pragma once
// The agent's drawn icon as a GDK pixbuf: for the window icons and notifications of the
// graphical desktop, and for the icon files the install puts into the icon theme.
#include <gdk-pixbuf/gdk-pixbuf.h>

// The icon at n x n pixels (straight RGBA), or null when n is outside 1..ICON_MAX_SIZE or
// memory is short. The caller owns the reference.
GdkPixbuf* gtk_icon_pixbuf(int n);
