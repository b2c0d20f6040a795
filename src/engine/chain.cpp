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

bool Chain::enter(std::uint32_t& state) {
    for (;;) {
        const std::uint32_t st = state_.load(std::memory_order_seq_cst);
        runs_in_[live_of(st)].fetch_add(1, std::memory_order_seq_cst);
        if (retiring_of(st) != kNone) runs_in_[retiring_of(st)].fetch_add(1, std::memory_order_seq_cst);
        if (state_.load(std::memory_order_seq_cst) == st) {
            if (loaded.load(std::memory_order_seq_cst) == 0 || active.load(std::memory_order_seq_cst) == 0) {
                leave(st);
                return false;
            }
            state = st;
            return true;
        }
        // A commit moved the chain on between the two loads: try the new state.
        leave(st);
    }
}

void Chain::leave(std::uint32_t st) {
    runs_in_[live_of(st)].fetch_sub(1, std::memory_order_seq_cst);
    if (retiring_of(st) != kNone) runs_in_[retiring_of(st)].fetch_sub(1, std::memory_order_seq_cst);
}

void Chain::wait_until_idle(int i) const {
    for (int t = 0; t < kTables; ++t) {
        if (i >= 0 && t != i) continue;
        while (runs_in_[t].load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
    }
}

void Chain::run_table(Table& t, std::int32_t frames, std::int32_t sample_rate, std::int32_t channels,
                      float* samples, bool timed) {
    const std::int32_t n = t.count.load(std::memory_order_relaxed);
    // Slot figures as the share of the buffer's duration, like cpu_load.
    timed = timed && kCounterFrequency != 0 && sample_rate != 0 && frames != 0;
    const double per_tick =
        timed ? static_cast<double>(sample_rate) / (static_cast<double>(kCounterFrequency) * frames) : 0.0;
    std::int64_t before = timed ? read_counter() : 0;
    for (std::int32_t i = 0; i < n; ++i) {
        const ChainSlot& s = t.slot[i];
        if (!slot_runs(s, t.enabled[i].load(std::memory_order_relaxed))) {
            if (timed) slot_load_[i].store(0.0f, std::memory_order_relaxed);
            continue;
        }
        s.process(frames, sample_rate, channels, samples, s.instance);
        if (timed) {
            const std::int64_t after = read_counter();
            slot_load_[i].store(static_cast<float>((after - before) * per_tick), std::memory_order_relaxed);
            before = after;
        }
    }
}

void Chain::run_mixed(Table& live, Table& old, std::int32_t frames, std::int32_t sample_rate,
                      std::int32_t channels, float* samples) {
    const int chs = channels == 1 ? 1 : 2;
    float* o = old_buf_.data();
    const double fade = static_cast<double>(fade_end_);
    // The new chain's share of frame t: rising from 0 to 1 over the fade.
    auto new_share = [&](std::int64_t t) { return t < fade_end_ ? static_cast<float>(t / fade) : 1.0f; };
    for (std::int32_t j = 0; j < frames; ++j) {
        const float old_in = 1.0f - new_share(since_switch_ + j);
        for (int c = 0; c < chs; ++c) o[j * chs + c] = samples[j * chs + c] * old_in;
    }
    run_table(old, frames, sample_rate, channels, o, false);
    run_table(live, frames, sample_rate, channels, samples, true);
    const double tail_fade = static_cast<double>(std::max<std::int64_t>(sample_rate / 100, 1));
    for (std::int32_t j = 0; j < frames; ++j) {
        const std::int64_t t = since_switch_ + j;
        const float g = new_share(t);
        // The old chain's output at full level, its last 10 ms fading out.
        const std::int64_t left = tail_end_ - t;
        const float old_out = left >= static_cast<std::int64_t>(tail_fade)
                                  ? 1.0f
                                  : static_cast<float>(std::max<std::int64_t>(left, 0) / tail_fade);
        for (int c = 0; c < chs; ++c) {
            float& x = samples[j * chs + c];
            x = x * g + o[j * chs + c] * old_out;
        }
    }
    since_switch_ += frames;
}

std::int32_t Chain::process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
    std::uint32_t st = 0;
    if (!enter(st)) return 0;
    enable_flush_to_zero();
    Table& live = tables_[live_of(st)];
    const std::uint32_t retiring = retiring_of(st);
    if (generation_of(st) != seen_generation_) {
        // The first buffer after a commit: the fade and the tail start here.
        seen_generation_ = generation_of(st);
        since_switch_ = 0;
        fade_end_ = static_cast<std::int64_t>(live.fade_ms) * sample_rate / 1000;
        // The old chain's output fades out over its last 10 ms, after the
        // crossfade, so even without a spill-over nothing is cut.
        tail_end_ = fade_end_ + std::max<std::int64_t>(static_cast<std::int64_t>(live.spill_ms) * sample_rate / 1000,
                                                       std::max<std::int64_t>(sample_rate / 100, 1));
    }
    const std::int64_t run_start = read_counter();
    if (retiring == kNone || since_switch_ >= tail_end_ || samples == nullptr || frames <= 0) {
        if (retiring != kNone && since_switch_ >= tail_end_)
            retired_generation_.store(seen_generation_, std::memory_order_release);
        run_table(live, frames, sample_rate, channels, samples, true);
    } else {
        // Two chains must fit in the buffer's time: past the fade, a run that
        // took more than 90 % of the last buffer ends the tail within 10 ms.
        const std::int64_t tail_fade = std::max<std::int64_t>(sample_rate / 100, 1);
        if (since_switch_ >= fade_end_ && cpu_load.load(std::memory_order_relaxed) > 0.9f)
            tail_end_ = std::min(tail_end_, since_switch_ + tail_fade);
        Table& old = tables_[retiring];
        const int chs = channels == 1 ? 1 : 2;
        for (std::int32_t done = 0; done < frames;) {
            const std::int32_t n = std::min<std::int32_t>(kMixFrames, frames - done);
            run_mixed(live, old, n, sample_rate, channels, samples + static_cast<std::ptrdiff_t>(done) * chs);
            done += n;
        }
        if (since_switch_ >= tail_end_) retired_generation_.store(seen_generation_, std::memory_order_release);
    }
    const std::int64_t run_end = read_counter();
    run_end_ns.store(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::duration(run_end)).count(),
        std::memory_order_relaxed);
    runs.fetch_add(1, std::memory_order_release);
    leave(st);

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
    std::uint32_t st = 0;
    if (!enter(st)) return 0;
    enable_flush_to_zero();
    Table& t = tables_[live_of(st)];
    const std::int32_t n = std::min(last, t.count.load(std::memory_order_relaxed));
    for (std::int32_t i = std::max(first, 0); i < n; ++i) {
        const ChainSlot& s = t.slot[i];
        if (slot_runs(s, t.enabled[i].load(std::memory_order_relaxed)))
            s.process(frames, sample_rate, channels, samples, s.instance);
    }
    leave(st);
    return 0;
}

