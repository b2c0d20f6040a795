// What a window class holds of its kernel: the kernel itself, the UI thread's
// working copy of its parameters, and the snapshot that carries them to the
// audio thread whole.
//
//   class Tgain_form : public EffectForm, public KernelHost<GainKernel> {
//       void ScrollBar_Gain_MonoChange() { ...; params.mono_gain = *g; publish(); }
//       void process(...) { run_kernel({frames, sample_rate, channels, samples}); }
//   };
//
// A handler changes `params` and publishes; the audio thread picks the newest
// complete set up at its next block (param_snapshot.h). Several handlers that
// run for one user action (a record applied, a bar that moves its
// neighbours) publish once when wrapped in a PublishBatch.
#pragma once

#include "fx/audio_block.h"
#include "fx/param_snapshot.h"

namespace tw {

template <class Kernel>
class KernelHost {
public:
    using Params = typename Kernel::Params;

    // The UI thread's working copy: what the handlers have computed so far.
    Params params{};

    // Makes `params` the set the audio thread uses from its next block on
    // (at the end of the outermost PublishBatch when inside one). UI thread.
    void publish() {
        if (batch_depth_ > 0) {
            pending_ = true;
            return;
        }
        snapshot_.write(params);
    }

    // Runs the kernel on one block with the newest published set. Audio thread.
    void run_kernel(const AudioBlock& block) { kernel_.process(block, snapshot_.read()); }

    // The kernel: the audio thread's, or the UI thread's while no run can use
    // the instance (before it joins a chain, or with the chain held closed).
    Kernel& kernel() { return kernel_; }
    const Kernel& kernel() const { return kernel_; }

    // Collects the publications made while it lives into one. UI thread.
    class PublishBatch {
    public:
        explicit PublishBatch(KernelHost& host) : host_(host) { ++host_.batch_depth_; }
        ~PublishBatch() {
            if (--host_.batch_depth_ == 0 && host_.pending_) {
                host_.pending_ = false;
                host_.snapshot_.write(host_.params);
            }
        }
        PublishBatch(const PublishBatch&) = delete;
        PublishBatch& operator=(const PublishBatch&) = delete;

    private:
        KernelHost& host_;
    };

protected:
    KernelHost() = default;
    ~KernelHost() = default;

private:
    Kernel kernel_;
    ParamSnapshot<Params> snapshot_;
    int batch_depth_ = 0;
    bool pending_ = false;
};

}  // namespace tw
