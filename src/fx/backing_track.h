// A backing track made ready for the playback kernel, on the UI thread before
// the kernel sees it: 16-bit samples (full scale 32768), one or two channels,
// at the file's own rate and at each stream rate the program offers.
//
// - 16-bit PCM is taken byte for byte, as the playback kind always did.
// - Any other sample format libsndfile reads (8/24/32-bit PCM, 32/64-bit
//   float, A-law, mu-law, ADPCM) is converted: a full-scale sample becomes
//   32768, rounded to the nearest integer and held inside -32768..32767;
//   a non-finite float sample becomes 0.
// - A file of three or more channels plays its first two as left and right
//   (WAV's channel order puts front left and front right first); the others
//   are left out, and the memo says so.
// - When the file's rate is not the stream's, the kernel plays the copy made
//   for the stream's rate (libsoxr, high quality); a stream rate with no copy
//   plays the file's samples as they are.
//
// The file is untrusted: the data size is cut to what the file holds, every
// read stays inside the source, and memory comes from SampleMemory (so a
// file too large for the machine fails as an allocation that finds no
// memory).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "fx/sample_memory.h"
#include "fx/wav_header.h"

namespace tw {

// The stream rates the program offers; a copy is made for each that differs
// from the file's rate.
inline constexpr std::array<std::int32_t, 4> kPlaybackRates = {22050, 32075, 44100, 48000};

// Files outside this range of rates are played as they are, never resampled.
inline constexpr std::uint32_t kResampleMinRate = 1000;
inline constexpr std::uint32_t kResampleMaxRate = 768000;

struct TrackSamples {
    SampleMemory memory;            // interleaved, `channels` per frame
    std::int32_t frame_count = 0;
    std::int32_t rate = 0;          // the rate these samples are meant for
};

struct BackingTrack {
    std::int32_t channels = 0;      // 1 or 2 (0 before a load)
    TrackSamples native;            // at the file's rate
    std::array<TrackSamples, kPlaybackRates.size()> copies;   // rate 0: none
    std::int64_t bytes_read = 0;    // sample data bytes taken from the file
    std::vector<std::string> notes; // memo lines about conversions made
};

struct BackingTrackResult {
    enum class Outcome { ok, refused, out_of_memory };
    Outcome outcome = Outcome::refused;
    std::string message;            // refused: the sentence for the user
    BackingTrack track;
};

// Loads the samples of a file whose header `header` has been read from
// `source`. UI thread (or any thread that owns `source`).
BackingTrackResult load_backing_track(const ByteSource& source, const WavHeader& header);

// Whether the header names 16-bit integer PCM (plain or extensible), the
// format that is taken byte for byte. Any thread.
bool is_plain_16bit_pcm(const WavHeader& header);

}  // namespace tw
