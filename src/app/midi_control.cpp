#include "app/midi_control.h"

#include <algorithm>
#include <cstdio>

#include "app/chain_editor.h"
#include "app/preset_manager.h"
#include "app/program_folder.h"
#include "fx/effect_form.h"
#include "ui/check_box.h"
#include "ui/scroll_bar.h"

namespace tw {

namespace {
constexpr int kFunctionKeyPrograms = 12;
// Items of the presets list before the first file name.
constexpr int kPresetListFirstFile = 2;
}  // namespace

std::string midi_message_text(const MidiMessage& m) {
    if (m.size == 0) return "";
    char s[64];
    const int ch = m.channel() + 1;
    if (m.status >= 0xF0)
        std::snprintf(s, sizeof s, "system %02X", m.status);
    else if (m.is_control_change())
        std::snprintf(s, sizeof s, "CC %d = %d  ch %d", m.data1, m.data2, ch);
    else if (m.is_program_change())
        std::snprintf(s, sizeof s, "PC %d  ch %d", m.data1, ch);
    else if (m.type() == 0x90 && m.data2 > 0)
        std::snprintf(s, sizeof s, "note on %d  ch %d", m.data1, ch);
    else if (m.type() == 0x80 || m.type() == 0x90)
        std::snprintf(s, sizeof s, "note off %d  ch %d", m.data1, ch);
    else if (m.type() == 0xE0)
        std::snprintf(s, sizeof s, "pitch bend %d  ch %d", (m.data2 << 7 | m.data1) - 8192, ch);
    else
        std::snprintf(s, sizeof s, "%02X %d %d", m.status, m.data1, m.data2);
    return s;
}

std::string midi_message_short(const MidiMessage& m) {
    char s[16];
    if (m.is_control_change())
        std::snprintf(s, sizeof s, "CC%d %d", m.data1, m.data2);
    else if (m.is_program_change())
        std::snprintf(s, sizeof s, "PC %d", m.data1);
    else
        return "MIDI \xE2\x97\x8F";  // a dot: something else arrived
    return s;
}

MidiControl::MidiControl(ChainEditor& chain, PresetManager& presets, std::vector<ui::Control*> main_controls)
    : ComboBox_MIDI("ComboBox_MIDI", {528, 352, 142, 22}),
      Label_MIDI("Label_MIDI", {385, 354, 52, 18}, "MIDI"),
      chain_(chain),
      presets_(presets),
      main_controls_(std::move(main_controls)),
      input_(inbox_) {
    events_.reserve(MidiInbox::kMaxPending);
    ComboBox_MIDI.set_hint("MIDI input: the foot controller's port (program change 0..11 = F1..F12)");
    Label_MIDI.set_hint("Last MIDI message: none yet");
    ComboBox_MIDI.add_item(kNoInput);
    ComboBox_MIDI.set_item_index_silent(0);
    ComboBox_MIDI.on_change = [this] {
        if (filling_) return;
        const int i = ComboBox_MIDI.item_index();
        choose_port(i <= 0 ? std::string() : ComboBox_MIDI.text());
    };
}

MidiControl::~MidiControl() { input_.close(); }

std::string MidiControl::settings_path() { return program_path(kMidiIni); }

void MidiControl::note(const std::string& line) {
    if (on_note) on_note(line);
}

void MidiControl::save() {
    if (!writes_settings_) return;
    std::string error;
    if (!save_midi_settings_file(settings_path(), settings_, &error))
        note(error + ", so the MIDI settings will not be remembered.");
}

void MidiControl::load_settings() {
    std::vector<std::string> problems;
    settings_ = read_midi_settings_file(settings_path(), &problems);
    for (const std::string& p : problems) note(p);
    refresh_ports();
}

void MidiControl::fill_list() {
    filling_ = true;
    ComboBox_MIDI.clear();
    ComboBox_MIDI.add_item(kNoInput);
    int selected = 0;
    for (const std::string& p : ports_) {
        ComboBox_MIDI.add_item(p);
        if (input_.is_open() && p == input_.port()) selected = ComboBox_MIDI.count() - 1;
    }
    ComboBox_MIDI.set_item_index_silent(selected);
    filling_ = false;
}

void MidiControl::refresh_ports() {
    std::vector<std::string> now = input_.ports();
    const bool changed = now != ports_;
    ports_ = std::move(now);
    const std::string& want = settings_.port;
    if (!want.empty()) {
        const bool present = std::find(ports_.begin(), ports_.end(), want) != ports_.end();
        if (input_.is_open() && !present) {
            input_.close();
            unplugged_reported_ = true;
            note("MIDI input \"" + want + "\" was unplugged; it is used again as soon as it is back.");
        } else if (!input_.is_open() && present) {
            std::string error;
            if (input_.open(want, &error)) {
                if (unplugged_reported_) note("MIDI input \"" + want + "\" is back.");
                unplugged_reported_ = false;
            } else if (!unplugged_reported_) {
                unplugged_reported_ = true;
                note(error);
            }
        } else if (!input_.is_open() && !unplugged_reported_) {
            unplugged_reported_ = true;
            note("MIDI input \"" + want + "\" is not plugged in; it is used as soon as it appears.");
        }
    }
    if (changed || ComboBox_MIDI.count() != static_cast<int>(ports_.size()) + 1 ||
        (ComboBox_MIDI.item_index() > 0) != input_.is_open())
        fill_list();
}

bool MidiControl::choose_port(const std::string& label) {
    if (label.empty()) {
        input_.close();
        settings_.port.clear();
        unplugged_reported_ = false;
        save();
        fill_list();
        return true;
    }
    std::string error;
    const bool ok = input_.open(label, &error);
    if (!ok) note(error);
    settings_.port = ok ? label : settings_.port;
    unplugged_reported_ = false;
    save();
    fill_list();
    return ok;
}

void MidiControl::poll() {
    const std::uint64_t count = inbox_.message_count();
    if (count != seen_) {
        seen_ = count;
        const MidiMessage m = MidiInbox::unpack(inbox_.last_message());
        Label_MIDI.set_caption(midi_message_short(m));
        Label_MIDI.set_hint("Last MIDI message: " + midi_message_text(m));
    }
    inbox_.take(events_);
    for (const MidiEvent& e : events_) {
        if (e.kind == MidiEvent::Kind::ProgramChange) {
            apply_program(e.number);
        } else if (learning_) {
            learning_ = false;
            // One controller drives one control, and a control listens to one
            // controller.
            bool every_press = false;
            if (const MidiMapping* old = mapping_for(learn_target_)) every_press = old->every_press;
            auto& ms = settings_.mappings;
            ms.erase(std::remove_if(ms.begin(), ms.end(),
                                    [&](const MidiMapping& m) {
                                        return m.target == learn_target_ || (m.channel == e.channel && m.cc == e.number);
                                    }),
                     ms.end());
            ms.push_back(MidiMapping{e.channel, e.number, learn_target_, every_press});
            save();
        } else {
            apply_cc(e);
        }
    }
}

void MidiControl::apply_program(int program) {
    if (program < kFunctionKeyPrograms) {
        presets_.FormKeyUp(program + 1);
        return;
    }
    const int item = kPresetListFirstFile + program - kFunctionKeyPrograms;
    const auto& items = presets_.ComboBox_PRESETS.items();
    if (item < static_cast<int>(items.size())) presets_.select_quietly(items[static_cast<std::size_t>(item)]);
}

void MidiControl::apply_cc(const MidiEvent& e) {
    for (const MidiMapping& m : settings_.mappings) {
        if (m.channel != e.channel || m.cc != e.number) continue;
        ui::Control* c = find(m.target);
        if (c == nullptr || !c->enabled()) continue;
        if (c->type() == ui::ControlType::ScrollBar) {
            auto* bar = static_cast<ui::ScrollBar*>(c);
            const long span = static_cast<long>(bar->max()) - bar->min();
            bar->set_position(bar->min() + static_cast<int>((e.value * span + 63) / 127));
        } else if (c->type() == ui::ControlType::CheckBox) {
            auto* box = static_cast<ui::CheckBox*>(c);
            if (m.every_press) {
                if (e.presses % 2 == 1) box->click();
            } else if (box->checked() != (e.value >= 64)) {
                box->click();
            }
        }
    }
}

ui::Control* MidiControl::find(const MidiTarget& t) const {
    if (t.slot == 0) {
        for (ui::Control* c : main_controls_)
            if (c->name() == t.control) return c;
        return nullptr;
    }
    if (t.slot < 1 || t.slot > 16) return nullptr;
    Instance inst = chain_.instance(t.slot);
    if (inst == nullptr) return nullptr;
    ui::Control* c = effect_form(inst)->form().find(t.control);
    if (c == nullptr) return nullptr;
    return c->type() == ui::ControlType::ScrollBar || c->type() == ui::ControlType::CheckBox ? c : nullptr;
}

int MidiControl::slot_of_editor(const void* effect) const {
    for (int n = 1; n <= 16; ++n)
        if (effect != nullptr && chain_.instance(n) == effect) return n;
    return 0;
}

void MidiControl::learn(const MidiTarget& t) {
    learning_ = true;
    learn_target_ = t;
    Label_MIDI.set_caption("learn");
    Label_MIDI.set_hint("MIDI learn: move a pedal or press a switch for " + t.control);
}

void MidiControl::cancel_learn() {
    learning_ = false;
    Label_MIDI.set_caption("MIDI");
}

void MidiControl::forget(const MidiTarget& t) {
    auto& ms = settings_.mappings;
    const auto before = ms.size();
    ms.erase(std::remove_if(ms.begin(), ms.end(), [&](const MidiMapping& m) { return m.target == t; }), ms.end());
    if (ms.size() != before) save();
}

const MidiMapping* MidiControl::mapping_for(const MidiTarget& t) const {
    for (const MidiMapping& m : settings_.mappings)
        if (m.target == t) return &m;
    return nullptr;
}

void MidiControl::set_every_press(const MidiTarget& t, bool every_press) {
    for (MidiMapping& m : settings_.mappings)
        if (m.target == t && m.every_press != every_press) {
            m.every_press = every_press;
            save();
        }
}

std::string MidiControl::last_message_text() const { return midi_message_text(MidiInbox::unpack(inbox_.last_message())); }

}  // namespace tw
