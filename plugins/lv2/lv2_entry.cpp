// The shared object's entry: one LV2 descriptor per plugin of plugin_list()
// (every built kind in mono and stereo, then the chain), all in one binary.
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <cstring>
#include <new>
#include <vector>

#include "chain_plugin.h"
#include "kind_plugin.h"

namespace tw::lv2 {
namespace {

// One instance: a kind or the chain.
struct Handle {
    KindPlugin* kind = nullptr;
    ChainPlugin* chain = nullptr;
};

Handle* as_handle(LV2_Handle h) { return static_cast<Handle*>(h); }

const PluginInfo* info_of(const LV2_Descriptor* d) {
    for (const PluginInfo& p : plugin_list())
        if (p.uri == d->URI) return &p;
    return nullptr;
}

LV2_Handle instantiate(const LV2_Descriptor* d, double rate, const char* bundle, const LV2_Feature* const* features) {
    const PluginInfo* info = info_of(d);
    if (info == nullptr || rate <= 0) return nullptr;
    use_program_folder();
    const HostFeatures host = read_host_features(features);
    try {
        auto* h = new Handle;
        if (info->kind == kChainKind) h->chain = new ChainPlugin(*info, rate, bundle, host);
        else h->kind = new KindPlugin(*info, rate, host);
        return h;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void connect_port(LV2_Handle h, std::uint32_t port, void* data) {
    if (as_handle(h)->kind != nullptr) as_handle(h)->kind->connect_port(port, data);
    else as_handle(h)->chain->connect_port(port, data);
}

void activate(LV2_Handle h) {
    if (as_handle(h)->kind != nullptr) as_handle(h)->kind->activate();
    else as_handle(h)->chain->activate();
}

void run(LV2_Handle h, std::uint32_t frames) {
    if (as_handle(h)->kind != nullptr) as_handle(h)->kind->run(frames);
    else as_handle(h)->chain->run(frames);
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle h) {
    delete as_handle(h)->kind;
    delete as_handle(h)->chain;
    delete as_handle(h);
}

LV2_Worker_Status work(LV2_Handle h, LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle rh,
                       std::uint32_t size, const void* data) {
    if (as_handle(h)->kind != nullptr) return as_handle(h)->kind->work(size, data);
    return as_handle(h)->chain->work(respond, rh, size, data);
}

LV2_Worker_Status work_response(LV2_Handle h, std::uint32_t size, const void* data) {
    if (as_handle(h)->kind != nullptr) return LV2_WORKER_SUCCESS;
    return as_handle(h)->chain->work_response(size, data);
}

LV2_State_Status save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle sh, std::uint32_t,
                      const LV2_Feature* const*) {
    if (as_handle(h)->kind != nullptr) return as_handle(h)->kind->save(store, sh);
    return as_handle(h)->chain->save(store, sh);
}

LV2_State_Status restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle sh, std::uint32_t,
                         const LV2_Feature* const*) {
    if (as_handle(h)->kind != nullptr) return as_handle(h)->kind->restore(retrieve, sh);
    return as_handle(h)->chain->restore(retrieve, sh);
}

const LV2_Worker_Interface kWorker{work, work_response, nullptr};
const LV2_State_Interface kState{save, restore};

const void* extension_data(const char* uri) {
    if (std::strcmp(uri, LV2_WORKER__interface) == 0) return &kWorker;
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &kState;
    return nullptr;
}

const std::vector<LV2_Descriptor>& descriptors() {
    static const std::vector<LV2_Descriptor> list = [] {
        std::vector<LV2_Descriptor> out;
        for (const PluginInfo& p : plugin_list())
            out.push_back(LV2_Descriptor{p.uri.c_str(), instantiate, connect_port, activate, run, deactivate, cleanup,
                                         extension_data});
        return out;
    }();
    return list;
}

}  // namespace
}  // namespace tw::lv2

// The host's entry: descriptor `index`, or null past the last. Host's loading thread.
extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    const auto& list = tw::lv2::descriptors();
    return index < list.size() ? &list[index] : nullptr;
}
