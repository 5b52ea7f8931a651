// The drawn icon as the PNG file the tray item names.
#include <glib/gstdio.h>

#include <cstdio>

#include "ui/gtk/gtk_parts.h"
#include "ui/gtk/icon_pixbuf.h"

namespace {

// Panels draw tray icons at 16 to 48 pixels; they scale this one down smoothly.
constexpr int kTrayFilePixels = 64;

}  // namespace

void gtk_icon_write_tray_file(char* dir, size_t cap) {
  if (!dir || cap == 0) return;
  snprintf(dir, cap, "%s/ferrylink-icon", g_get_user_runtime_dir());
  g_mkdir_with_parents(dir, 0700);
  GdkPixbuf* pb = gtk_icon_pixbuf(kTrayFilePixels);
  gchar* file = g_build_filename(dir, "ferrylink.png", nullptr);
  bool saved = pb && gdk_pixbuf_save(pb, file, "png", nullptr, nullptr);
  g_free(file);
  if (pb) g_object_unref(pb);
  if (!saved) dir[0] = '\0';
}
