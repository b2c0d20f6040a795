#include "app/tuner_form.h"

#include "fx/unit_texts.h"

#include <string>

namespace tw {

TunerForm::TunerForm(WaveIn& waves)
    : Button_Tuner("Button_Tuner", {576, 104, 94, 26}, "Tuner"),
      CheckBox_Mute("CheckBox_Mute", {12, 268, 170, 22}, " Mute while tuning"),
      ScrollBar_A4("ScrollBar_A4", {196, 270, 130, 18},
                   {TunerSettings::kMinA4, TunerSettings::kMaxA4, TunerSettings::kDefaultA4, 1, 5},
                   ui::Orientation::Horizontal, ui::BarStyle::TrackBar),
      Label_A4("Label_A4", {332, 270, 84, 18}, "A4 = 440 Hz"),
      waves_(waves),
      thread_(waves.input_tap()) {
    Button_Tuner.set_hint(" Chromatic tuner ");
    ScrollBar_A4.set_hint(" Reference pitch A4 ");
    Button_Tuner.on_click = [this] { Button_TunerClick(); };
    CheckBox_Mute.on_click = [this] { CheckBox_MuteClick(); };
    ScrollBar_A4.on_change = [this] { ScrollBar_A4Change(); };
    ScrollBar_A4.unit_text = [](int p) { return hz_text(p); };
}

void TunerForm::Button_TunerClick() {
    open();
    if (on_show_window) on_show_window();
}

void TunerForm::open() {
    if (open_) return;
    open_ = true;
    thread_.start();
    update_mute();
}

void TunerForm::close() {
    if (!open_) return;
    open_ = false;
    thread_.stop();
    update_mute();
}

void TunerForm::CheckBox_MuteClick() { update_mute(); }

void TunerForm::update_mute() { waves_.set_output_muted(open_ && CheckBox_Mute.checked()); }

void TunerForm::ScrollBar_A4Change() { Label_A4.set_caption("A4 = " + std::to_string(a4_hz()) + " Hz"); }

TunerSettings TunerForm::settings() const {
    TunerSettings s;
    s.a4_hz = a4_hz();
    return s;
}

void TunerForm::apply_settings(const TunerSettings& s) { ScrollBar_A4.set_position(s.a4_hz); }

}  // namespace tw
