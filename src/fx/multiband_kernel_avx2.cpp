// The multiband kernel built for AVX2 (this file is compiled with -mavx2).
#include "fx/multiband_kernel.h"

namespace tw::multiband {

void run_kernel_avx2(Work* const* w, float* const* x, int banks, int flags, int count) {
    run_banks(w, x, banks, flags, count);
}

}  // namespace tw::multiband
