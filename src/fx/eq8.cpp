#include "fx/eq8.h"
#include "fx/unit_texts.h"

#include <algorithm>
#include <cmath>

#include "fx/curves.h"
#include "fx/eq8_kernel.h"
#include "fx/fields.h"
#include "fx/fx_limits.h"
#include "fx/vec_math.h"

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
    hp_coefs.store(two_pole_design(kDesignRate, hp_freq.load(), hp_r.load()));
    shelf_coefs.store(two_pole_design(kDesignRate, shelf_freq.load(), shelf_r.load()));
    const SpeakerSet& s0 = speaker_set(0);
    spk_gain.store(s0.gain, std::memory_order_relaxed);
    for (int i = 0; i < 5; ++i) spk_coef[i].store(s0.c[i], std::memory_order_relaxed);
    init_pre_EQ_dsp(static_cast<float>(kDesignRate));
    init_post_EQ_dsp(static_cast<float>(kDesignRate));
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
    last_rate.store(rate, std::memory_order_relaxed);
    pre_eq.init();
}

void TEQ8_form::init_post_EQ_dsp(float rate) {
    last_rate.store(rate, std::memory_order_relaxed);
    post_eq.init();
}

void TEQ8_form::pre_EQ_setup(int band, int a) {
    if (band >= 0 && band < EqBandSet::kBands) pre_eq.band_gain[band].store(band_curve(a), std::memory_order_relaxed);
}

void TEQ8_form::post_EQ_setup(int band, int a) {
    if (band >= 0 && band < EqBandSet::kBands) post_eq.band_gain[band].store(band_curve(a), std::memory_order_relaxed);
}

void TEQ8_form::recalc_a_fvc_1(float rate, float frequency) {
    // A rate that cannot carry the corner (not above twice it, or not a
    // number) would put the tangent past its pole: design at 48000 instead.
    const double fs = std::isfinite(rate) && rate > 2.0f * frequency ? rate : kDesignRate;
    hp_coefs.store(two_pole_design(fs, frequency, hp_r.load(std::memory_order_relaxed)));
}

void TEQ8_form::recalc_a_fvcs_1(float rate) {
    shelf_r.store(1.41f, std::memory_order_relaxed);
    shelf_coefs.store(two_pole_design(rate, shelf_freq.load(std::memory_order_relaxed), 1.41f));
}

// ---- Equaliser handlers.

void TEQ8_form::ScrollBar_EQ8GChange() {
    const int p = ScrollBar_EQ8G.position();
    pre_eq.master_gain.store(master_curve(static_cast<float>(100 - p)), std::memory_order_relaxed);
    if (Gang.checked()) ScrollBar_EQ8GR.set_position(p);
}

void TEQ8_form::left_band_change(int band) {
    const int p = left_bars()[band]->position();
    pre_EQ_setup(band, 101 - p);
    if (Gang.checked()) right_bars()[band]->set_position(p);
}

void TEQ8_form::ScrollBar_EQ8_FNC_LMChange() {
    const int p = ScrollBar_EQ8_FNC_LM.position();
    const float h = colour_curve(static_cast<float>(p));
    hcut_m.store(h, std::memory_order_relaxed);
    hcut_l.store(h, std::memory_order_relaxed);
    if (Gang.checked()) ScrollBar_EQ8_FNC_R.set_position(p);
}

void TEQ8_form::ScrollBar_EQ8GRChange() {
    post_eq.master_gain.store(master_curve(static_cast<float>(100 - ScrollBar_EQ8GR.position())),
                              std::memory_order_relaxed);
}

void TEQ8_form::right_band_change(int band) { post_EQ_setup(band, 101 - right_bars()[band]->position()); }

void TEQ8_form::ScrollBar_EQ8_FNC_RChange() {
    hcut_r.store(colour_curve(static_cast<float>(ScrollBar_EQ8_FNC_R.position())), std::memory_order_relaxed);
}

void TEQ8_form::CheckRadioBox_EQ8_OnOffClick() {
    eq_on.store(CheckRadioBox_EQ8_OnOff.checked(), std::memory_order_relaxed);
}

