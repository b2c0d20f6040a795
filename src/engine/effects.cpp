#include "engine/effects.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/denormals.h"

namespace tw {

std::atomic<std::int32_t> chain_active{1};
std::atomic<std::int32_t> chain_loaded{1};
std::atomic<float> cpu_load{0.0f};
std::atomic<float> run_seconds{0.0f};
std::atomic<std::uint64_t> chain_runs{0};
std::atomic<std::int64_t> chain_run_end_ns{0};

namespace {

// The live chain. `count` and `enabled` are written by the UI while the audio
// thread runs; the other arrays are rewritten only while no run can read them
// (count held at 0 and the in-chain counter seen at 0).
struct LiveChain {
    std::atomic<std::int32_t> count{0};
    ProcessFn process[kMaxSlots] = {};
    Instance instance[kMaxSlots] = {};
    ParamsFn params[kMaxSlots] = {};
    std::int32_t kind[kMaxSlots] = {};
    std::atomic<std::int32_t> enabled[kMaxSlots] = {};
};

LiveChain live;
EffectRegistry registry;

// Number of process_chain runs between their entry and their exit. Raised
// before the gates are read, lowered on leaving (sequentially consistent).
std::atomic<std::int32_t> runs_in_chain{0};

// Blocks until no run of process_chain is inside the chain. Only meaningful
// after a sequentially consistent store that keeps new runs out (a gate or
// the live count at 0); see close_gate_and_wait. UI thread.
void wait_until_chain_idle() {
    while (runs_in_chain.load(std::memory_order_seq_cst) != 0) {
        std::this_thread::yield();
    }
}

// steady_clock has a fixed, non-zero frequency; the zero-frequency rule of the
// dispatcher is kept below for clocks that might report none.
constexpr std::int64_t kCounterFrequency =
    std::chrono::steady_clock::period::den / std::chrono::steady_clock::period::num;

std::int64_t read_counter() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

bool valid_slot(std::int32_t i) { return i >= 0 && i < kMaxSlots; }

// Runs live slots first .. last-1 that are enabled and filled. The caller is
// inside the chain (counted in runs_in_chain, gates open). Audio thread.
void run_slots(std::int32_t first, std::int32_t last, std::int32_t frames, std::int32_t sample_rate,
               std::int32_t channels, float* samples) {
    for (std::int32_t i = first; i < last; ++i) {
        if (live.enabled[i].load(std::memory_order_relaxed) == 1 && live.kind[i] != 0 && live.process[i] != nullptr) {
            live.process[i](frames, sample_rate, channels, samples, live.instance[i]);
        }
    }
}

// Enters the chain: counter first, gates second, both seq_cst (the audio half
// of the pattern explained at close_gate_and_wait). False when a gate is
// closed; the caller is then outside again. Audio thread.
bool enter_chain() {
    runs_in_chain.fetch_add(1, std::memory_order_seq_cst);
    if (chain_loaded.load(std::memory_order_seq_cst) == 0 || chain_active.load(std::memory_order_seq_cst) == 0) {
        runs_in_chain.fetch_sub(1, std::memory_order_seq_cst);
        return false;
    }
    return true;
}

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

// Why this is safe (Dekker's pattern; every access below is seq_cst, so all
// of them fall into one total order S that agrees with each thread's program
// order):
//   UI:    W  = gate.exchange(0)        then R = runs_in_chain.load() == 0
//   audio: I  = runs_in_chain.fetch_add then G = gate.load()
// Take the last load R that saw 0. A run whose I comes before R in S had also
// lowered the counter before R (the counter counts every I and its matching
// decrement), so it has left the chain. A run whose I comes after R has
// W < R < I < G in S, so G reads 0 (or a later reopen) and the run returns
// without touching a slot. No run can therefore be inside the chain between
// R and reopen_gate. With weaker orderings (a relaxed gate store, say) the
// store could still sit in the UI core's buffer while the counter is read:
// both sides would miss each other and a run could use an instance that is
// being deleted.
std::int32_t close_gate_and_wait(std::atomic<std::int32_t>& gate) {
    const std::int32_t previous = gate.exchange(0, std::memory_order_seq_cst);
    wait_until_chain_idle();
    return previous;
}

void reopen_gate(std::atomic<std::int32_t>& gate, std::int32_t previous) {
    // seq_cst (hence release): a run that sees the gate open also sees every
    // slot written before it.
    gate.store(previous, std::memory_order_seq_cst);
}

void commit_chain(const ChainTable& staging) {
    live.count.store(0, std::memory_order_seq_cst);
    wait_until_chain_idle();
    std::int32_t n = staging.count;
    if (n < 0) n = 0;
    if (n > kMaxSlots) n = kMaxSlots;
    for (std::int32_t i = 0; i < n; ++i) {
        live.process[i] = staging.process[i];
        live.instance[i] = staging.instance[i];
        live.params[i] = staging.params[i];
        live.kind[i] = staging.kind[i];
        live.enabled[i].store(staging.enabled[i], std::memory_order_relaxed);
    }
    live.count.store(n, std::memory_order_seq_cst);
}

void swap_chain_slots(std::int32_t a, std::int32_t b) {
    if (!valid_slot(a) || !valid_slot(b)) return;
    // Hold the chain empty while the two slots are exchanged, then restore it.
    const std::int32_t n = live.count.exchange(0, std::memory_order_seq_cst);
    wait_until_chain_idle();
    std::swap(live.process[a], live.process[b]);
    std::swap(live.instance[a], live.instance[b]);
    std::swap(live.params[a], live.params[b]);
    std::swap(live.kind[a], live.kind[b]);
    const std::int32_t ea = live.enabled[a].load(std::memory_order_relaxed);
    live.enabled[a].store(live.enabled[b].load(std::memory_order_relaxed), std::memory_order_relaxed);
    live.enabled[b].store(ea, std::memory_order_relaxed);
    live.count.store(n, std::memory_order_seq_cst);
}

void enable_slot(std::int32_t i) {
    if (valid_slot(i)) live.enabled[i].store(1, std::memory_order_relaxed);
}

void disable_slot(std::int32_t i) {
    if (valid_slot(i)) live.enabled[i].store(0, std::memory_order_relaxed);
}

std::int32_t process_chain(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
    if (!enter_chain()) return 0;
    enable_flush_to_zero();
    const std::int64_t run_start = read_counter();
    run_slots(0, live.count.load(std::memory_order_seq_cst), frames, sample_rate, channels, samples);
    const std::int64_t run_end = read_counter();
    chain_run_end_ns.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::steady_clock::duration(run_end))
                               .count(),
                           std::memory_order_relaxed);
    chain_runs.fetch_add(1, std::memory_order_release);
    runs_in_chain.fetch_sub(1, std::memory_order_seq_cst);

