#pragma once
// Handling of secret bytes: comparison in time that depends only on the length, and wiping.
#include <cstddef>
#include <cstdint>

// 1 when the len bytes of a and b are equal, else 0. Looks at every byte, no early exit.
int ct_equal(const void* a, const void* b, size_t len);

// Overwrites len bytes with zeros in a way the compiler may not drop as a dead store, so that
// key material does not outlive its use.
void ct_wipe(void* p, size_t len);
