// Field-by-field descriptions of each effect kind's parameter record as a
// preset stores it, named after the controls and values they hold, with the
// range the controls can produce. Used to show presets as text or JSON and to
// build them back from JSON.
#pragma once

#include <cstdint>
#include <string>

#include "engine/effect_types.h"

namespace tw {

enum class FieldType {
    Position,   // 32-bit int position of a bar
    Int,        // 32-bit int state value
    Float,      // 32-bit float state value
    Flag,       // one byte, 0 or 1 (any non-zero reads as checked)
    Marker,     // 32-bit int telling which fields a record carries
};

struct FieldDesc {
    const char* name;   // the control's or value's name
    int offset;         // byte offset inside the parameter record
    FieldType type;
    double min;         // range the controls can produce (Position, Int, Float)
    double max;
};

struct KindFields {
    std::int32_t kind;
    const FieldDesc* fields;   // null: the kind's record is not described (raw words)
    int count;
    bool stores_nothing;       // kinds 0, 11 and 12 keep nothing in a preset
};

// The description of a kind 0..13 (an empty description for other values).
// Any thread.
KindFields kind_fields(std::int32_t kind);

// The display name of a kind 0..13, or "" for other values. Any thread.
const char* kind_name(std::int32_t kind);
// The kind with this display name, or -1. Any thread.
std::int32_t kind_by_name(const std::string& name);

}  // namespace tw
