#include "wav_stream.h"

#include <bit>
#include <cstring>

namespace tw::render {

namespace {

constexpr std::uint32_t kUnknownSize = 0xFFFFFFFFu;
constexpr std::uint16_t kIeeeFloat = 3;
constexpr std::uint32_t kHeaderRest = 38;  // RIFF size counts from "WAVE" to the end of the "data" chunk header

void put_tag(std::vector<std::uint8_t>& o, const char* t) { o.insert(o.end(), t, t + 4); }
void put16(std::vector<std::uint8_t>& o, std::uint32_t v) {
    o.push_back(static_cast<std::uint8_t>(v));
    o.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& o, std::uint32_t v) {
    put16(o, v & 0xFFFFu);
    put16(o, v >> 16);
}

}  // namespace

bool needs_rf64(std::optional<std::int64_t> frames, int channels, std::uint64_t limit) {
    if (!frames || *frames < 0 || channels <= 0) return true;
    return static_cast<std::uint64_t>(*frames) > limit / (static_cast<std::uint64_t>(channels) * 4u);
}

std::vector<std::uint8_t> float_wav_header(int rate, int channels, std::optional<std::int64_t> frames) {
    const std::uint32_t block = static_cast<std::uint32_t>(channels) * 4u;
    std::uint32_t data = kUnknownSize;
    std::uint32_t riff = kUnknownSize;
    if (frames && *frames >= 0) {
        const std::uint64_t bytes = static_cast<std::uint64_t>(*frames) * block;
        if (bytes + kHeaderRest <= kUnknownSize - 1) {
            data = static_cast<std::uint32_t>(bytes);
            riff = static_cast<std::uint32_t>(bytes + kHeaderRest);
        }
    }
    std::vector<std::uint8_t> o;
    o.reserve(46);
    put_tag(o, "RIFF");
    put32(o, riff);
    put_tag(o, "WAVE");
    put_tag(o, "fmt ");
    // A float format block carries its (empty) extension size.
    put32(o, 18);
    put16(o, kIeeeFloat);
    put16(o, static_cast<std::uint32_t>(channels));
    put32(o, static_cast<std::uint32_t>(rate));
    put32(o, static_cast<std::uint32_t>(rate) * block);
    put16(o, block);
    put16(o, 32);
    put16(o, 0);
    put_tag(o, "data");
    put32(o, data);
    return o;
}

void append_float_samples(std::vector<std::uint8_t>& out, const float* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) put32(out, std::bit_cast<std::uint32_t>(samples[i]));
}

}  // namespace tw::render