void TEQ8_form::Reset_LeftClick() {
    const auto bars = left_bars();
    for (int i = 0; i < 9; ++i) bars[i]->set_position(50);
    bars[9]->set_position(0);
}

void TEQ8_form::Reset_RightClick() {
    const auto bars = right_bars();
    for (int i = 0; i < 9; ++i) bars[i]->set_position(50);
    bars[9]->set_position(0);
}

void TEQ8_form::Copy_Left_to_RightClick() {
    const auto from = left_bars();
    const auto to = right_bars();
    for (int i = 0; i < 10; ++i) to[i]->set_position(from[i]->position());
}

void TEQ8_form::Copy_Right_to_LeftClick() {
    const auto from = right_bars();
    const auto to = left_bars();
    for (int i = 0; i < 10; ++i) to[i]->set_position(from[i]->position());
}

// ---- Side-filter handlers.

void TEQ8_form::ScrollBar_LPF_1Change() {
    hp_freq.store(static_cast<float>(ScrollBar_LPF_1.position()), std::memory_order_relaxed);
    recalc_a_fvc_1(static_cast<float>(kDesignRate), hp_freq.load(std::memory_order_relaxed));
}

void TEQ8_form::ScrollBar_QChange() {
    hp_r.store(static_cast<float>(1.41 / ScrollBar_Q.position()), std::memory_order_relaxed);
    recalc_a_fvc_1(last_rate.load(std::memory_order_relaxed), hp_freq.load(std::memory_order_relaxed));
}

void TEQ8_form::CheckRadioBox_FVC_OnOffClick() { hp_on.store(CheckRadioBox_FVC_OnOff.checked(), std::memory_order_relaxed); }

void TEQ8_form::ScrollBar_fnc_FCChange() { lp_fc.store(ScrollBar_fnc_FC.position() / 100.0, std::memory_order_relaxed); }

void TEQ8_form::ScrollBar_fnc_resChange() { lp_res.store(ScrollBar_fnc_res.position() / 10.0, std::memory_order_relaxed); }

void TEQ8_form::CheckRadioBox_FNC_OnOffClick() { lp_on.store(CheckRadioBox_FNC_OnOff.checked(), std::memory_order_relaxed); }

void TEQ8_form::ScrollBar_Shelf_fvc_FChange() {
    shelf_freq.store(static_cast<float>(50 * ScrollBar_Shelf_fvc_F.position()), std::memory_order_relaxed);
    recalc_a_fvcs_1(static_cast<float>(kDesignRate));
}

void TEQ8_form::ScrollBar_Shelf_fvc_GChange() {
    shelf_gain.store(static_cast<float>(ScrollBar_Shelf_fvc_G.position() / 10.0), std::memory_order_relaxed);
}

void TEQ8_form::CheckRadioBox_ShelfClick() { shelf_on.store(CheckRadioBox_Shelf.checked(), std::memory_order_relaxed); }

void TEQ8_form::ScrollBar_fnc_2000Change() {
    const SpeakerSet& s = speaker_set(ScrollBar_fnc_2000.position());
    spk_gain.store(s.gain, std::memory_order_relaxed);
    for (int i = 0; i < 5; ++i) spk_coef[i].store(s.c[i], std::memory_order_relaxed);
}

void TEQ8_form::CheckRadioBox_fnc_2000_OnOffClick() {
    spk_on.store(CheckRadioBox_fnc_2000_OnOff.checked(), std::memory_order_relaxed);
}

void TEQ8_form::CheckRadioBox_Filter_NotchClick() {
    lowcut_on.store(CheckRadioBox_Filter_Notch.checked(), std::memory_order_relaxed);
}

// ---- Processing.

