#include "fx/eq8.h"
#include "fx/unit_texts.h"

#include <algorithm>
#include <cmath>

#include "fx/curves.h"
#include "fx/fields.h"
#include "fx/fx_limits.h"

namespace tw {

namespace {
using ui::BarRange;
using ui::Orientation;

// Vertical equaliser bars (position 0 at the top).
constexpr BarRange kMasterBar{0, 100, 50, 2, 5};
constexpr BarRange kBandBar{0, 100, 50, 1, 5};
constexpr BarRange kBand80sBar{0, 100, 50, 1, 1};
constexpr BarRange kSmoothBar{0, 100, 0, 1, 5};
// Horizontal side-filter bars.
constexpr BarRange kHpFreqBar{50, 500, 100, 1, 1};
constexpr BarRange kHpQBar{1, 10, 1, 1, 1};
constexpr BarRange kLpFcBar{1, 99, 10, 1, 1};
constexpr BarRange kLpResBar{1, 39, 10, 1, 1};
constexpr BarRange kShelfFreqBar{1, 100, 50, 1, 1};
constexpr BarRange kShelfGainBar{1, 100, 1, 1, 1};
constexpr BarRange kSpeakerBar{0, 5, 0, 1, 1};

constexpr double kDesignRate = 48000.0;

// Window layout: two rows of ten vertical bars (left set, right set) with
// their labels, switches and buttons on top; the side filters in two columns
// below.
constexpr int kBarTop = 30, kBarHeight = 150, kBarWidth = 18, kBarPitch = 25;
constexpr int kLeftX = 12, kRightX = 282;
ui::Rect eq_bar(int x0, int i) { return {x0 + i * kBarPitch, kBarTop, kBarWidth, kBarHeight}; }
ui::Rect eq_label(int x0, int i) { return {x0 + i * kBarPitch - 4, kBarTop + kBarHeight + 4, kBarWidth + 8, 14}; }
constexpr int kCol1 = 12, kCol2 = 278, kColW = 248;
ui::Rect side_row(int col, int row) { return {col, 262 + row * 23, kColW, 18}; }

constexpr const char* kBarCaptions[10] = {"G", "0.1", "0.2", "0.4", "0.8", "1.7", "3.4", "5.0", "8.0", "H"};
}  // namespace

// The parameter record (128 bytes).
constexpr FieldBinding<TEQ8_form> kEq8Fields[] = {
    TW_FIELD(TEQ8_form, ScrollBar_EQ8G).at(0).bar(kMasterBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_125).at(4).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_250).at(8).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_450).at(12).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_850).at(16).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_17).at(20).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_34).at(24).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_50).at(28).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_80).at(32).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_FNC_LM).at(36).bar(kSmoothBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8GR).at(40).bar(kMasterBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_125s).at(44).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_250s).at(48).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_450s).at(52).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_850s).at(56).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_17s).at(60).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_34s).at(64).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_50s).at(68).bar(kBandBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_80s).at(72).bar(kBand80sBar),
    TW_FIELD(TEQ8_form, ScrollBar_EQ8_FNC_R).at(76).bar(kSmoothBar),
    TW_FIELD(TEQ8_form, CheckRadioBox_EQ8_OnOff).at(80),
    TW_FIELD(TEQ8_form, ScrollBar_LPF_1).at(84).bar(kHpFreqBar),
    TW_FIELD(TEQ8_form, ScrollBar_Q).at(88).bar(kHpQBar),
    TW_FIELD(TEQ8_form, CheckRadioBox_FVC_OnOff).at(92),
    TW_FIELD(TEQ8_form, ScrollBar_Shelf_fvc_F).at(96).bar(kShelfFreqBar),
    TW_FIELD(TEQ8_form, ScrollBar_Shelf_fvc_G).at(100).bar(kShelfGainBar),
    TW_FIELD(TEQ8_form, CheckRadioBox_Shelf).at(104),
    TW_FIELD(TEQ8_form, ScrollBar_fnc_FC).at(108).bar(kLpFcBar),
    TW_FIELD(TEQ8_form, ScrollBar_fnc_res).at(112).bar(kLpResBar),
    TW_FIELD(TEQ8_form, CheckRadioBox_FNC_OnOff).at(116),
    TW_FIELD(TEQ8_form, ScrollBar_fnc_2000).at(120).bar(kSpeakerBar),
    TW_FIELD(TEQ8_form, CheckRadioBox_fnc_2000_OnOff).at(124),
    TW_FIELD(TEQ8_form, Gang).at(125),
};

