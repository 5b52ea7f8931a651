// The message table first: <windows.h> defines its LANG_* names as macros.
#include "app/messages.h"
#include "ui/win32/progress_window.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>

#include "app/agent_state.h"
#include "ui/desktop.h"
#include "ui/format.h"
#include "ui/progress_layout.h"
#include "ui/progress_state.h"
#include "ui/win32/agent_window.h"
#include "ui/win32/wide_text.h"

namespace {

const wchar_t kPanelClass[] = L"ferrylinkProgressWnd";

constexpr int kBarRange = 1000;
constexpr size_t kLineUnits = 512;
constexpr UINT kNonClientMetricsSize = 500;  // the record without the Vista padding field

struct Panel {
  HWND window;
  HWND title;
  HWND detail;
  HWND bar;
  HFONT font;
  ProgressLayout layout;
};

Panel g_panel;

LRESULT CALLBACK panel_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CTLCOLORSTATIC) {
    // The text lines blend into the panel instead of sitting on grey boxes.
    HDC dc = reinterpret_cast<HDC>(wp);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

RECT work_area() {
  RECT r;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0)) {
    r = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return r;
}

HFONT message_font() {
  NONCLIENTMETRICSW ncm = {};
  ncm.cbSize = kNonClientMetricsSize;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSize, &ncm, 0)) {
    return nullptr;
  }
  return CreateFontIndirectW(&ncm.lfMessageFont);
}

HWND make_child(const wchar_t* cls, DWORD style, int y, int height, HINSTANCE instance) {
  return CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | style, g_panel.layout.line_x, y,
                         g_panel.layout.line_width, height, g_panel.window, nullptr, instance,
                         nullptr);
}

// A screen device context with the panel's font selected, for measuring the panel's text.
class PanelFontDc {
 public:
  PanelFontDc()
      : dc_(GetDC(nullptr)), old_(g_panel.font ? SelectObject(dc_, g_panel.font) : nullptr) {}
  ~PanelFontDc() {
    if (old_) SelectObject(dc_, old_);
    ReleaseDC(nullptr, dc_);
  }
  PanelFontDc(const PanelFontDc&) = delete;
  PanelFontDc& operator=(const PanelFontDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// The layout for the system DPI and the height of the panel's font.
ProgressLayout measure_layout() {
  PanelFontDc dc;
  TEXTMETRICW tm = {};
  GetTextMetricsW(dc.get(), &tm);
  return progress_layout(GetDeviceCaps(dc.get(), LOGPIXELSY), tm.tmHeight + tm.tmExternalLeading);
}

int text_width(HDC dc, const wchar_t* text) {
  SIZE size = {};
  GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
  return size.cx;
}

// The detail line in UTF-16, fitted to the line's width: when the whole path does not fit,
// the path is shortened in the middle (start and extension kept) to the longest form that
// does, so that the byte counts and the percentage always show whole.
void fit_detail(const ProgressSnapshot& now, wchar_t line[kLineUnits]) {
  auto detail_for = [&](const char* path) {
    char detail[420];
    progress_detail_text(path, now.done, now.total, detail, sizeof detail);
    utf8_to_wide_field(detail, line, kLineUnits);
  };
  detail_for(now.file_path);
  PanelFontDc dc;
  int room = g_panel.layout.line_width;
  if (text_width(dc.get(), line) <= room) return;
  // Binary search for the most units of the path that still fit: fewer never make it wider.
  size_t lo = 0, hi = utf16_length(now.file_path);
  char shortened[sizeof now.file_path];
  while (lo < hi) {
    size_t mid = (lo + hi + 1) / 2;
    shorten_middle(now.file_path, mid, shortened, sizeof shortened);
    detail_for(shortened);
    if (text_width(dc.get(), line) <= room) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  shorten_middle(now.file_path, lo, shortened, sizeof shortened);
  detail_for(shortened);
}

bool create_panel() {
  HINSTANCE instance = static_cast<HINSTANCE>(agent_state()->module_instance);
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = panel_proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kPanelClass;
  RegisterClassExW(&wc);  // fails harmlessly when an earlier attempt registered it
  if (!g_panel.font) g_panel.font = message_font();
  const ProgressLayout& l = g_panel.layout = measure_layout();

  RECT area = work_area();
  g_panel.window = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
                                   kPanelClass, L"ferrylink", WS_POPUP | WS_BORDER,
                                   area.right - l.right_gap, area.bottom - l.bottom_gap, l.width,
                                   l.height, nullptr, nullptr, instance, nullptr);
  if (!g_panel.window) return false;
  DWORD text_style = SS_NOPREFIX | SS_ENDELLIPSIS;
  g_panel.title = make_child(L"STATIC", text_style, l.title_y, l.line_height, instance);
  g_panel.detail = make_child(L"STATIC", text_style, l.detail_y, l.line_height, instance);
  g_panel.bar = make_child(PROGRESS_CLASSW, 0, l.bar_y, l.bar_height, instance);
  if (g_panel.font) {
    SendMessageW(g_panel.title, WM_SETFONT, reinterpret_cast<WPARAM>(g_panel.font), TRUE);
    SendMessageW(g_panel.detail, WM_SETFONT, reinterpret_cast<WPARAM>(g_panel.font), TRUE);
  }
  SendMessageW(g_panel.bar, PBM_SETRANGE32, 0, kBarRange);
  return true;
}


}  // namespace

void progress_show() {
  AgentState* a = agent_state();
  ProgressSnapshot now;
  progress_state_snapshot(progress_state(), a->ui_lock, &now);
  if (!g_panel.window && !create_panel()) return;

  char title[160];
  snprintf(title, sizeof title, message_text(MESSAGE_PROGRESS_TITLE), now.peer_name);
  wchar_t line[kLineUnits];
  utf8_to_wide_field(title, line, kLineUnits);
  SetWindowTextW(g_panel.title, line);
  fit_detail(now, line);
  SetWindowTextW(g_panel.detail, line);
  SendMessageW(g_panel.bar, PBM_SETPOS, progress_permille(now.done, now.total), 0);

  if (!IsWindowVisible(g_panel.window)) ShowWindow(g_panel.window, SW_SHOWNOACTIVATE);
  SetWindowPos(g_panel.window, HWND_TOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void progress_hide() {
  if (g_panel.window && IsWindowVisible(g_panel.window)) ShowWindow(g_panel.window, SW_HIDE);
  progress_state_hidden(progress_state(), agent_state()->ui_lock);
}

void progress_idle_check() {
  if (!g_panel.window || !IsWindowVisible(g_panel.window)) return;
  if (progress_state_idle(progress_state(), agent_state()->ui_lock, GetTickCount())) {
    progress_hide();
  }
}

void progress_window_destroy() {
  if (g_panel.window) DestroyWindow(g_panel.window);
  g_panel.window = g_panel.title = g_panel.detail = g_panel.bar = nullptr;
}

// Called on worker threads: store the report and, when the figure moved, wake the window
// thread. Never touches a window.
void progress_report(const char* peer_name, const char* path, uint64_t done, uint64_t total,
                     int percent) {
  AgentState* a = agent_state();
  if (progress_state_report(progress_state(), a->ui_lock, peer_name, path, done, total, percent,
                            GetTickCount()) &&
      a->agent_window) {
    PostMessageW(static_cast<HWND>(a->agent_window), WM_PROGRESS_UPDATE, 0, 0);
  }
}

void progress_post_hide() {
  if (HWND w = static_cast<HWND>(agent_state()->agent_window)) {
    PostMessageW(w, WM_PROGRESS_HIDE, 0, 0);
  }
}