void Chain::commit_table(const ChainTable& from, std::int32_t copy, std::int32_t count, std::int32_t fade_ms,
                         std::int32_t spill_ms) {
    const std::uint32_t st = state_.load(std::memory_order_relaxed);
    const std::uint32_t old = live_of(st);
    const std::uint32_t was_retiring = retiring_of(st);
    // A table the state does not name: no run is inside it (the commit that
    // dropped it waited for that).
    std::uint32_t next = 0;
    while (next == old || next == was_retiring) ++next;
    Table& t = tables_[next];
    const Table& live = tables_[old];
    for (std::int32_t i = 0; i < kMaxSlots; ++i) {
        ChainSlot& s = t.slot[i];
        // Slots past the copied ones keep what the live chain holds there.
        const bool copied = i < copy;
        const ChainSlot& src = copied ? from.slot[i] : live.slot[i];
        s.process = src.process;
        s.instance = src.instance;
        s.params = src.params;
        s.kind = src.kind;
        t.enabled[i].store(copied ? src.enabled : live.enabled[i].load(std::memory_order_relaxed),
                           std::memory_order_relaxed);
    }
    t.count.store(count, std::memory_order_relaxed);
    t.fade_ms = std::clamp<std::int32_t>(fade_ms, 0, 10000);
    t.spill_ms = std::clamp<std::int32_t>(spill_ms, 0, 10000);
    const bool retire = t.fade_ms > 0 || t.spill_ms > 0;
    state_.store(make_state(next, retire ? old : kNone, generation_of(st) + 1), std::memory_order_seq_cst);
    if (was_retiring != kNone) wait_until_idle(static_cast<int>(was_retiring));
    if (!retire) wait_until_idle(static_cast<int>(old));
}

