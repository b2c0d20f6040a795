#include "fx/ir_wav.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "engine/le_bytes.h"

namespace tw {

namespace {

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagExtensible = 0xFFFE;

IrWavResult failure(std::string message) {
    IrWavResult r;
    r.message = std::move(message);
    return r;
}

bool id_is(const std::uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

struct Format {
    std::uint16_t tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint16_t block_align = 0;
    std::uint16_t bits = 0;
};

// One sample at p as a float (full scale = 1.0), or NaN for a non-finite one.
float sample_at(const std::uint8_t* p, const Format& f) {
    if (f.tag == kTagFloat) {
        if (f.bits == 32) return load_le_f32(p);
        std::uint64_t u = 0;
        for (int i = 7; i >= 0; --i) u = (u << 8) | p[i];
        return static_cast<float>(std::bit_cast<double>(u));
    }
    switch (f.bits) {
        case 16: return static_cast<float>(static_cast<std::int16_t>(load_le16(p))) / 32768.0f;
        case 24: {
            const std::int32_t v = static_cast<std::int32_t>((static_cast<std::uint32_t>(p[0]) << 8) |
                                                             (static_cast<std::uint32_t>(p[1]) << 16) |
                                                             (static_cast<std::uint32_t>(p[2]) << 24)) >> 8;
            return static_cast<float>(v) / 8388608.0f;
        }
        default: return static_cast<float>(static_cast<double>(static_cast<std::int32_t>(load_le32(p))) / 2147483648.0);
    }
}

}  // namespace

IrWavResult read_ir_wav(const ByteSource& src, double max_seconds) {
    const std::int64_t size = src.size();
    std::array<std::uint8_t, 12> riff{};
    if (size < 12 || src.read_at(0, riff.data(), 12) != 12 || !id_is(riff.data(), "RIFF") || !id_is(riff.data() + 8, "WAVE"))
        return failure("The file is not a WAV file (no RIFF/WAVE header). Choose a .wav impulse response.");

    Format fmt;
    bool have_fmt = false;
    std::int64_t data_at = -1, data_bytes = 0;
    // Each step moves at least 8 bytes on, so the walk ends.
    for (std::int64_t at = 12; at + 8 <= size;) {
        std::array<std::uint8_t, 8> head{};
        if (src.read_at(at, head.data(), 8) != 8) break;
        const std::int64_t len = load_le32(head.data() + 4);
        const std::int64_t body = at + 8;
        if (id_is(head.data(), "fmt ")) {
            if (len < 16 || body + 16 > size)
                return failure("The WAV file's format block is damaged. Export the impulse response again.");
            std::array<std::uint8_t, 40> b{};
            const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(len, 40));
            if (src.read_at(body, b.data(), n) != n)
                return failure("The WAV file's format block is cut short. Export the impulse response again.");
            fmt.tag = load_le16(&b[0]);
            fmt.channels = load_le16(&b[2]);
            fmt.rate = load_le32(&b[4]);
            fmt.block_align = load_le16(&b[12]);
            fmt.bits = load_le16(&b[14]);
            // WAVE_FORMAT_EXTENSIBLE: the real format is the first two bytes
            // of the sub-format GUID.
            if (fmt.tag == kTagExtensible) fmt.tag = len >= 40 ? load_le16(&b[24]) : 0;
            have_fmt = true;
        } else if (id_is(head.data(), "data")) {
            data_at = body;
            // A writer that could not go back to fix the size leaves 0 or
            // more than the file holds: take what is there.
            data_bytes = std::min<std::int64_t>(len == 0 ? size - body : len, size - body);
            break;
        }
        at = body + len + (len & 1);
    }
    if (!have_fmt) return failure("The WAV file has no format block. Export the impulse response again.");
    const bool pcm = fmt.tag == kTagPcm && (fmt.bits == 16 || fmt.bits == 24 || fmt.bits == 32);
    const bool flt = fmt.tag == kTagFloat && (fmt.bits == 32 || fmt.bits == 64);
    if (!pcm && !flt)
        return failure("The WAV file's sample format is not supported. Use 16, 24 or 32-bit PCM or 32-bit float.");
    if (fmt.channels == 0 || fmt.channels > 64)
        return failure("The WAV file gives " + std::to_string(fmt.channels) + " channels. Use a mono or stereo impulse response.");
    if (fmt.rate < kIrMinRate || fmt.rate > kIrMaxRate)
        return failure("The WAV file's sample rate (" + std::to_string(fmt.rate) +
                       " Hz) is outside 8000..384000 Hz. Export the impulse response at a usual rate.");
    const int bytes = fmt.bits / 8;
    if (fmt.block_align != fmt.channels * bytes)
        return failure("The WAV file's frame size does not match its channels and bits. Export the impulse response again.");
    if (data_at < 0) return failure("The WAV file has no sample data. Export the impulse response again.");

    const std::int64_t frames_in_file = data_bytes / fmt.block_align;
    if (frames_in_file <= 0) return failure("The WAV file holds no samples. Choose another impulse response.");
    const std::int64_t limit = static_cast<std::int64_t>(std::floor(max_seconds * fmt.rate));
    const std::int64_t frames = std::min(frames_in_file, std::max<std::int64_t>(limit, 1));

    IrWavResult r;
    r.wav.channels = fmt.channels;
    r.wav.sample_rate = fmt.rate;
    r.wav.cut = frames < frames_in_file;
    r.wav.file_seconds = static_cast<double>(frames_in_file) / fmt.rate;
    const int used = std::min<int>(fmt.channels, 2);
    for (int c = 0; c < used; ++c) r.wav.taps[c].resize(static_cast<std::size_t>(frames));
    // Read in pieces of whole frames.
    std::vector<std::uint8_t> piece(static_cast<std::size_t>(fmt.block_align) * 4096);
    for (std::int64_t f0 = 0; f0 < frames; f0 += 4096) {
        const std::int64_t n = std::min<std::int64_t>(4096, frames - f0);
        const std::size_t want = static_cast<std::size_t>(n) * fmt.block_align;
        if (src.read_at(data_at + f0 * fmt.block_align, piece.data(), want) != want)
            return failure("The WAV file could not be read to its end. Check the file and load it again.");
        for (std::int64_t i = 0; i < n; ++i) {
            for (int c = 0; c < used; ++c) {
                float v = sample_at(piece.data() + i * fmt.block_align + c * bytes, fmt);
                // A damaged float file must not put NaN or huge values out.
                if (!std::isfinite(v)) v = 0.0f;
                r.wav.taps[c][static_cast<std::size_t>(f0 + i)] = std::clamp(v, -16.0f, 16.0f);
            }
        }
    }
    r.ok = true;
    return r;
}

IrWavResult read_ir_wav_file(const std::string& path, double max_seconds) {
    const FileSource file(path);
    if (!file.is_open())
        return failure("Could not open " + path + " for reading. Check that it is a WAV file you may read.");
    return read_ir_wav(file, max_seconds);
}

}  // namespace tw
