// Effect kinds as numbered in the registry and in preset files (format 303).
// The count of kinds is that of the kind table (fx/kinds.h), not a number
// written here.
#pragma once

#include <cstdint>

#include "engine/effect_types.h"

namespace tw {

enum EffectKind : std::int32_t {
    kKindEmpty = kEmptyKind,
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
    kKindCabinet = 14,
    kKindAmpModel = 15,
};

}  // namespace tw
