#include "app/face_settings.h"

#include <algorithm>

#include "platform/ini_file.h"

namespace tw {

namespace {

// A text value kept only when it is short enough and holds no control
// characters (binary junk reads as missing).
std::string clean_text(const platform::IniFile& ini, const char* section, const char* key, std::size_t max_length,
                       const std::string& fallback) {
    const std::string v = ini.read_string(section, key, fallback);
    if (v.size() > max_length) return fallback;
    for (const char c : v)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return fallback;
    return v;
}

}  // namespace

FaceSettings read_face_settings(const platform::IniFile& ini) {
    FaceSettings s;
    s.input = std::max(0, ini.read_int(kWaveDevices, "input", 0));
    s.output = std::max(0, ini.read_int(kWaveDevices, "output", 0));
    s.latency = std::clamp(ini.read_int(kWaveDevices, "latency", 35), 1, 50);
    s.stereo = ini.read_int(kWaveDevices, "MonoStereo", 1) != 0;
    const int f = ini.read_int(kWaveDevices, "SampleFreq", 3);
    s.sample_freq = (f >= 0 && f <= 3) ? f : 3;
    s.usefastwdm = ini.read_int(kWaveDevices, "usefastwdm", 0) != 0 ? 1 : 0;
    s.input_name = clean_text(ini, kWaveDevices, "input_name", FaceSettings::kMaxNameLength, "");
    s.output_name = clean_text(ini, kWaveDevices, "output_name", FaceSettings::kMaxNameLength, "");
    s.path = clean_text(ini, kDefaultPresetSection, "Path", FaceSettings::kMaxPathLength, kNoPresetPath);
    s.tuner.a4_hz = std::clamp(ini.read_int(TunerSettings::kSection, TunerSettings::kKeyA4, TunerSettings::kDefaultA4),
                               TunerSettings::kMinA4, TunerSettings::kMaxA4);
    s.crossfade_ms = std::clamp(ini.read_int(kPresetSwitchSection, "Crossfade", 20), 0, kMaxCrossfadeMs);
    s.spill_over_ms = std::clamp(ini.read_int(kPresetSwitchSection, "SpillOver", 2000), 0, kMaxSpillOverMs);
    return s;
}

FaceSettings read_face_settings_file(const std::string& path) { return read_face_settings(platform::IniFile(path)); }

void write_face_settings(platform::IniFile& ini, const FaceSettings& s) {
    ini.write_int(kWaveDevices, "input", s.input);
    ini.write_int(kWaveDevices, "output", s.output);
    ini.write_int(kWaveDevices, "latency", s.latency);
    ini.write_int(kWaveDevices, "MonoStereo", s.stereo ? 1 : 0);
    ini.write_int(kWaveDevices, "SampleFreq", s.sample_freq);
    ini.write_string(kWaveDevices, "input_name", s.input_name);
    ini.write_string(kWaveDevices, "output_name", s.output_name);
    ini.write_string(kDefaultPresetSection, "Path", s.path.empty() ? std::string(kNoPresetPath) : s.path);
    ini.write_int(TunerSettings::kSection, TunerSettings::kKeyA4, s.tuner.a4_hz);
    ini.write_int(kPresetSwitchSection, "Crossfade", s.crossfade_ms);
    ini.write_int(kPresetSwitchSection, "SpillOver", s.spill_over_ms);
}

bool save_face_settings_file(const std::string& path, const FaceSettings& s, std::string* error) {
    platform::IniFile ini(path);
    write_face_settings(ini, s);
    return ini.save(error);
}

}  // namespace tw
