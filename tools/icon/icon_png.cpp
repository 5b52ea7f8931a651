// Writes the agent's drawn icon as a PNG file of the given size: the install puts these
// into the hicolor icon theme, where menus and panels find the "ferrylink" icon.
// Usage: fl-icon-png SIZE FILE
#include <cstdio>
#include <cstdlib>

#include "ui/gtk/icon_pixbuf.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: fl-icon-png SIZE FILE\n");
    return 2;
  }
  GdkPixbuf* icon = gtk_icon_pixbuf(atoi(argv[1]));
  GError* error = nullptr;
  if (!icon || !gdk_pixbuf_save(icon, argv[2], "png", &error, nullptr)) {
    fprintf(stderr, "fl-icon-png: cannot write %s: %s\n", argv[2],
            error ? error->message : "size out of range");
    return 1;
  }
  g_object_unref(icon);
  return 0;
}
