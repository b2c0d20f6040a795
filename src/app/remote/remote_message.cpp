#include "app/remote/remote_message.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "app/midi_settings.h"

namespace tw::remote {

namespace {

using nlohmann::json;

Parsed refuse(std::string why) {
    Parsed p;
    p.error = std::move(why);
    return p;
}

// Deepest nesting of objects and arrays outside strings; stops counting
// once past the limit.
int nesting(std::string_view text) {
    int depth = 0, deepest = 0;
    bool in_string = false, escaped = false;
    for (const char c : text) {
        if (in_string) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') in_string = false;
            continue;
        }
        if (c == '"') in_string = true;
        else if (c == '{' || c == '[') {
            if (++depth > deepest) deepest = depth;
            if (deepest > kMaxNesting) return deepest;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return deepest;
}

// An integer field within lo..hi; false with the sentence in `why`.
bool int_field(const json& j, const char* name, long lo, long hi, long& out, std::string& why) {
    const auto it = j.find(name);
    if (it == j.end()) {
        why = std::string("The message needs \"") + name + "\".";
        return false;
    }
    double v = 0;
    if (it->is_number_integer()) {
        if (it->is_number_unsigned()) {
            const auto u = it->get<std::uint64_t>();
            v = u > static_cast<std::uint64_t>(hi) ? static_cast<double>(hi) + 1 : static_cast<double>(u);
        } else {
            v = static_cast<double>(it->get<std::int64_t>());
        }
    } else if (it->is_number_float()) {
        v = it->get<double>();
        if (!std::isfinite(v) || v != std::floor(v)) {
            why = std::string("\"") + name + "\" must be a whole number.";
            return false;
        }
    } else {
        why = std::string("\"") + name + "\" must be a number.";
        return false;
    }
    if (v < static_cast<double>(lo) || v > static_cast<double>(hi)) {
        why = std::string("\"") + name + "\" must be " + std::to_string(lo) + ".." + std::to_string(hi) + ".";
        return false;
    }
    out = static_cast<long>(v);
    return true;
}

}  // namespace

std::string error_json(const std::string& text) {
    return json{{"type", "error"}, {"message", text}}.dump(-1, ' ', false, json::error_handler_t::replace);
}

Parsed parse_message(std::string_view text) {
    if (text.size() > kMaxMessageBytes)
        return refuse("The message is too long (" + std::to_string(text.size()) + " bytes; at most " +
                      std::to_string(kMaxMessageBytes) + "). Reload the page.");
    if (nesting(text) > kMaxNesting) return refuse("The message is nested too deeply. Reload the page.");
    const json j = json::parse(text.begin(), text.end(), nullptr, false);
    if (j.is_discarded()) return refuse("The message is not JSON. Reload the page.");
    if (!j.is_object()) return refuse("The message must be a JSON object. Reload the page.");
    const auto type = j.find("type");
    if (type == j.end() || !type->is_string()) return refuse("The message needs a \"type\" string.");
    const std::string& t = type->get_ref<const std::string&>();

    Parsed p;
    Message& m = p.message;
    std::string why;
    long n = 0;
    if (t == "pair") {
        m.action = Action::Pair;
        const auto code = j.find("code");
        if (code == j.end() || !code->is_string()) return refuse("Pairing needs the code as a string.");
        m.code = code->get<std::string>();
        if (m.code.empty() || m.code.size() > 16 || m.code.find_first_not_of("0123456789") != std::string::npos)
            return refuse("The pairing code is digits only; type the code the program shows.");
    } else if (t == "key") {
        m.action = Action::Key;
        if (!int_field(j, "key", 1, 12, n, why)) return refuse(why);
        m.number = static_cast<int>(n);
    } else if (t == "preset") {
        m.action = Action::Preset;
        if (!int_field(j, "index", 0, kMaxPresetIndex, n, why)) return refuse(why);
        m.number = static_cast<int>(n);
    } else if (t == "row") {
        m.action = Action::Row;
        if (!int_field(j, "row", 1, 16, n, why)) return refuse(why);
        m.number = static_cast<int>(n);
        const auto on = j.find("on");
        if (on == j.end() || !on->is_boolean()) return refuse("\"on\" must be true or false.");
        m.on = on->get<bool>();
    } else if (t == "open") {
        m.action = Action::Open;
        if (!int_field(j, "row", 0, 16, n, why)) return refuse(why);
        m.number = static_cast<int>(n);
    } else if (t == "set") {
        m.action = Action::Set;
        if (!int_field(j, "row", 1, 16, n, why)) return refuse(why);
        m.number = static_cast<int>(n);
        const auto control = j.find("control");
        if (control == j.end() || !control->is_string() || !valid_control_name(control->get<std::string>()))
            return refuse("\"control\" must be a control's name (letters, digits and _).");
        m.control = control->get<std::string>();
        const auto value = j.find("value");
        if (value != j.end() && value->is_boolean()) {
            m.is_switch = true;
            m.on = value->get<bool>();
        } else {
            if (!int_field(j, "value", -1000000, 1000000, n, why)) return refuse(why);
            m.value = n;
        }
    } else {
        return refuse("Unknown message type \"" + t.substr(0, 32) + "\".");
    }
    p.ok = true;
    return p;
}

}  // namespace tw::remote
