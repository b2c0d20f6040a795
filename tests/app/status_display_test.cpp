// The status display without a toolkit: the meter arithmetic (square-root
// level scale, CPU percent, halves-to-even latency), the 30-segment LED
// meter with its three zones, and one tick of the status timer.
#include "app/status_display.h"

#include <gtest/gtest.h>

#include <thread>

#include <chrono>

#include <cmath>
#include <limits>
#include <vector>

namespace tw {
namespace {

TEST(StatusArithmetic, RoundingIsHalvesToEven) {
    EXPECT_EQ(round_half_even(0.5), 0);
    EXPECT_EQ(round_half_even(1.5), 2);
    EXPECT_EQ(round_half_even(2.5), 2);
    EXPECT_EQ(round_half_even(2.5000001), 3);
    EXPECT_EQ(round_half_even(-0.5), 0);
    EXPECT_EQ(round_half_even(-1.5), -2);
    EXPECT_EQ(round_half_even(-1.2), -1);
    EXPECT_EQ(round_half_even(std::nan("")), 0);
    EXPECT_EQ(round_half_even(1e12), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(round_half_even(-1e12), std::numeric_limits<std::int32_t>::min());
}

TEST(StatusArithmetic, CpuMeterIsPercentOfLoad) {
    EXPECT_EQ(cpu_meter_position(0.5f), 50);
    EXPECT_EQ(cpu_meter_position(0.0f), 0);
    EXPECT_EQ(cpu_meter_position(1.5f), 150);  // the meter clamps it, see below
    EXPECT_EQ(cpu_meter_position(0.125f), 12);  // 12.5 rounds to even
    EXPECT_EQ(cpu_meter_position(std::nanf("")), 0);
}

TEST(StatusArithmetic, LevelMetersUseTheSquareRootScale) {
    EXPECT_EQ(level_meter_position(0.0f), 0);
    EXPECT_EQ(level_meter_position(32000.0f), 100);
    EXPECT_EQ(level_meter_position(3200.0f), 32);
    EXPECT_EQ(level_meter_position(320.0f), 10);
    EXPECT_EQ(level_meter_position(64000.0f), 141);
    EXPECT_EQ(level_meter_position(-5.0f), 0);
    EXPECT_EQ(level_meter_position(std::nanf("")), 0);
}

TEST(StatusArithmetic, LatencyCaptionRoundsHalvesToEven) {
    EXPECT_EQ(latency_caption(40.5f), "Latency 40 ms");
    EXPECT_EQ(latency_caption(41.5f), "Latency 42 ms");
    EXPECT_EQ(latency_caption(0.0f), "Latency 0 ms");
    EXPECT_EQ(latency_caption(49.4f), "Latency 49 ms");
}

TEST(LedMeter, LightsThirtySegmentsInProportion) {
    LedMeter m("m", {}, 0, 100, 75, 90);
    EXPECT_EQ(m.lit_segments(), 0);
    m.set_position(50);
    EXPECT_EQ(m.lit_segments(), 15);
    m.set_position(1);   // 0.3 segments
    EXPECT_EQ(m.lit_segments(), 0);
    m.set_position(2);   // 0.6 segments
    EXPECT_EQ(m.lit_segments(), 1);
    m.set_position(150);
    EXPECT_EQ(m.position(), 100);
    EXPECT_EQ(m.lit_segments(), kLedSegments);
    m.set_position(-3);
    EXPECT_EQ(m.position(), 0);
    EXPECT_EQ(m.lit_segments(), 0);
}

TEST(LedMeter, ZonesFollowTheColourStarts) {
    LedMeter m("m", {}, 0, 100, 75, 90);
    // 75 -> 22.5 segments -> 22 (halves to even); 90 -> 27.
    for (int i = 0; i < kLedSegments; ++i) {
        const LedZone want = i < 22 ? LedZone::Colour1 : (i < 27 ? LedZone::Colour2 : LedZone::Colour3);
        EXPECT_EQ(m.zone(i), want) << "segment " << i;
    }
    LedMeter lat("lat", {}, 0, 50, 7, 35);
    // 7 -> 4.2 -> 4; 35 -> 21.
    EXPECT_EQ(lat.zone(3), LedZone::Colour1);
    EXPECT_EQ(lat.zone(4), LedZone::Colour2);
    EXPECT_EQ(lat.zone(20), LedZone::Colour2);
    EXPECT_EQ(lat.zone(21), LedZone::Colour3);
    lat.set_colour3_from(45);  // 27 segments
    EXPECT_EQ(lat.zone(21), LedZone::Colour2);
    EXPECT_EQ(lat.zone(26), LedZone::Colour2);
    EXPECT_EQ(lat.zone(27), LedZone::Colour3);
    lat.set_position(50);
    EXPECT_EQ(lat.lit_segments(), 30);
}

TEST(LedMeter, NotifiesTheViewOnlyOnChange) {
    LedMeter m("m", {}, 0, 100, 75, 90);
    int updates = 0;
    m.on_view_update = [&] { ++updates; };
    m.set_position(10);
    m.set_position(10);
    m.set_position(500);
    m.set_position(600);  // still clamped to 100
    m.set_colour3_from(90);
    m.set_colour3_from(80);
    EXPECT_EQ(updates, 3);
}

struct FakeReadings {
    float cpu = 0, in = 0, out = 0, latency = 0;
    int latency_steps = 0;
    StatusSources sources() {
        StatusSources s;
        s.cpu_load = [this] { return cpu; };
        s.input_level = [this] { return in; };
        s.output_level = [this] { return out; };
        s.latency_step = [this] {
            ++latency_steps;
            return latency;
        };
        return s;
    }
};

TEST(StatusDisplay, StartsWithTheDesignStateAndNames) {
    StatusDisplay d;
    EXPECT_EQ(d.Label_delay.caption(), " 1994");
    EXPECT_EQ(d.Label_inlevel.caption(), "INPUT");
    EXPECT_EQ(d.Label_outlevel.caption(), "OUTPUT");
    EXPECT_EQ(d.Label_CPU.caption(), "CPU %");
    EXPECT_EQ(d.Label_Latency.caption(), "Latency");
    EXPECT_EQ(d.ProgressBar_Latency.max(), 50);
    EXPECT_EQ(d.ProgressBar_Latency.colour2_from(), 7);
    EXPECT_EQ(d.ProgressBar_Latency.colour3_from(), 35);
    EXPECT_EQ(d.ProgressBar_CPU.max(), 100);
    EXPECT_EQ(d.ProgressBar_inlevel.colour2_from(), 75);
    EXPECT_EQ(d.ProgressBar_outlevel.colour3_from(), 90);
    EXPECT_EQ(d.ProgressBar_inlevel.name(), "ProgressBar_inlevel");
    EXPECT_EQ(d.ProgressBar_CPU.name(), "ProgressBar_CPU");
}

TEST(StatusDisplay, TickFillsEveryMeterAndTheLatencyText) {
    FakeReadings r;
    StatusDisplay d(r.sources());
    r.cpu = 0.5f;
    r.in = 3200.0f;
    r.out = 64000.0f;
    r.latency = 40.5f;
    d.Timer1Timer();
    EXPECT_EQ(d.ProgressBar_CPU.position(), 50);
    EXPECT_EQ(d.ProgressBar_inlevel.position(), 32);
    EXPECT_EQ(d.ProgressBar_outlevel.position(), 100);
    EXPECT_EQ(d.ProgressBar_outlevel.lit_segments(), 30);
    EXPECT_EQ(d.Label_delay.caption(), "Latency 40 ms");
    EXPECT_EQ(d.ProgressBar_Latency.position(), 40);
    EXPECT_EQ(r.latency_steps, 1);

    r.cpu = 1.5f;
    r.latency = 41.5f;
    d.Timer1Timer();
    EXPECT_EQ(d.ProgressBar_CPU.position(), 100);
    EXPECT_EQ(d.ProgressBar_CPU.lit_segments(), 30);
    EXPECT_EQ(d.Label_delay.caption(), "Latency 42 ms");
    EXPECT_EQ(d.ProgressBar_Latency.position(), 42);

    // The text shows a latency beyond the meter's range; the meter is full.
    r.latency = 120.0f;
    d.Timer1Timer();
    EXPECT_EQ(d.Label_delay.caption(), "Latency 120 ms");
    EXPECT_EQ(d.ProgressBar_Latency.position(), 50);
    EXPECT_EQ(r.latency_steps, 3);
}

TEST(StatusDisplay, TickWithoutSourcesReadsZero) {
    StatusDisplay d;
    d.Timer1Timer();
    EXPECT_EQ(d.Label_delay.caption(), "Latency 0 ms");
    EXPECT_EQ(d.ProgressBar_CPU.lit_segments(), 0);
    EXPECT_EQ(d.ProgressBar_inlevel.lit_segments(), 0);
    EXPECT_EQ(d.ProgressBar_Latency.lit_segments(), 0);
}

TEST(StatusDisplay, ThresholdMovesTheLatencyMetersThirdColour) {
    StatusDisplay d;
    d.set_latency_threshold(20);
    EXPECT_EQ(d.ProgressBar_Latency.colour3_from(), 20);
    EXPECT_EQ(d.ProgressBar_Latency.zone(11), LedZone::Colour2);  // 20 -> 12 segments
    EXPECT_EQ(d.ProgressBar_Latency.zone(12), LedZone::Colour3);
}

// Per-slot CPU: each slot that ran is timed on its own (a slot that sleeps
// 2 ms in a 1 ms buffer takes at least 200 % of it); slots that are off or
// empty read 0 and are left out of the status text.
std::int32_t sleeps_two_ms(std::int32_t, std::int32_t, std::int32_t, float*, Instance) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return 0;
}
std::int32_t does_nothing(std::int32_t, std::int32_t, std::int32_t, float*, Instance) { return 0; }

TEST(StatusDisplay, SlotLoadsTimeEachRunningSlotAlone) {
    Chain chain;
    EXPECT_EQ(slot_loads_text(chain, 16), "slots -");
    ChainTable t;
    t.count = 3;
    t.slot[0] = ChainSlot{does_nothing, nullptr, nullptr, 99, 1, {}};
    t.slot[1] = ChainSlot{sleeps_two_ms, nullptr, nullptr, 99, 0, {}};  // off
    t.slot[2] = ChainSlot{sleeps_two_ms, nullptr, nullptr, 99, 1, {}};
    chain.commit(t);
    float buf[48] = {};
    chain.process(48, 48000, 1, buf);
    EXPECT_GE(chain.slot_load(2), 2.0f);
    EXPECT_LT(chain.slot_load(0), chain.slot_load(2));
    EXPECT_EQ(chain.slot_load(1), 0.0f);
    EXPECT_EQ(chain.slot_load(3), 0.0f);
    EXPECT_GE(chain.cpu_load.load(), chain.slot_load(2));
    const std::string text = slot_loads_text(chain, 16);
    EXPECT_EQ(text.rfind("slots 1:", 0), 0u) << text;
    EXPECT_NE(text.find(" 3:"), std::string::npos) << text;
    EXPECT_EQ(text.find(" 2:"), std::string::npos) << text;
}

}  // namespace
}  // namespace tw