namespace {
// Band set `set` into the kernel's band lanes of channel c.
void load_bands(eq8::Work& w, bool stereo, int c, const EqBandSet& set, const EqBandSet::Gains& g) {
    for (int b = 0; b < EqBandSet::kLanes; ++b) {
        const int at = eq8::band_lane(stereo, c, b);
        w.a0[at] = set.a0[b], w.a1[at] = set.a1[b], w.a2[at] = set.a2[b], w.gain[at] = g.band[b];
        w.x1[at] = set.x1[b], w.x2[at] = set.x2[b], w.y1[at] = set.y1[b], w.y2[at] = set.y2[b];
    }
}

void save_bands(const eq8::Work& w, bool stereo, int c, EqBandSet& set) {
    for (int b = 0; b < EqBandSet::kLanes; ++b) {
        const int at = eq8::band_lane(stereo, c, b);
        set.x1[b] = w.x1[at], set.x2[b] = w.x2[at], set.y1[b] = w.y1[at], set.y2[b] = w.y2[at];
    }
    set.band_sum = w.band_sum[c];
}

void load_two_pole(eq8::TwoPoleWork& w, int lane, const TEQ8_form::TwoPoleCoefs& c, const TEQ8_form::TwoPoleState& s) {
    w.a0[lane] = c.a0, w.a1[lane] = c.a1, w.a2[lane] = c.a2;
    w.x1[lane] = s.x1, w.x2[lane] = s.x2, w.y1[lane] = s.y1, w.y2[lane] = s.y2;
}

// The memories hold 32-bit values, so the round trip is exact.
void save_two_pole(const eq8::TwoPoleWork& w, int lane, TEQ8_form::TwoPoleState& s) {
    s.x1 = static_cast<float>(w.x1[lane]), s.x2 = static_cast<float>(w.x2[lane]);
    s.y1 = static_cast<float>(w.y1[lane]), s.y2 = static_cast<float>(w.y2[lane]);
}

void load_four_pole(eq8::Work& w, int lane, const dsp::FourPoleState& s) {
    w.lp_input[lane] = s.input;
    w.lp_out[0][lane] = s.out1, w.lp_out[1][lane] = s.out2, w.lp_out[2][lane] = s.out3, w.lp_out[3][lane] = s.out4;
    w.lp_in[0][lane] = s.in1, w.lp_in[1][lane] = s.in2, w.lp_in[2][lane] = s.in3, w.lp_in[3][lane] = s.in4;
}

void save_four_pole(const eq8::Work& w, int lane, dsp::FourPoleState& s) {
    s.input = w.lp_input[lane];
    s.out1 = w.lp_out[0][lane], s.out2 = w.lp_out[1][lane], s.out3 = w.lp_out[2][lane], s.out4 = w.lp_out[3][lane];
    s.in1 = w.lp_in[0][lane], s.in2 = w.lp_in[1][lane], s.in3 = w.lp_in[2][lane], s.in4 = w.lp_in[3][lane];
}

void load_speaker(eq8::Work& w, int lane, const FifthOrderState& s) {
    for (int i = 0; i < 6; ++i) w.spk_x[i][lane] = s.x[i], w.spk_y[i][lane] = s.y[i];
}

void save_speaker(const eq8::Work& w, int lane, FifthOrderState& s) {
    for (int i = 0; i < 6; ++i) s.x[i] = w.spk_x[i][lane], s.y[i] = w.spk_y[i][lane];
}
}  // namespace

bool eq8_kernel_uses_avx2() { return vec::uses_avx2(); }

