// Types shared by the engine and every effect kind: the instance handle,
// the three registered entries and the parameter record they exchange.
#pragma once

#include <array>
#include <cstdint>

namespace tw {

// What the engine knows of an effect object: that it can be run through the
// entries of its kind and deleted (on the UI thread). The kinds derive their
// objects from it.
class EffectInstance {
public:
    EffectInstance() = default;
    virtual ~EffectInstance() = default;
    EffectInstance(const EffectInstance&) = delete;
    EffectInstance& operator=(const EffectInstance&) = delete;
};

// One effect object. Null = no instance.
using Instance = EffectInstance*;

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

// The kind number of an empty slot; every other number is a kind's own, and
// the engine knows none of them.
inline constexpr std::int32_t kEmptyKind = 0;

inline constexpr int kMaxKinds = 32;
inline constexpr int kMaxSlots = 32;
inline constexpr int kNameBytes = 256;

}  // namespace tw
