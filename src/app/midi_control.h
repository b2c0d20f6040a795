// The MIDI foot controller: the "MIDI input" list and the last-message
// indicator of the main window, the chosen input port, program changes that
// load presets and learned control changes that move bars and flip switches.
//
// Messages come from the input's thread through a MidiInbox; poll() takes
// them on the UI thread and runs the same handlers a mouse or a key would,
// so a preset load holds the chain exactly as every load does.
//
// Program change n (any channel): n = 0..11 is the function key F(n+1);
// n = 12 and up is preset n - 12 of the presets list (in the list's order).
// Both load silently, as the keys do.
//
// Threads: UI thread only (the inbox is the one thing shared).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/midi_settings.h"
#include "engine/midi_inbox.h"
#include "engine/midi_input.h"
#include "ui/combo_box.h"
#include "ui/text_controls.h"

namespace tw {

class ChainEditor;
class PresetManager;

namespace ui {
class Control;
}

class MidiControl {
public:
    static constexpr const char* kNoInput = "MIDI input: none";
    // How often the front end should call poll() and refresh_ports().
    static constexpr int kPollMs = 5;
    static constexpr int kPortCheckMs = 1000;

    // `main_controls` are the main window's controls that may be learned
    // (slot 0). UI thread.
    MidiControl(ChainEditor& chain, PresetManager& presets, std::vector<ui::Control*> main_controls);
    ~MidiControl();
    MidiControl(const MidiControl&) = delete;
    MidiControl& operator=(const MidiControl&) = delete;

    ui::ComboBox ComboBox_MIDI;  // "MIDI input: none", then the ports present
    ui::Label Label_MIDI;        // the last message received

    // midi.ini in the program folder. UI thread.
    static std::string settings_path();
    // Reads midi.ini (damage is reported through on_note, one line per
    // problem) and opens its input when present. UI thread.
    void load_settings();
    // Whether changes are written to midi.ini (the window does; the headless
    // tool leaves the file to it). UI thread.
    void set_writes_settings(bool w) { writes_settings_ = w; }

    // Re-lists the ports; reports a chosen input that vanished, in one line,
    // and opens it again when it is back. UI thread.
    void refresh_ports();
    // The labels last listed. UI thread.
    const std::vector<std::string>& ports() const { return ports_; }
    // Listens to the port with this label ("" = none) and remembers it as the
    // chosen input. False with the reason reported through on_note. UI thread.
    bool choose_port(const std::string& label);
    // The input chosen ("" = none) and whether it is open. UI thread.
    const std::string& chosen_port() const { return settings_.port; }
    bool port_open() const { return input_.is_open(); }

    // Takes what arrived and applies it, in arrival order. UI thread.
    void poll();

    // Right-click menu of a bar or a switch. UI thread.
    void learn(const MidiTarget& t);       // the next CC received drives `t`
    void cancel_learn();
    bool learning() const { return learning_; }
    const MidiTarget& learn_target() const { return learn_target_; }
    void forget(const MidiTarget& t);
    const MidiMapping* mapping_for(const MidiTarget& t) const;
    void set_every_press(const MidiTarget& t, bool every_press);
    const std::vector<MidiMapping>& mappings() const { return settings_.mappings; }

    // The control a target names now (null when the slot is empty or its
    // kind has no such control). UI thread.
    ui::Control* find(const MidiTarget& t) const;
    // The main window's learnable controls (slot 0). UI thread.
    const std::vector<ui::Control*>& main_controls() const { return main_controls_; }
    // The row (1..16) whose slot holds the editor `form` is shown for, 0 when
    // none does. UI thread.
    int slot_of_editor(const void* effect) const;

    // The last message as the indicator shows it ("PC 3  ch 1", "CC 7 = 100
    // ch 1"); "" before the first. Any thread.
    std::string last_message_text() const;
    // The message count at the last poll (grows with every message). UI thread.
    std::uint64_t messages_seen() const { return seen_; }

    // Lines for the user (unplugged, back, damaged midi.ini, cannot open):
    // the window prints them on stderr, the headless tool too. UI thread.
    std::function<void(const std::string&)> on_note;

    MidiInbox& inbox() { return inbox_; }

private:
    void apply_cc(const MidiEvent& e);
    void apply_program(int program);
    void save();
    void note(const std::string& line);
    void fill_list();

    ChainEditor& chain_;
    PresetManager& presets_;
    std::vector<ui::Control*> main_controls_;
    MidiInbox inbox_;
    MidiInput input_;
    MidiSettings settings_;
    std::vector<std::string> ports_;
    std::vector<MidiEvent> events_;
    bool writes_settings_ = true;
    bool learning_ = false;
    MidiTarget learn_target_;
    bool unplugged_reported_ = false;
    bool filling_ = false;
    std::uint64_t seen_ = 0;
};

// The text of one message for the indicator. Any thread.
std::string midi_message_text(const MidiMessage& m);
// The same, short enough for the indicator ("PC 3", "CC7 100"). Any thread.
std::string midi_message_short(const MidiMessage& m);

}  // namespace tw
