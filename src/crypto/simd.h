#pragma once
// The x86 vector intrinsics for the accelerated kernels. GCC 12 reports the deliberately
// undefined pass-through operand of the AVX-512 intrinsics (_mm512_undefined_epi32) as
// uninitialised wherever they are inlined, so the warning is silenced for this header only.
#if defined(__x86_64__) || defined(__i386__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif
