// Amp model (kind 15): the window's record and controls, the gains and the
// loudness normalization, stereo as one model run, a bad file passing dry,
// the swap crossfade.
#include <cmath>
#include <filesystem>

#include "fx/amp_model_form.h"
#include "fx/fx_test_support.h"
#include "fx/nam/nam_dsp.h"
#include "fx/nam_test_models.h"
#include "fx/wav_test_support.h"

namespace tw {
namespace {

class AmpModel : public test::ScratchFolderTest {
protected:
    void SetUp() override {
        ScratchFolderTest::SetUp();
        std::filesystem::create_directories(dir_ / "MODELS");
        const std::string text = test::wavenet_json(test::trainer_wavenet("nano"), 9);
        test::write_bytes(path("MODELS/nano.nam"), std::vector<std::uint8_t>(text.begin(), text.end()));
        const std::string lstm = test::lstm_json(1, 6, 2);
        test::write_bytes(path("MODELS/lstm.nam"), std::vector<std::uint8_t>(lstm.begin(), lstm.end()));
        test::write_bytes(path("MODELS/bad.nam"), {'{', '}'});
    }
    int warnings() const {
        int n = 0;
        for (const auto& m : svc.messages.shown()) n += m.warning ? 1 : 0;
        return n;
    }
};

std::vector<float> run_form(TAmp_model_form& f, std::vector<float> x, int channels, int block) {
    const int frames = static_cast<int>(x.size()) / channels;
    for (int done = 0; done < frames; done += block) f.process(std::min(block, frames - done), 48000, channels, x.data() + done * channels);
    return x;
}

TEST_F(AmpModel, StoresTheRecordAtItsOffsetsAndReadsItBack) {
    TAmp_model_form f;
    EXPECT_EQ(f.form().caption(), "Amp model");
    ASSERT_EQ(f.ComboBox_Models.count(), 3);
    f.ComboBox_Models.set_item_index(2);   // sorted: bad, lstm, nano
    EXPECT_EQ(f.model_path(), "nano.nam");
    EXPECT_EQ(f.Label_Info.caption(), "WaveNet (nano), 842 weights, 48 kHz, loudness -12.0 dB");
    f.ScrollBar_Input.set_position(70);
    f.ScrollBar_Output.set_position(20);
    f.CheckBox_Normalize.set_checked(false);
    EXPECT_EQ(f.ScrollBar_Input.unit_text(70), "+10.0 dB");
    ParamRecord r;
    f.get_parameters(r);
    EXPECT_EQ(rec_get_i32(r, 0), 151515);
    EXPECT_EQ(rec_get_i32(r, 4), 70);
    EXPECT_EQ(rec_get_i32(r, 8), 20);
    EXPECT_EQ(rec_get_u8(r, 12), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r.bytes[32])), "nano.nam");

    TAmp_model_form g;
    g.put_parameters(r);
    EXPECT_EQ(g.ScrollBar_Input.position(), 70);
    EXPECT_EQ(g.model_path(), "nano.nam");
    EXPECT_NE(g.params.model, nullptr);
    EXPECT_FLOAT_EQ(g.params.in_gain, std::pow(10.0f, 0.5f));
    EXPECT_FLOAT_EQ(g.params.out_gain, std::pow(10.0f, -15.0f / 20));
    // Normalizing plays the model at -18 dB loudness: 6 dB below its -12.
    g.CheckBox_Normalize.set_checked(true);
    g.CheckBox_NormalizeClick();
    EXPECT_FLOAT_EQ(g.params.out_gain, std::pow(10.0f, -21.0f / 20));

    rec_set_i32(r, 0, 0);
    TAmp_model_form h;
    h.put_parameters(r);
    EXPECT_EQ(h.model_path(), "");
    EXPECT_EQ(h.params.model, nullptr);
}

TEST_F(AmpModel, PlaysTheModelOnMonoAndOnStereoAsOneChannel) {
    TAmp_model_form f;
    ASSERT_TRUE(f.load_model("lstm.nam"));
    f.CheckBox_Normalize.set_checked(false);
    f.CheckBox_NormalizeClick();
    const std::vector<float> mono = test::guitar_like(3000, 9000.0f);
    // The same model run directly, on the engine's scale / 32768.
    const nam::Model m = nam::read_model_file(path("MODELS/lstm.nam")).model;
    auto d = nam::make_dsp(m, {nam::best_isa(), true});
    std::vector<float> expected(mono.size());
    for (std::size_t i = 0; i < mono.size(); ++i) expected[i] = mono[i] / 32768.0f;
    d->process(expected.data(), expected.data(), static_cast<int>(expected.size()));
    const std::vector<float> y = run_form(f, mono, 1, 37);
    for (std::size_t i = 0; i < mono.size(); ++i) ASSERT_NEAR(y[i], expected[i] * 32768.0f, 2e-3f) << i;

    TAmp_model_form s;
    ASSERT_TRUE(s.load_model("lstm.nam"));
    s.CheckBox_Normalize.set_checked(false);
    s.CheckBox_NormalizeClick();
    std::vector<float> st(2 * mono.size());
    for (std::size_t i = 0; i < mono.size(); ++i) {
        st[2 * i] = mono[i] + 1000.0f;   // (L + R) / 2 is the mono signal
        st[2 * i + 1] = mono[i] - 1000.0f;
    }
    const std::vector<float> ys = run_form(s, st, 2, 512);
    for (std::size_t i = 0; i < mono.size(); ++i) {
        ASSERT_EQ(ys[2 * i], ys[2 * i + 1]);
        ASSERT_NEAR(ys[2 * i], y[i], 2e-3f);
    }
    // A bad sample comes out as the model's answer to silence, not NaN.
    std::vector<float> bad(64, std::nanf(""));
    for (float v : run_form(s, bad, 2, 32)) ASSERT_TRUE(std::isfinite(v));
}

TEST_F(AmpModel, ABadFileWarnsAndPassesDryAndASwapCrossfades) {
    TAmp_model_form f;
    const std::vector<float> x = test::guitar_like(512);
    EXPECT_EQ(run_form(f, x, 1, 64), x);   // no model: dry, exactly
    EXPECT_FALSE(f.load_model("bad.nam"));
    EXPECT_EQ(warnings(), 1);
    EXPECT_EQ(f.params.model, nullptr);
    EXPECT_EQ(f.Label_Model.caption(), "bad.nam: not loaded (the signal passes dry)");
    EXPECT_EQ(run_form(f, x, 1, 64), x);
    EXPECT_FALSE(f.load_model("missing.nam"));
    EXPECT_EQ(warnings(), 2);

    // From dry to a model: the first samples after the swap are still
    // mostly dry, the fade is over after 256.
    ASSERT_TRUE(f.load_model("nano.nam"));
    const std::vector<float> y = run_form(f, x, 1, 64);
    TAmp_model_form g;
    ASSERT_TRUE(g.load_model("nano.nam"));
    const std::vector<float> z = run_form(g, x, 1, 64);   // the first set starts at once
    for (int i : {0, 64, 128, 192}) {
        const float share = 1.0f - static_cast<float>(255 - i) / 256;
        EXPECT_NEAR(y[i], share * z[i] + (1 - share) * x[i], 0.5f) << i;
    }
    for (std::size_t i = 300; i < x.size(); ++i) ASSERT_NEAR(y[i], z[i], 1e-2f) << i;
    // The old model is freed once the audio thread has let it go.
    f.release_old_models();
}

}  // namespace
}  // namespace tw
