#pragma once
// A failed property in a fuzz target: print what broke and abort, so libFuzzer keeps the
// input as a crash.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                  \
  do {                                                                                    \
    if (!(cond)) {                                                                        \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond);   \
      std::abort();                                                                       \
    }                                                                                     \
  } while (0)
