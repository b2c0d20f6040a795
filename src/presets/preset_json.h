// Readable forms of a preset: a text listing and a JSON document that can be
// edited and built back into a record. Both show what a load would use: the
// kinds after the old-numbering conversion (unknown kinds as empty slots),
// on/off, and each kind's parameter record field by field, with positions
// clamped into their bars' ranges as a load clamps them (raw words for kinds
// that are not described).
//
// JSON form:
//   {"format": "tonewarp-preset", "version": 303,
//    "rows": [{"row": 1, "kind": "Gain", "on": true,
//              "params": {"ScrollBar_Gain_Mono": 70, "mono_gain": 5.0, ...}},
//             {"row": 2, "kind": "Delay", "on": false, "words": [0, 12, ...]}]}
// Rows not listed are empty and off. A described kind's missing fields (and
// fields given as null) take the values of a fresh instance (for kinds that
// are built). A stored value a load would not keep (outside what its control
// gives) is shown as null in JSON and marked in the text form.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "presets/preset_file.h"

namespace tw {

// Deepest nesting of objects and lists a preset's JSON text may have.
inline constexpr int kMaxJsonDepth = 32;

// Parses JSON text without trusting it: nesting deeper than kMaxJsonDepth, a
// key repeated in one object, numbers too large and syntax errors are refused
// with a short reason in `error`. Any thread.
bool parse_preset_json(const std::string& text, nlohmann::json& out, std::string* error);

// Any thread.
std::string preset_to_text(const PresetRecord& rec);
nlohmann::json preset_to_json(const PresetRecord& rec);

// Builds a record (version 303, unused bytes zero) from the JSON form. False
// with a one-sentence reason in `error` for anything the controls could not
// produce: unknown kinds or fields, values out of range, duplicate rows.
// UI thread (it may create a throw-away instance for default values).
bool preset_from_json(const nlohmann::json& j, PresetRecord& out, std::string* error);

}  // namespace tw
