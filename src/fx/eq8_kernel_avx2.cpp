// The equaliser's loop built for AVX2 (this file is compiled with -mavx2 and
// without multiply-add contraction, so every lane rounds as the baseline build).
#include "fx/eq8_kernel.h"

namespace tw::eq8 {

void run_kernel_avx2(Work& w, float* samples, std::int64_t frames, bool stereo) {
    run_kernel(w, samples, frames, stereo);
}

}  // namespace tw::eq8
