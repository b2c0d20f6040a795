// The tuner window without a toolkit: its controls ("Mute while tuning", the
// reference pitch A4 bar and its label), the main window's "Tuner" button,
// the tuner thread, and the reading the window draws. Opening the tuner
// starts the thread (which reads the input before the input level and the
// chain); closing it stops the thread and lifts the mute.
//
// Settings: TunerSettings (app/tuner_settings.h) is what face.ini keeps; the
// main form reads it with settings() at shut-down and gives it back with
// apply_settings() at start-up.
//
// Threads: UI thread only (the thread inside is the tuner's own).
#pragma once

#include <functional>

#include "app/tuner_note.h"
#include "app/tuner_settings.h"
#include "app/tuner_thread.h"
#include "engine/waves.h"
#include "ui/button.h"
#include "ui/check_box.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

class TunerForm {
public:
    static constexpr int kClientWidth = 420;
    static constexpr int kClientHeight = 300;

    explicit TunerForm(WaveIn& waves);
    ~TunerForm() { close(); }
    TunerForm(const TunerForm&) = delete;
    TunerForm& operator=(const TunerForm&) = delete;

    // In the main window (main window pixels): opens the tuner.
    ui::Button Button_Tuner;
    // In the tuner window (its design pixels; the drawing fills the rest).
    ui::CheckBox CheckBox_Mute;  // "Mute while tuning", unchecked
    ui::ScrollBar ScrollBar_A4;  // 415..466, 440
    ui::Label Label_A4;          // "A4 = 440 Hz"

    // Opens the tuner (starts the thread, mutes when asked) and asks the
    // front end to show the window. UI thread.
    void Button_TunerClick();
    // Starts / stops the tuner; the window calls close() when it is closed.
    // UI thread.
    void open();
    void close();
    bool is_open() const { return open_; }

    // Set by the front end: shows (raises) the tuner window. May be empty.
    std::function<void()> on_show_window;

    // The note to show now, at the current A4. UI thread.
    NoteReading reading() const { return note_for(thread_.frequency(), a4_hz()); }
    // Input samples the tuner thread has analysed since it was opened. Any thread.
    std::uint64_t analysed_samples() const { return thread_.analysed(); }
    int a4_hz() const { return ScrollBar_A4.position(); }

    // The remembered settings (face.ini's [Tuner]). apply_settings clamps A4
    // into 415..466. UI thread.
    TunerSettings settings() const;
    void apply_settings(const TunerSettings& s);

private:
    void CheckBox_MuteClick();
    void ScrollBar_A4Change();
    void update_mute();

    WaveIn& waves_;
    TunerThread thread_;
    bool open_ = false;
};

}  // namespace tw
