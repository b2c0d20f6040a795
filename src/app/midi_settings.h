// midi.ini, beside face.ini: the chosen MIDI input and the learned mappings
// from a controller (channel + CC number) to a control. A control is named by
// its slot (0 = the main window, 1..16 = the editor of that chain row) and
// its designer name, so a mapping follows whatever kind sits in the slot.
//
//   [Input]      port=<label>
//   [Mappings]   count=<n>
//   [Mapping1]   channel=1..16  cc=0..127  slot=0..16  control=<name>  every_press=0|1
//
// The file is untrusted: a mapping with a missing or out-of-range field is
// skipped and named in the problems list; the rest still loads.
//
// Threads: UI thread.
#pragma once

#include <string>
#include <vector>

namespace tw {

inline constexpr const char* kMidiIni = "midi.ini";

struct MidiTarget {
    int slot = 0;          // 0 = main window, 1..16 = chain row
    std::string control;   // designer name
    bool operator==(const MidiTarget&) const = default;
};

struct MidiMapping {
    int channel = 0;       // 0..15 (written 1..16)
    int cc = 0;            // 0..127
    MidiTarget target;
    // Switches: true = every press (a value >= 64) toggles; false = on at
    // values >= 64, off below.
    bool every_press = false;
};

struct MidiSettings {
    static constexpr int kMaxMappings = 512;
    static constexpr int kMaxNameLength = 128;
    std::string port;                 // "" = no MIDI input
    std::vector<MidiMapping> mappings;
};

// Reads `path`: a missing file gives no port and no mappings. Each damaged
// entry is described by one sentence in `problems` (may be null). UI thread.
MidiSettings read_midi_settings_file(const std::string& path, std::vector<std::string>* problems = nullptr);
// Writes the whole file (temporary file + rename). False with a sentence in
// `error`; the old file is then untouched. UI thread.
bool save_midi_settings_file(const std::string& path, const MidiSettings& s, std::string* error = nullptr);

// True for a designer name of letters, digits and underscores, 1..128 long.
bool valid_control_name(const std::string& name);

}  // namespace tw
