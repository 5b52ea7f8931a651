#pragma once
// Linux only: reaching the process that holds a single-instance guard (system.h).

// Asks the process holding the guard of that name to quit (SIGTERM, as a desktop's stop
// does) and waits at most wait_ms for the guard to be free. 1 when one held it and has let
// go, 0 when nobody held it, -1 when it is still held.
int instance_stop_holder(const char* name, int wait_ms);
