// Cabinet IR (kind 14): the IR file reader, the window's record and
// controls, the mix, the swap crossfade and the dry pass of a bad file.
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstring>

#include "fx/cabinet_form.h"
#include "fx/ir_wav.h"
#include "fx/wav_test_support.h"

namespace tw {
namespace {

using test::put16;
using test::put32;
using test::put_text;

// A WAV file of `channels` interleaved channels, samples given as floats in
// -1..1, stored with `tag` (1 PCM, 3 float, 0xFFFE extensible PCM) and `bits`.
std::vector<std::uint8_t> ir_wav_bytes(const std::vector<float>& s, int channels, int bits, int tag = 1,
                                       std::uint32_t rate = 48000) {
    std::vector<std::uint8_t> b;
    put_text(b, "RIFF");
    put32(b, 0);
    put_text(b, "WAVE");
    put_text(b, "LIST");   // a chunk to step over (odd length, padded)
    put32(b, 3);
    put_text(b, "abc");
    b.push_back(0);
    put_text(b, "fmt ");
    put32(b, tag == 0xFFFE ? 40 : 16);
    put16(b, static_cast<std::uint32_t>(tag));
    put16(b, static_cast<std::uint32_t>(channels));
    put32(b, rate);
    put32(b, rate * static_cast<std::uint32_t>(channels * bits / 8));
    put16(b, static_cast<std::uint32_t>(channels * bits / 8));
    put16(b, static_cast<std::uint32_t>(bits));
    if (tag == 0xFFFE) {
        put16(b, 22);
        put16(b, static_cast<std::uint32_t>(bits));
        put32(b, 0);
        put16(b, 1);   // PCM sub-format
        for (int i = 0; i < 14; ++i) b.push_back(0);
    }
    put_text(b, "data");
    put32(b, static_cast<std::uint32_t>(s.size() * static_cast<std::size_t>(bits / 8)));
    for (float v : s) {
        if (tag == 3) {
            std::uint32_t u;
            std::memcpy(&u, &v, 4);
            put32(b, u);
        } else if (bits == 16) {
            put16(b, static_cast<std::uint32_t>(static_cast<std::int16_t>(std::lround(v * 32767.0f))));
        } else if (bits == 24) {
            const auto x = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(v * 8388607.0)));
            b.push_back(static_cast<std::uint8_t>(x));
            b.push_back(static_cast<std::uint8_t>(x >> 8));
            b.push_back(static_cast<std::uint8_t>(x >> 16));
        } else {
            put32(b, static_cast<std::uint32_t>(static_cast<std::int32_t>(std::llround(v * 2147483647.0))));
        }
    }
    const auto riff = static_cast<std::uint32_t>(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(riff >> (8 * i));
    return b;
}

IrWavResult read_bytes(const std::vector<std::uint8_t>& b, double max_seconds = 1.0) {
    return read_ir_wav(MemorySource({b.data(), b.size()}), max_seconds);
}

TEST(IrWav, ReadsPcmAndFloatFormatsAsFullScaleFloats) {
    const std::vector<float> st = {0.5f, -0.25f, -1.0f, 0.125f, 0.0f, 0.75f};   // 3 stereo frames
    struct Case { int bits, tag; double tol; };
    for (const Case c : {Case{16, 1, 1e-4}, Case{24, 1, 1e-6}, Case{32, 1, 1e-6}, Case{32, 3, 0}, Case{24, 0xFFFE, 1e-6}}) {
        const IrWavResult r = read_bytes(ir_wav_bytes(st, 2, c.bits, c.tag, 44100));
        ASSERT_TRUE(r.ok) << c.bits << " " << c.tag << ": " << r.message;
        EXPECT_EQ(r.wav.channels, 2);
        EXPECT_EQ(r.wav.sample_rate, 44100u);
        ASSERT_EQ(r.wav.taps[0].size(), 3u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(r.wav.taps[0][static_cast<std::size_t>(i)], st[static_cast<std::size_t>(2 * i)], c.tol);
            EXPECT_NEAR(r.wav.taps[1][static_cast<std::size_t>(i)], st[static_cast<std::size_t>(2 * i + 1)], c.tol);
        }
        EXPECT_FALSE(r.wav.cut);
    }
    // A mono file fills only the first channel; a longer one is cut.
    const IrWavResult cut = read_bytes(ir_wav_bytes(std::vector<float>(1500, 0.1f), 1, 16, 1, 1000 * 8), 0.1);
    ASSERT_TRUE(cut.ok);
    EXPECT_TRUE(cut.wav.taps[1].empty());
    EXPECT_EQ(cut.wav.taps[0].size(), 800u);
    EXPECT_TRUE(cut.wav.cut);
    EXPECT_NEAR(cut.wav.file_seconds, 0.1875, 1e-9);
}

TEST(IrWav, RefusesDamagedAndUnsupportedFilesWithASentence) {
    const std::vector<float> s(16, 0.5f);
    std::vector<std::vector<std::uint8_t>> bad;
    bad.push_back({'R', 'I', 'F', 'F'});                  // too short
    auto notwave = ir_wav_bytes(s, 1, 16);
    notwave[8] = 'X';
    bad.push_back(notwave);
    bad.push_back(ir_wav_bytes(s, 1, 8));                 // 8-bit
    bad.push_back(ir_wav_bytes(s, 1, 16, 2));             // ADPCM
    bad.push_back(ir_wav_bytes(s, 1, 16, 1, 4000));       // rate outside the range
    auto noframes = ir_wav_bytes(s, 1, 16);
    noframes.resize(noframes.size() - 32);                // data chunk cut to nothing
    bad.push_back(noframes);
    auto huge_chunk = ir_wav_bytes(s, 1, 16);
    huge_chunk[16] = huge_chunk[17] = huge_chunk[18] = huge_chunk[19] = 0xFF;   // LIST chunk past the end
    bad.push_back(huge_chunk);
    for (std::size_t i = 0; i < bad.size(); ++i) {
        const IrWavResult r = read_bytes(bad[i]);
        EXPECT_FALSE(r.ok) << i;
        EXPECT_FALSE(r.message.empty()) << i;
    }
    // Non-finite float samples come out as silence.
    const IrWavResult nan = read_bytes(ir_wav_bytes({std::nanf(""), 0.5f}, 1, 32, 3));
    ASSERT_TRUE(nan.ok);
    EXPECT_EQ(nan.wav.taps[0][0], 0.0f);
    EXPECT_EQ(nan.wav.taps[0][1], 0.5f);
}

class Cabinet : public test::ScratchFolderTest {
protected:
    void SetUp() override {
        ScratchFolderTest::SetUp();
        std::filesystem::create_directories(dir_ / "CABS");
    }
    void write_cab(const std::string& name, const std::vector<float>& s, int channels, std::uint32_t rate = 48000) {
        test::write_bytes(path("CABS/" + name), ir_wav_bytes(s, channels, 32, 3, rate));
    }
    int warnings() const {
        int n = 0;
        for (const auto& m : svc.messages.shown()) n += m.warning ? 1 : 0;
        return n;
    }
};

std::vector<float> run_form(TCabinet_form& f, std::vector<float> x, int channels, int block, int rate = 48000) {
    const int frames = static_cast<int>(x.size()) / channels;
    for (int done = 0; done < frames; done += block)
        f.process(std::min(block, frames - done), rate, channels, x.data() + done * channels);
    return x;
}

TEST_F(Cabinet, StoresTheRecordAtItsOffsetsAndReadsItBack) {
    write_cab("a.wav", {1.0f, 0.5f}, 1);
    TCabinet_form f;
    EXPECT_EQ(f.form().class_name(), "TCabinet_form");
    EXPECT_EQ(f.ScrollBar_Level.position(), 50);
    EXPECT_EQ(f.ScrollBar_Mix.position(), 100);
    EXPECT_TRUE(f.CheckBox_Normalize.checked());
    ASSERT_EQ(f.ComboBox_Cabinets.count(), 1);
    f.ComboBox_Cabinets.set_item_index(0);
    f.ScrollBar_Level.set_position(61);
    f.ScrollBar_Mix.set_position(30);
    f.CheckBox_Normalize.set_checked(false);
    ParamRecord r;
    f.get_parameters(r);
    EXPECT_EQ(rec_get_i32(r, 0), 141414);
    EXPECT_EQ(rec_get_i32(r, 4), 61);
    EXPECT_EQ(rec_get_i32(r, 8), 30);
    EXPECT_EQ(rec_get_u8(r, 12), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r.bytes[32])), "a.wav");

    TCabinet_form g;
    g.put_parameters(r);
    EXPECT_EQ(g.ScrollBar_Level.position(), 61);
    EXPECT_EQ(g.ScrollBar_Mix.position(), 30);
    EXPECT_FALSE(g.CheckBox_Normalize.checked());
    EXPECT_EQ(g.ir_path(), "a.wav");
    EXPECT_EQ(g.Label_IR.caption(), "a.wav  0 ms");
    EXPECT_NE(g.params.set, nullptr);

    // Without the marker nothing changes.
    rec_set_i32(r, 0, 0);
    TCabinet_form h;
    h.put_parameters(r);
    EXPECT_EQ(h.ScrollBar_Level.position(), 50);
    EXPECT_EQ(h.ir_path(), "");
    EXPECT_EQ(h.params.set, nullptr);
}

