// Types shared by the engine and every effect kind: the instance handle,
// the three registered entries and the parameter record they exchange.
#pragma once

#include <array>
#include <cstdint>

namespace tw {

class EffectForm;

// One effect object (its controls plus its processing state). Null = no instance.
using Instance = EffectForm*;

// Parameter record exchanged through ParamsFn: 101 little-endian 32-bit words.
// Fields are read and written byte by byte (see fx/param_record.h); bytes a
// kind does not list keep whatever the caller's buffer held.
inline constexpr int kParamRecordWords = 101;
inline constexpr int kParamRecordBytes = kParamRecordWords * 4;
struct ParamRecord {
    std::array<std::uint8_t, kParamRecordBytes> bytes{};
};

// Processes `frames` frames of the interleaved buffer in place. Audio thread.
using ProcessFn = std::int32_t (*)(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels,
                                   float* samples, Instance instance);
// Creates a new instance at its defaults (null for the empty kind). UI thread.
using CreateFn = Instance (*)();
// direction 0: instance -> record (get_parameters); otherwise record -> instance
// (put_parameters). UI thread.
using ParamsFn = void (*)(ParamRecord* record, Instance instance, std::int32_t direction);

// Effect kinds as numbered in the registry and in preset files (format 303).
enum EffectKind : std::int32_t {
    kKindEmpty = 0,
    kKindNoiseGate = 1,
    kKindEQ8 = 2,
    kKindCompTortion = 3,
    kKindLimiter = 4,
    kKindMultiTortion = 5,
    kKindDistortion1 = 6,
    kKindReverb = 7,
    kKindDelay = 8,
    kKindFlanger = 9,
    kKindWah = 10,
    kKindReadWav = 11,
    kKindRecordWav = 12,
    kKindGain = 13,
};

inline constexpr int kMaxKinds = 32;
inline constexpr int kMaxSlots = 32;
inline constexpr int kNameBytes = 256;

}  // namespace tw
