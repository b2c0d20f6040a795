#include "app/midi_settings.h"

#include <cctype>
#include <filesystem>

#include "platform/ini_file.h"

namespace tw {

namespace {
constexpr const char* kInput = "Input";
constexpr const char* kMappings = "Mappings";
constexpr int kMissing = -1000000;

std::string section(int i) { return "Mapping" + std::to_string(i); }
}  // namespace

bool valid_control_name(const std::string& name) {
    if (name.empty() || name.size() > static_cast<std::size_t>(MidiSettings::kMaxNameLength)) return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

MidiSettings read_midi_settings_file(const std::string& path, std::vector<std::string>* problems) {
    MidiSettings s;
    const platform::IniFile ini(path);
    auto problem = [&](const std::string& text) {
        if (problems) problems->push_back(path + ": " + text);
    };
    std::string port = ini.read_string(kInput, "port", "");
    bool port_ok = port.size() <= 1024;
    for (const char c : port) port_ok = port_ok && static_cast<unsigned char>(c) >= 0x20 && c != 0x7f;
    if (port_ok)
        s.port = port;
    else
        problem("the MIDI input's name is damaged and was ignored; choose the input again.");

    const int count = ini.read_int(kMappings, "count", 0);
    if (count < 0 || count > MidiSettings::kMaxMappings) {
        problem("the mapping count " + std::to_string(count) + " is not 0.." +
                std::to_string(MidiSettings::kMaxMappings) + "; no mapping was loaded, learn them again.");
        return s;
    }
    for (int i = 1; i <= count; ++i) {
        const std::string sec = section(i);
        MidiMapping m;
        const int channel = ini.read_int(sec, "channel", kMissing);
        m.cc = ini.read_int(sec, "cc", kMissing);
        m.target.slot = ini.read_int(sec, "slot", kMissing);
        m.target.control = ini.read_string(sec, "control", "");
        const int every = ini.read_int(sec, "every_press", 0);
        if (channel < 1 || channel > 16 || m.cc < 0 || m.cc > 127 || m.target.slot < 0 || m.target.slot > 16 ||
            !valid_control_name(m.target.control) || (every != 0 && every != 1)) {
            problem("mapping " + std::to_string(i) + " is damaged and was ignored; learn that control again.");
            continue;
        }
        m.channel = channel - 1;
        m.every_press = every == 1;
        s.mappings.push_back(std::move(m));
    }
    return s;
}

bool save_midi_settings_file(const std::string& path, const MidiSettings& s, std::string* error) {
    // Written from scratch so that mappings forgotten since are gone.
    platform::IniFile ini(path, "");
    ini.write_string(kInput, "port", s.port);
    ini.write_int(kMappings, "count", static_cast<int>(s.mappings.size()));
    int i = 0;
    for (const MidiMapping& m : s.mappings) {
        const std::string sec = section(++i);
        ini.write_int(sec, "channel", m.channel + 1);
        ini.write_int(sec, "cc", m.cc);
        ini.write_int(sec, "slot", m.target.slot);
        ini.write_string(sec, "control", m.target.control);
        ini.write_int(sec, "every_press", m.every_press ? 1 : 0);
    }
    return ini.save(error);
}

}  // namespace tw
