#include "crypto/ct.h"

int ct_equal(const void* a, const void* b, size_t len) {
  const volatile uint8_t* x = static_cast<const volatile uint8_t*>(a);
  const volatile uint8_t* y = static_cast<const volatile uint8_t*>(b);
  uint8_t diff = 0;
  for (size_t i = 0; i < len; i++) diff |= x[i] ^ y[i];
  // 1 when diff is 0, without a data-dependent branch.
  return int((uint32_t(diff) - 1) >> 31);
}

void ct_wipe(void* p, size_t len) {
  volatile uint8_t* b = static_cast<volatile uint8_t*>(p);
  for (size_t i = 0; i < len; i++) b[i] = 0;
}
