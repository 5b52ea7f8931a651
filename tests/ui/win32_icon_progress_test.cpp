// The Windows desktop's own windows and icons, in this process: the drawn icon as an HICON
// and the progress panel (its place, styles, lines, bar and hiding).
#include "app/messages.h"  // before <windows.h>, which defines LANG_* as macros
#include "ui/icon_image.h"  // before <windows.h>, which takes ICON_SMALL for a macro

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <string>
#include <vector>

#include "app/agent_state.h"
#include "platform/sync.h"
#include "ui/progress_state.h"
#include "ui/session_events.h"
#include "ui/win32/progress_window.h"
#include "ui/win32/tray_icon_image.h"
#include "ui/win32/wide_text.h"

namespace {

// The icon's colour bitmap read back as 32-bit top-down pixels.
std::vector<uint32_t> icon_pixels(HICON icon, int n, bool* has_mask) {
  ICONINFO ii = {};
  EXPECT_TRUE(GetIconInfo(icon, &ii));
  EXPECT_TRUE(ii.fIcon);
  *has_mask = ii.hbmMask != nullptr;
  std::vector<uint32_t> px(size_t(n) * n);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = n;
  bi.bmiHeader.biHeight = -n;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  HDC dc = GetDC(nullptr);
  EXPECT_EQ(GetDIBits(dc, ii.hbmColor, 0, UINT(n), px.data(), &bi, DIB_RGB_COLORS), n);
  ReleaseDC(nullptr, dc);
  DeleteObject(ii.hbmColor);
  DeleteObject(ii.hbmMask);
  return px;
}

TEST(TrayIconImage, TheIconCarriesTheDrawingWithItsAlpha) {
  // The small and the large icon at 96, 120, 144 and 192 DPI.
  for (int n : {16, 20, 24, 32, 40, 48, 64}) {
    HICON icon = make_tray_icon(n);
    ASSERT_NE(icon, nullptr) << n;
    bool has_mask = false;
    std::vector<uint32_t> got = icon_pixels(icon, n, &has_mask);
    std::vector<uint32_t> want(size_t(n) * n);
    ASSERT_EQ(icon_draw(n, want.data()), 0);
    EXPECT_TRUE(has_mask) << n;
    EXPECT_EQ(got, want) << n;
    // The corners are see-through and the centre of the stem is opaque white.
    EXPECT_EQ(icon_alpha(got[0]), 0u);
    DestroyIcon(icon);
  }
}

// The tooltip during a transfer from a phone with a long name converts into the notify-icon
// record's 64-unit field in every language (a text that does not fit would show nothing).
TEST(TrayTooltip, ALongPeerNameStillGivesATooltip) {
  const char* const names[] = {
      "Alexandra Konstantinopoulou-Papadopoulou's iPad Pro (2024)",
      "東京のとても長い名前の電話機東京のとても長い名前の電話機東京",
      "😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀",
  };
  for (int lang = 0; lang < LANGUAGE_COUNT; ++lang) {
    set_language(lang);
    for (const char* name : names) {
      char tip[128];
      progress_tip_text(name, 42, tip, sizeof tip);
      wchar_t field[64];
      utf8_to_wide_field(tip, field, 64);
      EXPECT_NE(field[0], L'\0') << "language " << lang << " name " << name;
      EXPECT_NE(wcsstr(field, L"42"), nullptr) << "language " << lang << " name " << name;
    }
  }
  set_language(0);
}

std::wstring text_of(HWND w) {
  wchar_t buf[1024] = L"";
  GetWindowTextW(w, buf, 1024);
  return buf;
}

std::wstring class_of(HWND w) {
  wchar_t buf[64] = L"";
  GetClassNameW(w, buf, 64);
  return buf;
}

struct Panel {
  HWND window = nullptr, title = nullptr, detail = nullptr, bar = nullptr;
};

Panel find_panel() {
  Panel p;
  p.window = FindWindowW(L"ferrylinkProgressWnd", nullptr);
  if (!p.window) return p;
  for (HWND c = GetWindow(p.window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (_wcsicmp(class_of(c).c_str(), L"Static") == 0) (p.title ? p.detail : p.title) = c;
    else p.bar = c;
  }
  return p;
}

// Lets the panel's own messages through (WM_SETTEXT and painting are sent, not posted).
void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

class ProgressPanel : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    AgentState* a = agent_state();
    a->module_instance = GetModuleHandleW(nullptr);
    if (!a->ui_lock) a->ui_lock = lock_create();
    set_language(0);  // English (<windows.h> has its own LANG_ENGLISH)
  }
  static void TearDownTestSuite() { progress_window_destroy(); }

