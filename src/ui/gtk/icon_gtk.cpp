// The drawn icon as GDK pixbufs, and as the PNG file the tray item names.
#include <glib/gstdio.h>

#include <cstdio>
#include <vector>

#include "ui/gtk/gtk_parts.h"
#include "ui/icon_image.h"

namespace {

// Panels draw tray icons at 16 to 48 pixels; they scale this one down smoothly.
constexpr int kTrayFilePixels = 64;

}  // namespace

GdkPixbuf* gtk_icon_pixbuf(int n) {
  std::vector<uint32_t> pixels(n > 0 && n <= ICON_MAX_SIZE ? static_cast<size_t>(n) * n : 0);
  if (pixels.empty() || icon_draw(n, pixels.data()) != 0) return nullptr;
  GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, n, n);
  if (!pb) return nullptr;
  guchar* rows = gdk_pixbuf_get_pixels(pb);
  int stride = gdk_pixbuf_get_rowstride(pb);
  // Both are straight (not premultiplied) alpha; only the byte order differs.
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      uint32_t px = pixels[static_cast<size_t>(y) * n + x];
      guchar* out = rows + y * stride + x * 4;
      out[0] = static_cast<guchar>(icon_red(px));
      out[1] = static_cast<guchar>(icon_green(px));
      out[2] = static_cast<guchar>(icon_blue(px));
      out[3] = static_cast<guchar>(icon_alpha(px));
    }
  }
  return pb;
}

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
