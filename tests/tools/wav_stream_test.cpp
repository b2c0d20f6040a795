// The renderer's streamed WAV header and its reading of what a header
// declares: sizes, the 4 GiB limit and RF64's ds64 sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "declared_frames.h"
#include "wav_stream.h"

namespace {

using tw::render::declared_frames;
using tw::render::float_wav_header;

std::uint32_t u32_at(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

TEST(WavStream, HeaderSizesUpToTheFourGibLimit) {
    const auto h = float_wav_header(48000, 2, 1000);
    ASSERT_EQ(h.size(), 46u);
    EXPECT_EQ(u32_at(h, 4), 38u + 8000u);
    EXPECT_EQ(u32_at(h, 24), 48000u);
    EXPECT_EQ(u32_at(h, 28), 48000u * 8u);
    EXPECT_EQ(u32_at(h, 42), 8000u);
    EXPECT_EQ(declared_frames(h), 1000);
    // The largest stereo length that still fits, and one frame more.
    const std::int64_t fits = (0xFFFFFFFEll - 38) / 8;
    EXPECT_EQ(u32_at(float_wav_header(48000, 2, fits), 42), static_cast<std::uint32_t>(fits * 8));
    EXPECT_EQ(u32_at(float_wav_header(48000, 2, fits + 1), 42), 0xFFFFFFFFu);
    EXPECT_EQ(u32_at(float_wav_header(48000, 2, fits + 1), 4), 0xFFFFFFFFu);
    EXPECT_EQ(u32_at(float_wav_header(8000, 1, std::nullopt), 42), 0xFFFFFFFFu);
}

TEST(WavStream, Rf64OnlyPastTheLimitOrForUnknownLengths) {
    // A small limit stands in for 4 GiB: 100 bytes hold 12 stereo frames.
    EXPECT_FALSE(tw::render::needs_rf64(12, 2, 100));
    EXPECT_TRUE(tw::render::needs_rf64(13, 2, 100));
    EXPECT_FALSE(tw::render::needs_rf64(25, 1, 100));
    EXPECT_TRUE(tw::render::needs_rf64(std::nullopt, 2, 100));
    // The real limit: 25 minutes of 384 kHz stereo do not fit, 20 do.
    EXPECT_TRUE(tw::render::needs_rf64(25ll * 60 * 384000, 2));
    EXPECT_FALSE(tw::render::needs_rf64(20ll * 60 * 384000, 2));
}

TEST(WavStream, DeclaredFramesOfRf64AndBrokenHeaders) {
    // RF64: the data size is in ds64 (6 GiB here), the data chunk says 0xFFFFFFFF.
    auto h = float_wav_header(48000, 2, 10);
    h[0] = 'R', h[1] = 'F', h[2] = '6', h[3] = '4';
    const std::uint64_t six_gib = 6ull << 30;
    std::vector<std::uint8_t> ds64 = {'d', 's', '6', '4', 28, 0, 0, 0};
    for (int i = 0; i < 8; ++i) ds64.push_back(0);
    for (int i = 0; i < 8; ++i) ds64.push_back(static_cast<std::uint8_t>(six_gib >> (8 * i)));
    for (int i = 0; i < 12; ++i) ds64.push_back(0);
    h.insert(h.begin() + 12, ds64.begin(), ds64.end());
    for (int i = 0; i < 4; ++i) h[h.size() - 4 + i] = 0xFF;
    EXPECT_EQ(declared_frames(h), static_cast<std::int64_t>(six_gib / 8));

    auto cut = float_wav_header(48000, 2, 10);
    cut.resize(40);
    EXPECT_FALSE(declared_frames(cut));
    auto no_block = float_wav_header(48000, 2, 10);
    no_block[32] = no_block[33] = 0;  // block align 0
    EXPECT_FALSE(declared_frames(no_block));
    auto huge_chunk = float_wav_header(48000, 2, 10);
    huge_chunk[16] = huge_chunk[17] = huge_chunk[18] = huge_chunk[19] = 0xFF;  // fmt runs past the end
    EXPECT_FALSE(declared_frames(huge_chunk));
    EXPECT_FALSE(declared_frames(std::vector<std::uint8_t>{'R', 'I', 'F', 'F'}));
}

}  // namespace
