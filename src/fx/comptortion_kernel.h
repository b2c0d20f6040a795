// The Distortion-Compressor's processing: each channel loses its low band
// (input minus a one-pole low-pass); what is left goes through a look-ahead
// gain computer whose gain follows the mean magnitude of a short window
// centred on each sample.
#pragma once

#include <array>
#include <cstdint>

#include "fx/audio_block.h"
#include "fx/dsp/channel_passes.h"

namespace tw {

class CompTortionKernel {
public:
    static constexpr int kWorkLen = dsp::kWorkBufferLen;
    static constexpr int kPass = dsp::kWorkPass;  // frames per pass over one channel
    static constexpr int kRingLen = 501;
    static constexpr std::int32_t kRingLast = kRingLen - 1;
    static constexpr int kWriteStart = 398;     // i_write / i_add after a re-layout
    static constexpr std::int32_t kMaxWinLen = 101;
    static constexpr float kEnvFloor = 50.0f;
    static constexpr float kRelayoutEnvelope = 0.001f;

    // What the audio thread reads, one set per block.
    struct Params {
        float gain_in = 1.0f;
        float gain_out = 1.0f;
        float sharp_s = 6.0e7f;
        float dist_exp = 1.25f;
        float crunch = 1.0f;
        std::int32_t win_len = 15;      // window the gain computer averages over
        float color = 0.98f;            // low-pass coefficient of the low cut
        // A re-layout of both channels' windows for `layout_len` samples is
        // asked for each time `relayout` changes; it is done before the block.
        std::uint32_t relayout = 0;
        std::int32_t layout_len = 15;
    };

    // Ring positions of one channel.
    struct RingIndices {
        std::int32_t i_write, i_add, i_out, i_sub;
    };
    // One channel's state: low-cut memory, ring, running sum and positions.
    struct Channel {
        float lp_state = 0.0f;
        std::array<float, kRingLen> ring{};
        float env = 0.0f;
        RingIndices idx{398, 398, 391, 383};
    };

    // The ring positions for a window of w samples. Any thread.
    static RingIndices layout_for(std::int32_t w);

    // Back to the creation state. UI thread, or audio thread.
    void reset();

    // Takes a re-layout `p` asks for, then (frames > 0) low cut and gain
    // computer over the block in place. Mono uses the left channel's state
    // only. Audio thread.
    void process(const AudioBlock& block, const Params& p);

    // After any re-layout `p` asks for, the gain computer alone over `count`
    // samples of one channel's high band (0 left or mono, 1 right), in place.
    // Audio thread.
    void gain_computer(int channel, int count, float* x, const Params& p);

    // The gain curve: (u^e + S) / (u^2 + S), rounded to a 32-bit float. Any thread.
    static float comp_gain(float u, float e, float S);

    // After a NaN or infinity reached a channel: clears the filter memory and
    // the non-finite ring samples and recomputes the running sum. Audio
    // thread (or any thread for a channel it owns).
    static void recover_channel(Channel& ch);

    // The left (or mono) and right channel states. Any thread that owns the kernel.
    const Channel& left() const { return left_; }
    const Channel& right() const { return right_; }

private:
    struct Settings {
        float gain_in, gain_out, sharp_s, dist_exp, crunch;
        std::int32_t win_len;
    };
    static Settings settings_of(const Params& p);
    void take_layout(const Params& p);
    // The gain computer over `count` samples in runs that fit the bases' buffer.
    void comp_tortion(int count, float* x, Channel& ch, const Settings& s);
    // Over count <= kWorkLen samples: the ring and window walk sample by
    // sample, then the gains over the whole run.
    void comp_tortion_run(int count, float* x, Channel& ch, const Settings& s);
    // Both channels of n <= kPass interleaved frames: low cut, gain computer.
    void run_stereo_pass(float* samples, int n, float colour, const Settings& s);
    // One channel's pass (count <= kPass): low cut, gain computer.
    void run_channel(const dsp::ChannelPass& pass, float colour, Channel& ch, const Settings& s);

    Channel left_;
    Channel right_;
    std::uint32_t relayout_seen_ = 0;
    std::array<float, kWorkLen> low_buf_{};
    std::array<float, kWorkLen> high_buf_{};
    // The gain computer's power bases for one run; the second serves the
    // right channel in stereo.
    std::array<float, kWorkLen> base_buf_{};
    std::array<float, kWorkLen> base_buf_r_{};
};

}  // namespace tw