    if (kCounterFrequency != 0 && sample_rate != 0) {
        const float seconds = static_cast<float>(static_cast<double>(run_end - run_start) / kCounterFrequency);
        run_seconds.store(seconds, std::memory_order_relaxed);
        if (frames != 0) {
            cpu_load.store(static_cast<float>(sample_rate * static_cast<double>(seconds) / frames),
                           std::memory_order_relaxed);
        }
    }
    return 0;
}

std::int32_t process_chain_slots(std::int32_t first, std::int32_t last, std::int32_t frames, std::int32_t sample_rate,
                                 std::int32_t channels, float* samples) {
    if (!enter_chain()) return 0;
    enable_flush_to_zero();
    const std::int32_t n = live.count.load(std::memory_order_seq_cst);
    run_slots(std::max(first, 0), std::min(last, n), frames, sample_rate, channels, samples);
    runs_in_chain.fetch_sub(1, std::memory_order_seq_cst);
    return 0;
}

ChainTable live_chain_snapshot() {
    ChainTable t;
    t.count = live.count.load(std::memory_order_seq_cst);
    for (int i = 0; i < kMaxSlots; ++i) {
        t.process[i] = live.process[i];
        t.instance[i] = live.instance[i];
        t.params[i] = live.params[i];
        t.kind[i] = live.kind[i];
        t.enabled[i] = live.enabled[i].load(std::memory_order_relaxed);
    }
    return t;
}

void reset_engine() {
    live.count.store(0, std::memory_order_seq_cst);
    wait_until_chain_idle();
    chain_active.store(1, std::memory_order_seq_cst);
    chain_loaded.store(1, std::memory_order_seq_cst);
    cpu_load.store(0.0f, std::memory_order_relaxed);
    run_seconds.store(0.0f, std::memory_order_relaxed);
}

}  // namespace tw
