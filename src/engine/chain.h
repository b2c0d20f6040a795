// A chain of effect slots run on every audio buffer, as one object.
//
// The chain holds three slot tables. One is live: the audio thread runs it.
// Another is filled by the UI thread, completely and at leisure, while the
// live one keeps playing; a commit then makes it live in one step (one atomic
// store of the state word). An instant commit returns once no run can still
// be inside the table it replaced; its instances are the caller's again, to
// be freed on the UI thread, never the audio thread.
//
// A faded commit (commit_faded) keeps the old table running beside the new
// one: for the crossfade the old chain's input fades out while the new
// chain's output fades in (equal gain), and for the spill-over time after it
// the old chain goes on with silent input, its output added, so delay and
// reverb tails ring out; its last 10 ms fade out. The old table is then
// "retiring"; once the audio thread has played its tail, release_retired()
// (UI thread, from a timer) hands it back. A new commit while one retires
// drops the retiring table (its tail has had its time) and waits for it.
//
// Two gate words (`active`, `loaded`) pause the chain; close_gate_and_wait()
// closes one and waits until no run is inside the chain, so instances may be
// destroyed meanwhile.
//
// Why commits and the gates are safe (Dekker's pattern; every access named
// here is sequentially consistent, so all fall into one total order S that
// agrees with each thread's program order):
//   audio: I = runs_in[t].fetch_add for each table t the state names, then
//          L = state.load() unchanged (else it undoes I and tries again),
//          then G = the gates' loads
//   UI:    W = state.store(a state without t) (or a gate's exchange(0)),
//          then R = runs_in[t].load() == 0, waited for
// A run whose I comes after R has W < R < I < L in S, so L reads the new
// state (or G a closed gate) and the run never touches table t. A run whose
// I comes before R had also undone or finished it before R, since R saw 0.
// So once R has seen 0, no run is inside table t until the UI names it in
// the state again. Only the `enabled` words of the live table are written
// while runs may read them (relaxed atomics: a slot switches on or off at its
// next test).
//
// Threads: process() and process_slots() on the audio thread (or the
// renderer's threads); everything else on the UI thread unless it says so.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "engine/effect_types.h"

namespace tw {

// One slot of a chain: the kind's entries, the instance, and on/off.
struct ChainSlot {
    ProcessFn process = nullptr;
    Instance instance = nullptr;
    ParamsFn params = nullptr;
    std::int32_t kind = kEmptyKind;   // kEmptyKind = empty slot, skipped
    std::int32_t enabled = 0;         // 1 = on; any other value = off
    char name[kNameBytes] = {};       // the kind's name; only staging copies fill it
};

// Up to kMaxSlots slots; slots 0 .. count - 1 are used, slot 0 runs first.
struct ChainTable {
    std::int32_t count = 0;
    std::array<ChainSlot, kMaxSlots> slot{};
};

class Chain {
public:
    constexpr Chain() = default;
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;

    // Gate words: the chain runs only while both are 1. The UI thread writes
    // them (STOP/START, slot changes, preset loads); any thread may read.
    std::atomic<std::int32_t> active{1};
    std::atomic<std::int32_t> loaded{1};

    // Figures of the last run, written by the audio thread, read by any:
    // its duration over the buffer's duration (1.0 = the chain took as long
    // as the buffer lasts) and in seconds; the runs completed with both gates
    // open, and the steady-clock time (ns since its epoch) at which the last
    // one ended (a buffer counted after a gate reopened was processed by the
    // chain as it is now).
    std::atomic<float> cpu_load{0.0f};
    std::atomic<float> run_seconds{0.0f};
    std::atomic<std::uint64_t> runs{0};
    std::atomic<std::int64_t> run_end_ns{0};

    // Runs every enabled, non-empty live slot on the buffer in place, in slot
    // order, and times the run and each slot. With a gate closed the buffer
    // stays as it is and nothing is timed. Always returns 0. Audio thread.
    std::int32_t process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples);

    // Runs only live slots first .. last - 1 (clamped to the chain), under
    // the same gates, without timing. For a renderer that splits one chain
    // across threads, each range run by one thread at a time and every buffer
    // passing the ranges in slot order. Always returns 0. The range's thread.
    std::int32_t process_slots(std::int32_t first, std::int32_t last, std::int32_t frames, std::int32_t sample_rate,
                               std::int32_t channels, float* samples);

    // Makes a copy of `staging`'s first `count` slots (clamped to 0 ..
    // kMaxSlots; names are not copied) the live chain in one step. Runs that
    // begin meanwhile play the chain as it was until the step, then the new
    // one; no buffer passes unprocessed. Returns once no run can be inside
    // the replaced table (nor a retiring one). UI thread.
    void commit(const ChainTable& staging);

    // The same, but the old chain fades out over `fade_ms` while the new one
    // fades in, and then rings out with silent input for `spill_ms` (both
    // clamped to 0 .. 10000). With both 0 this is commit(). Returns once no
    // run can be inside a table that was retiring before; the table replaced
    // now retires (retiring() true) until release_retired(). UI thread.
    void commit_faded(const ChainTable& staging, std::int32_t fade_ms, std::int32_t spill_ms);

