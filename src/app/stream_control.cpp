#include "app/stream_control.h"

#include <algorithm>
#include <cstdlib>

#include "engine/effects.h"
#include "fx/unit_texts.h"

namespace tw {
namespace {
constexpr const char* kNoInput = "There is no sound input device";
constexpr const char* kNoOutputCombo = "Wdm sound output device not found";
constexpr const char* kNoOutputMessage = "There is no wdm sound output device";
constexpr const char* kNoStdOutputCombo = "Standard wdm sound output device not found";
constexpr const char* kNoStdOutputMessage = "There is no standard wdm sound output device";
constexpr const char* kCannotSelectStd = "Can not select standard wdm output device.";
constexpr const char* kCannotSelect = "Can not select wdm output device. Restart Tonewarp!";
constexpr const char* kCannotOpen = "Error: Can not open  ";
}  // namespace

StreamControl::StreamControl(WaveIn& waves, DSound& dsound, Dialogs& dialogs)
    : ComboBox_waveIn("ComboBox_waveIn", {345, 16, 285, 22}, "There is no wave input device"),
      ComboBox_waveOut("ComboBox_waveOut", {345, 44, 285, 22}, "wdm output device"),
      rgSampleRate("rgSampleRate", {345, 72, 180, 64}, "  Sampling Frequency (Hz)", {"22050", "32075", "44100", "48000"},
                   3, 2),
      cbStereo("cbStereo", {532, 80, 98, 20}, " Mono / Stereo", true),
      BitBtn_Init("BitBtn_Init", {345, 144, 115, 32}, " START"),
      BitBtn_Reset("BitBtn_Reset", {466, 144, 115, 32}, "STOP"),
      spSkinButton19("spSkinButton19", {345, 184, 115, 24}, "Increase Delay"),
      spSkinButton20("spSkinButton20", {466, 184, 115, 24}, "Decrease Delay"),
      ScrollBar_waveInGain("ScrollBar_waveInGain", {588, 144, 20, 120}, {0, 100, 50, 1, 10}, ui::Orientation::Vertical,
                           ui::BarStyle::TrackBar),
      ScrollBar_waveOutGain("ScrollBar_waveOutGain", {610, 144, 20, 120}, {0, 100, 50, 1, 10},
                            ui::Orientation::Vertical, ui::BarStyle::TrackBar),
      TrackBar_Latency_Porog("TrackBar_Latency_Porog", {405, 216, 176, 24}, {1, 50, 35, 1, 5},
                             ui::Orientation::Horizontal, ui::BarStyle::TrackBar),
      Label_Latency_Porog("Label_Latency_Porog", {345, 220, 58, 16}, "Latency"),
      waves_(waves),
      dsound_(dsound),
      dialogs_(dialogs) {
    ComboBox_waveIn.set_hint(" Audio Input Device  ");
    ComboBox_waveOut.set_hint(" Audio Output Device");
    BitBtn_Reset.set_enabled(false);

    ComboBox_waveIn.on_change = [this] { ComboBox_waveInChange(); };
    ComboBox_waveOut.on_change = [this] { ComboBox_waveOutChange(); };
    rgSampleRate.on_click = [this] { rgSampleRateClick(); };
    cbStereo.on_click = [this] { cbStereoClick(); };
    BitBtn_Init.on_click = [this] { BitBtn_InitClick(); };
    BitBtn_Reset.on_click = [this] { BitBtn_ResetClick(); };
    spSkinButton19.on_click = [this] { spSkinButton19Click(); };
    spSkinButton20.on_click = [this] { spSkinButton20Click(); };
    ScrollBar_waveInGain.on_change = [this] { ScrollBar_waveInGainChange(); };
    ScrollBar_waveOutGain.on_change = [this] { ScrollBar_waveOutGainChange(); };
    TrackBar_Latency_Porog.on_change = [this] { TrackBar_Latency_PorogChange(); };
    TrackBar_Latency_Porog.unit_text = [](int p) { return ms_text(p); };
}

std::int32_t StreamControl::selected_rate() const {
    const std::string t = rgSampleRate.selected_text();
    return t.empty() ? sample_rate_ : static_cast<std::int32_t>(std::atoi(t.c_str()));
}

void StreamControl::end_program(const std::string& text, const std::string& detail) {
    program_ended_ = true;
    dialogs_.message(text, detail);
    dialogs_.end_program(0);
}

void StreamControl::FormShow_device_lists(int usefastwdm) {
    if (shown_) return;
    shown_ = true;
    channels_ = cbStereo.checked() ? 2 : 1;
    dsound_.setup_stereo(channels_);
    sample_rate_ = selected_rate();

    input_list_ = waves_.get_waveIn_device_list();
    ComboBox_waveIn.clear();
    if (input_list_.highest < 0) {
        ComboBox_waveIn.set_text(kNoInput);
        BitBtn_Init.set_enabled(false);
    } else {
        for (std::int32_t i = 0; i <= input_list_.highest; ++i) ComboBox_waveIn.add_item(input_list_.names[i]);
        ComboBox_waveIn.set_item_index(0);
    }

    if (usefastwdm != 0) dsound_.setup_ks_prefered();

    list_on_alternative_ = dsound_.alternative_path();
    ComboBox_waveOut.clear();
    if (dsound_.get_wdm_wavout_device_list(&output_list_) != 0) {
        for (std::int32_t i = 0; i < output_list_.count; ++i) ComboBox_waveOut.add_item(output_list_.names[i]);
        ComboBox_waveOut.add_item(kFallbackOutput);
        ComboBox_waveOut.set_item_index(0);
    } else {
        ComboBox_waveOut.set_text(kNoOutputCombo);
        dialogs_.message(kNoOutputMessage, "");
    }
}

void StreamControl::back_to_stopped_after_failure() {
    BitBtn_Init.set_caption("START");
    BitBtn_Init.set_enabled(true);
    ComboBox_waveIn.set_enabled(true);
    ComboBox_waveOut.set_enabled(true);
    rgSampleRate.set_enabled(true);
    cbStereo.set_enabled(true);
}

void StreamControl::BitBtn_InitClick() {
    if (running_) return;
    BitBtn_Init.set_enabled(false);
    BitBtn_Init.set_caption("Wait...");

    channels_ = cbStereo.checked() ? 2 : 1;
    sample_rate_ = selected_rate();

    buffer_frames_ = waves_.get_min_buf_size_waveIn(sample_rate_, channels_);
    if (buffer_frames_ > kMaxBufferFrames) buffer_frames_ = kMaxBufferFrames;

    dsound_.setup_stereo(channels_);
    dsound_.setup_auto(1);
    dsound_.setup_delta_delta(150);
    dsound_.setup_freq_22_44(sample_rate_);
    dsound_.setup_latency(750);
    dsound_.setup_b_size(buffer_frames_);
    dsound_.setup_max_chorus_delay(0);
    dsound_.setup_bits_per_sample(16);

    if (ComboBox_waveOut.item_index() < 0) {
        // No output list (no device found at first show): say so and stay stopped.
        dialogs_.message(kNoOutputMessage, "");
        back_to_stopped_after_failure();
        return;
    }
    if (ComboBox_waveOut.text() == kFallbackOutput) {
        TrackBar_Latency_Porog.set_position(45);
        dsound_.setup_ks_prefered();
        if (dsound_.get_wdm_wavout_device_list(&output_list_) == 0) {
            ComboBox_waveOut.set_text(kNoStdOutputCombo);
            end_program(kNoStdOutputMessage, "");
            return;
        }
        if (dsound_.select_wdm_waveOut_device(0) == 0) {
            end_program(kCannotSelectStd, "");
            return;
        }
    } else {
        // A fallback START switched the device layer to the alternative path;
        // the combo's other entries index the list it was filled from.
        if (dsound_.alternative_path() != list_on_alternative_) {
            if (list_on_alternative_)
                dsound_.setup_ks_prefered();
            else
                dsound_.setup_standard_path();
            dsound_.get_wdm_wavout_device_list(&output_list_);
        }
        if (dsound_.select_wdm_waveOut_device(ComboBox_waveOut.item_index()) == 0) {
            end_program(kCannotSelect, "");
            return;
        }
    }

    // Input and output on one backend that runs both in one callback (one
    // JACK client, one ALSA device): the chain's output is played in the
    // cycle it came in.
    audio::AudioBackend* in_backend = waves_.selected_backend();
    dsound_.setup_same_cycle(in_backend != nullptr && in_backend == dsound_.selected_backend() &&
                             in_backend->one_cycle_duplex_pair(waves_.selected_device_name(),
                                                               dsound_.selected_device_name()));

    if (dsound_.WinMain1(nullptr) == -1) {
        dsound_.CloseDSound();
        dialogs_.message(kCannotOpen + ComboBox_waveOut.text() + " " + std::to_string(ComboBox_waveOut.item_index()),
                         dsound_.last_error());
        back_to_stopped_after_failure();
        return;
    }

    BitBtn_Init.set_enabled(false);
    ComboBox_waveIn.set_enabled(false);
    ComboBox_waveOut.set_enabled(false);
    rgSampleRate.set_enabled(false);
    cbStereo.set_enabled(false);

    if (waves_.setup_and_start_wave_In(sample_rate_, channels_, buffer_frames_, &process_chain, &DSound::out_to_dsound,
                                       &dsound_) != 0) {
        // The input could not run (a rate the device does not offer, a device
        // gone): close the output again and stay stopped.
        dsound_.CloseDSound();
        dialogs_.message(kCannotOpen + ComboBox_waveIn.text() + " " + std::to_string(ComboBox_waveIn.item_index()),
                         waves_.last_error());
        back_to_stopped_after_failure();
        return;
    }

    BitBtn_Reset.set_enabled(true);
    BitBtn_Init.set_caption("START");
    chain_active.store(1, std::memory_order_relaxed);
    running_ = 1;
}

void StreamControl::BitBtn_ResetClick() {
    running_ = 0;
    chain_active.store(0, std::memory_order_relaxed);
    BitBtn_Reset.set_enabled(false);
    waves_.stop_and_close_wave_in();
    dsound_.CloseDSound();
    BitBtn_Init.set_enabled(true);
    ComboBox_waveIn.set_enabled(true);
    ComboBox_waveOut.set_enabled(true);
    rgSampleRate.set_enabled(true);
    cbStereo.set_enabled(true);
}

void StreamControl::ComboBox_waveInChange() {
    if (running_) return;
    ComboBox_waveIn.set_enabled(false);
    waves_.select_waveIn_device(ComboBox_waveIn.item_index());
    ComboBox_waveIn.set_enabled(true);
}

void StreamControl::ComboBox_waveOutChange() {}

void StreamControl::rgSampleRateClick() {
    if (running_) return;
    sample_rate_ = selected_rate();
}

void StreamControl::cbStereoClick() { channels_ = cbStereo.checked() ? 2 : 1; }

void StreamControl::ScrollBar_waveInGainChange() { waves_.set_waveIn_level(100 - ScrollBar_waveInGain.position()); }

void StreamControl::ScrollBar_waveOutGainChange() { waves_.set_waveOut_level(100 - ScrollBar_waveOutGain.position()); }

void StreamControl::spSkinButton19Click() { dsound_.insert_buffer(); }

void StreamControl::spSkinButton20Click() { dsound_.skip_buffer(); }

void StreamControl::TrackBar_Latency_PorogChange() {
    latency_threshold_ = TrackBar_Latency_Porog.position();
    if (on_latency_threshold_changed) on_latency_threshold_changed(latency_threshold_);
    Label_Latency_Porog.set_caption(std::to_string(TrackBar_Latency_Porog.position()) + " ms");
}

void StreamControl::TrackBar_Latency_PorogMouseEnter() {
    Label_Latency_Porog.set_caption(std::to_string(TrackBar_Latency_Porog.position()) + " ms");
}

void StreamControl::TrackBar_Latency_PorogMouseLeave() { Label_Latency_Porog.set_caption("Latency"); }

void StreamControl::status_tick() {
    const double q = dsound_.get_audio_pos();
    double smoothed = 0.25 * q + 0.75 * smoothed_queue_;
    const double bytes_per_ms = sample_rate_ * 0.001 * channels_ * 2;
    float queue_ms = static_cast<float>(smoothed / bytes_per_ms);
    if (queue_ms > static_cast<float>(latency_threshold_)) {
        dsound_.skip_buffer();
        // A backlog far above the threshold (an output that began late, a
        // stalled sound server) would take many seconds to drain one buffer
        // per tick: the excess goes at once and the smoothing starts again
        // from the threshold.
        const double now_ms = q / bytes_per_ms;
        if (queue_ms > 2.0f * static_cast<float>(latency_threshold_) && now_ms > latency_threshold_) {
            dsound_.skip_frames(static_cast<std::int64_t>((now_ms - latency_threshold_) * sample_rate_ / 1000.0));
            smoothed = latency_threshold_ * bytes_per_ms;
            queue_ms = static_cast<float>(latency_threshold_);
        }
    }
    trim_standing_queue();
    smoothed_queue_ = smoothed;
    queue_latency_ = queue_ms;
    device_latency_ = running_ != 0 ? static_cast<float>(waves_.device_latency_ms() + dsound_.device_latency_ms()) : 0.0f;
    latency_ = queue_latency_ + device_latency_;
    if (running_ != 0 && is_stream_lost && is_stream_lost()) {
        BitBtn_ResetClick();
        dialogs_.message(kStreamLostMessage, "");
    }
}

void StreamControl::trim_standing_queue() {
    if (running_ == 0 || dsound_.same_cycle()) {
        low_water_ = -1;
        low_ticks_ = 0;
        dsound_.take_low_water();
        return;
    }
    const std::int64_t low = dsound_.take_low_water();
    if (low < 0) return;
    low_water_ = low_water_ < 0 ? low : std::min(low_water_, low);
    if (++low_ticks_ < kLowWaterTicks) return;
    // Audio the output never needed in a whole second is latency, not a
    // cushion: with two clocks, every stall of the output leaves some behind
    // for good. Keep one buffer of it.
    const std::int64_t keep = buffer_frames_ > 0 ? buffer_frames_ : 256;
    if (low_water_ > keep) dsound_.skip_frames(low_water_ - keep);
    low_water_ = -1;
    low_ticks_ = 0;
}

void StreamControl::shut_down() {
    if (BitBtn_Reset.enabled()) {
        waves_.stop_and_close_wave_in();
        running_ = 0;
        chain_active.store(0, std::memory_order_relaxed);
    }
    dsound_.CloseDSound();
}

}  // namespace tw
