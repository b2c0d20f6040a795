#include "engine/denormals.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace tw {

void enable_flush_to_zero() {
#if defined(__SSE__) || defined(__x86_64__)
    // FTZ (bit 15) and DAZ (bit 6) of MXCSR.
    _mm_setcsr(_mm_getcsr() | 0x8040u);
#elif defined(__aarch64__)
    unsigned long fpcr;
    __asm__ volatile("mrs %0, fpcr" : "=r"(fpcr));
    fpcr |= (1ul << 24);
    __asm__ volatile("msr fpcr, %0" : : "r"(fpcr));
#endif
}

}  // namespace tw
