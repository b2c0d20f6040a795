// The device layer's audio-thread paths (capture: scale, chain, levels,
// out_to_dsound; output: queue pull, insert/skip, underflow, priming) make no
// heap allocation: a counting allocator armed only on the thread that plays
// the backend's audio threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "fx/kind_ids.h"
#include "app/chain_editor.h"
#include "engine/audio_devices.h"
#include "engine/dsound.h"
#include "engine/effects.h"
#include "engine/waves.h"
#include "fake_backend.h"

namespace {
thread_local bool armed = false;
std::atomic<long> allocations{0};
void note() {
    if (armed) allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

void* operator new(std::size_t n) {
    note();
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    note();
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

int* volatile sink = nullptr;

TEST(AudioPathAllocations, TheCounterSeesAnAllocationOnAnArmedThread) {
    allocations = 0;
    std::thread t([] {
        armed = true;
        sink = new int(1);
        armed = false;
    });
    t.join();
    delete sink;
    EXPECT_EQ(allocations.load(), 1);
}

TEST(AudioPathAllocations, CaptureAndOutputCallbacksAllocateNothing) {
    tw::reset_engine();
    auto f = std::make_unique<tw::test::FakeBackend>();
    auto* fake = f.get();
    fake->devs = {tw::test::FakeBackend::input("in"), tw::test::FakeBackend::output("out")};
    std::vector<std::unique_ptr<tw::audio::AudioBackend>> v;
    v.push_back(std::move(f));
    tw::AudioDevices dev(std::move(v));
    tw::ChainEditor editor;
    editor.fill_kind_lists_and_build_chain();
    editor.row(1).combo.set_item_index(tw::kKindGain);
    editor.row(1).check.set_checked(true);

    tw::WdmDeviceList l;
    dev.dsound->get_wdm_wavout_device_list(&l);
    dev.dsound->select_wdm_waveOut_device(0);
    dev.dsound->setup_b_size(256);
    dev.dsound->setup_auto(1);
    ASSERT_EQ(dev.dsound->WinMain1(nullptr), 0);
    dev.waves->get_waveIn_device_list();
    dev.waves->select_waveIn_device(0);
    ASSERT_EQ(dev.waves->setup_and_start_wave_In(48000, 2, 256, &tw::process_chain, &tw::DSound::out_to_dsound,
                                                 dev.dsound.get()),
              0);
    // The tuner's copy of the input runs too, with nobody reading it, so the
    // ring fills and then drops blocks.
    dev.waves->input_tap().set_enabled(true);
    std::vector<float> in(2 * 1024, 0.1f);
    std::vector<float> out(2 * 1024, 0.0f);
    allocations = 0;
    std::thread capture([&] {
        armed = true;
        for (int i = 0; i < 200; ++i) {
            fake->feed(in, i % 3 == 0 ? 1024 : 256);  // in pieces as well
            (void)dev.waves->get_waveIn_level();
        }
        armed = false;
    });
    std::thread output([&] {
        armed = true;
        for (int i = 0; i < 300; ++i) {
            if (i % 7 == 0) dev.dsound->insert_buffer();
            if (i % 11 == 0) dev.dsound->skip_buffer();
            fake->pull_into(out.data(), i % 5 == 0 ? 1024 : 256);  // underflows and priming too
            (void)dev.dsound->get_audio_pos();
        }
        armed = false;
    });
    capture.join();
    output.join();
    EXPECT_GT(dev.dsound->frames_played(), 0u);
    EXPECT_GT(dev.waves->buffers(), 0u);
    EXPECT_GT(dev.waves->input_tap().dropped(), 0u);
    EXPECT_EQ(allocations.load(), 0);
    dev.waves->stop_and_close_wave_in();
    dev.dsound->CloseDSound();
}

// One JACK-style callback: the capture hands on, then the output plays the
// same cycle, with the delay buttons pressed now and then.
TEST(AudioPathAllocations, OneCycleDuplexCallbackAllocatesNothing) {
    tw::reset_engine();
    auto f = std::make_unique<tw::test::FakeBackend>();
    auto* fake = f.get();
    fake->duplex = true;
    fake->devs = {tw::test::FakeBackend::input("in"), tw::test::FakeBackend::output("out")};
    std::vector<std::unique_ptr<tw::audio::AudioBackend>> v;
    v.push_back(std::move(f));
    tw::AudioDevices dev(std::move(v));
    tw::ChainEditor editor;
    editor.fill_kind_lists_and_build_chain();
    editor.row(1).combo.set_item_index(tw::kKindGain);
    editor.row(1).check.set_checked(true);
    tw::WdmDeviceList l;
    dev.dsound->get_wdm_wavout_device_list(&l);
    dev.dsound->select_wdm_waveOut_device(0);
    dev.dsound->setup_b_size(256);
    dev.dsound->setup_same_cycle(true);
    ASSERT_EQ(dev.dsound->WinMain1(nullptr), 0);
    dev.waves->get_waveIn_device_list();
    dev.waves->select_waveIn_device(0);
    ASSERT_EQ(dev.waves->setup_and_start_wave_In(48000, 2, 256, &tw::process_chain, &tw::DSound::out_to_dsound,
                                                 dev.dsound.get()),
              0);
    std::vector<float> in(2 * 256, 0.1f), out(2 * 256, 0.0f);
    allocations = 0;
    std::thread callback([&] {
        armed = true;
        for (int i = 0; i < 300; ++i) {
            if (i % 13 == 5) dev.dsound->insert_buffer();
            if (i % 17 == 0) dev.dsound->skip_buffer();
            fake->feed(in, 256);
            fake->pull_into(out.data(), 256);
        }
        armed = false;
    });
    callback.join();
    EXPECT_EQ(dev.dsound->frames_played(), 300u * 256u);
    EXPECT_NE(out[0], 0.0f);
    EXPECT_EQ(allocations.load(), 0);
    dev.waves->stop_and_close_wave_in();
    dev.dsound->CloseDSound();
}

}  // namespace