  void report(const char* peer, const char* path, uint64_t done, uint64_t total) {
    int percent = total ? int(done * 100 / total) : 0;
    progress_state_report(progress_state(), agent_state()->ui_lock, peer, path, done, total,
                          percent, GetTickCount());
    progress_show();
    pump();
  }
};

TEST_F(ProgressPanel, ShowsInTheBottomRightCornerWithoutTakingTheFocus) {
  report("Anna", "photos/a.jpg", 1572864, 3145728);
  Panel p = find_panel();
  ASSERT_NE(p.window, nullptr);
  EXPECT_TRUE(IsWindowVisible(p.window));
  EXPECT_EQ(text_of(p.window), L"ferrylink");

  RECT area, r;
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
  GetWindowRect(p.window, &r);
  EXPECT_EQ(r.left, area.right - 374);
  EXPECT_EQ(r.top, area.bottom - 106);
  EXPECT_EQ(r.right - r.left, 360);
  EXPECT_EQ(r.bottom - r.top, 92);

  LONG style = GetWindowLongW(p.window, GWL_STYLE);
  LONG ex = GetWindowLongW(p.window, GWL_EXSTYLE);
  EXPECT_EQ(style & (WS_POPUP | WS_BORDER), WS_POPUP | WS_BORDER);
  EXPECT_EQ(style & WS_CAPTION, WS_BORDER) << "a border but no title bar";
  EXPECT_EQ(ex & (WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
            WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
  EXPECT_NE(GetForegroundWindow(), p.window);
  EXPECT_NE(GetActiveWindow(), p.window);

  ASSERT_TRUE(p.title && p.detail && p.bar);
  struct Child {
    HWND w;
    int x, y, width, height;
  } const children[] = {{p.title, 12, 8, 334, 18}, {p.detail, 12, 28, 334, 18},
                        {p.bar, 12, 54, 334, 16}};
  for (const Child& c : children) {
    RECT cr;
    GetWindowRect(c.w, &cr);
    MapWindowPoints(nullptr, p.window, reinterpret_cast<POINT*>(&cr), 2);
    EXPECT_EQ(cr.left, c.x);
    EXPECT_EQ(cr.top, c.y);
    EXPECT_EQ(cr.right - cr.left, c.width);
    EXPECT_EQ(cr.bottom - cr.top, c.height);
  }
  for (HWND line : {p.title, p.detail}) {
    LONG s = GetWindowLongW(line, GWL_STYLE);
    EXPECT_EQ(s & SS_NOPREFIX, SS_NOPREFIX);
    EXPECT_EQ(s & SS_ENDELLIPSIS, SS_ENDELLIPSIS);
  }
  EXPECT_EQ(_wcsicmp(class_of(p.bar).c_str(), PROGRESS_CLASSW), 0);
  EXPECT_EQ(SendMessageW(p.bar, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageW(p.bar, PBM_GETRANGE, FALSE, 0), 1000);
}

TEST_F(ProgressPanel, LinesAndBarFollowTheReport) {
  struct Case {
    const char* peer;
    const char* path;
    uint64_t done, total;
    const wchar_t* title;
    const wchar_t* detail;
    int bar;
  } const cases[] = {
      {"Anna", "photos/a.jpg", 1572864, 3145728, L"Receiving from Anna",
       L"photos/a.jpg  1.5 MB / 3.0 MB (50%)", 500},
      {"Anna", "", 1023, 4096, L"Receiving from Anna", L"1023 B / 4.0 KB (24%)", 249},
      {"Anna", "b.bin", 0, 0, L"Receiving from Anna", L"b.bin  0 B / 0 B (0%)", 0},
      {"Anna", "b.bin", 9000, 4096, L"Receiving from Anna", L"b.bin  4.0 KB / 4.0 KB (100%)",
       1000},
      {"", "c.txt", 1, 3, L"Receiving from ", L"c.txt  1 B / 3 B (33%)", 333},
      {"Ærøskøbing 東京", "日本/写真.jpg", 2048, 2048, L"Receiving from Ærøskøbing 東京",
       L"日本/写真.jpg  2.0 KB / 2.0 KB (100%)", 1000},
  };
  for (const Case& c : cases) {
    report(c.peer, c.path, c.done, c.total);
    Panel p = find_panel();
    ASSERT_NE(p.window, nullptr);
    EXPECT_EQ(text_of(p.title), c.title) << c.path;
    EXPECT_EQ(text_of(p.detail), c.detail) << c.path;
    EXPECT_EQ(SendMessageW(p.bar, PBM_GETPOS, 0, 0), c.bar) << c.path;
  }
}

// The width of a line's text in the line's own font.
int text_width(HWND line) {
  std::wstring text = text_of(line);
  HDC dc = GetDC(line);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(line, WM_GETFONT, 0, 0)));
  SIZE size = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(line, dc);
  return size.cx;
}

// A name too long for the line is shortened in the middle, so the counts and the percentage
// stay whole and the line needs no ellipsis at its end.
TEST_F(ProgressPanel, LongNamesGiveWayToTheCounts) {
  const std::string long_name = "Urlaubsfotos_Sommer_2024_" + std::string(150, 'x') +
                                "_IMG_20240715_183422_HDR.jpg";
  struct Case {
    std::string path;
    std::wstring counts, start;
  } const cases[] = {
      {long_name, L"69.0 MB / 300.0 MB (23%)", L"Urlaubsfotos_"},
      {"Geburtstagsüberraschung_für_Großmutter.jpeg", L"69.0 MB / 300.0 MB (23%)",
       L"Geburtstags"},
      {"東京タワーの夜景とスカイツリーの写真_2024年7月15日_" + std::string(40, 'z') + ".heic",
       L"69.0 MB / 300.0 MB (23%)", L"東京タワー"},
  };
  for (const Case& c : cases) {
    report("Anna", c.path.c_str(), 69 * 1048576ull, 300 * 1048576ull);
    Panel p = find_panel();
    ASSERT_NE(p.window, nullptr);
    std::wstring detail = text_of(p.detail);
    RECT line;
    GetClientRect(p.detail, &line);
    EXPECT_LE(text_width(p.detail), line.right) << c.path;
    ASSERT_GE(detail.size(), c.counts.size());
    EXPECT_EQ(detail.substr(detail.size() - c.counts.size()), c.counts) << c.path;
    EXPECT_EQ(detail.rfind(c.start, 0), 0u) << c.path;
    size_t dot = c.path.rfind('.');
    std::wstring ext(c.path.begin() + static_cast<long>(dot), c.path.end());
    std::wstring before_counts = detail.substr(0, detail.size() - c.counts.size() - 2);
    EXPECT_EQ(before_counts.substr(before_counts.size() - ext.size()), ext) << c.path;
  }
}

TEST_F(ProgressPanel, HidesWhenToldAndAfterTenSilentSeconds) {
  report("Anna", "a", 1, 2);
  Panel p = find_panel();
  ASSERT_TRUE(p.window && IsWindowVisible(p.window));

  // Five seconds without a report: the timer leaves it.
  progress_state()->last_report_ms = GetTickCount() - 5000;
  progress_idle_check();
  EXPECT_TRUE(IsWindowVisible(p.window));
  // Over ten seconds: the timer hides it and the next report shows it again.
  progress_state()->last_report_ms = GetTickCount() - 10500;
  progress_idle_check();
  EXPECT_FALSE(IsWindowVisible(p.window));
  EXPECT_EQ(progress_state()->last_percent, -1);

  report("Anna", "a", 1, 2);
  EXPECT_TRUE(IsWindowVisible(p.window));
  EXPECT_EQ(find_panel().window, p.window) << "the panel is made once and kept";
  progress_hide();
  EXPECT_FALSE(IsWindowVisible(p.window));
  EXPECT_EQ(progress_state()->last_percent, -1);
}

}  // namespace
