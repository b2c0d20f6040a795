// A model made ready to play: its weights packed for the loops of nam_ops.h,
// its histories (WaveNet) or states (LSTM) allocated, settled on silence.
// Built whole on the UI thread; `process` then never allocates.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "fx/nam/nam_model.h"
#include "fx/nam/nam_ops.h"

namespace tw::nam {

class Dsp {
public:
    virtual ~Dsp() = default;
    // Runs the model on n samples (any n; full scale 1.0). `in` and `out` may
    // be the same. Audio thread (or the thread that owns the model).
    virtual void process(const float* in, float* out, int n) = 0;
    // Back to the state the model has after silence forever. UI thread while
    // no run can use it.
    virtual void settle() = 0;
    // True when the state holds a value that is not finite (then settle()
    // brings it back). Audio thread.
    virtual bool state_broken() const = 0;
};

struct DspOptions {
    Isa isa = Isa::Plain;
    bool fast_tanh = true;   // tanh as the rational approximation models are played with
};

// The model ready to play, settled. UI thread (allocates; throws
// std::bad_alloc when memory runs out).
std::unique_ptr<Dsp> make_dsp(const Model& model, const DspOptions& options);

}  // namespace tw::nam
