#include "engine/chain.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/denormals.h"

namespace tw {

namespace {

// steady_clock has a fixed, non-zero frequency; the zero-frequency rule is
// kept below for clocks that might report none.
constexpr std::int64_t kCounterFrequency =
    std::chrono::steady_clock::period::den / std::chrono::steady_clock::period::num;

std::int64_t read_counter() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

bool valid_slot(std::int32_t i) { return i >= 0 && i < kMaxSlots; }

std::int32_t clamp_count(std::int32_t n) { return std::clamp<std::int32_t>(n, 0, kMaxSlots); }

bool slot_runs(const ChainSlot& s, std::int32_t enabled) {
    return enabled == 1 && s.kind != kEmptyKind && s.process != nullptr;
}

}  // namespace

constinit Chain the_default_chain;

Chain::Table* Chain::enter() {
    for (;;) {
        const std::int32_t i = live_.load(std::memory_order_seq_cst);
        runs_in_[i].fetch_add(1, std::memory_order_seq_cst);
        if (live_.load(std::memory_order_seq_cst) == i) {
            Table* t = &tables_[i];
            if (loaded.load(std::memory_order_seq_cst) == 0 || active.load(std::memory_order_seq_cst) == 0) {
                leave(t);
                return nullptr;
            }
            return t;
        }
        // A commit moved the chain on between the two loads: try the new table.
        runs_in_[i].fetch_sub(1, std::memory_order_seq_cst);
    }
}

void Chain::wait_until_idle(int i) const {
    for (int t = 0; t < 2; ++t) {
        if (i >= 0 && t != i) continue;
        while (runs_in_[t].load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
    }
}

std::int32_t Chain::process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
    Table* t = enter();
    if (t == nullptr) return 0;
    enable_flush_to_zero();
    const std::int32_t n = t->count.load(std::memory_order_relaxed);
    // Slot figures as the share of the buffer's duration, like cpu_load.
    const bool timed = kCounterFrequency != 0 && sample_rate != 0 && frames != 0;
    const double per_tick = timed ? static_cast<double>(sample_rate) / (static_cast<double>(kCounterFrequency) * frames)
                                  : 0.0;
    const std::int64_t run_start = read_counter();
    std::int64_t before = run_start;
    for (std::int32_t i = 0; i < n; ++i) {
        const ChainSlot& s = t->slots[i];
        if (!slot_runs(s, t->enabled[i].load(std::memory_order_relaxed))) {
            slot_load_[i].store(0.0f, std::memory_order_relaxed);
            continue;
        }
        s.process(frames, sample_rate, channels, samples, s.instance);
        const std::int64_t after = read_counter();
        if (timed) slot_load_[i].store(static_cast<float>((after - before) * per_tick), std::memory_order_relaxed);
        before = after;
    }
    const std::int64_t run_end = read_counter();
    run_end_ns.store(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::duration(run_end)).count(),
        std::memory_order_relaxed);
    runs.fetch_add(1, std::memory_order_release);
    leave(t);

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

std::int32_t Chain::process_slots(std::int32_t first, std::int32_t last, std::int32_t frames,
                                  std::int32_t sample_rate, std::int32_t channels, float* samples) {
    Table* t = enter();
    if (t == nullptr) return 0;
    enable_flush_to_zero();
    const std::int32_t n = std::min(last, t->count.load(std::memory_order_relaxed));
    for (std::int32_t i = std::max(first, 0); i < n; ++i) {
        const ChainSlot& s = t->slots[i];
        if (slot_runs(s, t->enabled[i].load(std::memory_order_relaxed)))
            s.process(frames, sample_rate, channels, samples, s.instance);
    }
    leave(t);
    return 0;
}

void Chain::commit_table(const ChainTable& from, std::int32_t copy, std::int32_t count) {
    const std::int32_t old = live_.load(std::memory_order_relaxed);
    const std::int32_t next = 1 - old;
    // No run is inside `next`: the commit that left it waited for that.
    Table& t = tables_[next];
    const Table& live = tables_[old];
    for (std::int32_t i = 0; i < kMaxSlots; ++i) {
        ChainSlot& s = t.slots[i];
        // Slots past the copied ones keep what the live chain holds there.
        const bool copied = i < copy;
        const ChainSlot& src = copied ? from.slots[i] : live.slots[i];
        s.process = src.process;
        s.instance = src.instance;
        s.params = src.params;
        s.kind = src.kind;
        t.enabled[i].store(copied ? src.enabled : live.enabled[i].load(std::memory_order_relaxed),
                           std::memory_order_relaxed);
    }
    t.count.store(count, std::memory_order_relaxed);
    live_.store(next, std::memory_order_seq_cst);
    wait_until_idle(old);
}

void Chain::commit(const ChainTable& staging) {
    const std::int32_t n = clamp_count(staging.count);
    commit_table(staging, n, n);
}

void Chain::swap_slots(std::int32_t a, std::int32_t b) {
    if (!valid_slot(a) || !valid_slot(b)) return;
    ChainTable t = snapshot();
    std::swap(t.slots[a], t.slots[b]);
    commit_table(t, kMaxSlots, t.count);
}

void Chain::enable_slot(std::int32_t i) {
    if (valid_slot(i)) tables_[live_.load(std::memory_order_relaxed)].enabled[i].store(1, std::memory_order_relaxed);
}

void Chain::disable_slot(std::int32_t i) {
    if (valid_slot(i)) tables_[live_.load(std::memory_order_relaxed)].enabled[i].store(0, std::memory_order_relaxed);
}

std::int32_t Chain::close_gate_and_wait(std::atomic<std::int32_t>& gate) {
    const std::int32_t previous = gate.exchange(0, std::memory_order_seq_cst);
    wait_until_idle(-1);
    return previous;
}

void Chain::reopen_gate(std::atomic<std::int32_t>& gate, std::int32_t previous) {
    // seq_cst (hence release): a run that sees the gate open also sees every
    // slot written before it.
    gate.store(previous, std::memory_order_seq_cst);
}

ChainTable Chain::snapshot() const {
    const Table& live = tables_[live_.load(std::memory_order_relaxed)];
    ChainTable t;
    t.count = live.count.load(std::memory_order_relaxed);
    for (int i = 0; i < kMaxSlots; ++i) {
        t.slots[i].process = live.slots[i].process;
        t.slots[i].instance = live.slots[i].instance;
        t.slots[i].params = live.slots[i].params;
        t.slots[i].kind = live.slots[i].kind;
        t.slots[i].enabled = live.enabled[i].load(std::memory_order_relaxed);
    }
    return t;
}

float Chain::slot_load(std::int32_t i) const {
    if (!valid_slot(i)) return 0.0f;
    const Table& live = tables_[live_.load(std::memory_order_relaxed)];
    if (i >= live.count.load(std::memory_order_relaxed) ||
        !slot_runs(live.slots[i], live.enabled[i].load(std::memory_order_relaxed)))
        return 0.0f;
    return slot_load_[i].load(std::memory_order_relaxed);
}

void Chain::reset() {
    commit_table(ChainTable{}, 0, 0);
    active.store(1, std::memory_order_seq_cst);
    loaded.store(1, std::memory_order_seq_cst);
    cpu_load.store(0.0f, std::memory_order_relaxed);
    run_seconds.store(0.0f, std::memory_order_relaxed);
    for (auto& l : slot_load_) l.store(0.0f, std::memory_order_relaxed);
}

}  // namespace tw
