#include "terminal.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <cstdio>

bool stderr_is_terminal() { return _isatty(_fileno(stderr)) != 0; }
bool stdin_is_terminal() { return _isatty(_fileno(stdin)) != 0; }
void terminal_use_utf8() { SetConsoleOutputCP(CP_UTF8); }
#else
#include <unistd.h>

bool stderr_is_terminal() { return isatty(STDERR_FILENO) != 0; }
bool stdin_is_terminal() { return isatty(STDIN_FILENO) != 0; }
void terminal_use_utf8() {}
#endif
