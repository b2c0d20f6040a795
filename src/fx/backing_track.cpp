#include "fx/backing_track.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "engine/le_bytes.h"

namespace tw {

namespace {

constexpr std::int64_t kSpareBytes = 100;   // past the last sample, as the kind always allocated
constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr sf_count_t kReadPiece = 4096;     // frames per libsndfile read

BackingTrackResult refused(std::string message) {
    BackingTrackResult r;
    r.outcome = BackingTrackResult::Outcome::refused;
    r.message = std::move(message);
    return r;
}

BackingTrackResult out_of_memory() {
    BackingTrackResult r;
    r.outcome = BackingTrackResult::Outcome::out_of_memory;
    return r;
}

// Keeps the first two channels of each frame, in place.
void keep_two_channels(std::int16_t* s, std::int64_t frames, int channels) {
    for (std::int64_t f = 0; f < frames; ++f) {
        s[2 * f] = s[channels * f];
        s[2 * f + 1] = s[channels * f + 1];
    }
}

std::string channels_note(int channels) {
    return "The file has " + std::to_string(channels) +
           " channels: the first two play as left and right, the others are left out.";
}

// libsndfile reads through these, so it never sees more than the source.
struct VirtualFile {
    const ByteSource* source = nullptr;
    sf_count_t pos = 0;
};

sf_count_t vf_length(void* u) { return static_cast<VirtualFile*>(u)->source->size(); }
sf_count_t vf_seek(sf_count_t offset, int whence, void* u) {
    auto* f = static_cast<VirtualFile*>(u);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = f->pos;
    else if (whence == SEEK_END) base = f->source->size();
    sf_count_t to = base + offset;
    if (offset > 0 && to < base) to = std::numeric_limits<sf_count_t>::max();   // overflow
    f->pos = std::max<sf_count_t>(0, to);
    return f->pos;
}
sf_count_t vf_read(void* dst, sf_count_t count, void* u) {
    auto* f = static_cast<VirtualFile*>(u);
    if (count <= 0) return 0;
    const std::size_t got = f->source->read_at(f->pos, dst, static_cast<std::size_t>(count));
    f->pos += static_cast<sf_count_t>(got);
    return static_cast<sf_count_t>(got);
}
sf_count_t vf_write(const void*, sf_count_t, void*) { return 0; }
sf_count_t vf_tell(void* u) { return static_cast<VirtualFile*>(u)->pos; }

// Bytes per sample of a libsndfile sub-format, or 0 for a packed or
// compressed one.
int bytes_per_sample(int subtype) {
    switch (subtype) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW: return 1;
        case SF_FORMAT_PCM_16: return 2;
        case SF_FORMAT_PCM_24: return 3;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT: return 4;
        case SF_FORMAT_DOUBLE: return 8;
        default: return 0;
    }
}

std::string format_name(int subtype) {
    switch (subtype) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8: return "8-bit PCM";
        case SF_FORMAT_PCM_24: return "24-bit PCM";
        case SF_FORMAT_PCM_32: return "32-bit PCM";
        case SF_FORMAT_FLOAT: return "32-bit float";
        case SF_FORMAT_DOUBLE: return "64-bit float";
        case SF_FORMAT_ULAW: return "mu-law";
        case SF_FORMAT_ALAW: return "A-law";
        case SF_FORMAT_IMA_ADPCM:
        case SF_FORMAT_MS_ADPCM: return "ADPCM";
        default: return "its own sample format";
    }
}

