// The Flanger / Chorus's processing: each channel writes its input plus
// feedback into a 4096-sample ring and reads it back at a fractional position
// whose distance behind the write position sweeps in a triangle between about
// 1 and 301 samples; the interpolated delayed sample is mixed into the dry
// signal. "Chorus" sends the delayed sample through a further line of a
// settable length. Stereo runs one channel at a time through a work buffer in
// passes of kPass frames.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "fx/audio_block.h"
#include "fx/dsp/delay_line.h"

namespace tw {

class FlangerKernel {
public:
    // What the audio thread reads, one set per block. The names of the
    // stored values are the parameter record's.
    struct Params {
        float fl_level = 0.5f;
        float fl_feedback_l = 0.5f;
        float fl_feedback_r = 0.5f;
        std::int32_t chorus_len = 1800;   // chorus line positions used (both lines)
        bool chorus_on = false;
    };

    static constexpr int kRingLen = 4096;       // R
    static constexpr float kSweepTop = 300.0f;  // the sweep accumulator turns above this
    static constexpr int kWorkLen = 2049;
    static constexpr int kPass = kWorkLen - 1;  // stereo frames per pass
    static constexpr int kChorusRoom = 20001;   // entries of each chorus line
    static constexpr int kChorusPrimed = 15000; // entries holding 1.0 at creation
    static constexpr float kCreationSpeed = 0.0075f;   // matches no bar position

    FlangerKernel() { reset(); }

    // Back to the creation state of the rings, sweeps and chorus lines (the
    // first kChorusPrimed entries hold 1.0). The sweep steps keep their
    // values. UI thread while no run can use the kernel, or audio thread.
    void reset();

    // Flanges the block in place: mono with the left state, stereo each
    // channel with its own. Audio thread.
    void process(const AudioBlock& block, const Params& p);

    // The flanger step over `count` contiguous samples with the left (chorus
    // line 0) / right (chorus line 1) state. Audio thread.
    void Flanger_RT(int count, float* buffer, const Params& p);
    void Flanger_RT1(int count, float* buffer, const Params& p);
    // Passes one sample through chorus line `line` (0 or 1) of `len`
    // positions and returns the sample stored there `len` samples ago.
    // Audio thread.
    float delay_d(int line, float value, std::int32_t len);

    // The signed sweep step of side 0 (left, mono) or 1 (right). The audio
    // thread reads it every sample and negates it when the sweep turns (only
    // if the window has not set a new one since the read); the window sets
    // it, and its step takes effect from the next sample. Any thread.
    float speed(int side) const { return speed_[side & 1].load(std::memory_order_relaxed); }
    // Sets the sweep step of `side`. UI thread.
    void set_speed(int side, float s) { speed_[side & 1].store(s, std::memory_order_relaxed); }

    // A channel's sweep as the last pass left it (side 0 left, 1 right):
    // the fractional read position, the write position, the sweep
    // accumulator and the ring index read. Any thread that owns the kernel.
    float read_position(int side) const { return ch_[side & 1].read; }
    std::int32_t write_position(int side) const { return ch_[side & 1].write; }
    float sweep(int side) const { return ch_[side & 1].sweep; }
    std::int32_t read_index(int side) const { return ch_[side & 1].index; }
    // What entry i of chorus line `line` holds. Any thread that owns the kernel.
    float chorus_at(int line, std::int32_t i) const { return chorus_line_[line & 1].at(i); }

private:
    struct Channel {
        dsp::DelayLine<float, kRingLen> ring;
        float read = 0.0f;
        float last = 0.0f;
        std::int32_t write = 301;
        std::int32_t index = 1;
        std::int32_t next = 0;
        float sweep = 0.001f;
    };

    void flange(int side, int count, float* buffer, float feedback, const Params& p);

    std::array<Channel, 2> ch_{};
    std::array<std::atomic<float>, 2> speed_{kCreationSpeed, kCreationSpeed};
    std::array<float, kWorkLen> work_{};
    std::array<dsp::DelayLine<float, kChorusRoom>, 2> chorus_line_{};
    std::array<std::int32_t, 2> chorus_pos_{1, 1};
};

}  // namespace tw