void TEQ8_form::EQ8_dsp(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
    last_rate.store(static_cast<float>(sample_rate), std::memory_order_relaxed);
    if (frames <= 0 || samples == nullptr) return;
    const bool stereo = channels != 1;

    // The call's settings and memories, in the kernel's lanes: left (or
    // mono) in lane 0, right in lane 1; each stage with the memories the
    // channel table gives it.
    eq8::Work w{};
    const bool eq = eq_on.load(std::memory_order_relaxed);
    const bool hp = hp_on.load(std::memory_order_relaxed);
    const bool lp = lp_on.load(std::memory_order_relaxed);
    const bool shelf = shelf_on.load(std::memory_order_relaxed);
    const bool spk = spk_on.load(std::memory_order_relaxed);
    // The low cut runs in mono only.
    const bool cut = !stereo && lowcut_on.load(std::memory_order_relaxed);
    w.stages = (eq ? eq8::kEq : 0) | (hp ? eq8::kHp : 0) | (lp ? eq8::kLp : 0) | (shelf ? eq8::kShelf : 0) |
               (spk ? eq8::kSpeaker : 0) | (cut ? eq8::kLowCut : 0);
    if (w.stages == 0) return;

    if (eq) {
        // Padding lanes: a harmless step whose output is never weighted.
        for (double& a : w.a0) a = 1.0;
        const auto smoother = [&w](int c, const std::atomic<float>& hcut, float state, float master) {
            w.h[c] = hcut.load(std::memory_order_relaxed);
            w.one_minus_h[c] = 1.0 - w.h[c];
            w.h_state[c] = state;
            w.master[c] = master;
        };
        const EqBandSet::Gains gl = pre_eq.snapshot();
        load_bands(w, stereo, 0, pre_eq, gl);
        smoother(0, stereo ? hcut_l : hcut_m, stereo ? hcut_state_l : hcut_state_m, gl.master);
        w.band_sum[0] = pre_eq.band_sum;
        if (stereo) {
            const EqBandSet::Gains gr = post_eq.snapshot();
            load_bands(w, stereo, 1, post_eq, gr);
            smoother(1, hcut_r, hcut_state_r, gr.master);
            w.band_sum[1] = post_eq.band_sum;
        }
    }
    TwoPoleState& hp_left = stereo ? hp_state_b : hp_state_a;
    TwoPoleState& shelf_left = stereo ? shelf_state_b : shelf_state_a;
    if (hp) {
        const TwoPoleCoefs c = hp_coefs.load();
        load_two_pole(w.hp, 0, c, hp_left);
        load_two_pole(w.hp, 1, c, hp_state_a);
    }
    if (lp) {
        w.lp_f = lp_fc.load(std::memory_order_relaxed) * 1.16;
        w.lp_fb = (1.0 - 0.15 * w.lp_f * w.lp_f) * lp_res.load(std::memory_order_relaxed);
        load_four_pole(w, 0, lp_state_a);
        load_four_pole(w, 1, lp_state_b);
    }
    if (shelf) {
        const TwoPoleCoefs c = shelf_coefs.load();
        w.shelf_gain = shelf_gain.load(std::memory_order_relaxed);
        load_two_pole(w.shelf, 0, c, shelf_left);
        load_two_pole(w.shelf, 1, c, shelf_state_a);
    }
    if (spk) {
        w.spk_gain = spk_gain.load(std::memory_order_relaxed);
        for (int i = 0; i < 5; ++i) w.spk_c[i] = spk_coef[i].load(std::memory_order_relaxed);
        load_speaker(w, 0, spk_a);
        load_speaker(w, 1, spk_b);
    }
    if (cut) {
        for (int i = 0; i < 6; ++i) w.lowcut_x[i] = lowcut.x[i], w.lowcut_y[i] = lowcut.y[i];
    }

    if (use_avx2_kernel) eq8::run_kernel_avx2(w, samples, frames, stereo);
    else eq8::run_kernel(w, samples, frames, stereo);

    if (eq) {
        save_bands(w, stereo, 0, pre_eq);
        (stereo ? hcut_state_l : hcut_state_m) = w.h_state[0];
        if (stereo) {
            save_bands(w, stereo, 1, post_eq);
            hcut_state_r = w.h_state[1];
        }
    }
    if (hp) {
        save_two_pole(w.hp, 0, hp_left);
        if (stereo) save_two_pole(w.hp, 1, hp_state_a);
    }
    if (lp) {
        save_four_pole(w, 0, lp_state_a);
        if (stereo) save_four_pole(w, 1, lp_state_b);
    }
    if (shelf) {
        save_two_pole(w.shelf, 0, shelf_left);
        if (stereo) save_two_pole(w.shelf, 1, shelf_state_a);
    }
    if (spk) {
        save_speaker(w, 0, spk_a);
        if (stereo) save_speaker(w, 1, spk_b);
    }
    if (cut) {
        for (int i = 0; i < 6; ++i) lowcut.x[i] = w.lowcut_x[i], lowcut.y[i] = w.lowcut_y[i];
    }
}

// ---- Parameter record.

void TEQ8_form::get_parameters(ParamRecord& r) { write_fields(*this, kEq8Fields, r); }

void TEQ8_form::put_parameters(const ParamRecord& r) {
    // Only positions and switches are stored; each bar clamps its position
    // and its handler derives every gain and coefficient from it. The right
    // bars come first and Gang last, so a checked Gang copies every left bar
    // that moves onto its right twin.
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
