// The equaliser's loop built for AVX2 (this file is compiled with -mavx2 and
// without multiply-add contraction, so every lane rounds as the baseline build).
#include "fx/eq8_loop.h"

namespace tw::eq8 {

void run_kernel_avx2(const Eq8Kernel::Params& p, Eq8Memories& m, int stages, float* samples, std::int64_t frames,
                     bool stereo) {
    run_kernel(p, m, stages, samples, frames, stereo);
}

}  // namespace tw::eq8