TEST_F(Cabinet, MixesDryAndConvolvedSignalsWithTheLevelAndNormalization) {
    // IR (0.6, 0.8): energy 1, so normalizing leaves it as it is; a stereo
    // IR's channels go to their own sides.
    write_cab("st.wav", {0.6f, 0.0f, 0.8f, 0.5f}, 2);
    TCabinet_form f;
    ASSERT_TRUE(f.load_ir("st.wav"));
    f.ScrollBar_Mix.set_position(25);
    f.ScrollBar_Level.set_position(100);   // gain curve: 11
    std::vector<float> x(2 * 4000);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(1000.0 * std::sin(0.05 * static_cast<double>(i)));
    const std::vector<float> y = run_form(f, x, 2, 256);
    // Past the first pass (gain ramp) and the fade-in from dry.
    for (std::size_t t = 1000; t < 4000; ++t) {
        const float dl = x[2 * t], dr = x[2 * t + 1];
        const float wl = 0.6f * x[2 * t] + 0.8f * x[2 * (t - 1)];
        const float wr = 0.5f * x[2 * (t - 1) + 1];
        // Right channel energy 0.25 < left's 1: the left's sum sets the scale.
        ASSERT_NEAR(y[2 * t], 0.75f * dl + 11.0f * 0.25f * wl, 0.05f) << t;
        ASSERT_NEAR(y[2 * t + 1], 0.75f * dr + 11.0f * 0.25f * wr, 0.05f) << t;
    }
    // Normalized: a louder IR is scaled to unit energy.
    write_cab("loud.wav", {3.0f, 4.0f}, 1);
    TCabinet_form g;
    ASSERT_TRUE(g.load_ir("loud.wav"));
    std::vector<float> m(3000);
    for (std::size_t i = 0; i < m.size(); ++i) m[i] = static_cast<float>(i % 7) - 3.0f;
    const std::vector<float> ym = run_form(g, m, 1, 64);
    for (std::size_t t = 1000; t < 3000; ++t) ASSERT_NEAR(ym[t], 0.6f * m[t] + 0.8f * m[t - 1], 1e-4) << t;
    g.CheckBox_Normalize.set_checked(false);
    const std::vector<float> yr = run_form(g, m, 1, 64);
    for (std::size_t t = 1000; t < 3000; ++t) ASSERT_NEAR(yr[t], 3.0f * m[t] + 4.0f * m[t - 1], 1e-3) << t;
}

