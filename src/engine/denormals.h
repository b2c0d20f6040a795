// Flush-to-zero and denormals-are-zero for the calling thread, so filter and
// reverb tails never fall into slow denormal arithmetic. The live audio thread
// and the offline renderer both set it, so both give the same output.
#pragma once

namespace tw {

// Sets FTZ/DAZ on the calling thread; no system call. Any thread.
void enable_flush_to_zero();

}  // namespace tw
