#include "engine/effects.h"

#include <cstring>

namespace tw {

std::atomic<std::int32_t>& chain_active = the_default_chain.active;
std::atomic<std::int32_t>& chain_loaded = the_default_chain.loaded;
std::atomic<float>& cpu_load = the_default_chain.cpu_load;
std::atomic<float>& run_seconds = the_default_chain.run_seconds;
std::atomic<std::uint64_t>& chain_runs = the_default_chain.runs;
std::atomic<std::int64_t>& chain_run_end_ns = the_default_chain.run_end_ns;

namespace {
EffectRegistry registry;
}  // namespace

std::int32_t empty_process(std::int32_t, std::int32_t, std::int32_t, float*, Instance) { return 0; }
Instance empty_create() { return nullptr; }
void empty_params(ParamRecord*, Instance, std::int32_t) {}

EffectRegistry* init_registry(const RegistryRow* rows, int count) {
    if (rows == nullptr || count < 0) count = 0;
    if (count > kMaxKinds) count = kMaxKinds;
    registry.last_kind = count - 1;
    for (int k = 0; k < count; ++k) {
        std::memset(registry.names[k], 0, kNameBytes);
        std::strncpy(registry.names[k], rows[k].name, kNameBytes - 1);
        registry.process[k] = rows[k].entries.process;
        registry.create[k] = rows[k].entries.create;
        registry.params[k] = rows[k].entries.params;
    }
    return &registry;
}

std::int32_t close_gate_and_wait(std::atomic<std::int32_t>& gate) {
    return default_chain().close_gate_and_wait(gate);
}

void reopen_gate(std::atomic<std::int32_t>& gate, std::int32_t previous) { Chain::reopen_gate(gate, previous); }

void commit_chain(const ChainTable& staging) { default_chain().commit(staging); }

void swap_chain_slots(std::int32_t a, std::int32_t b) { default_chain().swap_slots(a, b); }

void enable_slot(std::int32_t i) { default_chain().enable_slot(i); }

void disable_slot(std::int32_t i) { default_chain().disable_slot(i); }

std::int32_t process_chain(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
    return default_chain().process(frames, sample_rate, channels, samples);
}

std::int32_t process_chain_slots(std::int32_t first, std::int32_t last, std::int32_t frames, std::int32_t sample_rate,
                                 std::int32_t channels, float* samples) {
    return default_chain().process_slots(first, last, frames, sample_rate, channels, samples);
}

ChainTable live_chain_snapshot() { return default_chain().snapshot(); }

void reset_engine() { default_chain().reset(); }

}  // namespace tw
