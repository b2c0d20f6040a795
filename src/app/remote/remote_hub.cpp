#include "app/remote/remote_hub.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

#include "app/chain_presets.h"
#include "app/main_form.h"
#include "app/remote/remote_controls.h"
#include "app/status_display.h"
#include "fx/kinds.h"
#include "ui/check_box.h"
#include "ui/scroll_bar.h"

namespace tw::remote {

namespace {

using nlohmann::json;

// Items of the presets list before the first file name.
constexpr int kFirstFile = 2;

std::string dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string without_pre(const std::string& name) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".pre") == 0) return name.substr(0, name.size() - 4);
    return name;
}

bool starts_with_nocase(const std::string& s, const std::string& prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// The file names of the presets list, in its order.
std::vector<std::string> list_files(const PresetManager& presets) {
    const auto& items = presets.ComboBox_PRESETS.items();
    if (items.size() <= static_cast<std::size_t>(kFirstFile)) return {};
    return {items.begin() + kFirstFile, items.end()};
}

// The preset function key k loads (as FormKeyUp finds it), or "".
std::string key_preset(const std::vector<std::string>& files, int k) {
    const std::string prefix = PresetManager::function_key_prefix(k);
    for (const std::string& f : files)
        if (starts_with_nocase(f, prefix)) return f;
    return "";
}

// The row's kind as its list shows it; "empty" for an empty slot.
std::string kind_text(const ChainEditor& chain, int n) {
    const ChainSlot& slot = chain.staging().slot[n - 1];
    if (slot.kind == kEmptyKind || slot.instance == nullptr) return "empty";
    return chain.row(n).combo.text();
}

}  // namespace

Hub::Hub(MainForm& form, std::function<Readings()> readings, std::string code)
    : form_(form), readings_(std::move(readings)), pairing_(code.empty() ? Pairing() : Pairing(std::move(code))) {}

Hub::~Hub() {
    if (opened_tuner_) form_.tuner().close();
}

int Hub::connect(std::string& first) {
    if (connections() >= kMaxConnections) {
        first = error_json("Too many remotes are connected (at most " + std::to_string(kMaxConnections) +
                           "). Close the page on another device and try again.");
        return 0;
    }
    const int id = next_id_++;
    sessions_.emplace(id, Session{});
    first = dump(json{{"type", "hello"}, {"paired", false}});
    return id;
}

void Hub::disconnect(int id) {
    sessions_.erase(id);
    const bool any_paired = std::any_of(sessions_.begin(), sessions_.end(), [](const auto& s) { return s.second.paired; });
    if (!any_paired && opened_tuner_) {
        form_.tuner().close();
        opened_tuner_ = false;
    }
}

bool Hub::paired(int id) const {
    const auto it = sessions_.find(id);
    return it != sessions_.end() && it->second.paired;
}

std::vector<std::string> Hub::receive(int id, std::string_view text, std::int64_t now_ms) {
    std::vector<std::string> out;
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) return out;
    Session& s = it->second;
    if (!s.rate.take(now_ms)) {
        out.push_back(error_json("Too many messages (at most " + std::to_string(static_cast<int>(RateCap::kPerSecond)) +
                                 " a second); this one was ignored."));
        return out;
    }
    const Parsed p = parse_message(text);
    if (!p.ok) {
        out.push_back(error_json(p.error));
        return out;
    }
    if (p.message.action == Action::Pair) {
        switch (pairing_.check(p.message.code, now_ms)) {
            case Pairing::Result::Accepted:
                s.paired = true;
                // The tuner runs while a phone is paired, unless opening it
                // would mute the output (the window's "Mute while tuning").
                if (!form_.tuner().is_open() && !form_.tuner().CheckBox_Mute.checked()) {
                    form_.tuner().open();
                    opened_tuner_ = true;
                }
                out.push_back(dump(json{{"type", "paired"}}));
                s.last_state = state_json(s.open_row);
                out.push_back(s.last_state);
                break;
            case Pairing::Result::Refused:
                out.push_back(error_json("Wrong pairing code. Type the code the program shows."));
                break;
            case Pairing::Result::Wait:
                out.push_back(error_json("Too many wrong codes: wait " +
                                         std::to_string((pairing_.wait_left(now_ms) + 999) / 1000) +
                                         " s, then type the code the program shows."));
                break;
        }
        return out;
    }
    if (!s.paired) {
        out.push_back(error_json("Pair first: type the code the program shows."));
        return out;
    }
    const std::string refusal = act(s, p.message, now_ms);
    if (!refusal.empty()) out.push_back(error_json(refusal));
    s.last_state = state_json(s.open_row);
    out.push_back(s.last_state);
    return out;
}

