#include "fx/MultiTortions.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "fx/curves.h"
#include "fx/fields.h"
#include "platform/effect_services.h"
#include "platform/ini_file.h"

namespace tw {

namespace {
constexpr ui::BarRange kBandBar{0, 100, 50, 1, 1};
constexpr ui::BarRange kGainBar{0, 100, 50, 1, 1};

// Layout of the 435 x 425 client area: two rows of vertical band sliders,
// then the resets, Drive, Level and the two switches. The soft clipper's
// controls sit right of the client area, where the mouse cannot reach them.
constexpr int kClientWidth = 435;
constexpr int kClientHeight = 425;
constexpr int kRowLeftY = 24;
constexpr int kRowRightY = 176;
constexpr int kSliderHeight = 121;
constexpr int kSliderWidth = 16;
constexpr int kHiddenX = kClientWidth + 20;

int band_x(int b) { return 24 + 24 * b; }

// Clip threshold of a threshold slider position: 32768 at 0, 171.8 at 50, 1 at 99.
float clip_threshold(int p) { return static_cast<float>(std::exp((99 - p) * 0.1050223)); }

// The hint of a band slider ("  150 Hz  ") and a band's key in the band file ("s1").
std::string band_hint(float centre) {
    std::string h = "  ";
    h += std::to_string(std::lround(centre));
    h += " Hz  ";
    return h;
}
std::string band_key(int b) {
    std::string k = "s";
    k += std::to_string(b);
    return k;
}

constexpr int kDbPositions[5] = {30, 35, 40, 50, 70};
constexpr const char* kDbCaptions[5] = {"- 30 dB", "-40 dB", "-50 dB", "-60 dB", "-70 dB"};
}  // namespace

// The parameter record (45 bytes; byte 28 is reserved: never written or read).
constexpr FieldBinding<TMultiTortion_form> kMultiTortionFields[] = {
    TW_FIELD(TMultiTortion_form, ScrollBar_gain_In).at(0).bar(kGainBar),
    TW_FIELD(TMultiTortion_form, ScrollBar_gain_Out).at(4).bar(kGainBar),
    TW_FIELD(TMultiTortion_form, Gang).at(8),
    TW_FIELD(TMultiTortion_form, CheckBox_Standard).at(9),
    TW_FIELD(TMultiTortion_form, CheckBox_True).at(10),
    TW_FIELD(TMultiTortion_form, CheckBox_Filter2).at(11),
    TW_FIELD(TMultiTortion_form, ScrollBar).at(12).bar(kBandBar).bytes(),
    TW_FIELD(TMultiTortion_form, spSkinScrollBar).at(29).bar(kBandBar).bytes().numbered_from(1),
};

namespace {
// A field of the record above, by name (a wrong name does not compile).
consteval FieldDecl field(std::string_view name) { return field_of(kMultiTortionFields, name); }
}  // namespace

TMultiTortion_form::TMultiTortion_form()
    : EffectForm(ui::FormModel("TMultiTortion_form", "Distortion Plus", kClientWidth, kClientHeight)),
      Label_Left("Label_Left", {24, 4, 200, 16}, "Guitar Equalizer Left (Mono)  "),
      ScrollBar("ScrollBar", 0,
                [](int b) { return ui::Rect{band_x(b), kRowLeftY, kSliderWidth, kSliderHeight}; }, kBandBar,
                ui::Orientation::Vertical),
      Gang("Gang", {232, 2, 80, 20}, "  Gang   ", true),
      Label_Right("Label_Right", {24, 156, 200, 16}, "Guitar Equalizer Right   "),
      spSkinScrollBar("spSkinScrollBar", 1,
                      [](int b) { return ui::Rect{band_x(b), kRowRightY, kSliderWidth, kSliderHeight}; }, kBandBar,
                      ui::Orientation::Vertical),
      spSkinButton2("spSkinButton2", {24, 304, 90, 22}, "reset left"),
      spSkinButton1("spSkinButton1", {124, 304, 90, 22}, "reset right"),
      Label_Drive("Label_Drive", {24, 340, 50, 16}, "Drive"),
      ScrollBar_gain_In("ScrollBar_gain_In", {80, 338, 320, 18}, kGainBar),
      Label_Level("Label_Level", {24, 368, 50, 16}, "Level"),
      ScrollBar_gain_Out("ScrollBar_gain_Out", {80, 366, 320, 18}, kGainBar),
      CheckBox_Standard("CheckBox_Standard", {24, 396, 110, 20}, "  Standard", false),
      CheckBox_Filter2("CheckBox_Filter2", {150, 396, 110, 20}, "  Filter 2", false),
      CheckBox_True("CheckBox_True", {kHiddenX, 4, 80, 20}, "  True", false),
      spSkinScrollBar_clip("spSkinScrollBar", 17,
                           [](int i) { return ui::Rect{kHiddenX + 20 * i, 30, kSliderWidth, kSliderHeight}; },
                           kBandBar, ui::Orientation::Vertical),
      spSkinButton_dB("spSkinButton", 3, [](int i) { return ui::Rect{kHiddenX + 70 * i, 160, 64, 22}; }, "") {
    form().add(Label_Left);
    ScrollBar.add_to(form());
    form().add(Gang);
    form().add(Label_Right);
    spSkinScrollBar.add_to(form());
    for (ui::Control* c : std::initializer_list<ui::Control*>{&spSkinButton2, &spSkinButton1, &Label_Drive,
                                                              &ScrollBar_gain_In, &Label_Level, &ScrollBar_gain_Out,
                                                              &CheckBox_Standard, &CheckBox_Filter2, &CheckBox_True}) {
        form().add(*c);
    }
    spSkinScrollBar_clip.add_to(form());
    spSkinButton_dB.add_to(form());
    for (int i = 0; i < 5; ++i) spSkinButton_dB[i].set_caption(kDbCaptions[i]);

    ScrollBar.bind([this](int b) { ScrollBarChange(b); });
    spSkinScrollBar.bind([this](int b) { spSkinScrollBarChange(b); });
    Gang.on_click = [this] { GangClick(); };
    spSkinButton2.on_click = [this] { spSkinButton2Click(); };
    spSkinButton1.on_click = [this] { spSkinButton1Click(); };
    ScrollBar_gain_In.on_change = [this] { ScrollBar_gain_InChange(); };
    ScrollBar_gain_Out.on_change = [this] { ScrollBar_gain_OutChange(); };
    CheckBox_Standard.on_click = [this] { CheckBox_StandardClick(); };
    CheckBox_True.on_click = [this] { CheckBox_TrueClick(); };
    CheckBox_Filter2.on_click = [this] { CheckBox_Filter2Click(); };
    spSkinScrollBar_clip.bind([this](int i) { spSkinScrollBar17Change(spSkinScrollBar_clip.index_base() + i); });
    spSkinButton_dB.bind([this](int i) { spSkinButtonDbClick(i); });

    // Creation values are MultiTortionKernel::Params' own; the kernel has
    // designed both banks (at 48000 Hz).
    gang = 1;

    // The last settings saved by any instance, read here on the UI thread,
    // reach the audio thread as one set.
    {
        PublishBatch batch(*this);
        load_band_file(platform::IniFile(band_file_path()));
    }
    publish();
}

std::string TMultiTortion_form::band_file_path() {
    return platform::effect_services().program_file(kBandFileName);
}

void TMultiTortion_form::load_band_file(const platform::IniFile& ini) {
    // Gang is on while the left row is set, so the right row first follows
    // it and is then set from its own section.
    for (int b = 0; b < kBands; ++b) {
        ScrollBar[b].set_hint(band_hint(kernel().bank_l().centre[b]));
        ScrollBar[b].set_position(ini.read_int("EQL", band_key(b), 50));
    }
    for (int b = 0; b < kBands; ++b) {
        spSkinScrollBar[b].set_hint(band_hint(kernel().bank_r().centre[b]));
        spSkinScrollBar[b].set_position(ini.read_int("EQR", band_key(b), 50));
    }
    ScrollBar_gain_In.set_position(ini.read_int("Other", "Drive", 50));
    ScrollBar_gain_Out.set_position(ini.read_int("Other", "Level", 50));
    Gang.set_checked(!(ini.read_int("Other", "Gang", 1) < 1));
    CheckBox_Standard.set_checked(ini.read_int("Other", "Standard", 1) != 0);
    CheckBox_True.set_checked(ini.read_int("Other", "True", 0) != 0);
    CheckBox_Filter2.set_checked(ini.read_int("Other", "Filter2", 0) != 0);
}

void TMultiTortion_form::FormClose() {
    // Other keys of the file (Gang among them) are kept as they are.
    platform::IniFile ini(band_file_path());
    for (int b = 0; b < kBands; ++b) ini.write_int("EQL", band_key(b), ScrollBar[b].position());
    for (int b = 0; b < kBands; ++b) ini.write_int("EQR", band_key(b), spSkinScrollBar[b].position());
    ini.write_int("Other", "Drive", ScrollBar_gain_In.position());
    ini.write_int("Other", "Level", ScrollBar_gain_Out.position());
    ini.write_int("Other", "Standard", CheckBox_Standard.checked() ? 1 : 0);
    ini.write_int("Other", "True", CheckBox_True.checked() ? 1 : 0);
    ini.write_int("Other", "Filter2", CheckBox_Filter2.checked() ? 1 : 0);
    std::string error;
    if (!ini.save(&error)) {
        platform::effect_services().message_boxes().warning(
            "The Distortion Plus settings could not be saved, so new instances will not start from them.", error);
    }
}

// ---- Handlers.

void TMultiTortion_form::ScrollBarChange(int b) {
    // One publication for this band and its twin the Gang moves.
    PublishBatch batch(*this);
    const int p = ScrollBar[b].position();
    if (auto g = gain_curve(static_cast<float>(100 - p))) {
        params.band_gain_l[b] = *g;
        publish();
    }
    if (gang == 1) spSkinScrollBar[b].set_position(p);
}

void TMultiTortion_form::spSkinScrollBarChange(int b) {
    if (auto g = gain_curve(static_cast<float>(100 - spSkinScrollBar[b].position()))) {
        params.band_gain_r[b] = *g;
        publish();
    }
}

void TMultiTortion_form::GangClick() { gang = Gang.checked() ? 1 : 0; }

void TMultiTortion_form::spSkinButton2Click() {
    PublishBatch batch(*this);
    for (int b = 0; b < kBands; ++b) ScrollBar[b].set_position(50);
}

void TMultiTortion_form::spSkinButton1Click() {
    PublishBatch batch(*this);
    for (int b = 0; b < kBands; ++b) spSkinScrollBar[b].set_position(50);
}

void TMultiTortion_form::ScrollBar_gain_InChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_gain_In.position()))) {
        params.gain_in = *g;
        publish();
    }
}

