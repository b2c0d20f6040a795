// Playback wav file: backing tracks in formats other than 16-bit PCM are
// converted to the 16-bit scale, three or more channels play their first
// two, and a file at another rate than the stream's plays its resampled copy.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <numbers>

#include "fx/backing_track.h"
#include "fx/read_wav.h"
#include "wav_test_support.h"

namespace tw {
namespace {

class BackingTrackTest : public test::ScratchFolderTest {
protected:
    // Writes demo1.wav with libsndfile (ints on the 32-bit scale) and makes a
    // player of it.
    std::unique_ptr<TReadWav> player_of(int subtype, int channels, int rate, const std::vector<int>& samples) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | subtype;
        SNDFILE* f = sf_open(path("demo1.wav").c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        sf_writef_int(f, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
        sf_close(f);
        return std::make_unique<TReadWav>();
    }
    static std::vector<float> mix(TReadWav& p, int channels, int rate, std::size_t frames) {
        std::vector<float> buf(frames * static_cast<std::size_t>(channels), 0.0f);
        p.process(static_cast<int>(frames), rate, channels, buf.data());
        return buf;
    }
    static bool memo_has(const TReadWav& p, const std::string& line) {
        for (const auto& l : p.spSkinMemo1.lines())
            if (l == line) return true;
        return false;
    }
};

constexpr int kHalf = 0x40000000, kQuarter = 0x20000000, kEighth = 0x10000000;

TEST_F(BackingTrackTest, EveryFormatPlaysOnTheSixteenBitScale) {
    const struct {
        int subtype;
        const char* name;
    } formats[] = {{SF_FORMAT_PCM_U8, "8-bit PCM"},     {SF_FORMAT_PCM_24, "24-bit PCM"},
                   {SF_FORMAT_PCM_32, "32-bit PCM"}};
    for (const auto& f : formats) {
        SCOPED_TRACE(f.name);
        auto p = player_of(f.subtype, 1, 48000, {kHalf, -kQuarter, kEighth});
        EXPECT_TRUE(shown().empty());
        EXPECT_EQ(mix(*p, 1, 48000, 4), (std::vector<float>{16384, -8192, 4096, 16384}));
        EXPECT_TRUE(memo_has(*p, std::string("Converted from ") + f.name + " to 16-bit samples."));
    }
    // Float samples past full scale are held at it; NaN plays as silence.
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* sf = sf_open(path("loud.wav").c_str(), SFM_WRITE, &info);
    const float loud[] = {1.5f, -3.0f, std::nanf(""), -1.0f};
    sf_writef_float(sf, loud, 4);
    sf_close(sf);
    auto p = player_of(SF_FORMAT_PCM_16, 1, 48000, {0});
    svc.dialogs.push_answer(path("loud.wav"));
    p->spSkinButton1.click();
    EXPECT_EQ(mix(*p, 1, 48000, 4), (std::vector<float>{32767, -32768, 0, -32768}));
}

TEST_F(BackingTrackTest, ThreeOrMoreChannelsPlayTheirFirstTwo) {
    // 16-bit, taken byte for byte: four channels, two frames.
    auto p = player_of(SF_FORMAT_PCM_16, 4, 48000,
                       {100 << 16, 200 << 16, 300 << 16, 400 << 16, 500 << 16, 600 << 16, 700 << 16, 800 << 16});
    EXPECT_EQ(p->params.file_channels, 2);
    EXPECT_EQ(p->params.frame_count, 2);
    EXPECT_EQ(mix(*p, 2, 48000, 3), (std::vector<float>{100, 200, 500, 600, 100, 200}));
    EXPECT_TRUE(memo_has(*p, "The file has 4 channels: the first two play as left and right, the others are left out."));
    // Converted: three channels of 24-bit into a mono buffer, (L + R) * 0.707.
    p = player_of(SF_FORMAT_PCM_24, 3, 48000, {kHalf, kQuarter, kHalf, -kEighth, -kEighth, kHalf});
    EXPECT_EQ(p->params.file_channels, 2);
    EXPECT_EQ(mix(*p, 1, 48000, 2),
              (std::vector<float>{static_cast<float>((16384 + 8192) * 0.707), static_cast<float>(-8192 * 0.707)}));
}

TEST_F(BackingTrackTest, AFileAtAnotherRatePlaysAtItsOwnSpeed) {
    // One second of 1 kHz at 44100 Hz, 16-bit.
    std::vector<int> sine(44100);
    for (std::size_t i = 0; i < sine.size(); ++i)
        sine[i] = static_cast<int>(std::lround(16000 * std::sin(2 * std::numbers::pi * 1000 * i / 44100.0))) << 16;
    auto p = player_of(SF_FORMAT_PCM_16, 1, 44100, sine);
    // At the file's own rate: its samples, bit for bit.
    const auto own = mix(*p, 1, 44100, 100);
    for (std::size_t i = 0; i < own.size(); ++i) ASSERT_EQ(own[i], static_cast<float>(sine[i] >> 16)) << i;
    for (const int rate : {22050, 32075, 48000}) {
        SCOPED_TRACE(rate);
        p->spSkinButton1.click();   // cancelled: the same file from its first frame
        const auto out = mix(*p, 1, rate, static_cast<std::size_t>(rate));
        // 1000 periods in the second: 2000 sign changes, at full amplitude.
        int crossings = 0;
        float peak = 0;
        for (std::size_t i = 1; i < out.size(); ++i) {
            crossings += (out[i - 1] < 0) != (out[i] < 0);
            if (i > 100 && i + 100 < out.size()) peak = std::max(peak, std::fabs(out[i]));
        }
        EXPECT_NEAR(crossings, 2000, 2);
        EXPECT_NEAR(peak, 16000, 160);
    }
}

TEST_F(BackingTrackTest, AFormatNoReaderKnowsIsRefusedWithASentence) {
    std::vector<std::uint8_t> b = test::wav_bytes({.samples = {1, 2, 3, 4}});
    b[20] = 0x55;   // format tag: MPEG layer 3
    b[34] = 0;      // 0 bits per sample
    test::write_bytes(path("demo1.wav"), b);
    TReadWav p;
    ASSERT_EQ(shown().size(), 2u);
    EXPECT_EQ(shown()[0], "The wav file's sample format (format 85, 0 bits per sample) cannot be read. "
                          "Convert it to 16 or 24-bit PCM and open it again.");
    EXPECT_EQ(shown()[1], "Error: wrong wav file format.");
    EXPECT_EQ(p.params.samples, nullptr);
}

}  // namespace
}  // namespace tw
