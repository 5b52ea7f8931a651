// The drawing first: <windows.h> defines ICON_SMALL as a macro.
#include "ui/icon_image.h"
#include "ui/win32/tray_icon_image.h"

#include <cstdint>

namespace {

int metric_pixels(int metric, int fallback) {
  int n = GetSystemMetrics(metric);
  return n >= 1 && n <= ICON_MAX_SIZE ? n : fallback;
}

}  // namespace

int small_icon_pixels() { return metric_pixels(SM_CXSMICON, 16); }
int large_icon_pixels() { return metric_pixels(SM_CXICON, 32); }

HICON make_tray_icon(int n) {
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);  // 40
  bi.bmiHeader.biWidth = n;
  bi.bmiHeader.biHeight = -n;  // top-down rows, as the drawing lays them out
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP color = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!color || !bits) {
    if (color) DeleteObject(color);
    return nullptr;
  }
  // The drawing's pixels are already B, G, R, A bytes with straight alpha.
  icon_draw(n, static_cast<uint32_t*>(bits));
  GdiFlush();
  // With a 32-bit colour bitmap the alpha channel decides; the mask only has to exist.
  HBITMAP mask = CreateBitmap(n, n, 1, 1, nullptr);
  ICONINFO ii = {};
  ii.fIcon = TRUE;
  ii.hbmMask = mask;
  ii.hbmColor = color;
  HICON icon = CreateIconIndirect(&ii);
  if (mask) DeleteObject(mask);
  DeleteObject(color);
  return icon;
}
