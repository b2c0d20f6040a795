// Distortion-Compressor (kind 3): each channel loses its low band (input minus
// a one-pole low-pass); what is left goes through a look-ahead gain computer
// whose gain follows the mean magnitude of a short window centred on each
// sample. Strong settings flatten the signal into distortion.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "fx/dsp/channel_passes.h"
#include "fx/effect_form.h"
#include "fx/kind_decl.h"
#include "fx/relayout_guard.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

class TCompTortion_form : public EffectForm {
public:
    static constexpr int kWorkLen = dsp::kWorkBufferLen;
    static constexpr int kPass = dsp::kWorkPass;  // frames per pass over one channel
    static constexpr int kRingLen = 501;
    static constexpr int kWriteStart = 398;     // i_write / i_add after a re-layout
    static constexpr std::int32_t kMaxWinLen = 101;
    static constexpr float kEnvFloor = 50.0f;

    // States of the `updating` guard.
    static constexpr std::int32_t kIdle = RelayoutGuard::kIdle;
    static constexpr std::int32_t kRelaying = RelayoutGuard::kRelaying;      // the UI is re-laying the window
    static constexpr std::int32_t kProcessing = RelayoutGuard::kProcessing;  // the audio thread is inside a buffer

    // Ring positions of one channel.
    struct RingIndices {
        std::int32_t i_write, i_add, i_out, i_sub;
    };

    // Builds the window's controls and sets the creation values. UI thread.
    TCompTortion_form();

    // Controls (designer names). Left column: Drive, Sharp, Distortion,
    // Color; right column: Crunch, Softness, Level.
    ui::Label Label_Drive;
    ui::ScrollBar ScrollBar_Drive;
    ui::Label Label_Sharp;
    ui::ScrollBar ScrollBar_Sharp;
    ui::Label Label_Distortion;
    ui::ScrollBar ScrollBar_Distortion;
    ui::Label Label_Color;
    ui::ScrollBar ScrollBar_Color;
    ui::Label Label_Popravka;
    ui::ScrollBar ScrollBar_Popravka;
    ui::Label Label_Softness2;
    ui::ScrollBar ScrollBar_Softness2;
    ui::Label Label_Level;
    ui::ScrollBar SkinScroll_Level;

    // Handlers. UI thread. ScrollBar_Softness2Change waits (without the audio
    // thread ever waiting) until no buffer is being processed, then re-lays
    // the window while the audio thread skips buffers.
    void ScrollBar_DriveChange();
    void ScrollBar_SharpChange();
    void ScrollBar_DistortionChange();
    void SkinScroll_LevelChange();
    void ScrollBar_PopravkaChange();
    void ScrollBar_Softness2Change();
    void ScrollBar_ColorChange();

    // Low cut and gain computer over one buffer in place; skips the buffer
    // (leaving it unprocessed) while the window is being re-laid. Audio thread.
    void CompTortion(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples);
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        CompTortion(frames, sample_rate, channels, samples);
    }

    // The gain curve: (u^e + S) / (u^2 + S), rounded to a 32-bit float. Any thread.
    static float comp_gain(float u, float e, float S);

    struct Settings {
        float gain_in, gain_out, sharp_s, dist_exp, crunch;
        std::int32_t win_len;
    };
    // A snapshot of the shared values for one buffer. Audio thread.
    Settings settings() const;
    // The gain computer over `count` samples of one channel's high band, in
    // place, with that channel's ring, envelope and indices. Audio thread.
    void Comp_Tortion(int count, float* buffer, std::array<float, kRingLen>& ring, float& envelope, RingIndices& idx,
                      const Settings& s);

    // Parameter record (56 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

    // Shared with the audio thread: single words, written whole.
    std::atomic<float> gain_in{1.0f};
    std::atomic<float> gain_out{1.0f};
    std::atomic<float> sharp_s{6.0e7f};
    std::atomic<float> dist_exp{1.25f};
    std::atomic<float> crunch{1.0f};
    std::atomic<std::int32_t> win_len{15};
    std::atomic<float> color{0.98f};
    // Re-layout guard: kIdle, kRelaying (UI) or kProcessing (audio).
    RelayoutGuard updating;

    // Audio-thread state (also rewritten by the re-layout, under the guard).
    float lp_state_l = 0.0f;
    float lp_state_r = 0.0f;
    std::array<float, kRingLen> ring_l{};
    std::array<float, kRingLen> ring_r{};
    float env_l = 0.0f;
    float env_r = 0.0f;
    RingIndices idx_l{398, 398, 391, 383};
    RingIndices idx_r{398, 398, 391, 383};
    static constexpr std::int32_t ring_last = kRingLen - 1;
    std::array<float, kWorkLen> low_buf{};
    std::array<float, kWorkLen> high_buf{};
    // The gain computer's power bases for one run (audio thread only); the
    // second serves the right channel in stereo.
    std::array<float, kWorkLen> base_buf{};
    std::array<float, kWorkLen> base_buf_r{};

    // Comp_Tortion over count <= kWorkLen samples: the ring and window walk
    // sample by sample, then the gains over the whole run. Audio thread.
    void comp_tortion_run(int count, float* buffer, std::array<float, kRingLen>& ring, float& envelope,
                          RingIndices& idx, const Settings& s);
    // After a NaN or infinity reached a channel: clears the filter memory and
    // the non-finite ring samples and recomputes the running sum. Audio thread.
    static void recover_channel(float& lp_state, std::array<float, kRingLen>& ring, float& envelope,
                                const RingIndices& idx);

private:
    // Both channels of n <= kPass interleaved frames: low cut, gain computer.
    void run_stereo_pass(float* samples, int n, float colour, const Settings& s);
    // One channel's pass (count <= kPass): low cut, gain computer.
    void run_channel(const dsp::ChannelPass& pass, float colour, float& lp_state, std::array<float, kRingLen>& ring,
                     float& envelope, RingIndices& idx, const Settings& s);
};

// Kind 3: name, entries and stored fields. Any thread.
KindDecl comptortion_kind();

}  // namespace tw
