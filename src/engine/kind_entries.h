// The three entries one effect kind registers, and the empty kind's do-nothing
// entries (also used by kinds whose effect is not built yet).
#pragma once

#include "engine/effect_types.h"

namespace tw {

struct KindEntries {
    ProcessFn process;
    CreateFn create;
    ParamsFn params;
};

// Returns 0 without touching the buffer. Audio thread.
std::int32_t empty_process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples,
                           Instance instance);
// Returns null. UI thread.
Instance empty_create();
// Does nothing. UI thread.
void empty_params(ParamRecord* record, Instance instance, std::int32_t direction);

inline constexpr KindEntries kEmptyKindEntries{empty_process, empty_create, empty_params};

}  // namespace tw