    // True while a replaced table still plays its fade or tail (or waits to
    // be released). UI thread.
    bool retiring() const;
    // Hands a retiring table back once the audio thread has played its tail
    // (or at once when `force`): true when no run can use its instances any
    // more (also when nothing was retiring). UI thread.
    bool release_retired(bool force = false);

    // Exchanges live slots a and b (out-of-range indexes are ignored), as one
    // commit of the live table with the two slots exchanged. UI thread.
    void swap_slots(std::int32_t a, std::int32_t b);

    // Writes 1 / 0 into the live `enabled` word of slot i without pausing the
    // chain; out-of-range indexes are ignored. UI thread.
    void enable_slot(std::int32_t i);
    void disable_slot(std::int32_t i);

    // Closes `gate` (active or loaded) and waits until no run can be inside
    // the chain; returns the gate's previous value for reopen_gate. UI thread.
    std::int32_t close_gate_and_wait(std::atomic<std::int32_t>& gate);
    // Sets `gate` back to `previous`. UI thread.
    static void reopen_gate(std::atomic<std::int32_t>& gate, std::int32_t previous);

    // A copy of the live slots (names empty). UI thread.
    ChainTable snapshot() const;

    // The same figure as cpu_load for live slot i alone in the last run (0
    // for a slot that is off, empty or outside the chain). Any thread.
    float slot_load(std::int32_t i) const;

    // The start-up state: an empty live chain, both gates open, the figures
    // at 0. UI thread, with no stream running.
    void reset();

    // Frames mixed at a time while two tables run (a larger buffer is mixed
    // in pieces of this size).
    static constexpr int kMixFrames = 1024;

private:
    static constexpr int kTables = 3;
    static constexpr std::uint32_t kNone = 3;   // "no retiring table"

    // A slot table as the audio thread reads it: `count` and `enabled` may
    // be written while runs read them; the rest only while the table is not
    // named by the state and no run is inside it.
    struct Table {
        std::atomic<std::int32_t> count{0};
        std::array<ChainSlot, kMaxSlots> slot{};
        std::array<std::atomic<std::int32_t>, kMaxSlots> enabled{};
        // How the table that this one replaced leaves: written before the
        // table is made live.
        std::int32_t fade_ms = 0;
        std::int32_t spill_ms = 0;
    };

    // The state word: live table (bits 0-1), retiring table (bits 2-3, kNone
    // for none), generation of the last commit (the rest).
    static constexpr std::uint32_t live_of(std::uint32_t st) { return st & 3u; }
    static constexpr std::uint32_t retiring_of(std::uint32_t st) { return (st >> 2) & 3u; }
    static constexpr std::uint32_t generation_of(std::uint32_t st) { return st >> 4; }
    static constexpr std::uint32_t make_state(std::uint32_t live, std::uint32_t retiring, std::uint32_t generation) {
        return live | (retiring << 2) | (generation << 4);
    }

    // Enters the tables the state names (counted in runs_in_) and checks the
    // gates; the state entered, or false when a gate is closed. Audio thread.
    bool enter(std::uint32_t& state);
    void leave(std::uint32_t state);
    // Blocks until no run is inside table i (or any, for -1). UI thread.
    void wait_until_idle(int i) const;
    // Fills a free table with `from`'s first `copy` slots and the live
    // table's others, `count` slots in use; makes it live, the old live table
    // retiring when `fade_ms` or `spill_ms` is not 0, and waits for every
    // table that is no longer named. UI thread.
    void commit_table(const ChainTable& from, std::int32_t copy, std::int32_t count, std::int32_t fade_ms,
                      std::int32_t spill_ms);
    // Runs the enabled, non-empty slots of `t` on a buffer; `timed` also
    // writes the per-slot figures. Audio thread.
    void run_table(Table& t, std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples,
                   bool timed);
    // Runs the live and the retiring table on one piece of at most
    // kMixFrames frames and mixes them. Audio thread.
    void run_mixed(Table& live, Table& old, std::int32_t frames, std::int32_t sample_rate, std::int32_t channels,
                   float* samples);

    std::array<Table, kTables> tables_{};
    std::atomic<std::uint32_t> state_{make_state(0, kNone, 0)};
    std::array<std::atomic<std::int32_t>, kTables> runs_in_{};
    std::array<std::atomic<float>, kMaxSlots> slot_load_{};

    // The audio thread's own: the generation it has seen, frames played since
    // that commit, where the crossfade and the tail end (frames), the mixing
    // buffer.
    std::uint32_t seen_generation_ = 0;
    std::int64_t since_switch_ = 0;
    std::int64_t fade_end_ = 0;
    std::int64_t tail_end_ = 0;
    std::array<float, 2 * kMixFrames> old_buf_{};
    // The generation whose tail the audio thread has finished.
    std::atomic<std::uint32_t> retired_generation_{0};
};

// The program's chain, which the engine's plain entries (effects.h) use.
// Constant-initialised, so it is there before any other static object.
extern constinit Chain the_default_chain;
inline Chain& default_chain() { return the_default_chain; }

}  // namespace tw
