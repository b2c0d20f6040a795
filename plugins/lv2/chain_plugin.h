// The chain plugin ("Tonewarp chain"): the main window's sixteen rows, loaded
// from a preset record.
//
// A record arrives three ways: a .pre file named through the patch extension
// (the parameter kPresetParameter, an atom:Path), the "program" port (the
// bundled presets F1..F12, kept as files in the bundle), or LV2 state (the
// whole 13188-byte record). Files are read and the rows built on the host's
// worker thread; the audio thread only swaps the finished rows in
// (work_response) and hands the old ones back to the worker to delete.
// Without a worker, the program port is applied at activate(); state
// restore builds and swaps at once (the host runs no block meanwhile).
#pragma once

#include <lv2/state/state.h>

#include <memory>
#include <mutex>
#include <string>

#include "chain_slots.h"
#include "host_features.h"
#include "plugin_list.h"

namespace tw::lv2 {

class ChainPlugin {
public:
    // Instantiation thread.
    ChainPlugin(const PluginInfo& info, double rate, const char* bundle_path, const HostFeatures& features);
    ~ChainPlugin();

    // Instantiation thread (as LV2 classes them) or audio thread for run().
    void connect_port(std::uint32_t port, void* data);
    void activate();
    void run(std::uint32_t frames);

    // Worker thread.
    LV2_Worker_Status work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle, std::uint32_t size,
                           const void* data);
    // Audio thread.
    LV2_Worker_Status work_response(std::uint32_t size, const void* data);

    // Main thread.
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

    // The rows in use (for tests). Instantiation thread.
    const ChainSlots& slots() const { return *live_; }

    // The file of bundled preset n (1..12) in the bundle. Any thread.
    std::string bundled_preset_path(int n) const;

private:
    enum class Job : std::uint32_t { LoadProgram, LoadPath, Free };
    struct Message {
        Job job;
        std::uint32_t number;       // LoadProgram: 1..12
        ChainSlots* slots;          // Free: the rows to delete
        char path[1024];            // LoadPath
    };
    // Reads a preset file into new rows; null (with a message on stderr) if
    // it cannot be read. Worker / instantiation thread.
    std::unique_ptr<ChainSlots> load_file(const std::string& path);
    void read_patch_messages();
    void write_empty_notify();

    std::int32_t rate_;
    int channels_;
    std::string bundle_;
    HostFeatures host_;
    ChainSlots* live_ = nullptr;               // owned; swapped by the audio thread
    const float* in_[2] = {nullptr, nullptr};
    float* out_[2] = {nullptr, nullptr};
    const float* program_ = nullptr;
    const LV2_Atom_Sequence* control_ = nullptr;
    LV2_Atom_Sequence* notify_ = nullptr;
    float handed_on_program_ = 0.0f;
    std::vector<float> buffer_;
    std::mutex record_mutex_;                  // the newest record for save (never taken in run)
    PresetRecord newest_;
    std::string newest_path_;
};

}  // namespace tw::lv2
