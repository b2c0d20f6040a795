// Reverberator (kind 7): the input feeds parallel feedback comb filters, each
// with a one-pole low-pass in its feedback path; their sum, scaled by 0.2, is
// darkened by a one-pole low-pass ("Brightness"), delayed by a short output
// delay, multiplied by a gain and added to the dry signal. Mono runs twelve
// combs; in stereo each channel runs eight of its own.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "fx/effect_form.h"
#include "fx/kind_decl.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

class Treverb_form : public EffectForm {
public:
    static constexpr int kCombs = 12;
    static constexpr int kStereoCombs = 8;
    static constexpr int kCombRoom = 2501;      // entries of each comb line
    static constexpr int kPreRoom = 5000;       // entries of each output delay line
    static constexpr int kWorkLen = 2501;
    static constexpr int kPass = 2048;          // frames per pass over one channel
    static constexpr std::array<std::int32_t, kCombs> kCombLenL{1116, 1188, 1277, 1356, 1422, 1491,
                                                                 1557, 1617, 1669, 1747, 1811, 1901};
    static constexpr std::array<std::int32_t, kCombs> kCombLenR{1117, 1187, 1279, 1327, 1423, 1489,
                                                                 1559, 1613, 1693, 1741, 1823, 1889};

    // Builds the window's controls and sets the creation values. UI thread.
    Treverb_form();

    // Controls (designer names); each row is Mono, Left, Right.
    ui::Label Label_Gain_Mono, Label_Gain_Left, Label_Gain_Right;
    ui::ScrollBar ScrollBar_Gain_Mono, ScrollBar_Gain_Left, ScrollBar_Gain_Right;
    ui::Label Label_Mono_Delay, Label_Left_Delay, Label_Right_Delay;
    ui::ScrollBar ScrollBar_Mono_Delay, ScrollBar_Left_Delay, ScrollBar_Right_Delay;
    ui::Label Label_Mono_Decay, Label_Left_Decay, Label_Right_Decay;
    ui::ScrollBar ScrollBar_Mono_Decay, ScrollBar_Left_Decay, ScrollBar_Right_Decay;
    ui::Label Label_Mono_Brightness, Label_Left_Brightness, Label_Right_Brightness;
    ui::ScrollBar ScrollBar_Mono_Brightness, ScrollBar_Left_Brightness, ScrollBar_Right_Brightness;

    // Handlers. UI thread. The Mono handlers also move the Left and Right bars.
    void ScrollBar_Gain_MonoChange();
    void ScrollBar_Gain_LeftChange();
    void ScrollBar_Gain_RightChange();
    void ScrollBar_Mono_DelayChange();
    void ScrollBar_Left_DelayChange();
    void ScrollBar_Right_DelayChange();
    void ScrollBar_Mono_DecayChange();
    void ScrollBar_Left_DecayChange();
    void ScrollBar_Right_DecayChange();
    void ScrollBar_Mono_BrightnessChange();
    void ScrollBar_Left_BrightnessChange();
    void ScrollBar_Right_BrightnessChange();   // the hidden bar: does nothing

    // Adds the reverberation to a buffer in place, in passes of kPass frames.
    // Audio thread.
    void rever(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples);
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        rever(frames, sample_rate, channels, samples);
    }

    // Parameter record (96 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

    // Shared with the audio thread: single words, written whole.
    std::atomic<float> comb_damp{0.05f};
    std::atomic<float> comb_damp_inv{0.95f};
    std::atomic<float> tone_m{0.75f}, tone_l{0.75f}, tone_r{0.0f};
    std::atomic<std::int32_t> pre_len_m{10}, pre_len_l{10}, pre_len_r{10};
    std::atomic<float> rv_gain_m{1.0f}, rv_gain_l{1.0f}, rv_gain_r{1.0f};
    std::atomic<float> decay_m{0.75f}, decay_l{0.75f}, decay_r{0.75f};   // decay_m is stored, never processed

    // Audio-thread state: combs, output low-pass memories, output delay lines.
    std::array<float, kCombs> comb_store_l{}, comb_store_r{};
    std::array<std::array<float, kCombRoom>, kCombs> comb_buf_l{}, comb_buf_r{};
    std::array<std::int32_t, kCombs> comb_pos_l{}, comb_pos_r{};
    float tone_state_l = 0.0f, tone_state_r = 0.0f;
    std::array<float, kPreRoom> pre_line_l{}, pre_line_r{};
    std::int32_t pre_pos_l = 0, pre_pos_r = 0;
    std::array<float, kWorkLen> rv_work_l{}, rv_work_r{};

private:
    // One channel, `count` <= kPass samples every `stride` apart: combs, tone
    // low-pass, output delay, wet added to dry.
    struct Path {
        int combs;
        std::array<std::array<float, kCombRoom>, kCombs>& buf;
        std::array<float, kCombs>& store;
        std::array<std::int32_t, kCombs>& pos;
        const std::array<std::int32_t, kCombs>& len;
        float decay, tone, gain;
        std::int32_t pre_len;
        float& tone_state;
        std::array<float, kPreRoom>& pre_line;
        std::int32_t& pre_pos;
        std::array<float, kWorkLen>& work;
    };
    void run_channel(float* samples, int stride, int count, const Path& p);
};

// Kind 7: name, entries and stored fields. Any thread.
KindDecl reverb_kind();

}  // namespace tw
