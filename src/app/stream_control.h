// The audio stream part of the main window: the device and format controls,
// START / STOP, the mixer-level bars, Increase / Decrease Delay, the latency
// threshold, and the latency measurement and guard run by the status timer.
// Toolkit-free: the main window binds its widgets to the control models below
// and calls the handlers; messages go through a Dialogs implementation.
//
// Every member function runs on the UI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/dialogs.h"
#include "engine/dsound.h"
#include "engine/waves.h"
#include "ui/button.h"
#include "ui/check_box.h"
#include "ui/combo_box.h"
#include "ui/radio_group.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

class StreamControl {
public:
    // Texts of the fallback output entry and of the messages.
    static constexpr const char* kFallbackOutput = "output: use this if other do not work";
    static constexpr int kMaxBufferFrames = 512;

    // Builds the controls at their design state. The stream variables start at
    // 48000 Hz, 2 channels, threshold 35 ms, not running. UI thread.
    StreamControl(WaveIn& waves, DSound& dsound, Dialogs& dialogs);

    // Controls (designer names; bounds are positions in the ~640 px main window).
    ui::ComboBox ComboBox_waveIn;
    ui::ComboBox ComboBox_waveOut;
    ui::RadioGroup rgSampleRate;           // "22050", "32075", "44100", "48000"; item 3
    ui::CheckBox cbStereo;                 // checked = 2 channels
    ui::Button BitBtn_Init;                // " START"
    ui::Button BitBtn_Reset;               // "STOP", disabled at start
    ui::Button spSkinButton19;             // "Increase Delay"
    ui::Button spSkinButton20;             // "Decrease Delay"
    ui::ScrollBar ScrollBar_waveInGain;    // vertical track bar 0..100, 50
    ui::ScrollBar ScrollBar_waveOutGain;   // vertical track bar 0..100, 50
    ui::ScrollBar TrackBar_Latency_Porog;  // track bar 1..50, 35
    ui::Label Label_Latency_Porog;         // "Latency"

    // First show of the main window: channels, sample rate, the input list,
    // the alternative output path when `usefastwdm` (from face.ini) is not 0,
    // then the output list. Run once. UI thread.
    void FormShow_device_lists(int usefastwdm);

    // Handlers (wired to the controls' events by the constructor; the front
    // end may also call them directly). UI thread.
    void BitBtn_InitClick();                  // START
    void BitBtn_ResetClick();                 // STOP
    void ComboBox_waveInChange();             // input device change
    void ComboBox_waveOutChange();            // nothing: START reads the selection
    void rgSampleRateClick();
    void cbStereoClick();
    void ScrollBar_waveInGainChange();
    void ScrollBar_waveOutGainChange();
    void spSkinButton19Click();               // Increase Delay
    void spSkinButton20Click();               // Decrease Delay
    void TrackBar_Latency_PorogChange();
    void TrackBar_Latency_PorogMouseEnter();
    void TrackBar_Latency_PorogMouseLeave();

    // The latency step of the 100 ms status timer, run whether or not audio
    // runs: measures the output queue, smooths it, drops one output buffer
    // when the queue's latency exceeds the threshold (and the whole excess at
    // once when the smoothed latency is above twice the threshold; once a
    // second, on the queue path, what the queue held throughout that second
    // beyond one buffer), and updates
    // `latency`: the queue plus what the sound system reports holding of the
    // input and output streams. UI thread.
    void status_tick();

    // Called by the threshold change with the new threshold (ms): the main
    // window moves the latency meter's third colour there. May be empty.
    std::function<void(int threshold_ms)> on_latency_threshold_changed;

    // Asked by every status tick while running: true when the sound system
    // closed a stream under us (e.g. the JACK server went away). The stream is
    // then stopped and the user told, so START can be pressed again. May be
    // empty.
    std::function<bool()> is_stream_lost;
    static constexpr const char* kStreamLostMessage =
        "The sound system closed the audio stream, so the audio was stopped. "
        "Check the audio device or server, then press START.";

    // Stream variables. UI thread.
    std::int32_t sample_rate() const { return sample_rate_; }
    std::int32_t channels() const { return channels_; }
    std::int32_t buffer_frames() const { return buffer_frames_; }
    std::int32_t latency_threshold() const { return latency_threshold_; }
    bool running() const { return running_ != 0; }
    // True while the stream runs input to output in one callback (both on
    // one JACK server): no queue latency is added.
    bool same_cycle() const { return running_ != 0 && dsound_.same_cycle(); }
    double smoothed_queue() const { return smoothed_queue_; }
    // Last measured latency in ms (read by the status display): the queue's
    // part plus the sound system's part.
    float latency() const { return latency_; }
    float queue_latency() const { return queue_latency_; }
    float device_latency() const { return device_latency_; }

    // The device layer this stream runs on (the status display reads levels).
    WaveIn& waves() { return waves_; }
    DSound& dsound() { return dsound_; }

    // Shut-down (close of the main window): stops the capture if running and
    // always closes the output. UI thread.
    void shut_down();

    // True once a fatal device error asked the program to end (the settings
    // are then not written, even when the Dialogs double returned). UI thread.
    bool program_ended() const { return program_ended_; }

private:
    std::int32_t selected_rate() const;
    // Runs the "program ends" path; returns so the caller can return.
    void end_program(const std::string& text, const std::string& detail);
    void back_to_stopped_after_failure();
    // Part of the status tick on the queue path: drops what the queue held
    // throughout the last second beyond one buffer.
    void trim_standing_queue();
    static constexpr int kLowWaterTicks = 10;

    WaveIn& waves_;
    DSound& dsound_;
    Dialogs& dialogs_;
    std::int32_t sample_rate_ = 48000;
    std::int32_t channels_ = 2;
    std::int32_t buffer_frames_ = 0;
    std::int32_t latency_threshold_ = 35;
    std::int32_t running_ = 0;
    WaveInDeviceList input_list_;
    WdmDeviceList output_list_;
    double smoothed_queue_ = 0.0;
    float latency_ = 0.0f;
    float queue_latency_ = 0.0f;
    float device_latency_ = 0.0f;
    std::int64_t low_water_ = -1;  // frames, over the ticks of the current second
    int low_ticks_ = 0;
    bool shown_ = false;
    bool program_ended_ = false;
    bool list_on_alternative_ = false;  // the output combo was filled from the alternative path
};

}  // namespace tw