std::string Hub::act(Session& s, const Message& m, std::int64_t) {
    ChainEditor& chain = form_.chain();
    PresetManager& presets = form_.presets();
    switch (m.action) {
        case Action::Pair:
            return "";
        case Action::Key: {
            const std::string name = key_preset(list_files(presets), m.number);
            if (name.empty())
                return "No preset for F" + std::to_string(m.number) + ": its name must start with \"" +
                       PresetManager::function_key_prefix(m.number) + "\".";
            presets.FormKeyUp(m.number);
            note("remote: F" + std::to_string(m.number) + " -> " + without_pre(name));
            return "";
        }
        case Action::Preset: {
            const std::vector<std::string> files = list_files(presets);
            if (m.number >= static_cast<int>(files.size()))
                return "There is no preset number " + std::to_string(m.number) + " in the list (it has " +
                       std::to_string(files.size()) + "). Reload the page.";
            presets.select_quietly(files[static_cast<std::size_t>(m.number)]);
            note("remote: preset -> " + without_pre(files[static_cast<std::size_t>(m.number)]));
            return "";
        }
        case Action::Row: {
            ui::CheckBox& box = chain.row(m.number).check;
            if (!box.enabled()) return "Row " + std::to_string(m.number) + "'s switch is not available now.";
            if (box.checked() != m.on) box.click();
            note("remote: row " + std::to_string(m.number) + (box.checked() ? " on" : " off"));
            return "";
        }
        case Action::Open:
            s.open_row = m.number;
            return "";
        case Action::Set: {
            const int n = m.number;
            const auto controls = declared_controls(chain.instance(n), chain.staging().slot[n - 1].kind);
            const auto it = std::find_if(controls.begin(), controls.end(),
                                         [&](const RemoteControl& c) { return c.control->name() == m.control; });
            // The same lookup MIDI learn drives its controls through.
            ui::Control* c = form_.midi().find(MidiTarget{n, m.control});
            if (it == controls.end() || c != it->control)
                return "Row " + std::to_string(n) + " (" + kind_text(chain, n) + ") has no control " + m.control +
                       ". Reload the page.";
            if (!c->enabled()) return it->caption + " is not available now.";
            if (it->is_switch) {
                if (!m.is_switch) return it->caption + " is a switch: send true or false.";
                auto* box = static_cast<ui::CheckBox*>(c);
                if (box->checked() != m.on) box->click();
            } else {
                if (m.is_switch) return it->caption + " is a bar: send a position.";
                auto* bar = static_cast<ui::ScrollBar*>(c);
                if (m.value < bar->min() || m.value > bar->max())
                    return it->caption + " takes " + std::to_string(bar->min()) + ".." + std::to_string(bar->max()) +
                           "; " + std::to_string(m.value) + " is outside.";
                bar->set_position(static_cast<int>(m.value));
            }
            return "";
        }
    }
    return "";
}

std::string Hub::state_json(int open_row) const {
    const ChainEditor& chain = form_.chain();
    const std::vector<std::string> files = list_files(form_.presets());
    json presets = json::array();
    for (const std::string& f : files) presets.push_back(without_pre(f));
    json keys = json::array();
    for (int k = 1; k <= 12; ++k) {
        const std::string name = key_preset(files, k);
        keys.push_back(name.empty() ? json(nullptr) : json(without_pre(name)));
    }
    std::string current = current_preset_path();
    if (const auto slash = current.find_last_of('/'); slash != std::string::npos) current = current.substr(slash + 1);
    json rows = json::array();
    for (int n = 1; n <= 16; ++n) {
        const ChainSlot& slot = chain.staging().slot[n - 1];
        rows.push_back(json{{"row", n},
                            {"kind", kind_text(chain, n)},
                            {"empty", slot.kind == kEmptyKind || slot.instance == nullptr},
                            {"on", chain.row(n).check.checked()}});
    }
    json j{{"type", "state"}, {"preset", without_pre(current)}, {"presets", presets}, {"keys", keys}, {"rows", rows}};
    if (open_row >= 1 && open_row <= 16) {
        json controls = json::array();
        for (const RemoteControl& c : declared_controls(chain.instance(open_row), chain.staging().slot[open_row - 1].kind)) {
            json e{{"name", c.control->name()}, {"caption", c.caption}, {"enabled", c.control->enabled()}};
            if (c.is_switch) {
                e["type"] = "switch";
                e["on"] = static_cast<const ui::CheckBox*>(c.control)->checked();
            } else {
                const auto* bar = static_cast<const ui::ScrollBar*>(c.control);
                e["type"] = "bar";
                e["min"] = bar->min();
                e["max"] = bar->max();
                e["value"] = bar->position();
                e["unit"] = bar->unit_text ? bar->unit_text(bar->position()) : std::string();
            }
            controls.push_back(std::move(e));
        }
        j["open"] = json{{"row", open_row}, {"kind", kind_text(chain, open_row)}, {"controls", controls}};
    }
    return dump(j);
}

std::string Hub::take_state(int id) {
    const auto it = sessions_.find(id);
    if (it == sessions_.end() || !it->second.paired) return "";
    std::string now = state_json(it->second.open_row);
    if (now == it->second.last_state) return "";
    it->second.last_state = now;
    return now;
}

std::string Hub::meters() {
    const Readings r = readings_ ? readings_() : Readings{};
    json j{{"type", "meters"},
           {"in", level_meter_position(r.input_level)},
           {"out", level_meter_position(r.output_level)},
           {"cpu", std::clamp(cpu_meter_position(r.cpu_load), 0, 100)},
           {"xruns", r.xruns}};
    const TunerForm& tuner = form_.tuner();
    if (tuner.is_open()) {
        const NoteReading n = tuner.reading();
        if (n.has_note)
            j["tuner"] = json{{"note", n.name + std::to_string(n.octave)},
                              {"cents", std::round(n.cents * 10) / 10},
                              {"hz", std::round(n.hz * 100) / 100}};
        else
            j["tuner"] = json{{"note", nullptr}};
    }
    return dump(j);
}

}  // namespace tw::remote
