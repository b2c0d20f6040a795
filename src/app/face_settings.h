// face.ini, the settings carried from one run to the next: the audio
// devices, latency threshold, mono/stereo, sample rate and the preset to load
// at start-up. Read with defaults for anything missing and clamped values for
// anything out of range (the file is untrusted); written whole through a
// temporary file.
//
// [Wave Devices] input, output (list indexes), latency (ms, 1..50),
// MonoStereo (1 = stereo), SampleFreq (0..3 = 22050, 32075, 44100, 48000),
// usefastwdm (read only), input_name and output_name (the devices' names, so
// a device is found again after the indexes moved); [Default Preset] Path;
// [Tuner] A4 (the tuner's reference pitch, 415..466 Hz).
//
// Threads: UI thread.
#pragma once

#include <string>

#include "app/tuner_settings.h"

namespace tw {

namespace platform {
class IniFile;
}

inline constexpr const char* kFaceIni = "face.ini";
inline constexpr const char* kWaveDevices = "Wave Devices";
inline constexpr const char* kDefaultPresetSection = "Default Preset";
// How a preset change sounds: Crossfade (ms, 0 = instant) and SpillOver (ms
// the old chain's tails ring on, 0 = off).
inline constexpr const char* kPresetSwitchSection = "Preset Switch";
inline constexpr int kMaxCrossfadeMs = 200;
inline constexpr int kMaxSpillOverMs = 10000;
// The Path value meaning "no preset saved".
inline constexpr const char* kNoPresetPath = "ERROR";
// The preset a new installation starts with, in PRESETS/.
inline constexpr const char* kDefaultPresetName = "F9 - High Gain Distortion Noise Gate.pre";

struct FaceSettings {
    static constexpr int kMaxNameLength = 1024;
    static constexpr int kMaxPathLength = 4096;

    int input = 0;            // >= 0
    int output = 0;           // >= 0; the last output item is the fallback entry
    int latency = 35;         // 1..50
    bool stereo = true;       // MonoStereo
    int sample_freq = 3;      // 0..3
    int usefastwdm = 0;       // 0 or 1
    std::string path = kNoPresetPath;
    std::string input_name;   // "" when not stored
    std::string output_name;
    TunerSettings tuner;      // [Tuner] A4
    int crossfade_ms = 20;    // [Preset Switch] Crossfade, 0..200
    int spill_over_ms = 2000; // [Preset Switch] SpillOver, 0..10000
};

// The settings in `ini`: missing keys give the defaults above, a negative
// device index gives 0, the latency is clamped into 1..50, a SampleFreq
// outside 0..3 gives 3, names and paths longer than their limit (or holding
// control characters) read as missing, an A4 outside 415..466 is clamped
// into it, the crossfade and spill-over are clamped into their ranges. UI
// thread.
FaceSettings read_face_settings(const platform::IniFile& ini);
// The same from the file at `path` (a missing or unreadable file gives the
// defaults). UI thread.
FaceSettings read_face_settings_file(const std::string& path);

// Writes the keys into `ini` in the order input, output, latency,
// MonoStereo, SampleFreq, input_name, output_name, Path, then [Tuner] A4 and
// [Preset Switch] Crossfade, SpillOver; every other
// key (usefastwdm, anything the user added) stays as it is. UI thread.
void write_face_settings(platform::IniFile& ini, const FaceSettings& s);
// Reads the file at `path`, writes the keys and saves it (temporary file +
// rename). False with a sentence in `error`. UI thread.
bool save_face_settings_file(const std::string& path, const FaceSettings& s, std::string* error = nullptr);

}  // namespace tw