TEST_F(Cabinet, ABadFileWarnsAndPassesDryAndASwapCrossfades) {
    write_cab("one.wav", {1.0f}, 1);
    write_cab("half.wav", {0.0f, 1.0f}, 1);   // a one-sample delay
    test::write_bytes(path("CABS/bad.wav"), {'n', 'o', 'p', 'e'});
    ASSERT_EQ(::mkfifo(path("CABS/pipe.wav").c_str(), 0600), 0);
    TCabinet_form f;
    ASSERT_TRUE(f.load_ir("one.wav"));
    std::vector<float> x(2000, 100.0f);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(i);
    run_form(f, x, 1, 128);
    // A pipe does not hold the window (non-blocking open, then refused).
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(f.load_ir("pipe.wav"));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_FALSE(f.load_ir("bad.wav"));
    EXPECT_EQ(warnings(), 2);
    EXPECT_EQ(f.params.set, nullptr);
    const std::vector<float> dry = run_form(f, x, 1, 128);
    for (std::size_t t = 600; t < x.size(); ++t) ASSERT_EQ(dry[t], x[t]);

    // A swap: from one sample late to on time, over 512 samples, with no
    // step larger than the ramp's own slope allows.
    ASSERT_TRUE(f.load_ir("half.wav"));
    run_form(f, x, 1, 128);
    ASSERT_TRUE(f.load_ir("one.wav"));
    const std::vector<float> y = run_form(f, x, 1, 100);
    for (std::size_t t = 1; t < 512; ++t) ASSERT_NEAR(y[t], x[t] - 1.0f + static_cast<float>(t + 1) / 512, 1e-3) << t;
    for (std::size_t t = 512; t < x.size(); ++t) ASSERT_NEAR(y[t], x[t], 1e-3) << t;
    // Both old sets are released once the kernel has let them go.
    f.release_old_sets();
    EXPECT_EQ(f.sets_held(), 1u);
}

