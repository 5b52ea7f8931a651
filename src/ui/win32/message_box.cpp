#include <windows.h>

#include "ui/desktop.h"
#include "ui/win32/wide_text.h"

static_assert(BOX_YESNO == MB_YESNO && BOX_YESNOCANCEL == MB_YESNOCANCEL &&
              BOX_ICONERROR == MB_ICONERROR && BOX_ICONQUESTION == MB_ICONQUESTION &&
              BOX_ICONINFORMATION == MB_ICONINFORMATION);
static_assert(ANSWER_YES == IDYES && ANSWER_NO == IDNO && ANSWER_CANCEL == IDCANCEL &&
              ANSWER_OK == IDOK);

int show_message_box(const char* text, unsigned flags) {
  wchar_t wtext[2400];
  wchar_t wtitle[128];
  utf8_to_wide_field(text, wtext, 2400);
  utf8_to_wide_field("ferrylink", wtitle, 128);
  return MessageBoxW(nullptr, wtext, wtitle, flags | MB_SETFOREGROUND | MB_TOPMOST);
}

// The code stands in the text as it is; a message box has one font.
int show_pairing_box(const char* text, const char*) {
  return show_message_box(text, BOX_YESNO | BOX_ICONQUESTION);
}
