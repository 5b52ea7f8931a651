// A GUI-subsystem program (no console of its own) that writes two lines through
// console_write_line and ends with exit code 7, for the redirection test.
#include <windows.h>

#include "platform/system.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  console_write_line("ok probe");
  console_write_line("SELFTEST OK (0 failures)");
  return 7;
}
