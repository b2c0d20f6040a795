// The tuner: pitch accuracy on synthesised plucked strings with noise, no
// note for silence and hum, the note model with a moved A4, and the tuner
// form's mute and A4 settings.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include <chrono>
#include <memory>
#include <thread>

#include "app/main_form.h"
#include "app/tuner_analyser.h"
#include "app/tuner_note.h"
#include "app_test_support.h"
#include "engine/effects.h"

namespace tw {
namespace {

constexpr int kRate = 48000;

// A plucked string: six harmonics, each decaying faster than the one below,
// a 2 ms attack after `lead` seconds of silence, white noise 30 dB below the
// note's starting RMS throughout. 16-bit scale.
std::vector<float> pluck(double hz, double seconds, double lead = 0.1, unsigned seed = 1, int rate = kRate) {
    const double amps[6] = {1.0, 0.6, 0.45, 0.3, 0.2, 0.12};
    double rms = 0.0;
    for (double a : amps) rms += a * a / 2.0;
    rms = std::sqrt(rms);
    const double scale = 8000.0;
    std::mt19937 gen(seed);
    std::normal_distribution<double> noise(0.0, rms * std::pow(10.0, -30.0 / 20.0));
    std::vector<float> x(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / rate - lead;
        double v = 0.0;
        if (t >= 0.0) {
            for (int k = 1; k <= 6 && k * hz < rate / 2.0; ++k)
                v += amps[k - 1] * std::exp(-t * (0.8 + 0.6 * k)) * std::sin(2.0 * std::numbers::pi * k * hz * t + 0.7 * k);
            v *= std::min(1.0, t / 0.002);
        }
        x[i] = static_cast<float>(scale * (v + noise(gen)));
    }
    return x;
}

// Feeds the signal in 5 ms blocks (as the tuner thread polls) and collects
// the shown frequency after each block with its time.
struct Trace {
    std::vector<double> t, hz;
};
Trace run(TunerAnalyser& a, const std::vector<float>& x, int rate = kRate) {
    Trace tr;
    const std::size_t block = static_cast<std::size_t>(rate / 200);
    for (std::size_t i = 0; i + block <= x.size(); i += block) {
        a.feed(x.data() + i, block);
        tr.t.push_back(static_cast<double>(i + block) / rate);
        tr.hz.push_back(a.frequency());
    }
    return tr;
}

double cents(double a, double b) { return 1200.0 * std::log2(a / b); }

// Open strings of standard, drop-D and half-step-down tuning, and the high E
// string up to its 24th fret.
TEST(Tuner, PluckedStringsReadWithinOneCentFrom150MsAfterTheAttack) {
    const double e2 = 82.4069;
    std::vector<double> notes;
    for (int semis : {0, 5, 10, 15, 19, 24}) notes.push_back(e2 * std::pow(2.0, semis / 12.0));  // standard
    notes.push_back(e2 * std::pow(2.0, -2 / 12.0));                                             // drop D
    for (int semis : {0, 5, 10, 15, 19, 24}) notes.push_back(e2 * std::pow(2.0, (semis - 1) / 12.0));  // Eb
    for (int fret : {5, 12, 17, 24}) notes.push_back(329.628 * std::pow(2.0, fret / 12.0));
    const double lead = 0.1;
    unsigned seed = 1;
    for (double f : notes) {
        TunerAnalyser a;
        a.configure(kRate);
        const Trace tr = run(a, pluck(f, 1.3, lead, seed++));
        double worst = 0.0;
        for (std::size_t i = 0; i < tr.t.size(); ++i) {
            if (tr.t[i] < lead) {
                ASSERT_EQ(tr.hz[i], 0.0) << f << " Hz: a note before the attack";
                continue;
            }
            if (tr.t[i] < lead + 0.150) continue;
            ASSERT_GT(tr.hz[i], 0.0) << f << " Hz: no reading " << tr.t[i] - lead << " s after the attack";
            worst = std::max(worst, std::fabs(cents(tr.hz[i], f)));
        }
        EXPECT_LE(worst, 1.0) << f << " Hz";
    }
}

// Silence, white noise below the gate and mains hum (50 and 60 Hz with five
// harmonics, well above the gate) never show a note.
TEST(Tuner, SilenceNoiseAndHumShowNoNote) {
    std::mt19937 gen(7);
    std::normal_distribution<double> noise(0.0, 10.0);
    for (double mains : {0.0, 50.0, 60.0}) {
        std::vector<float> x(kRate);
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double t = static_cast<double>(i) / kRate;
            double v = noise(gen);
            if (mains > 0.0)
                for (int k = 1; k <= 5; ++k) v += 1500.0 / k * std::sin(2.0 * std::numbers::pi * k * mains * t);
            x[i] = static_cast<float>(v);
        }
        TunerAnalyser a;
        a.configure(kRate);
        const Trace tr = run(a, x);
        for (double hz : tr.hz) ASSERT_EQ(hz, 0.0) << "mains " << mains << " Hz";
    }
    // A note that dies away into silence goes back to "no note".
    TunerAnalyser a;
    a.configure(kRate);
    std::vector<float> x = pluck(110.0, 0.5);
    x.resize(x.size() + kRate / 5, 0.0f);
    EXPECT_EQ(run(a, x).hz.back(), 0.0);
}

TEST(Tuner, OtherRatesAndNoteNamesFollowA4) {
    TunerAnalyser a;
    a.configure(44100);
    const Trace tr = run(a, pluck(196.0, 0.6, 0.1, 3, 44100), 44100);
    EXPECT_NEAR(cents(tr.hz.back(), 196.0), 0.0, 1.0);

    NoteReading r = note_for(82.4069, 440.0);
    EXPECT_TRUE(r.has_note);
    EXPECT_EQ(r.name, "E");
    EXPECT_EQ(r.octave, 2);
    EXPECT_NEAR(r.cents, 0.0, 0.01);
    r = note_for(1318.51, 440.0);
    EXPECT_EQ(r.name + std::to_string(r.octave), "E6");
    // At A4 = 432 the same 440 Hz reads A4 +31.8 cents; at 415 it is A#4 +1.3.
    r = note_for(440.0, 432.0);
    EXPECT_EQ(r.name + std::to_string(r.octave), "A4");
    EXPECT_NEAR(r.cents, 31.77, 0.01);
    EXPECT_NEAR(r.target_hz, 432.0, 1e-9);
    r = note_for(440.0, 415.0);
    EXPECT_EQ(r.name + std::to_string(r.octave), "A#4");
    EXPECT_NEAR(r.cents, 1.27, 0.01);
    r = note_for(130.81, 440.0);  // C3 wraps the octave at C
    EXPECT_EQ(r.name + std::to_string(r.octave), "C3");
    EXPECT_FALSE(note_for(0.0, 440.0).has_note);
}

// The tuner in the main form: it reads the input before the input level (the
// input bar at 0 silences the chain, not the tuner), mutes the output only
// while open with "Mute while tuning" checked, and keeps A4 in its settings.
using TunerFormTest = test::FormRig;

TEST_F(TunerFormTest, ReadsTheInputBeforeTheLevelAndMutesOnlyWhileOpen) {
    make();
    form->FormShow();
    form->stream().BitBtn_Init.click();
    ASSERT_TRUE(form->stream().running());
    TunerForm& tuner = form->tuner();
    int shown = 0;
    tuner.on_show_window = [&] { ++shown; };

    const std::vector<float> note = pluck(110.0, 0.5, 0.0);
    auto feed = [&] {
        std::vector<float> buf(512);
        for (std::size_t i = 0; i + 256 <= note.size(); i += 256) {
            for (int k = 0; k < 256; ++k) buf[2 * k] = buf[2 * k + 1] = note[i + k] / 32768.0f;
            fake->feed(buf, 256);
        }
    };
    tuner.CheckBox_Mute.set_checked(true);
    EXPECT_FALSE(devices->waves->output_muted()) << "muted before the tuner is open";
    tuner.Button_Tuner.click();
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(tuner.is_open());
    EXPECT_TRUE(devices->waves->output_muted());

    tuner.ScrollBar_A4.set_position(432);
    EXPECT_EQ(tuner.Label_A4.caption(), "A4 = 432 Hz");
    form->stream().ScrollBar_waveInGain.set_position(100);  // input level 0: the chain gets silence
    feed();
    EXPECT_EQ(devices->waves->get_waveIn_level(), 0.0f);
    // Wait (bounded) until the tuner thread has analysed every sample fed, so
    // the reading is that of the whole note however slow the machine is.
    const std::uint64_t fed = note.size() / 256 * 256;
    for (int i = 0; i < 2000 && tuner.analysed_samples() < fed; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(tuner.analysed_samples(), fed);
    const NoteReading r = tuner.reading();
    ASSERT_TRUE(r.has_note);
    EXPECT_EQ(r.name + std::to_string(r.octave), "A2");
    EXPECT_NEAR(r.cents, 31.8, 1.0);  // 110 Hz against A2 = 108 Hz

    form->stream().ScrollBar_waveInGain.set_position(50);
    feed();
    EXPECT_EQ(devices->waves->get_waveOut_level(), 0.0f) << "output not muted while tuning";
    tuner.CheckBox_Mute.set_checked(false);
    feed();
    EXPECT_GT(devices->waves->get_waveOut_level(), 100.0f);
    tuner.CheckBox_Mute.set_checked(true);
    tuner.close();
    EXPECT_FALSE(devices->waves->output_muted()) << "closing the tuner lifts the mute";
    EXPECT_FALSE(tuner.reading().has_note);
    form->FormClose();
}

// A4 comes from face.ini's [Tuner] (clamped into 415..466) and goes back there.
TEST_F(TunerFormTest, A4IsKeptInFaceIni) {
    home.write("face.ini", "[Tuner]\nA4=9999\n");
    make();
    form->FormShow();
    EXPECT_EQ(form->tuner().a4_hz(), TunerSettings::kMaxA4);
    form->tuner().ScrollBar_A4.set_position(432);
    form->FormClose();
    EXPECT_NE(home.read("face.ini").find("[Tuner]\nA4=432"), std::string::npos) << home.read("face.ini");

    make();
    form->FormShow();
    EXPECT_EQ(form->tuner().a4_hz(), 432);
    EXPECT_EQ(form->tuner().Label_A4.caption(), "A4 = 432 Hz");
    form->FormClose();
}

}  // namespace
}  // namespace tw
