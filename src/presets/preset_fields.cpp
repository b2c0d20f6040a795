#include "presets/preset_fields.h"

#include "engine/registry_rows.h"

namespace tw {

namespace {

constexpr double kGainMin = 1.0 / 11.0;
constexpr double kGainMax = 11.0;

// Gain: 40 bytes.
constexpr FieldDesc kGainFields[] = {
    {"mono_gain", 0, FieldType::Float, kGainMin, kGainMax},
    {"left_gain", 4, FieldType::Float, kGainMin, kGainMax},
    {"right_gain", 8, FieldType::Float, kGainMin, kGainMax},
    {"marker", 12, FieldType::Marker, 117117, 117117},
    {"RadioBox_SimpleChorus", 16, FieldType::Flag, 0, 1},
    {"ScrollBar_SimpleChorus", 20, FieldType::Position, 0, 100},
    {"ScrollBar_Gain_Mono", 24, FieldType::Position, 0, 100},
    {"ScrollBar_Gain_Left", 28, FieldType::Position, 0, 100},
    {"ScrollBar_Gain_Right", 32, FieldType::Position, 0, 100},
    {"CheckRadioBox_Air", 36, FieldType::Flag, 0, 1},
};

// Noise gate: five positions, 20 bytes.
constexpr FieldDesc kNoiseGateFields[] = {
    {"ScrollBar_Gain_In", 0, FieldType::Position, 0, 100},
    {"ScrollBar_Porog_Max", 4, FieldType::Position, 4, 100},
    {"ScrollBar_min_porog", 8, FieldType::Position, 4, 100},
    {"ScrollBar_Supress", 12, FieldType::Position, 0, 100},
    {"ScrollBar_Gain_Out", 16, FieldType::Position, 0, 100},
};

// Distortion (Soft/Hard): 44 bytes.
constexpr FieldDesc kDistortion1Fields[] = {
    {"level", 0, FieldType::Float, 0.0, 1.0},
    {"smooth_k", 4, FieldType::Float, 0.2 / 40.0, 0.2},
    {"knee_in", 8, FieldType::Int, 50, 1000},
    {"knee_out", 12, FieldType::Int, 5000, 30000},
    {"gain_in", 16, FieldType::Float, kGainMin, kGainMax},
    {"gain_out", 20, FieldType::Float, kGainMin, kGainMax},
    {"ScrollBar_Smooth_k2", 24, FieldType::Position, 1, 40},
    {"ScrollBar_Tone2_k3", 28, FieldType::Position, 50, 1000},
    {"ScrollBar_Tone1_k4", 32, FieldType::Position, 5000, 30000},
    {"ScrollBar_Gain_In", 36, FieldType::Position, 0, 100},
    {"ScrollBar_Gain_Out", 40, FieldType::Position, 0, 100},
};

// Distortion-Compresor: 56 bytes.
constexpr FieldDesc kCompTortionFields[] = {
    {"gain_in", 0, FieldType::Float, kGainMin, kGainMax},
    {"gain_out", 4, FieldType::Float, kGainMin, kGainMax},
    {"sharp_s", 8, FieldType::Float, 1.0e7, 5.0e8},
    {"dist_exp", 12, FieldType::Float, 1.0, 2.0},
    {"crunch", 16, FieldType::Float, kGainMin, kGainMax},
    {"win_len", 20, FieldType::Int, 1, 101},
    {"color", 24, FieldType::Float, 0.1, 0.999},  // Color bar 1..100
    {"ScrollBar_Drive", 28, FieldType::Position, 0, 100},
    {"SkinScroll_Level", 32, FieldType::Position, 0, 100},
    {"ScrollBar_Sharp", 36, FieldType::Position, 1, 50},
    {"ScrollBar_Distortion", 40, FieldType::Position, 0, 100},
    {"ScrollBar_Popravka", 44, FieldType::Position, 0, 100},
    {"ScrollBar_Softness2", 48, FieldType::Position, 0, 50},
    {"ScrollBar_Color", 52, FieldType::Position, 1, 100},
};

template <std::size_t N>
KindFields described(std::int32_t kind, const FieldDesc (&f)[N]) {
    return KindFields{kind, f, static_cast<int>(N), false};
}

}  // namespace

KindFields kind_fields(std::int32_t kind) {
    switch (kind) {
        case kKindEmpty:
        case kKindReadWav:
        case kKindRecordWav:
            return KindFields{kind, nullptr, 0, true};
        case kKindGain:
            return described(kind, kGainFields);
        case kKindNoiseGate:
            return described(kind, kNoiseGateFields);
        case kKindDistortion1:
            return described(kind, kDistortion1Fields);
        case kKindCompTortion:
            return described(kind, kCompTortionFields);
        default:
            return KindFields{kind, nullptr, 0, false};
    }
}

const char* kind_name(std::int32_t kind) {
    if (kind < 0 || kind >= kRegistryRows) return "";
    return registry_rows()[kind].name;
}

std::int32_t kind_by_name(const std::string& name) {
    for (int k = 0; k < kRegistryRows; ++k)
        if (name == registry_rows()[k].name) return k;
    return -1;
}

}  // namespace tw
