#include "presets/preset_json.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <set>
#include <sstream>
#include <vector>

#include "fx/fields.h"
#include "fx/kinds.h"

namespace tw {

namespace {

using nlohmann::json;

// The kind a load would see before unknown kinds fall back to empty.
std::int32_t converted_kind(const PresetRecord& rec, int s) {
    std::int32_t k = rec.kind(s);
    return rec.version() < kPresetVersion ? convert_old_kind(k) : k;
}

// A load clamps a stored position into its bar's range; show what it gets.
std::int32_t clamped_position(const ParamRecord& p, const FieldDecl& f, int i) {
    const std::int32_t v = rec_get_position(p, f, i);
    if (v < f.min) return static_cast<std::int32_t>(f.min);
    if (v > f.max) return static_cast<std::int32_t>(f.max);
    return v;
}

std::string format_float(float v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    return buf;
}

// The range a value is checked against, as the 32-bit float the record
// stores (exactly the values the controls give at their ends).
float float_min(const FieldDecl& f) { return static_cast<float>(f.min); }
float float_max(const FieldDecl& f) { return static_cast<float>(f.max); }

// False for a stored Float or Int value that the controls could not give: a
// load does not keep it (it falls back to what the bar's position gives, or
// limits it).
bool stored_value_kept(const ParamRecord& p, const FieldDecl& f, int i) {
    if (f.type == FieldType::Float) {
        const float v = rec_get_f32(p, f, i);
        return std::isfinite(v) && v >= float_min(f) && v <= float_max(f);
    }
    if (f.type == FieldType::Int) {
        const std::int32_t v = rec_get_i32(p, f, i);
        return v >= f.min && v <= f.max;
    }
    return true;
}

std::string range_text(const FieldDecl& f) {
    if (f.type == FieldType::Float) return format_float(float_min(f)) + ".." + format_float(float_max(f));
    std::ostringstream m;
    m << f.min << ".." << f.max;
    return m.str();
}

// A JSON number as a whole number. Integers beyond 64 bits signed saturate
// (so they fail every range check instead of wrapping). False for anything
// that is not a whole number.
bool whole_number(const json& v, std::int64_t& out) {
    if (v.is_number_unsigned()) {
        const auto u = v.get<std::uint64_t>();
        out = u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                  ? std::numeric_limits<std::int64_t>::max()
                  : static_cast<std::int64_t>(u);
        return true;
    }
    if (v.is_number_integer()) {
        out = v.get<std::int64_t>();
        return true;
    }
    return false;
}

json element_value(const ParamRecord& p, const FieldDecl& f, int i) {
    // A value a load does not keep is shown as null: build then takes a
    // fresh effect's value for it, instead of refusing the file.
    if (!stored_value_kept(p, f, i)) return json(nullptr);
    switch (f.type) {
        case FieldType::Float:
            return json(static_cast<double>(rec_get_f32(p, f, i)));
        case FieldType::Flag:
            return json(rec_get_flag(p, f, i));
        case FieldType::Position:
        case FieldType::BytePosition:
            return json(clamped_position(p, f, i));
        default:
            return json(rec_get_i32(p, f, i));
    }
}

// A text field's bytes up to its NUL (or its end), with any byte that is not
// part of valid UTF-8 shown as '?', so the JSON stays valid.
std::string text_value(const ParamRecord& p, const FieldDecl& f) {
    std::string raw;
    for (int i = 0; i < f.count; ++i) {
        const auto b = static_cast<std::uint8_t>(rec_get_field(p, f, i));
        if (b == 0) break;
        raw.push_back(static_cast<char>(b));
    }
    std::string out;
    for (std::size_t i = 0; i < raw.size();) {
        const auto c = static_cast<std::uint8_t>(raw[i]);
        const std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool ok = len > 0 && i + len <= raw.size() && !(len > 1 && c < 0xC2) && !(c > 0xF4);
        for (std::size_t k = 1; ok && k < len; ++k) ok = (static_cast<std::uint8_t>(raw[i + k]) >> 6) == 2;
        if (ok) {
            out.append(raw, i, len);
            i += len;
        } else {
            out.push_back('?');
            ++i;
        }
    }
    return out;
}

// A single field's value, or the list of a row's values.
json field_value(const ParamRecord& p, const FieldDecl& f) {
    if (f.type == FieldType::Text) return json(text_value(p, f));
    if (f.count == 1) return element_value(p, f, 0);
    json list = json::array();
    for (int i = 0; i < f.count; ++i) list.push_back(element_value(p, f, i));
    return list;
}

// The name element i is shown under: a control of a row carries its number
// ("ScrollBar3"), a row of values an index ("band_gain[3]").
std::string element_name(const FieldDecl& f, int i) {
    if (f.count == 1) return f.name;
    if (f.is_position() || f.type == FieldType::Flag) return f.name + std::to_string(f.index_base + i);
    return std::string(f.name) + "[" + std::to_string(i) + "]";
}

std::string field_text(const ParamRecord& p, const FieldDecl& f, int i) {
    char buf[160];
    switch (f.type) {
        case FieldType::Float:
            std::snprintf(buf, sizeof buf, "%-14s stored value%s", format_float(rec_get_f32(p, f, i)).c_str(),
                          stored_value_kept(p, f, i) ? "" : (" (outside " + range_text(f) + ": ignored on load)").c_str());
            break;
        case FieldType::Flag:
            std::snprintf(buf, sizeof buf, "%-14s check box", rec_get_flag(p, f, i) ? "checked" : "unchecked");
            break;
        case FieldType::Position:
        case FieldType::BytePosition: {
            const std::int32_t stored = rec_get_position(p, f, i);
            const std::int32_t shown = clamped_position(p, f, i);
            if (stored == shown) {
                std::snprintf(buf, sizeof buf, "%-14d position %g..%g", shown, f.min, f.max);
            } else {
                std::snprintf(buf, sizeof buf, "%-14d position %g..%g (stored %d, clamped on load)", shown, f.min,
                              f.max, stored);
            }
            break;
        }
        case FieldType::Int:
            std::snprintf(buf, sizeof buf, "%-14d stored value%s", rec_get_i32(p, f, i),
                          stored_value_kept(p, f, i) ? "" : (" (outside " + range_text(f) + ": not kept on load)").c_str());
            break;
        case FieldType::Text:
            std::snprintf(buf, sizeof buf, "%-14d text byte", static_cast<int>(rec_get_field(p, f, i)));
            break;
        case FieldType::Marker: {
            const std::int32_t m = rec_get_i32(p, f, i);
            std::snprintf(buf, sizeof buf, "%-14d %s", m,
                          m == static_cast<std::int32_t>(f.min) ? "marker: the later fields are read"
                                                                 : "no marker: an older record, later fields ignored");
            break;
        }
    }
    return buf;
}

bool fail(std::string* error, const std::string& msg) {
    if (error) *error = msg;
    return false;
}

std::string row_label(int row, std::int32_t kind) {
    return "row " + std::to_string(row) + " (" + kind_name(kind) + ")";
}

// The parameter record of a fresh instance of a built kind, or false.
bool fresh_defaults(std::int32_t kind, ParamRecord& out) {
    const KindDecl* d = kind_decl(kind);
    if (d == nullptr || !d->built()) return false;
    const KindEntries& e = d->entries;
    Instance inst = e.create();
    if (inst == nullptr) return false;
    e.params(&out, inst, 0);
    delete inst;
    return true;
}

bool set_element(ParamRecord& p, const FieldDecl& f, int index, const json& v, const std::string& where,
                 std::string* error) {
    const std::string what = where + ": " + element_name(f, index);
    std::int64_t i = 0;
    switch (f.type) {
        case FieldType::Flag:
            if (v.is_boolean()) {
                rec_set_field(p, f, index, v.get<bool>() ? 1 : 0);
            } else if (whole_number(v, i) && (i == 0 || i == 1)) {
                rec_set_field(p, f, index, static_cast<double>(i));
            } else {
                return fail(error, what + " must be true or false");
            }
            return true;
        case FieldType::Float: {
            if (!v.is_number()) return fail(error, what + " must be a number");
            // Checked as the 32-bit float the record will hold, against the
            // exact floats the controls give at the ends of their range: what
            // passes here is what a load keeps.
            const double d = v.get<double>();
            const bool fits = std::isfinite(d) && std::fabs(d) <= std::numeric_limits<float>::max();
            const float stored = fits ? static_cast<float>(d) : 0.0f;
            if (!fits || stored < float_min(f) || stored > float_max(f))
                return fail(error, what + " is " + v.dump() + ", outside " + range_text(f) +
                                       " (the range its control gives, as stored)");
            rec_set_field(p, f, index, stored);
            return true;
        }
        default: {
            if (!whole_number(v, i)) return fail(error, what + " must be a whole number");
            const bool any = f.type == FieldType::Marker;
            const double lo = any ? std::numeric_limits<std::int32_t>::min() : f.min;
            const double hi = any ? std::numeric_limits<std::int32_t>::max() : f.max;
            if (static_cast<double>(i) < lo || static_cast<double>(i) > hi) {
                return fail(error, what + " is " + v.dump() + ", outside " +
                                       std::to_string(static_cast<long long>(lo)) + ".." +
                                       std::to_string(static_cast<long long>(hi)));
            }
            rec_set_field(p, f, index, static_cast<double>(i));
            return true;
        }
    }
}

// A single value, or a list of exactly f.count values for a row. A null
// element keeps what `p` holds (a fresh effect's value, when `have_defaults`).
bool set_field(ParamRecord& p, const FieldDecl& f, const json& v, bool have_defaults, const std::string& where,
               std::string* error) {
    if (f.type == FieldType::Text) {
        if (!v.is_string()) return fail(error, where + ": " + f.name + " must be a text (a file path)");
        const std::string t = v.get<std::string>();
        if (t.size() > static_cast<std::size_t>(f.count - 1))
            return fail(error, where + ": " + f.name + " is longer than " + std::to_string(f.count - 1) +
                                   " bytes; use a shorter path (one in CABS/ can be given by its name alone)");
        if (t.find('\0') != std::string::npos) return fail(error, where + ": " + f.name + " must not hold a NUL character");
        for (int i = 0; i < f.count; ++i)
            rec_set_field(p, f, i, i < static_cast<int>(t.size()) ? static_cast<std::uint8_t>(t[static_cast<std::size_t>(i)]) : 0);
        return true;
    }
    if (f.count == 1) return set_element(p, f, 0, v, where, error);
    if (!v.is_array() || v.size() != static_cast<std::size_t>(f.count))
        return fail(error, where + ": " + f.name + " must be a list of " + std::to_string(f.count) + " values");
    for (int i = 0; i < f.count; ++i) {
        const json& e = v[static_cast<std::size_t>(i)];
        if (e.is_null()) {
            if (!have_defaults) return fail(error, where + ": missing value " + element_name(f, i));
            continue;
        }
        if (!set_element(p, f, i, e, where, error)) return false;
    }
    return true;
}

// Thrown from the parser callback to stop at the first problem.
struct JsonRefusal {
    std::string why;
};

// nlohmann's messages begin with "[json.exception.parse_error.101] ".
std::string plain_message(const std::string& m) {
    const auto end = m.find("] ");
    return m.rfind("[json.exception.", 0) == 0 && end != std::string::npos ? m.substr(end + 2) : m;
}

}  // namespace

bool parse_preset_json(const std::string& text, json& out, std::string* error) {
    // Keys met so far in each open object (arrays hold an empty set), so the
    // depth is known and a repeated key is caught as it is read.
    std::vector<std::set<std::string>> open;
    const json::parser_callback_t check = [&open](int, json::parse_event_t event, json& parsed) {
        switch (event) {
            case json::parse_event_t::object_start:
            case json::parse_event_t::array_start:
                if (open.size() >= static_cast<std::size_t>(kMaxJsonDepth))
                    throw JsonRefusal{"it is nested more than " + std::to_string(kMaxJsonDepth) + " levels deep"};
                open.emplace_back();
                break;
            case json::parse_event_t::object_end:
            case json::parse_event_t::array_end:
                if (!open.empty()) open.pop_back();
                break;
            case json::parse_event_t::key:
                if (!open.empty() && !open.back().insert(parsed.get<std::string>()).second)
                    throw JsonRefusal{"the key \"" + parsed.get<std::string>() +
                                      "\" is given twice in one object; give each key once"};
                break;
            case json::parse_event_t::value:
                break;
        }
        return true;
    };
    try {
        out = json::parse(text, check);
        return true;
    } catch (const JsonRefusal& r) {
        return fail(error, r.why);
    } catch (const json::exception& e) {
        return fail(error, plain_message(e.what()));
    }
}

json preset_to_json(const PresetRecord& rec) {
    json rows = json::array();
    for (int s = 0; s < kPresetUsedSlots; ++s) {
        const std::int32_t k = effective_kind(rec, s);
        json row = {{"row", s + 1}, {"kind", kind_name(k)}, {"on", rec.enabled(s) == 1}};
        const KindDecl& kd = *kind_decl(k);
        ParamRecord p;
        rec.get_params(s, p);
        if (!kd.fields.empty()) {
            json params = json::object();
            for (const FieldDecl& f : kd.fields) params[f.name] = field_value(p, f);
            row["params"] = params;
        } else if (!kd.stores_nothing) {
            json words = json::array();
            for (int w = 0; w < kPresetStoredWords; ++w) words.push_back(rec.param_word(s, w));
            row["words"] = words;
        }
        rows.push_back(row);
    }
    return json{{"format", "tonewarp-preset"}, {"version", kPresetVersion}, {"rows", rows}};
}

std::string preset_to_text(const PresetRecord& rec) {
    std::ostringstream out;
    out << "Preset format version " << rec.version();
    if (rec.version() < kPresetVersion) out << " (older numbering: kinds shown as converted)";
    out << "\n";
    for (int s = 0; s < kPresetUsedSlots; ++s) {
        const std::int32_t raw = converted_kind(rec, s);
        const std::int32_t k = effective_kind(rec, s);
        char head[160];
        std::snprintf(head, sizeof head, "Row %2d  %-24s %s", s + 1, kind_name(k), rec.enabled(s) == 1 ? "On" : "Off");
        out << head;
        if (raw != k) out << "   (stored kind " << raw << " is unknown: loads as an empty slot)";
        out << "\n";
        const KindDecl& kd = *kind_decl(k);
        ParamRecord p;
        rec.get_params(s, p);
        if (!kd.fields.empty()) {
            for (const FieldDecl& f : kd.fields) {
                if (f.type == FieldType::Text) {
                    out << "          " << f.name << std::string(f.name != nullptr && std::strlen(f.name) < 24 ? 24 - std::strlen(f.name) : 0, ' ')
                        << " \"" << text_value(p, f) << "\"  text (a path without a leading / is in CABS/)\n";
                    continue;
                }
                for (int i = 0; i < f.count; ++i) {
                    char line[256];
                    std::snprintf(line, sizeof line, "          %-24s %s\n", element_name(f, i).c_str(),
                                  field_text(p, f, i).c_str());
                    out << line;
                }
            }
        } else if (!kd.stores_nothing) {
            out << "          parameter words 0..72 (this kind's fields are not described here):\n";
            for (int w = 0; w < kPresetStoredWords; w += 8) {
                out << "           ";
                for (int i = w; i < w + 8 && i < kPresetStoredWords; ++i) out << " " << rec.param_word(s, i);
                out << "\n";
            }
        }
    }
    return out.str();
}

bool preset_from_json(const json& j, PresetRecord& out, std::string* error) {
    if (!j.is_object()) return fail(error, "the JSON document is not an object");
    for (auto it = j.begin(); it != j.end(); ++it) {
        if (it.key() != "format" && it.key() != "version" && it.key() != "rows")
            return fail(error, "unknown key \"" + it.key() + "\" at the top level");
    }
    if (j.contains("format") && j["format"] != "tonewarp-preset")
        return fail(error, "\"format\" must be \"tonewarp-preset\"");
    if (j.contains("version") && j["version"] != kPresetVersion)
        return fail(error, "\"version\" must be 303 (kinds are numbered as in format 303)");
    if (!j.contains("rows") || !j["rows"].is_array()) return fail(error, "\"rows\" must be a list of rows");

    PresetRecord rec;
    rec.set_version(kPresetVersion);
    std::set<int> seen;
    const json empty_object = json::object();
    for (const json& row : j["rows"]) {
        if (!row.is_object()) return fail(error, "each row must be an object");
        std::int64_t n = 0;
        if (!row.contains("row") || !whole_number(row["row"], n))
            return fail(error, "each row needs a \"row\" number 1..16");
        if (n < 1 || n > kPresetUsedSlots) return fail(error, "row " + row["row"].dump() + " is outside 1..16");
        if (!seen.insert(static_cast<int>(n)).second) return fail(error, "row " + std::to_string(n) + " is listed twice");
        const std::string where = "row " + std::to_string(n);
        for (auto it = row.begin(); it != row.end(); ++it) {
            const std::string& key = it.key();
            if (key != "row" && key != "kind" && key != "on" && key != "params" && key != "words")
                return fail(error, where + ": unknown key \"" + key + "\"");
        }
        std::int32_t k = kKindEmpty;
        if (row.contains("kind")) {
            const json& kv = row["kind"];
            if (kv.is_string()) {
                k = kind_by_name(kv.get<std::string>());
                if (k < 0) return fail(error, where + ": unknown effect kind \"" + kv.get<std::string>() + "\"");
            } else if (std::int64_t v = 0; whole_number(kv, v)) {
                if (v < 0 || v >= kKindCount) return fail(error, where + ": unknown effect kind " + kv.dump());
                k = static_cast<std::int32_t>(v);
            } else {
                return fail(error, where + ": \"kind\" must be a kind name or number");
            }
        }
        bool on = false;
        if (row.contains("on")) {
            const json& ov = row["on"];
            std::int64_t v = 0;
            if (ov.is_boolean()) on = ov.get<bool>();
            else if (whole_number(ov, v) && (v == 0 || v == 1)) on = v == 1;
            else return fail(error, where + ": \"on\" must be true or false");
        }
        const int s = static_cast<int>(n) - 1;
        rec.set_kind(s, k);
        rec.set_enabled(s, on ? 1 : 0);

        const std::string label = row_label(static_cast<int>(n), k);
        const KindDecl& kd = *kind_decl(k);
        ParamRecord p;
        if (kd.stores_nothing) {
            if ((row.contains("params") && !row["params"].empty()) || (row.contains("words") && !row["words"].empty()))
                return fail(error, label + " stores no settings");
            continue;
        }
        if (!kd.fields.empty()) {
            if (row.contains("words")) return fail(error, label + ": give \"params\" by name, not \"words\"");
            const json& params = row.contains("params") ? row["params"] : empty_object;
            if (!params.is_object()) return fail(error, label + ": \"params\" must be an object");
            for (auto it = params.begin(); it != params.end(); ++it) {
                bool known = false;
                for (const FieldDecl& f : kd.fields) known = known || it.key() == f.name;
                if (!known) return fail(error, label + ": unknown field \"" + it.key() + "\"");
            }
            const bool have_defaults = fresh_defaults(k, p);
            for (const FieldDecl& f : kd.fields) {
                if (!params.contains(f.name) || params[f.name].is_null()) {
                    if (!have_defaults) return fail(error, label + ": missing field " + f.name);
                    continue;
                }
                if (!set_field(p, f, params[f.name], have_defaults, label, error)) return false;
            }
        } else {
            if (row.contains("params")) return fail(error, label + ": this kind takes raw \"words\", not \"params\"");
            if (row.contains("words")) {
                const json& words = row["words"];
                if (!words.is_array() || words.size() > static_cast<std::size_t>(kPresetStoredWords))
                    return fail(error, label + ": \"words\" must be a list of at most 73 numbers");
                for (std::size_t w = 0; w < words.size(); ++w) {
                    std::int64_t v = 0;
                    if (!whole_number(words[w], v) || v < std::numeric_limits<std::int32_t>::min() ||
                        v > std::numeric_limits<std::uint32_t>::max())
                        return fail(error, label + ": word " + std::to_string(w) + " is not a 32-bit number");
                    rec_set_i32(p, static_cast<int>(4 * w), static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
                }
            }
        }
        rec.set_params(s, p);
    }
    out = rec;
    return true;
}

}  // namespace tw
