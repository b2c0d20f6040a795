// The effect registry, and the engine's plain entries for the program's
// chain: each forwards to default_chain() (engine/chain.h).
//
// Threads: process_chain runs on the audio thread; everything else here is
// called on the UI thread. Code that destroys an instance the live chain may
// still run does it between close_gate_and_wait() and reopen_gate(), or after
// a commit that no longer holds it.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/chain.h"
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

// The default chain's gate words and figures (Chain's members of the same
// names): the chain runs only while both gates are 1; the UI thread writes
// the gates, the audio thread the figures, any thread reads them.
extern std::atomic<std::int32_t>& chain_active;
extern std::atomic<std::int32_t>& chain_loaded;
extern std::atomic<float>& cpu_load;
extern std::atomic<float>& run_seconds;
extern std::atomic<std::uint64_t>& chain_runs;
extern std::atomic<std::int64_t>& chain_run_end_ns;

// Writes `count` rows (row i at index i, at most kMaxKinds) and last_kind =
// count - 1 into the registry and returns it. Calling it again rewrites the
// same table. UI thread.
EffectRegistry* init_registry(const RegistryRow* rows, int count);

// Makes the staging table's first `count` slots the live chain in one step
// (names are not copied): a run sees the old chain or the new one, never an
// empty or half-copied one. Returns once no run can still use the old one.
// UI thread.
void commit_chain(const ChainTable& staging);

// Exchanges live slots a and b (as one commit); out-of-range indexes are
// ignored. UI thread.
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
