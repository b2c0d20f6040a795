// One effect kind as an LV2 plugin: the kind's window object made at
// instantiation, one control port per control of its window.
//
// A port change reaches the kind as a user's change would: the control's
// position is set and its handler runs, computing the values the window
// would and publishing them to the kernel (KernelHost::publish). Handlers
// may allocate (a std::function call, a tooltip text), so they never run in
// run(): run() compares each port with the value last handed on and
// schedules the changed ones on the host's worker (LV2 worker: a copy into
// the host's ring, no allocation or lock); the worker thread runs the
// handler. Without a worker the ports are applied at activate() only.
#pragma once

#include <lv2/state/state.h>

#include <memory>
#include <mutex>
#include <vector>

#include "host_features.h"
#include "plugin_list.h"

namespace tw::lv2 {

class KindPlugin {
public:
    // Instantiation thread.
    KindPlugin(const PluginInfo& info, double rate, const HostFeatures& features);
    ~KindPlugin();

    // Instantiation thread (as LV2 classes them) or audio thread for run().
    void connect_port(std::uint32_t port, void* data);
    void activate();
    void run(std::uint32_t frames);

    // Worker thread.
    LV2_Worker_Status work(std::uint32_t size, const void* data);

    // State: the kind's parameter record (the preset record's slot). Main thread.
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

    // The window object (for tests). Not while a worker job may run.
    EffectForm& form() { return *form_; }
    const std::vector<ControlPort>& ports() const { return ports_; }

private:
    struct PortChange {
        std::uint32_t index;
        float value;
    };
    void apply_all_now();

    const KindDecl* decl_;
    int channels_;
    std::int32_t rate_;
    HostFeatures host_;
    std::unique_ptr<EffectInstance> instance_;
    EffectForm* form_ = nullptr;
    std::vector<ControlPort> ports_;
    std::vector<const float*> control_;
    std::vector<float> handed_on_;      // the value last applied or scheduled per port
    std::vector<bool> known_;           // false until a port's value was handed on
    const float* in_[2] = {nullptr, nullptr};
    float* out_[2] = {nullptr, nullptr};
    std::vector<float> buffer_;         // interleaved, max_block x channels
    std::mutex form_mutex_;             // worker against save/restore (never taken in run)
};

}  // namespace tw::lv2
