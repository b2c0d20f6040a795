// The registry's rows: kind number, display name and the kind's entries.
#pragma once

#include "engine/kind_entries.h"

namespace tw {

struct RegistryRow {
    EffectKind kind;
    const char* name;
    KindEntries entries;
};

inline constexpr int kRegistryRows = 14;

// The 14 rows in kind order. UI thread.
const RegistryRow* registry_rows();

}  // namespace tw