void Chain::commit(const ChainTable& staging) {
    const std::int32_t n = clamp_count(staging.count);
    commit_table(staging, n, n, 0, 0);
}

void Chain::commit_faded(const ChainTable& staging, std::int32_t fade_ms, std::int32_t spill_ms) {
    const std::int32_t n = clamp_count(staging.count);
    commit_table(staging, n, n, fade_ms, spill_ms);
}

bool Chain::retiring() const { return retiring_of(state_.load(std::memory_order_relaxed)) != kNone; }

bool Chain::release_retired(bool force) {
    std::uint32_t st = state_.load(std::memory_order_relaxed);
    const std::uint32_t r = retiring_of(st);
    if (r == kNone) return true;
    if (!force && retired_generation_.load(std::memory_order_acquire) != generation_of(st)) return false;
    // Same generation: the audio thread goes on with the live table as it is.
    state_.store(make_state(live_of(st), kNone, generation_of(st)), std::memory_order_seq_cst);
    wait_until_idle(static_cast<int>(r));
    return true;
}

void Chain::swap_slots(std::int32_t a, std::int32_t b) {
    if (!valid_slot(a) || !valid_slot(b)) return;
    ChainTable t = snapshot();
    std::swap(t.slot[a], t.slot[b]);
    commit_table(t, kMaxSlots, t.count, 0, 0);
}

void Chain::enable_slot(std::int32_t i) {
    if (valid_slot(i))
        tables_[live_of(state_.load(std::memory_order_relaxed))].enabled[i].store(1, std::memory_order_relaxed);
}

void Chain::disable_slot(std::int32_t i) {
    if (valid_slot(i))
        tables_[live_of(state_.load(std::memory_order_relaxed))].enabled[i].store(0, std::memory_order_relaxed);
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
    const Table& live = tables_[live_of(state_.load(std::memory_order_relaxed))];
    ChainTable t;
    t.count = live.count.load(std::memory_order_relaxed);
    for (int i = 0; i < kMaxSlots; ++i) {
        t.slot[i].process = live.slot[i].process;
        t.slot[i].instance = live.slot[i].instance;
        t.slot[i].params = live.slot[i].params;
        t.slot[i].kind = live.slot[i].kind;
        t.slot[i].enabled = live.enabled[i].load(std::memory_order_relaxed);
    }
    return t;
}

float Chain::slot_load(std::int32_t i) const {
    if (!valid_slot(i)) return 0.0f;
    const Table& live = tables_[live_of(state_.load(std::memory_order_relaxed))];
    if (i >= live.count.load(std::memory_order_relaxed) ||
        !slot_runs(live.slot[i], live.enabled[i].load(std::memory_order_relaxed)))
        return 0.0f;
    return slot_load_[i].load(std::memory_order_relaxed);
}

void Chain::reset() {
    commit_table(ChainTable{}, 0, 0, 0, 0);
    active.store(1, std::memory_order_seq_cst);
    loaded.store(1, std::memory_order_seq_cst);
    cpu_load.store(0.0f, std::memory_order_relaxed);
    run_seconds.store(0.0f, std::memory_order_relaxed);
    for (auto& l : slot_load_) l.store(0.0f, std::memory_order_relaxed);
}

}  // namespace tw