namespace {
// A field of the record above, by name (a wrong name does not compile).
consteval FieldDecl field(std::string_view name) { return field_of(kEq8Fields, name); }
}  // namespace

TEQ8_form::TEQ8_form()
    : EffectForm(ui::FormModel("TEQ8_form", "8 bands Equalizer and Filters", 537, 496)),
      CheckRadioBox_EQ8_OnOff("CheckRadioBox_EQ8_OnOff", {12, 6, 110, 18}, "  Equalizer", true),
      Gang("Gang", {140, 6, 90, 18}, "  Gang", true),
      ScrollBar_EQ8G("ScrollBar_EQ8G", eq_bar(kLeftX, 0), kMasterBar, Orientation::Vertical),
      ScrollBar_EQ8_125("ScrollBar_EQ8_125", eq_bar(kLeftX, 1), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_250("ScrollBar_EQ8_250", eq_bar(kLeftX, 2), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_450("ScrollBar_EQ8_450", eq_bar(kLeftX, 3), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_850("ScrollBar_EQ8_850", eq_bar(kLeftX, 4), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_17("ScrollBar_EQ8_17", eq_bar(kLeftX, 5), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_34("ScrollBar_EQ8_34", eq_bar(kLeftX, 6), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_50("ScrollBar_EQ8_50", eq_bar(kLeftX, 7), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_80("ScrollBar_EQ8_80", eq_bar(kLeftX, 8), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_FNC_LM("ScrollBar_EQ8_FNC_LM", eq_bar(kLeftX, 9), kSmoothBar, Orientation::Vertical),
      ScrollBar_EQ8GR("ScrollBar_EQ8GR", eq_bar(kRightX, 0), kMasterBar, Orientation::Vertical),
      ScrollBar_EQ8_125s("ScrollBar_EQ8_125s", eq_bar(kRightX, 1), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_250s("ScrollBar_EQ8_250s", eq_bar(kRightX, 2), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_450s("ScrollBar_EQ8_450s", eq_bar(kRightX, 3), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_850s("ScrollBar_EQ8_850s", eq_bar(kRightX, 4), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_17s("ScrollBar_EQ8_17s", eq_bar(kRightX, 5), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_34s("ScrollBar_EQ8_34s", eq_bar(kRightX, 6), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_50s("ScrollBar_EQ8_50s", eq_bar(kRightX, 7), kBandBar, Orientation::Vertical),
      ScrollBar_EQ8_80s("ScrollBar_EQ8_80s", eq_bar(kRightX, 8), kBand80sBar, Orientation::Vertical),
      ScrollBar_EQ8_FNC_R("ScrollBar_EQ8_FNC_R", eq_bar(kRightX, 9), kSmoothBar, Orientation::Vertical),
      Label_Left("Label_Left", 0, [](int i) { return eq_label(kLeftX, i); }, std::string()),
      Label_Right("Label_Right", 0, [](int i) { return eq_label(kRightX, i); }, std::string()),
      Reset_Left("Reset_Left", {12, 204, 120, 22}, "Reset (left)"),
      Reset_Right("Reset_Right", {282, 204, 120, 22}, "Reset (right)"),
      Copy_Left_to_Right("Copy_Left_to_Right", {12, 230, 240, 22}, "Copy Left to Right"),
      Copy_Right_to_Left("Copy_Right_to_Left", {282, 230, 240, 22}, "Copy Right to Left"),
      CheckRadioBox_FVC_OnOff("CheckRadioBox_FVC_OnOff", side_row(kCol1, 0), " Hi Pass Filter  ", false),
      Label_LPF_1("Label_LPF_1", side_row(kCol1, 1), "Hi Pass Filter  Cut off Frequency  "),
      ScrollBar_LPF_1("ScrollBar_LPF_1", side_row(kCol1, 2), kHpFreqBar),
      Label_Q("Label_Q", side_row(kCol1, 3), "Resonance for Hi Pass Filter  "),
      ScrollBar_Q("ScrollBar_Q", side_row(kCol1, 4), kHpQBar),
      CheckRadioBox_FNC_OnOff("CheckRadioBox_FNC_OnOff", side_row(kCol1, 5), " Low Pass Filter  ", false),
      Label_fnc_FC("Label_fnc_FC", side_row(kCol1, 6), "Low Pass Filter  Cut Off Frequency   "),
      ScrollBar_fnc_FC("ScrollBar_fnc_FC", side_row(kCol1, 7), kLpFcBar),
      Label_fnc_res("Label_fnc_res", side_row(kCol1, 8), "Resonance for Low Pass Filter     "),
      ScrollBar_fnc_res("ScrollBar_fnc_res", side_row(kCol1, 9), kLpResBar),
      CheckRadioBox_Shelf("CheckRadioBox_Shelf", side_row(kCol2, 0), "  Shelf Filter", false),
      Label_Shelf_fvc_F("Label_Shelf_fvc_F", side_row(kCol2, 1), "Hi Pass (shelf) Filter Cut Off Frequency  "),
      ScrollBar_Shelf_fvc_F("ScrollBar_Shelf_fvc_F", side_row(kCol2, 2), kShelfFreqBar),
      Label_Shelf_fvc_G("Label_Shelf_fvc_G", side_row(kCol2, 3), "Shelf Gain  "),
      ScrollBar_Shelf_fvc_G("ScrollBar_Shelf_fvc_G", side_row(kCol2, 4), kShelfGainBar),
      CheckRadioBox_fnc_2000_OnOff("CheckRadioBox_fnc_2000_OnOff", side_row(kCol2, 5), " Low Pass Filter", false),
      Label_fnc_2000("Label_fnc_2000", side_row(kCol2, 6), "Low Pass Filter (guitar speaker simulator)    "),
      ScrollBar_fnc_2000("ScrollBar_fnc_2000", side_row(kCol2, 7), kSpeakerBar),
      CheckRadioBox_Filter_Notch("CheckRadioBox_Filter_Notch", side_row(kCol2, 9), "Cut off low freq", false) {
    // The two switches come first, then the bars of each side in twin order.
    form().add(CheckRadioBox_EQ8_OnOff);
    form().add(Gang);
    for (ui::ScrollBar* b : left_bars()) form().add(*b);
    for (ui::ScrollBar* b : right_bars()) form().add(*b);
    for (int i = 0; i < 10; ++i) {
        Label_Left[i].set_caption(kBarCaptions[i]);
        Label_Right[i].set_caption(kBarCaptions[i]);
    }
    Label_Left.add_to(form());
    Label_Right.add_to(form());
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &Reset_Left, &Copy_Left_to_Right, &Reset_Right, &Copy_Right_to_Left, &CheckRadioBox_FVC_OnOff,
             &Label_LPF_1, &ScrollBar_LPF_1, &Label_Q, &ScrollBar_Q, &CheckRadioBox_FNC_OnOff, &Label_fnc_FC,
             &ScrollBar_fnc_FC, &Label_fnc_res, &ScrollBar_fnc_res, &CheckRadioBox_Shelf, &Label_Shelf_fvc_F,
             &ScrollBar_Shelf_fvc_F, &Label_Shelf_fvc_G, &ScrollBar_Shelf_fvc_G, &CheckRadioBox_fnc_2000_OnOff,
             &Label_fnc_2000, &ScrollBar_fnc_2000, &CheckRadioBox_Filter_Notch}) {
        form().add(*c);
    }

    ScrollBar_EQ8G.on_change = [this] { ScrollBar_EQ8GChange(); };
    ScrollBar_EQ8_FNC_LM.on_change = [this] { ScrollBar_EQ8_FNC_LMChange(); };
    ScrollBar_EQ8GR.on_change = [this] { ScrollBar_EQ8GRChange(); };
    ScrollBar_EQ8_FNC_R.on_change = [this] { ScrollBar_EQ8_FNC_RChange(); };
    const auto lb = left_bars();
    const auto rb = right_bars();
    for (int band = 1; band <= kBandBars; ++band) {
        lb[band]->on_change = [this, band] { left_band_change(band); };
        rb[band]->on_change = [this, band] { right_band_change(band); };
    }
    CheckRadioBox_EQ8_OnOff.on_click = [this] { CheckRadioBox_EQ8_OnOffClick(); };
    Reset_Left.on_click = [this] { Reset_LeftClick(); };
    Reset_Right.on_click = [this] { Reset_RightClick(); };
    Copy_Left_to_Right.on_click = [this] { Copy_Left_to_RightClick(); };
    Copy_Right_to_Left.on_click = [this] { Copy_Right_to_LeftClick(); };
    ScrollBar_LPF_1.on_change = [this] { ScrollBar_LPF_1Change(); };
    ScrollBar_Q.on_change = [this] { ScrollBar_QChange(); };
    CheckRadioBox_FVC_OnOff.on_click = [this] { CheckRadioBox_FVC_OnOffClick(); };
    ScrollBar_fnc_FC.on_change = [this] { ScrollBar_fnc_FCChange(); };
    ScrollBar_fnc_res.on_change = [this] { ScrollBar_fnc_resChange(); };
    CheckRadioBox_FNC_OnOff.on_click = [this] { CheckRadioBox_FNC_OnOffClick(); };
    ScrollBar_Shelf_fvc_F.on_change = [this] { ScrollBar_Shelf_fvc_FChange(); };
    // The tooltips' values where a bar is a frequency.
    ScrollBar_LPF_1.unit_text = [](int p) { return hz_text(p); };
    // Band and output gains relative to the flat setting (every band gain 10
    // and an output gain of 0.1 pass the signal at about its own level).
    for (int band = 1; band <= kBandBars; ++band) {
        const auto relative_band = [](int p) { return gain_text(band_curve(101 - p) / 10.0); };
        lb[band]->unit_text = relative_band;
        rb[band]->unit_text = relative_band;
    }
    const auto relative_output = [](int p) { return gain_text(master_curve(static_cast<float>(100 - p)) * 10.0); };
    ScrollBar_EQ8G.unit_text = relative_output;
    ScrollBar_EQ8GR.unit_text = relative_output;
    // The H bars smooth the equalised sum: their corner in Hz.
    ScrollBar_EQ8_FNC_LM.unit_text = colour_corner_text;
    ScrollBar_EQ8_FNC_R.unit_text = colour_corner_text;
    ScrollBar_Shelf_fvc_F.unit_text = [](int p) { return hz_text(50.0 * p); };
    ScrollBar_Shelf_fvc_G.on_change = [this] { ScrollBar_Shelf_fvc_GChange(); };
    CheckRadioBox_Shelf.on_click = [this] { CheckRadioBox_ShelfClick(); };
    ScrollBar_fnc_2000.on_change = [this] { ScrollBar_fnc_2000Change(); };
    CheckRadioBox_fnc_2000_OnOff.on_click = [this] { CheckRadioBox_fnc_2000_OnOffClick(); };
    CheckRadioBox_Filter_Notch.on_click = [this] { CheckRadioBox_Filter_NotchClick(); };

    // Creation values: side-filter designs for their start frequencies at
    // 48000 Hz and speaker set 0 (member initialisers give the rest), then
    // both band sets at 48000 Hz with every band gain 10 and no smoothing.
    // These are not what the bars' start positions would give.
    params.hp_coefs = two_pole_design(kDesignRate, hp_freq, hp_r);
    params.shelf_coefs = two_pole_design(kDesignRate, shelf_freq, shelf_r);
    const SpeakerSet& s0 = speaker_set(0);
    params.spk_gain = s0.gain;
    for (int i = 0; i < 5; ++i) params.spk_coef[i] = s0.c[i];
    init_pre_EQ_dsp(static_cast<float>(kDesignRate));
    init_post_EQ_dsp(static_cast<float>(kDesignRate));
    publish();
}

std::array<ui::ScrollBar*, 10> TEQ8_form::left_bars() {
    return {&ScrollBar_EQ8G,   &ScrollBar_EQ8_125, &ScrollBar_EQ8_250, &ScrollBar_EQ8_450, &ScrollBar_EQ8_850,
            &ScrollBar_EQ8_17, &ScrollBar_EQ8_34,  &ScrollBar_EQ8_50,  &ScrollBar_EQ8_80,  &ScrollBar_EQ8_FNC_LM};
}

std::array<ui::ScrollBar*, 10> TEQ8_form::right_bars() {
    return {&ScrollBar_EQ8GR,   &ScrollBar_EQ8_125s, &ScrollBar_EQ8_250s, &ScrollBar_EQ8_450s, &ScrollBar_EQ8_850s,
            &ScrollBar_EQ8_17s, &ScrollBar_EQ8_34s,  &ScrollBar_EQ8_50s,  &ScrollBar_EQ8_80s,  &ScrollBar_EQ8_FNC_R};
}

// ---- Setup.

void TEQ8_form::init_pre_EQ_dsp(float rate) {
    kernel().set_last_rate(rate);
    params.pre_eq.init();
    publish();
}

void TEQ8_form::init_post_EQ_dsp(float rate) {
    kernel().set_last_rate(rate);
    params.post_eq.init();
    publish();
}

void TEQ8_form::pre_EQ_setup(int band, int a) {
    if (band >= 0 && band < EqBandSet::kBands) {
        params.pre_eq.band_gain[band] = band_curve(a);
        publish();
    }
}

void TEQ8_form::post_EQ_setup(int band, int a) {
    if (band >= 0 && band < EqBandSet::kBands) {
        params.post_eq.band_gain[band] = band_curve(a);
        publish();
    }
}

void TEQ8_form::recalc_a_fvc_1(float rate, float frequency) {
    // A rate that cannot carry the corner (not above twice it, or not a
    // number) would put the tangent past its pole: design at 48000 instead.
    const double fs = std::isfinite(rate) && rate > 2.0f * frequency ? rate : kDesignRate;
    params.hp_coefs = two_pole_design(fs, frequency, hp_r);
    publish();
}

void TEQ8_form::recalc_a_fvcs_1(float rate) {
    shelf_r = 1.41f;
    params.shelf_coefs = two_pole_design(rate, shelf_freq, 1.41f);
    publish();
}

// ---- Equaliser handlers.

void TEQ8_form::ScrollBar_EQ8GChange() {
    // One publication for this side and the twin the Gang moves.
    PublishBatch batch(*this);
    const int p = ScrollBar_EQ8G.position();
    params.pre_eq.master_gain = master_curve(static_cast<float>(100 - p));
    publish();
    if (Gang.checked()) ScrollBar_EQ8GR.set_position(p);
}

void TEQ8_form::left_band_change(int band) {
    PublishBatch batch(*this);
    const int p = left_bars()[band]->position();
    pre_EQ_setup(band, 101 - p);
    if (Gang.checked()) right_bars()[band]->set_position(p);
}

void TEQ8_form::ScrollBar_EQ8_FNC_LMChange() {
    PublishBatch batch(*this);
    const int p = ScrollBar_EQ8_FNC_LM.position();
    const float h = colour_curve(static_cast<float>(p));
    params.hcut_m = h;
    params.hcut_l = h;
    publish();
    if (Gang.checked()) ScrollBar_EQ8_FNC_R.set_position(p);
}

void TEQ8_form::ScrollBar_EQ8GRChange() {
    params.post_eq.master_gain = master_curve(static_cast<float>(100 - ScrollBar_EQ8GR.position()));
    publish();
}

void TEQ8_form::right_band_change(int band) { post_EQ_setup(band, 101 - right_bars()[band]->position()); }

void TEQ8_form::ScrollBar_EQ8_FNC_RChange() {
    params.hcut_r = colour_curve(static_cast<float>(ScrollBar_EQ8_FNC_R.position()));
    publish();
}

void TEQ8_form::CheckRadioBox_EQ8_OnOffClick() {
    params.eq_on = CheckRadioBox_EQ8_OnOff.checked();
    publish();
}

void TEQ8_form::Reset_LeftClick() {
    PublishBatch batch(*this);
    const auto bars = left_bars();
    for (int i = 0; i < 9; ++i) bars[i]->set_position(50);
    bars[9]->set_position(0);
}

void TEQ8_form::Reset_RightClick() {
    PublishBatch batch(*this);
    const auto bars = right_bars();
    for (int i = 0; i < 9; ++i) bars[i]->set_position(50);
    bars[9]->set_position(0);
}

void TEQ8_form::Copy_Left_to_RightClick() {
    PublishBatch batch(*this);
    const auto from = left_bars();
    const auto to = right_bars();
    for (int i = 0; i < 10; ++i) to[i]->set_position(from[i]->position());
}

void TEQ8_form::Copy_Right_to_LeftClick() {
    PublishBatch batch(*this);
    const auto from = right_bars();
    const auto to = left_bars();
    for (int i = 0; i < 10; ++i) to[i]->set_position(from[i]->position());
}

// ---- Side-filter handlers.

void TEQ8_form::ScrollBar_LPF_1Change() {
    hp_freq = static_cast<float>(ScrollBar_LPF_1.position());
    recalc_a_fvc_1(static_cast<float>(kDesignRate), hp_freq);
}

void TEQ8_form::ScrollBar_QChange() {
    hp_r = static_cast<float>(1.41 / ScrollBar_Q.position());
    recalc_a_fvc_1(kernel().last_rate(), hp_freq);
}

void TEQ8_form::CheckRadioBox_FVC_OnOffClick() {
    params.hp_on = CheckRadioBox_FVC_OnOff.checked();
    publish();
}

void TEQ8_form::ScrollBar_fnc_FCChange() {
    params.lp_fc = ScrollBar_fnc_FC.position() / 100.0;
    publish();
}

void TEQ8_form::ScrollBar_fnc_resChange() {
    params.lp_res = ScrollBar_fnc_res.position() / 10.0;
    publish();
}

void TEQ8_form::CheckRadioBox_FNC_OnOffClick() {
    params.lp_on = CheckRadioBox_FNC_OnOff.checked();
    publish();
}

void TEQ8_form::ScrollBar_Shelf_fvc_FChange() {
    shelf_freq = static_cast<float>(50 * ScrollBar_Shelf_fvc_F.position());
    recalc_a_fvcs_1(static_cast<float>(kDesignRate));
}

void TEQ8_form::ScrollBar_Shelf_fvc_GChange() {
    params.shelf_gain = static_cast<float>(ScrollBar_Shelf_fvc_G.position() / 10.0);
    publish();
}

void TEQ8_form::CheckRadioBox_ShelfClick() {
    params.shelf_on = CheckRadioBox_Shelf.checked();
    publish();
}

void TEQ8_form::ScrollBar_fnc_2000Change() {
    const SpeakerSet& s = speaker_set(ScrollBar_fnc_2000.position());
    params.spk_gain = s.gain;
    for (int i = 0; i < 5; ++i) params.spk_coef[i] = s.c[i];
    publish();
}

void TEQ8_form::CheckRadioBox_fnc_2000_OnOffClick() {
    params.spk_on = CheckRadioBox_fnc_2000_OnOff.checked();
    publish();
}

void TEQ8_form::CheckRadioBox_Filter_NotchClick() {
    params.lowcut_on = CheckRadioBox_Filter_Notch.checked();
    publish();
}

// ---- Parameter record.

void TEQ8_form::get_parameters(ParamRecord& r) { write_fields(*this, kEq8Fields, r); }

void TEQ8_form::put_parameters(const ParamRecord& r) {
    // Only positions and switches are stored; each bar clamps its position
    // and its handler derives every gain and coefficient from it. The right
    // bars come first and Gang last, so a checked Gang copies every left bar
    // that moves onto its right twin. The whole record reaches the audio
    // thread as one set.
    PublishBatch batch(*this);
    constexpr FieldDecl kRight[10] = {
        field("ScrollBar_EQ8GR"),    field("ScrollBar_EQ8_125s"), field("ScrollBar_EQ8_250s"), field("ScrollBar_EQ8_450s"),
        field("ScrollBar_EQ8_850s"), field("ScrollBar_EQ8_17s"),  field("ScrollBar_EQ8_34s"),  field("ScrollBar_EQ8_50s"),
        field("ScrollBar_EQ8_80s"),  field("ScrollBar_EQ8_FNC_R")};
    constexpr FieldDecl kLeft[10] = {
        field("ScrollBar_EQ8G"),    field("ScrollBar_EQ8_125"), field("ScrollBar_EQ8_250"), field("ScrollBar_EQ8_450"),
        field("ScrollBar_EQ8_850"), field("ScrollBar_EQ8_17"),  field("ScrollBar_EQ8_34"),  field("ScrollBar_EQ8_50"),
        field("ScrollBar_EQ8_80"),  field("ScrollBar_EQ8_FNC_LM")};
    const auto rb = right_bars();
    const auto lb = left_bars();
    for (int i = 0; i < 10; ++i) rb[i]->set_position(rec_get_position(r, kRight[i]));
    for (int i = 0; i < 10; ++i) lb[i]->set_position(rec_get_position(r, kLeft[i]));
    CheckRadioBox_EQ8_OnOff.set_checked(rec_get_flag(r, field("CheckRadioBox_EQ8_OnOff")));
    ScrollBar_LPF_1.set_position(rec_get_position(r, field("ScrollBar_LPF_1")));
    ScrollBar_Q.set_position(rec_get_position(r, field("ScrollBar_Q")));
    CheckRadioBox_FVC_OnOff.set_checked(rec_get_flag(r, field("CheckRadioBox_FVC_OnOff")));
    ScrollBar_Shelf_fvc_F.set_position(rec_get_position(r, field("ScrollBar_Shelf_fvc_F")));
    ScrollBar_Shelf_fvc_G.set_position(rec_get_position(r, field("ScrollBar_Shelf_fvc_G")));
    CheckRadioBox_Shelf.set_checked(rec_get_flag(r, field("CheckRadioBox_Shelf")));
    ScrollBar_fnc_FC.set_position(rec_get_position(r, field("ScrollBar_fnc_FC")));
    ScrollBar_fnc_res.set_position(rec_get_position(r, field("ScrollBar_fnc_res")));
    CheckRadioBox_FNC_OnOff.set_checked(rec_get_flag(r, field("CheckRadioBox_FNC_OnOff")));
    ScrollBar_fnc_2000.set_position(rec_get_position(r, field("ScrollBar_fnc_2000")));
    CheckRadioBox_fnc_2000_OnOff.set_checked(rec_get_flag(r, field("CheckRadioBox_fnc_2000_OnOff")));
    Gang.set_checked(rec_get_flag(r, field("Gang")));
}

KindDecl eq8_kind() { return declare_kind<kEq8Fields>(kKindEQ8, "EQ (8 bands) + Filters"); }

}  // namespace tw
