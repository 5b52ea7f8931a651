#pragma once
// Comparison of secret bytes in time that depends only on the length.
#include <cstddef>
#include <cstdint>

// 1 when the len bytes of a and b are equal, else 0. Looks at every byte, no early exit.
int ct_equal(const void* a, const void* b, size_t len);
