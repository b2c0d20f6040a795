// The sixteen rows of the main window's chain for the chain plugin: each
// row's instance made and its settings applied from a preset record as a
// preset load does (app/chain_presets.cpp), and the rows run in order as
// the engine's chain runs them (a row runs when it is on and not empty).
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "engine/effect_types.h"
#include "presets/preset_file.h"

namespace tw::lv2 {

inline constexpr int kChainPluginRows = 16;

class ChainSlots {
public:
    // Makes every row's instance and applies its stored settings (files the
    // kinds read are read here). UI / worker thread.
    explicit ChainSlots(const PresetRecord& record);
    // Deletes the instances. UI / worker thread, once no run can use them.
    ~ChainSlots();
    ChainSlots(const ChainSlots&) = delete;
    ChainSlots& operator=(const ChainSlots&) = delete;

    // Runs the rows over an interleaved block. Audio thread.
    void process(std::int32_t frames, std::int32_t rate, std::int32_t channels, float* samples) const;

    // The whole record the rows were made from (13188 bytes). Any thread.
    const PresetRecord& record() const { return record_; }

private:
    struct Row {
        std::int32_t kind = 0;
        std::int32_t enabled = 0;
        ProcessFn process = nullptr;
        Instance instance = nullptr;
    };
    PresetRecord record_;
    std::array<Row, kChainPluginRows> rows_{};
};

}  // namespace tw::lv2