std::int16_t to_16bit(float v) {
    // A damaged float file must not put NaN or huge values out.
    if (!std::isfinite(v)) return 0;
    const float scaled = std::nearbyint(v * 32768.0f);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

// 16-bit PCM, byte for byte from the data offset.
BackingTrackResult load_16bit(const ByteSource& src, const WavHeader& h) {
    BackingTrackResult r;
    BackingTrack& t = r.track;
    const std::int32_t data_bytes = data_bytes_in_file(h, src.size());
    t.native.memory = SampleMemory::allocate(static_cast<std::int64_t>(data_bytes) + kSpareBytes);
    if (!t.native.memory) return out_of_memory();
    const int file_channels = h.nChannels();
    t.native.frame_count = (data_bytes / 2) / file_channels;
    t.native.rate = static_cast<std::int32_t>(std::min<std::uint32_t>(h.nSamplesPerSec(), INT32_MAX));
    std::int16_t* s = t.native.memory.data();
    const std::size_t got = src.read_at(h.data_offset, s, static_cast<std::size_t>(data_bytes));
    if constexpr (std::endian::native == std::endian::big) {
        auto* p = reinterpret_cast<std::uint16_t*>(s);
        for (std::size_t i = 0; i < got / 2; ++i) p[i] = static_cast<std::uint16_t>((p[i] >> 8) | (p[i] << 8));
    }
    t.bytes_read = static_cast<std::int64_t>(got);
    t.channels = file_channels;
    if (file_channels > 2) {
        keep_two_channels(s, t.native.frame_count, file_channels);
        t.channels = 2;
        t.notes.push_back(channels_note(file_channels));
    }
    r.outcome = BackingTrackResult::Outcome::ok;
    return r;
}

// Every other format, through libsndfile.
BackingTrackResult load_converted(const ByteSource& src, const WavHeader& h) {
    VirtualFile vf{&src, 0};
    SF_VIRTUAL_IO io{vf_length, vf_seek, vf_read, vf_write, vf_tell};
    SF_INFO info{};
    SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &info, &vf);
    const std::string what = "The wav file's sample format (format " + std::to_string(h.wFormatTag()) + ", " +
                             std::to_string(h.wBitsPerSample()) + " bits per sample)";
    if (sf == nullptr)
        return refused(what + " cannot be read. Convert it to 16 or 24-bit PCM and open it again.");
    struct Closer {
        SNDFILE* f;
        ~Closer() { sf_close(f); }
    } closer{sf};
    if (info.channels < 1 || info.samplerate < 1)
        return refused(what + " gives no channels or no sample rate. Convert it to 16-bit PCM and open it again.");

    const int subtype = info.format & SF_FORMAT_SUBMASK;
    const int file_channels = info.channels;
    const int channels = std::min(file_channels, 2);
    // Never more frames than the file's bytes can hold (4 bits a sample for
    // the packed formats), whatever its header declares: unbounded growth.
    const int bps = bytes_per_sample(subtype);
    const std::int64_t size = src.size();
    const std::int64_t bound = bps > 0 ? size / (static_cast<std::int64_t>(file_channels) * bps)
                                       : size * 2 / file_channels;
    std::int64_t frames = std::min<std::int64_t>(std::max<sf_count_t>(info.frames, 0), bound);
    frames = std::min<std::int64_t>(frames, INT32_MAX / 2);

    BackingTrackResult r;
    BackingTrack& t = r.track;
    t.native.memory = SampleMemory::allocate(frames * channels * 2 + kSpareBytes);
    if (!t.native.memory) return out_of_memory();
    std::int16_t* out = t.native.memory.data();
    std::vector<float> piece(static_cast<std::size_t>(kReadPiece) * static_cast<std::size_t>(file_channels));
    std::int64_t done = 0;
    while (done < frames) {
        const sf_count_t want = std::min<sf_count_t>(kReadPiece, frames - done);
        const sf_count_t got = sf_readf_float(sf, piece.data(), want);
        if (got <= 0) break;
        for (sf_count_t i = 0; i < got; ++i)
            for (int c = 0; c < channels; ++c)
                out[(done + i) * channels + c] =
                    to_16bit(piece[static_cast<std::size_t>(i * file_channels + c)]);
        done += got;
    }
    t.channels = channels;
    t.native.frame_count = static_cast<std::int32_t>(done);
    t.native.rate = info.samplerate;
    t.bytes_read = bps > 0 ? done * file_channels * bps : 0;
    if (subtype != SF_FORMAT_PCM_16) t.notes.push_back("Converted from " + format_name(subtype) + " to 16-bit samples.");
    if (file_channels > 2) t.notes.push_back(channels_note(file_channels));
    r.outcome = BackingTrackResult::Outcome::ok;
    return r;
}

// The samples of `in` resampled to `to` Hz; an empty memory when it cannot be
// had.
TrackSamples resampled(const TrackSamples& in, int channels, std::int32_t to) {
    TrackSamples out;
    const double ratio = static_cast<double>(to) / in.rate;
    const double want = std::ceil(static_cast<double>(in.frame_count) * ratio);
    if (want > INT32_MAX / 2) return out;
    const auto out_frames = static_cast<std::size_t>(want);
    out.memory = SampleMemory::allocate(static_cast<std::int64_t>(out_frames) * channels * 2 + kSpareBytes);
    if (!out.memory) return out;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    const soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
    std::size_t made = 0;
    const soxr_error_t err = soxr_oneshot(in.rate, to, static_cast<unsigned>(channels), in.memory.data(),
                                          static_cast<std::size_t>(in.frame_count), nullptr, out.memory.data(),
                                          out_frames, &made, &io, &q, nullptr);
    if (err != nullptr) {
        out.memory.reset();
        return out;
    }
    out.frame_count = static_cast<std::int32_t>(made);
    out.rate = to;
    return out;
}

}  // namespace

bool is_plain_16bit_pcm(const WavHeader& h) {
    if (h.wBitsPerSample() != 16) return false;
    if (h.wFormatTag() == kTagPcm) return true;
    // WAVE_FORMAT_EXTENSIBLE: the real format is the first two bytes of the
    // sub-format GUID at offset 24.
    return h.wFormatTag() == kTagExtensible && h.fmt_size >= 40 && load_le16(&h.fmt_block[24]) == kTagPcm;
}

BackingTrackResult load_backing_track(const ByteSource& src, const WavHeader& h) {
    BackingTrackResult r = is_plain_16bit_pcm(h) ? load_16bit(src, h) : load_converted(src, h);
    if (r.outcome != BackingTrackResult::Outcome::ok) return r;
    BackingTrack& t = r.track;
    const auto rate = static_cast<std::uint32_t>(t.native.rate);
    if (t.native.frame_count <= 0 || rate < kResampleMinRate || rate > kResampleMaxRate) return r;
    for (std::size_t i = 0; i < kPlaybackRates.size(); ++i) {
        if (kPlaybackRates[i] == t.native.rate) continue;
        t.copies[i] = resampled(t.native, t.channels, kPlaybackRates[i]);
        if (!t.copies[i].memory) return out_of_memory();
    }
    return r;
}

}  // namespace tw