TEST_F(Cabinet, ResamplesAtLoadForEveryOfferedRateAndCutsToOneSecond) {
    // A 1.5 s IR at 44.1 kHz: every rate gets at most one second.
    std::vector<float> s(66150, 0.0f);
    s[0] = 1.0f;
    write_cab("long.wav", s, 1, 44100);
    TCabinet_form f;
    ASSERT_TRUE(f.load_ir("long.wav"));
    EXPECT_EQ(f.Label_IR.caption(), "long.wav  1000 ms");
    EXPECT_EQ(f.Label_Note.caption(), "The file holds 1.50 s: cut to 1 s.");
    const CabinetIrSet& set = *f.params.set;
    for (int i = 0; i < 4; ++i) {
        const auto n = static_cast<double>(set.at(i).ir[0]->length());
        EXPECT_NEAR(n, kCabinetRates[static_cast<std::size_t>(i)], 3) << i;
    }
    EXPECT_EQ(cabinet_rate_index(32075), 1);
    EXPECT_EQ(cabinet_rate_index(96000), 3);
    // The impulse keeps its place and its height at each rate (no delay
    // from the resampler).
    for (int rate : {22050, 32075, 48000}) {
        TCabinet_form g;
        ASSERT_TRUE(g.load_ir("long.wav"));
        g.CheckBox_Normalize.set_checked(false);
        std::vector<float> x(1200, 0.0f);
        run_form(g, x, 1, 600, rate);   // past the fade from dry
        x[100] = 1.0f;
        const std::vector<float> y = run_form(g, x, 1, 64, rate);
        const auto peak = std::max_element(y.begin(), y.end()) - y.begin();
        EXPECT_EQ(peak, 100) << rate;
    }
}

}  // namespace
}  // namespace tw
