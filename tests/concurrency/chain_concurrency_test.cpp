// An audio thread runs process_chain continuously while the UI thread changes
// the chain every way the program does. Under ThreadSanitizer this must show
// no data race; everywhere it must not crash and must keep the output finite.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "engine/effects.h"
#include "fx/effect_form.h"
#include "fx/gain_form.h"
#include "fx/kinds.h"

namespace tw {
namespace {

TEST(ChainConcurrency, UiChangesWhileAudioRuns) {
    reset_engine();
    EffectRegistry* reg = init_kind_registry();
    constexpr int kSlots = 16;
    ChainTable staging;
    staging.count = kSlots;
    for (int i = 0; i < kSlots; ++i) {
        staging.process[i] = reg->process[0];
        staging.params[i] = reg->params[0];
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
        // Slot kind change: close the gate, wait, destroy the old instance,
        // create the new one, commit, open the gate.
        chain_active.store(0);
        wait_until_chain_idle();
        delete staging.instance[s];
        staging.process[s] = reg->process[k];
        staging.params[s] = reg->params[k];
        staging.kind[s] = k;
        staging.instance[s] = reg->create[k]();
        commit_chain(staging);
        chain_active.store(1);

        // On/off while running.
        if (step % 2 == 0) {
            staging.enabled[s] = 1;
            enable_slot(s);
        } else {
            staging.enabled[(s + 3) % kSlots] = 0;
            disable_slot((s + 3) % kSlots);
        }
        // Move: swap two slots in the staging copy and the live chain.
        const int t = (s + 1) % kSlots;
        chain_active.store(0);
        std::swap(staging.process[s], staging.process[t]);
        std::swap(staging.instance[s], staging.instance[t]);
        std::swap(staging.params[s], staging.params[t]);
        std::swap(staging.kind[s], staging.kind[t]);
        std::swap(staging.enabled[s], staging.enabled[t]);
        swap_chain_slots(s, t);
        chain_active.store(1);

        // Editor changes while audio reads the parameters.
        if (staging.kind[t] == kKindGain && staging.instance[t]) {
            auto* g = static_cast<Tgain_form*>(staging.instance[t]);
            g->ScrollBar_Gain_Mono.set_position(step % 101);
            g->RadioBox_SimpleChorus.set_checked(step % 3 == 0);
            g->ScrollBar_SimpleChorus.set_position((step * 7) % 101);
        }
        // A preset-style load: the other gate, with parameter records applied.
        if (step % 50 == 0) {
            chain_loaded.store(0);
            wait_until_chain_idle();
            ParamRecord rec;
            for (int i = 0; i < kSlots; ++i) {
                if (staging.params[i] && staging.instance[i]) {
                    staging.params[i](&rec, staging.instance[i], 0);
                    staging.params[i](&rec, staging.instance[i], 1);
                }
            }
            chain_loaded.store(1);
        }
    }

    stop.store(true);
    audio.join();
    EXPECT_GT(runs.load(), 10);
    EXPECT_TRUE(finite.load());

    reset_engine();
    for (int i = 0; i < kSlots; ++i) delete staging.instance[i];
}

}  // namespace
}  // namespace tw
