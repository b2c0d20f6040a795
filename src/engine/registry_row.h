// One row of the effect registry: kind number, display name and the kind's
// entries. The engine knows no effect: the rows are handed to init_registry
// by the layer that registers the kinds.
#pragma once

#include "engine/kind_entries.h"

namespace tw {

struct RegistryRow {
    std::int32_t kind;
    const char* name;
    KindEntries entries;
};

}  // namespace tw
