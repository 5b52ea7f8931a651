// The message table first: <windows.h> defines its LANG_* names as macros.
#include "app/messages.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "ui/desktop.h"
#include "ui/win32/wide_text.h"

static_assert(BOX_YESNO == MB_YESNO && BOX_YESNOCANCEL == MB_YESNOCANCEL &&
              BOX_ICONERROR == MB_ICONERROR && BOX_ICONQUESTION == MB_ICONQUESTION &&
              BOX_ICONINFORMATION == MB_ICONINFORMATION &&
              BOX_DEFBUTTON2 == MB_DEFBUTTON2);
static_assert(ANSWER_YES == IDYES && ANSWER_NO == IDNO && ANSWER_CANCEL == IDCANCEL &&
              ANSWER_OK == IDOK);

namespace {

constexpr size_t kButtonUnits = 32;

// The hook of the box that this thread is showing; boxes on other threads have their own.
thread_local HHOOK t_box_hook = nullptr;

// Width a button needs for its caption in its own font, with room on both sides.
int caption_width(HWND button) {
  wchar_t caption[kButtonUnits];
  int n = GetWindowTextW(button, caption, kButtonUnits);
  HDC dc = GetDC(button);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0)));
  RECT r = {0, 0, 0, 0};
  DrawTextW(dc, caption, n, &r, DT_CALCRECT | DT_SINGLELINE);
  TEXTMETRICW tm;
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(button, dc);
  return (r.right - r.left) + 4 * tm.tmAveCharWidth;
}

// The box sized its buttons for the system's words: when one of the new captions needs more,
// all buttons grow to that width (keeping their gaps), centred again, and the box grows
// when they no longer fit in it.
void fit_buttons(HWND box, HWND* buttons, int count) {
  int need = 0;
  for (int i = 0; i < count; ++i) need = std::max(need, caption_width(buttons[i]));
  RECT first, last;
  GetWindowRect(buttons[0], &first);
  GetWindowRect(buttons[count - 1], &last);
  int width = first.right - first.left;
  if (need <= width) return;
  int gap = count > 1 ? (last.left - first.left) / (count - 1) - width : 0;
  int row = count * need + (count - 1) * gap;
  RECT client, frame;
  GetClientRect(box, &client);
  GetWindowRect(box, &frame);
  int margin = gap > 0 ? gap : need / 4;  // kept free at either side of the row
  int grow = std::max(0, row + 2 * margin - static_cast<int>(client.right));
  if (grow > 0) {
    SetWindowPos(box, nullptr, frame.left - grow / 2, frame.top,
                 frame.right - frame.left + grow, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(box, &client);
  }
  POINT top = {first.left, first.top};
  ScreenToClient(box, &top);
  int x = (client.right - row) / 2;
  for (int i = 0; i < count; ++i, x += need + gap) {
    SetWindowPos(buttons[i], nullptr, x, top.y, need, first.bottom - first.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// Renames the buttons of the box once it has laid itself out (its dialog initialisation has
// returned) and before it is shown.
LRESULT CALLBACK box_hook(int code, WPARAM wp, LPARAM lp) {
  const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lp);
  if (code == HC_ACTION && call->message == WM_INITDIALOG) {
    HWND box = call->hwnd;
    struct {
      int id, button;
    } const words[] = {
        {IDYES, BUTTON_YES}, {IDNO, BUTTON_NO}, {IDCANCEL, BUTTON_CANCEL}, {IDOK, BUTTON_OK}};
    HWND buttons[4];
    int count = 0;
    for (const auto& w : words) {
      // Some systems keep every kind of button in the box and hide the unused ones.
      HWND button = GetDlgItem(box, w.id);
      if (!button || !(GetWindowLongW(button, GWL_STYLE) & WS_VISIBLE)) continue;
      char caption[kButtonUnits * 3];
      button_caption(w.button, '&', caption, sizeof caption);
      wchar_t wide[kButtonUnits];
      utf8_to_wide_field(caption, wide, kButtonUnits);
      SetWindowTextW(button, wide);
      buttons[count++] = button;
    }
    if (count > 0) fit_buttons(box, buttons, count);
  }
  return CallNextHookEx(t_box_hook, code, wp, lp);
}

}  // namespace

int show_message_box(const char* text, unsigned flags) {
  wchar_t wtext[2400];
  wchar_t wtitle[128];
  utf8_to_wide_field(text, wtext, 2400);
  utf8_to_wide_field("ferrylink", wtitle, 128);
  // The system would label the buttons in its own language; the hook gives them the
  // program's, the language of the text above them.
  t_box_hook = SetWindowsHookExW(WH_CALLWNDPROCRET, box_hook, nullptr, GetCurrentThreadId());
  int answer = MessageBoxW(nullptr, wtext, wtitle, flags | MB_SETFOREGROUND | MB_TOPMOST);
  if (t_box_hook) UnhookWindowsHookEx(t_box_hook);
  t_box_hook = nullptr;
  return answer;
}

// The code stands in the text as it is; a message box has one font. No is the default:
// Enter pressed by habit must not pair without comparing the codes.
int show_pairing_box(const char* text, const char*) {
  return show_message_box(text, BOX_YESNO | BOX_ICONQUESTION | BOX_DEFBUTTON2);
}
