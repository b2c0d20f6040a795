#include "block_io.h"

#include "engine/denormals.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace tw::lv2 {

FlushToZeroScope::FlushToZeroScope() {
#if defined(__SSE__) || defined(__x86_64__)
    saved_ = _mm_getcsr();
#endif
    enable_flush_to_zero();
}

FlushToZeroScope::~FlushToZeroScope() {
#if defined(__SSE__) || defined(__x86_64__)
    _mm_setcsr(saved_);
#endif
}

}  // namespace tw::lv2
