// Parameters and chains handed over whole: an audio thread processes blocks
// while the UI thread moves a bar that sets several values at once, or
// commits one chain after another; no block may ever see a mixture.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/chain.h"
#include "fx/gain_form.h"
#include "fx/kinds.h"
#include "app/chain_editor.h"
#include "app/chain_presets.h"
#include "engine/effects.h"

namespace tw {
namespace {

// The mono bar sets the left and right volumes together (one publication):
// a stereo block must never come out with one channel at the old volume and
// the other at the new.
TEST(SnapshotConcurrency, ABarThatSetsBothVolumesIsNeverSeenHalfApplied) {
    Tgain_form g;
    g.CheckRadioBox_Air.set_checked(false);
    std::atomic<bool> stop{false};
    std::atomic<int> mixed{0};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        std::vector<float> buf(2 * 64);
        while (!stop.load(std::memory_order_relaxed)) {
            for (float& v : buf) v = 1.0f;
            g.process(64, 48000, 2, buf.data());
            for (int i = 0; i < 64; ++i)
                if (buf[2 * i] != buf[2 * i + 1]) mixed.fetch_add(1, std::memory_order_relaxed);
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
    });
    for (int round = 0; round < 2000000 && (round < 20000 || blocks.load() < 2000); ++round)
        g.ScrollBar_Gain_Mono.set_position(round % 2 == 0 ? 5 : 95);
    stop.store(true);
    audio.join();
    EXPECT_EQ(mixed.load(), 0);
    EXPECT_GE(blocks.load(), 2000);
}

// Commits of whole chains under a running audio thread: every block is
// processed by one complete chain (x2 then x2 again, or x3 alone), never by
// an empty chain or by a mixture of the two.
std::int32_t times_two(std::int32_t frames, std::int32_t, std::int32_t, float* s, Instance) {
    for (std::int32_t i = 0; i < frames; ++i) s[i] *= 2.0f;
    return 0;
}
std::int32_t times_three(std::int32_t frames, std::int32_t, std::int32_t, float* s, Instance) {
    for (std::int32_t i = 0; i < frames; ++i) s[i] *= 3.0f;
    return 0;
}

TEST(SnapshotConcurrency, EveryBlockRunsOneWholeChainWhileChainsAreCommitted) {
    Chain chain;
    ChainTable a;
    a.count = 2;
    ChainTable b;
    b.count = 2;
    for (int s = 0; s < 2; ++s) {
        a.slot[s] = ChainSlot{times_two, nullptr, nullptr, 99, 1, {}};
        b.slot[s] = ChainSlot{s == 0 ? times_three : nullptr, nullptr, nullptr, s == 0 ? 99 : kEmptyKind, 1, {}};
    }
    chain.commit(a);
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        float buf[16];
        while (!stop.load(std::memory_order_relaxed)) {
            for (float& v : buf) v = 1.0f;
            chain.process(16, 48000, 1, buf);
            for (float v : buf)
                if (v != 4.0f && v != 3.0f) wrong.fetch_add(1, std::memory_order_relaxed);
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
    });
    for (int round = 0; round < 2000000 && (round < 5000 || blocks.load() < 2000); ++round) chain.commit(round % 2 == 0 ? b : a);
    stop.store(true);
    audio.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(chain.runs.load(), 0u);
}

// A storm of preset changes (100 a second for 10 s, each faded in with the
// old chain ringing out) under a running audio thread: every block comes out
// of the requested presets (a Gain x3 and a Gain x2, or a crossfade between
// them: between x2 and x3 of the input), never the dry input; every replaced
// instance is freed (LeakSanitizer checks that in the sanitizer stage).
PresetRecord gain_preset(int bar) {
    Tgain_form g;
    g.CheckRadioBox_Air.set_checked(false);
    g.ScrollBar_Gain_Mono.set_position(bar);
    ParamRecord rec;
    g.get_parameters(rec);
    PresetRecord r;
    r.set_version(kPresetVersion);
    r.set_kind(0, kKindGain);
    r.set_enabled(0, 1);
    r.set_params(0, rec);
    return r;
}

TEST(SnapshotConcurrency, AStormOfPresetChangesAlwaysPlaysTheRequestedPresets) {
    reset_engine();
    const PresetRecord x3 = gain_preset(60);  // (60 - 50) / 5 + 1 = 3
    const PresetRecord x2 = gain_preset(55);
    std::atomic<int> wrong{0};
    std::atomic<bool> stop{false};
    {
        ChainEditor e;
        e.fill_kind_lists_and_build_chain();
        load_preset_record(e, x3, "x3.pre");  // at once: the audio thread starts on x3
        e.switch_fade_ms = 20;
        e.spill_over_ms = 50;
        std::thread audio([&] {
            std::vector<float> buf(2 * 64);
            while (!stop.load(std::memory_order_relaxed)) {
                std::fill(buf.begin(), buf.end(), 100.0f);
                process_chain(64, 48000, 2, buf.data());
                for (float v : buf)
                    if (!(v >= 200.0f - 0.01f && v <= 300.0f + 0.01f)) wrong.fetch_add(1, std::memory_order_relaxed);
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (int i = 0; std::chrono::steady_clock::now() < until; ++i) {
            load_preset_record(e, i % 2 == 0 ? x2 : x3, "storm.pre");
            e.collect_retired();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        stop.store(true);
        audio.join();
    }
    reset_engine();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace tw
