#include "ui/gtk/icon_pixbuf.h"

#include <vector>

#include "ui/icon_image.h"

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
