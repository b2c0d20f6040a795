// An audio thread runs process_chain continuously while the UI thread changes
// the chain every way the program does. Under ThreadSanitizer this must show
// no data race; everywhere it must not crash and must keep the output finite.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "engine/effects.h"
#include "fx/effect_form.h"
#include "fx/gain_form.h"
#include "fx/kinds.h"
#include "fx/limiter_form.h"

namespace tw {
namespace {

// A slot that stays inside the chain until released.
std::atomic<bool> slot_entered{false};
std::atomic<bool> slot_release{false};
std::int32_t blocking_slot(std::int32_t frames, std::int32_t, std::int32_t, float* s, Instance) {
    slot_entered.store(true);
    while (!slot_release.load()) std::this_thread::yield();
    for (std::int32_t i = 0; i < frames; ++i) s[i] += 1.0f;
    return 0;
}

TEST(ChainConcurrency, CloseGateWaitsForTheRunInsideAndKeepsLaterRunsOut) {
    reset_engine();
    ChainTable t;
    t.count = 1;
    t.slot[0].process = blocking_slot;
    t.slot[0].kind = 99;
    t.slot[0].enabled = 1;
    commit_chain(t);
    slot_entered.store(false);
    slot_release.store(false);

    float inside[1] = {0.0f};
    std::thread audio([&] { process_chain(1, 48000, 1, inside); });
    while (!slot_entered.load()) std::this_thread::yield();

    std::atomic<bool> returned{false};
    std::int32_t previous = -1;
    std::thread ui([&] {
        previous = close_gate_and_wait(chain_active);
        returned.store(true);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned.load()) << "returned while a run was still inside the chain";
    EXPECT_EQ(chain_active.load(), 0);
    slot_release.store(true);
    ui.join();
    audio.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(previous, 1);
    EXPECT_EQ(inside[0], 1.0f);

    // Closed: a new run passes the buffer untouched.
    float later[1] = {0.0f};
    process_chain(1, 48000, 1, later);
    EXPECT_EQ(later[0], 0.0f);
    // A gate found closed (stream stopped) stays closed after the reopen.
    EXPECT_EQ(close_gate_and_wait(chain_active), 0);
    reopen_gate(chain_active, 0);
    EXPECT_EQ(chain_active.load(), 0);
    reopen_gate(chain_active, previous);
    process_chain(1, 48000, 1, later);
    EXPECT_EQ(later[0], 1.0f);
    reset_engine();
}

TEST(ChainConcurrency, UiChangesWhileAudioRuns) {
    reset_engine();
    EffectRegistry* reg = init_kind_registry();
    constexpr int kSlots = 16;
    ChainTable staging;
    staging.count = kSlots;
    for (int i = 0; i < kSlots; ++i) {
        staging.slot[i].process = reg->process[0];
        staging.slot[i].params = reg->params[0];
    }
    commit_chain(staging);

    std::atomic<bool> stop{false};
    std::atomic<long> runs{0};
    std::atomic<bool> finite{true};
    std::thread audio([&] {
        std::vector<float> buf(2 * 256);
        while (!stop.load(std::memory_order_relaxed)) {
            for (std::size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<float>((i % 64) * 100);
            process_chain(256, 48000, 2, buf.data());
            for (float v : buf)
                if (!std::isfinite(v)) finite.store(false, std::memory_order_relaxed);
            runs.fetch_add(1, std::memory_order_relaxed);
        }
    });

    // Wait for the audio thread to be going.
    while (runs.load() < 10) std::this_thread::yield();

    for (int step = 0; step < 3000; ++step) {
        const int s = step % kSlots;
        const int k = 1 + step % reg->last_kind;
        // Slot kind change: close the gate and wait, destroy the old
        // instance, create the new one, commit, open the gate.
        const std::int32_t was_active = close_gate_and_wait(chain_active);
        delete staging.slot[s].instance;
        staging.slot[s].process = reg->process[k];
        staging.slot[s].params = reg->params[k];
        staging.slot[s].kind = k;
        staging.slot[s].instance = reg->create[k]();
        commit_chain(staging);
        reopen_gate(chain_active, was_active);

        // On/off while running.
        if (step % 2 == 0) {
            staging.slot[s].enabled = 1;
            enable_slot(s);
        } else {
            staging.slot[(s + 3) % kSlots].enabled = 0;
            disable_slot((s + 3) % kSlots);
        }
        // Move: swap two slots in the staging copy and the live chain.
        const int t = (s + 1) % kSlots;
        const std::int32_t before_move = close_gate_and_wait(chain_active);
        std::swap(staging.slot[s].process, staging.slot[t].process);
        std::swap(staging.slot[s].instance, staging.slot[t].instance);
        std::swap(staging.slot[s].params, staging.slot[t].params);
        std::swap(staging.slot[s].kind, staging.slot[t].kind);
        std::swap(staging.slot[s].enabled, staging.slot[t].enabled);
        swap_chain_slots(s, t);
        reopen_gate(chain_active, before_move);

        // Editor changes while audio reads the parameters.
        if (staging.slot[t].kind == kKindGain && staging.slot[t].instance) {
            auto* g = static_cast<Tgain_form*>(staging.slot[t].instance);
            g->ScrollBar_Gain_Mono.set_position(step % 101);
            g->RadioBox_SimpleChorus.set_checked(step % 3 == 0);
            g->ScrollBar_SimpleChorus.set_position((step * 7) % 101);
        }
        if (staging.slot[t].kind == kKindLimiter && staging.slot[t].instance) {
            auto* l = static_cast<Tlimiter_form*>(staging.slot[t].instance);
            l->WebBrowser1.title_changed("gain =" + std::to_string(step % 101));
            l->WebBrowser1.title_changed("porog =" + std::to_string((step * 3) % 101));
            l->CheckBox_soft_limiter.set_checked(step % 2 == 0);
        }
        // A preset-style load: the other gate, with parameter records applied.
        if (step % 50 == 0) {
            const std::int32_t was_loaded = close_gate_and_wait(chain_loaded);
            ParamRecord rec;
            for (int i = 0; i < kSlots; ++i) {
                if (staging.slot[i].params && staging.slot[i].instance) {
                    staging.slot[i].params(&rec, staging.slot[i].instance, 0);
                    staging.slot[i].params(&rec, staging.slot[i].instance, 1);
                }
            }
            reopen_gate(chain_loaded, was_loaded);
        }
    }

    stop.store(true);
    audio.join();
    EXPECT_GT(runs.load(), 10);
    EXPECT_TRUE(finite.load());

    reset_engine();
    for (int i = 0; i < kSlots; ++i) delete staging.slot[i].instance;
}

}  // namespace
}  // namespace tw