void TMultiTortion_form::ScrollBar_gain_OutChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_gain_Out.position()))) {
        params.gain_out = *g;
        publish();
    }
}

void TMultiTortion_form::CheckBox_StandardClick() {
    params.fold_on = CheckBox_Standard.checked();
    publish();
}

void TMultiTortion_form::CheckBox_TrueClick() {
    params.soft_clip_on = CheckBox_True.checked();
    publish();
}

void TMultiTortion_form::CheckBox_Filter2Click() {
    params.filter2_on = CheckBox_Filter2.checked() ? 1 : 0;
    publish();
}

void TMultiTortion_form::spSkinScrollBar17Change(int n) {
    const int i = n - 17;
    if (i < 0 || i >= kBands) return;
    params.clip_thr[i] = clip_threshold(spSkinScrollBar_clip[i].position());
    publish();
}

void TMultiTortion_form::spSkinButtonDbClick(int i) {
    if (i < 0 || i >= 5) return;
    PublishBatch batch(*this);
    for (int b = 0; b < kBands; ++b) spSkinScrollBar_clip[b].set_position(kDbPositions[i]);
}

// ---- Parameter record.

void TMultiTortion_form::get_parameters(ParamRecord& r) { write_fields(*this, kMultiTortionFields, r); }

void TMultiTortion_form::put_parameters(const ParamRecord& r) {
    // A switch is on exactly when its byte is 1; a band position above 100
    // is clamped by its slider. The whole record reaches the audio thread as
    // one set.
    PublishBatch batch(*this);
    auto on = [&r](const FieldDecl& f) { return rec_get_u8(r, f.offset) == 1; };
    ScrollBar_gain_In.set_position(rec_get_position(r, field("ScrollBar_gain_In")));
    ScrollBar_gain_Out.set_position(rec_get_position(r, field("ScrollBar_gain_Out")));
    Gang.set_checked(on(field("Gang")));
    CheckBox_Standard.set_checked(on(field("CheckBox_Standard")));
    CheckBox_True.set_checked(on(field("CheckBox_True")));
    CheckBox_Filter2.set_checked(on(field("CheckBox_Filter2")));
    for (int b = 0; b < kBands; ++b) ScrollBar[b].set_position(rec_get_position(r, field("ScrollBar"), b));
    for (int b = 0; b < kBands; ++b)
        spSkinScrollBar[b].set_position(rec_get_position(r, field("spSkinScrollBar"), b));
}

KindDecl multitortion_kind() { return declare_kind<kMultiTortionFields>(kKindMultiTortion, "Durizezeviro Plus"); }

}  // namespace tw
