// The effect registry, the live chain and the chain dispatcher.
//
// Threads: process_chain runs on the audio thread; everything else here is
// called on the UI thread. The UI never rewrites live slots (other than their
// `enabled` word) while a run may be inside the chain: commit_chain and
// swap_chain_slots take care of that themselves, and code that destroys an
// instance or rewrites slots does it between close_gate_and_wait() and
// reopen_gate().
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/effect_types.h"
#include "engine/registry_row.h"

namespace tw {

// The fixed table of effect kinds (rows 14..31 stay zero).
struct EffectRegistry {
    std::int32_t last_kind = 0;
    char names[kMaxKinds][kNameBytes] = {};
    ProcessFn process[kMaxKinds] = {};
    CreateFn create[kMaxKinds] = {};
    ParamsFn params[kMaxKinds] = {};
};

// A chain of slots: the record type of the chain editor's staging copy.
// Slot i is index i across the parallel arrays; slot 0 runs first.
struct ChainTable {
    std::int32_t count = 0;
    char names[kMaxSlots][kNameBytes] = {};
    ProcessFn process[kMaxSlots] = {};
    Instance instance[kMaxSlots] = {};
    ParamsFn params[kMaxSlots] = {};
    std::int32_t kind[kMaxSlots] = {};
    std::int32_t enabled[kMaxSlots] = {};
};

// Gate words: the chain runs only while both are 1. Any thread may read; the
// UI thread writes them (STOP/START, slot changes, preset loads).
extern std::atomic<std::int32_t> chain_active;
extern std::atomic<std::int32_t> chain_loaded;
// Duration of the last chain run divided by the buffer's duration (1.0 = the
// chain took as long as the buffer lasts). Written by the audio thread.
extern std::atomic<float> cpu_load;
// Duration of the last chain run in seconds. Written by the audio thread.
extern std::atomic<float> run_seconds;
// Chain runs completed with both gates open, and the steady-clock time (ns
// since its epoch) at which the last one ended: a buffer counted here after a
// gate reopened was processed by the chain as it is now (latency
// measurements). Written by the audio thread.
extern std::atomic<std::uint64_t> chain_runs;
extern std::atomic<std::int64_t> chain_run_end_ns;

// Writes `count` rows (row i at index i, at most kMaxKinds) and last_kind =
// count - 1 into the registry and returns it. Calling it again rewrites the
// same table. UI thread.
EffectRegistry* init_registry(const RegistryRow* rows, int count);

// Copies the staging table's first `count` slots into the live chain (names
// are not copied). A run that begins during the copy sees an empty chain; the
// call waits until a run that started before has left the chain. UI thread.
void commit_chain(const ChainTable& staging);

// Exchanges live slots a and b in all five arrays; out-of-range indexes are
// ignored. Waits for a run in progress to leave the chain first. UI thread.
void swap_chain_slots(std::int32_t a, std::int32_t b);

// Write 1 / 0 into the live `enabled` word of slot i without pausing the
// dispatcher; out-of-range indexes are ignored. UI thread.
void enable_slot(std::int32_t i);
void disable_slot(std::int32_t i);

// The dispatcher: runs every enabled, non-empty live slot on the buffer in
// place, in slot order, and times the run. Always returns 0. Audio thread.
std::int32_t process_chain(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples);

// Runs only the live slots first .. last-1 (clamped to the chain) on the
// buffer, under the same gates as process_chain, without timing the run. For
// an offline renderer that splits one chain across threads: each range is
// run by one thread only, and every buffer passes the ranges in slot order,
// so each slot sees exactly the buffers process_chain would give it. Always
// returns 0. Any thread that owns the range (never two at once on one range).
std::int32_t process_chain_slots(std::int32_t first, std::int32_t last, std::int32_t frames, std::int32_t sample_rate,
                                 std::int32_t channels, float* samples);

// Closes `gate` (chain_active or chain_loaded) and blocks the calling thread
// until no run of process_chain can still be inside the chain. From its
// return until reopen_gate(), no run touches any slot or instance, so
// instances may be destroyed and slots rewritten. Returns the gate's previous
// value, for reopen_gate. Never called on the audio thread. UI thread.
std::int32_t close_gate_and_wait(std::atomic<std::int32_t>& gate);
// Sets `gate` back to `previous` (the value close_gate_and_wait returned), so
// a gate that was already closed, e.g. by STOP or an enclosing preset load,
// stays closed. UI thread.
void reopen_gate(std::atomic<std::int32_t>& gate, std::int32_t previous);

// A copy of the live chain's slots (names empty), for the status display and
// tests. UI thread.
ChainTable live_chain_snapshot();

// Restores the start-up state: live count 0, both gates 1, cpu_load 0. UI
// thread, with no stream running.
void reset_engine();

}  // namespace tw
